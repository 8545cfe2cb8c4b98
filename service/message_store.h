// The durable half of delivery: one file per copy of a message, moved from
// the recipient's inbox to its archive (accepted) or its rejected box (with
// a reason file beside it) when confirmed; messages into a folder go straight
// to the folder's archive. Every change is on the disk before the call
// returns, so whatever a client was told survives a crash: a post writes and
// flushes its copy under a pending name, renames it into place and flushes
// the directory; a confirmation links the copy into the archive (the bytes
// are not written again), flushes that directory and unlinks the inbox name.
// A post to several boxes is all or nothing, also across a crash
// (postTookPlace() in store_layout.h). The store keeps the waiting messages
// of each inbox in order in memory, so a collect reads no directory.
// Thread-safe: one mutex serialises the bookkeeping.
#pragma once

#include <cstddef>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "message.h"
#include "store_layout.h"

namespace dravont_service {

// A new message id: posting time in microseconds (16 digits), process id and
// a sequence number, so ids sort by posting time and never repeat, also
// between the service and the `send` command. Sets `dateMicros` to now.
std::string newMessageId(std::int64_t& dateMicros);

struct CopyStatus {
  std::string box;  // mailbox (or folder name for kFiled)
  DeliveryState state = DeliveryState::kInbox;
  std::string reason;
};

enum class ConfirmOutcome { kUnknown, kConfirmed, kAlreadyConfirmed };

class MessageStore {
 public:
  explicit MessageStore(const StoreLayout& layout) : layout_(layout) {}

  // Indexes the copies on disk and finishes what a crash interrupted: a copy
  // found both in an inbox and among the confirmed ones (between the two
  // steps of a confirmation) keeps only its confirmed form; the pending
  // copies of a post are moved into place or removed, as postTookPlace()
  // decides. Returns "" or a description of the failure.
  std::string open();

  // Assigns the message its id and date and delivers one copy per distinct
  // recipient mailbox, or one folder copy: all copies are written under
  // pending names, then renamed into place. Returns "" once the first rename
  // is done (a later rename that fails leaves its pending copy to the next
  // open(); that is logged), else the reason, and then no copy stays.
  std::string post(Message& message);

  // Up to `limit` (0: all) unconfirmed messages of `mailbox`, oldest first,
  // with their attachment bytes. `subjectFilter` empty or equal to the
  // subject. An inbox copy whose message is confirmed is never handed out.
  // Unreadable files are skipped and reported through `problems`. Messages
  // another process put into the inbox count once it marked their arrival
  // (markArrival() in store_layout.h).
  std::vector<Message> collect(const std::string& mailbox, std::size_t limit, std::string_view subjectFilter,
                               std::vector<std::string>& problems);

  // Moves the copy of `id` in `mailbox` to the archive or, with a reason, to
  // the rejected box. `error` is set when a file step fails. The confirmed
  // copy decides: once it is in place the outcome is kConfirmed, and an
  // `error` beside it only says that the inbox copy stays behind (it is not
  // handed out again, and open() removes it).
  ConfirmOutcome confirm(const std::string& mailbox, const std::string& id, bool accept, const std::string& reason,
                         std::string& error);

  // Every copy of `id` the store knows of; empty for an unknown id.
  std::vector<CopyStatus> status(const std::string& id);

 private:
  struct Location {
    DeliveryState state;
    std::string box;
  };

  void indexBox(DeliveryState state, const std::string& box);
  void finishPosts(DeliveryState state, const std::string& box);
  // Removes the reason files a crash left without their rejected copy.
  void dropStrayReasons(const std::string& mailbox);
  // Records a copy's state, and whether it waits in its inbox; a confirmed
  // copy never goes back to kInbox.
  void remember(const std::string& id, DeliveryState state, const std::string& box);
  // True when the index has an accepted or rejected copy of `id` in `mailbox`.
  bool confirmedLocked(const std::string& id, const std::string& mailbox) const;
  // Indexes the inbox of `mailbox` again when another process marked an
  // arrival in it.
  void takeInArrivals(const std::string& mailbox);
  // Sets `id` to the oldest waiting id of `mailbox` after `id` (or the oldest
  // of all, with `first`); false when there is none.
  bool nextWaiting(const std::string& mailbox, bool first, std::string& id);
  // Writes `bytes` to `path` in the directory of `box` (created when
  // missing) and flushes the file; the name is not flushed.
  std::string writeInBox(DeliveryState state, const std::string& box, const std::string& path, const std::string& bytes,
                         const std::string& id);
  // Flushes the directories of the pending copies of boxes[1..]: once the
  // first copy is in place, they must all come through a crash.
  std::string keepPendingNames(const std::vector<std::pair<DeliveryState, std::string>>& boxes, const std::string& id);

  const StoreLayout& layout_;
  std::mutex mutex_;
  std::map<std::string, std::vector<Location>> index_;  // id -> its copies
  std::map<std::string, std::set<std::string>> waiting_;  // mailbox -> ids of its inbox copies not confirmed
};

}  // namespace dravont_service
