#include "orderly_stop.h"

#include <cstdio>
#include <cstdlib>

#include "http_server.h"
#include "platform/file.h"
#include "stop_control.h"

namespace dravont_service {

namespace {

// How long connections are given to close by themselves after the stop.
constexpr unsigned kGraceMilliseconds = 1000;
// How long calls still at work (not running a script) may delay the end.
constexpr unsigned kWorkLimitMilliseconds = 5000;
constexpr unsigned kPollMilliseconds = 20;

}  // namespace

void OrderlyStop::request() {
  control_.requestStop();
  server_.stop();
  if (served_.waitFor(kGraceMilliseconds)) return;
  unsigned waited = kGraceMilliseconds;
  while (control_.callsAtWork() > 0 && waited < kWorkLimitMilliseconds) {
    if (served_.waitFor(kPollMilliseconds)) return;
    waited += kPollMilliseconds;
  }
  if (served_.isSet()) return;
  platform::writeStandardError(control_.callsAtWork() > 0
                                   ? "dravont-service: stopped; calls still at work were given up\n"
                                   : "dravont-service: stopped; a script that does not end was abandoned\n");
  std::fflush(stdout);
  std::_Exit(0);
}

}  // namespace dravont_service
