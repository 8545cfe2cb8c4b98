// Test driver: loads libdravontaux64.so (DravontAux64.dll) the way an
// outside program does and calls its exports in the order given, in one
// process, so tests can choose the loader path (read only at process start)
// and watch what the converter keeps between calls.
//
//   converter_driver <library> step...
//   step: attach <text> | detach <text> | attach-null | sleep <milliseconds>
//
// After the last step the library is unloaded (which releases the
// converter) and "peak-rss-kib <n>" is printed. Exit status 2: wrong usage,
// 3: the library or an export cannot be found.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "platform/clock.h"
#include "platform/dynamic_library.h"
#include "platform/resource_usage.h"

namespace {

using Export = void (*)(void*, void*, const char*, int);

int usage() {
  std::fprintf(stderr, "Usage: converter_driver <library> {attach <text> | detach <text> | attach-null | sleep <ms>}...\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return usage();
  std::string error;
  std::unique_ptr<platform::DynamicLibrary> library = platform::DynamicLibrary::open(argv[1], error);
  if (library == nullptr) {
    std::fprintf(stderr, "cannot load %s: %s\n", argv[1], error.c_str());
    return 3;
  }
  const auto attach = library->function<Export>("AttachSignature");
  const auto detach = library->function<Export>("DetachSignature");
  if (attach == nullptr || detach == nullptr) {
    std::fprintf(stderr, "the library lacks its exports\n");
    return 3;
  }

  for (int i = 2; i < argc; ++i) {
    const std::string step = argv[i];
    if (step == "attach-null") {
      attach(nullptr, nullptr, nullptr, 0);
      continue;
    }
    if (i + 1 >= argc) return usage();
    const char* value = argv[++i];
    if (step == "attach") {
      attach(nullptr, nullptr, value, 0);
    } else if (step == "detach") {
      detach(nullptr, nullptr, value, 0);
    } else if (step == "sleep") {
      platform::sleepMilliseconds(static_cast<unsigned>(std::strtoul(value, nullptr, 10)));
    } else {
      return usage();
    }
  }
  library.reset();
  std::printf("peak-rss-kib %llu\n", static_cast<unsigned long long>(platform::peakResidentKibOfSelf()));
  return 0;
}
