// A rule: one INI section that says what to send from an outgoing directory
// and which incoming messages to save into an incoming directory. The kinds
// (FileRule, MsgRule, UaRule) share the settings and helpers here.
#pragma once

#include <cstdint>
#include <ctime>
#include <forward_list>
#include <memory>
#include <string>

#include "dravont/dravontdll.h"
#include "rule/addresses.h"
#include "rule/received_names.h"

namespace trasvik {

struct MessageInfo;  // trasvik/message_info.h

// What Rule::receive returns for a message whose files could not all be
// put in place because another program held one through the lock wait.
inline constexpr int kReceiveDeferred = 4;

class Rule {
 public:
  Rule() = default;
  virtual ~Rule() = default;
  Rule(const Rule&) = delete;
  Rule& operator=(const Rule&) = delete;

  // Reads the section. False when the rule cannot be used; the failure has
  // been logged and notified. May throw ContextError or ScriptError.
  virtual bool ini(const std::string& section, bool isMain);

  // One send pass over `out`. `count` is the number of items sent in this
  // pass by earlier rules; returns it increased by what this rule sent.
  virtual unsigned send(unsigned count) = 0;

  // Offered an incoming message that passed this rule's filters. 0: handled
  // (the gateway confirms it as accepted); 2: the gateway must stop (the
  // message stays unconfirmed); kReceiveDeferred: a file of it stayed held
  // by another program (the message stays unconfirmed for a later pass).
  virtual int receive(Quillex::DravontMessage_s& message, const MessageInfo& info) = 0;

  std::string name;
  bool isMain = false;
  bool compatibilityFlag1 = false;
  bool compatibilityFlag0 = false;
  int firm = 0;
  std::tm day{};  // UTC; the date dayCounter belongs to
  int dayCounter = 0;
  // The longest name a file received into `in` may have
  // (longestReceivedNameIn).
  std::size_t longestName = kLongestReceivedName;
  std::string in;   // incoming directory with a trailing separator, or empty
  std::string out;  // outgoing directory with a trailing separator, or empty
  std::string senderFilter;
  std::string addressText;
  std::forward_list<AddressRecord> addresses;  // newest first
  std::forward_list<AddressRecord> folders;    // newest first
  int protectionLevel = 0;
  std::string subject;
  std::uint16_t coretype = 0;
  std::string coretypeText = "1200";
  std::string sent;
  std::string error;
  int retryBudget = 0;

 private:
  // Sets longestName for `in` and its information files; false, after the
  // fatal record, when `in` is too deep to hold any received name.
  bool fitReceivedNames();
  bool readAddresses(const std::string& section);
  bool readAddressFile(const std::string& path);
  void readProtectionLevel(const std::string& section);
};

// Creates the rule of the kind the section's "type" names and initialises
// it; nullptr (after the record and notification) when that fails.
std::unique_ptr<Rule> createRule(const std::string& section, bool isMain);

// The kind the "type" of a rule section names in the open INI file:
// "FILE", "MSG" (also "RTS") or "UA" (also "BBS", and without a type); ""
// for any other.
std::string ruleKindOf(const std::string& section);

}  // namespace trasvik
