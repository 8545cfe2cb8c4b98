// Reading the header of a ".msg" file from a service stream. Main cycle's
// thread only.
#pragma once

#include <cstdint>
#include <optional>

#include "dravont/dravontdll.h"
#include "msgrule/msg_file.h"

namespace trasvik {

// Reads from the stream's position in blocks (readStreamBlocks) until the
// header ends and returns it, the body start counted from where reading
// began. A read cut short before the header's end gives nullopt, or throws
// ContextError when the session was lost. The stream's position afterwards
// is unspecified.
std::optional<MsgHeader> readMsgHeader(Quillex::DravontStream_s& stream, bool lineByLine, std::uint64_t fileSize);

}  // namespace trasvik
