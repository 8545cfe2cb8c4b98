#include <windows.h>

#include "platform/library_entry.h"

// The DLL entry point: the loader calls it with the loader lock held, so the
// library's functions may not load libraries or wait for other threads.
extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
  using namespace platform::library_entry;
  switch (reason) {
    case DLL_PROCESS_ATTACH: return onProcessAttach() ? TRUE : FALSE;
    case DLL_PROCESS_DETACH: onProcessDetach(); break;
    case DLL_THREAD_ATTACH: onThreadAttach(); break;
    case DLL_THREAD_DETACH: onThreadDetach(); break;
    default: break;  // other reasons: success, nothing to do
  }
  return TRUE;
}
