#include "method_call.h"

#include "transport/xml_scan.h"

namespace dravont_service {

using Quillex::XmlRpcValue;

namespace {

constexpr char kXmlDeclaration[] = "<?xml version=\"1.0\"?>\r\n";

std::string_view trimXmlSpace(std::string_view text) {
  while (!text.empty() && Quillex::isXmlSpace(text.front())) text.remove_prefix(1);
  while (!text.empty() && Quillex::isXmlSpace(text.back())) text.remove_suffix(1);
  return text;
}

}  // namespace

bool parseMethodCall(std::string_view body, MethodCall& call, std::string& error) {
  std::size_t position = 0;
  if (!Quillex::seekTag("<methodCall>", body, position)) {
    error = "the request is not an XML-RPC methodCall";
    return false;
  }
  std::size_t nameStart = position;
  if (!Quillex::probeTag("<methodName>", body, nameStart)) {
    error = "the methodCall has no methodName";
    return false;
  }
  const std::string_view name = Quillex::elementTextView("<methodName>", body, position);
  call.name = std::string(trimXmlSpace(name));
  if (call.name.empty()) {
    error = "the methodName is empty";
    return false;
  }
  std::vector<XmlRpcValue>& elements = call.params;
  elements.clear();
  if (Quillex::probeTag("<params/>", body, position)) {
    // an empty parameter list
  } else if (Quillex::probeTag("<params>", body, position)) {
    while (Quillex::probeTag("<param>", body, position)) {
      XmlRpcValue value;
      if (!value.parseValue(body, position) || !Quillex::probeTag("</param>", body, position)) {
        error = "parameter " + std::to_string(elements.size() + 1) + " is not a well-formed value";
        return false;
      }
      elements.push_back(std::move(value));
    }
    if (!Quillex::probeTag("</params>", body, position)) {
      error = "the params element is not closed";
      return false;
    }
  }
  if (!Quillex::probeTag("</methodCall>", body, position)) {
    error = "the methodCall element is not closed where expected";
    return false;
  }
  return true;
}

std::string responseText(const XmlRpcValue& result) {
  std::string text = kXmlDeclaration;
  text += "<methodResponse><params><param>";
  result.appendValueText(text);
  text += "</param></params></methodResponse>\r\n";
  return text;
}

std::string faultText(int code, const std::string& message) {
  XmlRpcValue fault;
  fault["faultCode"] = code;
  fault["faultString"] = message;
  std::string text = kXmlDeclaration;
  text += "<methodResponse><fault>";
  fault.appendValueText(text);
  text += "</fault></methodResponse>\r\n";
  return text;
}

}  // namespace dravont_service
