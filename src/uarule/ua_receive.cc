// Receiving for the UA rule: every attachment becomes a pair of files in
// the incoming directory, a ".001" data file of the attachment's bytes and
// a ".env" envelope describing the message, under one base name that no
// file of any three-character extension uses yet. Naming, the information
// file, and writing under temporary names (the data file put in place
// before its envelope) are the rule framework's (attachment_files.h).
#include "platform/clock.h"
#include "rule/attachment_files.h"
#include "rule/received_names.h"
#include "rule/rule_text.h"
#include "trasvik/message_info.h"
#include "trasvik/notification.h"
#include "trasvik/settings.h"
#include "ua_rule.h"
#include "uarule/envelope.h"

namespace trasvik {

namespace {

constexpr char kDataExtension[] = ".001";
constexpr char kEnvelopeExtension[] = ".env";
constexpr char kShortPrefix[] = "bbs";

// "base.???" or "base.001" gives "base".
std::string baseOf(const std::string& name) { return name.substr(0, name.size() - 4); }

bool writeEnvelope(Quillex::DravontStream_s& stream, const MessageInfo& info, const AttachmentInfo& attachment) {
  ReceivedEnvelope envelope;
  envelope.selfAddress = settings().selfAddress;
  envelope.sender = info.sender;
  envelope.subject = info.subject;
  std::tm localDate{};
  if (messageLocalTime(info.date, info.messageId, localDate)) envelope.localDate = &localDate;
  envelope.messageId = info.messageId;
  envelope.coretype = info.coretype;
  envelope.fileName = attachment.fileName;
  return writeHeaderLines(stream, receivedEnvelopeLines(envelope), false);
}

}  // namespace

std::string receivedEnvelopeBase(Rule& rule, const std::string& sender, const AttachmentInfo& attachment,
                                 const std::tm& today, const NameTaken& taken) {
  // Room for the ".001" and ".env" that follow the base.
  const std::string name = safeAttachmentName(attachment.fileName, rule.longestName - 4);
  if (rule.compatibilityFlag1 || (rule.firm == 0 && name.empty())) {
    const NameTaken shortTaken = [&](const std::string& digits) {
      return taken(kShortPrefix + digits + kAnyExtension);
    };
    return kShortPrefix + counterName("", shortTaken);
  }
  if (rule.firm == 0) return baseOf(ownName(name + kAnyExtension, taken));
  if (rule.firm == 1) return baseOf(sequenceName(today, tickerForName(sender), kAnyExtension, taken, rule.longestName));
  return baseOf(dayName(rule, today, tickerForName(sender), kAnyExtension, taken));
}

int UaRule::receive(Quillex::DravontMessage_s& message, const MessageInfo& info) {
  AttachmentLayout layout;
  layout.chooseName = [&](std::size_t index, const NameTaken& taken) {
    return receivedEnvelopeBase(*this, info.sender, info.attachments[index], platform::utcTimeNow(), taken) +
           kDataExtension;
  };
  layout.writeCompanion = [&](Quillex::DravontStream_s& stream, std::size_t index) {
    return writeEnvelope(stream, info, info.attachments[index]);
  };
  layout.companionName = [](const std::string& savedName) { return baseOf(savedName) + kEnvelopeExtension; };
  layout.informationName = [](const std::string& savedName) { return baseOf(savedName) + ".inf"; };
  layout.report = reportFatal;
  layout.cantCreate = "Can't open file for writing: \"%s\", %s";
  layout.cantWrite = "Can't write file: \"%s\", %s";
  return saveAttachments(*this, message, info, layout);
}

}  // namespace trasvik
