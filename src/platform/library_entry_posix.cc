#include <cstdlib>

#include "platform/library_entry.h"

namespace {

__attribute__((constructor)) void loadLibrary() {
  // There is no way to fail a load from a constructor but to stop the
  // process: a library that could not set itself up cannot serve any call.
  if (!platform::library_entry::onProcessAttach()) std::abort();
}

__attribute__((destructor)) void unloadLibrary() { platform::library_entry::onProcessDetach(); }

}  // namespace
