// The gateway-wide sequence counter of received files, 1 to 99999, kept by
// the service under "infilenum " + the INI file's path so that it survives
// restarts.
#pragma once

#include <functional>

namespace trasvik {

// Loads the counter once per process (while it is still 0): a stored value
// of 0, none, or above 99999 loads as 1. A failing script throws
// ScriptError.
void loadSequenceCounter();

// The counter's value, first advanced (99999 wraps to 1, not stored) for as
// long as `taken` says the number is in use.
unsigned freeSequenceNumber(const std::function<bool(unsigned)>& taken);

// Advances the counter (99999 wraps to 1), stores it as five digits and
// returns it. A failing script throws ScriptError.
unsigned nextSequenceNumber();

}  // namespace trasvik
