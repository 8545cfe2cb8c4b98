#include "message_store.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <set>
#include <system_error>

#include "message_codec.h"
#include "platform/atomic_file.h"
#include "platform/durable_rename.h"
#include "platform/file.h"
#include "platform/thread.h"

namespace dravont_service {

namespace {

std::string errorText(int error) { return std::generic_category().message(error); }

}  // namespace

std::string newMessageId(std::int64_t& dateMicros) {
  static std::atomic<unsigned> sequence{0};
  dateMicros = std::chrono::duration_cast<std::chrono::microseconds>(
                   std::chrono::system_clock::now().time_since_epoch())
                   .count();
  char id[64];
  std::snprintf(id, sizeof id, "%016lld.%d.%010u", static_cast<long long>(dateMicros), platform::currentProcessId(),
                sequence.fetch_add(1) + 1);
  return id;
}

std::string MessageStore::open() {
  if (int error = layout_.create()) return "cannot create the store " + layout_.root() + ": " + errorText(error);
  std::lock_guard<std::mutex> lock(mutex_);
  index_.clear();
  waiting_.clear();
  for (const DeliveryState state : {DeliveryState::kAccepted, DeliveryState::kRejected, DeliveryState::kFiled}) {
    for (const std::string& directory : listSubdirectories(layout_.stateDirectory(state))) {
      indexBox(state, nameOfDirectory(directory));
    }
  }
  for (const std::string& directory : listSubdirectories(layout_.stateDirectory(DeliveryState::kRejected))) {
    dropStrayReasons(nameOfDirectory(directory));
  }
  for (const std::string& directory : listSubdirectories(layout_.stateDirectory(DeliveryState::kInbox))) {
    indexBox(DeliveryState::kInbox, nameOfDirectory(directory));
  }
  for (const DeliveryState state : {DeliveryState::kInbox, DeliveryState::kFiled}) {
    for (const std::string& directory : listSubdirectories(layout_.stateDirectory(state))) {
      finishPosts(state, nameOfDirectory(directory));
    }
  }
  return "";
}

void MessageStore::indexBox(DeliveryState state, const std::string& box) {
  for (const std::string& fileName : listMessageFiles(layout_.boxDirectory(state, box), true)) {
    const std::string id = messageIdOfFileName(fileName);
    if (state == DeliveryState::kInbox && confirmedLocked(id, box)) {
      // A confirmation interrupted after its confirmed copy was in place: finish it.
      platform::removeFileDurably(layout_.messagePath(DeliveryState::kInbox, box, id));
      continue;
    }
    remember(id, state, box);
  }
}

void MessageStore::finishPosts(DeliveryState state, const std::string& box) {
  for (const std::string& fileName : listPendingFiles(layout_.boxDirectory(state, box))) {
    const std::string id = messageIdOfFileName(fileName);
    const std::string pending = layout_.pendingPath(state, box, id);
    if (!postTookPlace(layout_, id)) {
      platform::removeFileDurably(pending);
    } else if (platform::renameDurably(pending, layout_.messagePath(state, box, id)) == 0) {
      remember(id, state, box);
    }
  }
}

void MessageStore::dropStrayReasons(const std::string& mailbox) {
  // Left by a rejection a crash interrupted before its copy was linked. Not
  // flushed: should one come back, the next rejection of its message writes
  // its own reason file before the copy appears.
  for (const std::string& fileName : listReasonFiles(layout_.boxDirectory(DeliveryState::kRejected, mailbox))) {
    const std::string id = messageIdOfFileName(fileName);
    if (!platform::pathExists(layout_.messagePath(DeliveryState::kRejected, mailbox, id))) {
      platform::removeFile(layout_.reasonPath(mailbox, id));
    }
  }
}

void MessageStore::remember(const std::string& id, DeliveryState state, const std::string& box) {
  const bool filed = state == DeliveryState::kFiled;
  std::vector<Location>& copies = index_[id];
  auto copy = std::find_if(copies.begin(), copies.end(), [&](const Location& location) {
    return location.box == box && (location.state == DeliveryState::kFiled) == filed;
  });
  if (copy == copies.end()) {
    copy = copies.insert(copies.end(), Location{state, box});
  } else if (state != DeliveryState::kInbox || copy->state == DeliveryState::kInbox) {
    // A confirmation is final: whoever saw the inbox copy before it (a
    // listing of the inbox, a post still at work) cannot set it back.
    copy->state = state;
  }
  if (filed) return;
  if (copy->state == DeliveryState::kInbox) {
    waiting_[box].insert(id);
  } else if (const auto inbox = waiting_.find(box); inbox != waiting_.end()) {
    inbox->second.erase(id);
  }
}

bool MessageStore::confirmedLocked(const std::string& id, const std::string& mailbox) const {
  const auto found = index_.find(id);
  if (found == index_.end()) return false;
  for (const Location& location : found->second) {
    const bool confirmedState = location.state == DeliveryState::kAccepted || location.state == DeliveryState::kRejected;
    if (confirmedState && location.box == mailbox) return true;
  }
  return false;
}

void MessageStore::takeInArrivals(const std::string& mailbox) {
  const std::string mark = layout_.arrivalMarkPath(mailbox);
  if (!platform::pathExists(mark)) return;
  // The mark goes before the inbox is read: a process that puts its message
  // in place after the reading leaves its mark after this removal, and the
  // next collect reads again.
  platform::removeFile(mark);
  const std::vector<std::string> fileNames = listMessageFiles(layout_.boxDirectory(DeliveryState::kInbox, mailbox));
  std::lock_guard<std::mutex> lock(mutex_);
  for (const std::string& fileName : fileNames) remember(messageIdOfFileName(fileName), DeliveryState::kInbox, mailbox);
}

bool MessageStore::nextWaiting(const std::string& mailbox, bool first, std::string& id) {
  std::lock_guard<std::mutex> lock(mutex_);
  const auto inbox = waiting_.find(mailbox);
  if (inbox == waiting_.end()) return false;
  const auto next = first ? inbox->second.begin() : inbox->second.upper_bound(id);
  if (next == inbox->second.end()) return false;
  id = *next;
  return true;
}

std::string MessageStore::writeInBox(DeliveryState state, const std::string& box, const std::string& path,
                                     const std::string& bytes, const std::string& id) {
  if (int error = platform::makeDirectoryDurably(layout_.boxDirectory(state, box))) {
    return "cannot create the mailbox directory for " + box + ": " + errorText(error);
  }
  if (int error = platform::writeWholeFile(path, bytes)) {
    return "cannot store message " + id + " for " + box + ": " + errorText(error);
  }
  return "";
}

std::string MessageStore::keepPendingNames(const std::vector<std::pair<DeliveryState, std::string>>& boxes,
                                           const std::string& id) {
  for (std::size_t next = 1; next < boxes.size(); ++next) {
    const auto& [state, box] = boxes[next];
    if (int error = platform::flushDirectoryToDisk(layout_.boxDirectory(state, box))) {
      return "cannot store message " + id + " for " + box + ": " + errorText(error);
    }
  }
  return "";
}

std::string MessageStore::post(Message& message) {
  message.id = newMessageId(message.dateMicros);
  message.reason.clear();
  std::vector<std::pair<DeliveryState, std::string>> boxes;
  if (!message.folder.empty()) {
    message.state = DeliveryState::kFiled;
    boxes.emplace_back(DeliveryState::kFiled, message.folder);
  } else {
    message.state = DeliveryState::kInbox;
    std::set<std::string> seen;
    for (const std::string& recipient : message.recipients) {
      const std::string mailbox = mailboxOf(recipient);
      if (seen.insert(mailbox).second) boxes.emplace_back(DeliveryState::kInbox, mailbox);
    }
  }
  if (boxes.empty()) return "the message has no recipient";
  // Ids are unique, so copies are written without holding the lock. Every
  // copy is on the disk under its pending name before the first one becomes
  // visible; that first rename decides the post. A copy's bytes are flushed
  // before its rename and its name once, after it.
  const std::string bytes = encodeMessage(message);
  std::size_t written = 0;
  std::string error;
  for (; written < boxes.size() && error.empty(); ++written) {
    const auto& [state, box] = boxes[written];
    error = writeInBox(state, box, layout_.pendingPath(state, box, message.id), bytes, message.id);
  }
  if (error.empty()) error = keepPendingNames(boxes, message.id);
  for (std::size_t next = 0; next < boxes.size() && error.empty(); ++next) {
    const auto& [state, box] = boxes[next];
    const int renameError =
        platform::renameDurably(layout_.pendingPath(state, box, message.id), layout_.messagePath(state, box, message.id));
    if (renameError == 0) continue;
    const std::string failure = "cannot deliver message " + message.id + " to " + box + ": " + errorText(renameError);
    if (next == 0) {
      error = failure;
    } else {
      platform::writeStandardError("dravont-service: " + failure + "; the store delivers it when it opens next\n");
    }
  }
  if (!error.empty()) {
    for (std::size_t i = 0; i < written; ++i) {
      platform::removeFileDurably(layout_.pendingPath(boxes[i].first, boxes[i].second, message.id));
    }
    return error;
  }
  std::lock_guard<std::mutex> lock(mutex_);
  for (const auto& [state, box] : boxes) remember(message.id, state, box);
  return "";
}

std::vector<Message> MessageStore::collect(const std::string& mailbox, std::size_t limit, std::string_view subjectFilter,
                                           std::vector<std::string>& problems) {
  takeInArrivals(mailbox);
  std::vector<Message> found;
  std::string id;
  for (bool first = true; (limit == 0 || found.size() < limit) && nextWaiting(mailbox, first, id); first = false) {
    std::string bytes;
    const std::string path = layout_.messagePath(DeliveryState::kInbox, mailbox, id);
    if (int error = platform::readWholeFile(path, bytes)) {
      // ENOENT: confirmed meanwhile, or a copy a failed rename left pending.
      if (error != ENOENT) problems.push_back(path + ": " + errorText(error));
      continue;
    }
    std::string error;
    std::optional<Message> message = decodeMessage(bytes, error);
    if (!message) {
      problems.push_back(path + ": " + error);
      continue;
    }
    message->id = id;
    if (!subjectFilter.empty() && message->subject != subjectFilter) continue;
    found.push_back(std::move(*message));
  }
  // A confirmation may have come between the reading and now: it stands, and
  // its message is not handed out.
  std::lock_guard<std::mutex> lock(mutex_);
  std::erase_if(found, [&](const Message& message) { return confirmedLocked(message.id, mailbox); });
  return found;
}

ConfirmOutcome MessageStore::confirm(const std::string& mailbox, const std::string& id, bool accept,
                                     const std::string& reason, std::string& error) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (hasConfirmedCopy(layout_, mailbox, id)) return ConfirmOutcome::kAlreadyConfirmed;
  const std::string inboxPath = layout_.messagePath(DeliveryState::kInbox, mailbox, id);
  if (!platform::pathExists(inboxPath)) return ConfirmOutcome::kUnknown;
  const DeliveryState state = accept ? DeliveryState::kAccepted : DeliveryState::kRejected;
  if (int makeError = platform::makeDirectoryDurably(layout_.boxDirectory(state, mailbox))) {
    error = "cannot confirm message " + id + ": " + errorText(makeError);
    return ConfirmOutcome::kUnknown;
  }
  // A rejection's reason is on the disk before its copy appears beside it;
  // the one directory flush of the link makes both names durable.
  const std::string reasonPath = layout_.reasonPath(mailbox, id);
  if (!accept) {
    if (int writeError = platform::writeWholeFile(reasonPath, reason)) {
      platform::removeFile(reasonPath);
      error = "cannot keep the reason for rejecting message " + id + ": " + errorText(writeError);
      return ConfirmOutcome::kUnknown;
    }
  }
  // The confirmed copy first, then the inbox copy goes: a crash in between
  // leaves both names, and open() finishes the move.
  if (int linkError = platform::linkDurably(inboxPath, layout_.messagePath(state, mailbox, id))) {
    if (!accept && !platform::pathExists(layout_.messagePath(state, mailbox, id))) platform::removeFile(reasonPath);
    if (linkError == ENOENT) return ConfirmOutcome::kUnknown;
    error = "cannot confirm message " + id + ": " + errorText(linkError);
    return ConfirmOutcome::kUnknown;
  }
  remember(id, state, mailbox);
  // Not flushed: should the inbox name come back after a crash, open()
  // removes it, and until then it is not handed out.
  if (int removeError = platform::removeFile(inboxPath); removeError != 0 && removeError != ENOENT) {
    error = "message " + id + " is confirmed, but its inbox copy stays: " + errorText(removeError);
  }
  return ConfirmOutcome::kConfirmed;
}

std::vector<CopyStatus> MessageStore::status(const std::string& id) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto found = index_.find(id);
  if (found == index_.end()) {
    // Put straight into an inbox by the `send` command and not collected yet.
    for (const std::string& directory : listSubdirectories(layout_.stateDirectory(DeliveryState::kInbox))) {
      const std::string box = nameOfDirectory(directory);
      if (platform::pathExists(layout_.messagePath(DeliveryState::kInbox, box, id))) {
        remember(id, DeliveryState::kInbox, box);
      }
    }
    found = index_.find(id);
    if (found == index_.end()) return {};
  }
  std::vector<CopyStatus> copies;
  for (const Location& location : found->second) {
    CopyStatus copy{location.box, location.state, ""};
    if (location.state == DeliveryState::kRejected) copy.reason = rejectionReason(layout_, location.box, id);
    copies.push_back(std::move(copy));
  }
  return copies;
}

}  // namespace dravont_service
