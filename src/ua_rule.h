// The UA rule: ".env" envelopes and their ".001" data files, out and in.
// Sending reads each envelope of `out` for recipient, subject, core type and
// attachment name and posts its data file as the one attachment; receiving
// writes every attachment as a data file with an envelope that describes
// the message (see uarule/ua_receive.cc). Main cycle's thread only.
#pragma once

#include <ctime>
#include <map>
#include <memory>
#include <string>

#include "rule/library_object.h"
#include "rule/received_names.h"
#include "rule/rule.h"

namespace trasvik {

struct EnvelopeValues;  // uarule/envelope.h
struct AttachmentInfo;

// The base name a UA rule saves an attachment from `sender` under, as its
// `firm` mode and compatibility bit 1 say (a dated one with the UTC date
// `today`): the pair is base + ".001" and base + ".env". `taken` is asked
// with base + ".???". May throw ScriptError (firm 1).
std::string receivedEnvelopeBase(Rule& rule, const std::string& sender, const AttachmentInfo& attachment,
                                 const std::tm& today, const NameTaken& taken);

class UaRule : public Rule {
 public:
  // One send pass over the envelopes of `out`. Throws kMoveFailure when a
  // pair cannot be moved or deleted, ScriptError when the service cannot
  // name an attachment, ContextError when the session is lost.
  unsigned send(unsigned count) override;
  // Writes each attachment as a pair of files into `in`.
  int receive(Quillex::DravontMessage_s& message, const MessageInfo& info) override;

 private:
  enum class Outcome {
    kSent,     // posted: the pair goes to `sent` or is deleted
    kFailed,   // the pair goes to the error directory
    kLeft,     // stays for the next pass, or was moved already
    kEndPass,  // stays, and the pass ends
  };
  // The recipients' addresses made in one pass, by "to" value and subject:
  // envelopes to the same recipient share one, as a FILE rule's files do.
  using Recipients = std::map<std::pair<std::string, std::string>, std::unique_ptr<AddressObject>>;
  // Sends the envelope `envelopeName` of `out` with its data file. The
  // library objects but the recipient's address are freed when it returns,
  // before the pair is moved.
  Outcome sendEnvelope(const std::string& envelopeName, Recipients& recipients);
  // The address of the envelope's recipient, made once a pass; nullptr
  // after the error record when the "to" value is no address or the
  // service refuses it.
  Quillex::DravontAddress_s* recipientAddress(const EnvelopeValues& envelope, const std::string& envelopeName,
                                              Recipients& recipients) const;
  // The core type to send, four hexadecimal digits, or "" when the envelope
  // names none; false after the error record when its type is wrong.
  bool typeText(const EnvelopeValues& envelope, const std::string& envelopeName, std::string& text) const;
  // Names the data stream's attachment as the compatibility option and the
  // envelope say, and returns the name ("" for none).
  std::string nameAttachment(Quillex::DravontStream_s& data, const EnvelopeValues& envelope) const;
  // Moves the delivered pair into `sent`, or deletes it.
  void disposeOfSent(const std::string& envelopeName) const;
};

}  // namespace trasvik
