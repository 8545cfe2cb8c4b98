#include "rule/attachment_files.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/directory.h"
#include "platform/file.h"
#include "platform/name_case.h"
#include "rule/directories.h"
#include "rule/file_moves.h"
#include "rule/held_files.h"
#include "rule/information_file.h"
#include "rule/received_file.h"
#include "rule/received_names.h"
#include "rule/rule.h"
#include "rule/rule_text.h"
#include "trasvik/crash_point.h"
#include "trasvik/debug_log.h"
#include "trasvik/gateway_log.h"
#include "trasvik/message_info.h"
#include "trasvik/notification.h"
#include "trasvik/receive_cycle.h"
#include "trasvik/session.h"
#include "trasvik/settings.h"
#include "trasvik/state_file.h"

namespace trasvik {

namespace {

// An attachment written whole under its temporary name, waiting for the
// others of its message.
struct WrittenAttachment {
  std::size_t index;
  std::string name;
  std::unique_ptr<ReceivedFile> file;
  std::unique_ptr<ReceivedFile> companion;  // the pair's second file, if the kind has one
  // Put in place before the gateway stopped, for a message handed out again.
  bool fileInPlace = false;
  bool companionInPlace = false;
};

}  // namespace

std::string receivedFileName(Rule& rule, const std::string& sender, const AttachmentInfo& attachment,
                             const std::tm& today, const NameTaken& taken) {
  const std::string name = safeAttachmentName(attachment.fileName, rule.longestName);
  if (rule.firm == 0) return name.empty() ? counterName("", taken) : ownName(name, taken);
  if (rule.firm == 1) return sequenceName(today, tickerForName(sender), nameExtension(name), taken, rule.longestName);
  return dayName(rule, today, tickerForName(sender), nameExtension(name), taken);
}

namespace {

// A temporary file in rule.in; nullptr after the failure was reported.
std::unique_ptr<ReceivedFile> createFile(const Rule& rule, const std::string& targetPath,
                                         const AttachmentLayout& layout) {
  auto file = std::make_unique<ReceivedFile>();
  if (file->create(rule.in, "wb+")) return file;
  const std::string error = lastError();
  layout.report(layout.cantCreate, targetPath.c_str(), error.c_str());
  return nullptr;
}

// Closes a file that was written; false after the failure was reported
// when it was not written whole.
bool finishFile(ReceivedFile& file, bool whole, const std::string& targetPath, const AttachmentLayout& layout) {
  file.close();
  if (whole) return true;
  const std::string error = lastError();
  layout.report(layout.cantWrite, targetPath.c_str(), error.c_str());
  return false;
}

bool writeData(const Rule& rule, Quillex::DravontMessage_s& message, const MessageInfo& info,
               const AttachmentLayout& layout, WrittenAttachment& written);

// Thrown when a save failed on a full disk: the message stays unconfirmed
// and comes again once there is room.
struct DiskFull {};

// A save that failed where the incoming directory's volume has no room for
// the attachment: a warning, and DiskFull. Another failure returns and is
// reported as before. (The service writes the data: its error text does not
// say why, the free space does.)
// Incoming directories warned about as full, until a message is saved there.
std::set<std::string>& fullDirectories() {
  static std::set<std::string> directories;
  return directories;
}

void leaveMessageWhenDiskFull(const Rule& rule, const MessageInfo& info, std::uint64_t needed) {
  const std::optional<std::uint64_t> free = platform::freeBytesOn(rule.in);
  if (!free || *free >= needed) return;
  if (!fullDirectories().insert(rule.in).second) throw DiskFull{};
  GATEWAY_WARNING("Rule [%s]: the disk of \"%s\" is full (%llu bytes free, %llu needed); message \"%s\" stays "
                  "unconfirmed and is received again in a later pass (said once while the disk stays full)",
                  rule.name.c_str(), rule.in.c_str(), static_cast<unsigned long long>(*free),
                  static_cast<unsigned long long>(needed), info.messageId.c_str());
  throw DiskFull{};
}

// Writes attachment `index` (0-based) under a temporary name, then its
// companion file when the kind has one; false after the failure was
// reported (the temporary files are removed with `written`).
bool writeAttachment(const Rule& rule, Quillex::DravontMessage_s& message, const MessageInfo& info,
                     const AttachmentLayout& layout, WrittenAttachment& written) {
  if (!written.fileInPlace && !writeData(rule, message, info, layout, written)) return false;
  if (!layout.writeCompanion || written.companionInPlace) return true;
  const std::string companionPath = rule.in + layout.companionName(written.name);
  written.companion = createFile(rule, companionPath, layout);
  if (!written.companion) return false;
  const bool whole = layout.writeCompanion(written.companion->stream(), written.index);
  return finishFile(*written.companion, whole, companionPath, layout);
}

// The attachment's own file, under a temporary name.
bool writeData(const Rule& rule, Quillex::DravontMessage_s& message, const MessageInfo& info,
               const AttachmentLayout& layout, WrittenAttachment& written) {
  const std::string targetPath = rule.in + written.name;
  written.file = createFile(rule, targetPath, layout);
  if (!written.file) return false;
  ReceivedFile& file = *written.file;
  const std::size_t index = written.index;
  const bool headWritten = !layout.writeHead || layout.writeHead(file.stream(), index);
  // A fresh file holds nothing but the head, if its kind writes one.
  const std::uint64_t sizeBefore = layout.writeHead ? file.size() : 0;
  const auto started = std::chrono::steady_clock::now();
  const unsigned size =
      headWritten ? Quillex::SaveDravontMessageAttachment(&message, static_cast<int>(index + 1), &file.stream()) : 0;
  file.close();
  GATEWAY_DEBUG("Rule [%s]: attachment %zu of msg \"%s\" saved for \"%s\", %u bytes in %s s", rule.name.c_str(),
                index + 1, info.messageId.c_str(), targetPath.c_str(), size,
                secondsText(std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count()).c_str());
  // A failed call returns 3, the size of a 3-byte attachment too: the file
  // must also have grown by the attachment's size. (A service that holds
  // writes back until the close can only make it grow by more.)
  const unsigned expected = info.attachments[index].size;
  const bool saved = headWritten && size == expected && file.size() >= sizeBefore + expected;
  if (!saved) leaveMessageWhenDiskFull(rule, info, expected);
  return finishFile(file, saved, targetPath, layout);
}

void recordNames(const Rule& rule, const std::vector<WrittenAttachment>& written, const MessageInfo& info);

// Puts the companion in place beside its attachment's file at `path`; when
// that fails, the attachment's file is removed again before the failure
// goes on.
void placeCompanion(const Rule& rule, WrittenAttachment& attachment, const std::string& path,
                    const AttachmentLayout& layout) {
  try {
    attachment.companion->placeExactly(layout.companionName(path.substr(rule.in.size())));
  } catch (int) {
    if (const int error = platform::removeFile(path)) {
      GATEWAY_WARNING("Can't remove file \"%s\", %s", path.c_str(), errnoText(error).c_str());
    }
    throw;
  }
}

// Renames the written attachments to their names, each followed by its
// information file. A name taken meanwhile by another program gives the
// next free one, which the state file then records.
void placeAttachments(const Rule& rule, std::vector<WrittenAttachment>& written, const MessageInfo& info,
                      const AttachmentLayout& layout) {
  if (written.empty()) return;
  bool renamed = false;
  for (WrittenAttachment& attachment : written) {
    const AttachmentInfo& facts = info.attachments[attachment.index];
    std::string path = rule.in + attachment.name;
    if (attachment.fileInPlace) {
      GATEWAY_INFO("Rule [%s]: File \"%s\" of message \"%s\" was saved before the gateway stopped", rule.name.c_str(),
                   path.c_str(), info.messageId.c_str());
    } else {
      path = attachment.file->place(attachment.name);
      crashPoint("file-placed");
      renamed = renamed || path != rule.in + attachment.name;
      attachment.name = path.substr(rule.in.size());
    }
    if (attachment.companion) placeCompanion(rule, attachment, path, layout);
    if (!attachment.fileInPlace) logSaved(rule, path, info, attachment.index);
    const std::string information = informationPath(rule.in, layout.informationName(attachment.name));
    if (wantsInformationFile(facts) && !platform::pathExists(information)) writeInformationFile(information, facts);
  }
  flushDirectory(rule.in);
  if (renamed) recordNames(rule, written, info);
}

// Durably, before the first file is put in place: where the message's
// attachments go.
void recordNames(const Rule& rule, const std::vector<WrittenAttachment>& written, const MessageInfo& info) {
  ReceiptRecord record{rule.in, {}};
  for (const WrittenAttachment& attachment : written) record.names.push_back(attachment.name);
  std::vector<std::string> attachmentNames;
  for (const AttachmentInfo& attachment : info.attachments) attachmentNames.push_back(attachment.fileName);
  stateFile().recordReceipt(info.messageId, record, info.postToken, attachmentNames);
}

// Whether the recorded name `index` is in place: its file exists, and no
// earlier name of the message is the same to the file system. (A state file
// may record "a.txt" and "A.TXT" for one message; on Windows the second was
// never placed under its own name, and the first's file is not its file.)
bool recordedFileInPlace(const std::string& directory, const std::vector<std::string>& names, std::size_t index) {
  for (std::size_t earlier = 0; earlier < index; ++earlier) {
    if (platform::sameFileName(names[earlier], names[index])) return false;
  }
  return platform::pathExists(directory + names[index]);
}

// The names recorded for this message in this directory, when the
// gateway stopped before the message was confirmed.
std::optional<std::vector<std::string>> recordedNames(const Rule& rule, const MessageInfo& info) {
  std::optional<ReceiptRecord> record = stateFile().receipt(info.messageId);
  if (!record || record->directory != rule.in || record->names.size() != info.attachments.size()) return std::nullopt;
  return std::move(record->names);
}

}  // namespace

int saveAttachmentsAsFiles(Rule& rule, Quillex::DravontMessage_s& message, const MessageInfo& info) {
  AttachmentLayout layout;
  layout.chooseName = [&](std::size_t index, const NameTaken& taken) {
    return receivedFileName(rule, info.sender, info.attachments[index], platform::utcTimeNow(), taken);
  };
  layout.informationName = [](const std::string& savedName) { return savedName + ".inf"; };
  layout.report = reportCantContinue;
  return saveAttachments(rule, message, info, layout);
}

int saveAttachments(Rule& rule, Quillex::DravontMessage_s& message, const MessageInfo& info,
                    const AttachmentLayout& layout) {
  const std::optional<std::vector<std::string>> recorded = recordedNames(rule, info);
  // Names chosen for this message count as taken before their files exist.
  std::set<std::string> chosen;
  const NameTaken taken = [&](const std::string& name) {
    if (nameTakenIn(rule.in, name, chosen)) return true;
    // A name and its information file are chosen as a pair.
    return settings().recvDNinfo && platform::pathExists(informationPath(rule.in, layout.informationName(name)));
  };
  std::vector<WrittenAttachment> written;
  for (std::size_t i = 0; i < info.attachments.size(); ++i) {
    std::string name = recorded ? (*recorded)[i] : layout.chooseName(i, taken);
    chosen.insert(name);
    if (settings().adminMailOnly) continue;
    WrittenAttachment attachment{i, std::move(name), nullptr, nullptr};
    if (recorded) {
      attachment.fileInPlace = recordedFileInPlace(rule.in, *recorded, i);
      // A companion is put in place only after its file.
      attachment.companionInPlace =
          !layout.writeCompanion ||
          (attachment.fileInPlace && platform::pathExists(rule.in + layout.companionName(attachment.name)));
    }
    written.push_back(std::move(attachment));
    try {
      if (!writeAttachment(rule, message, info, layout, written.back())) return 2;
    } catch (const DiskFull&) {
      return kReceiveDeferred;  // the temporary files go with `written`
    }
  }
  try {
    if (!recorded && !written.empty()) recordNames(rule, written, info);
    crashPoint("receipt-recorded");
    placeAttachments(rule, written, info, layout);
    crashPoint("placed");
    fullDirectories().erase(rule.in);
  } catch (int code) {
    if (code != kMoveFailure) throw;
    return 2;
  } catch (const FileHeld&) {
    // The names stay recorded: the message, received again, puts the files
    // that are missing beside those already in place.
    return kReceiveDeferred;
  } catch (const VolumeUnreachable&) {
    return kReceiveDeferred;  // the same, once the directory is back
  }
  return 0;
}

}  // namespace trasvik
