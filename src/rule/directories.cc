#include "rule/directories.h"

#include <optional>
#include <vector>

#include "platform/directory.h"
#include "platform/file.h"
#include "platform/path.h"
#include "rule/rule_text.h"
#include "rule/skip_reports.h"
#include "trasvik/ini_values.h"
#include "trasvik/notification.h"

namespace trasvik {

namespace {

bool isDirectory(const std::string& path) {
  platform::FileFacts facts;
  return platform::fileFacts(path, facts) == 0 && facts.kind == platform::FileKind::kDirectory;
}

}  // namespace

bool readDirectoryKey(std::string& result, const char* section, const char* key) {
  result.clear();
  const std::string value = iniText(section, key, 256);
  if (value.empty()) return true;
  const std::string directory = platform::withTrailingSeparator(value);
  if (!checkDirectory(directory, section)) return false;
  result = directory;
  return true;
}

bool checkDirectory(const std::string& path, const std::string& section) {
  if (isDirectory(path)) return true;
  reportCantContinue("Directory \"%s\" dosn't exist, (section [%s])", path.c_str(), section.c_str());
  return false;
}

bool directoriesAcceptMoves(const std::string& section, const std::vector<std::string>& directories) {
  bool accepted = true;
  for (const std::string& directory : directories) {
    if (directory.empty()) continue;
    const int error = platform::probeDirectoryForFiles(directory);
    if (error == 0) {
      clearReport(directory);
      continue;
    }
    accepted = false;
    const std::string reason = errnoText(error);
    if (!isNewReport(directory, reason)) continue;
    reportFatal("Directory \"%s\" doesn't accept files, %s (section [%s]); nothing is sent until it does",
                directory.c_str(), reason.c_str(), section.c_str());
  }
  return accepted;
}

bool makeDirectories(const std::string& path) {
  const std::optional<std::string> absolute = platform::absolutePath(path);
  if (!absolute) return false;
  // The root ("/", "C:\", "\\server\share\") is split off; each
  // component after it is made in turn.
  const std::string& full = *absolute;
  std::size_t end = platform::rootLength(full);
  while (end < full.size()) {
    while (end < full.size() && !platform::isPathSeparator(full[end])) ++end;
    const std::string walked = full.substr(0, end);
    ++end;
    platform::FileFacts facts;
    if (platform::fileFacts(walked, facts) == 0) {
      if (facts.kind != platform::FileKind::kDirectory) return false;
    } else if (platform::makeDirectory(walked) != 0 && !isDirectory(walked)) {
      return false;
    }
  }
  return true;
}

bool fileExists(const std::string& path) {
  const std::string name = platform::baseName(path);
  if (name.find_first_of("*?") == std::string::npos) return platform::pathExists(path);
  const std::string prefix = platform::directoryPrefix(path);
  const std::string directory = prefix.empty() ? std::string(".") : prefix;
  std::vector<platform::DirectoryEntry> entries;
  platform::scanDirectory(directory, name, entries);
  return !entries.empty();
}

std::string candidateName(const std::string& directory, const std::string& name, unsigned k) {
  if (k <= 1) return directory + name;
  const std::size_t dot = name.find_last_of('.');
  const std::string base = dot == std::string::npos ? name : name.substr(0, dot);
  const std::string extension = dot == std::string::npos ? std::string() : name.substr(dot);
  return directory + base + " (" + std::to_string(k) + ")" + extension;
}

std::string uniqueName(const std::string& directory, const std::string& name) {
  for (unsigned k = 1;; ++k) {
    std::string candidate = candidateName(directory, name, k);
    if (!fileExists(candidate)) return candidate;
  }
}

}  // namespace trasvik
