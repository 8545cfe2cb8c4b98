#include "message_store.h"

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
  for (const DeliveryState state : {DeliveryState::kAccepted, DeliveryState::kRejected, DeliveryState::kFiled}) {
    for (const std::string& directory : listSubdirectories(layout_.stateDirectory(state))) {
      indexBox(state, nameOfDirectory(directory));
    }
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
    if (state == DeliveryState::kInbox) {
      // A confirmation interrupted after writing its confirmed copy: finish it.
      bool confirmed = false;
      for (const Location& location : index_[id]) {
        confirmed = confirmed || (location.box == box && location.state != DeliveryState::kFiled);
      }
      if (confirmed) {
        platform::removeFileDurably(layout_.messagePath(DeliveryState::kInbox, box, id));
        continue;
      }
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

void MessageStore::remember(const std::string& id, DeliveryState state, const std::string& box) {
  std::vector<Location>& copies = index_[id];
  for (Location& location : copies) {
    if (location.box == box && (location.state == DeliveryState::kFiled) == (state == DeliveryState::kFiled)) {
      // A confirmation is final: whoever saw the inbox copy before it (a
      // collect, a post still at work) cannot set it back.
      if (state != DeliveryState::kInbox || location.state == DeliveryState::kInbox) location.state = state;
      return;
    }
  }
  copies.push_back({state, box});
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

bool MessageStore::confirmed(const std::string& id, const std::string& mailbox) {
  std::lock_guard<std::mutex> lock(mutex_);
  return confirmedLocked(id, mailbox);
}

std::string MessageStore::writeInBox(DeliveryState state, const std::string& box, const std::string& path,
                                     const std::string& bytes, const std::string& id) {
  if (int error = platform::makeDirectoryDurably(layout_.boxDirectory(state, box))) {
    return "cannot create the mailbox directory for " + box + ": " + errorText(error);
  }
  if (int error = platform::replaceFileAtomically(path, bytes)) {
    return "cannot store message " + id + " for " + box + ": " + errorText(error);
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
  // visible; that first rename decides the post.
  const std::string bytes = encodeMessage(message);
  std::size_t written = 0;
  std::string error;
  for (; written < boxes.size() && error.empty(); ++written) {
    const auto& [state, box] = boxes[written];
    error = writeInBox(state, box, layout_.pendingPath(state, box, message.id), bytes, message.id);
  }
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
  std::vector<Message> found;
  const std::string directory = layout_.boxDirectory(DeliveryState::kInbox, mailbox);
  for (const std::string& fileName : listMessageFiles(directory)) {
    if (limit != 0 && found.size() >= limit) break;
    if (confirmed(messageIdOfFileName(fileName), mailbox)) continue;  // its inbox copy could not be removed
    std::string bytes;
    const std::string path = directory + "/" + fileName;
    if (int error = platform::readWholeFile(path, bytes)) {
      if (error != ENOENT) problems.push_back(path + ": " + errorText(error));  // ENOENT: confirmed meanwhile
      continue;
    }
    std::string error;
    std::optional<Message> message = decodeMessage(bytes, error);
    if (!message) {
      problems.push_back(path + ": " + error);
      continue;
    }
    message->id = messageIdOfFileName(fileName);
    if (!subjectFilter.empty() && message->subject != subjectFilter) continue;
    found.push_back(std::move(*message));
  }
  // A confirmation may have come between the reading and now: it stands, and
  // its message is not handed out.
  std::lock_guard<std::mutex> lock(mutex_);
  std::erase_if(found, [&](const Message& message) { return confirmedLocked(message.id, mailbox); });
  for (const Message& message : found) remember(message.id, DeliveryState::kInbox, mailbox);
  return found;
}

ConfirmOutcome MessageStore::confirm(const std::string& mailbox, const std::string& id, bool accept,
                                     const std::string& reason, std::string& error) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (hasConfirmedCopy(layout_, mailbox, id)) return ConfirmOutcome::kAlreadyConfirmed;
  const std::string inboxPath = layout_.messagePath(DeliveryState::kInbox, mailbox, id);
  std::string bytes;
  if (int readError = platform::readWholeFile(inboxPath, bytes)) {
    if (readError == ENOENT) return ConfirmOutcome::kUnknown;
    error = "cannot read message " + id + ": " + errorText(readError);
    return ConfirmOutcome::kUnknown;
  }
  std::optional<Message> message = decodeMessage(bytes, error);
  if (!message) {
    error = "message " + id + " is damaged: " + error;
    return ConfirmOutcome::kUnknown;
  }
  message->id = id;
  message->state = accept ? DeliveryState::kAccepted : DeliveryState::kRejected;
  message->reason = accept ? "" : reason;
  // Confirmed copy first, then the inbox copy goes: a crash in between leaves
  // both, and open() finishes the move.
  error = writeInBox(message->state, mailbox, layout_.messagePath(message->state, mailbox, id), encodeMessage(*message), id);
  if (!error.empty()) return ConfirmOutcome::kUnknown;
  remember(id, message->state, mailbox);
  if (int removeError = platform::removeFileDurably(inboxPath)) {
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
    if (location.state == DeliveryState::kRejected) {
      std::string bytes;
      std::string error;
      if (platform::readWholeFile(layout_.messagePath(location.state, location.box, id), bytes) == 0) {
        if (std::optional<Message> header = decodeMessageHeader(bytes, error)) copy.reason = header->reason;
      }
    }
    copies.push_back(std::move(copy));
  }
  return copies;
}

}  // namespace dravont_service
