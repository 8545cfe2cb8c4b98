// The XML-RPC value parser and the answer parser, on any text: a failed
// parse leaves the position and an invalid value; a parsed value's wire
// text parses again, whole, to a value with the same wire text (a second
// round changes nothing: doubles are written with the process's format, so
// the first round may round them). Struct member names are the exception
// the wire format makes: read verbatim but written escaped, a name with
// one of < > & ' " grows by each round.
#include "fuzz_support.h"
#include "transport/xmlrpc_response.h"
#include "transport/xmlrpc_value.h"

namespace {

using Quillex::XmlRpcValue;

bool hasEscapedNames(const XmlRpcValue& value) {
  if (value.getType() == XmlRpcValue::TypeArray) {
    for (const XmlRpcValue& element : value.elements()) {
      if (hasEscapedNames(element)) return true;
    }
  } else if (value.getType() == XmlRpcValue::TypeStruct) {
    for (const auto& [name, member] : value.members()) {
      if (name.find_first_of("<>&'\"") != std::string::npos || hasEscapedNames(member)) return true;
    }
  }
  return false;
}

void checkRoundTrip(const XmlRpcValue& value) {
  const std::string text = value.valueText();
  XmlRpcValue again;
  std::size_t position = 0;
  fuzzing::require(again.parseValue(text, position), "a value's text parses");
  fuzzing::require(position == text.size(), "a value's text parses whole");
  if (hasEscapedNames(value)) return;
  fuzzing::require(again.valueText() == text, "a value's text reads back to the same text");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);

  XmlRpcValue value;
  std::size_t position = 0;
  if (value.parseValue(text, position)) {
    fuzzing::require(position <= text.size(), "a parsed value ends within the text");
    if (value.valid()) checkRoundTrip(value);
  } else {
    fuzzing::require(position == 0 && !value.valid(), "a failed parse leaves position and value");
  }

  XmlRpcValue result;
  bool isFault = false;
  if (Quillex::parseMethodResponse(text, result, isFault) == Quillex::ResponseParse::kParsed && result.valid()) {
    checkRoundTrip(result);
  }
  return 0;
}
