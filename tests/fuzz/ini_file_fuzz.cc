// The INI parser: any bytes parse; every section a header line names can be
// looked up in any letter case, and each of its keys is found with exactly
// its own entry's value; keys are not empty, names and values carry no
// line end and no blanks at their ends; numbers read from values stay
// defined for any text.
#include "fuzz_support.h"
#include "qnsys/ini_file.h"
#include "text/ascii.h"

namespace {

bool hasBlankEnd(const std::string& text) {
  return !text.empty() && (text.front() == ' ' || text.front() == '\t' || text.back() == ' ' || text.back() == '\t');
}

std::string upper(std::string text) {
  for (char& c : text) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return text;
}

void checkSection(const qnsys::IniFile& ini, std::string_view name) {
  const std::vector<qnsys::IniEntry>* entries = ini.entries(name);
  if (entries == nullptr) return;
  fuzzing::require(ini.entries(upper(std::string(name))) == entries, "a section is found in any case");
  for (const qnsys::IniEntry& entry : *entries) {
    fuzzing::require(!entry.key.empty(), "a key is not empty");
    for (const std::string* text : {&entry.key, &entry.value}) {
      fuzzing::require(text->find('\n') == std::string::npos, "no line end in a key or value");
      fuzzing::require(!hasBlankEnd(*text), "keys and values are trimmed");
    }
    fuzzing::require(ini.find(name, text::asciiLowered(entry.key)) == &entry.value, "a key finds its own value");
    qnsys::parseProfileInt(entry.value, -1);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view contents(reinterpret_cast<const char*>(data), size);
  const qnsys::IniFile ini = qnsys::IniFile::parse(contents);
  qnsys::parseProfileInt(contents, -1);
  // Every line names a section to look up: a header "[name]" names its
  // own; other lines name sections that mostly do not exist.
  std::string_view rest = contents;
  while (!rest.empty()) {
    const std::size_t end = rest.find('\n');
    std::string_view line = rest.substr(0, end);
    rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
    const std::size_t open = line.find('[');
    if (open != std::string_view::npos) line = line.substr(open + 1, line.find(']', open) - open - 1);
    while (!line.empty() && (line.front() == ' ' || line.front() == '\t')) line.remove_prefix(1);
    while (!line.empty() && (line.back() == ' ' || line.back() == '\t' || line.back() == '\r')) line.remove_suffix(1);
    checkSection(ini, line);
  }
  return 0;
}
