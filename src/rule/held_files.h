// Files that other programs hold for a moment. On Windows, antivirus
// scanners, indexers, backup agents and the producing program itself open
// files without sharing them for deletion, for a moment after they were
// written or closed; a move or removal of such a file fails, and succeeds
// again shortly after. The gateway waits for such a hold to clear, for a
// bounded time, and then leaves the file where it is for a later pass
// instead of stopping. Main thread only.
#pragma once

#include <functional>
#include <string>

namespace trasvik {

// True for the errors of a file another program holds: a sharing or lock
// violation (EBUSY), and access denied (EACCES), which Windows also gives
// while another program's handle keeps a deleted file's name pending.
bool isHoldError(int error);

// Runs `operation` (0 or an errno) again while it fails with a hold error:
// after 50 ms, then pauses doubling up to 1 s, for at most the lock wait
// ("[trasvik]:lock_wait" seconds) in all, and no more once a stop was
// requested. Returns the result of the last run. A hold that cleared is
// logged as a debug record with the time it cost.
int retryWhileHeld(const std::string& path, const std::function<int()>& operation);

// The lock wait in milliseconds, as the settings last read it.
unsigned lockWaitMilliseconds();

// Thrown after a file stayed held through the whole lock wait, with the
// warning that names it written: the file stays where it is, and a later
// pass tries again.
struct FileHeld {
  std::string path;
  int error = 0;
};

// Writes the warning for a file still held after the lock wait (once for a
// path while it stays held) and throws FileHeld. `what` says what was to be
// done with it ("moved to ...", "removed").
[[noreturn]] void leaveHeldFile(const std::string& path, const std::string& what, int error);

// The file at `path` could be moved or removed again: a later hold of it is
// warned about anew.
void heldFileReleased(const std::string& path);

// Volumes that go away for a while: a network share whose server restarts,
// an NFS or CIFS mount whose connection dropped. A file operation that fails
// with one of their errors (on Windows ERROR_NETNAME_DELETED,
// ERROR_UNEXP_NET_ERR, ERROR_SEM_TIMEOUT, ERROR_NETWORK_UNREACHABLE,
// ERROR_BAD_NETPATH; ESTALE, ENOTCONN, EHOSTDOWN and the network errors
// from a mount: platform::isNetworkVolumeError; EIO or ENOENT only while
// the directory itself cannot be reached) leaves its file where it is for a later pass, and the rule goes
// on next pass; a failure with the volume present stays what it was.
bool isUnreachableVolume(int error, const std::string& directory);

// Thrown after the warning that names the directory (once while it stays
// unreachable): the rule ends its pass, the other rules go on.
struct VolumeUnreachable {
  std::string directory;
  int error = 0;
};
[[noreturn]] void leaveUnreachableVolume(const std::string& directory, int error);
// A file of `directory` could be moved again: it is reachable.
void volumeReached(const std::string& directory);

}  // namespace trasvik
