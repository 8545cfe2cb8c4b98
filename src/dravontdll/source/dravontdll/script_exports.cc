// Scripts evaluated by the service, mixins, stored parameters and the
// detached-signature pattern.
#include "dravontdll/call_scope.h"
#include "dravontdll/handle_family.h"

namespace Quillex {

namespace {

// A call answered by a single error text, or by an array holding it.
int errorTextCall(const char* method, const RpcParams& params, bool answerIsArray, const char* failureText = nullptr) {
  XmlRpcValue answer;
  if (!callService(method, params, answer, failureText)) return kResultCallFailed;
  return recordServiceText(answerIsArray ? answer[0] : answer);
}

}  // namespace

extern "C" {

DRAVONT_API int Execute(DravontContext_s* context, const char* script, char** result) {
  CallScope scope("Execute");
  if (result != nullptr) *result = nullptr;
  XmlRpcValue answer;
  if (!callService("Execute", RpcParams().add(context).addText(script), answer)) return kResultCallFailed;
  // The result is handed back before the error text is looked at.
  if (result != nullptr) {
    const int delivered = deliverStringResult(answer[0].asString(), result);
    if (delivered != kResultSuccess) return delivered;
  }
  return recordServiceText(answer[1]);
}

DRAVONT_API int AddMixin(DravontContext_s* context, const char* name, const char* script) {
  CallScope scope("AddMixin");
  return errorTextCall("AddMixin", RpcParams().add(context).addText(name).addText(script), false);
}

DRAVONT_API int RemoveMixin(DravontContext_s* context, const char* name) {
  CallScope scope("RemoveMixin");
  return errorTextCall("RemoveMixin", RpcParams().add(context).addText(name), false);
}

DRAVONT_API int ReadDravontParameter(DravontContext_s* context, const char* name, char** value, long long* number) {
  CallScope scope("ReadDravontParameter");
  if (value != nullptr) *value = nullptr;
  if (number != nullptr) *number = 0;
  if (name == nullptr || name[0] == '\0') return invalidArgument("Invalid parameter name");
  if (context == nullptr || value == nullptr) return invalidArgument("Invalid context or return value pointer");
  XmlRpcValue answer;
  if (!callService("ReadDravontParam", RpcParams().add(context).addText(name), answer,
                   "RPC call GetDravontParameter failed")) {
    return kResultCallFailed;
  }
  if (recordServiceText(answer[1]) != kResultSuccess) return kResultServiceError;
  if (number != nullptr) *number = static_cast<long long>(answer[2].asInt());
  return deliverStringResult(answer[0].asString(), value);
}

DRAVONT_API int SaveDravontParameter(DravontContext_s* context, const char* name, const char* value) {
  CallScope scope("SaveDravontParameter");
  if (name == nullptr || value == nullptr) return invalidArgument("Invalid string pointer");
  if (context == nullptr) return invalidArgument("Invalid context pointer");
  return errorTextCall("SaveDravontParam", RpcParams().add(context).addText(name).addText(value), true,
                       "RPC call SetDravontParameter failed");
}

DRAVONT_API int SetDravontDetachedSignaturePattern(DravontContext_s* context, const char* pattern) {
  CallScope scope("SetDravontDetachedSignaturePattern");
  if (pattern == nullptr) return invalidArgument("Invalid string pointer");
  if (context == nullptr) return invalidArgument("Invalid context pointer");
  return errorTextCall("SetDravontDetachedSignaturePattern", RpcParams().add(context).addText(pattern), true);
}

}  // extern "C"

}  // namespace Quillex
