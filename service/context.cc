#include "context.h"

#include <chrono>

#include "service.h"

namespace dravont_service {

namespace {

std::optional<std::string> optionOf(const std::map<std::string, std::string>& table, const std::string& name) {
  const auto found = table.find(name);
  if (found == table.end()) return std::nullopt;
  return found->second;
}

std::string joined(const std::vector<std::string>& texts) {
  std::string out;
  for (const std::string& text : texts) out += (out.empty() ? "" : ",") + text;
  return out;
}

std::optional<std::string> streamProperty(Stream& stream, const std::string& name, std::string& error) {
  if (name == "length") {
    std::uint64_t length = 0;
    error = stream.length(length);
    return std::to_string(length);
  }
  if (name == "tell") return std::to_string(stream.tell());
  if (name == "fileName") return stream.fileName();
  if (name == "path") return stream.path();
  if (name == "mode") return stream.mode();
  return std::nullopt;
}

std::optional<std::string> messageProperty(const MessageObject& object, const std::string& name) {
  const Message& message = object.message;
  if (name == "messageId") return message.id;
  if (name == "subject") return message.subject;
  if (name == "text") return message.text;
  if (name == "sender") return message.sender;
  if (name == "recipient") return joined(message.recipients);
  if (name == "folder") return message.folder;
  if (name == "date") return std::to_string(message.dateMicros / 1000000);
  std::string ticker;
  std::string service;
  splitAddress(message.sender, ticker, service);
  if (name == "senderTicker") return ticker;
  if (name == "senderService") return service;
  return std::nullopt;
}

}  // namespace

bool splitAddress(const std::string& address, std::string& ticker, std::string& service) {
  constexpr std::string_view kPrefix = "EMAIL@";
  if (address.size() <= kPrefix.size() || address.compare(0, kPrefix.size(), kPrefix) != 0) return false;
  const std::size_t dot = address.find('.', kPrefix.size());
  if (dot == std::string::npos || dot == kPrefix.size() || dot + 1 == address.size()) return false;
  ticker = address.substr(kPrefix.size(), dot - kPrefix.size());
  service = address.substr(dot + 1);
  return true;
}

Message newOutgoingMessage(const Context& context) {
  Message message;
  message.sender = context.ownAddress();
  message.dateMicros = std::chrono::duration_cast<std::chrono::microseconds>(
                           std::chrono::system_clock::now().time_since_epoch())
                           .count();
  return message;
}

Context::Context(Service& service, int number, ParticipantSettings settings, const ScriptLimits& scriptLimits)
    : service_(service), number_(number), settings_(std::move(settings)), scripts_(*this, scriptLimits) {}

Context::~Context() = default;

std::string Context::property(ObjectKind kind, Handle handle, const std::string& name,
                              std::optional<std::string>& value) {
  value.reset();
  std::string error;
  switch (kind) {
    case ObjectKind::kAddress:
      if (AddressObject* address = objects_.address(handle, error)) {
        if (name == "ticker") value = address->ticker;
        else if (name == "service") value = address->service;
        else if (name == "address") value = address->text();
        else value = optionOf(address->options, name);
      }
      break;
    case ObjectKind::kFolder:
      if (FolderObject* folder = objects_.folder(handle, error)) {
        if (name == "folder") value = folder->folder;
        else if (name == "ticker") value = folder->ticker;
        else if (name == "service") value = folder->service;
        else if (name == "address") value = folder->text();
      }
      break;
    case ObjectKind::kUrl:
      if (UrlObject* url = objects_.url(handle, error)) value = name == "url" ? url->url : optionOf(url->parameters, name);
      break;
    case ObjectKind::kStream:
      if (std::shared_ptr<Stream> stream = objects_.stream(handle, error)) value = streamProperty(*stream, name, error);
      break;
    case ObjectKind::kMessage:
      if (std::shared_ptr<MessageObject> message = objects_.message(handle, error)) value = messageProperty(*message, name);
      break;
  }
  return error;
}

bool Context::hasObject(ObjectKind kind, Handle handle) {
  ObjectKind found;
  return objects_.kindOf(handle, found) && found == kind;
}

std::string Context::objectProperty(ObjectKind kind, Handle handle, const std::string& name,
                                    std::optional<std::string>& value) {
  return property(kind, handle, name, value);
}

std::string Context::setObjectProperty(ObjectKind kind, Handle handle, const std::string& name,
                                       const std::string& value) {
  std::string error;
  if (kind == ObjectKind::kStream && name == "fileName") {
    if (std::shared_ptr<Stream> stream = objects_.stream(handle, error)) stream->setFileName(value);
    return error;
  }
  if (kind == ObjectKind::kMessage && (name == "subject" || name == "text")) {
    if (std::shared_ptr<MessageObject> message = objects_.message(handle, error)) {
      (name == "subject" ? message->message.subject : message->message.text) = value;
    }
    return error;
  }
  return std::string("The property \"") + name + "\" of " + objectKindName(kind) + " can't be set";
}

std::string Context::addRecipient(Handle handle, const std::string& address) {
  std::string error;
  std::shared_ptr<MessageObject> message = objects_.message(handle, error);
  if (!message) return error;
  std::string ticker;
  std::string service;
  if (!splitAddress(address, ticker, service)) return "Not an address: \"" + address + "\"";
  if (!service_.addressBook().isKnownAddress(address)) return "Unknown address " + address;
  message->message.folder.clear();
  message->message.recipients.push_back(address);
  return "";
}

std::string Context::createUrl(const std::string& url, const std::map<std::string, std::string>& parameters,
                               Handle& handle) {
  UrlObject object;
  object.url = url;
  object.parameters = parameters;
  handle = objects_.add(std::move(object));
  return "";
}

std::string Context::createMessage(const std::string& subject, Handle& handle) {
  auto object = std::make_shared<MessageObject>();
  object->message = newOutgoingMessage(*this);
  object->message.subject = subject;
  handle = objects_.add(std::move(object));
  return "";
}

std::optional<std::string> Context::readParam(const std::string& key) { return service_.params().read(key); }

std::string Context::saveParam(const std::string& key, const std::string& value) {
  return service_.params().save(key, value);
}

std::string Context::addMixin(const std::string& name, const std::string& script) {
  for (auto& mixin : mixins_) {
    if (mixin.first == name) {
      // Replacing a fragment: start from a heap without the old one.
      std::string previous = std::move(mixin.second);
      mixin.second = script;
      scripts_.reset();
      ScriptOutcome outcome = scripts_.evaluate("");
      if (!outcome.ok) {
        mixin.second = std::move(previous);
        scripts_.reset();
        return outcome.error;
      }
      return "";
    }
  }
  ScriptOutcome outcome = scripts_.evaluate(script);
  if (!outcome.ok) return outcome.error;
  mixins_.emplace_back(name, script);
  return "";
}

std::string Context::removeMixin(const std::string& name) {
  for (auto it = mixins_.begin(); it != mixins_.end(); ++it) {
    if (it->first == name) {
      mixins_.erase(it);
      scripts_.reset();  // its definitions go with the heap
      return "";
    }
  }
  return "No mixin \"" + name + "\"";
}

}  // namespace dravont_service
