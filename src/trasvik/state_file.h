// The gateway's state file: what it must remember across a crash so that
// each file is delivered once. Sending: which outgoing file (path, size,
// modification time) is being posted on which leg, and which post the
// service has answered; a restart moves a posted file on without posting it
// again. Receiving: the final names chosen for a message's attachments
// before the first is put in place; when the service hands the message out
// again after a crash, the gateway completes what the record names and
// saves nothing twice. Posts carry a token (post_token.h) that a crash does
// not change; a receiving gateway keeps the tokens of the messages it saved,
// so that a second copy of a message, posted again by a sender that crashed
// while the service stored the first, is recognised and not saved again.
//
// The file is a journal: each change is a line appended to it, and a change
// that a crash must not lose is flushed to disk before the step it
// protects. A post the service took is written at once, so that a killed
// gateway keeps it, and reaches the disk with the next flush (the next
// post's start, or the end of the pass): one flush a file instead of two.
// Entries that are finished with are dropped lazily: flush() appends their
// lines without waiting for the disk. Opening the file reads
// the journal and replaces it with its live entries alone (a new file
// beside, flushed, renamed over it, the directory flushed), as does a
// journal grown long. A gateway without an open state file keeps the
// entries in memory only. Main thread only.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/file.h"

namespace trasvik {

// An outgoing file as it was when its post began: a file replaced under
// the same path is another file.
struct FileIdentity {
  std::string path;
  std::uint64_t size = 0;
  std::int64_t modified = 0;  // nanoseconds since the epoch
  bool operator==(const FileIdentity&) const = default;
};

// The two legs a file can be posted on (rules with one leg use kAddress).
enum class SendLeg : char { kAddress = 'a', kFolder = 'f' };

enum class PostState {
  kNone,     // nothing recorded: post it
  kStarted,  // a post began before the gateway stopped: it may have reached the service
  kPosted,   // the service took it: do not post it again
};

// The names a message's attachments are saved under, in attachment order.
struct ReceiptRecord {
  std::string directory;
  std::vector<std::string> names;
};

// A message saved with a post token: which message it was and where its
// files went.
struct SavedMessage {
  std::string messageId;
  std::int64_t written = 0;  // seconds since the epoch
  ReceiptRecord record;
  // The attachment names the messages saved under the token carried, as
  // their sender gave them; unknown for messages saved by earlier versions.
  std::optional<std::vector<std::string>> attachmentNames;
};

// A post of files on one leg that began and was never recorded as answered:
// a crash came while the service had it, so it may have reached the
// service. The files are in the message's order.
struct InterruptedPost {
  SendLeg leg;
  std::string token;
  std::vector<FileIdentity> files;
};

class StateFile {
 public:
  // Reads the state file at `path` (a missing file is an empty state) and
  // keeps it up to date from now on. False with the reason in `error` when
  // it cannot be read. Entries of files that are no longer there, and
  // receipts older than kReceiptLifetimeSeconds, are dropped.
  bool open(const std::string& path, std::string& error);
  const std::string& path() const { return path_; }
  // Reads the state file at `path` as it stands, without changing it or
  // keeping it up to date: a look from outside while its gateway may run
  // (a missing file is an empty state).
  bool read(const std::string& path, std::string& error);
  // The paths of the files whose post the service took (on either leg).
  std::vector<std::string> postedPaths() const;

  // What the record says of this leg of the file (kNone when the file at
  // that path is not the one recorded).
  PostState postState(const FileIdentity& file, SendLeg leg) const;
  // True when some post of a file at `path` is recorded (no file is looked at).
  bool holdsPostOf(const std::string& path) const;
  // The token of an interrupted post of these files on `leg` (each recorded
  // as started with the same token; that post may have held more files,
  // since vanished or changed): a post of them again reuses it, and a
  // receiving gateway that saved the first post takes the second for a copy
  // of it. Empty when there is none.
  std::string startedToken(const std::vector<FileIdentity>& files, SendLeg leg) const;
  // The interrupted posts that carry a token, in the order they began.
  std::vector<InterruptedPost> interruptedPosts() const;
  // Durably: the files' post on `leg` with `token` ("" for none) begins.
  // A failure to write is reported and throws kMoveFailure.
  void recordPostStarted(const std::vector<FileIdentity>& files, SendLeg leg, const std::string& token = "");
  // The service took the post: written at once, on disk with the next
  // durable change or flush(). A crash of the machine in between leaves
  // the post as begun, and the file is posted again with its token, which
  // a receiving gateway recognises. A failure to write is reported and
  // throws kMoveFailure.
  void recordPosted(const std::vector<FileIdentity>& files, SendLeg leg, const std::string& token = "");
  // The post failed: nothing of it reached the service (dropped lazily).
  void forgetPost(const std::vector<FileIdentity>& files, SendLeg leg);
  // The file left the outgoing directory (dropped lazily).
  void forgetFile(const std::string& path);

  // The names recorded for the message, if any.
  std::optional<ReceiptRecord> receipt(const std::string& messageId) const;
  // Durably: the message's attachments go to these names; with a post token
  // ("" for none), the message is known by it from now on, with its
  // `attachmentNames` as its sender gave them, added to those of a message
  // saved before under the token (in the same write). A failure to write
  // is reported and throws kMoveFailure.
  void recordReceipt(const std::string& messageId, const ReceiptRecord& record, const std::string& token = "",
                     const std::vector<std::string>& attachmentNames = {});
  // The message saved with this post token, if any.
  const SavedMessage* savedMessage(const std::string& token) const;
  // The message was confirmed (dropped lazily).
  void forgetReceipt(const std::string& messageId);

  // Writes the entries dropped since the last write, and waits for the
  // disk when a post the service took is not on it yet.
  void flush();

  // A receipt kept after a crash whose message never came back (it was
  // confirmed just before the crash) is dropped after this long.
  static constexpr std::int64_t kReceiptLifetimeSeconds = 30 * 24 * 3600;
  // The tokens of saved messages are kept this long, and at most this many
  // (the oldest go first).
  static constexpr std::int64_t kSavedLifetimeSeconds = 30 * 24 * 3600;
  static constexpr std::size_t kMostSavedMessages = 100000;

 private:
  struct PostEntry {
    FileIdentity file;
    SendLeg leg;
    bool posted;
    std::string token;
  };
  // A message being saved: the same facts as a saved one.
  using ReceiptEntry = SavedMessage;

  // The changes, each a journal line ending in '\n'; apply() carries one
  // out in memory (false for a line that is none).
  static std::string postLine(const PostEntry& entry);
  static std::string receiptLine(const ReceiptEntry& entry);
  static std::string savedLine(const std::string& token, const SavedMessage& message);
  // Drops saved messages beyond their lifetime and number.
  void trimSavedMessages();
  std::size_t liveEntries() const { return posts_.size() + receipts_.size() + saved_.size(); }
  bool apply(const std::string& line);
  // How far a change goes before the step after it.
  enum class Reach {
    kLazily,   // kept in memory until the next write
    kWritten,  // written to the file: a killed gateway keeps it
    kDurably,  // flushed to disk: a crash of the machine keeps it
  };
  // Applies and appends the lines, as far as `reach` says.
  void change(const std::string& lines, Reach reach);
  // The live entries as a journal of their own.
  std::string snapshot() const;
  // Replaces the file with the snapshot and appends to it from now on.
  void compact();
  [[noreturn]] void failWrite(int error);

  std::string path_;  // empty: memory only
  platform::AppendFile journal_;
  std::size_t journalLines_ = 0;
  bool compactionHeld_ = false;  // the last compaction found the file held (warned once)
  std::string unflushed_;  // lazily dropped entries, not yet appended
  bool unsynced_ = false;  // written changes not yet flushed to disk
  std::vector<PostEntry> posts_;  // a post's files in its message's order
  std::vector<ReceiptEntry> receipts_;
  std::map<std::string, SavedMessage> saved_;  // by post token
};

// The gateway's one state file.
StateFile& stateFile();

// Warns that a file of an interrupted post is not posted again as part of
// it because it is gone or has changed since (a changed file is posted as
// a new one). True when that is so; false, without a word, when the file is
// still the one recorded.
bool leftOutOfInterruptedPost(const FileIdentity& recorded);

// The state file's default path: the INI file's name without its last
// extension, plus ".state", beside the INI file, or in the state directory
// a service manager gave the gateway ($STATE_DIRECTORY).
std::string defaultStatePath(const std::string& iniPath);

// What "[trasvik]:statefile" of the open INI file says: the state file's
// path (the default one when the key is empty or "none"; a relative one is
// taken from the default one's directory), and whether
// the gateway keeps none. The instance lock goes beside that path either
// way, so that one INI file runs one gateway whatever its working
// directory. `formerPath` is where earlier versions kept the same state
// file: the same path taken from the working directory.
struct StateFileSetting {
  std::string path;
  std::string formerPath;
  bool none = false;
};
StateFileSetting stateFileSetting(const std::string& iniPath);

// Moves a state file left at `formerPath` by an earlier version to `path`,
// once: when `path` has none and no gateway holds the former one's lock.
// An INFO record says so; a move that fails is a warning, and the gateway
// starts with the state it finds at `path`.
void takeOverFormerStateFile(const std::string& formerPath, const std::string& path);

}  // namespace trasvik
