#include "platform/thread.h"

#include <pthread.h>
#include <unistd.h>

namespace platform {

std::unique_ptr<ThreadSlot> ThreadSlot::create(Destructor destructor) {
  pthread_key_t key;
  if (::pthread_key_create(&key, destructor) != 0) return nullptr;
  return std::unique_ptr<ThreadSlot>(new ThreadSlot(static_cast<unsigned long>(key)));
}

ThreadSlot::~ThreadSlot() { ::pthread_key_delete(static_cast<pthread_key_t>(index_)); }

void* ThreadSlot::get() const { return ::pthread_getspecific(static_cast<pthread_key_t>(index_)); }

bool ThreadSlot::set(void* value) { return ::pthread_setspecific(static_cast<pthread_key_t>(index_), value) == 0; }

int currentThreadId() { return static_cast<int>(::gettid()); }

int currentProcessId() { return static_cast<int>(::getpid()); }

void exitCurrentThread(int code) {
  ::pthread_exit(reinterpret_cast<void*>(static_cast<long>(code)));
}

}  // namespace platform
