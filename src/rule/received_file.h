// A file being received into an incoming directory. The service writes it
// under a hidden temporary name (a directory scan skips names beginning
// with '.'; on Windows the file has the hidden and temporary attributes
// until it is placed), and only a file known to be whole is renamed to its chosen
// name, which it never replaces: a program watching the directory never
// sees a partial file. A file not put in place is removed again, and one
// a crash left behind when the gateway starts next. Main thread only.
#pragma once

#include <cstdint>
#include <string>

#include "dravont/dravontdll.h"

namespace trasvik {

class ReceivedFile {
 public:
  ReceivedFile() = default;
  // Closes the stream and removes the temporary file unless it was placed.
  ~ReceivedFile();
  ReceivedFile(const ReceivedFile&) = delete;
  ReceivedFile& operator=(const ReceivedFile&) = delete;

  // Has the service create a file of a fresh temporary name in `directory`
  // (ending in a separator), opened in `mode` ("wb+", "wt+"). False when the
  // service cannot create it; the reason is the library's last error.
  bool create(const std::string& directory, const char* mode);

  // The open stream over the file (after create succeeded).
  Quillex::DravontStream_s& stream() { return stream_; }

  // Closes the stream; the service closes the file.
  void close();

  // The temporary file's size as the file system reports it (0 when it
  // cannot be examined).
  std::uint64_t size() const;

  // Closes the file and renames it to directory + name, or the next free
  // name ("base (k).ext") when that exists. Returns the path it now has. A
  // failed rename has been reported and throws kMoveFailure (file_moves.h),
  // or FileHeld (held_files.h) when another program held the file through
  // the lock wait; the temporary file is removed then.
  // The file's bytes are flushed to disk first; flushDirectory makes the
  // new name durable.
  std::string place(const std::string& name);

  // As place, but to exactly directory + name: a file already there is a
  // failure (reported, kMoveFailure), not a reason to take another name.
  void placeExactly(const std::string& name);

 private:
  void flushBeforePlacing();

  std::string directory_;
  std::string temporaryPath_;  // empty when there is nothing to remove
  Quillex::DravontStream_s stream_{};
  bool open_ = false;
};

// Removes the temporary files a receipt interrupted by a crash left in
// `directory` (ending in a separator): each holds a whole payload that the
// message's next delivery writes again. Only names of the gateway's own
// pattern are touched; each directory is cleaned once per process, when
// its first rule starts. An incoming directory belongs to one gateway.
void removeLeftoverTemporaryFiles(const std::string& directory);

// Flushes a directory that received files were placed in, so that their
// names survive a crash of the machine; once per message, before it is
// confirmed. A failure is reported and throws kMoveFailure.
void flushDirectory(const std::string& directory);

}  // namespace trasvik
