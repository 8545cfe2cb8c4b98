// The XML text of one XML-RPC exchange on the service side: parsing a
// <methodCall> and writing a <methodResponse> or a fault. Built on the
// project's value codec (transport/xmlrpc_value.h). Pure, thread-safe.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "transport/xmlrpc_value.h"

namespace dravont_service {

struct MethodCall {
  std::string name;
  std::vector<Quillex::XmlRpcValue> params;  // in order; empty when the call has none
};

// Standard XML-RPC fault codes.
inline constexpr int kFaultParse = -32700;
inline constexpr int kFaultUnknownMethod = -32601;
inline constexpr int kFaultInvalidParameters = -32602;
inline constexpr int kFaultInternal = -32603;
inline constexpr int kFaultInjected = -32000;

// Parses a request body. On failure returns false with `error` saying what is
// wrong; `call` is then unspecified.
bool parseMethodCall(std::string_view body, MethodCall& call, std::string& error);

std::string responseText(const Quillex::XmlRpcValue& result);
std::string faultText(int code, const std::string& message);

}  // namespace dravont_service
