// The load-time entry of a shared library. The library defines the four
// functions below; the platform calls them from the system's loader: on
// Windows from the DLL entry point (DllMain), for the process and for every
// thread that starts or ends while the library is loaded; on POSIX systems
// from the library's constructor and destructor, where threads have no
// attach or detach notification (per-thread state there is made on first
// use and released by the destructors of its thread slots).
//
// Only a shared library that links trasvik_library_entry provides them.
#pragma once

namespace platform::library_entry {

// The library was loaded. False fails the load.
bool onProcessAttach();
// The library is unloaded, or the process is ending.
void onProcessDetach();
// A thread started in the process (Windows only).
void onThreadAttach();
// A thread is ending, on that thread (Windows only).
void onThreadDetach();

}  // namespace platform::library_entry
