// The files of one outgoing message of a FILE rule, each with the stream
// that is attached to the message, and how batch mode chooses them: in scan
// order while their lengths add up to at most the rule's limit. Main
// cycle's thread only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "dravont/dravontdll.h"
#include "rule/directory_scan.h"

namespace trasvik {

// One file of the message.
struct OutgoingFile {
  FileEntry* entry = nullptr;  // in the pass's list of entries
  std::string path;            // directory + name
  Quillex::DravontStream_s stream{};
  bool open = false;

  // Frees the stream unless that was done before.
  void release();
};

// The files of one message, in the order they were taken. The streams still
// open when the batch ends are released then.
class OutgoingBatch {
 public:
  OutgoingBatch() = default;
  ~OutgoingBatch();
  OutgoingBatch(const OutgoingBatch&) = delete;
  OutgoingBatch& operator=(const OutgoingBatch&) = delete;

  // Opens the entry's file, directory + name (openOutgoingFile), and
  // appends it. False when it cannot be opened; nothing is appended then.
  // `entry` must outlive the batch. May throw ContextError.
  bool add(FileEntry& entry, const std::string& directory);
  // Releases the last file's stream and takes it out again.
  void dropLast();

  std::vector<OutgoingFile>& files() { return files_; }

 private:
  std::vector<OutgoingFile> files_;
};

// Where a file of `length` bytes goes when the batch holds `total` bytes.
enum class BatchFit {
  kTake,         // into this message (a total equal to the limit fits)
  kNextMessage,  // it starts the next message
  kSetAside,     // longer than the limit by itself: it grew after the scan
};
BatchFit fitIntoBatch(std::uint64_t length, std::uint64_t total, std::uint32_t limit);

// Fills `batch` with the files of one message, from entries[next] on: each
// is opened and its length read ("length" of the stream) until the lengths
// would add up to more than `limit`. An entry whose file cannot be opened
// is dropped from `entries`; so is one whose file has grown beyond `limit`
// since the scan, with a warning naming rule, file and length (the file
// stays in the directory, and the next pass's scan skips it). Returns the
// index of the entry the next message starts at. A length that cannot be
// read is reported as a condition the gateway cannot continue from and
// throws std::runtime_error; may throw ContextError.
std::size_t collectBatch(std::vector<FileEntry>& entries, std::size_t next, const std::string& directory,
                         const std::string& ruleName, std::uint32_t limit, OutgoingBatch& batch);

// Moves the files of posts that a crash interrupted (the state file's
// record) to the front of `entries`, each post's files together in its
// message's order, and returns how many files each such post has there, in
// order. Each is posted again as it was, under its post token, before any
// new message is formed, so that a receiving gateway that saved the first
// post takes the second for a copy. A file of such a post that is gone or
// has changed since is left out with a warning and its record dropped (a
// changed one goes out as a new file). Only files of `directory` count;
// the other entries keep their order behind them.
std::vector<std::size_t> putInterruptedBatchesFirst(std::vector<FileEntry>& entries, const std::string& directory);

// Fills `batch` with the `count` files from entries[next] on, whatever
// their lengths add up to: an interrupted post is made again as it was.
// An entry whose file cannot be opened is dropped from `entries`. Returns
// the index of the entry after them. May throw ContextError.
std::size_t collectInterruptedBatch(std::vector<FileEntry>& entries, std::size_t next, const std::string& directory,
                                    std::size_t count, OutgoingBatch& batch);

}  // namespace trasvik
