// The body of an XML-RPC answer: "<methodResponse>" with either
// "<params><param>" and the result's value, or "<fault>" and the fault's
// value. Pure text parsing, no I/O; thread-safe.
#pragma once

#include <string_view>

#include "transport/xmlrpc_value.h"

namespace Quillex {

enum class ResponseParse {
  kParsed,             // `result` holds the answer's value
  kNoMethodResponse,   // no "<methodResponse>" tag
  kNoParamOrFault,     // neither "<params><param>" nor "<fault>" follows it
  kInvalidValue,       // the value does not parse
};

// Parses `text`. `isFault` is set when the answer is a fault (its value is
// then in `result`), else left alone. On a failure `result` is left
// invalid or as it was.
ResponseParse parseMethodResponse(std::string_view text, XmlRpcValue& result, bool& isFault);

}  // namespace Quillex
