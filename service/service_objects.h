// The objects a context keeps under handles: addresses, folders, URLs,
// streams and messages. Plain values except streams, which are shared with
// their substreams. Not synchronised: the owning context serialises use.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <variant>

#include "message.h"
#include "stream.h"

namespace dravont_service {

struct AddressObject {
  std::string ticker;
  std::string service;
  std::string third;
  std::string fourth;
  // The evaluated options expression of the constructor (own properties as
  // texts), e.g. {"subject": "x"}.
  std::map<std::string, std::string> options;

  std::string text() const { return "EMAIL@" + ticker + "." + service; }
};

struct FolderObject {
  std::string ticker;
  std::string service;
  std::string folder;

  std::string text() const { return "EMAIL@" + ticker + "." + service; }
};

struct UrlObject {
  std::string url;
  std::map<std::string, std::string> parameters;  // the evaluated parameter object
  std::shared_ptr<Stream> readStream;   // what a transfer sends
  std::shared_ptr<Stream> writeStream;  // what a transfer receives into
};

struct MessageObject {
  Message message;
  // Of a collected message: the mailbox it was collected from, so that a
  // confirmation names the right copy. Empty for a message being written.
  std::string collectedFrom;
};

using ServiceObject =
    std::variant<AddressObject, FolderObject, UrlObject, std::shared_ptr<Stream>, std::shared_ptr<MessageObject>>;

enum class ObjectKind { kAddress, kFolder, kUrl, kStream, kMessage };

// The family names clients and scripts know: "DravontAddress", "EDIFolder",
// "DravontURL", "DravontStream", "DravontMessage".
const char* objectKindName(ObjectKind kind);

}  // namespace dravont_service
