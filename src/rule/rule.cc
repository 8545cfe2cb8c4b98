#include "rule/rule.h"

#include <algorithm>
#include <cerrno>
#include <mutex>
#include <string_view>

#include "platform/file.h"
#include "platform/path.h"
#include "rule/directories.h"
#include "rule/information_file.h"
#include "rule/received_file.h"
#include "rule/received_names.h"
#include "rule/rule_text.h"
#include "trasvik/gateway_log.h"
#include "trasvik/ini_values.h"
#include "trasvik/notification.h"
#include "trasvik/settings.h"
#include "trasvik/text_format.h"

namespace trasvik {

namespace {

constexpr int kLevelNotANumber = -666;
// The address file is read in pieces of at most this many bytes, each up
// to and including a line feed: a longer line counts as several.
constexpr std::size_t kAddressLinePiece = 127;

// The time the first rule of the process was initialised, as UTC.
std::tm processStartDay() {
  static std::once_flag once;
  static std::tm day{};
  std::call_once(once, [] {
    const std::time_t now = std::time(nullptr);
    day = *std::gmtime(&now);
  });
  return day;
}

std::string_view trimmedAddressLine(std::string_view line) {
  const std::size_t first = line.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  const std::size_t last = line.find_last_not_of("\t\n\r ");
  return line.substr(first, last - first + 1);
}

}  // namespace

bool Rule::ini(const std::string& section, bool main) {
  name = section;
  isMain = main;
  const char* s = section.c_str();

  if (!readDirectoryKey(in, s, "in")) return false;
  if (isMain && in.empty()) {
    reportCantContinue("Rule:ini(), Main rule must have input directory ([%s]:in)", s);
    return false;
  }
  if (!in.empty() && !fitReceivedNames()) return false;
  // A check leaves them: they may belong to a gateway running now.
  if (!in.empty() && !settings().checkOnly) {
    removeLeftoverTemporaryFiles(in);
    removeLeftoverTemporaryFiles(informationPath(in, ""));
  }
  if (!readDirectoryKey(out, s, "out")) return false;
  if (in.empty() && out.empty()) {
    reportCantContinue("Rule:ini(), Rule must have input or output directory ([%s]:in or [%s]:out)", s, s);
    return false;
  }

  if (!readAddresses(section)) return false;
  subject = iniText(s, "subject", 256);

  int compatibility = iniNumber(s, "compatibility_option", 1);
  if (compatibility < 0 || compatibility > 3) {
    GATEWAY_WARNING("Wrong [%s]:compatibility_option, forcing to 1", s);
    compatibility = 1;
  }
  compatibilityFlag0 = (compatibility & 1) != 0;
  compatibilityFlag1 = (compatibility & 2) != 0;

  const int firmValue = iniNumber(s, "firm", 0);
  firm = firmValue == 0 || firmValue == 1 ? firmValue : 2;
  if (firm != firmValue) warnForced(s, "firm", firmValue, firm);
  day = processStartDay();
  dayCounter = 0;

  const std::string coretypeValue = iniText(s, "coretype", 256);
  if (coretypeValue.empty()) {
    coretype = 0;
    coretypeText = "1200";
  } else if (!parseHex16(coretypeValue, coretype)) {
    reportCantContinue("Rule:ini(), Wrong coretype ([%s]:coretype \"%s\")", s, coretypeValue.c_str());
    return false;
  } else {
    coretypeText = formatText("%04X", coretype);
  }

  error = settings().error;
  if (!readDirectoryKey(sent, s, "sent")) return false;
  if (sent.empty()) sent = settings().sent;
  retryBudget = settings().retryonerror;
  readProtectionLevel(section);
  return true;
}

bool Rule::fitReceivedNames() {
  // The information files may lie in a deeper directory of their own.
  longestName = kLongestReceivedName;
  for (const std::string& directory : {in, informationPath(in, "")}) {
    const std::string absolute = platform::absolutePath(directory).value_or(directory);
    const std::size_t longest = longestReceivedNameIn(absolute, platform::kMaxPath - 1);
    if (longest == 0) {
      reportCantContinue("Rule:ini(), Incoming directory \"%s\" of rule [%s] is too deep: the path of a file "
                         "received into it would pass %zu characters",
                         absolute.c_str(), name.c_str(), platform::kMaxPath - 1);
      return false;
    }
    longestName = std::min(longestName, longest);
  }
  return true;
}

bool Rule::readAddresses(const std::string& section) {
  const char* s = section.c_str();
  addresses.clear();
  folders.clear();
  addressText.clear();
  senderFilter.clear();

  const std::string addressFile = iniText(s, "addrfile", 256);
  if (!addressFile.empty()) return readAddressFile(addressFile);

  const std::string value = iniText(s, "address", 256);
  if (value.find_first_of(",;") != std::string::npos) {
    std::size_t start = 0;
    for (;;) {
      const std::size_t end = value.find_first_of(",;", start);
      const std::string piece = value.substr(start, end == std::string::npos ? std::string::npos : end - start);
      if (!addAddress(*this, piece)) {
        reportCantContinue("Wrong address \"%s\" in [%s]:address", piece.c_str(), s);
        return false;
      }
      addressText += addressText.empty() ? piece : "; " + piece;
      if (end == std::string::npos) break;
      start = end + 1;
    }
    return true;
  }
  addressText = value;
  senderFilter = value;
  if (!value.empty() && !addAddress(*this, value)) {
    reportCantContinue("Rule:ini(), Wrong address ([%s]:address \"%s\")", s, value.c_str());
    return false;
  }
  return true;
}

bool Rule::readAddressFile(const std::string& path) {
  std::string contents;
  const int error = platform::readWholeFile(path, contents);
  if (error != 0 && error != EISDIR) {
    reportCantContinue("Rule:ini(), Can't open file \"%s\")", path.c_str());
    return false;
  }
  if (error == EISDIR) {
    reportCantContinue("Rule:ini(), Error reading file \"%s\")", path.c_str());
    return false;
  }
  std::size_t start = 0;
  while (start < contents.size()) {
    std::size_t end = contents.find('\n', start);
    end = end == std::string::npos ? contents.size() : end + 1;
    if (end - start > kAddressLinePiece) end = start + kAddressLinePiece;
    const std::string line(trimmedAddressLine(std::string_view(contents).substr(start, end - start)));
    start = end;
    if (line.empty()) continue;
    if (!addAddress(*this, line)) {
      reportCantContinue("Wrong address \"%s\" in file \"%s\")", line.c_str(), path.c_str());
      return false;
    }
    addressText += addressText.empty() ? line : "; " + line;
  }
  return true;
}

void Rule::readProtectionLevel(const std::string& section) {
  const int number = iniInteger(section.c_str(), "protectionlevel", kLevelNotANumber);
  protectionLevel = settings().protectionLevel;
  if (number != kLevelNotANumber) {
    if (number >= 0 && number <= 6) protectionLevel = number;
    return;
  }
  const int named = protectionLevelByName(iniText(section.c_str(), "protectionlevel", 256));
  if (named >= 0) protectionLevel = named;
}

}  // namespace trasvik
