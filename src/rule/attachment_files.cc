#include "rule/attachment_files.h"

#include <memory>
#include <set>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "rule/directories.h"
#include "rule/file_moves.h"
#include "rule/information_file.h"
#include "rule/received_file.h"
#include "rule/received_names.h"
#include "rule/rule.h"
#include "trasvik/message_info.h"
#include "trasvik/notification.h"
#include "trasvik/receive_cycle.h"
#include "trasvik/session.h"
#include "trasvik/settings.h"

namespace trasvik {

namespace {

// An attachment written whole under its temporary name, waiting for the
// others of its message.
struct WrittenAttachment {
  std::size_t index;
  std::string name;
  std::unique_ptr<ReceivedFile> file;
};

std::string chooseName(Rule& rule, const std::string& sender, const AttachmentInfo& attachment,
                       const NameTaken& taken) {
  const std::string name = safeAttachmentName(attachment.fileName);
  if (rule.firm == 0) return name.empty() ? counterName("", taken) : ownName(name, taken);
  const std::tm today = platform::utcTimeNow();
  if (rule.firm == 1) return sequenceName(today, tickerForName(sender), nameExtension(name), taken);
  return dayName(rule, today, tickerForName(sender), nameExtension(name), taken);
}

// Writes attachment `index` (0-based) under a temporary name; nullptr after
// the failure was reported.
std::unique_ptr<ReceivedFile> writeAttachment(const Rule& rule, Quillex::DravontMessage_s& message,
                                              const MessageInfo& info, std::size_t index,
                                              const std::string& targetPath, const AttachmentLayout& layout) {
  auto file = std::make_unique<ReceivedFile>();
  if (!file->create(rule.in, "wb+")) {
    const std::string error = lastError();
    layout.report("Can't open file \"%s\" for writing, error: \"%s\"", targetPath.c_str(), error.c_str());
    return nullptr;
  }
  const bool headWritten = !layout.writeHead || layout.writeHead(file->stream(), index);
  const unsigned written =
      headWritten ? Quillex::SaveDravontMessageAttachment(&message, static_cast<int>(index + 1), &file->stream()) : 0;
  file->close();
  if (!headWritten || written != info.attachments[index].size) {
    const std::string error = lastError();
    layout.report("Error writing to file \"%s\": \"%s\"", targetPath.c_str(), error.c_str());
    return nullptr;
  }
  return file;
}

// Renames the written attachments to their names, each followed by its
// information file.
void placeAttachments(const Rule& rule, std::vector<WrittenAttachment>& written, const MessageInfo& info,
                      const AttachmentLayout& layout) {
  if (written.empty()) return;
  for (WrittenAttachment& attachment : written) {
    const std::string path = attachment.file->place(attachment.name);
    logSaved(rule, path, info, attachment.index);
    const AttachmentInfo& facts = info.attachments[attachment.index];
    if (wantsInformationFile(facts)) {
      writeInformationFile(informationPath(rule.in, layout.informationName(path.substr(rule.in.size()))), facts);
    }
  }
  flushDirectory(rule.in);
}

}  // namespace

int saveAttachmentsAsFiles(Rule& rule, Quillex::DravontMessage_s& message, const MessageInfo& info) {
  AttachmentLayout layout;
  layout.chooseName = [&](std::size_t index, const NameTaken& taken) {
    return chooseName(rule, info.sender, info.attachments[index], taken);
  };
  layout.informationName = [](const std::string& savedName) { return savedName + ".inf"; };
  layout.report = reportCantContinue;
  return saveAttachments(rule, message, info, layout);
}

int saveAttachments(Rule& rule, Quillex::DravontMessage_s& message, const MessageInfo& info,
                    const AttachmentLayout& layout) {
  // Names chosen for this message count as taken before their files exist.
  std::set<std::string> chosen;
  const NameTaken taken = [&](const std::string& name) {
    return chosen.contains(name) || fileExists(rule.in + name);
  };
  std::vector<WrittenAttachment> written;
  for (std::size_t i = 0; i < info.attachments.size(); ++i) {
    std::string name = layout.chooseName(i, taken);
    chosen.insert(name);
    if (settings().adminMailOnly) continue;
    std::unique_ptr<ReceivedFile> file = writeAttachment(rule, message, info, i, rule.in + name, layout);
    if (!file) return 2;
    written.push_back({i, std::move(name), std::move(file)});
  }
  try {
    placeAttachments(rule, written, info, layout);
  } catch (int code) {
    if (code != kMoveFailure) throw;
    return 2;
  }
  return 0;
}

}  // namespace trasvik
