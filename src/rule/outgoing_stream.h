// Opening an outgoing file as a service stream, for the FILE rule's send
// modes. Main cycle's thread only.
#pragma once

#include <string>

#include "dravont/dravontdll.h"

namespace trasvik {

// Why the gateway may not hand the file's path to the service, which reads
// it with its own rights: the gateway cannot read it itself, or it is a
// symbolic link or no regular file. "" when it may.
std::string refusalToSend(const std::string& path);

// The error record "Can't init stream, file: ..." naming `shown` and the
// reason, written once while the file at `path` stays unopened for that
// reason (skip_reports.h).
void reportUnopened(const std::string& path, const std::string& shown, const std::string& reason);

// Probes the file with the service's mode "rbE" (refused while another
// process writes it) up to "[trasvik]:fileTimeout" times, 1 ms apart, once
// the gateway found it may send it (refusalToSend). When that or every
// probe fails: the error record, a notification the first time the
// path enters the unopenable list (unopenable_files.h), and false; the
// stream is not open then. Otherwise `stream` is the probe's stream, read
// from the file's start, the path leaves the unopenable list, and true; the
// caller frees the stream.
// May throw ContextError.
bool openOutgoingFile(const std::string& path, Quillex::DravontStream_s& stream);

}  // namespace trasvik
