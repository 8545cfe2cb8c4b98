#include "object_table.h"

#include <atomic>

namespace dravont_service {

const char* objectKindName(ObjectKind kind) {
  switch (kind) {
    case ObjectKind::kAddress: return "DravontAddress";
    case ObjectKind::kFolder: return "EDIFolder";
    case ObjectKind::kUrl: return "DravontURL";
    case ObjectKind::kStream: return "DravontStream";
    case ObjectKind::kMessage: return "DravontMessage";
  }
  return "object";
}

std::string unknownHandleText(ObjectKind kind, Handle handle) {
  return std::string("Unknown ") + objectKindName(kind) + " handle " + std::to_string(handle);
}

namespace {

std::atomic<Handle> nextHandle{1};

}  // namespace

Handle ObjectTable::add(ServiceObject object) {
  Handle handle = nextHandle.fetch_add(1);
  // Handles travel as XML-RPC ints; skip 0 (no object) after a wrap.
  while (handle == 0) handle = nextHandle.fetch_add(1);
  objects_.emplace(handle, std::move(object));
  return handle;
}

bool ObjectTable::remove(Handle handle) { return objects_.erase(handle) != 0; }

bool ObjectTable::kindOf(Handle handle, ObjectKind& kind) const {
  const auto found = objects_.find(handle);
  if (found == objects_.end()) return false;
  kind = static_cast<ObjectKind>(found->second.index());
  return true;
}

template <typename T>
T* ObjectTable::find(Handle handle, ObjectKind kind, std::string& error) {
  const auto found = objects_.find(handle);
  T* object = found == objects_.end() ? nullptr : std::get_if<T>(&found->second);
  if (object == nullptr) error = unknownHandleText(kind, handle);
  return object;
}

AddressObject* ObjectTable::address(Handle handle, std::string& error) {
  return find<AddressObject>(handle, ObjectKind::kAddress, error);
}

FolderObject* ObjectTable::folder(Handle handle, std::string& error) {
  return find<FolderObject>(handle, ObjectKind::kFolder, error);
}

UrlObject* ObjectTable::url(Handle handle, std::string& error) { return find<UrlObject>(handle, ObjectKind::kUrl, error); }

std::shared_ptr<Stream> ObjectTable::stream(Handle handle, std::string& error) {
  auto* found = find<std::shared_ptr<Stream>>(handle, ObjectKind::kStream, error);
  return found ? *found : nullptr;
}

std::shared_ptr<MessageObject> ObjectTable::message(Handle handle, std::string& error) {
  auto* found = find<std::shared_ptr<MessageObject>>(handle, ObjectKind::kMessage, error);
  return found ? *found : nullptr;
}

}  // namespace dravont_service
