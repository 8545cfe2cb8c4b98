#include "rule/unopenable_files.h"

#include <algorithm>
#include <list>

#include "platform/file.h"

namespace trasvik {

namespace {

std::list<std::string>& unopenableFiles() {
  static std::list<std::string> paths;
  return paths;
}

}  // namespace

bool isUnopenable(const std::string& path) {
  const std::list<std::string>& paths = unopenableFiles();
  return std::find(paths.begin(), paths.end(), path) != paths.end();
}

bool addUnopenable(const std::string& path) {
  if (isUnopenable(path)) return false;
  unopenableFiles().push_back(path);
  return true;
}

void forgetUnopenable(const std::string& path) { unopenableFiles().remove(path); }

std::optional<std::string> takeUnopenable(const std::string& directory) {
  std::list<std::string>& paths = unopenableFiles();
  for (auto it = paths.begin(); it != paths.end();) {
    const std::string path = *it;
    // The list serves every FILE rule: another rule's paths stay for it.
    if (path.size() <= directory.size() || path.compare(0, directory.size(), directory) != 0) {
      ++it;
      continue;
    }
    it = paths.erase(it);
    // A file removed meanwhile would only fail, and be notified, again.
    if (platform::pathExists(path)) return path.substr(directory.size());
  }
  return std::nullopt;
}

}  // namespace trasvik
