// Byte and position operations on service streams. They return the
// service's number, or 0 on a failed check or call; a service error text is
// recorded and the number still returned.
#include <algorithm>
#include <cstring>

#include "dravontdll/call_scope.h"
#include "dravontdll/handle_family.h"

namespace Quillex {

namespace {

unsigned int invalidStream(const char* text) {
  recordLastError(text);
  return 0;
}

}  // namespace

extern "C" {

DRAVONT_API unsigned int StreamWrite(DravontStream_s* stream, const void* buffer, unsigned int size) {
  CallScope scope("StreamWrite");
  if (stream == nullptr) return invalidStream(kStreamFamily.pointerMessage);
  return callForNumber("DravontStreamWrite",
                       objectParams(*stream).addBinary(buffer, buffer != nullptr ? size : 0).add(size), 0);
}

DRAVONT_API unsigned int StreamRead(DravontStream_s* stream, void* buffer, unsigned int size) {
  CallScope scope("StreamRead");
  if (stream == nullptr) return invalidStream(kStreamFamily.pointerMessage);
  XmlRpcValue answer;
  if (!callService("DravontStreamRead", objectParams(*stream).add(size), answer)) return 0;
  const auto count = static_cast<unsigned int>(answer[0].asInt());
  const XmlRpcValue::BinaryData& bytes = answer[1].asBinary();
  // Never more than asked for, never more than what came.
  if (buffer != nullptr && !bytes.empty()) {
    std::memcpy(buffer, bytes.data(), std::min<std::size_t>(size, bytes.size()));
  }
  recordServiceText(answer[2]);
  return count;
}

DRAVONT_API unsigned int StreamTell(DravontStream_s* stream) {
  CallScope scope("StreamTell");
  if (stream == nullptr) return invalidStream(kStreamFamily.pointerMessage);
  return callForNumber("DravontStreamTell", objectParams(*stream), 0);
}

DRAVONT_API unsigned int StreamLength(DravontStream_s* stream) {
  CallScope scope("StreamLength");
  if (stream == nullptr) return invalidStream(kStreamFamily.pointerMessage);
  return callForNumber("DravontStreamLength", objectParams(*stream), 0);
}

DRAVONT_API unsigned int StreamSeek(DravontStream_s* stream, unsigned int offset, int origin) {
  CallScope scope("StreamSeek");
  if (stream == nullptr) return invalidStream(kStreamFamily.pointerMessage);
  return callForNumber("DravontStreamSeek", objectParams(*stream).add(offset).add(origin), 0);
}

DRAVONT_API unsigned int StreamWriteToStream(DravontStream_s* first, DravontStream_s* second) {
  CallScope scope("StreamWriteToStream");
  if (first == nullptr || second == nullptr) return invalidStream("Invalid DravontStream pointers");
  return callForNumber("DravontStream2Stream", objectParams(*first).add(second->handle), 0);
}

DRAVONT_API int GetDravontSubstream(DravontStream_s* source, DravontStream_s* target, unsigned int start,
                                    unsigned int length) {
  CallScope scope("GetDravontSubstream");
  if (source == nullptr || target == nullptr) return invalidArgument("Invalid DravontStream pointers");
  return constructObject(target, source->context, "GetDravontSubstream", objectParams(*source).add(start).add(length));
}

DRAVONT_API int AddStreamFilter(DravontStream_s*, DravontFilter_s*) {
  CallScope scope("AddStreamFilter");
  return kResultSuccess;
}

DRAVONT_API int RemoveStreamFilter(DravontStream_s*, DravontFilter_s*) {
  CallScope scope("RemoveStreamFilter");
  return kResultSuccess;
}

}  // extern "C"

}  // namespace Quillex
