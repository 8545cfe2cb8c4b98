#include "support/temp_directory.h"

#include <atomic>
#include <fstream>
#include <random>
#include <sstream>

namespace testing_support {

TempDirectory::TempDirectory() : TempDirectory(std::filesystem::temp_directory_path()) {}

TempDirectory::TempDirectory(const std::filesystem::path& base) {
  static std::atomic<unsigned> counter{0};
  std::random_device seed;
  for (;;) {
    path_ = base / ("trasvik-test-" + std::to_string(seed()) + "-" + std::to_string(counter++));
    if (std::filesystem::create_directory(path_)) break;
  }
}

TempDirectory::~TempDirectory() {
  std::error_code ignored;
  // Windows refuses to delete a read-only file: tests leave some behind.
  for (auto it = std::filesystem::recursive_directory_iterator(path_, ignored);
       it != std::filesystem::recursive_directory_iterator(); it.increment(ignored)) {
    std::filesystem::permissions(it->path(), std::filesystem::perms::owner_write, std::filesystem::perm_options::add,
                                 ignored);
  }
  std::filesystem::remove_all(path_, ignored);
}

std::string TempDirectory::write(const std::string& name, const std::string& contents) const {
  const std::string target = file(name);
  std::ofstream out(target, std::ios::binary | std::ios::trunc);
  out << contents;
  return target;
}

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream contents;
  contents << in.rdbuf();
  return contents.str();
}

std::filesystem::path otherVolume() {
  const std::filesystem::path volume = kWindows ? "V:\\" : "/dev/shm";
  std::error_code error;
  return std::filesystem::is_directory(volume, error) ? volume : std::filesystem::path();
}

}  // namespace testing_support
