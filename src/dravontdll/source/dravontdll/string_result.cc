#include "dravontdll/string_result.h"

#include <cstring>

#include "dravontdll/last_error.h"
#include "dravontdll/library_state.h"
#include "dravontdll/result_codes.h"

namespace Quillex {

int deliverStringResult(const std::string& value, char** output) {
  *output = nullptr;
  if (value.empty()) return kResultSuccess;
  const AllocateFunction allocate = threadAllocateFunction();
  if (allocate == nullptr) {
    recordLastError("Invalid callback function pointer");
    return kResultCannotReturnString;
  }
  auto* block = static_cast<char*>(allocate(static_cast<unsigned int>(value.size() + 1)));
  if (block == nullptr) {
    recordLastError("Can't allocate memory");
    return kResultCannotReturnString;
  }
  std::memcpy(block, value.c_str(), value.size() + 1);
  *output = block;
  return kResultSuccess;
}

int deliverStringAnswer(XmlRpcValue& value, XmlRpcValue& errorText, char** output) {
  *output = nullptr;
  if (recordServiceText(errorText) != kResultSuccess) return kResultServiceError;
  return deliverStringResult(value.asString(), output);
}

int callForString(const char* method, const RpcParams& params, char** output) {
  XmlRpcValue answer;
  if (!callService(method, params, answer)) return kResultCallFailed;
  return deliverStringAnswer(answer[0], answer[1], output);
}

}  // namespace Quillex
