// Methods of the message family: building messages, headers, the date,
// attachments with their signatures, and messages as bytes.
#include "message_codec.h"
#include "platform/clock.h"
#include "rpc_method.h"

namespace dravont_service {

using Quillex::XmlRpcValue;

namespace {

constexpr int kHighestProtectionLevel = 6;

Handle addMessage(Call& call, Message message, std::string collectedFrom = "") {
  auto object = std::make_shared<MessageObject>();
  object->message = std::move(message);
  object->collectedFrom = std::move(collectedFrom);
  return call.ctx().objects().add(std::move(object));
}

XmlRpcValue messageToAddress(Call& call) {
  const AddressObject& address = addressAt(call, 1);
  Message message = newOutgoingMessage(call.ctx());
  message.recipients.push_back(address.text());
  // The subject travels with the address, so the receiving side can filter on it.
  if (const auto subject = address.options.find("subject"); subject != address.options.end()) {
    message.subject = subject->second;
  }
  message.text = call.textAt(2);
  return answer(wireInt(addMessage(call, std::move(message))), "");
}

XmlRpcValue messageToFolder(Call& call) {
  const FolderObject& folder = folderAt(call, 1);
  Message message = newOutgoingMessage(call.ctx());
  message.folder = folder.folder;
  message.text = call.textAt(2);
  return answer(wireInt(addMessage(call, std::move(message))), "");
}

XmlRpcValue messageFromStream(Call& call) {
  std::string bytes;
  check(streamAt(call, 1)->snapshot(bytes));
  std::string error;
  std::optional<Message> message = decodeMessage(bytes, error);
  if (!message) throw ServiceError{"The stream does not hold a message: " + error};
  return answer(wireInt(addMessage(call, std::move(*message))), "");
}

XmlRpcValue getHeader(Call& call) {
  const Message& message = messageAt(call, 1)->message;
  for (const auto& [name, value] : message.headers) {
    if (name == call.textAt(2)) return answer(value, "");
  }
  return answer("", "");  // an absent header reads as empty
}

XmlRpcValue setHeader(Call& call) {
  Message& message = messageAt(call, 1)->message;
  const std::string& name = call.textAt(2);
  if (name.empty()) throw ServiceError{"A custom header needs a name"};
  for (auto& header : message.headers) {
    if (header.first == name) {
      header.second = call.textAt(3);
      return answer("");
    }
  }
  message.headers.emplace_back(name, call.textAt(3));
  return answer("");
}

XmlRpcValue removeHeader(Call& call) {
  auto& headers = messageAt(call, 1)->message.headers;
  const std::size_t before = headers.size();
  std::erase_if(headers, [&](const auto& header) { return header.first == call.textAt(2); });
  return answer(wireInt(before - headers.size()), "");
}

XmlRpcValue getDate(Call& call) {
  const Message& message = messageAt(call, 1)->message;
  // The client reads the calendar record as its local time.
  return answer(XmlRpcValue(platform::localTimeOf(static_cast<std::time_t>(message.dateMicros / 1000000))), "");
}

XmlRpcValue attach(Call& call, const std::shared_ptr<Stream>& data, const std::shared_ptr<Stream>& signature,
                   int level) {
  if (level < 0 || level > kHighestProtectionLevel) {
    throw ServiceError{"Unknown protection level " + std::to_string(level) + " (0 to 6)"};
  }
  std::shared_ptr<MessageObject> object = messageAt(call, 1);
  Attachment attachment;
  attachment.fileName = data->fileName();
  attachment.protectionLevel = level;
  std::string bytes;
  check(data->snapshot(bytes));
  attachment.bytes = std::make_shared<const std::string>(std::move(bytes));
  if (signature) {
    std::string signatureBytes;
    check(signature->snapshot(signatureBytes));
    attachment.signatureBytes = std::make_shared<const std::string>(std::move(signatureBytes));
  }
  if (level != 0) attachment.signatures.push_back(call.ctx().settings().signature);
  object->message.attachments.push_back(std::move(attachment));
  return XmlRpcValue("");
}

XmlRpcValue attachStream(Call& call) { return attach(call, streamAt(call, 2), nullptr, call.intAt(3)); }

XmlRpcValue attachSignedStream(Call& call) {
  return attach(call, streamAt(call, 2), streamAt(call, 3), call.intAt(4));
}

const Attachment& attachmentAt(Call& call, const Message& message, std::size_t index) {
  const int number = call.intAt(index);
  if (number < 1 || static_cast<std::size_t>(number) > message.attachments.size()) {
    throw ServiceError{"The message has no attachment " + std::to_string(number) + " (attachments are numbered 1 to " +
                       std::to_string(message.attachments.size()) + ")"};
  }
  return message.attachments[static_cast<std::size_t>(number) - 1];
}

XmlRpcValue attachmentCount(Call& call) {
  return answer(wireInt(messageAt(call, 1)->message.attachments.size()), "");
}

XmlRpcValue attachmentFileName(Call& call) {
  std::shared_ptr<MessageObject> object = messageAt(call, 1);
  return answer(attachmentAt(call, object->message, 2).fileName, "");
}

XmlRpcValue attachmentSize(Call& call) {
  std::shared_ptr<MessageObject> object = messageAt(call, 1);
  return answer(wireInt(attachmentAt(call, object->message, 2).bytes->size()), "");
}

XmlRpcValue writeBytes(Call& call, const std::string& bytes, std::size_t streamIndex = 3) {
  std::size_t written = 0;
  const std::string error = streamAt(call, streamIndex)->write(bytes, written);
  return answer(wireInt(written), error);
}

XmlRpcValue saveAttachment(Call& call) {
  std::shared_ptr<MessageObject> object = messageAt(call, 1);
  return writeBytes(call, *attachmentAt(call, object->message, 2).bytes);
}

// The supplied detached signature, or the signer data as text lines.
XmlRpcValue saveAttachmentSignature(Call& call) {
  std::shared_ptr<MessageObject> object = messageAt(call, 1);
  const Attachment& attachment = attachmentAt(call, object->message, 2);
  if (!attachment.signatureBytes->empty()) return writeBytes(call, *attachment.signatureBytes);
  if (attachment.signatures.empty()) throw ServiceError{"The attachment is not signed"};
  std::string text;
  for (const SignatureAttributes& signature : attachment.signatures) {
    for (const char* name : kSignatureAttributeNames) {
      const auto found = signature.find(name);
      text += std::string(name) + ": " + (found == signature.end() ? "" : found->second) + "\r\n";
    }
  }
  return writeBytes(call, text);
}

XmlRpcValue signatureCount(Call& call) {
  std::shared_ptr<MessageObject> object = messageAt(call, 1);
  return answer(wireInt(attachmentAt(call, object->message, 2).signatures.size()), "");
}

XmlRpcValue signatureAttribute(Call& call) {
  std::shared_ptr<MessageObject> object = messageAt(call, 1);
  const Attachment& attachment = attachmentAt(call, object->message, 2);
  const int number = call.intAt(3);
  if (number < 0 || static_cast<std::size_t>(number) >= attachment.signatures.size()) {
    throw ServiceError{"The attachment has no signature " + std::to_string(number) + " (it has " +
                       std::to_string(attachment.signatures.size()) + ", numbered from 0)"};
  }
  const SignatureAttributes& signature = attachment.signatures[static_cast<std::size_t>(number)];
  const auto found = signature.find(call.textAt(4));
  if (found == signature.end()) throw ServiceError{"Unknown signature attribute \"" + call.textAt(4) + "\""};
  return answer(found->second, "");
}

XmlRpcValue messageToStream(Call& call) {
  return writeBytes(call, encodeMessage(messageAt(call, 1)->message), 2);
}

XmlRpcValue messageSender(Call& call) {
  const Message& message = messageAt(call, 1)->message;
  AddressObject sender;
  if (!splitAddress(message.sender, sender.ticker, sender.service)) {
    throw ServiceError{"The message has no sender address"};
  }
  return answer(wireInt(call.ctx().objects().add(std::move(sender))), "");
}

}  // namespace

std::vector<MethodSpec> messageMethods() {
  return {
      {"DravontMessageCtor", "iis", "iE", messageToAddress},
      {"DravontMessage2FolderCtor", "iis", "iE", messageToFolder},
      {"DravontMessageFromStreamCtor", "iis", "iE", messageFromStream},
      {"GetDravontMessageCustomHeader", "iis", "sE", getHeader},
      {"SetDravontMessageCustomHeader", "iiss", "E", setHeader},
      {"RemoveDravontMessageCustomHeader", "iis", "iE", removeHeader},
      {"GetDravontMessageDate", "ii", "dE", getDate},
      {"DravontAttachStreamToMessage", "iiii", "T", attachStream},
      {"DravontAttachSignedStreamToMessage", "iiiii", "T", attachSignedStream},
      {"GetNumOfDravontMessageAttachments", "ii", "iE", attachmentCount},
      {"GetDravontMessageAttachmentFilename", "iii", "sE", attachmentFileName},
      {"GetDravontMessageAttachmentSize", "iii", "iE", attachmentSize},
      {"SaveDravontMessageAttachment", "iiii", "iE", saveAttachment},
      {"SaveDravontMessageAttachmentSignature", "iiii", "iE", saveAttachmentSignature},
      {"GetNumOfDravontMessageAttachmentSignatures", "iii", "iE", signatureCount},
      {"GetDravontMessageAttachmentSignatureAttr", "iiiis", "sE", signatureAttribute},
      {"DravontMessageToStream", "iii", "iE", messageToStream},
      {"GetDravontMessageSender", "ii", "iE", messageSender},
  };
}

}  // namespace dravont_service
