// Sending envelope pairs: each ".env" envelope of `out` names the recipient
// of its ".001" data file and describes the message; the data file becomes
// the message's one attachment, posted through the send URL. The rule's
// own addresses are not used.
#include "ua_rule.h"

#include "platform/file.h"
#include "rule/delivered_file.h"
#include "rule/directories.h"
#include "rule/directory_scan.h"
#include "rule/file_moves.h"
#include "rule/held_files.h"
#include "rule/outgoing_patterns.h"
#include "rule/outgoing_stream.h"
#include "rule/recorded_post.h"
#include "rule/skip_reports.h"
#include "rule/library_object.h"
#include "rule/rule_text.h"
#include "trasvik/gateway_log.h"
#include "trasvik/library_text.h"
#include "trasvik/notification.h"
#include "trasvik/script_bridge.h"
#include "trasvik/script_texts.h"
#include "trasvik/session.h"
#include "trasvik/settings.h"
#include "trasvik/text_format.h"
#include "uarule/envelope_reader.h"

namespace trasvik {

namespace {

constexpr int kDetachedSigned = 5;
constexpr int kDetachedSignedEncrypted = 6;
constexpr char kDataExtension[] = ".001";

// "name.env" has the base "name" and the extension ".env", spelt as the
// name spells it: the scan takes ".ENV" too.
std::string baseOf(const std::string& envelopeName) { return envelopeName.substr(0, envelopeName.size() - 4); }
std::string extensionOf(const std::string& envelopeName) { return envelopeName.substr(envelopeName.size() - 4); }

}  // namespace

unsigned UaRule::send(unsigned count) {
  if (out.empty()) return count;
  if (protectionLevel == kDetachedSigned || protectionLevel == kDetachedSignedEncrypted) {
    GATEWAY_ERROR("Can't post messages in .env format with detached signature");
    return count;
  }
  // Later rules of this pass count from 0 again.
  if (settings().adminMailOnly) return 0;

  std::vector<FileEntry> envelopes;
  scanDirectory(envelopes, out + uaRulePattern(compatibilityFlag1), 0);
  if (envelopes.empty() || !directoriesAcceptMoves(name, {out, sent, error})) return count;
  Recipients recipients;
  for (const FileEntry& envelope : envelopes) {
    if (count >= settings().switchafter) break;
    const Outcome outcome = sendEnvelope(envelope.name, recipients);
    if (outcome == Outcome::kEndPass) break;
    const std::string base = baseOf(envelope.name);
    if (outcome == Outcome::kSent) ++count;
    try {
      if (outcome == Outcome::kFailed) {
        moveEnvelope(out + base, error, base, extensionOf(envelope.name));
        forgetOutgoingFile(out + envelope.name);
      }
      if (outcome == Outcome::kSent) {
        disposeOfSent(envelope.name);
        forgetOutgoingFile(out + envelope.name);
      }
    } catch (const FileHeld&) {
      // A sent pair's post stays on record: a later pass moves it on
      // unsent; a failed one is tried again from the start.
    }
  }
  return count;
}

// The steps of one envelope, in order; each failure records why and says
// what becomes of the pair.
UaRule::Outcome UaRule::sendEnvelope(const std::string& envelopeName, Recipients& recipients) {
  const std::string envelopePath = out + envelopeName;
  const std::string dataPath = out + baseOf(envelopeName) + kDataExtension;
  // The pair is recorded under its envelope's path.
  if (postedBefore(name, envelopePath, SendLeg::kAddress)) return Outcome::kSent;
  if (!fileExists(dataPath)) {
    GATEWAY_ERROR("No .001 file for \"%s\" envelope", envelopeName.c_str());
    try {
      moveFile(envelopePath, error, envelopeName);
    } catch (const FileHeld&) {
      // Taken up again in a later pass.
    }
    return Outcome::kLeft;
  }

  for (const std::string& path : {envelopePath, dataPath}) {
    if (const std::string refusal = refusalToSend(path); !refusal.empty()) {
      reportUnopened(path, path, refusal);
      return Outcome::kLeft;
    }
  }
  StreamObject envelopeStream;
  if (Quillex::InitDravontStreamFromFile(envelopeStream.record(), serviceContext(), envelopePath.c_str(), "rtE", "") !=
      0) {
    reportUnopened(envelopePath, envelopeName, lastError());
    return Outcome::kLeft;
  }
  envelopeStream.made();
  const std::optional<EnvelopeValues> read = readEnvelope(*envelopeStream.record(), identityOf(envelopePath).size);
  envelopeStream.release();
  if (!read) {
    reportUnopened(envelopePath, envelopeName, "it could not be read whole");
    return Outcome::kLeft;
  }
  const EnvelopeValues& envelope = *read;
  if (envelope.lostLastLine) {
    GATEWAY_WARNING("Last line of envelope \"%s\" has no line feed and is ignored", envelopeName.c_str());
  }
  if (envelope.to.empty()) {
    GATEWAY_ERROR("No to: address in envelope \"%s\"", envelopeName.c_str());
    return Outcome::kFailed;
  }
  std::string type;
  if (!typeText(envelope, envelopeName, type)) return Outcome::kFailed;

  StreamObject data;
  if (Quillex::InitDravontStreamFromFile(data.record(), serviceContext(), dataPath.c_str(), "rbE", "") != 0) {
    reportUnopened(dataPath, dataPath, lastError());
    return Outcome::kLeft;
  }
  data.made();
  clearReport(envelopePath);
  clearReport(dataPath);
  const std::string attachmentName = nameAttachment(*data.record(), envelope);

  Quillex::DravontAddress_s* const address = recipientAddress(envelope, envelopeName, recipients);
  if (address == nullptr) return Outcome::kFailed;
  MessageObject message;
  if (Quillex::InitDravontMessage(message.record(), serviceContext(), address, "") != 0) {
    const std::string reason = lastError();
    GATEWAY_ERROR("Can't init Dravont message, %s", reason.c_str());
    return Outcome::kEndPass;
  }
  message.made();
  if (Quillex::DravontAttachStreamToMessage(message.record(), data.record(),
                                            static_cast<Quillex::ProtectionLevel_t>(protectionLevel)) != 0) {
    const std::string reason = lastError();
    GATEWAY_ERROR("Can't attach stream to message, file: \"%s\", %s", dataPath.c_str(), reason.c_str());
    postNotification("Can't attach stream to message, file name: \"" + dataPath + "\", " + reason);
    return Outcome::kFailed;
  }
  Quillex::SetDravontMessageCustomHeader(message.record(), "coretype", type.empty() ? "1200" : type.c_str());
  RecordedPost post(name, {identityOf(envelopePath)}, SendLeg::kAddress);
  post.stamp(*message.record());
  LibraryText messageId;
  if (Quillex::PostMessageTo(message.record(), &settings().sendUrl, messageId.out()) != 0) {
    post.failed();
    const std::string reason = lastError();
    GATEWAY_ERROR("Can't post message: %s", reason.c_str());
    postNotification("Can't post message: " + reason);
    return Outcome::kFailed;
  }
  post.posted();

  message.release();
  data.release();
  if (attachmentName.empty()) {
    GATEWAY_INFO("Rule [%s]: File \"%s\" sent, to: \"%s\", no attachment name", name.c_str(), dataPath.c_str(),
                 envelope.to.c_str());
  } else {
    GATEWAY_INFO("Rule [%s]: File \"%s\" sent, to: \"%s\", attachment name: \"%s\"", name.c_str(), dataPath.c_str(),
                 envelope.to.c_str(), attachmentName.c_str());
  }
  return Outcome::kSent;
}

Quillex::DravontAddress_s* UaRule::recipientAddress(const EnvelopeValues& envelope, const std::string& envelopeName,
                                                    Recipients& recipients) const {
  std::unique_ptr<AddressObject>& known = recipients[{envelope.to, envelope.subject}];
  if (known) return known->record();
  std::string ticker;
  std::string service;
  if (!parseAddress(envelope.to, ticker, service)) {
    GATEWAY_ERROR("wrong TO address \"%s\" in envelope \"%s\"", envelope.to.c_str(), envelopeName.c_str());
    return nullptr;
  }
  const std::string options =
      envelope.subject.empty() ? "" : "({subject:\"" + escapeScriptText(envelope.subject) + "\"})";
  auto address = std::make_unique<AddressObject>();
  if (Quillex::InitDravontAddress(address->record(), serviceContext(), ticker.c_str(), service.c_str(), "", "",
                                  options.c_str()) != 0) {
    const std::string reason = lastError();
    GATEWAY_ERROR("Can't init Dravont address, %s, address: \"%s\", file: \"%s\"", reason.c_str(),
                  envelope.to.c_str(), envelopeName.c_str());
    return nullptr;
  }
  address->made();
  known = std::move(address);
  return known->record();
}

bool UaRule::typeText(const EnvelopeValues& envelope, const std::string& envelopeName, std::string& text) const {
  text.clear();
  if (compatibilityFlag0) {
    text = coretypeText;
    return true;
  }
  if (envelope.type.empty()) return true;
  std::uint16_t type = 0;
  if (!parseHex16(envelope.type, type)) {
    GATEWAY_ERROR("Wrong type: %s in envelope \"%s\"", envelope.type.c_str(), envelopeName.c_str());
    return false;
  }
  text = formatText("%04X", type);
  return true;
}

std::string UaRule::nameAttachment(Quillex::DravontStream_s& data, const EnvelopeValues& envelope) const {
  const auto handle = static_cast<unsigned>(Quillex::GetDravontStreamHandle(&data));
  LibraryText result;
  if (compatibilityFlag1) {
    if (!runScript(formatText(scripts::kClearStreamFileName, handle), result)) {
      const std::string reason = lastError();
      reportCantContinue("Can't clear filename with error \"%s\"", reason.c_str());
      throw ScriptError(reason);
    }
    return "";
  }
  // Without a name in the envelope the data file's own name, less ".001".
  const std::string& wanted = envelope.filename;
  const bool named = wanted.empty()
                         ? runScript(formatText(scripts::kCutStreamFileName, handle), result)
                         : runScript(formatText(scripts::kSetStreamFileName, handle, escapeScriptText(wanted).c_str()),
                                     result);
  if (!named) {
    const std::string reason = lastError();
    GATEWAY_FATAL("Can't set filename %s with error \"%s\"", wanted.c_str(), reason.c_str());
    postNotification("Can't set filename " + wanted + "with error \"" + reason + "\"");
    throw ScriptError(reason);
  }
  return wanted.empty() ? std::string(result.c_str()) : wanted;
}

void UaRule::disposeOfSent(const std::string& envelopeName) const {
  const std::string base = baseOf(envelopeName);
  const std::string envelopePath = out + envelopeName;
  const std::string dataPath = out + base + kDataExtension;
  if (!platform::pathExists(dataPath) && deliveredFileVanished(name, envelopePath)) return;
  if (!sent.empty()) {
    moveEnvelope(out + base, sent, base, extensionOf(envelopeName));
    return;
  }
  // The data file first: a pair whose envelope stays (held by another
  // program) keeps its post on record under the envelope's path, and a
  // later pass removes the envelope alone. The other way round would leave
  // a data file no scan finds.
  std::string failed = dataPath;
  int failure = platform::pathExists(dataPath) ? retryWhileHeld(dataPath, [&] { return platform::removeFile(dataPath); }) : 0;
  if (failure == 0) {
    failed = envelopePath;
    failure = retryWhileHeld(envelopePath, [&] { return platform::removeFile(envelopePath); });
  }
  if (failure == 0) {
    heldFileReleased(dataPath);
    heldFileReleased(envelopePath);
    return;
  }
  if (isHoldError(failure)) leaveHeldFile(failed, "removed", failure);
  reportFatal("Can't remove envelope \"%s\" or file \"%s\", %s", envelopePath.c_str(), dataPath.c_str(),
              errnoText(failure).c_str());
  throw kMoveFailure;
}

}  // namespace trasvik
