// The Windows side of the process facts: the module list from a Toolhelp
// snapshot with versions from version resources, LoadLibrary.
#include <gtest/gtest.h>

#include <cctype>
#include <string>

#include "platform/dynamic_library.h"
#include "platform/path.h"
#include "platform/process.h"

namespace {

bool endsWithIgnoringCase(std::string text, std::string end) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  for (char& c : end) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

TEST(ProcessWindowsTest, ModuleListStartsWithTheProgramAndReadsVersionResources) {
  const auto modules = platform::loadedModules();
  ASSERT_GE(modules.size(), 2u);
  EXPECT_TRUE(endsWithIgnoringCase(modules.front().path, "platform_tests.exe")) << modules.front().path;
  bool sawKernel = false;
  for (const auto& module : modules) {
    if (!endsWithIgnoringCase(module.path, "kernel32.dll")) continue;
    sawKernel = true;
    EXPECT_NE(module.version, "0.0.0.0");  // system DLLs carry a version resource
  }
  EXPECT_TRUE(sawKernel);
  EXPECT_NE(platform::processCommandLine().find("platform_tests"), std::string::npos);
}

// The project's own DLLs carry its version in their version resource.
TEST(ProcessWindowsTest, ProjectDllsCarryTheProjectVersion) {
  std::string error;
  auto library = platform::DynamicLibrary::open(QNSYS_LIBRARY, error);
  ASSERT_NE(library, nullptr) << error;
  bool found = false;
  for (const auto& module : platform::loadedModules()) {
    if (!endsWithIgnoringCase(module.path, "QnSys.dll")) continue;
    found = true;
    EXPECT_EQ(module.version, TRASVIK_VERSION ".0");
  }
  EXPECT_TRUE(found);
}

TEST(ProcessWindowsTest, DynamicLibraryReportsMissingLibrariesAndSymbols) {
  std::string error;
  EXPECT_EQ(platform::DynamicLibrary::open("trasvik-no-such-library.dll", error), nullptr);
  EXPECT_NE(error.find("trasvik-no-such-library.dll"), std::string::npos);
  auto kernel = platform::DynamicLibrary::open("kernel32.dll", error);
  ASSERT_NE(kernel, nullptr) << error;
  EXPECT_NE(kernel->symbol("GetTickCount"), nullptr);
  EXPECT_EQ(kernel->symbol("no_such_symbol_here"), nullptr);
}

}  // namespace
