#include "rule/addresses.h"

#include "rule/rule.h"
#include "trasvik/script_bridge.h"
#include "trasvik/session.h"

namespace trasvik {

bool addAddress(Rule& rule, const std::string& text) {
  AddressRecord record;
  if (!parseAddress(text, record.ticker, record.service)) return false;
  rule.folders.push_front(record);
  rule.addresses.push_front(std::move(record));
  return true;
}

int makeAddressHandle(const AddressRecord& record, Quillex::DravontAddress_s& handle, const char* extra) {
  return Quillex::InitDravontAddress(&handle, serviceContext(), record.ticker.c_str(), record.service.c_str(),
                                     record.third.c_str(), record.fourth.c_str(), extra);
}

int makeFolderHandle(const AddressRecord& record, Quillex::EDIFolder_s& handle) {
  return Quillex::InitEDIFolder(&handle, serviceContext(), record.ticker.c_str(), record.service.c_str(), "", "", "");
}

}  // namespace trasvik
