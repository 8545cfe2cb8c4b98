// Last words on a hardware fault (SIGSEGV, SIGBUS, SIGILL, SIGFPE): a
// process-wide handler that lets a library say where the faulting thread
// was, and then lets the fault take its course.
#pragma once

#include <cstddef>

namespace platform {

// Called on the faulting thread with the fault's code: the signal number on
// POSIX systems, the structured exception's code on Windows (0xC0000005 for
// an access violation). It runs inside a signal handler or an exception
// filter: it may only use async-signal-safe calls, such as
// writeStandardErrorInSignal.
using FaultReporter = void (*)(unsigned long code);

// Installs the reporter once per process (later calls do nothing). After
// the reporter has run, the disposition that was in place before is
// restored and the signal raised again, so the program ends as it would
// have, or its own handler runs.
void installFaultReporter(FaultReporter reporter);

// Puts back the dispositions that were in place before the reporter was
// installed; does nothing when none is installed. A shared library that
// installed the reporter calls it before it is unloaded, since the handler
// is code of that library.
void removeFaultReporter();

// Writes the bytes to standard error with write(2); async-signal-safe.
void writeStandardErrorInSignal(const char* bytes, std::size_t length);

}  // namespace platform
