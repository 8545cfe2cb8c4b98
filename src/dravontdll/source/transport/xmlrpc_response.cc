#include "transport/xmlrpc_response.h"

#include "transport/xml_scan.h"

namespace Quillex {

ResponseParse parseMethodResponse(std::string_view text, XmlRpcValue& result, bool& isFault) {
  std::size_t position = 0;
  if (!seekTag("<methodResponse>", text, position)) return ResponseParse::kNoMethodResponse;
  if (!(probeTag("<params>", text, position) && probeTag("<param>", text, position))) {
    if (!probeTag("<fault>", text, position)) return ResponseParse::kNoParamOrFault;
    isFault = true;
  }
  return result.parseValue(text, position) ? ResponseParse::kParsed : ResponseParse::kInvalidValue;
}

}  // namespace Quillex
