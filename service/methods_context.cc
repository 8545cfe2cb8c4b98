// Methods of the context family: the service version, opening and freeing
// contexts, the module report, the crypto configuration and the own address.
#include <optional>

#include "rpc_method.h"

namespace dravont_service {

using Quillex::XmlRpcValue;

namespace {

// The crypto configuration: selector 0 (signing) and 1 (encryption) each
// have one entry, the participant's certificate from its settings file.
constexpr int kCryptoSelectors = 2;

void checkCryptoEntry(Call& call, int selectorIndex, int entryIndex) {
  const int selector = call.intAt(selectorIndex);
  if (selector < 0 || selector >= kCryptoSelectors) {
    throw ServiceError{"Unknown crypto selector " + std::to_string(selector) + " (0 signing, 1 encryption)"};
  }
  if (entryIndex >= 0 && call.intAt(entryIndex) != 0) {
    throw ServiceError{"No crypto entry " + std::to_string(call.intAt(entryIndex)) + " for selector " +
                       std::to_string(selector) + " (there is one, 0)"};
  }
}

XmlRpcValue systemVersion(Call& call) { return answer(call.service.options().version); }

XmlRpcValue initContext(Call& call) {
  const OpenedContext opened = call.service.openContext(call.textAt(0));
  return answer(opened.number, opened.error, opened.status);
}

XmlRpcValue reportModules(Call& call) {
  // Of the report the service keeps only the client process, to free the
  // context once that process has ended.
  const int modules = call.intAt(5);
  if (modules < 0 || call.params.size() != 7 + 2 * static_cast<std::size_t>(modules)) {
    throw ServiceError{"The module report lists " + std::to_string(modules) + " modules but carries " +
                       std::to_string(call.params.size()) + " parameters"};
  }
  for (std::size_t i = 7; i < call.params.size(); ++i) {
    if (call.params[i].getType() != XmlRpcValue::TypeString) {
      throw ServiceError{"Module report parameter " + std::to_string(i + 1) + " is not a text"};
    }
  }
  call.service.watchClient(call.ctx().number(), call.textAt(1), call.intAt(6));
  return answer("");
}

XmlRpcValue freeContext(Call& call) {
  call.service.freeContext(call.ctx().number());
  return XmlRpcValue("");
}

XmlRpcValue getCryptoNum(Call& call) {
  checkCryptoEntry(call, 1, -1);
  return answer(1, "");
}

XmlRpcValue setCryptoDefault(Call& call) {
  checkCryptoEntry(call, 1, 2);
  return answer("");
}

XmlRpcValue getCryptoProperty(Call& call) {
  checkCryptoEntry(call, 1, 2);
  const std::string& name = call.textAt(3);
  const ParticipantSettings& settings = call.ctx().settings();
  if (name == "address") return answer(settings.address(), "");
  const auto found = settings.signature.find(name);
  if (found == settings.signature.end()) throw ServiceError{"Unknown crypto property \"" + name + "\""};
  return answer(found->second, "");
}

XmlRpcValue ownAddress(Call& call) {
  const ParticipantSettings& settings = call.ctx().settings();
  AddressObject address;
  address.ticker = settings.ticker;
  address.service = settings.service;
  return answer(wireInt(call.ctx().objects().add(std::move(address))), "");
}

}  // namespace

std::vector<MethodSpec> contextMethods() {
  return {
      {"system.version", "", "E", systemVersion, false},
      {"InitContext", "s", "iEi", initContext, false},
      {"ReportModules", "issssii*", "E", reportModules},
      {"FreeContext", "i", "T", freeContext},
      {"GetCryptoNum", "ii", "iE", getCryptoNum},
      {"SetCryptoDefault", "iii", "E", setCryptoDefault},
      {"PrepareCrypto", "iii", "E", setCryptoDefault},
      {"GetCryptoProperty", "iiis", "sE", getCryptoProperty},
      {"GetDravontSenderAddress", "i", "iE", ownAddress},
      // One participant per context: every self-address name names it.
      {"GetDravontSelfAddress", "is", "iE", ownAddress},
  };
}

}  // namespace dravont_service
