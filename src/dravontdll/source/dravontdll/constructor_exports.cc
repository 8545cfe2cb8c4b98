// The exports that ask the service to construct an object.
#include "dravontdll/absolute_path.h"
#include "dravontdll/call_scope.h"
#include "dravontdll/handle_family.h"

namespace Quillex {

extern "C" {

DRAVONT_API int InitDravontAddress(DravontAddress_s* address, DravontContext_s* context, const char* text1,
                                   const char* text2, const char* text3, const char* text4, const char* options) {
  CallScope scope("InitDravontAddress");
  if (address == nullptr) return invalidArgument(kAddressFamily.pointerMessage);
  return constructObject(address, context, "DravontAddressCtor",
                         constructorParams(context, {text1, text2, text3, text4, options}));
}

DRAVONT_API int InitDravontAddressEx(DravontAddress_s* address, DravontContext_s* context, const char* text1,
                                     const char* text2, const char* text3, const char* text4, const char* options) {
  CallScope scope("InitDravontAddressEx");
  if (address == nullptr) return invalidArgument(kAddressFamily.pointerMessage);
  return constructObject(address, context, "DravontAddressExCtor",
                         constructorParams(context, {text1, text2, text3, text4, options}));
}

DRAVONT_API int InitEDIFolder(EDIFolder_s* folder, DravontContext_s* context, const char* text1, const char* text2,
                              const char* text3, const char* text4, const char* text5) {
  CallScope scope("InitEDIFolder");
  if (folder == nullptr) return invalidArgument(kFolderFamily.pointerMessage);
  return constructObject(folder, context, "EDIFolderCtor", constructorParams(context, {text1, text2, text3, text4, text5}));
}

DRAVONT_API int InitDravontStreamFromFile(DravontStream_s* stream, DravontContext_s* context, const char* path,
                                          const char* mode, const char* text) {
  CallScope scope("InitDravontStreamFromFile");
  if (stream == nullptr) return invalidArgument(kStreamFamily.pointerMessage);
  // A path that cannot be made absolute is sent empty: the service decides.
  const std::string absolutePath = toAbsolutePath(path).value_or(std::string());
  return constructObject(stream, context, "DravontStreamFileCtor",
                         RpcParams().add(context).addText(absolutePath).addText(mode).addText(text));
}

DRAVONT_API int InitDravontStreamFromBuffer(DravontStream_s* stream, DravontContext_s* context, const void* buffer,
                                            unsigned int length, const char* text) {
  CallScope scope("InitDravontStreamFromBuffer");
  if (buffer == nullptr && length > 0) return invalidArgument("Invalid buffer pointer");
  if (stream == nullptr) return invalidArgument(kStreamFamily.pointerMessage);
  return constructObject(stream, context, "DravontStreamBufferCtor",
                         RpcParams().add(context).addBinary(buffer, length).add(length).addText(text));
}

DRAVONT_API int InitDravontURL(DravontURL* url, DravontContext_s* context, const char* urlText, const char* parameters) {
  CallScope scope("InitDravontURL");
  if (url == nullptr) return invalidArgument(kUrlFamily.pointerMessage);
  return constructObject(url, context, "DravontURLCtor", constructorParams(context, {urlText, parameters}));
}

DRAVONT_API int InitDravontMessage(DravontMessage_s* message, DravontContext_s* context, DravontAddress_s* address,
                                   const char* text) {
  CallScope scope("InitDravontMessage");
  if (message == nullptr || address == nullptr) {
    return invalidArgument("Invalid DravontMessage or DravontAddress pointers");
  }
  return constructObject(message, context, "DravontMessageCtor",
                         RpcParams().add(context).add(address->handle).addText(text));
}

DRAVONT_API int InitDravontMessage2Folder(DravontMessage_s* message, DravontContext_s* context, EDIFolder_s* folder,
                                          const char* text) {
  CallScope scope("InitDravontMessage2Folder");
  if (message == nullptr || folder == nullptr) return invalidArgument("Invalid DravontMessage or EDIFolder pointers");
  return constructObject(message, context, "DravontMessage2FolderCtor",
                         RpcParams().add(context).add(folder->handle).addText(text));
}

DRAVONT_API int InitDravontMessageFromStream(DravontMessage_s* message, DravontContext_s* context,
                                             DravontStream_s* stream, const char* text) {
  CallScope scope("InitDravontMessageFromStream");
  if (message == nullptr || stream == nullptr) {
    return invalidArgument("Invalid DravontMessage or DravontStream pointers");
  }
  return constructObject(message, context, "DravontMessageFromStreamCtor",
                         RpcParams().add(context).add(stream->handle).addText(text));
}

}  // extern "C"

}  // namespace Quillex
