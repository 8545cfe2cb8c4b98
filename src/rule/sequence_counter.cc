#include "rule/sequence_counter.h"

#include <string>

#include "trasvik/ini_values.h"
#include "trasvik/library_text.h"
#include "trasvik/script_bridge.h"
#include "trasvik/script_texts.h"
#include "trasvik/session.h"
#include "trasvik/text_format.h"

namespace trasvik {

namespace {

constexpr unsigned kLargestNumber = 99999;

unsigned counter = 0;
std::string counterKey;

unsigned following(unsigned number) { return number >= kLargestNumber ? 1 : number + 1; }

}  // namespace

void loadSequenceCounter() {
  if (counter != 0) return;
  counterKey = "infilenum " + iniFileName();
  LibraryText result;
  if (!runScript(formatText(scripts::kReadParam, escapeScriptText(counterKey).c_str()), result)) {
    throw ScriptError(lastError());
  }
  const long stored = result.number();
  counter = stored <= 0 || stored > static_cast<long>(kLargestNumber) ? 1 : static_cast<unsigned>(stored);
}

unsigned freeSequenceNumber(const std::function<bool(unsigned)>& taken) {
  while (taken(counter)) counter = following(counter);
  return counter;
}

unsigned nextSequenceNumber() {
  counter = following(counter);
  LibraryText result;
  if (!runScript(formatText(scripts::kSaveParam, escapeScriptText(counterKey).c_str(), counter), result)) {
    throw ScriptError(lastError());
  }
  return counter;
}

}  // namespace trasvik
