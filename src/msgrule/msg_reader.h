// Reading the header of a ".msg" file from a service stream. Main cycle's
// thread only.
#pragma once

#include "dravont/dravontdll.h"
#include "msgrule/msg_file.h"

namespace trasvik {

// Reads from the stream's position in blocks until the header ends and
// returns it, the body start counted from where reading began. A read that
// yields nothing, or fails, is the end of the file: the same outcome as
// reading one byte per call, in a few calls instead of one per byte. The
// stream's position afterwards is unspecified.
MsgHeader readMsgHeader(Quillex::DravontStream_s& stream, bool lineByLine);

}  // namespace trasvik
