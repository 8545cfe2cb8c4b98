// The message model shared by the objects of a context, the store and the
// message file format: what a message carries from its sender to its
// recipient. Plain values; attachment bytes are shared, immutable buffers, so
// copying a message is cheap. Not synchronised.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace dravont_service {

// The signer data stamped on an attachment sent at a signed level: the
// attributes "dn", "key_not_before", "key_not_after", "cert_not_before",
// "cert_not_after" and "serial".
using SignatureAttributes = std::map<std::string, std::string>;

inline const char* const kSignatureAttributeNames[] = {"dn",           "key_not_before",  "key_not_after",
                                                       "cert_not_before", "cert_not_after", "serial"};

struct Attachment {
  std::string fileName;
  int protectionLevel = 0;
  std::shared_ptr<const std::string> bytes = std::make_shared<const std::string>();
  // One entry per signature; empty for a cleartext attachment.
  std::vector<SignatureAttributes> signatures;
  // The detached signature the sender supplied, if any.
  std::shared_ptr<const std::string> signatureBytes = std::make_shared<const std::string>();
};

// Where a stored copy of a message stands.
enum class DeliveryState { kInbox, kAccepted, kRejected, kFiled };

struct Message {
  std::string id;                       // assigned when posted; empty before
  std::string sender;                   // "EMAIL@ticker.service"
  std::vector<std::string> recipients;  // address texts
  std::string folder;                   // folder name for a message into a folder archive
  std::string subject;
  std::string text;
  std::int64_t dateMicros = 0;  // creation, then posting time, microseconds since 1970 UTC
  std::vector<std::pair<std::string, std::string>> headers;  // custom headers in insertion order
  std::vector<Attachment> attachments;

  // Of a stored copy: its state and, when rejected, the reason.
  DeliveryState state = DeliveryState::kInbox;
  std::string reason;
};

// "inbox", "accepted", "rejected", "filed".
const char* deliveryStateName(DeliveryState state);

}  // namespace dravont_service
