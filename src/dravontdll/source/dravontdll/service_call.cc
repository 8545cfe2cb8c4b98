#include "dravontdll/service_call.h"

#include <cstdint>

#include "dravontdll/last_error.h"
#include "dravontdll/library_state.h"
#include "dravontdll/result_codes.h"
#include "transport/xmlrpc_client.h"

namespace Quillex {

int contextNumber(const DravontContext_s* context) {
  return static_cast<int>(reinterpret_cast<std::intptr_t>(context));
}

DravontContext_s* contextFromNumber(int number) {
  return reinterpret_cast<DravontContext_s*>(static_cast<std::intptr_t>(number));
}

RpcParams& RpcParams::add(int value) {
  array_[count_++] = value;
  return *this;
}

RpcParams& RpcParams::add(unsigned int value) { return add(static_cast<int>(value)); }

RpcParams& RpcParams::addText(const char* text) {
  array_[count_++] = text != nullptr ? text : "";
  return *this;
}

RpcParams& RpcParams::addText(const std::string& text) {
  array_[count_++] = text;
  return *this;
}

RpcParams& RpcParams::addBinary(const void* data, std::size_t size) {
  array_[count_++] = data != nullptr ? XmlRpcValue(data, size) : XmlRpcValue(nullptr, 0);
  return *this;
}

std::string callFailedText(const char* method) { return std::string("RPC call ") + method + " failed"; }

bool callService(const char* method, const RpcParams& params, XmlRpcValue& result, const char* failureText) {
  if (threadClient().execute(method, params.value(), result)) return true;
  recordLastError(failureText != nullptr ? failureText : callFailedText(method).c_str());
  return false;
}

int recordServiceText(XmlRpcValue& text) { return recordLastError(text.asString().c_str()); }

int callForErrorText(const char* method, const RpcParams& params, ErrorTextAnswer shape, const char* failureText) {
  XmlRpcValue answer;
  if (!callService(method, params, answer, failureText)) return kResultCallFailed;
  return recordServiceText(shape == ErrorTextAnswer::kText ? answer : answer[0]);
}

unsigned int callForNumber(const char* method, const RpcParams& params, unsigned int failureValue) {
  XmlRpcValue answer;
  if (!callService(method, params, answer)) return failureValue;
  const auto number = static_cast<unsigned int>(answer[0].asInt());
  recordServiceText(answer[1]);
  return number;
}

}  // namespace Quillex
