// Methods of the address, folder and URL families, and the destructor and
// property methods every family shares.
#include "rpc_method.h"

namespace dravont_service {

using Quillex::XmlRpcValue;

namespace {

void requireAddressParts(const std::string& ticker, const std::string& service) {
  if (ticker.empty() || service.empty()) throw ServiceError{"An address needs a ticker and a service"};
}

XmlRpcValue addressCtor(Call& call) {
  AddressObject address;
  address.ticker = call.textAt(1);
  address.service = call.textAt(2);
  address.third = call.textAt(3);
  address.fourth = call.textAt(4);
  requireAddressParts(address.ticker, address.service);
  if (!call.service.addressBook().isKnownAddress(address.text())) {
    throw ServiceError{"Unknown address " + address.text()};
  }
  const ScriptOutcome options = call.ctx().scripts().evaluateProperties(call.textAt(5), address.options);
  if (!options.ok) throw ServiceError{"Can't evaluate the options of address " + address.text() + ": " + options.error};
  return answer(wireInt(call.ctx().objects().add(std::move(address))), "");
}

XmlRpcValue folderCtor(Call& call) {
  FolderObject folder;
  folder.ticker = call.textAt(1);
  folder.service = call.textAt(2);
  requireAddressParts(folder.ticker, folder.service);
  std::optional<std::string> name = call.service.addressBook().folderOf(folder.text());
  if (!name) throw ServiceError{folder.text() + " is not a folder"};
  folder.folder = std::move(*name);
  return answer(wireInt(call.ctx().objects().add(std::move(folder))), "");
}

XmlRpcValue urlCtor(Call& call) {
  UrlObject url;
  url.url = call.textAt(1);
  const ScriptOutcome parameters = call.ctx().scripts().evaluateProperties(call.textAt(2), url.parameters);
  if (!parameters.ok) throw ServiceError{"Can't evaluate the URL parameters: " + parameters.error};
  return answer(wireInt(call.ctx().objects().add(std::move(url))), "");
}

template <ObjectKind kKind>
XmlRpcValue destroy(Call& call) {
  const Handle handle = call.handleAt(1);
  if (!call.ctx().hasObject(kKind, handle)) throw ServiceError{unknownHandleText(kKind, handle)};
  call.ctx().objects().remove(handle);
  return XmlRpcValue("");
}

template <ObjectKind kKind>
XmlRpcValue property(Call& call) {
  const Handle handle = call.handleAt(1);
  const std::string& name = call.textAt(2);
  std::optional<std::string> value;
  check(call.ctx().property(kKind, handle, name, value));
  if (!value) {
    throw ServiceError{std::string(objectKindName(kKind)) + " " + std::to_string(handle) + " has no property \"" +
                       name + "\""};
  }
  return answer(*value, "");
}

}  // namespace

AddressObject& addressAt(Call& call, std::size_t index) {
  std::string error;
  AddressObject* object = call.ctx().objects().address(call.handleAt(index), error);
  if (object == nullptr) throw ServiceError{error};
  return *object;
}

FolderObject& folderAt(Call& call, std::size_t index) {
  std::string error;
  FolderObject* object = call.ctx().objects().folder(call.handleAt(index), error);
  if (object == nullptr) throw ServiceError{error};
  return *object;
}

UrlObject& urlAt(Call& call, std::size_t index) {
  std::string error;
  UrlObject* object = call.ctx().objects().url(call.handleAt(index), error);
  if (object == nullptr) throw ServiceError{error};
  return *object;
}

std::shared_ptr<Stream> streamAt(Call& call, std::size_t index) {
  std::string error;
  std::shared_ptr<Stream> object = call.ctx().objects().stream(call.handleAt(index), error);
  if (!object) throw ServiceError{error};
  return object;
}

std::shared_ptr<MessageObject> messageAt(Call& call, std::size_t index) {
  std::string error;
  std::shared_ptr<MessageObject> object = call.ctx().objects().message(call.handleAt(index), error);
  if (!object) throw ServiceError{error};
  return object;
}

std::vector<MethodSpec> objectMethods() {
  return {
      {"DravontAddressCtor", "isssss", "iE", addressCtor},
      {"DravontAddressExCtor", "isssss", "iE", addressCtor},
      {"DravontAddressDtor", "ii", "T", destroy<ObjectKind::kAddress>},
      {"DravontAddressGet", "iis", "sE", property<ObjectKind::kAddress>},
      {"EDIFolderCtor", "isssss", "iE", folderCtor},
      {"EDIFolderDtor", "ii", "T", destroy<ObjectKind::kFolder>},
      {"EDIFolderGet", "iis", "sE", property<ObjectKind::kFolder>},
      {"DravontURLCtor", "iss", "iE", urlCtor},
      {"DravontURLDtor", "ii", "T", destroy<ObjectKind::kUrl>},
      {"DravontURLGet", "iis", "sE", property<ObjectKind::kUrl>},
      {"DravontStreamDtor", "ii", "T", destroy<ObjectKind::kStream>},
      {"DravontStreamGet", "iis", "sE", property<ObjectKind::kStream>},
      {"DravontMessageDtor", "ii", "T", destroy<ObjectKind::kMessage>},
      {"DravontMessageGet", "iis", "sE", property<ObjectKind::kMessage>},
  };
}

}  // namespace dravont_service
