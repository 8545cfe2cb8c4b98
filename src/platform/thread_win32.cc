#include "platform/thread.h"

#include <windows.h>

namespace platform {

// Fiber-local storage runs the slot's destructor when a thread ends, as the
// POSIX thread keys do (plain thread-local storage has no such callback).
// Unlike them, freeing the slot also destroys the pointers still set.
std::unique_ptr<ThreadSlot> ThreadSlot::create(Destructor destructor) {
  const DWORD index = ::FlsAlloc(reinterpret_cast<PFLS_CALLBACK_FUNCTION>(destructor));
  if (index == FLS_OUT_OF_INDEXES) return nullptr;
  return std::unique_ptr<ThreadSlot>(new ThreadSlot(index));
}

ThreadSlot::~ThreadSlot() { ::FlsFree(static_cast<DWORD>(index_)); }

void* ThreadSlot::get() const { return ::FlsGetValue(static_cast<DWORD>(index_)); }

bool ThreadSlot::set(void* value) { return ::FlsSetValue(static_cast<DWORD>(index_), value) != 0; }

int currentThreadId() { return static_cast<int>(::GetCurrentThreadId()); }

int currentProcessId() { return static_cast<int>(::GetCurrentProcessId()); }

void exitCurrentThread(int code) { ::ExitThread(static_cast<DWORD>(code)); }

}  // namespace platform
