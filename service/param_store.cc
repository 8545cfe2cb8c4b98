#include "param_store.h"

#include <cerrno>
#include <system_error>

#include "percent_text.h"
#include "platform/atomic_file.h"
#include "platform/file.h"
#include "qnsys/ini_file.h"

namespace dravont_service {

namespace {

constexpr char kSection[] = "params";

std::string render(const std::map<std::string, std::string>& values) {
  std::string text = "; readParam/saveParam values of dravont-service, keys and values %-escaped\n[params]\n";
  for (const auto& [key, value] : values) text += escapeIniKey(key) + "=" + escapeWord(value) + "\n";
  return text;
}

}  // namespace

std::map<std::string, std::string> ParamStore::parse(const std::string& text) {
  std::map<std::string, std::string> values;
  const qnsys::IniFile ini = qnsys::IniFile::parse(text);
  if (const auto* entries = ini.entries(kSection)) {
    for (const qnsys::IniEntry& entry : *entries) {
      std::optional<std::string> key = unescapeWord(entry.key);
      std::optional<std::string> value = unescapeWord(entry.value);
      if (key && value) values[*key] = *value;
    }
  }
  return values;
}

std::string ParamStore::load() {
  std::string text;
  const int error = platform::readWholeFile(path_, text);
  if (error != 0 && error != ENOENT) return "cannot read " + path_ + ": " + std::generic_category().message(error);
  std::lock_guard<std::mutex> lock(mutex_);
  values_ = parse(text);
  return "";
}

std::optional<std::string> ParamStore::read(const std::string& key) const {
  std::lock_guard<std::mutex> lock(mutex_);
  const auto found = values_.find(key);
  if (found == values_.end()) return std::nullopt;
  return found->second;
}

std::string ParamStore::save(const std::string& key, const std::string& value) {
  std::lock_guard<std::mutex> lock(mutex_);
  std::map<std::string, std::string> changed = values_;
  changed[key] = value;
  if (int error = platform::replaceFileAtomically(path_, render(changed))) {
    return "cannot save parameter \"" + key + "\": " + std::generic_category().message(error);
  }
  values_.swap(changed);
  return "";
}

std::map<std::string, std::string> ParamStore::all() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return values_;
}

}  // namespace dravont_service
