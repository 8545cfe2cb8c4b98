// Opening an outgoing file as a service stream, for the FILE rule's send
// modes. Main cycle's thread only.
#pragma once

#include <string>

#include "dravont/dravontdll.h"

namespace trasvik {

// Probes the file with the service's mode "rbE" (refused while another
// process writes it) up to "[trasvik]:fileTimeout" times, 1 ms apart. When
// every probe fails: the error record, a notification the first time the
// path enters the unopenable list (unopenable_files.h), and false; the
// stream is not open then. Otherwise `stream` is the probe's stream, read
// from the file's start, the path leaves the unopenable list, and true; the
// caller frees the stream.
// May throw ContextError.
bool openOutgoingFile(const std::string& path, Quillex::DravontStream_s& stream);

}  // namespace trasvik
