// An object of the client library that a rule made (a stream, an address, a
// message), freed with the matching export when the holder goes out of
// scope or on release(). Main cycle's thread only.
#pragma once

#include "dravont/dravontdll.h"

namespace trasvik {

template <typename Record, int (*Free)(Record*)>
class LibraryObject {
 public:
  LibraryObject() = default;
  ~LibraryObject() { release(); }
  LibraryObject(const LibraryObject&) = delete;
  LibraryObject& operator=(const LibraryObject&) = delete;

  // The record, for the export that makes the object; call made() once it
  // succeeded.
  Record* record() { return &record_; }
  void made() { made_ = true; }

  // Frees the object unless it was not made or was freed before.
  void release() {
    if (made_) Free(&record_);
    made_ = false;
  }

 private:
  Record record_{};
  bool made_ = false;
};

using StreamObject = LibraryObject<Quillex::DravontStream_s, Quillex::FreeDravontStream>;
using AddressObject = LibraryObject<Quillex::DravontAddress_s, Quillex::FreeDravontAddress>;
using MessageObject = LibraryObject<Quillex::DravontMessage_s, Quillex::FreeDravontMessage>;

}  // namespace trasvik
