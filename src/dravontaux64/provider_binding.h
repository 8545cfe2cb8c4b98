// Finding the crypto provider: loads "libzpki1.so" (kind 6), else
// "libxpki1.so" (kind 5), through the loader's search path, and looks up the
// functions of that kind in a fixed order.
#pragma once

#include <memory>

#include "dravontaux64/provider_interface.h"
#include "platform/dynamic_library.h"

namespace dravontaux64 {

struct ProviderBinding {
  std::unique_ptr<platform::DynamicLibrary> library;
  ProviderKind kind = ProviderKind::kNone;
  ProviderFunctions functions;
};

// Loads the provider and resolves its functions. Throws std::system_error
// (error value 0, system category) with "Can't load x64 xpki1.dll or
// zpki1.dll" when neither library loads, or with the "Can't find ... function
// in crypto DLL" text of the first missing function; in that case the
// library has been unloaded again.
ProviderBinding bindProvider();

}  // namespace dravontaux64
