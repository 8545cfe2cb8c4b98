// Methods of scripts and parameters, and the test hooks.
#include <charconv>

#include "rpc_method.h"

namespace dravont_service {

using Quillex::XmlRpcValue;

namespace {

XmlRpcValue execute(Call& call) {
  const ScriptOutcome outcome = call.ctx().scripts().evaluate(call.textAt(1));
  // Not even a character reference can carry U+0000 in XML.
  if (outcome.text.find('\0') != std::string::npos) return answer("", "the script's value holds a NUL character");
  return answer(outcome.text, outcome.error);
}

XmlRpcValue addMixin(Call& call) { return XmlRpcValue(call.ctx().addMixin(call.textAt(1), call.textAt(2))); }

XmlRpcValue removeMixin(Call& call) { return XmlRpcValue(call.ctx().removeMixin(call.textAt(1))); }

// [2] is the value read as a decimal integer (leading blanks, a sign, the
// leading digits; 0 without digits), for clients that keep counters.
XmlRpcValue readParam(Call& call) {
  const std::string value = call.service.params().read(call.textAt(1)).value_or("");
  std::size_t start = value.find_first_not_of(" \t");
  long long number = 0;
  if (start != std::string::npos) {
    if (value[start] == '+') ++start;
    std::from_chars(value.data() + start, value.data() + value.size(), number);
  }
  return answer(value, "", wireInt(static_cast<std::uint64_t>(number)));
}

XmlRpcValue saveParam(Call& call) {
  return answer(call.service.params().save(call.textAt(1), call.textAt(2)));
}

XmlRpcValue setDetachedSignaturePattern(Call& call) {
  call.ctx().detachedSignaturePattern = call.textAt(1);
  return answer("");
}

XmlRpcValue inject(Call& call) {
  return XmlRpcValue(call.service.hooks().inject(call.textAt(0), call.intAt(1), call.textAt(2), call.textAt(3)));
}

XmlRpcValue resetHooks(Call& call) {
  call.service.hooks().reset();
  return XmlRpcValue("");
}

}  // namespace

std::vector<MethodSpec> scriptMethods() {
  return {
      {"Execute", "is", "sE", execute},
      {"AddMixin", "iss", "T", addMixin},
      {"RemoveMixin", "is", "T", removeMixin},
      {"ReadDravontParam", "is", "sEi", readParam},
      {"SaveDravontParam", "iss", "E", saveParam},
      {"SetDravontDetachedSignaturePattern", "is", "E", setDetachedSignaturePattern},
  };
}

std::vector<MethodSpec> testHookMethods() {
  return {
      {"test.inject", "siss", "T", inject, false},
      {"test.reset", "", "T", resetHooks, false},
  };
}

}  // namespace dravont_service
