#include "rule/post_token.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <random>

#include "platform/thread.h"
#include "trasvik/gateway_log.h"
#include "trasvik/library_text.h"
#include "trasvik/session.h"
#include "trasvik/state_file.h"
#include "trasvik/text_format.h"

namespace trasvik {

namespace {

// splitmix64: spreads the bits of a seed over the whole word.
std::uint64_t mixed(std::uint64_t value) {
  value += 0x9E3779B97F4A7C15ull;
  value = (value ^ (value >> 30)) * 0xBF58476D1CE4E5B9ull;
  value = (value ^ (value >> 27)) * 0x94D049BB133111EBull;
  return value ^ (value >> 31);
}

}  // namespace

std::string newPostToken() {
  // The system's random source, mixed with the time, the process and a
  // count: two tokens never meet even where that source is weak.
  static std::random_device device;
  static std::uint64_t count = 0;
  const auto time = static_cast<std::uint64_t>(std::chrono::system_clock::now().time_since_epoch().count());
  const std::uint64_t own = mixed(time ^ (static_cast<std::uint64_t>(platform::currentProcessId()) << 32) ^ ++count);
  std::string token;
  for (int half = 0; half < 2; ++half) {
    const std::uint64_t random = (static_cast<std::uint64_t>(device()) << 32) | device();
    const std::uint64_t bits = random ^ mixed(own + static_cast<std::uint64_t>(half));
    token += formatText("%08x%08x", static_cast<unsigned>(bits >> 32), static_cast<unsigned>(bits));
  }
  return token;
}

std::string readPostToken(Quillex::DravontMessage_s& message) {
  LibraryText token;
  if (Quillex::GetDravontMessageCustomHeader(&message, kPostTokenHeader, token.out()) != 0) {
    const std::string error = lastError();  // a lost session throws
    GATEWAY_WARNING("Can't read the post token of a message, %s; it is saved as one without", error.c_str());
    return {};
  }
  return token.text() != nullptr ? token.c_str() : "";
}

namespace {

// How many of the message's attachments are among `names`, a repeated name
// counting as often as it is there.
std::size_t attachmentsAmong(const MessageInfo& info, std::vector<std::string> names) {
  std::size_t found = 0;
  for (const AttachmentInfo& attachment : info.attachments) {
    const auto name = std::find(names.begin(), names.end(), attachment.fileName);
    if (name == names.end()) continue;
    names.erase(name);
    ++found;
  }
  return found;
}

}  // namespace

bool isSecondCopy(const MessageInfo& info) {
  if (info.postToken.empty()) return false;
  const SavedMessage* earlier = stateFile().savedMessage(info.postToken);
  if (earlier == nullptr || earlier->messageId == info.messageId) return false;
  // A sender posts again what a crash interrupted, or less of it when files
  // vanished meanwhile: a message with files the earlier ones did not have
  // is saved in full, since dropping it could lose them. Messages saved by
  // earlier versions have no names on record and count as the same.
  if (earlier->attachmentNames) {
    const std::size_t repeated = attachmentsAmong(info, *earlier->attachmentNames);
    if (repeated == 0 && !info.attachments.empty()) {
      GATEWAY_INFO("Msg \"%s\" has the post token of msg \"%s\" but none of its files; it is saved",
                   info.messageId.c_str(), earlier->messageId.c_str());
      return false;
    }
    if (repeated < info.attachments.size()) {
      GATEWAY_WARNING("Msg \"%s\" repeats %zu of its %zu files from msg \"%s\" (the same post token); it is saved "
                      "in full, and those files may be there twice",
                      info.messageId.c_str(), repeated, info.attachments.size(), earlier->messageId.c_str());
      return false;
    }
  }
  std::string files;
  for (const std::string& name : earlier->record.names) {
    files += (files.empty() ? "\"" : ", \"") + earlier->record.directory + name + "\"";
  }
  GATEWAY_INFO("Msg \"%s\" is a duplicate of an earlier message, not saved again: msg \"%s\", saved as %s",
               info.messageId.c_str(), earlier->messageId.c_str(), files.empty() ? "nothing" : files.c_str());
  return true;
}

}  // namespace trasvik
