// Load and unload of the shared library: the set-up the other entry points
// rely on. Only libdravontdll.so contains this file; the tests call
// attachProcess() themselves.
#include <cstdlib>

#include "dravontdll/library_state.h"

namespace {

__attribute__((constructor)) void loadDravontLibrary() {
  // A library that cannot allocate its thread slots cannot serve any call;
  // there is no way to fail a load from here but to stop the process.
  if (!Quillex::attachProcess()) std::abort();
}

__attribute__((destructor)) void unloadDravontLibrary() { Quillex::detachProcess(); }

}  // namespace
