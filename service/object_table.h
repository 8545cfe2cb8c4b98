// The handles of one context. Handles come from one counter for the whole
// service process, so a handle is never reused while the process runs and a
// handle of another context is never mistaken for one of this context. Not
// synchronised: the owning context serialises use.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>

#include "service_objects.h"

namespace dravont_service {

using Handle = std::uint32_t;

class ObjectTable {
 public:
  Handle add(ServiceObject object);
  // Removes the object; false when the handle is not in this table.
  bool remove(Handle handle);
  // The object of that kind under `handle`, or nullptr with `error` set to a
  // text naming the family and the handle.
  AddressObject* address(Handle handle, std::string& error);
  FolderObject* folder(Handle handle, std::string& error);
  UrlObject* url(Handle handle, std::string& error);
  std::shared_ptr<Stream> stream(Handle handle, std::string& error);
  std::shared_ptr<MessageObject> message(Handle handle, std::string& error);
  // The kind under `handle`, false when there is none.
  bool kindOf(Handle handle, ObjectKind& kind) const;
  std::size_t size() const { return objects_.size(); }

 private:
  template <typename T>
  T* find(Handle handle, ObjectKind kind, std::string& error);

  std::unordered_map<Handle, ServiceObject> objects_;
};

// "Unknown DravontStream handle 5" and the like.
std::string unknownHandleText(ObjectKind kind, Handle handle);

}  // namespace dravont_service
