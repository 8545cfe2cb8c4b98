// Methods of the stream family: file and buffer streams, reading, writing,
// positions, copies and substreams.
#include <limits>

#include "rpc_method.h"
#include "stream_open.h"

namespace dravont_service {

using Quillex::XmlRpcValue;

namespace {

XmlRpcValue fileCtor(Call& call) {
  std::string error;
  std::shared_ptr<Stream> stream =
      openFileStream(call.service.localPath(call.textAt(1)), call.textAt(2), call.textAt(3), error);
  check(error);
  return answer(wireInt(call.ctx().objects().add(std::move(stream))), "");
}

XmlRpcValue bufferCtor(Call& call) {
  const XmlRpcValue::BinaryData& bytes = call.binaryAt(1);
  const auto announced = static_cast<std::uint32_t>(call.intAt(2));
  if (announced != bytes.size()) {
    throw ServiceError{"The buffer holds " + std::to_string(bytes.size()) + " bytes, not the " +
                       std::to_string(announced) + " announced"};
  }
  std::shared_ptr<Stream> stream = openBufferStream(std::string(bytes.begin(), bytes.end()), call.textAt(3));
  return answer(wireInt(call.ctx().objects().add(std::move(stream))), "");
}

XmlRpcValue write(Call& call) {
  std::shared_ptr<Stream> stream = streamAt(call, 1);
  const XmlRpcValue::BinaryData& bytes = call.binaryAt(2);
  const auto announced = static_cast<std::uint32_t>(call.intAt(3));
  const std::size_t count = std::min<std::size_t>(bytes.size(), announced);
  std::size_t written = 0;
  std::string error = stream->write(std::string_view(bytes.data(), count), written);
  if (error.empty() && count < announced) {
    error = "Only " + std::to_string(bytes.size()) + " of the " + std::to_string(announced) + " bytes were sent";
  }
  return answer(wireInt(written), error);
}

XmlRpcValue read(Call& call) {
  std::shared_ptr<Stream> stream = streamAt(call, 1);
  std::string bytes;
  const std::string error = stream->read(static_cast<std::uint32_t>(call.intAt(2)), bytes);
  return answer(wireInt(bytes.size()), binaryValue(bytes), error);
}

XmlRpcValue tell(Call& call) { return answer(wireInt(streamAt(call, 1)->tell()), ""); }

XmlRpcValue length(Call& call) {
  std::uint64_t bytes = 0;
  const std::string error = streamAt(call, 1)->length(bytes);
  return answer(wireInt(bytes), error);
}

XmlRpcValue seek(Call& call) {
  std::uint64_t position = 0;
  const std::string error =
      streamAt(call, 1)->seek(static_cast<std::uint32_t>(call.intAt(2)), call.intAt(3), position);
  return answer(wireInt(position), error);
}

// Copies the first stream, from its position to its end, into the second at
// the second's position; both positions move past the bytes.
XmlRpcValue streamToStream(Call& call) {
  std::shared_ptr<Stream> source = streamAt(call, 1);
  std::shared_ptr<Stream> target = streamAt(call, 2);
  if (source == target) throw ServiceError{"A stream can't be copied into itself"};
  std::uint64_t copied = 0;
  for (;;) {
    std::string chunk;
    if (std::string error = source->read(1u << 20, chunk); !error.empty()) return answer(wireInt(copied), error);
    if (chunk.empty()) break;
    std::size_t written = 0;
    if (std::string error = target->write(chunk, written); !error.empty()) return answer(wireInt(copied), error);
    copied += written;
  }
  return answer(wireInt(copied), "");
}

// [2] start, [3] length; a length of 0xFFFFFFFF (-1 on the wire) reaches to
// the end of the source, however it grows.
XmlRpcValue substream(Call& call) {
  std::shared_ptr<Stream> source = streamAt(call, 1);
  const auto start = static_cast<std::uint32_t>(call.intAt(2));
  const auto length = static_cast<std::uint32_t>(call.intAt(3));
  std::optional<std::uint64_t> limit;
  if (length != std::numeric_limits<std::uint32_t>::max()) limit = length;
  return answer(wireInt(call.ctx().objects().add(source->substream(start, limit))), "");
}

}  // namespace

std::vector<MethodSpec> streamMethods() {
  return {
      {"DravontStreamFileCtor", "isss", "iE", fileCtor},
      {"DravontStreamBufferCtor", "ibis", "iE", bufferCtor},
      {"DravontStreamWrite", "iibi", "iE", write},
      {"DravontStreamRead", "iii", "ibE", read},
      {"DravontStreamTell", "ii", "iE", tell},
      {"DravontStreamLength", "ii", "iE", length},
      {"DravontStreamSeek", "iiii", "iE", seek},
      {"DravontStream2Stream", "iii", "iE", streamToStream},
      {"GetDravontSubstream", "iiii", "iE", substream},
  };
}

}  // namespace dravont_service
