// Context, service version and crypto exports.
#include <string>

#include "dravont/dravontdll.h"
#include "dravontdll/absolute_path.h"
#include "dravontdll/call_scope.h"
#include "dravontdll/last_error.h"
#include "dravontdll/library_state.h"
#include "dravontdll/module_report.h"
#include "dravontdll/result_codes.h"
#include "dravontdll/service_call.h"
#include "dravontdll/service_version.h"
#include "dravontdll/string_result.h"
#include "transport/xmlrpc_client.h"

namespace Quillex {

namespace {

constexpr char kVersionCallFailed[] = "Failed to get service version";
constexpr char kVersionUnparsable[] = "Failed to parse service version info";

// Asks the service for its version. On failure records the text and returns false.
bool readServiceVersion(ServiceVersion& version, std::string& text) {
  XmlRpcValue result;
  if (!callService("system.version", RpcParams(), result, kVersionCallFailed)) return false;
  text = result[0].asString();
  if (!parseServiceVersion(text, version)) {
    recordLastError(kVersionUnparsable);
    return false;
  }
  return true;
}

}  // namespace

extern "C" {

DRAVONT_API DravontContext_s* InitContext(const char* settingsFile, void* (*allocate)(unsigned int), int* status) {
  CallScope scope("InitContext");
  if (allocate == nullptr) {
    recordLastError("Invalid callback function pointer");
    return nullptr;
  }
  setThreadAllocateFunction(allocate);

  ServiceVersion version;
  std::string versionText;
  if (!readServiceVersion(version, versionText)) return nullptr;
  if (version.major < kMinimumServiceMajor) {
    recordLastError(("Incompatible service version " + versionText).c_str());
    return nullptr;
  }

  const auto absolutePath = toAbsolutePath(settingsFile);
  if (!absolutePath) return nullptr;

  XmlRpcValue answer;
  if (!callService("InitContext", RpcParams().addText(*absolutePath), answer)) return nullptr;
  recordServiceText(answer[1]);
  const int context = answer[0].asInt();
  if (status != nullptr) *status = answer[2].asInt();

  // The report's outcome does not matter to the caller.
  XmlRpcValue ignored;
  threadClient().execute("ReportModules", moduleReportParams(context, gatherModuleReport()).value(), ignored);
  return contextFromNumber(context);
}

DRAVONT_API void FreeContext(DravontContext_s* context) {
  CallScope scope("FreeContext");
  XmlRpcValue answer;
  // A failed call is not reported: the context ends with the process anyway.
  if (threadClient().execute("FreeContext", RpcParams().add(context).value(), answer)) recordServiceText(answer);
}

DRAVONT_API int GetServiceVersion(int* major, int* minor, int* third, int* fourth) {
  CallScope scope("GetServiceVersion");
  if (major == nullptr || minor == nullptr || third == nullptr || fourth == nullptr) {
    recordLastError("Invalid version number pointers");
    return kResultInvalidArgument;
  }
  ServiceVersion version;
  std::string text;
  if (!readServiceVersion(version, text)) return kResultServiceError;
  *major = version.major;
  *minor = version.minor;
  *third = version.third;
  *fourth = version.fourth;
  return kResultSuccess;
}

DRAVONT_API int GetCryptoNum(DravontContext_s* context, int selector) {
  CallScope scope("GetCryptoNum");
  XmlRpcValue answer;
  if (!callService("GetCryptoNum", RpcParams().add(context).add(selector), answer)) return -3;
  if (recordServiceText(answer[1]) != kResultSuccess) return -2;
  return answer[0].asInt();
}

DRAVONT_API int SetCryptoDefault(DravontContext_s* context, int selector, int index) {
  CallScope scope("SetCryptoDefault");
  return callForErrorText("SetCryptoDefault", RpcParams().add(context).add(selector).add(index),
                          ErrorTextAnswer::kFirstElement);
}

DRAVONT_API int PrepareCrypto(DravontContext_s* context, int selector, int index) {
  CallScope scope("PrepareCrypto");
  return callForErrorText("PrepareCrypto", RpcParams().add(context).add(selector).add(index),
                          ErrorTextAnswer::kFirstElement);
}

DRAVONT_API int GetCryptoProperty(DravontContext_s* context, int selector, int index, const char* name, char** value) {
  CallScope scope("GetCryptoProperty");
  if (value == nullptr) {
    recordLastError("Invalid return value pointer");
    return kResultInvalidArgument;
  }
  *value = nullptr;
  return callForString("GetCryptoProperty", RpcParams().add(context).add(selector).add(index).addText(name), value);
}

}  // extern "C"

}  // namespace Quillex
