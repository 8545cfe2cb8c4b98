// Reading the header of a ".msg" file from a service stream. Main cycle's
// thread only.
#pragma once

#include <cstdint>
#include <optional>

#include "dravont/dravontdll.h"
#include "msgrule/msg_file.h"

namespace trasvik {

// Reads from the stream's position in blocks until the header ends and
// returns it, the body start counted from where reading began. A read that
// yields nothing, or fails, is the end of the file: the same outcome as
// reading one byte per call, in a few calls instead of one per byte; once
// `fileSize` bytes are read, that is the end, without a call to meet it. An
// end
// that comes inside the header before `fileSize` bytes (the file's size
// when it was opened, which no writer changes then) cuts the read short,
// and what was read is not the header: then ContextError is thrown when the
// session was lost (it is to be read again in the next), else nullopt is
// returned. The stream's position afterwards is unspecified.
std::optional<MsgHeader> readMsgHeader(Quillex::DravontStream_s& stream, bool lineByLine, std::uint64_t fileSize);

}  // namespace trasvik
