// Methods of delivery: posting, collecting, confirming, status queries, and
// the transfers of file:// URLs.
#include <cstdio>

#include "platform/file.h"
#include "rpc_method.h"
#include "stream_open.h"

namespace dravont_service {

using Quillex::XmlRpcValue;

namespace {

// Status codes of "GetMessageStatus" and "GetExactMessageStatus".
constexpr int kStatusInInbox = 1;
constexpr int kStatusAccepted = 2;
constexpr int kStatusRejected = 3;
constexpr int kStatusFiled = 4;

int statusCode(DeliveryState state) {
  switch (state) {
    case DeliveryState::kInbox: return kStatusInInbox;
    case DeliveryState::kAccepted: return kStatusAccepted;
    case DeliveryState::kRejected: return kStatusRejected;
    case DeliveryState::kFiled: return kStatusFiled;
  }
  return kStatusInInbox;
}

XmlRpcValue setStream(Call& call, bool forReading) {
  UrlObject& url = urlAt(call, 1);
  (forReading ? url.readStream : url.writeStream) = streamAt(call, 2);
  return XmlRpcValue("");
}

XmlRpcValue setWriteStream(Call& call) { return setStream(call, false); }
XmlRpcValue setReadStream(Call& call) { return setStream(call, true); }

// A file:// URL sends its read stream into the file, or else fills its write
// stream from the file. Other schemes have nowhere to go on this machine.
XmlRpcValue perform(Call& call) {
  UrlObject& url = urlAt(call, 1);
  constexpr std::string_view kFileScheme = "file://";
  if (!url.url.starts_with(kFileScheme)) {
    throw ServiceError{"Can't transfer \"" + url.url + "\": only file:// URLs can be performed"};
  }
  const std::string path = call.service.localPath(url.url.substr(kFileScheme.size()));
  std::string error;
  if (url.readStream) {
    std::string bytes;
    check(url.readStream->snapshot(bytes));
    std::shared_ptr<Stream> file = openFileStream(path, "wb", "", error);
    check(error);
    std::size_t written = 0;
    check(file->write(bytes, written));
    return XmlRpcValue("");
  }
  if (url.writeStream) {
    std::shared_ptr<Stream> file = openFileStream(path, "rb", "", error);
    check(error);
    std::string bytes;
    check(file->snapshot(bytes));
    std::size_t written = 0;
    check(url.writeStream->write(bytes, written));
    return XmlRpcValue("");
  }
  throw ServiceError{"Nothing to transfer: the URL has neither a read nor a write stream"};
}

XmlRpcValue postMessageTo(Call& call) {
  std::shared_ptr<MessageObject> object = messageAt(call, 1);
  urlAt(call, 2);
  Message message = object->message;
  message.sender = call.ctx().ownAddress();
  if (message.folder.empty() && message.recipients.empty()) throw ServiceError{"The message has no recipient"};
  for (const std::string& recipient : message.recipients) {
    if (!call.service.addressBook().isKnownAddress(recipient)) throw ServiceError{"Unknown address " + recipient};
  }
  check(call.service.store().post(message));
  object->message.id = message.id;
  object->message.dateMicros = message.dateMicros;
  return answer(message.id, "");
}

// Answer: [0] error, [1] n, [2..n+1] message handles, oldest first. The
// filter, when given, is a subject the messages must have.
XmlRpcValue collect(Call& call) {
  urlAt(call, 1);
  const int requested = call.intAt(2);
  const std::string mailbox = mailboxOf(call.ctx().ownAddress());
  std::vector<std::string> problems;
  std::vector<Message> messages = call.service.store().collect(
      mailbox, requested > 0 ? static_cast<std::size_t>(requested) : 0, call.textAt(3), problems);
  for (const std::string& problem : problems) {
    platform::writeStandardError("dravont-service: skipped an unreadable inbox message: " + problem + "\n");
  }
  XmlRpcValue result = answer("", wireInt(messages.size()));
  int index = 2;
  for (Message& message : messages) {
    auto object = std::make_shared<MessageObject>();
    object->message = std::move(message);
    object->collectedFrom = mailbox;
    result[index++] = wireInt(call.ctx().objects().add(std::move(object)));
  }
  return result;
}

XmlRpcValue confirmById(Call& call, const std::string& id, const std::string& mailbox, std::size_t statusIndex) {
  urlAt(call, 1);
  urlAt(call, 5);
  const int status = call.intAt(statusIndex);
  if (status != 0 && status != 1) {
    throw ServiceError{"Unknown confirmation status " + std::to_string(status) + " (0 accepts, 1 rejects)"};
  }
  if (id.empty() || mailbox.empty()) return answer(0, "");
  std::string error;
  const ConfirmOutcome outcome = call.service.store().confirm(mailbox, id, status == 0, call.textAt(4), error);
  if (outcome == ConfirmOutcome::kConfirmed && !error.empty()) {
    // The confirmed copy is written, which is what counts; the inbox copy
    // left behind is never handed out again.
    platform::writeStandardError("dravont-service: " + error + "\n");
  } else {
    check(error);
  }
  return answer(outcome == ConfirmOutcome::kUnknown ? 0 : 1, "");
}

XmlRpcValue confirm(Call& call) {
  std::shared_ptr<MessageObject> object = messageAt(call, 2);
  return confirmById(call, object->message.id, object->collectedFrom, 3);
}

XmlRpcValue confirmMessage(Call& call) {
  return confirmById(call, call.textAt(2), mailboxOf(call.ctx().ownAddress()), 3);
}

std::vector<CopyStatus> copiesOf(Call& call, const std::string& id) {
  std::vector<CopyStatus> copies = call.service.store().status(id);
  if (copies.empty()) throw ServiceError{"Unknown message id \"" + id + "\""};
  return copies;
}

// Over all copies: waiting while any copy waits, else rejected when any was
// rejected, else accepted, else filed.
XmlRpcValue messageStatus(Call& call) {
  int overall = kStatusFiled;
  bool accepted = false;
  bool rejected = false;
  for (const CopyStatus& copy : copiesOf(call, call.textAt(1))) {
    if (copy.state == DeliveryState::kInbox) return answer(kStatusInInbox, "");
    accepted = accepted || copy.state == DeliveryState::kAccepted;
    rejected = rejected || copy.state == DeliveryState::kRejected;
  }
  if (rejected) overall = kStatusRejected;
  else if (accepted) overall = kStatusAccepted;
  return answer(overall, "");
}

// The copy for one recipient: its status, and as the value the rejection
// reason or the state's name.
XmlRpcValue exactMessageStatus(Call& call) {
  const std::string& id = call.textAt(1);
  const AddressObject& address = addressAt(call, 2);
  const std::string mailbox = mailboxOf(address.text());
  for (const CopyStatus& copy : copiesOf(call, id)) {
    if (copy.state == DeliveryState::kFiled || copy.box != mailbox) continue;
    const std::string value = copy.state == DeliveryState::kRejected ? copy.reason : deliveryStateName(copy.state);
    return answer(statusCode(copy.state), value, "");
  }
  throw ServiceError{"Message \"" + id + "\" was not sent to " + address.text()};
}

}  // namespace

std::vector<MethodSpec> deliveryMethods() {
  return {
      {"DravontURLSetWriteStream", "iii", "T", setWriteStream},
      {"DravontURLSetReadStream", "iii", "T", setReadStream},
      {"DravontURLPerform", "ii", "T", perform},
      {"PostMessageTo", "iii", "sE", postMessageTo},
      {"DravontCollect", "iiis", "Ei", collect},
      {"Confirm", "iiiisi", "iE", confirm},
      {"ConfirmMessage", "iisisi", "iE", confirmMessage},
      {"GetMessageStatus", "is", "iE", messageStatus},
      {"GetExactMessageStatus", "isi", "isE", exactMessageStatus},
  };
}

}  // namespace dravont_service
