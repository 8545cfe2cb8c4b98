#include "file_rule.h"

#include "platform/file.h"
#include "platform/path.h"
#include "rule/attachment_files.h"
#include "rule/delivered_file.h"
#include "rule/directories.h"
#include "rule/file_moves.h"
#include "rule/held_files.h"
#include "rule/outgoing_batch.h"
#include "rule/recorded_post.h"
#include "rule/received_names.h"
#include "rule/send_candidates.h"
#include "trasvik/gateway_log.h"
#include "trasvik/ini_values.h"
#include "trasvik/library_text.h"
#include "trasvik/notification.h"
#include "trasvik/script_bridge.h"
#include "trasvik/script_texts.h"
#include "trasvik/session.h"
#include "trasvik/settings.h"
#include "trasvik/text_format.h"

namespace trasvik {

// How a leg reads and writes a FileEntry, where the text of its failures
// comes from, and its records and error texts (printf patterns of the path
// and the failure text, or of the failure text alone).
struct FileSendLeg {
  SendLeg kind;
  int FileEntry::*tries;
  bool FileEntry::*done;
  bool FileEntry::*attached;
  std::string FileEntry::*error;
  std::string (*attachFailure)();
  std::string (*postFailure)();
  const char* attachRecord;
  const char* attachError;
  const char* postRecord;
  const char* postError;
};

namespace {

constexpr FileSendLeg kSingleAddressLeg{SendLeg::kAddress,
                                        &FileEntry::addressTries,
                                        &FileEntry::addressDone,
                                        &FileEntry::addressAttached,
                                        &FileEntry::addressError,
                                        lastError,
                                        lastError,
                                        "Can't attach stream to email message, file: \"%s\", %s",
                                        "Can't attach stream to email message, file name: \"%s\", %s",
                                        "Can't post email message: %s",
                                        "Can't post email message : %s"};
constexpr FileSendLeg kBatchAddressLeg{SendLeg::kAddress,
                                       &FileEntry::addressTries,
                                       &FileEntry::addressDone,
                                       &FileEntry::addressAttached,
                                       &FileEntry::addressError,
                                       lastError,
                                       lastError,
                                       "Can't attach stream to message, file name: \"%s\", %s",
                                       "Can't attach stream to message, file name: \"%s\", %s",
                                       "Can't post message: %s",
                                       "Can't post message : %s"};
constexpr FileSendLeg kSingleFolderLeg{SendLeg::kFolder,
                                       &FileEntry::folderTries,
                                       &FileEntry::folderDone,
                                       &FileEntry::folderAttached,
                                       &FileEntry::folderError,
                                       libraryErrorText,
                                       lastError,
                                       "Can't attach stream to folder message, file: \"%s\", %s",
                                       "Can't attach stream to folder message, file name: \"%s\", %s",
                                       "Can't post message to folder: %s",
                                       "Can't post message to folder: %s"};
constexpr FileSendLeg kBatchFolderLeg{SendLeg::kFolder,
                                      &FileEntry::folderTries,
                                      &FileEntry::folderDone,
                                      &FileEntry::folderAttached,
                                      &FileEntry::folderError,
                                      libraryErrorText,
                                      libraryErrorText,
                                      "Can't attach stream to folder message, file name: \"%s\", %s",
                                      "Can't attach stream to folder message, file name: \"%s\", %s",
                                      "Can't post message to folder: %s",
                                      "Can't post message to folder: %s"};

bool needsLeg(const FileEntry& entry, const FileSendLeg& leg) { return entry.*leg.tries > 0 && !(entry.*leg.done); }

// "Attached" speaks of this sweep's message only. True when a file of the
// batch still needs the leg.
bool startLeg(OutgoingBatch& batch, const FileSendLeg& leg) {
  bool needed = false;
  for (OutgoingFile& file : batch.files()) {
    file.entry->*leg.attached = false;
    needed = needed || needsLeg(*file.entry, leg);
  }
  return needed;
}

// A leg that does not apply to the rule counts as done.
void skipLeg(OutgoingBatch& batch, const FileSendLeg& leg) {
  for (OutgoingFile& file : batch.files()) file.entry->*leg.done = true;
}

bool messageRefused() {
  const std::string error = lastError();
  GATEWAY_ERROR("Can't init Dravont message, %s", error.c_str());
  return false;
}

}  // namespace

FileRule::~FileRule() {
  if (addressMade_) Quillex::FreeDravontAddress(&address_);
  if (folderMade_) Quillex::FreeEDIFolder(&folder_);
}

bool FileRule::ini(const std::string& section, bool mainRule) {
  if (!Rule::ini(section, mainRule)) return false;
  if (!out.empty()) {
    if (addresses.empty()) {
      reportCantContinue("Rule:ini(), This rule must have address ([%s]:address)", section.c_str());
      return false;
    }
    if (!makeHandles(section) || !makeErrorSubdirectory(section)) return false;
  }
  const int limit = iniNumber(section.c_str(), "maxattachmentsize", 0);
  // A negative limit would read as some 4 GiB: one file per message instead.
  if (limit < 0) warnForced(section.c_str(), "maxattachmentsize", limit, 0);
  maxattachmentsize = static_cast<std::uint32_t>(limit < 0 ? 0 : limit);
  return true;
}

// The first configured address serves both legs: as a service address and
// as a service folder. It must be at least one of them.
bool FileRule::makeHandles(const std::string& section) {
  const std::string options = "({subject:\"" + escapeScriptText(subject) + "\"})";
  std::string addressError;
  const bool addressFailed = makeAddressHandle(addresses.front(), address_, options.c_str()) != 0;
  // A lost session is no wrong address: lastError() throws ContextError.
  if (addressFailed) {
    addressError = lastError();
    Quillex::InitDravontAddressByHandle(&address_, serviceContext(), 0);
  }
  addressMade_ = true;

  std::string folderError;
  const bool folderFailed = makeFolderHandle(folders.front(), folder_) != 0;
  if (folderFailed) {
    folderError = lastError();
    Quillex::InitEDIFolderByHandle(&folder_, serviceContext(), 0);
  }
  folderMade_ = true;

  if (!addressFailed || !folderFailed) return true;
  GATEWAY_FATAL("Can't init Dravont address, %s, section [%s]", addressError.c_str(), section.c_str());
  // Without a folder URL no folder leg is asked for: its error would send
  // the administrator looking for a folder nobody configured.
  if (Quillex::GetDravontURLHandle(&settings().folderUrl) == 0) {
    postNotification("Trasvik can't continue - Can't init Dravont address with error \"" + addressError +
                     "\", section [" + section + "]");
    return false;
  }
  GATEWAY_FATAL("Can't init EDIFolder folder, %s, section [%s]", folderError.c_str(), section.c_str());
  postNotification("Trasvik can't continue - Can't init Dravont address with error \"" + addressError +
                   "\" and EDI folder with error \"" + folderError + "\", section [" + section + "]");
  return false;
}

bool FileRule::makeErrorSubdirectory(const std::string& section) {
  std::string subdirectory = settings().outFileError;
  if (!subdirectory.empty() && (subdirectory[0] == '/' || subdirectory[0] == '\\')) subdirectory.erase(0, 1);
  errorSubdirectory_ = platform::withTrailingSeparator(out) + subdirectory;
  if (settings().checkOnly && !platform::pathExists(errorSubdirectory_)) {
    GATEWAY_INFO("Rule [%s]: the error directory \"%s\" will be made at the start", section.c_str(),
                 errorSubdirectory_.c_str());
    return true;
  }
  if (makeDirectories(errorSubdirectory_)) return true;
  reportCantContinue("Rule:ini(), Can't verify and create error directory ([%s]:outDirError \"%s\")", section.c_str(),
                     errorSubdirectory_.c_str());
  return false;
}

// Detached signatures (levels 5 and 6) travel to folders only.
bool FileRule::addressLegApplies() {
  return Quillex::GetDravontAddressHandle(&address_) != 0 && !settings().adminMailOnly && protectionLevel != 5 &&
         protectionLevel != 6;
}

bool FileRule::folderLegApplies() {
  return Quillex::GetEDIFolderHandle(&folder_) != 0 && Quillex::GetDravontURLHandle(&settings().folderUrl) != 0;
}

std::string FileRule::noLegReason() {
  std::string reason;
  if (Quillex::GetDravontAddressHandle(&address_) == 0) {
    reason = "the address is no service address";
  } else if (settings().adminMailOnly) {
    reason = "[trasvik]:admin_mail_only is set";
  } else {
    reason = formatText("protection level %d is detached, for folders only", protectionLevel);
  }
  if (Quillex::GetEDIFolderHandle(&folder_) == 0) return reason + "; the address is no service folder";
  return reason + "; no folder URL ([trasvik]:folderparam)";
}

bool FileRule::warnWithoutLegs() {
  if (addressLegApplies() || folderLegApplies()) return true;
  const std::string reason = noLegReason();
  // A file that was not sent is never deleted: without a sent directory it
  // stays where it is.
  if (sent.empty()) {
    GATEWAY_WARNING("Rule [%s]: nothing can be sent (%s), files stay in the output directory", name.c_str(),
                    reason.c_str());
    return false;
  }
  GATEWAY_WARNING("Rule [%s]: nothing can be sent (%s), files are moved to the sent directory unsent", name.c_str(),
                  reason.c_str());
  return true;
}

unsigned FileRule::send(unsigned count) {
  if (out.empty()) return count;
  std::vector<FileEntry> entries = chooseCandidates(out, maxattachmentsize);
  if (entries.empty() || !warnWithoutLegs()) return count;
  if (!directoriesAcceptMoves(name, {out, sent, platform::withTrailingSeparator(errorSubdirectory_)})) return count;
  for (FileEntry& entry : entries) {
    if (postedBefore(name, out + entry.name, SendLeg::kAddress)) entry.addressDone = true;
    if (postedBefore(name, out + entry.name, SendLeg::kFolder)) entry.folderDone = true;
  }
  return maxattachmentsize == 0 ? sendSingle(entries, count) : sendBatches(entries, count);
}

// One file per message. The entries are walked in sweeps until each is
// finished; a failed leg is tried again in the next sweep.
unsigned FileRule::sendSingle(std::vector<FileEntry>& entries, unsigned count) {
  while (!entries.empty()) {
    for (std::size_t i = 0; i < entries.size();) {
      if (count >= settings().switchafter) return count;
      FileEntry& entry = entries[i];
      OutgoingBatch batch;
      if (!batch.add(entry, out)) {
        entries.erase(entries.begin() + static_cast<std::ptrdiff_t>(i));
        continue;
      }
      OutgoingFile& file = batch.files().front();
      std::string folderName;
      if (!sendAddressLeg(batch, kSingleAddressLeg)) return count;
      // In single mode a folder leg whose tries are spent counts as done.
      if (entry.folderTries <= 0) entry.folderDone = true;
      if (!sendFolderLeg(batch, kSingleFolderLeg, folderName)) return count;
      if (entry.addressDone && entry.addressAttached) {
        GATEWAY_INFO("Rule [%s]: File \"%s\" sent, to: \"%s\", attachment name: \"%s\"", name.c_str(),
                     file.path.c_str(), addressText.c_str(), entry.name.c_str());
      }
      if (entry.folderDone && entry.folderAttached) {
        GATEWAY_INFO("Rule [%s]: File \"%s\" moved, to: \"%s\"", name.c_str(), file.path.c_str(), folderName.c_str());
        ++count;  // single mode counts every folder post
      }
      count = dispose(file, false, count);
      ++i;
    }
    dropFinished(entries);
  }
  return count;
}

// Several files per message: in scan order while their lengths add up to
// at most maxattachmentsize, after the messages whose posts a crash
// interrupted, each made again as it was. Sweeps as in single mode.
unsigned FileRule::sendBatches(std::vector<FileEntry>& entries, unsigned count) {
  while (!entries.empty()) {
    const std::vector<std::size_t> interrupted = putInterruptedBatchesFirst(entries, out);
    std::size_t message = 0;
    for (std::size_t next = 0; next < entries.size(); ++message) {
      if (count >= settings().switchafter) return count;
      OutgoingBatch batch;
      next = message < interrupted.size() ? collectInterruptedBatch(entries, next, out, interrupted[message], batch)
                                          : collectBatch(entries, next, out, name, maxattachmentsize, batch);
      if (batch.files().empty()) continue;  // nothing left that opens
      std::string folderName;
      if (!sendAddressLeg(batch, kBatchAddressLeg) || !sendFolderLeg(batch, kBatchFolderLeg, folderName)) {
        return count;
      }
      writeSummaryRecords(batch, folderName);
      for (OutgoingFile& file : batch.files()) count = dispose(file, true, count);
    }
    dropFinished(entries);
  }
  return count;
}

bool FileRule::sendAddressLeg(OutgoingBatch& batch, const FileSendLeg& leg) {
  const bool needed = startLeg(batch, leg);
  if (!addressLegApplies()) {
    skipLeg(batch, leg);
    return true;
  }
  if (!needed) return true;
  Quillex::DravontMessage_s message{};
  if (Quillex::InitDravontMessage(&message, serviceContext(), &address_, "") != 0) return messageRefused();
  attachAndPost(message, batch, leg, settings().sendUrl, coretypeText.c_str());
  Quillex::FreeDravontMessage(&message);
  return true;
}

bool FileRule::sendFolderLeg(OutgoingBatch& batch, const FileSendLeg& leg, std::string& folderName) {
  const bool needed = startLeg(batch, leg);
  if (!folderLegApplies()) {
    skipLeg(batch, leg);
    return true;
  }
  if (!needed) return true;
  Quillex::DravontMessage_s message{};
  if (Quillex::InitDravontMessage2Folder(&message, serviceContext(), &folder_, "") != 0) return messageRefused();
  folderName = readFolderName();
  // Folder messages carry no "coretype" header.
  attachAndPost(message, batch, leg, settings().folderUrl, nullptr);
  Quillex::FreeDravontMessage(&message);
  return true;
}

// Attaches every file that still needs the leg; the message is posted only
// when one was attached, and otherwise freed unposted by the caller.
void FileRule::attachAndPost(Quillex::DravontMessage_s& message, OutgoingBatch& batch, const FileSendLeg& leg,
                             Quillex::DravontURL& url, const char* coretype) {
  bool anyAttached = false;
  for (OutgoingFile& file : batch.files()) {
    FileEntry& entry = *file.entry;
    if (!needsLeg(entry, leg)) continue;
    if (Quillex::DravontAttachStreamToMessage(&message, &file.stream,
                                              static_cast<Quillex::ProtectionLevel_t>(protectionLevel)) != 0) {
      const std::string error = leg.attachFailure();
      GATEWAY_ERROR(leg.attachRecord, file.path.c_str(), error.c_str());
      entry.*leg.error = formatText(leg.attachError, file.path.c_str(), error.c_str());
      --(entry.*leg.tries);
    } else {
      entry.*leg.attached = anyAttached = true;
    }
  }
  if (!anyAttached) return;
  if (coretype != nullptr) Quillex::SetDravontMessageCustomHeader(&message, "coretype", coretype);

  std::vector<FileIdentity> attached;
  for (const OutgoingFile& file : batch.files()) {
    if (file.entry->*leg.attached) attached.push_back(identityOf(file.path));
  }
  RecordedPost post(name, std::move(attached), leg.kind);
  post.stamp(message);
  LibraryText messageId;
  if (Quillex::PostMessageTo(&message, &url, messageId.out()) == 0) {
    post.posted();
    for (OutgoingFile& file : batch.files()) {
      if (file.entry->*leg.attached) file.entry->*leg.done = true;
    }
    return;
  }
  post.failed();
  const std::string error = leg.postFailure();
  GATEWAY_ERROR(leg.postRecord, error.c_str());
  for (OutgoingFile& file : batch.files()) {
    FileEntry& entry = *file.entry;
    if (entry.*leg.tries > 0) --(entry.*leg.tries);
    if (entry.*leg.attached) entry.*leg.error = formatText(leg.postError, error.c_str());
    entry.*leg.attached = false;
  }
}

std::string FileRule::readFolderName() {
  LibraryText result;
  const unsigned handle = static_cast<unsigned>(Quillex::GetEDIFolderHandle(&folder_));
  if (runScript(formatText(scripts::kFolderName, handle), result)) return result.c_str();
  const std::string error = lastError();
  reportCantContinue("Can't get folder name with error \"%s\"", error.c_str());
  throw ScriptError(error);
}

// One record per leg that delivered files: each path on a line of its own,
// introduced by a tab.
void FileRule::writeSummaryRecords(OutgoingBatch& batch, const std::string& folderName) {
  std::string sentList;
  std::string movedList;
  int sentFiles = 0;
  int movedFiles = 0;
  for (const OutgoingFile& file : batch.files()) {
    const FileEntry& entry = *file.entry;
    if (entry.addressDone && entry.addressAttached) {
      sentList += "\n\t" + file.path;
      ++sentFiles;
    }
    if (entry.folderDone && entry.folderAttached) {
      movedList += "\n\t" + file.path;
      ++movedFiles;
    }
  }
  if (sentFiles > 0) {
    sentList += "\n";
    GATEWAY_INFO("Rule [%s]: Message sent to: \"%s\", %d files attached, filenames:%sEnd of file names",
                 name.c_str(), addressText.c_str(), sentFiles, sentList.c_str());
  }
  if (movedFiles > 0) {
    movedList += "\n";
    GATEWAY_INFO("Rule [%s]: Files moved to: \"%s\", %d files processed, filenames:%sEnd of file names",
                 name.c_str(), folderName.c_str(), movedFiles, movedList.c_str());
  }
}

std::string FileRule::streamFileName(OutgoingFile& file) {
  LibraryText result;
  const unsigned handle = static_cast<unsigned>(Quillex::GetDravontStreamHandle(&file.stream));
  if (!runScript(formatText(scripts::kStreamFileName, handle), result)) {
    const std::string error = lastError();
    GATEWAY_FATAL("Can't get stream file name with error \"%s\"", error.c_str());
    postNotification("Trasvik can't continue - Can't get stream file name with error \"" + error);
    throw ScriptError(error);
  }
  // The name must lie inside the sent directory.
  const std::string safe = safeAttachmentName(result.c_str());
  return safe.empty() ? file.entry->name : safe;
}

unsigned FileRule::dispose(OutgoingFile& file, bool nameFromService, unsigned count) {
  const FileEntry& entry = *file.entry;
  if (entry.addressDone && entry.folderDone) {
    try {
      if (deliveredFileVanished(name, file.path)) {
        file.release();
      } else if (sent.empty()) {
        file.release();
        deleteDeliveredFile(file.path, reportCantContinue);
      } else {
        const std::string sentName = nameFromService ? streamFileName(file) : entry.name;
        file.release();
        moveFile(file.path, sent, sentName);
      }
      forgetOutgoingFile(file.path);
    } catch (const FileHeld&) {
      // Its posts stay on record: a later pass moves it on unsent.
    }
    return count + 1;
  }
  file.release();
  if (!entryFinished(entry)) return count;  // waits for the next sweep
  std::string text = entry.addressError;
  if (!entry.addressError.empty() && !entry.folderError.empty()) text += "\r\n";
  text += entry.folderError;
  postNotification(text);
  try {
    moveFileTo(file.path, errorSubdirectory_);
    forgetOutgoingFile(file.path);
  } catch (const FileHeld&) {
    // Tried again from the start in a later pass.
  }
  return entry.addressDone || entry.folderDone ? count + 1 : count;
}

// Every attachment becomes a file in the incoming directory.
int FileRule::receive(Quillex::DravontMessage_s& message, const MessageInfo& info) {
  return saveAttachmentsAsFiles(*this, message, info);
}

}  // namespace trasvik
