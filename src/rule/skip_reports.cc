#include "rule/skip_reports.h"

#include <map>

#include "platform/directory.h"
#include "platform/path.h"

namespace trasvik {

namespace {

std::map<std::string, std::string>& reports() {
  static std::map<std::string, std::string> byPath;
  return byPath;
}

}  // namespace

bool isNewReport(const std::string& path, const std::string& text) {
  std::string& last = reports()[path];
  if (last == text) return false;
  last = text;
  return true;
}

void clearReport(const std::string& path) { reports().erase(path); }

void forgetReportsOfMissing(const std::string& directory, const std::string& pattern,
                            const std::set<std::string>& present) {
  std::map<std::string, std::string>& all = reports();
  for (auto it = all.lower_bound(directory); it != all.end() && it->first.starts_with(directory);) {
    const std::string name = it->first.substr(directory.size());
    // Reports of the directory itself, or of what lies below it, stay.
    const bool gone = !name.empty() && platform::directoryPrefix(name).empty() && platform::wildcardMatch(pattern, name) &&
                      !present.contains(name);
    it = gone ? all.erase(it) : std::next(it);
  }
}

}  // namespace trasvik
