// The MSG rule: ".msg" files that describe their own message, out and in.
// Sending reads each file's header for recipient, subject, core type and
// attachment name and posts its body as the one attachment; receiving
// writes every attachment as a ".msg" file whose header describes the
// message. Main cycle's thread only.
#pragma once

#include <ctime>
#include <optional>
#include <string>

#include "rule/received_names.h"
#include "rule/rule.h"

namespace trasvik {

struct MsgHeader;  // msgrule/msg_file.h
struct AttachmentInfo;

// The name a MSG rule saves an attachment from `sender` under, ".msg"
// included: as the rule's `firm` mode and compatibility bit 1 say, a dated
// name with the UTC date `today`. May throw ScriptError (firm 1).
std::string receivedMsgName(Rule& rule, const std::string& sender, const AttachmentInfo& attachment,
                            const std::tm& today, const NameTaken& taken);

class MsgRule : public Rule {
 public:
  // One send pass over the ".msg" files of `out` (see msg_send.cc). Throws
  // kMoveFailure when a file cannot be moved or deleted, std::runtime_error
  // when the service cannot make the body stream, ScriptError when it cannot
  // name it, ContextError when the session is lost.
  unsigned send(unsigned count) override;
  // Writes each attachment as a ".msg" file into `in` (see msg_receive.cc).
  int receive(Quillex::DravontMessage_s& message, const MessageInfo& info) override;

 private:
  enum class Outcome { kSent, kFailed, kUnopened, kEndPass };
  // Sends one file; kFailed when it must go to the error directory.
  Outcome sendFile(const std::string& fileName);
  // The recipient and the core type of a header, in the order a file is
  // checked; false after the error record when the file cannot be sent.
  bool checkHeader(const MsgHeader& header, const std::string& fileName, std::string& typeText, std::string& ticker,
                   std::string& service);
  // The move into the error directory of the file that failed last, held
  // until its stream is closed and the next file is about to be opened.
  void carryOutErrorMove();
  // Moves a sent file into `sent`, or deletes it when there is none.
  void disposeOfSent(const std::string& fileName);

  std::optional<std::string> pendingErrorMove_;
};

}  // namespace trasvik
