// Receiving for the MSG rule: every attachment becomes a ".msg" file in the
// incoming directory, a compact header describing the message followed by
// the attachment's bytes. Naming, the information file, and writing under
// temporary names are the rule framework's (attachment_files.h).
#include "msgrule/msg_file.h"
#include "msgrule/msg_rule.h"
#include "platform/clock.h"
#include "rule/attachment_files.h"
#include "rule/received_names.h"
#include "rule/rule_text.h"
#include "trasvik/message_info.h"
#include "trasvik/notification.h"
#include "trasvik/settings.h"

namespace trasvik {

namespace {

constexpr char kExtension[] = ".msg";

// "NAME.msg" has the information file "NAME.inf".
std::string informationName(const std::string& savedName) {
  return savedName.substr(0, savedName.size() - (sizeof kExtension - 1)) + ".inf";
}

bool writeHeader(Quillex::DravontStream_s& stream, const Rule& rule, const MessageInfo& info,
                 const AttachmentInfo& attachment) {
  ReceivedHeader header;
  header.selfAddress = settings().selfAddress;
  header.sender = info.sender;
  header.coretype = info.coretype;
  header.subject = info.subject;
  header.messageId = info.messageId;
  std::tm localDate{};
  if (messageLocalTime(info.date, info.messageId, localDate)) header.localDate = &localDate;
  header.fileName = attachment.fileName;
  // Without compatibility bit 0 an empty line ends the header.
  return writeHeaderLines(stream, receivedHeaderLines(header), true, rule.compatibilityFlag0 ? "" : "\r\n");
}

}  // namespace

std::string receivedMsgName(Rule& rule, const std::string& sender, const AttachmentInfo& attachment,
                            const std::tm& today, const NameTaken& taken) {
  // Room for the ".msg" that follows.
  const std::string name = safeAttachmentName(attachment.fileName, rule.longestName - 4);
  if (rule.compatibilityFlag1 || (rule.firm == 0 && name.empty())) return counterName(kExtension, taken);
  if (rule.firm == 0) return ownName(name + kExtension, taken);
  // The dated names leave the attachment's extension out.
  if (rule.firm == 1) return sequenceName(today, tickerForName(sender), kExtension, taken, rule.longestName);
  return dayName(rule, today, tickerForName(sender), kExtension, taken);
}

int MsgRule::receive(Quillex::DravontMessage_s& message, const MessageInfo& info) {
  AttachmentLayout layout;
  layout.chooseName = [&](std::size_t index, const NameTaken& taken) {
    return receivedMsgName(*this, info.sender, info.attachments[index], platform::utcTimeNow(), taken);
  };
  layout.writeHead = [&](Quillex::DravontStream_s& stream, std::size_t index) {
    return writeHeader(stream, *this, info, info.attachments[index]);
  };
  layout.informationName = informationName;
  layout.report = reportFatal;
  return saveAttachments(*this, message, info, layout);
}

}  // namespace trasvik
