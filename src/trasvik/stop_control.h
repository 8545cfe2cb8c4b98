// How the gateway is told to stop: the stop event the main cycle sleeps on,
// the flag that loops poll, and the console control handler that sets both.
#pragma once

namespace trasvik {

// Creates a new, unsignalled stop event (the one of an earlier session
// start is destroyed) and registers ControlHandler for the console's
// control events. False after a fatal record saying why when either cannot
// be had (on Windows also when the stop request's event name is taken).
bool createStopMachinery();
// Removes ControlHandler and destroys the stop event.
void releaseStopMachinery();

// Signals the stop event and sets the stop flag.
void requestStop();
// The stop flag: set by every stop request, never cleared.
bool stopRequested();
// Waits on the stop event for at most `milliseconds`; true when it was
// signalled (or there is none).
bool waitForStop(unsigned milliseconds);
// True while a stop event exists (createStopMachinery to
// releaseStopMachinery).
bool stopMachineryReady();
// Pauses for `milliseconds`, or less when a stop is requested meanwhile
// (a plain sleep while there is no stop event).
void pauseUnlessStopped(unsigned milliseconds);

// Opens the log file again under its name (SIGUSR1, after a rotation).
void reopenLog();

// The console control handler: logs the event by name and requests the
// stop. Runs on the console's thread.
bool ControlHandler(int code);

}  // namespace trasvik
