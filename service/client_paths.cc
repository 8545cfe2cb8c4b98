#include "client_paths.h"

namespace dravont_service {

namespace {

bool isDriveLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

bool isSeparator(char c) { return c == '\\' || c == '/'; }

}  // namespace

std::string localPath(const std::string& clientPath, const std::string& winePrefix) {
  if (winePrefix.empty() || clientPath.size() < 2 || !isDriveLetter(clientPath[0]) || clientPath[1] != ':' ||
      (clientPath.size() > 2 && !isSeparator(clientPath[2]))) {
    return clientPath;
  }
  std::string path = winePrefix;
  if (!path.ends_with('/')) path += '/';
  path += "dosdevices/";
  path += static_cast<char>(clientPath[0] | 0x20);  // Wine names its drive links in lower case
  path += ':';
  for (std::size_t i = 2; i < clientPath.size(); ++i) path += clientPath[i] == '\\' ? '/' : clientPath[i];
  return path;
}

}  // namespace dravont_service
