/* A client that loads the client library (libdravontdll.so, DravontDLL.dll),
 * makes calls on two threads and then leaves the process in the way named by
 * its first argument. Unloading must be safe in every order the C runtime and
 * the loader can choose:
 *
 *   exit         return from main with the library still loaded
 *   unload       unload the library explicitly, then return (loaded build)
 *   thread-exit  call exit() from a second thread while main waits
 *
 * Built twice: once loading the library at run time (dlopen, LoadLibrary:
 * the way interpreters and virtual machines use it), once linked normally
 * (LINKED_CLIENT). The calls go to a port where no service listens; they only
 * have to set up the per-thread state that unloading then releases. On
 * Windows an explicit unload must also give back the library's thread-local
 * storage slots. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#ifdef LINKED_CLIENT
#include "dravont/dravontdll.h"
#endif

#ifdef _WIN32
#include <windows.h>
typedef HANDLE Thread;
typedef HMODULE Library;
static inline int startThread(Thread* thread, void* (*body)(void*), void* argument) {
  *thread = CreateThread(NULL, 0, (LPTHREAD_START_ROUTINE)(void (*)(void))body, argument, 0, NULL);
  return *thread == NULL;
}
static inline void joinThread(Thread thread) {
  WaitForSingleObject(thread, INFINITE);
  CloseHandle(thread);
}
static inline Library loadLibrary(const char* path) { return LoadLibraryA(path); }
static inline void* librarySymbol(Library library, const char* name) {
  return (void*)(void (*)(void))GetProcAddress(library, name);
}
static inline int unloadLibrary(Library library) { return FreeLibrary(library) ? 0 : 1; }
static inline const char* loadError(void) { return "LoadLibrary failed"; }
#else
#include <dlfcn.h>
#include <pthread.h>
typedef pthread_t Thread;
typedef void* Library;
static inline int startThread(Thread* thread, void* (*body)(void*), void* argument) {
  return pthread_create(thread, NULL, body, argument);
}
static inline void joinThread(Thread thread) { pthread_join(thread, NULL); }
static inline Library loadLibrary(const char* path) { return dlopen(path, RTLD_NOW | RTLD_LOCAL); }
static inline void* librarySymbol(Library library, const char* name) { return dlsym(library, name); }
static inline int unloadLibrary(Library library) { return dlclose(library); }
static inline const char* loadError(void) { return dlerror(); }
#endif

typedef int (*VersionFunction)(int*, int*, int*, int*);
typedef const char* (*LastErrorFunction)(void);

static VersionFunction getServiceVersion;
static LastErrorFunction getLastError;

static void callLibrary(void) {
  int major = 0, minor = 0, third = 0, fourth = 0;
  if (getServiceVersion(&major, &minor, &third, &fourth) == 0) {
    fprintf(stderr, "a service answered on the test port\n");
    exit(3);
  }
  if (getLastError() == NULL) {
    fprintf(stderr, "a failed call left no error text\n");
    exit(3);
  }
}

static void* callThenMaybeExit(void* exitHere) {
  callLibrary();
  if (exitHere != NULL) exit(0);
  return NULL;
}

int main(int argc, char** argv) {
  if (argc < 2) {
    fprintf(stderr, "usage: %s exit|unload|thread-exit [library]\n", argv[0]);
    return 2;
  }
  const char* mode = argv[1];
#ifdef LINKED_CLIENT
  getServiceVersion = GetServiceVersion;
  getLastError = GetLastDravontError;
#else
  if (argc < 3) return 2;
  Library library = loadLibrary(argv[2]);
  if (library == NULL) {
    fprintf(stderr, "cannot load %s: %s\n", argv[2], loadError());
    return 3;
  }
  getServiceVersion = (VersionFunction)librarySymbol(library, "GetServiceVersion");
  getLastError = (LastErrorFunction)librarySymbol(library, "GetLastDravontError");
  const unsigned long* clientSlot = (const unsigned long*)librarySymbol(library, "XmlRpcClientIndex");
  if (getServiceVersion == NULL || getLastError == NULL || clientSlot == NULL) return 3;
#endif

  callLibrary();
  Thread thread;
  const int exitFromThread = strcmp(mode, "thread-exit") == 0;
  if (startThread(&thread, callThenMaybeExit, exitFromThread ? (void*)1 : NULL) != 0) return 3;
  joinThread(thread);

#ifndef LINKED_CLIENT
  if (strcmp(mode, "unload") == 0) {
#ifdef _WIN32
    const DWORD firstSlot = (DWORD)*clientSlot;
#endif
    if (unloadLibrary(library) != 0) return 3;
#ifdef _WIN32
    /* The slots were given back: the lowest free one is no higher than the
     * first the library took. */
    const DWORD slot = TlsAlloc();
    if (slot == TLS_OUT_OF_INDEXES || slot > firstSlot) {
      fprintf(stderr, "the library kept its thread-local storage slots\n");
      return 3;
    }
#endif
  }
#endif
  return 0;
}
