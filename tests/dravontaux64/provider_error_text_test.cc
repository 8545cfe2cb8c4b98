// Composition of the provider error text from a scripted provider: its
// text for the code, one line per error line, and the release of every text
// the provider hands out.
#include "dravontaux64/provider_error_text.h"

#include <gtest/gtest.h>

#include <cstring>
#include <deque>
#include <set>

namespace {

using dravontaux64::ProviderFunctions;
using dravontaux64::VcertContext;
using dravontaux64::VcertTextItem;

struct ScriptedLine {
  const char* details;
  const char* file;
  std::uint32_t line;
  const char* further;
};

// The scripted provider's state; the functions below are its exports.
std::deque<ScriptedLine> gLines;
std::set<void*> gHandedOut;
int gFreed = 0;
bool gItemsWereZeroed = true;
bool gFillWholeBuffer = false;
VcertContext gContextSeen = nullptr;

char* handOut(const char* text) {
  char* copy = new char[std::strlen(text) + 1];
  std::strcpy(copy, text);
  gHandedOut.insert(copy);
  return copy;
}

void fill(VcertTextItem* item, const char* text) {
  if (text == nullptr) return;
  item->text = handOut(text);
  item->length = static_cast<std::uint32_t>(std::strlen(text));
}

std::uint32_t getErrorText(std::uint32_t code, char* buffer, std::uint32_t size) {
  if (gFillWholeBuffer) {
    std::memset(buffer, 'x', size);  // no terminating NUL
  } else {
    std::snprintf(buffer, size, "text of %08X", code);
  }
  return 0;
}

std::uint32_t getErrorLineEx(VcertContext context, VcertTextItem* details, VcertTextItem* file, std::uint32_t* line,
                             VcertTextItem* further) {
  gContextSeen = context;
  gItemsWereZeroed = gItemsWereZeroed && details->length == 0 && details->text == nullptr && file->length == 0 &&
                     file->text == nullptr && further->length == 0 && further->text == nullptr;
  if (gLines.empty()) return 1;
  const ScriptedLine next = gLines.front();
  gLines.pop_front();
  fill(details, next.details);
  fill(file, next.file);
  fill(further, next.further);
  *line = next.line;
  return 0;
}

std::uint32_t freeMem(VcertContext, void* text) {
  EXPECT_EQ(gHandedOut.erase(text), 1u) << "freed a text that was not handed out, or twice";
  delete[] static_cast<char*>(text);
  ++gFreed;
  return 0;
}

class ProviderErrorTextTest : public testing::Test {
 protected:
  void SetUp() override {
    gLines.clear();
    gHandedOut.clear();
    gFreed = 0;
    gItemsWereZeroed = true;
    gFillWholeBuffer = false;
    functions_.getErrorText = getErrorText;
    functions_.getErrorLineEx = getErrorLineEx;
    functions_.freeMem = freeMem;
  }
  void TearDown() override { EXPECT_TRUE(gHandedOut.empty()) << "provider texts were not freed"; }

  std::string compose(std::uint32_t code) {
    int context = 0;
    const std::string text = dravontaux64::providerErrorText(functions_, &context, "Prefix ", code);
    EXPECT_EQ(gContextSeen, &context);
    return text;
  }

  ProviderFunctions functions_;
};

TEST_F(ProviderErrorTextTest, WithoutErrorLinesIsPrefixAndCodeText) {
  EXPECT_EQ(compose(0xE0700002), "Prefix text of E0700002");
}

TEST_F(ProviderErrorTextTest, AddsOneLineFeedAndLinePerErrorLine) {
  gLines = {{"bad tag", "reader.cc", 42, "readHeader"}, {"no details beyond this", nullptr, 0, nullptr},
            {nullptr, "writer.cc", 7, nullptr}, {nullptr, nullptr, 0, nullptr}};
  EXPECT_EQ(compose(5),
            "Prefix text of 00000005"
            "\nerror details: bad tag in file: reader.cc line: 42"
            "\nerror details: no details beyond this"
            "\n in file: writer.cc line: 7"
            "\n");
  EXPECT_TRUE(gItemsWereZeroed) << "items must be zeroed before every call";
  EXPECT_EQ(gFreed, 5) << "every item of non-zero length is freed, the further item included";
}

TEST_F(ProviderErrorTextTest, ACodeTextFillingTheWholeBufferIsCutAtItsEnd) {
  gFillWholeBuffer = true;
  EXPECT_EQ(compose(1), "Prefix " + std::string(dravontaux64::kErrorTextBufferSize - 1, 'x'));
}

}  // namespace
