// Injected file faults, for tests only: make chosen file operations of the
// platform layer fail with a chosen errno, so that failure paths (a move that
// fails, a delete that fails, a full disk while writing) can be tested for
// real, also as root, whom permissions do not stop.
//
// Every file function of the platform layer asks injectedFileError() before
// each system call that opens, writes, flushes, renames, links, removes or
// makes directories. When a fault applies, that call is not made; the
// function fails exactly as the call would have failed with the errno.
//
// Faults come from the environment variable TRASVIK_TEST_FILE_FAULTS, read
// once at the first file operation (so programs started by end-to-end tests
// inherit them), or from setFileFaults() in unit tests, which replaces them.
// The text form is a list of entries separated by ';':
//
//     operation:path-part:error[:skip[:count]]
//
//   operation  open, write, fsync, rename, link, unlink, mkdir or space
//   path-part  bytes the path must contain to fail; empty: every path.
//              Neither ':' nor ';' can be part of it.
//   error      an errno name (EACCES, ENOSPC, EIO, ...) or its number
//   skip       the first `skip` matching calls still succeed (default 0);
//              the matching calls after them fail
//   count      how many calls fail after the skipped ones; later calls
//              succeed again (default 0: every one fails), as a file that
//              another program holds for a moment
//
// Example: TRASVIK_TEST_FILE_FAULTS='rename:/sent/:EACCES;write:.tmp:ENOSPC:2'
// makes every move into or out of a path containing "/sent/" fail with
// EACCES, and every write to a file whose path contains ".tmp" fail with
// ENOSPC after the first two. 'unlink:a.txt:EBUSY:0:3' fails the first three
// removals of a.txt as a sharing violation would, and lets the fourth pass.
//
// EBUSY is the errno the Windows layer gives a sharing or lock violation
// (another program has the file open without sharing it); SHARING names it
// here too.
//
// What each operation covers: open, every open of a file or directory (also
// for reading); write, one whole write of a buffer (however many system calls
// it takes); fsync, a flush to disk; rename, a rename, matched against the
// source and the target path; link, the hard link a move makes where the file
// system cannot rename without replacing (source or target path); unlink, a
// file removal; mkdir, a directory creation; space, a query of the free
// space of a directory's volume, which then finds none. Writes and flushes are matched
// against the path the descriptor's file has now, absolute and with links
// resolved; the other operations against the path as the caller gave it.
// Writes to the standard streams never fail on purpose.
//
// Entries are tried in order; the first whose operation and path part match
// takes the call (using up one of its skips, or failing it).
//
// A malformed variable is reported on standard error and ends the process, so
// a test cannot pass with faults it did not get. Each module linking the
// platform layer (program, shared libraries) keeps its own fault list; the
// variable configures them all alike. Thread-safe. With no fault configured
// a check costs one relaxed atomic load.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace platform {

inline constexpr const char* kFileFaultsVariable = "TRASVIK_TEST_FILE_FAULTS";

enum class FileOperation { kOpen, kWrite, kFsync, kRename, kLink, kUnlink, kMkdir, kSpace };

struct FileFault {
  FileOperation operation = FileOperation::kOpen;
  std::string pathPart;  // empty: every path
  int error = 0;         // errno value the call fails with
  unsigned skip = 0;     // matching calls that succeed before the first failure
  unsigned count = 0;    // failures before the fault is used up; 0: no limit
  bool usedUp = false;   // `count` failures were made: matching calls succeed
};

// Parses the text form above. Returns true and fills `faults`, or returns
// false with `error` naming the bad entry (then `faults` is empty). An empty
// text gives no faults.
bool parseFileFaults(std::string_view text, std::vector<FileFault>& faults, std::string& error);

// Replaces the configured faults, those of the environment variable included;
// an empty list turns injection off.
void setFileFaults(std::vector<FileFault> faults);
inline void clearFileFaults() { setFileFaults({}); }

// True iff some fault is configured; reads the environment variable on the
// first call.
bool fileFaultsConfigured();

// The errno the file operation on `path` (and, for rename and link, on
// `otherPath`) is to fail with, or 0 when it is to proceed.
int injectedFileError(FileOperation operation, std::string_view path, std::string_view otherPath = {});

}  // namespace platform
