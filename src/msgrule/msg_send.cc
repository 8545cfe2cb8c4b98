// Sending ".msg" files: each file's header names its recipient, subject,
// core type and attachment name; its body becomes the single attachment of
// one message posted through the send URL. The rule's own addresses are not
// used.
#include <stdexcept>

#include "msgrule/msg_reader.h"
#include "msgrule/msg_rule.h"
#include "rule/delivered_file.h"
#include "rule/directories.h"
#include "rule/directory_scan.h"
#include "rule/file_moves.h"
#include "rule/held_files.h"
#include "rule/outgoing_patterns.h"
#include "rule/outgoing_stream.h"
#include "rule/recorded_post.h"
#include "rule/skip_reports.h"
#include "rule/rule_text.h"
#include "trasvik/gateway_log.h"
#include "trasvik/library_text.h"
#include "trasvik/notification.h"
#include "trasvik/script_bridge.h"
#include "trasvik/script_texts.h"
#include "trasvik/session.h"
#include "trasvik/settings.h"
#include "trasvik/text_format.h"

namespace trasvik {

namespace {

constexpr int kDetachedSigned = 5;
constexpr int kDetachedSignedEncrypted = 6;

// The service objects of one outgoing file, freed together.
struct OutgoingObjects {
  ~OutgoingObjects() { release(); }

  void release() {
    if (bodyMade) Quillex::FreeDravontStream(&body);
    if (messageMade) Quillex::FreeDravontMessage(&message);
    if (addressMade) Quillex::FreeDravontAddress(&address);
    if (streamMade) Quillex::FreeDravontStream(&stream);
    bodyMade = messageMade = addressMade = streamMade = false;
  }

  Quillex::DravontStream_s stream{};
  Quillex::DravontAddress_s address{};
  Quillex::DravontMessage_s message{};
  Quillex::DravontStream_s body{};
  bool streamMade = false;
  bool addressMade = false;
  bool messageMade = false;
  bool bodyMade = false;
};

// Names the body stream: the name its attachment gets.
void nameBody(Quillex::DravontStream_s& body, const std::string& name) {
  LibraryText result;
  const auto handle = static_cast<unsigned>(Quillex::GetDravontStreamHandle(&body));
  if (!runScript(formatText(scripts::kSetStreamFileName, handle, escapeScriptText(name).c_str()), result)) {
    throw ScriptError(lastError());
  }
}

}  // namespace

unsigned MsgRule::send(unsigned count) {
  if (out.empty()) return count;
  if (protectionLevel == kDetachedSigned || protectionLevel == kDetachedSignedEncrypted) {
    GATEWAY_ERROR("Can't post messages in .msg format with detached signature");
    return count;
  }
  // Later rules of this pass count from 0 again.
  if (settings().adminMailOnly) return 0;

  std::vector<FileEntry> files;
  scanDirectory(files, out + msgRulePattern(compatibilityFlag1), 0);
  if (files.empty() || !directoriesAcceptMoves(name, {out, sent, error})) return count;
  for (const FileEntry& file : files) {
    if (count >= settings().switchafter) break;
    carryOutErrorMove();
    const Outcome outcome = sendFile(file.name);
    if (outcome == Outcome::kEndPass) break;
    if (outcome == Outcome::kSent) ++count;
    if (outcome == Outcome::kFailed) pendingErrorMove_ = file.name;
  }
  carryOutErrorMove();
  return count;
}

// The steps of one file, in order; each failure records why and says what
// becomes of the file.
MsgRule::Outcome MsgRule::sendFile(const std::string& fileName) {
  const std::string path = out + fileName;
  if (postedBefore(name, path, SendLeg::kAddress)) {
    disposeOfSent(fileName);
    return Outcome::kSent;
  }
  OutgoingObjects objects;
  if (const std::string refusal = refusalToSend(path); !refusal.empty()) {
    reportUnopened(path, path, refusal);
    return Outcome::kUnopened;
  }
  // "E": not while another program still writes it, as for the FILE rule.
  if (Quillex::InitDravontStreamFromFile(&objects.stream, serviceContext(), path.c_str(), "rbE", "") != 0) {
    reportUnopened(path, path, lastError());
    return Outcome::kUnopened;  // stays, and is tried again in the next pass
  }
  clearReport(path);
  objects.streamMade = true;

  const std::optional<MsgHeader> read = readMsgHeader(objects.stream, compatibilityFlag0, identityOf(path).size);
  if (!read) {
    reportUnopened(path, path, "its header could not be read whole");
    return Outcome::kUnopened;  // stays, and is tried again in the next pass
  }
  const MsgHeader& header = *read;
  std::string typeText;
  std::string ticker;
  std::string service;
  if (!checkHeader(header, fileName, typeText, ticker, service)) return Outcome::kFailed;

  const std::string options = header.subject.empty() ? "" : "({subject:\"" + escapeScriptText(header.subject) + "\"})";
  if (Quillex::InitDravontAddress(&objects.address, serviceContext(), ticker.c_str(), service.c_str(), "", "",
                                  options.c_str()) != 0) {
    const std::string error = lastError();
    GATEWAY_ERROR("Can't init Dravont address, %s, address: \"%s\", file: \"%s\"", error.c_str(), header.to.c_str(),
                  fileName.c_str());
    return Outcome::kFailed;
  }
  objects.addressMade = true;
  if (Quillex::InitDravontMessage(&objects.message, serviceContext(), &objects.address, "") != 0) {
    const std::string error = lastError();
    GATEWAY_ERROR("Can't init Dravont message, %s", error.c_str());
    return Outcome::kEndPass;
  }
  objects.messageMade = true;

  const int substream = Quillex::GetDravontSubstream(&objects.stream, &objects.body,
                                                     static_cast<unsigned>(header.bodyStart), 0xFFFFFFFFu);
  objects.bodyMade = Quillex::GetDravontStreamHandle(&objects.body) != 0;
  if (substream != 0) throw std::runtime_error(lastError());
  // With bit 1 the body keeps no name; the record then shows "filename".
  std::string attachmentName = header.filename;
  if (!compatibilityFlag1) {
    if (attachmentName.empty()) attachmentName = fileName.substr(0, fileName.size() - 4);
    nameBody(objects.body, attachmentName);
  }

  if (Quillex::DravontAttachStreamToMessage(&objects.message, &objects.body,
                                            static_cast<Quillex::ProtectionLevel_t>(protectionLevel)) != 0) {
    const std::string error = lastError();
    GATEWAY_ERROR("Can't attach stream to message, file: \"%s\", %s", path.c_str(), error.c_str());
    postNotification("Can't attach stream to message, file name: \"" + path + "\", " + error);
    return Outcome::kFailed;
  }
  Quillex::SetDravontMessageCustomHeader(&objects.message, "coretype", typeText.c_str());
  RecordedPost post(name, {identityOf(path)}, SendLeg::kAddress);
  post.stamp(objects.message);
  LibraryText messageId;
  if (Quillex::PostMessageTo(&objects.message, &settings().sendUrl, messageId.out()) != 0) {
    post.failed();
    const std::string error = lastError();
    GATEWAY_ERROR("Can't post message: %s", error.c_str());
    postNotification("Can't post message: " + error);
    return Outcome::kFailed;
  }
  post.posted();

  if (attachmentName.empty()) {
    GATEWAY_INFO("Rule [%s]: File \"%s\" sent, to: \"%s\", no attachment name", name.c_str(), path.c_str(),
                 header.to.c_str());
  } else {
    GATEWAY_INFO("Rule [%s]: File \"%s\" sent, to: \"%s\", attachment name: \"%s\"", name.c_str(), path.c_str(),
                 header.to.c_str(), attachmentName.c_str());
  }
  objects.release();
  disposeOfSent(fileName);
  return Outcome::kSent;
}

void MsgRule::disposeOfSent(const std::string& fileName) {
  const std::string path = out + fileName;
  try {
    if (!deliveredFileVanished(name, path)) {
      if (sent.empty()) {
        deleteDeliveredFile(path, reportFatal);
      } else {
        moveFile(path, sent, fileName);
      }
    }
    forgetOutgoingFile(path);
  } catch (const FileHeld&) {
    // Its post stays on record: a later pass moves it on unsent.
  }
}

bool MsgRule::checkHeader(const MsgHeader& header, const std::string& fileName, std::string& typeText,
                          std::string& ticker, std::string& service) {
  if (header.to.empty()) {
    GATEWAY_ERROR("no to address in file \"%s\"", fileName.c_str());
    return false;
  }
  typeText = "1200";
  if (!header.type.empty()) {
    std::uint16_t type = 0;
    if (!parseHex16(header.type, type)) {
      GATEWAY_ERROR("Wrong type: %s in file \"%s\"", header.type.c_str(), fileName.c_str());
      return false;
    }
    typeText = formatText("%04X", type);
  }
  if (!parseAddress(header.to, ticker, service)) {
    GATEWAY_ERROR("wrong TO address \"%s\" in file \"%s\"", header.to.c_str(), fileName.c_str());
    return false;
  }
  return true;
}

void MsgRule::carryOutErrorMove() {
  if (!pendingErrorMove_) return;
  const std::string fileName = std::move(*pendingErrorMove_);
  pendingErrorMove_.reset();
  try {
    moveFile(out + fileName, error, fileName);
    forgetOutgoingFile(out + fileName);
  } catch (const FileHeld&) {
    // Tried again from the start in a later pass.
  }
}

}  // namespace trasvik
