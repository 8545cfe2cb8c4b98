// Reading an envelope from a service stream. Main cycle's thread only.
#pragma once

#include "dravont/dravontdll.h"
#include "uarule/envelope.h"

namespace trasvik {

// Reads the stream to its end in blocks and returns the envelope's values
// (EnvelopeParser). A read that yields nothing, or fails, is the end of the
// file: the same outcome as reading one byte per call, in a few calls
// instead of one per byte.
EnvelopeValues readEnvelope(Quillex::DravontStream_s& stream);

}  // namespace trasvik
