// Ends the service in order on a control signal, also while a script runs
// that does not end. The server stops taking connections and requests and
// running scripts fail at their next budget check (script_budget.h); when
// every call has then ended, the serving thread returns and the service
// closes normally. A script that checks nothing (`for(;;){}`) would hold
// that forever, so once only such scripts, and calls waiting for the
// contexts they hold, are left, the process ends at once: every change a
// client was told of is already on the disk, and the running script's
// context is simply abandoned. Calls at work are given up to a few seconds
// to finish first.
#pragma once

#include "platform/event.h"

namespace dravont_service {

class HttpServer;
class StopControl;

class OrderlyStop {
 public:
  OrderlyStop(HttpServer& server, StopControl& control) : server_(server), control_(control) {}

  // From the signal thread. Returns when the serving thread ends in time;
  // otherwise ends the process with status 0.
  void request();
  // From the serving thread once HttpServer::run() has returned.
  void served() { served_.set(); }

 private:
  HttpServer& server_;
  StopControl& control_;
  platform::ManualResetEvent served_;
};

}  // namespace dravont_service
