// Where Windows finds the crypto provider: the vendor's DLL put beside the
// calling program is found without any PATH entry; one in the current
// directory (a download folder, a share) is never loaded.
#include <gtest/gtest.h>

#include <filesystem>

#include "converter_process.h"

namespace {

using cms_testing::SignedForm;
using converter_testing::argumentText;
using converter_testing::providerDirectory;
using converter_testing::runDriver;
using converter_testing::runProgram;
namespace fs = std::filesystem;

class ProviderSearchTest : public converter_testing::ConverterTest {};

TEST_F(ProviderSearchTest, FindsTheProviderBesideTheProgram) {
  const std::string input = signedFile("signed", SignedForm::kDer);
  const fs::path program = fs::path(file("program")) / fs::path(CONVERTER_TOOL).filename();
  fs::create_directories(program.parent_path());
  fs::copy_file(CONVERTER_TOOL, program);
  fs::copy_file(providerDirectory("kind5") + "/xpki1.dll", program.parent_path() / "xpki1.dll");

  const auto run = runProgram({}, {program.string(), "detach",
                                   argumentText({file("log.txt"), "error", input, file("content"), file("sig")})});
  ASSERT_EQ(run.exitStatus, 0) << run.output;
  EXPECT_EQ(testing_support::readFile(file("log.txt")), "");
  EXPECT_TRUE(cms_testing::filesEqual(file("content"), file("signed.content")));
}

TEST_F(ProviderSearchTest, NeverLoadsAProviderFromTheCurrentDirectory) {
  const std::string input = signedFile("signed", SignedForm::kDer);
  const fs::path planted = file("planted");
  fs::create_directories(planted);
  fs::copy_file(providerDirectory("kind5") + "/xpki1.dll", planted / "xpki1.dll");
  fs::copy_file(providerDirectory("kind6") + "/zpki1.dll", planted / "zpki1.dll");
  const fs::path previous = fs::current_path();
  fs::current_path(planted);  // the child starts in it
  const auto run =
      runDriver({}, {"detach", argumentText({file("log.txt"), "error", input, file("content"), file("sig")})});
  fs::current_path(previous);
  ASSERT_EQ(run.exitStatus, 0) << run.output;
  EXPECT_NE(testing_support::readFile(file("log.txt")).find("Can't load x64"), std::string::npos);
  EXPECT_FALSE(fs::exists(file("content")));
}

}  // namespace
