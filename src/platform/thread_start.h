// Starting threads, with a switch that makes starts fail the way they fail
// when the system has no thread or no stack memory left, so that the code
// that copes with it can be tested. Thread-safe.
#pragma once

#include <functional>
#include <thread>

namespace platform {

// Starts `body` on a new thread, handed back in `thread`. False when no
// thread can be started; `body` is then not run.
bool startThread(std::thread& thread, std::function<void()> body);

// Makes the next `count` calls of startThread in this process fail.
void failNextThreadStarts(int count);

}  // namespace platform
