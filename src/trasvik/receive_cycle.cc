#include "trasvik/receive_cycle.h"

#include <chrono>
#include <random>

#include "platform/clock.h"
#include "rule/file_moves.h"
#include "rule/post_token.h"
#include "rule/rule.h"
#include "rule/rule_text.h"
#include "trasvik/debug_log.h"
#include "trasvik/gateway_log.h"
#include "trasvik/library_text.h"
#include "trasvik/notification.h"
#include "trasvik/script_bridge.h"
#include "trasvik/script_texts.h"
#include "trasvik/session.h"
#include "trasvik/status_file.h"
#include "trasvik/settings.h"
#include "trasvik/state_file.h"
#include "trasvik/stop_control.h"
#include "trasvik/text_format.h"

namespace trasvik {

namespace {

using Quillex::DravontMessage_s;

constexpr int kConfirmRetries = 5;
constexpr const char* kSignatureAttributes[] = {"dn", "key_not_before", "key_not_after",
                                               "cert_not_before", "cert_not_after", "serial"};

PendingConfirmation pending;

// A pause of 1 to 5 seconds between confirmation attempts, drawn from
// 0..32767 like the generator the pause was designed for, never seeded.
unsigned confirmPauseMilliseconds() {
  static std::minstd_rand generator;
  static std::uniform_int_distribution<unsigned> draw(0, 32767);
  return 1000 + draw(generator) * 4000 / 32767;
}

bool failReading(MessageInfo& info, const std::string& text) {
  info.failure = text;
  return false;
}

std::string quotedFailure(const char* call) { return std::string(call) + "\"" + lastError() + "\""; }

// The six signature attributes of attachment n (1-based), each signature's
// values joined by "\r\n". A failure here is no reading failure: it ends the
// run.
void readSignatures(DravontMessage_s& message, int n, AttachmentInfo& attachment) {
  std::string* fields[] = {&attachment.dn,           &attachment.keyNotBefore, &attachment.keyNotAfter,
                           &attachment.certNotBefore, &attachment.certNotAfter, &attachment.serial};
  int signatures = 0;
  if (Quillex::GetNumOfDravontMessageAttachmentSignatures(&message, n, &signatures) != 0) {
    lastError();
    throw kMoveFailure;
  }
  for (int j = 0; j < signatures; ++j) {
    for (std::size_t a = 0; a < std::size(kSignatureAttributes); ++a) {
      LibraryText value;
      if (Quillex::GetDravontMessageAttachmentSignatureAttr(&message, n, j, kSignatureAttributes[a], value.out()) != 0) {
        lastError();
        throw kMoveFailure;
      }
      if (j > 0) *fields[a] += "\r\n";
      *fields[a] += value.c_str();
    }
  }
}

// The rule's filters: subject, sender and coretype, each when set.
bool passesFilters(const Rule& rule, const MessageInfo& info) {
  if (!rule.subject.empty() && rule.subject != info.subject) return false;
  if (!rule.senderFilter.empty() && rule.senderFilter != info.sender) return false;
  if (rule.coretype != 0 && rule.coretype != info.coretype) return false;
  return true;
}

// Confirms and frees the message after a rule took it (accept) or after it
// could not be read (reject with the reason).
int confirmAndFree(DravontMessage_s& message, const MessageInfo& info, bool reject, int resultWhenDone) {
  if (confirmWithRetry(message, info.messageId, reject, info.failure) == 0) {
    stateFile().forgetReceipt(info.messageId);
    Quillex::FreeDravontMessage(&message);
    return resultWhenDone;
  }
  const std::string error = libraryErrorText();
  reportCantContinue("Can't confirm message \"%s\", error: \"%s\"", info.messageId.c_str(), error.c_str());
  return kDispatchStop;
}

int offerToRules(DravontMessage_s& message, MessageInfo& info, const std::vector<std::unique_ptr<Rule>>& rules) {
  for (const std::unique_ptr<Rule>& rule : rules) {
    if (!rule->isMain && (rule->in.empty() || !passesFilters(*rule, info))) {
      GATEWAY_DEBUG("Msg \"%s\" is not for rule [%s]: %s", info.messageId.c_str(), rule->name.c_str(),
                    rule->in.empty() ? "it has no incoming directory" : "its addresses, subject or type differ");
      continue;
    }
    const auto started = std::chrono::steady_clock::now();
    const int result = rule->receive(message, info);
    GATEWAY_DEBUG("Msg \"%s\" offered to rule [%s]: %s after %s s", info.messageId.c_str(), rule->name.c_str(),
                  result == 0                  ? "taken"
                  : result == 2                ? "the gateway stops"
                  : result == kReceiveDeferred ? "left for a later pass"
                                               : "not taken",
                  secondsText(std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count()).c_str());
    if (result == 0) {
      info.failure.clear();
      return confirmAndFree(message, info, false, kDispatchAccepted);
    }
    if (result == 2) {
      requestStop();
      return kDispatchStop;
    }
    if (result == kReceiveDeferred) {
      GATEWAY_WARNING("Msg \"%s\" stays unconfirmed: a file of it is held by another program; it is received again "
                      "in a later pass",
                      info.messageId.c_str());
      Quillex::FreeDravontMessage(&message);
      return kDispatchDeferred;
    }
  }
  return kDispatchStop;  // unreachable while the main rule is last
}

}  // namespace

PendingConfirmation& pendingConfirmation() { return pending; }

PassCounts& passCounts() {
  static PassCounts counts;
  return counts;
}

RunCounts& runCounts() {
  static RunCounts counts;
  return counts;
}

bool readMessageInfo(DravontMessage_s& message, MessageInfo& info) {
  LibraryText id;
  if (Quillex::GetDravontMessageProperty(&message, "messageId", id.out()) != 0) {
    return failReading(info, quotedFailure("Can't get msgId: Error in GetDravontMessageProperty(): "));
  }
  info.messageId = id.c_str();

  if (Quillex::GetDravontMessageDate(&message, &info.date) != 0) {
    const std::string error = lastError();
    GATEWAY_WARNING("Can' get message time, error in GetDravontMessageDate(): \"%s\"", error.c_str());
    info.date = 0;
  }

  int count = 0;
  if (Quillex::GetNumOfDravontMessageAttachments(&message, &count) != 0) {
    return failReading(info, quotedFailure("Error in GetNumOfDravontMessageAttachments(): "));
  }
  if (count == 0) return failReading(info, "Error in GetNumOfDravontMessageAttachments() (return value is 0)");
  info.attachments.assign(static_cast<std::size_t>(count), AttachmentInfo{});
  for (int n = 1; n <= count; ++n) {
    AttachmentInfo& attachment = info.attachments[static_cast<std::size_t>(n - 1)];
    LibraryText name;
    if (Quillex::GetDravontMessageAttachmentFilename(&message, n, name.out()) != 0) {
      return failReading(info, quotedFailure("Error in GetDravontMessageAttachmentFilename(): "));
    }
    attachment.fileName = name.c_str();
    if (Quillex::GetDravontMessageAttachmentSize(&message, n, &attachment.size) != 0) {
      return failReading(info, quotedFailure("Error in GetDravontMessageAttachmentSize(): "));
    }
  }

  LibraryText subject;
  if (Quillex::GetDravontMessageProperty(&message, "subject", subject.out()) != 0) {
    return failReading(info, quotedFailure("Can't get subject, error in GetDravontMessageProperty(): "));
  }
  info.subject = subject.c_str();

  LibraryText coretype;
  if (Quillex::GetDravontMessageCustomHeader(&message, "coretype", coretype.out()) != 0) {
    return failReading(info, quotedFailure("Can't get coretype, error in GetDravontMessageCustomHeader(): "));
  }
  info.coretype = 0;
  if (coretype.text() != nullptr && !parseHex16(coretype.text(), info.coretype)) {
    GATEWAY_ERROR("Wrong CORETYPE in received message: %s", coretype.text());
    info.coretype = 0;
  }

  info.postToken = readPostToken(message);

  LibraryText sender;
  if (!runScript(formatText(scripts::kMessageSender, static_cast<unsigned>(Quillex::GetDravontMessageHandle(&message))),
                 sender)) {
    lastError();
    throw kMoveFailure;
  }
  info.sender = sender.c_str();

  for (int n = 1; n <= count; ++n) readSignatures(message, n, info.attachments[static_cast<std::size_t>(n - 1)]);
  return true;
}

int dispatchMessage(DravontMessage_s& message, const std::vector<std::unique_ptr<Rule>>& rules) {
  MessageInfo info;
  if (!readMessageInfo(message, info)) {
    if (info.messageId.empty()) {
      GATEWAY_ERROR("Fail reading msg, %s, msgid: \"%s\"", info.failure.c_str(), info.messageId.c_str());
      Quillex::FreeDravontMessage(&message);
      return kDispatchRejected;
    }
    GATEWAY_ERROR("Fail reading msg, %s", info.failure.c_str());
    return confirmAndFree(message, info, true, kDispatchRejected);
  }

  GATEWAY_INFO("Msg received, Id: \"%s\", from: \"%s\", subj: \"%s\", coretype: 0x%04X", info.messageId.c_str(),
               info.sender.c_str(), info.subject.c_str(), info.coretype);
  GATEWAY_DEBUG("Msg \"%s\": %zu attachment(s), %llu bytes", info.messageId.c_str(), info.attachments.size(),
                [&] {
                  unsigned long long bytes = 0;
                  for (const AttachmentInfo& attachment : info.attachments) bytes += attachment.size;
                  return bytes;
                }());
  // A second copy of a message saved before, posted again by a sender that
  // crashed while the service stored the first: confirmed, not saved.
  if (isSecondCopy(info)) return confirmAndFree(message, info, false, kDispatchAccepted);
  try {
    return offerToRules(message, info, rules);
  } catch (const ContextError&) {
    // A lost session is no reason to stop: the session is opened again and
    // the message, still unconfirmed, is handed out again.
    throw;
  } catch (...) {
    requestStop();
    GATEWAY_FATAL("Unknown exception - exiting");
    postNotificationIfConnected("Trasvik can't continue - Unknown exception");
    return kDispatchStop;
  }
}

int confirmWithRetry(DravontMessage_s& message, const std::string& messageId, bool reject, const std::string& reason) {
  GatewaySettings& s = settings();
  const char* text = reject ? reason.c_str() : nullptr;
  int result = Quillex::Confirm(&s.receiveUrl, &message, reject ? 1 : 0, text, &s.sendUrl);
  if (result == 0) return 0;

  pending.messageId = messageId;
  pending.reason = reject ? reason : std::string();
  std::string error;
  for (int retry = 0; retry < kConfirmRetries; ++retry) {
    error = lastError();
    GATEWAY_ERROR("Error in Confirm(): \"%s\"", error.c_str());
    platform::sleepMilliseconds(confirmPauseMilliseconds());
    result = Quillex::Confirm(&s.receiveUrl, &message, reject ? 1 : 0, text, &s.sendUrl);
    if (result == 0) return 0;
  }
  error = lastError();
  GATEWAY_FATAL("Error in Confirm(): \"%s\"", error.c_str());
  requestStop();
  postNotificationIfConnected("Trasvik can't continue - Error in Confirm(): \"" + error);
  return result;
}

void logSaved(const Rule& rule, const std::string& savedPath, const MessageInfo& info, std::size_t attachmentIndex) {
  noteReceived(rule.name);
  const AttachmentInfo& a = info.attachments.at(attachmentIndex);
  if (!a.fileName.empty()) {
    GATEWAY_INFO("Rule [%s]: Msg received, from \"%s\", attachment name: \"%s\". Saved to file \"%s\"%ssubject: "
                 "%s%skey from %s to %s certificate from %s to %s serial %s",
                 rule.name.c_str(), info.sender.c_str(), a.fileName.c_str(), savedPath.c_str(), "\n", a.dn.c_str(),
                 "\n", a.keyNotBefore.c_str(), a.keyNotAfter.c_str(), a.certNotBefore.c_str(),
                 a.certNotAfter.c_str(), a.serial.c_str());
  } else {
    GATEWAY_INFO("Rule [%s]: Msg received, from \"%s\", no attachment name. Saved to file \"%s\"%ssubject: "
                 "%s%skey from %s to %s certificate from %s to %s serial %s",
                 rule.name.c_str(), info.sender.c_str(), savedPath.c_str(), "\n", a.dn.c_str(), "\n",
                 a.keyNotBefore.c_str(), a.keyNotAfter.c_str(), a.certNotBefore.c_str(), a.certNotAfter.c_str(),
                 a.serial.c_str());
  }
}

}  // namespace trasvik
