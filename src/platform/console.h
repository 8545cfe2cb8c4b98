// The console: control events (interrupt, quit, hang-up, terminate) and the
// window title.
#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace platform {

// Console control codes, as the gateway reports them.
enum ConsoleControlCode : int {
  kControlC = 0,       // SIGINT  "Control C"
  kControlBreak = 1,   // SIGQUIT "Control Break"
  kCloseEvent = 2,     // SIGHUP  "Close Event"
  kShutdownEvent = 6,  // SIGTERM "Shutdown Event"
  // Not a stop: SIGUSR1 (POSIX only), the log file was rotated and is to be
  // opened again under its name.
  kReopenLog = 0x100,
};

using ConsoleControlHandler = std::function<void(int code)>;

// Blocks the four control signals and SIGUSR1 in the calling thread (and so in every
// thread it starts afterwards; call it before starting threads) and starts a
// thread that waits for them and calls `handler` for each, on that thread.
// Returns false when the thread cannot be started, with the reason in
// `*error` when given. Registering again replaces the handler. On Windows
// the handler runs on the thread the system starts for each console event,
// and on a thread of its own for a stop request (ChildProcess::terminate()),
// which reaches a process without a console too; registering fails when
// the stop request's event name exists already (stop_request_win32.h).
bool registerConsoleControlHandler(ConsoleControlHandler handler, std::string* error = nullptr);

// Stops the waiting thread and restores the calling thread's signal mask.
void removeConsoleControlHandler();

// Holds SIGUSR1 back (POSIX) from now on, for the calling thread and every
// thread it starts: logrotate may signal the program while it starts, before
// the handler above is registered, or while it ends after it is removed, and
// the signal's default action would end the program. Call it first in main.
// A no-op on Windows, where no such signal exists.
void holdLogReopenRequests();

// From now on a log-off event (Windows) is no stop: a service's process
// is sent one whenever a user logs off. A no-op elsewhere.
void ignoreLogOffEvents();

// From now on (Windows) the process is a service, stopped by its Service
// Control Manager alone: registering the handler makes no named stop
// request, whose name in session 0's namespace any local user could create
// first and so keep the service from starting. A no-op elsewhere.
void takeStopsFromServiceManagerOnly();

// Sets the terminal's title when standard output is a terminal.
void setConsoleTitle(std::string_view utf8Title);

}  // namespace platform
