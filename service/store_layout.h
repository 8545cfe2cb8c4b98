// Where things live in the store directory, and the file-system chores the
// store's parts share: safe directory names for mailboxes and folders,
// creating directories durably, listing message files. Thread-safe.
//
//   STORE/service.lock          held by the running service
//   STORE/counters.ini          reserved blocks of context numbers
//   STORE/params.ini            readParam/saveParam values
//   STORE/participants.ini      every participant that opened a context
//   STORE/addressbook.ini       addresses and folders kept by hand
//   STORE/inbox/MAILBOX/ID.msg  delivered, not yet confirmed
//   STORE/inbox/MAILBOX/ID.pending  a copy of a post still being made
//                                   visible (also under folders/)
//   STORE/inbox/MAILBOX/.arrived    a message came from another process
//                                   (the `send` command)
//   STORE/archive/MAILBOX/ID.msg   accepted
//   STORE/rejected/MAILBOX/ID.msg  rejected
//   STORE/rejected/MAILBOX/ID.reason  the reason it was rejected for
//   STORE/folders/FOLDER/ID.msg    messages posted into a folder
//
// A confirmed copy is the inbox copy itself, moved (linked, then unlinked),
// so its header still says "state=inbox"; its directory tells its state.
// Stores written before kept the reason in the header of a rejected copy
// (with "state=rejected"), and no .reason file: those are read as well.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "message.h"

namespace dravont_service {

inline constexpr std::string_view kMessageFileSuffix = ".msg";
inline constexpr std::string_view kPendingFileSuffix = ".pending";
inline constexpr std::string_view kReasonFileSuffix = ".reason";

// The mailbox of an address: its text with ASCII letters folded, so that
// "EMAIL@ABC.X" and "email@abc.x" share one inbox.
std::string mailboxOf(std::string_view address);

// A directory name that stands for `name` exactly and cannot climb out of
// its parent: bytes other than letters, digits, '@', '_', '-', '+' and a
// non-leading '.' are written as "%XX".
std::string directoryNameFor(std::string_view name);
// The name a directoryNameFor() result stands for ("" when malformed).
std::string nameOfDirectory(std::string_view directoryName);

class StoreLayout {
 public:
  explicit StoreLayout(std::string root) : root_(std::move(root)) {}

  const std::string& root() const { return root_; }
  std::string file(std::string_view name) const;  // STORE/name
  // The directory that holds copies in `state` for a mailbox (or a folder
  // for kFiled).
  std::string stateDirectory(DeliveryState state) const;
  std::string boxDirectory(DeliveryState state, std::string_view mailboxOrFolder) const;
  std::string messagePath(DeliveryState state, std::string_view mailboxOrFolder, std::string_view id) const;
  // Where a post writes the copy before making it visible at messagePath().
  std::string pendingPath(DeliveryState state, std::string_view mailboxOrFolder, std::string_view id) const;
  // The reason a rejected copy in `mailbox` was rejected for.
  std::string reasonPath(std::string_view mailbox, std::string_view id) const;
  // The mark another process leaves after putting a message into the inbox.
  std::string arrivalMarkPath(std::string_view mailbox) const;

  // Creates the store and its four state directories. Returns 0 or errno.
  int create() const;

 private:
  std::string root_;
};

// Creates every missing directory of an absolute or relative path, each
// durably. Returns 0 or the errno of the failing step.
int makeDirectories(const std::string& path);

// The names of the message files in `directory`, sorted (oldest first, since
// message ids begin with their posting time). With `removeLeftovers`, the
// temporary files of writes a crash interrupted are deleted: only when no
// write can be under way.
std::vector<std::string> listMessageFiles(const std::string& directory, bool removeLeftovers = false);

// The names of the pending copies in `directory`, sorted.
std::vector<std::string> listPendingFiles(const std::string& directory);

// The names of the reason files in `directory`, sorted.
std::vector<std::string> listReasonFiles(const std::string& directory);

// The message id a message file, a pending copy or a reason file is named
// after.
std::string messageIdOfFileName(const std::string& fileName);

// A post to several boxes is all or nothing: it writes every copy under its
// pending name first, then renames them into place one by one, and the first
// rename decides it. So after a crash a pending copy belongs to a post that
// took place exactly when its message has a copy in place somewhere in the
// store (in an inbox, archived, rejected or in a folder): the copy is then
// due in its box; otherwise the post never happened and the copy goes.
bool postTookPlace(const StoreLayout& layout, std::string_view id);

// True when the message has its accepted or rejected copy in `mailbox`. An
// inbox copy beside it is what a confirmation interrupted by a crash left
// behind: the message counts as confirmed, and the service removes the
// inbox copy when it opens the store.
bool hasConfirmedCopy(const StoreLayout& layout, std::string_view mailbox, std::string_view id);

// The reason the copy of `id` rejected in `mailbox` was rejected for: its
// reason file, or in a store written before there were any, the header of
// the copy. "" when neither can be read.
std::string rejectionReason(const StoreLayout& layout, std::string_view mailbox, std::string_view id);

// Tells a service that may be running on the store that another process put
// a message into the inbox of `mailbox`: its next collect from that inbox
// reads the directory again (see MessageStore::collect). Should the mark not
// be made, the service finds the message when it opens the store next.
void markArrival(const StoreLayout& layout, std::string_view mailbox);

// The subdirectory names of `directory`, sorted.
std::vector<std::string> listSubdirectories(const std::string& directory);

}  // namespace dravont_service
