// What the receive cycle reads from an incoming message before it offers
// the message to the rules.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace trasvik {

struct AttachmentInfo {
  std::string fileName;  // empty when the message gives none
  unsigned size = 0;     // bytes a save must reach
  // Signature attributes; with several signatures the values of all of
  // them in order, joined by "\r\n"; empty for an unsigned attachment.
  std::string dn;
  std::string keyNotBefore;
  std::string keyNotAfter;
  std::string certNotBefore;
  std::string certNotAfter;
  std::string serial;
};

struct MessageInfo {
  std::string subject;
  std::string sender;  // EMAIL@ticker.service
  long long date = 0;  // seconds since the epoch; 0 when unavailable
  std::uint16_t coretype = 0;
  std::vector<AttachmentInfo> attachments;  // attachment n is attachments[n - 1]
  std::string messageId;
  std::string postToken;  // the sender's post token (post_token.h), "" for none
  std::string failure;  // why reading failed
};

}  // namespace trasvik
