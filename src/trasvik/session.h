// The gateway's session with the document-exchange service: opening the
// context with its retry policy, turning a library failure into a text or a
// lost-session exception, and the critical abort. All on the main thread.
#pragma once

#include <ctime>
#include <stdexcept>
#include <string>

#include "dravont/dravontdll.h"

namespace trasvik {

using Quillex::DravontContext_s;

// The service session is lost and must be opened again. reason(): 0 when
// the library says the thread does not own the context, 1 when an RPC call
// failed.
class ContextError {
 public:
  explicit ContextError(int reason) : reason_(reason) {}
  int reason() const { return reason_; }

 private:
  int reason_;
};

// A script the service could not evaluate; what() is the library's text.
class ScriptError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The exit status of every start-up failure and critical abort.
inline constexpr int kFailureExitStatus = 13;

// "127.0.0.1:PORT", where the client library finds the service.
std::string serviceAddressText();
// Why a connection to the service cannot be opened ("Connection refused"),
// or "" when it can.
std::string serviceUnreachableReason();

// Opens the service context for "[trasvik]:srvcini", retrying as
// "reconnect_tries" and "reconnect_timeout" say (read on the first opening
// only). A supervised gateway (supervision.h) waits out an outage of the
// service instead, however long, trying again every "reconnect_timeout".
// Returns the context, which serviceContext() then also gives, or nullptr
// after the fatal record (at once when the settings file does not exist,
// or the service's status code is in "[trasvik]:stoperrors"; a token there
// that is no number is ignored with a warning), or with stopRequested()
// set when a stop came meanwhile.
DravontContext_s* openServiceContext();

// True for the library's texts that say the service did not answer at all
// (nothing listens, or the call was lost), as against a refusal.
bool isOutageText(const std::string& text);

// An outage of the service, as a supervised gateway waits it out: one
// warning when it begins (and an event), a reminder every 15 minutes, one
// information record when it ends.
class ServiceOutage {
 public:
  // The service did not answer with `error`: waits `pauseMilliseconds`
  // before the next try, telling the watchdog each few seconds. False when
  // a stop came meanwhile (or its machinery cannot be had).
  bool waitBeforeNextTry(const std::string& error, unsigned pauseMilliseconds);
  // The service answered.
  void ended();

  static constexpr long long kReminderSeconds = 15 * 60;
  static constexpr unsigned kWaitStepMilliseconds = 2000;

 private:
  std::time_t since_ = 0;  // 0: no outage
  std::time_t remindedAt_ = 0;
};
ServiceOutage& serviceOutage();

// The context opened last (nullptr before). Freed by releaseServiceContext.
DravontContext_s* serviceContext();
void releaseServiceContext();

// Pause after a lost RPC call before the session is opened again, in
// milliseconds.
unsigned reconnectTimeout();

// The library's last failure text as it stands ("" when none), for the
// few places that report it without the lost-session check of lastError().
std::string libraryErrorText();

// True for the failure texts that mean the session is lost (the call may
// or may not have reached the service).
bool isLostSessionText(const std::string& text);

// The failure text of the library call that just failed. Throws
// ContextError when the text says the session is lost (after a pause of
// reconnectTimeout() when an RPC call failed).
std::string lastError();

// After a library call that failed or yielded nothing, such as a read that
// may have met the end of its stream: throws ContextError (as lastError())
// when the library says the session is lost, so that what was read so far
// is not taken for the whole. Returns otherwise.
void throwIfSessionLost();

// Thrown by criticalAbort: the session ends and the gateway with status 13,
// through the same way out as every other failure (a Windows service
// reports it as its own).
struct CriticalAbort {};

// Writes the critical record naming the source file and line and throws
// CriticalAbort.
[[noreturn]] void criticalAbort(const char* sourceFile, int line);

}  // namespace trasvik
