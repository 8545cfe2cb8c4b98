// The converter object: the open log file, the loaded crypto provider with
// its functions, and the provider's crypto context. The exports keep one
// per process (exports.cc). Not thread-safe: its caller must not enter it
// from two threads at once.
#pragma once

#include <cstdio>
#include <memory>
#include <string>

#include "dravontaux64/provider_binding.h"

namespace dravontaux64 {

class DravontAux64 {
 public:
  // Sets the logger's reporting level from `levelName`, opens `logPath` for
  // appending as the log (no log when it cannot be opened), loads the
  // provider and initialises its crypto context. On failure the reason is
  // logged at ERROR, everything is released again (log file included) and
  // nullptr is returned.
  static std::unique_ptr<DravontAux64> create(const std::string& logPath, const std::string& levelName);

  // Ends the crypto context, unloads the provider and closes the log file.
  ~DravontAux64();
  DravontAux64(const DravontAux64&) = delete;
  DravontAux64& operator=(const DravontAux64&) = delete;

  // Content `path1` + detached signature `path2` -> attached file `path3`,
  // as the provider defines the paths. Failures are logged, never returned.
  void attachSignature(const char* path1, const char* path2, const char* path3);

  // Signed file `path1` -> `path2`, `path3`. A file with nothing to detach
  // (or no signed message at all) is left alone without a log record.
  void detachSignature(const char* path1, const char* path2, const char* path3);

  ProviderKind kind() const { return provider_.kind; }

 private:
  explicit DravontAux64(std::FILE* logFile) : logFile_(logFile) {}
  void initContext();  // throws std::system_error
  std::string errorText(const char* prefix, std::uint32_t code) const;
  // Reads the signing information of `path`: returns the provider's code and
  // sets `embeddedCount` to the record's count of embedded content bytes.
  std::uint32_t readEmbeddedCount(const char* path, std::uint32_t& embeddedCount);

  VcertContext context_ = nullptr;
  ProviderBinding provider_;
  std::FILE* logFile_;  // owned; also the logger's stream while open
};

}  // namespace dravontaux64
