// A fresh directory under the system's temporary directory, removed with
// everything in it when the object goes away.
#pragma once

#include <filesystem>
#include <string>

namespace testing_support {

class TempDirectory {
 public:
  TempDirectory();
  // A fresh directory under `base` instead.
  explicit TempDirectory(const std::filesystem::path& base);
  ~TempDirectory();
  TempDirectory(const TempDirectory&) = delete;
  TempDirectory& operator=(const TempDirectory&) = delete;

  const std::filesystem::path& path() const { return path_; }
  // Absolute path of a name inside the directory.
  std::string file(const std::string& name) const { return (path_ / name).string(); }
  // Writes a file inside the directory and returns its path.
  std::string write(const std::string& name, const std::string& contents) const;

 private:
  std::filesystem::path path_;
};

// The system's device that discards what is written to it.
#if defined(_WIN32)
inline constexpr char kNullDevice[] = "NUL";
#else
inline constexpr char kNullDevice[] = "/dev/null";
#endif

// True in the Windows build: a test whose subject is one system's own fact
// (symbolic links, file attributes, names Windows refuses) asks it.
#if defined(_WIN32)
inline constexpr bool kWindows = true;
#else
inline constexpr bool kWindows = false;
#endif

// A directory on another volume than the temporary directory, where a
// move from there must copy: /dev/shm on Linux, drive V: under Wine (made
// by the scripts that run the Windows tests). Empty when there is none.
std::filesystem::path otherVolume();

// Reads a whole file ("" when it cannot be read).
std::string readFile(const std::string& path);

}  // namespace testing_support
