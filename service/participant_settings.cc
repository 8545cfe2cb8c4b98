#include "participant_settings.h"

#include <set>
#include <system_error>

#include "platform/file.h"
#include "platform/host_name.h"
#include "text/ascii.h"

namespace dravont_service {

namespace {

std::string_view trimBlanks(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r')) text.remove_suffix(1);
  return text;
}

// The section names as written, first occurrence of each, in file order (the
// INI reader folds them; scripts see them as the file spells them).
std::vector<std::string> sectionNames(std::string_view text) {
  std::vector<std::string> names;
  std::set<std::string> seen;
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    const std::string_view line = trimBlanks(text.substr(0, end));
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    if (!line.starts_with('[')) continue;
    const std::string_view inside = line.substr(1);
    const std::string name(trimBlanks(inside.substr(0, inside.find(']'))));
    if (seen.insert(text::asciiLowered(name)).second) names.push_back(name);
  }
  return names;
}

}  // namespace

std::string ParticipantSettings::value(const std::string& section, const std::string& key) const {
  for (const auto& [name, entries] : sections) {
    if (!text::equalsIgnoringAsciiCase(name, section)) continue;
    for (const qnsys::IniEntry& entry : entries) {
      if (text::equalsIgnoringAsciiCase(entry.key, key)) return entry.value;
    }
  }
  return "";
}

std::optional<ParticipantSettings> parseParticipantSettings(const std::string& path, const std::string& text,
                                                            std::string& error) {
  const qnsys::IniFile ini = qnsys::IniFile::parse(text);
  ParticipantSettings settings;
  settings.path = path;
  for (const std::string& name : sectionNames(text)) {
    const std::vector<qnsys::IniEntry>* entries = ini.entries(name);
    settings.sections.emplace_back(name, entries ? *entries : std::vector<qnsys::IniEntry>{});
  }
  std::vector<std::string> missing;
  const auto required = [&](const char* section, const char* key) {
    const std::string* found = ini.find(section, key);
    if (found == nullptr || found->empty()) missing.push_back(std::string("[") + section + "] " + key);
    return found ? *found : std::string();
  };
  settings.ticker = required("self", "ticker");
  settings.service = required("self", "service");
  for (const char* attribute : kSignatureAttributeNames) settings.signature[attribute] = required("signature", attribute);
  if (!missing.empty()) {
    error = "Settings file \"" + path + "\" is incomplete, missing:";
    for (std::size_t i = 0; i < missing.size(); ++i) error += (i ? ", " : " ") + missing[i];
    return std::nullopt;
  }
  const std::string* hostname = ini.find("self", "hostname");
  settings.hostname = hostname && !hostname->empty() ? *hostname : platform::hostName();
  settings.hasNotification = ini.entries("notification") != nullptr;
  return settings;
}

std::optional<ParticipantSettings> loadParticipantSettings(const std::string& path, std::string& error, int& status) {
  std::string text;
  if (path.empty()) {
    error = "No settings file given";
    status = kSettingsUnreadable;
    return std::nullopt;
  }
  platform::FileFacts facts;
  if (platform::fileFacts(path, facts) == 0 && facts.kind != platform::FileKind::kRegular) {
    // A FIFO would hold the reader until someone writes to it.
    error = "Can't read settings file \"" + path + "\": it is not a regular file";
    status = kSettingsUnreadable;
    return std::nullopt;
  }
  if (int readError = platform::readWholeFile(path, text)) {
    error = "Can't read settings file \"" + path + "\": " + std::generic_category().message(readError);
    status = kSettingsUnreadable;
    return std::nullopt;
  }
  std::optional<ParticipantSettings> settings = parseParticipantSettings(path, text, error);
  if (!settings) status = kSettingsIncomplete;
  return settings;
}

}  // namespace dravont_service
