/* A client that loads libdravontdll.so, makes calls on two threads and then
 * leaves the process in the way named by its first argument. Unloading must
 * be safe in every order the C runtime and the loader can choose:
 *
 *   exit         return from main with the library still loaded
 *   dlclose      unload the library explicitly, then return (dlopen build)
 *   thread-exit  call exit() from a second thread while main waits
 *
 * Built twice: once loading the library with dlopen (the way interpreters
 * and virtual machines use it), once linked normally (LINKED_CLIENT).
 * The calls go to a port where no service listens; they only have to set up
 * the per-thread state that unloading then releases. */
#include <pthread.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#ifdef LINKED_CLIENT
#include "dravont/dravontdll.h"
#else
#include <dlfcn.h>
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
    fprintf(stderr, "usage: %s exit|dlclose|thread-exit [library]\n", argv[0]);
    return 2;
  }
  const char* mode = argv[1];
#ifdef LINKED_CLIENT
  getServiceVersion = GetServiceVersion;
  getLastError = GetLastDravontError;
#else
  if (argc < 3) return 2;
  void* library = dlopen(argv[2], RTLD_NOW | RTLD_LOCAL);
  if (library == NULL) {
    fprintf(stderr, "dlopen: %s\n", dlerror());
    return 3;
  }
  getServiceVersion = (VersionFunction)dlsym(library, "GetServiceVersion");
  getLastError = (LastErrorFunction)dlsym(library, "GetLastDravontError");
  if (getServiceVersion == NULL || getLastError == NULL) return 3;
#endif

  callLibrary();
  pthread_t thread;
  const int exitFromThread = strcmp(mode, "thread-exit") == 0;
  if (pthread_create(&thread, NULL, callThenMaybeExit, exitFromThread ? (void*)1 : NULL) != 0) return 3;
  pthread_join(thread, NULL);

#ifndef LINKED_CLIENT
  if (strcmp(mode, "dlclose") == 0 && dlclose(library) != 0) return 3;
#endif
  return 0;
}
