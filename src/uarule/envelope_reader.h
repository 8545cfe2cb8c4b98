// Reading an envelope from a service stream. Main cycle's thread only.
#pragma once

#include <cstdint>
#include <optional>

#include "dravont/dravontdll.h"
#include "uarule/envelope.h"

namespace trasvik {

// Reads the stream to its end in blocks (readStreamBlocks) and returns the
// envelope's values (EnvelopeParser). A read cut short gives nullopt, or
// throws ContextError when the session was lost.
std::optional<EnvelopeValues> readEnvelope(Quillex::DravontStream_s& stream, std::uint64_t fileSize);

}  // namespace trasvik
