// What a gateway run by a service manager tells it, and how it behaves
// under one. Supervised (the systemd unit's and the Windows service's
// command line say /supervised), the gateway waits out an outage of the
// exchange service however long it lasts, where a run from a console ends
// with 13 after its reconnect tries. Under systemd (Type=notify) it says
// READY once its first session is open, pets the watchdog each pass, at
// each message and post, and while it waits, and keeps a one-line STATUS
// that `systemctl status` shows. On Windows a supervised gateway whose
// main cycle stops moving for longer than hangBoundSeconds() ends as a
// crash, which the service's recovery actions restart. Main thread only,
// but for the hang watch's own thread.
#pragma once

#include <ctime>
#include <functional>
#include <string>

#include "platform/windows_service.h"

namespace trasvik {

// Whether this run waits out outages of the service.
void setSupervised(bool supervised);
bool supervised();

// The first session is open: READY, once.
void announceReady();
// A pass of the main cycle ended.
void passFinished();
// The gateway moved on (a message saved, a post made, a step of a wait):
// the watchdog hears of it, at most once a second.
void keepAlive();

// The gateway waits for the service since `since`; before READY the
// manager's start time-out is stretched by `nextTryMilliseconds` and the
// time a call may wait for its answer, so that only a start that hangs
// times out.
void waitingForService(std::time_t since, unsigned nextTryMilliseconds);
// The wait is over.
void serviceAvailable();

// Events worth the attention of an administrator beyond the log (an outage
// of the service and its end): a Windows service writes them to its event
// log. An empty observer ends it.
void observeServiceEvents(std::function<void(platform::EventKind kind, const std::string& text)> observer);
void reportServiceEvent(platform::EventKind kind, const std::string& text);

// Who hears of each step (at most once a second): a Windows service moves
// its start's or stop's checkpoint. An empty observer ends it.
void observeProgress(std::function<void()> observer);

// The status line: "pass 1234, 56 sent, 78 received, last exchange
// 12:03:04", or "waiting for the service since 12:00:01".
std::string statusLine();

// How long the main cycle may go without moving on before the Windows hang
// watch ends it: four sleeps, the time one call may wait for its answer,
// and 10 minutes for the work of a pass.
unsigned long long hangBoundSeconds(unsigned sleepMilliseconds);
// Starts the hang watch when supervised on a system whose service manager
// has no watchdog of its own (Windows); stopHangWatch ends it.
void startHangWatch(unsigned sleepMilliseconds);
void stopHangWatch();

}  // namespace trasvik
