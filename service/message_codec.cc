#include "message_codec.h"

#include <charconv>
#include <vector>

#include "percent_text.h"

namespace dravont_service {

const char* deliveryStateName(DeliveryState state) {
  switch (state) {
    case DeliveryState::kInbox: return "inbox";
    case DeliveryState::kAccepted: return "accepted";
    case DeliveryState::kRejected: return "rejected";
    case DeliveryState::kFiled: return "filed";
  }
  return "inbox";
}

namespace {

constexpr std::string_view kMagicLine = "DRAVONT-MESSAGE 1\n";

void addLine(std::string& out, std::string_view key, std::string_view value) {
  out.append(key);
  out.push_back('=');
  out.append(value);
  out.push_back('\n');
}

std::vector<std::string_view> splitWords(std::string_view text) {
  std::vector<std::string_view> words;
  std::size_t start = 0;
  while (start <= text.size()) {
    const std::size_t end = std::min(text.find(' ', start), text.size());
    words.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return words;
}

template <typename Number>
bool parseNumber(std::string_view text, Number& value) {
  const auto [end, status] = std::from_chars(text.data(), text.data() + text.size(), value);
  return status == std::errc() && end == text.data() + text.size() && !text.empty();
}

bool parseState(std::string_view text, DeliveryState& state) {
  for (const DeliveryState candidate :
       {DeliveryState::kInbox, DeliveryState::kAccepted, DeliveryState::kRejected, DeliveryState::kFiled}) {
    if (text == deliveryStateName(candidate)) {
      state = candidate;
      return true;
    }
  }
  return false;
}

struct AttachmentSizes {
  std::size_t data = 0;
  std::size_t signature = 0;
};

// Reads the header lines into `message`; `sizes` gets the byte counts of the
// attachments and `bodyStart` the offset of their bytes.
bool decodeHeader(std::string_view bytes, Message& message, std::vector<AttachmentSizes>& sizes,
                  std::size_t& bodyStart, std::string& error) {
  if (!bytes.starts_with(kMagicLine)) {
    error = "not a message (no message header)";
    return false;
  }
  std::size_t position = kMagicLine.size();
  for (;;) {
    const std::size_t end = bytes.find('\n', position);
    if (end == std::string_view::npos) {
      error = "truncated message header";
      return false;
    }
    const std::string_view line = bytes.substr(position, end - position);
    position = end + 1;
    if (line.empty()) break;
    const std::size_t equals = line.find('=');
    if (equals == std::string_view::npos) {
      error = "malformed message header line";
      return false;
    }
    const std::string_view key = line.substr(0, equals);
    const std::string_view rawValue = line.substr(equals + 1);
    const std::vector<std::string_view> words = splitWords(rawValue);
    std::vector<std::string> fields;
    for (const std::string_view word : words) {
      std::optional<std::string> field = unescapeWord(word);
      if (!field) {
        error = "malformed escape in message header";
        return false;
      }
      fields.push_back(std::move(*field));
    }
    const std::string& value = fields.front();
    bool ok = true;
    if (key == "id") {
      message.id = value;
    } else if (key == "sender") {
      message.sender = value;
    } else if (key == "recipient") {
      message.recipients.push_back(value);
    } else if (key == "folder") {
      message.folder = value;
    } else if (key == "subject") {
      message.subject = value;
    } else if (key == "text") {
      message.text = value;
    } else if (key == "date") {
      ok = parseNumber(value, message.dateMicros);
    } else if (key == "state") {
      ok = parseState(value, message.state);
    } else if (key == "reason") {
      message.reason = value;
    } else if (key == "header") {
      ok = fields.size() == 2;
      if (ok) message.headers.emplace_back(fields[0], fields[1]);
    } else if (key == "attachment") {
      AttachmentSizes size;
      Attachment attachment;
      ok = fields.size() == 4 && parseNumber(fields[0], size.data) && parseNumber(fields[1], attachment.protectionLevel) &&
           parseNumber(fields[2], size.signature);
      if (ok) {
        attachment.fileName = fields[3];
        message.attachments.push_back(std::move(attachment));
        sizes.push_back(size);
      }
    } else if (key == "signature") {
      std::size_t attachmentIndex = 0;
      std::size_t signatureIndex = 0;
      ok = fields.size() == 4 && parseNumber(fields[0], attachmentIndex) && parseNumber(fields[1], signatureIndex) &&
           attachmentIndex < message.attachments.size();
      if (ok) {
        auto& signatures = message.attachments[attachmentIndex].signatures;
        ok = signatureIndex <= signatures.size();
        if (ok && signatureIndex == signatures.size()) signatures.emplace_back();
        if (ok) signatures[signatureIndex][fields[2]] = fields[3];
      }
    }
    // Unknown keys are skipped: a newer writer may add fields.
    if (!ok) {
      error = "malformed message header field \"" + std::string(key) + "\"";
      return false;
    }
  }
  bodyStart = position;
  return true;
}

}  // namespace

std::string encodeMessage(const Message& message) {
  std::string out(kMagicLine);
  addLine(out, "id", escapeWord(message.id));
  addLine(out, "sender", escapeWord(message.sender));
  for (const std::string& recipient : message.recipients) addLine(out, "recipient", escapeWord(recipient));
  if (!message.folder.empty()) addLine(out, "folder", escapeWord(message.folder));
  addLine(out, "subject", escapeWord(message.subject));
  if (!message.text.empty()) addLine(out, "text", escapeWord(message.text));
  addLine(out, "date", std::to_string(message.dateMicros));
  addLine(out, "state", deliveryStateName(message.state));
  if (!message.reason.empty()) addLine(out, "reason", escapeWord(message.reason));
  for (const auto& [name, value] : message.headers) addLine(out, "header", escapeWord(name) + " " + escapeWord(value));
  std::size_t payload = 0;
  for (std::size_t i = 0; i < message.attachments.size(); ++i) {
    const Attachment& attachment = message.attachments[i];
    addLine(out, "attachment",
            std::to_string(attachment.bytes->size()) + " " + std::to_string(attachment.protectionLevel) + " " +
                std::to_string(attachment.signatureBytes->size()) + " " + escapeWord(attachment.fileName));
    for (std::size_t s = 0; s < attachment.signatures.size(); ++s) {
      for (const auto& [name, value] : attachment.signatures[s]) {
        addLine(out, "signature",
                std::to_string(i) + " " + std::to_string(s) + " " + escapeWord(name) + " " + escapeWord(value));
      }
    }
    payload += attachment.bytes->size() + attachment.signatureBytes->size();
  }
  out.push_back('\n');
  out.reserve(out.size() + payload);
  for (const Attachment& attachment : message.attachments) {
    out.append(*attachment.bytes);
    out.append(*attachment.signatureBytes);
  }
  return out;
}

std::optional<Message> decodeMessageHeader(std::string_view bytes, std::string& error) {
  Message message;
  std::vector<AttachmentSizes> sizes;
  std::size_t bodyStart = 0;
  if (!decodeHeader(bytes, message, sizes, bodyStart, error)) return std::nullopt;
  return message;
}

std::optional<Message> decodeMessage(std::string_view bytes, std::string& error) {
  Message message;
  std::vector<AttachmentSizes> sizes;
  std::size_t position = 0;
  if (!decodeHeader(bytes, message, sizes, position, error)) return std::nullopt;
  for (std::size_t i = 0; i < sizes.size(); ++i) {
    const std::size_t left = bytes.size() - position;
    if (sizes[i].data > left || sizes[i].signature > left - sizes[i].data) {
      error = "truncated message body";
      return std::nullopt;
    }
    message.attachments[i].bytes = std::make_shared<const std::string>(bytes.substr(position, sizes[i].data));
    position += sizes[i].data;
    message.attachments[i].signatureBytes =
        std::make_shared<const std::string>(bytes.substr(position, sizes[i].signature));
    position += sizes[i].signature;
  }
  if (position != bytes.size()) {
    error = "trailing bytes after the message body";
    return std::nullopt;
  }
  return message;
}

}  // namespace dravont_service
