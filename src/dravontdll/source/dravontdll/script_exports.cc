// Scripts evaluated by the service, mixins, stored parameters and the
// detached-signature pattern.
#include "dravontdll/call_scope.h"
#include "dravontdll/handle_family.h"

namespace Quillex {

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
  return callForErrorText("AddMixin", RpcParams().add(context).addText(name).addText(script), ErrorTextAnswer::kText);
}

DRAVONT_API int RemoveMixin(DravontContext_s* context, const char* name) {
  CallScope scope("RemoveMixin");
  return callForErrorText("RemoveMixin", RpcParams().add(context).addText(name), ErrorTextAnswer::kText);
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
  return callForErrorText("SaveDravontParam", RpcParams().add(context).addText(name).addText(value),
                          ErrorTextAnswer::kFirstElement, "RPC call SetDravontParameter failed");
}

DRAVONT_API int SetDravontDetachedSignaturePattern(DravontContext_s* context, const char* pattern) {
  CallScope scope("SetDravontDetachedSignaturePattern");
  if (pattern == nullptr) return invalidArgument("Invalid string pointer");
  if (context == nullptr) return invalidArgument("Invalid context pointer");
  return callForErrorText("SetDravontDetachedSignaturePattern", RpcParams().add(context).addText(pattern),
                          ErrorTextAnswer::kFirstElement);
}

}  // extern "C"

}  // namespace Quillex
