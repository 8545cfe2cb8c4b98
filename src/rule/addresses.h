// The addresses of a rule: records parsed from the configuration, and the
// library handles made from them.
#pragma once

#include <string>

#include "dravont/dravontdll.h"

namespace trasvik {

class Rule;

// One configured address, split into ticker and service.
struct AddressRecord {
  std::string ticker;
  std::string service;
  std::string third;   // empty for configured addresses
  std::string fourth;  // empty for configured addresses
};

// Parses `text` ("EMAIL@ticker.service") and puts a record at the front of
// the rule's addresses and another at the front of its folders. False when
// the text is no address. A failing script throws ScriptError.
bool addAddress(Rule& rule, const std::string& text);

// The library's address or folder handle for a record; the library's
// result code.
int makeAddressHandle(const AddressRecord& record, Quillex::DravontAddress_s& handle, const char* extra);
int makeFolderHandle(const AddressRecord& record, Quillex::EDIFolder_s& handle);

}  // namespace trasvik
