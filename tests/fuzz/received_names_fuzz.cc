// The names received attachments are saved under, for every rule kind, the
// `firm` modes 0 and 2 and compatibility bit 1 (mode 1 keeps its counter in
// the service; its names are the same dated names, made here with a fuzzed
// number): never empty, no '/', '\' or NUL, never "." or "..", and within
// 255 bytes together with their " (k)" twin and their companions; the same
// inputs give the same name.
#include <functional>

#include "file_rule.h"
#include "fuzz_support.h"
#include "msgrule/msg_rule.h"
#include "rule/attachment_files.h"
#include "rule/directories.h"
#include "rule/received_names.h"
#include "trasvik/message_info.h"
#include "ua_rule.h"

namespace {

using trasvik::NameTaken;

void requireValidName(const std::string& name) {
  fuzzing::require(!name.empty(), "a name is not empty");
  fuzzing::require(name.find_first_of(std::string("/\\\0", 3)) == std::string::npos, "a name has no '/', '\\', NUL");
  fuzzing::require(name != "." && name != "..", "a name is not . or ..");
  fuzzing::require(name.size() <= 255, "a name fits the file system");
  // The twin a clash gives it: uniqueName's largest number.
  fuzzing::require(trasvik::candidateName("", name, 99999).size() <= 255, "a name's twin fits the file system");
}

// A counter name ("04711", "04711.msg", "bbs04711") advances a process-wide
// counter: the next call gives the next name.
bool isCounterName(std::string name) {
  if (name.ends_with(".msg")) name.resize(name.size() - 4);
  if (name.starts_with("bbs")) name.erase(0, 3);
  return name.size() == 5 && name.find_first_not_of("0123456789") == std::string::npos;
}

std::tm dateOf(fuzzing::FieldReader& fields) {
  std::tm date{};
  date.tm_year = 100 + fields.byte() % 100;
  date.tm_mon = fields.byte() % 12;
  date.tm_mday = 1 + fields.byte() % 31;
  return date;
}

struct Case {
  int kind;
  int firm;
  bool shortNames;
  std::tm day;
  int dayCounter;
  std::tm today;
  std::string sender;
  trasvik::AttachmentInfo attachment;
};

// The saved name and its companions, from a fresh rule of the case's kind.
std::vector<std::string> namesOf(const Case& c, const NameTaken& taken) {
  trasvik::FileRule file;
  trasvik::MsgRule msg;
  trasvik::UaRule ua;
  trasvik::Rule* rules[] = {&file, &msg, &ua};
  trasvik::Rule& rule = *rules[c.kind];
  rule.firm = c.firm;
  rule.compatibilityFlag1 = c.shortNames;
  rule.day = c.day;
  rule.dayCounter = c.dayCounter;
  if (c.kind == 0) {
    const std::string name = trasvik::receivedFileName(rule, c.sender, c.attachment, c.today, taken);
    return {name, name + ".inf"};
  }
  if (c.kind == 1) {
    const std::string name = trasvik::receivedMsgName(rule, c.sender, c.attachment, c.today, taken);
    fuzzing::require(name.ends_with(".msg"), "a MSG rule's file ends in .msg");
    return {name, name.substr(0, name.size() - 4) + ".inf"};
  }
  const std::string base = trasvik::receivedEnvelopeBase(rule, c.sender, c.attachment, c.today, taken);
  return {base + ".001", base + ".env", base + ".inf"};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzzing::FieldReader fields(data, size);
  Case c;
  c.kind = fields.byte() % 3;
  const std::uint8_t mode = fields.byte();
  c.firm = (mode & 1) * 2;
  c.shortNames = (mode & 2) != 0;
  c.day = dateOf(fields);
  c.dayCounter = static_cast<int>(fields.number(2));
  c.today = dateOf(fields);
  const std::uint8_t salt = fields.byte();
  const auto number = static_cast<unsigned>(fields.number(4));
  c.sender = fields.text(400);
  c.attachment.fileName = fields.text(1000);

  // About a quarter of all names are in use, the same ones for every call.
  const NameTaken taken = [salt](const std::string& name) {
    return (std::hash<std::string>{}(name) + salt) % 4 == 0;
  };
  const std::vector<std::string> names = namesOf(c, taken);
  for (const std::string& name : names) requireValidName(name);
  if (!isCounterName(names.front().substr(0, names.front().size() - (c.kind == 2 ? 4 : 0)))) {
    fuzzing::require(namesOf(c, taken) == names, "the same inputs give the same name");
  }

  // The dated name of firm 1, with any number of its counter.
  const std::string safe = trasvik::safeAttachmentName(c.attachment.fileName);
  const std::string dated =
      trasvik::datedName(c.today, trasvik::tickerForName(c.sender), number, trasvik::nameExtension(safe));
  requireValidName(dated);
  requireValidName(dated + ".inf");
  fuzzing::require(dated.size() <= trasvik::kLongestReceivedName, "a dated name is no longer than an own name");
  return 0;
}
