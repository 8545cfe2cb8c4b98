#include "rule/received_names.h"

#include <algorithm>
#include <string_view>
#include <vector>

#include "platform/clock.h"
#include "platform/code_page.h"
#include "platform/directory.h"
#include "platform/file.h"
#include "platform/file_names.h"
#include "platform/name_case.h"
#include "rule/directories.h"
#include "rule/rule.h"
#include "rule/rule_text.h"
#include "rule/sequence_counter.h"
#include "text/ascii.h"
#include "text/utf8.h"
#include "trasvik/text_format.h"

namespace trasvik {

namespace {

constexpr unsigned kLargestNumber = 99999;

unsigned receivedFileCounter = 0;

bool isControl(char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; }

bool refusedByWindows(char c) { return c != '\0' && std::string_view("<>:\"|?*").find(c) != std::string_view::npos; }

// CON, PRN, AUX, NUL, COM0-COM9, LPT0-LPT9, compared without regard to
// case, and COM and LPT with a superscript 1, 2 or 3, which Windows takes
// for devices too (the name is in the system's code page: its letter is
// compared as the character it stands for).
bool isDeviceName(std::string_view base) {
  const std::string lower = text::asciiLowered(base);
  if (lower == "con" || lower == "prn" || lower == "aux" || lower == "nul") return true;
  if (lower.size() < 4 || !(lower.starts_with("com") || lower.starts_with("lpt"))) return false;
  if (lower.size() == 4 && lower[3] >= '0' && lower[3] <= '9') return true;
  std::string last;
  if (!platform::utf8FromAnsi(lower.substr(3), last)) return false;
  return last == "\xC2\xB9" || last == "\xC2\xB2" || last == "\xC2\xB3";  // ¹ ² ³
}

// The first `length` bytes of `text` at most, never cutting a UTF-8
// character in two.
std::string cutWhole(const std::string& text, std::size_t length) {
  return std::string(text::utf8Prefix(text, length));
}

// The name cut to `longest` bytes, its extension kept when short and when
// it leaves room for more than itself.
std::string shortenedName(const std::string& name, std::size_t longest) {
  std::string extension = nameExtension(name);
  if (extension.size() > kLongestKeptExtension || extension.size() == name.size() || extension.size() * 2 > longest) {
    extension.clear();
  }
  return cutWhole(name.substr(0, name.size() - extension.size()), longest - extension.size()) + extension;
}

}  // namespace

std::string datedName(const std::tm& date, const std::string& ticker, unsigned number, const std::string& extension,
                      std::size_t longest) {
  const std::string day = formatText("%02u%02u%02u-", static_cast<unsigned>(date.tm_year) - 100u,
                                     static_cast<unsigned>(date.tm_mon) + 1u, static_cast<unsigned>(date.tm_mday));
  const std::string count = formatText("-%05u", number);
  // The extension gives way first, then the ticker.
  const std::size_t room = std::max(longest, day.size() + count.size()) - day.size() - count.size();
  const std::string shortTicker = cutWhole(ticker, room);
  return day + shortTicker + count + cutWhole(extension, room - shortTicker.size());
}

bool nameTakenIn(const std::string& directory, const std::string& name, const std::set<std::string>& chosen) {
  const bool anyExtension = name.ends_with(kAnyExtension);
  // What is compared: the whole name, or the base followed by '.' (and any
  // three bytes). Names compare as the file system compares them: on
  // Windows "A.TXT" is taken once "a.txt" is, chosen for this message or
  // there already.
  const std::string_view stem(name.data(), anyExtension ? name.size() - 3 : name.size());
  const auto same = [&](std::string_view other) {
    return other.size() == name.size() && platform::sameFileName(other.substr(0, stem.size()), stem);
  };
  if (std::any_of(chosen.begin(), chosen.end(), same)) return true;
  if (!anyExtension) return platform::pathExists(directory + name);
  // Only names the pattern lets through are examined: a directory that
  // holds thousands of received files costs one listing, not a look at
  // each of them, per name tried. The pattern lets through at least every
  // name of this base (wildcards in the base only widen it).
  std::vector<platform::DirectoryEntry> entries;
  platform::scanDirectory(directory, std::string(stem) + "???", entries);
  return std::any_of(entries.begin(), entries.end(), [&](const auto& entry) { return same(entry.name); });
}

std::size_t longestReceivedNameIn(const std::string& directory, std::size_t longestPath) {
  const std::size_t taken = directory.size() + kReceivedNameReserve;
  if (taken + kShortestReceivedNameRoom > longestPath) return 0;
  return std::min(kLongestReceivedName, longestPath - taken);
}

std::string safeAttachmentName(const std::string& fileName, std::size_t longest) {
  const std::size_t separator = fileName.find_last_of("/\\");
  std::string name = separator == std::string::npos ? fileName : fileName.substr(separator + 1);
  // A hidden file would be missed by those who read the directory, and
  // could take the name of one of the gateway's temporary files.
  name.erase(0, name.find_first_not_of('.'));
  for (const char c : name) {
    if (isControl(c)) return {};
  }
  if (name.size() > longest) name = shortenedName(name, longest);
  return platform::fileNamesFollowWindowsRules() ? windowsSafeName(std::move(name)) : name;
}

std::string windowsSafeName(std::string name) {
  for (char& c : name) {
    if (refusedByWindows(c)) c = '_';
  }
  // Windows drops them itself, so that "a.txt." would be saved as "a.txt".
  while (!name.empty() && (name.back() == '.' || name.back() == ' ')) name.pop_back();
  // "CON.txt" and "con .log" open the console, not a file: the device name
  // is the part before the first dot, trailing blanks ignored.
  std::string_view base(name);
  base = base.substr(0, base.find('.'));
  while (!base.empty() && base.back() == ' ') base.remove_suffix(1);
  if (isDeviceName(base)) name.insert(0, 1, '_');
  return name;
}

std::string nameExtension(const std::string& name) {
  const std::size_t dot = name.find_last_of('.');
  return dot == std::string::npos ? std::string() : name.substr(dot);
}

std::string tickerForName(const std::string& sender) {
  std::string ticker = senderTicker(sender);
  const bool windowsRules = platform::fileNamesFollowWindowsRules();
  for (char& c : ticker) {
    if (c == '/' || c == '\\' || isControl(c) || (windowsRules && refusedByWindows(c))) c = '_';
  }
  return cutWhole(ticker, kLongestTickerInName);
}

std::string ownName(const std::string& name, const NameTaken& taken) {
  for (unsigned k = 1;; ++k) {
    std::string candidate = candidateName("", name, k);
    if (!taken(candidate)) return candidate;
  }
}

std::string counterName(const std::string& suffix, const NameTaken& taken) {
  if (receivedFileCounter == 0) receivedFileCounter = platform::tickCount() % kLargestNumber + 1;
  for (;;) {
    receivedFileCounter = receivedFileCounter >= kLargestNumber ? 1 : receivedFileCounter + 1;
    std::string name = formatText("%05u", receivedFileCounter) + suffix;
    if (!taken(name)) return name;
  }
}

std::string sequenceName(const std::tm& today, const std::string& ticker, const std::string& extension,
                         const NameTaken& taken, std::size_t longest) {
  loadSequenceCounter();
  const unsigned number =
      freeSequenceNumber([&](unsigned n) { return taken(datedName(today, ticker, n, extension, longest)); });
  nextSequenceNumber();
  return datedName(today, ticker, number, extension, longest);
}

std::string dayName(Rule& rule, const std::tm& today, const std::string& ticker, const std::string& extension,
                    const NameTaken& taken) {
  if (today.tm_mday != rule.day.tm_mday || today.tm_mon != rule.day.tm_mon || today.tm_year != rule.day.tm_year) {
    rule.day = today;
    rule.dayCounter = 0;
  }
  for (;;) {
    ++rule.dayCounter;
    std::string name = datedName(rule.day, ticker, static_cast<unsigned>(rule.dayCounter), extension, rule.longestName);
    if (!taken(name)) return name;
  }
}

}  // namespace trasvik
