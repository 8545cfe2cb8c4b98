// The `list` and `send` subcommands: they work on the store directory
// directly, without a running service.
#include <cstdio>
#include <ctime>
#include <system_error>

#include "address_book.h"
#include "commands.h"
#include "context.h"
#include "message_codec.h"
#include "message_store.h"
#include "param_store.h"
#include "platform/clock.h"
#include "platform/file.h"
#include "platform/path.h"

namespace dravont_service {

namespace {

std::string quoted(const std::string& text) {
  std::string out = "\"";
  for (const char c : text) {
    if (c == '"' || c == '\\') out.push_back('\\');
    if (c == '\n') {
      out += "\\n";
    } else if (c == '\r') {
      out += "\\r";
    } else {
      out.push_back(c);
    }
  }
  return out + "\"";
}

std::string localDate(std::int64_t micros) {
  return platform::formatTime("%Y-%m-%d %H:%M:%S", platform::localTimeOf(static_cast<std::time_t>(micros / 1000000)));
}

void describeMessage(std::string& out, const Message& message) {
  out += "    " + message.id + "  " + localDate(message.dateMicros) + "  from " + message.sender;
  if (!message.folder.empty()) out += "  into folder " + quoted(message.folder);
  for (const std::string& recipient : message.recipients) out += "  to " + recipient;
  out += "\n      subject " + quoted(message.subject);
  for (const auto& [name, value] : message.headers) out += "  " + name + ": " + quoted(value);
  out += "\n";
  if (!message.text.empty()) out += "      text " + quoted(message.text) + "\n";
  for (const Attachment& attachment : message.attachments) {
    out += "      attachment " + quoted(attachment.fileName) + ", " + std::to_string(attachment.bytes->size()) +
           " bytes, protection level " + std::to_string(attachment.protectionLevel);
    for (const SignatureAttributes& signature : attachment.signatures) {
      const auto dn = signature.find("dn");
      out += ", signed by " + quoted(dn == signature.end() ? "" : dn->second);
    }
    out += "\n";
  }
  if (message.state == DeliveryState::kRejected) out += "      rejected: " + quoted(message.reason) + "\n";
}

void describeState(std::string& out, const StoreLayout& layout, DeliveryState state, const char* title) {
  const std::vector<std::string> boxes = listSubdirectories(layout.stateDirectory(state));
  for (const std::string& directory : boxes) {
    const std::string box = nameOfDirectory(directory);
    std::vector<std::string> files = listMessageFiles(layout.boxDirectory(state, box));
    // The copies of a post a crash interrupted count as the service will
    // count them when it opens the store.
    for (const std::string& pending : listPendingFiles(layout.boxDirectory(state, box))) {
      if (postTookPlace(layout, messageIdOfFileName(pending))) files.push_back(pending);
    }
    if (state == DeliveryState::kInbox) {
      // A confirmation a crash interrupted is complete: show its message once.
      std::erase_if(files, [&](const std::string& file) {
        return hasConfirmedCopy(layout, box, messageIdOfFileName(file));
      });
    }
    out += std::string(title) + " " + (state == DeliveryState::kFiled ? quoted(box) : box) + ": " +
           std::to_string(files.size()) + " message" + (files.size() == 1 ? "" : "s") + "\n";
    for (const std::string& file : files) {
      std::string bytes;
      std::string error;
      const std::string path = layout.boxDirectory(state, box) + "/" + file;
      if (int readError = platform::readWholeFile(path, bytes)) {
        out += "    " + file + ": unreadable: " + std::generic_category().message(readError) + "\n";
      } else if (std::optional<Message> message = decodeMessage(bytes, error)) {
        // A moved copy's header still says it is in the inbox; its directory
        // tells where it stands.
        message->state = state;
        if (state == DeliveryState::kRejected) message->reason = rejectionReason(layout, box, messageIdOfFileName(file));
        describeMessage(out, *message);
      } else {
        out += "    " + file + ": damaged: " + error + "\n";
      }
    }
  }
}

}  // namespace

std::string describeStore(const std::string& storeDirectory) {
  const StoreLayout layout(storeDirectory);
  std::string out = "Store " + storeDirectory + "\n";
  AddressBook book(layout);
  if (std::string error = book.open(); !error.empty()) out += "  " + error + "\n";
  out += "Participants:\n";
  for (const auto& [address, settings] : book.participants()) out += "  " + address + "  " + quoted(settings) + "\n";
  out += "Address book:\n";
  for (const auto& [address, value] : book.handKeptAddresses()) out += "  " + address + "\n";
  for (const auto& [address, folder] : book.folders()) out += "  " + address + "  folder " + quoted(folder) + "\n";
  describeState(out, layout, DeliveryState::kInbox, "Inbox");
  describeState(out, layout, DeliveryState::kAccepted, "Archive");
  describeState(out, layout, DeliveryState::kRejected, "Rejected");
  describeState(out, layout, DeliveryState::kFiled, "Folder");
  ParamStore params(layout);
  if (std::string error = params.load(); !error.empty()) out += "  " + error + "\n";
  out += "Parameters:\n";
  for (const auto& [key, value] : params.all()) out += "  " + quoted(key) + " = " + quoted(value) + "\n";
  return out;
}

std::string sendDirect(const std::string& storeDirectory, const SendRequest& request, std::string& id) {
  std::string ticker;
  std::string service;
  for (const std::string& address : request.to) {
    if (!splitAddress(address, ticker, service)) return "Not an address: \"" + address + "\" (EMAIL@ticker.service)";
  }
  if (!splitAddress(request.from, ticker, service)) return "Not an address: \"" + request.from + "\"";
  const StoreLayout layout(storeDirectory);
  if (int error = layout.create()) {
    return "Can't create the store \"" + storeDirectory + "\": " + std::generic_category().message(error);
  }
  Message message;
  message.sender = request.from;
  message.recipients = request.to;
  message.subject = request.subject;
  message.headers.emplace_back("coretype", request.coretype);
  for (const std::string& path : request.files) {
    std::string bytes;
    if (int error = platform::readWholeFile(path, bytes)) {
      return "Can't read \"" + path + "\": " + std::generic_category().message(error);
    }
    Attachment attachment;
    attachment.fileName = platform::baseName(path);
    attachment.bytes = std::make_shared<const std::string>(std::move(bytes));
    message.attachments.push_back(std::move(attachment));
  }
  MessageStore store(layout);
  if (std::string error = store.post(message); !error.empty()) return error;
  // A service running on the store learns of the message when it collects.
  for (const std::string& recipient : message.recipients) markArrival(layout, mailboxOf(recipient));
  id = message.id;
  return "";
}

}  // namespace dravont_service
