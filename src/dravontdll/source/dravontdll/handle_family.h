// The operations every handle family (address, folder, stream, URL,
// message) shares, written once. Each export opens its own call scope and
// then hands over to these with its family's names and texts.
#pragma once

#include "dravont/dravontdll.h"
#include "dravontdll/last_error.h"
#include "dravontdll/result_codes.h"
#include "dravontdll/service_call.h"
#include "dravontdll/string_result.h"

namespace Quillex {

// Names and texts of one family.
struct HandleFamily {
  const char* destructorMethod;  // "DravontAddressDtor"
  const char* propertyMethod;    // "DravontAddressGet"
  const char* pointerMessage;    // "Invalid DravontAddress pointer"
  const char* propertyMessage;   // "Invalid DravontAddress or return value pointer"
};

inline constexpr HandleFamily kAddressFamily{"DravontAddressDtor", "DravontAddressGet",
                                             "Invalid DravontAddress pointer",
                                             "Invalid DravontAddress or return value pointer"};
inline constexpr HandleFamily kFolderFamily{"EDIFolderDtor", "EDIFolderGet", "Invalid EDIFolder pointer",
                                            "Invalid EDIFolder or return value pointer"};
inline constexpr HandleFamily kStreamFamily{"DravontStreamDtor", "DravontStreamGet", "Invalid DravontStream pointer",
                                            "Invalid DravontStream or return value pointer"};
inline constexpr HandleFamily kUrlFamily{"DravontURLDtor", "DravontURLGet", "Invalid DravontURL pointer",
                                         "Invalid DravontURL or return value pointer"};
inline constexpr HandleFamily kMessageFamily{"DravontMessageDtor", "DravontMessageGet",
                                             "Invalid DravontMessage pointer",
                                             "Invalid DravontMessage or return value pointer"};

// Records `text` and yields 1: a failed argument check.
inline int invalidArgument(const char* text) {
  recordLastError(text);
  return kResultInvalidArgument;
}

// The parameters every call on an existing object starts with.
template <typename Record>
RpcParams objectParams(const Record& record) {
  RpcParams params;
  params.add(record.context).add(record.handle);
  return params;
}

template <typename Record>
int wrapHandle(Record* record, DravontContext_s* context, unsigned int handle, const HandleFamily& family) {
  if (record == nullptr) return invalidArgument(family.pointerMessage);
  record->handle = handle;
  record->context = context;
  return kResultSuccess;
}

template <typename Record>
int freeObject(Record* record, const HandleFamily& family) {
  if (record == nullptr) return invalidArgument(family.pointerMessage);
  return callForErrorText(family.destructorMethod, objectParams(*record), ErrorTextAnswer::kText);
}

template <typename Record>
int objectProperty(Record* record, const char* name, char** value, const HandleFamily& family) {
  if (value != nullptr) *value = nullptr;
  if (record == nullptr || value == nullptr) return invalidArgument(family.propertyMessage);
  return callForString(family.propertyMethod, objectParams(*record).addText(name), value);
}

template <typename Record>
int objectHandle(const Record* record, const HandleFamily& family) {
  if (record == nullptr) {
    recordLastError(family.pointerMessage);
    return 0;
  }
  return static_cast<int>(record->handle);
}

// A constructor: the record takes the answered handle and the given context
// before the error text is looked at.
template <typename Record>
int constructObject(Record* record, DravontContext_s* context, const char* method, const RpcParams& params) {
  XmlRpcValue answer;
  if (!callService(method, params, answer)) return kResultCallFailed;
  record->handle = static_cast<unsigned int>(answer[0].asInt());
  record->context = context;
  return recordServiceText(answer[1]);
}

// The parameters of a constructor: the context, then the texts.
RpcParams constructorParams(DravontContext_s* context, std::initializer_list<const char*> texts);

}  // namespace Quillex
