#include "platform/thread.h"

#include <windows.h>

#include <mutex>
#include <new>
#include <vector>

namespace platform {

namespace {

// Thread-local storage slots (TlsAlloc) have no destructor of their own: the
// slots that have one are listed here, and the module's TLS callback runs
// them for the ending thread, as POSIX runs the destructors of thread keys.
struct DestructorList {
  std::mutex mutex;
  std::vector<std::pair<DWORD, ThreadSlot::Destructor>> slots;
};

// Never destroyed: threads may end while static objects are torn down.
DestructorList& destructorList() {
  alignas(DestructorList) static unsigned char storage[sizeof(DestructorList)];
  static DestructorList* const list = new (storage) DestructorList;
  return *list;
}

void destroyValuesOfEndingThread() {
  std::vector<std::pair<DWORD, ThreadSlot::Destructor>> slots;
  {
    std::lock_guard<std::mutex> lock(destructorList().mutex);
    slots = destructorList().slots;
  }
  for (const auto& [index, destructor] : slots) {
    void* const value = ::TlsGetValue(index);
    if (value == nullptr) continue;
    ::TlsSetValue(index, nullptr);
    destructor(value);
  }
}

void NTAPI onThreadEvent(PVOID, DWORD reason, PVOID) {
  if (reason == DLL_THREAD_DETACH) destroyValuesOfEndingThread();
}

}  // namespace

// The loader calls the callbacks in the .CRT$XL* section of every module,
// program or DLL, when a thread of the process starts or ends.
extern "C" __attribute__((section(".CRT$XLF"), used)) const PIMAGE_TLS_CALLBACK trasvikThreadSlotCallback =
    onThreadEvent;

std::unique_ptr<ThreadSlot> ThreadSlot::create(Destructor destructor) {
  const DWORD index = ::TlsAlloc();
  if (index == TLS_OUT_OF_INDEXES) return nullptr;
  if (destructor != nullptr) {
    std::lock_guard<std::mutex> lock(destructorList().mutex);
    destructorList().slots.emplace_back(index, destructor);
  }
  return std::unique_ptr<ThreadSlot>(new ThreadSlot(index));
}

ThreadSlot::~ThreadSlot() {
  const DWORD index = static_cast<DWORD>(index_);
  {
    std::lock_guard<std::mutex> lock(destructorList().mutex);
    std::erase_if(destructorList().slots, [index](const auto& slot) { return slot.first == index; });
  }
  ::TlsFree(index);
}

void* ThreadSlot::get() const { return ::TlsGetValue(static_cast<DWORD>(index_)); }

bool ThreadSlot::set(void* value) { return ::TlsSetValue(static_cast<DWORD>(index_), value) != 0; }

int currentThreadId() { return static_cast<int>(::GetCurrentThreadId()); }

int currentProcessId() { return static_cast<int>(::GetCurrentProcessId()); }

void exitCurrentThread(int code) { ::ExitThread(static_cast<DWORD>(code)); }

}  // namespace platform
