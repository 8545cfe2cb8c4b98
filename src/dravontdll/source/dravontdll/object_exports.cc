// The by-handle, free, property and handle exports of the five handle
// families, and the two address queries.
#include "dravontdll/call_scope.h"
#include "dravontdll/handle_family.h"

namespace Quillex {

RpcParams constructorParams(DravontContext_s* context, std::initializer_list<const char*> texts) {
  RpcParams params;
  params.add(context);
  for (const char* text : texts) params.addText(text);
  return params;
}

namespace {

// GetDravontSenderAddress and GetDravontSelfAddress: unlike the
// constructors, the record is written only when the service reports no error.
int queryAddress(DravontAddress_s* address, DravontContext_s* context, const char* method, const RpcParams& params) {
  if (address == nullptr) return invalidArgument(kAddressFamily.pointerMessage);
  XmlRpcValue answer;
  if (!callService(method, params, answer)) return kResultCallFailed;
  if (recordServiceText(answer[1]) != kResultSuccess) return kResultServiceError;
  address->handle = static_cast<unsigned int>(answer[0].asInt());
  address->context = context;
  return kResultSuccess;
}

}  // namespace

extern "C" {

// ---- Addresses

DRAVONT_API int InitDravontAddressByHandle(DravontAddress_s* address, DravontContext_s* context, unsigned int handle) {
  CallScope scope("InitDravontAddressByHandle");
  return wrapHandle(address, context, handle, kAddressFamily);
}

DRAVONT_API int FreeDravontAddress(DravontAddress_s* address) {
  CallScope scope("FreeDravontAddress");
  return freeObject(address, kAddressFamily);
}

DRAVONT_API int GetDravontAddressProperty(DravontAddress_s* address, const char* name, char** value) {
  CallScope scope("GetDravontAddressProperty");
  return objectProperty(address, name, value, kAddressFamily);
}

DRAVONT_API int GetDravontAddressHandle(DravontAddress_s* address) {
  CallScope scope("GetDravontAddressHandle");
  return objectHandle(address, kAddressFamily);
}

DRAVONT_API int GetDravontSenderAddress(DravontContext_s* context, DravontAddress_s* address) {
  CallScope scope("GetDravontSenderAddress");
  return queryAddress(address, context, "GetDravontSenderAddress", RpcParams().add(context));
}

DRAVONT_API int GetDravontSelfAddress(DravontContext_s* context, const char* name, DravontAddress_s* address) {
  CallScope scope("GetDravontSelfAddress");
  return queryAddress(address, context, "GetDravontSelfAddress", RpcParams().add(context).addText(name));
}

// ---- Folders

DRAVONT_API int InitEDIFolderByHandle(EDIFolder_s* folder, DravontContext_s* context, unsigned int handle) {
  CallScope scope("InitEDIFolderByHandle");
  return wrapHandle(folder, context, handle, kFolderFamily);
}

DRAVONT_API int FreeEDIFolder(EDIFolder_s* folder) {
  CallScope scope("FreeEDIFolder");
  return freeObject(folder, kFolderFamily);
}

DRAVONT_API int GetEDIFolderProperty(EDIFolder_s* folder, const char* name, char** value) {
  CallScope scope("GetEDIFolderProperty");
  return objectProperty(folder, name, value, kFolderFamily);
}

DRAVONT_API int GetEDIFolderHandle(EDIFolder_s* folder) {
  CallScope scope("GetEDIFolderHandle");
  return objectHandle(folder, kFolderFamily);
}

// ---- Streams

DRAVONT_API int InitDravontStreamByHandle(DravontStream_s* stream, DravontContext_s* context, unsigned int handle) {
  CallScope scope("InitDravontStreamByHandle");
  return wrapHandle(stream, context, handle, kStreamFamily);
}

DRAVONT_API int FreeDravontStream(DravontStream_s* stream) {
  CallScope scope("FreeDravontStream");
  return freeObject(stream, kStreamFamily);
}

DRAVONT_API int GetDravontStreamProperty(DravontStream_s* stream, const char* name, char** value) {
  CallScope scope("GetDravontStreamProperty");
  return objectProperty(stream, name, value, kStreamFamily);
}

DRAVONT_API int GetDravontStreamHandle(DravontStream_s* stream) {
  CallScope scope("GetDravontStreamHandle");
  return objectHandle(stream, kStreamFamily);
}

// ---- URLs

DRAVONT_API int InitDravontURLByHandle(DravontURL* url, DravontContext_s* context, unsigned int handle) {
  CallScope scope("InitDravontURLByHandle");
  return wrapHandle(url, context, handle, kUrlFamily);
}

DRAVONT_API int FreeDravontURL(DravontURL* url) {
  CallScope scope("FreeDravontURL");
  return freeObject(url, kUrlFamily);
}

DRAVONT_API int GetDravontURLProperty(DravontURL* url, const char* name, char** value) {
  CallScope scope("GetDravontURLProperty");
  return objectProperty(url, name, value, kUrlFamily);
}

DRAVONT_API int GetDravontURLHandle(DravontURL* url) {
  CallScope scope("GetDravontURLHandle");
  return objectHandle(url, kUrlFamily);
}

// ---- Messages

DRAVONT_API int InitDravontMessageByHandle(DravontMessage_s* message, DravontContext_s* context, unsigned int handle) {
  CallScope scope("InitDravontMessageByHandle");
  return wrapHandle(message, context, handle, kMessageFamily);
}

DRAVONT_API int FreeDravontMessage(DravontMessage_s* message) {
  CallScope scope("FreeDravontMessage");
  return freeObject(message, kMessageFamily);
}

DRAVONT_API int GetDravontMessageProperty(DravontMessage_s* message, const char* name, char** value) {
  CallScope scope("GetDravontMessageProperty");
  return objectProperty(message, name, value, kMessageFamily);
}

DRAVONT_API int GetDravontMessageHandle(DravontMessage_s* message) {
  CallScope scope("GetDravontMessageHandle");
  return objectHandle(message, kMessageFamily);
}

}  // extern "C"

}  // namespace Quillex
