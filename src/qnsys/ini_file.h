// An INI file's sections and keys, parsed from its bytes. Pure: no file
// system access. The syntax is the one described in include/qnsys/qnsys.h.
// An IniFile is immutable after parse(), so const access from many threads is
// safe.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace qnsys {

struct IniEntry {
  std::string key;
  std::string value;
};

// A section or key whose text could not be converted exactly (key empty
// for the section's own name), as the converted texts have it.
struct RefusedText {
  std::string section;
  std::string key;
};

// Converts one line of a file's text (a section header or a key line) into
// `converted`; false when it could not be converted exactly.
using LineConversion = std::function<bool(std::string_view line, std::string& converted)>;

class IniFile {
 public:
  // Parses the whole file. Never fails: lines it cannot use are ignored.
  static IniFile parse(std::string_view contents);
  // As parse, with each section header and key line converted first (a
  // file read as UTF-8, into the ANSI code page). Sections and keys in
  // force whose line could not be converted exactly are appended to
  // `refused`, in file order; comments are not converted.
  static IniFile parse(std::string_view contents, const LineConversion& convert, std::vector<RefusedText>& refused);

  // The key's value, or nullptr when the section or the key is absent.
  // The pointer is valid as long as the IniFile.
  const std::string* find(std::string_view section, std::string_view key) const;

  // The section's keys in file order, or nullptr when it is absent.
  const std::vector<IniEntry>* entries(std::string_view section) const;

 private:
  struct Section {
    std::vector<IniEntry> entries;
    std::unordered_map<std::string, std::size_t> keyIndex;  // folded key -> entries index
  };
  const Section* findSection(std::string_view name) const;

  std::vector<Section> sections_;
  std::unordered_map<std::string, std::size_t> sectionIndex_;  // folded name -> sections_ index
};

// The integer a profile value denotes: optional blanks and sign, then
// decimal digits or "0x"/"0X" and hexadecimal digits, up to the first other
// byte ("12abc" is 12). A value without such a number ("", "abc", "-", "0x")
// gives `noNumber`. Decimal saturates at the int range; hexadecimal keeps the
// low 32 bits as a two's-complement pattern.
int parseProfileInt(std::string_view text, int noNumber = 0);

}  // namespace qnsys
