// Threads: per-thread slots, identifiers and ending the calling thread.
#pragma once

#include <memory>

namespace platform {

// A thread-specific storage slot. Each thread sees its own pointer (NULL
// until it sets one); the destructor given at creation runs at thread exit
// for every thread whose pointer is not NULL. Thread-safe.
class ThreadSlot {
 public:
  using Destructor = void (*)(void*);

  // Creates a slot; nullptr when the system has no slots left.
  static std::unique_ptr<ThreadSlot> create(Destructor destructor);
  ~ThreadSlot();  // releases the slot (pointers still set are not destroyed)
  ThreadSlot(const ThreadSlot&) = delete;
  ThreadSlot& operator=(const ThreadSlot&) = delete;

  void* get() const;
  bool set(void* value);
  // The slot's system index, as published to other programs.
  unsigned long index() const { return index_; }

 private:
  explicit ThreadSlot(unsigned long index) : index_(index) {}
  unsigned long index_;
};

// The kernel's identifier of the calling thread (what tools such as top show).
int currentThreadId();
int currentProcessId();

// Ends the calling thread with the given exit code; never returns.
[[noreturn]] void exitCurrentThread(int code);

}  // namespace platform
