// Reading an envelope from a service stream. Main cycle's thread only.
#pragma once

#include <cstdint>
#include <optional>

#include "dravont/dravontdll.h"
#include "uarule/envelope.h"

namespace trasvik {

// Reads the stream to its end in blocks and returns the envelope's values
// (EnvelopeParser). A read that yields nothing, or fails, is the end of the
// file: the same outcome as reading one byte per call, in a few calls
// instead of one per byte; once `fileSize` bytes are read, no further call
// is made to meet the end. The end must come at `fileSize` bytes (the
// file's size when it was opened, which no writer changes then; a text
// stream's position counts the CRs it drops): a read that ends before is
// cut short, and what was read is not the envelope.
// Then ContextError is thrown when the session was lost (it is to be read
// again in the next), else nullopt is returned.
std::optional<EnvelopeValues> readEnvelope(Quillex::DravontStream_s& stream, std::uint64_t fileSize);

}  // namespace trasvik
