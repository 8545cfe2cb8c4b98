#include "trasvik/supervision.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <thread>

#include "platform/clock.h"
#include "platform/environment.h"
#include "platform/process.h"
#include "platform/service_notify.h"
#include "trasvik/gateway_log.h"
#include "trasvik/receive_cycle.h"
#include "trasvik/status_file.h"
#include "trasvik/text_format.h"

namespace trasvik {

namespace {

using Clock = std::chrono::steady_clock;

bool supervisedRun = false;
bool ready = false;
Clock::time_point lastNotice{};
std::function<void(platform::EventKind, const std::string&)> eventObserver;
std::function<void()> progressObserver;

// The hang watch's view of the main thread.
std::atomic<long long> lastMoveMilliseconds{0};
std::mutex watchMutex;
std::condition_variable watchWake;
bool watchStopping = false;
std::thread watchThread;

long long steadyMilliseconds() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now().time_since_epoch()).count();
}

std::string clockText(std::time_t seconds) {
  const std::tm local = platform::localTimeOf(seconds);
  return formatText("%02d:%02d:%02d", local.tm_hour, local.tm_min, local.tm_sec);
}

// How long one call may wait for the service's answer (XMLRPCTIMEOUT, as
// the client library reads it; "0", no limit, counts as its default).
unsigned long long callTimeLimitSeconds() {
  const std::string text = platform::environmentVariable("XMLRPCTIMEOUT").value_or("");
  const unsigned long long seconds = std::strtoull(text.c_str(), nullptr, 10);
  return seconds == 0 ? 300 : seconds;
}

// Pets the watchdog with the status; `force` sends even within a second of
// the last notice.
void notify(bool force, const std::string& extra = "") {
  lastMoveMilliseconds.store(steadyMilliseconds());
  const Clock::time_point now = Clock::now();
  if (!force && now - lastNotice < std::chrono::seconds(1)) return;
  lastNotice = now;
  refreshStatusFile(force);
  if (progressObserver) progressObserver();
  if (platform::serviceManagerListens()) platform::notifyServiceManager(extra + "WATCHDOG=1\nSTATUS=" + statusLine());
}

}  // namespace

void setSupervised(bool supervised) { supervisedRun = supervised; }
bool supervised() { return supervisedRun; }

std::string statusLine() {
  const GatewayStatus& status = gatewayStatus();
  if (status.waitingSince != 0) return "waiting for the service since " + clockText(status.waitingSince);
  if (status.passes == 0) return "first pass";
  // The last exchange is the latest send or receipt of any rule.
  std::int64_t lastExchange = 0;
  for (const RuleActivity& rule : status.rules) lastExchange = std::max({lastExchange, rule.lastSent, rule.lastReceived});
  return formatText("pass %llu, %llu sent, %llu received, last exchange %s", status.passes, status.posted,
                    status.received, lastExchange == 0 ? "none yet" : clockText(lastExchange).c_str());
}

void announceReady() {
  if (ready) return;
  ready = true;
  notify(true, "READY=1\n");
}

void passFinished() {
  GatewayStatus& status = gatewayStatus();
  const RunCounts& done = runCounts();
  ++status.passes;
  status.passEnded = static_cast<std::int64_t>(std::time(nullptr));
  status.posted = done.postedFiles;
  status.received = done.received;
  status.rejected = done.rejected;
  refreshStatusFile(true);
  notify(false);
}

void keepAlive() { notify(false); }

void waitingForService(std::time_t since, unsigned nextTryMilliseconds) {
  std::int64_t& waitingSince = gatewayStatus().waitingSince;
  const bool news = waitingSince != static_cast<std::int64_t>(since);
  waitingSince = static_cast<std::int64_t>(since);
  if (ready) {
    notify(news);
    return;
  }
  const unsigned long long stretch =
      (nextTryMilliseconds + (callTimeLimitSeconds() + 30) * 1000ull) * 1000ull;
  notify(true, "EXTEND_TIMEOUT_USEC=" + std::to_string(stretch) + "\n");
}

void serviceAvailable() {
  if (gatewayStatus().waitingSince == 0) return;
  gatewayStatus().waitingSince = 0;
  notify(true);
}

void observeServiceEvents(std::function<void(platform::EventKind, const std::string&)> observer) {
  eventObserver = std::move(observer);
}

void observeProgress(std::function<void()> observer) { progressObserver = std::move(observer); }

void reportServiceEvent(platform::EventKind kind, const std::string& text) {
  if (eventObserver) eventObserver(kind, text);
}

unsigned long long hangBoundSeconds(unsigned sleepMilliseconds) {
  // Tests of the watch set a bound of their own.
  const std::string test = platform::environmentVariable("TRASVIK_TEST_HANG_BOUND").value_or("");
  if (const unsigned long long seconds = std::strtoull(test.c_str(), nullptr, 10); seconds != 0) return seconds;
  return 4ull * sleepMilliseconds / 1000 + callTimeLimitSeconds() + 600;
}

void startHangWatch(unsigned sleepMilliseconds) {
  if (!supervisedRun || platform::serviceManagerListens() || watchThread.joinable()) return;
  const long long bound = static_cast<long long>(hangBoundSeconds(sleepMilliseconds)) * 1000;
  lastMoveMilliseconds.store(steadyMilliseconds());
  watchStopping = false;
  watchThread = std::thread([bound] {
    std::unique_lock<std::mutex> lock(watchMutex);
    while (!watchWake.wait_for(lock, std::chrono::seconds(1), [] { return watchStopping; })) {
      if (steadyMilliseconds() - lastMoveMilliseconds.load() <= bound) continue;
      // The main thread hangs: ending as a crash has the service manager
      // start the gateway again. The record is written by a thread of its
      // own, given a moment: the main thread may hang in the log itself.
      const std::string text =
          formatText("The gateway has not moved on for %lld s; it ends to be started again", bound / 1000);
      reportServiceEvent(platform::EventKind::kError, text);
      std::thread([text] { GATEWAY_FATAL("%s", text.c_str()); }).detach();
      platform::sleepMilliseconds(2000);
      platform::killCurrentProcess();
    }
  });
}

void stopHangWatch() {
  if (!watchThread.joinable()) return;
  {
    std::lock_guard<std::mutex> lock(watchMutex);
    watchStopping = true;
  }
  watchWake.notify_all();
  watchThread.join();
}

}  // namespace trasvik
