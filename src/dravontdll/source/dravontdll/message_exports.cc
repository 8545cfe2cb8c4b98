// Exports that fill and read messages: custom headers, date, attachments,
// signatures, the whole message and its sender.
#include <ctime>

#include "dravontdll/call_scope.h"
#include "dravontdll/handle_family.h"

namespace Quillex {

namespace {

constexpr char kMessageOrOutput[] = "Invalid DravontMessage or return value pointer";
constexpr char kMessageOrStreams[] = "Invalid DravontMessage or DravontStream pointers";
constexpr char kMessageOrInt[] = "Invalid DravontMessage or int pointers";

// A count answer ([0] int, [1] error): the count is written before the
// error text is looked at.
int countAnswerCall(const char* method, const RpcParams& params, int* count) {
  XmlRpcValue answer;
  if (!callService(method, params, answer)) return kResultCallFailed;
  *count = answer[0].asInt();
  return recordServiceText(answer[1]);
}

// The service's calendar record, read as local time of this machine. Like
// the 64-bit conversion the message dates were defined with, times before
// 1970 do not convert and give -1 (an all-zero record is one of them).
long long localTimeToEpoch(std::tm calendar) {
  calendar.tm_isdst = -1;  // the conversion decides daylight saving itself
  const std::time_t seconds = std::mktime(&calendar);
  return seconds < 0 ? -1 : static_cast<long long>(seconds);
}

}  // namespace

extern "C" {

DRAVONT_API int GetDravontMessageCustomHeader(DravontMessage_s* message, const char* name, char** value) {
  CallScope scope("GetDravontMessageCustomHeader");
  if (value != nullptr) *value = nullptr;
  if (message == nullptr || value == nullptr) return invalidArgument(kMessageOrOutput);
  return callForString("GetDravontMessageCustomHeader", objectParams(*message).addText(name), value);
}

DRAVONT_API int SetDravontMessageCustomHeader(DravontMessage_s* message, const char* name, const char* value) {
  CallScope scope("SetDravontMessageCustomHeader");
  if (message == nullptr || name == nullptr || value == nullptr) {
    return invalidArgument("Invalid DravontMessage or header or value pointers");
  }
  return callForErrorText("SetDravontMessageCustomHeader", objectParams(*message).addText(name).addText(value),
                          ErrorTextAnswer::kFirstElement);
}

DRAVONT_API int RemoveDravontMessageCustomHeader(DravontMessage_s* message, const char* name) {
  CallScope scope("RemoveDravontMessageCustomHeader");
  if (message == nullptr || name == nullptr) return invalidArgument("Invalid DravontMessage or header pointer");
  XmlRpcValue answer;
  if (!callService("RemoveDravontMessageCustomHeader", objectParams(*message).addText(name), answer)) {
    return kResultCallFailed;
  }
  if (recordServiceText(answer[1]) != kResultSuccess) return kResultServiceError;
  if (answer[0].asInt() == 0) return recordLastError("Non existent header");
  return kResultSuccess;
}

DRAVONT_API int GetDravontMessageDate(DravontMessage_s* message, long long* time) {
  CallScope scope("GetDravontMessageDate");
  if (message == nullptr || time == nullptr) return invalidArgument("Invalid DravontMessage or time pointer");
  *time = 0;
  XmlRpcValue answer;
  if (!callService("GetDravontMessageDate", objectParams(*message), answer)) return kResultCallFailed;
  if (recordServiceText(answer[1]) != kResultSuccess) return kResultServiceError;
  *time = localTimeToEpoch(answer[0].asDateTime());
  return kResultSuccess;
}

DRAVONT_API int DravontAttachStreamToMessage(DravontMessage_s* message, DravontStream_s* stream,
                                             ProtectionLevel_t level) {
  CallScope scope("DravontAttachStreamToMessage");
  if (message == nullptr || stream == nullptr) return invalidArgument(kMessageOrStreams);
  return callForErrorText("DravontAttachStreamToMessage",
                          objectParams(*message).add(stream->handle).add(static_cast<int>(level)),
                          ErrorTextAnswer::kText);
}

DRAVONT_API int DravontAttachSignedStreamToMessage(DravontMessage_s* message, DravontStream_s* data,
                                                   DravontStream_s* signature, ProtectionLevel_t level) {
  CallScope scope("DravontAttachSignedStreamToMessage");
  if (message == nullptr || data == nullptr || signature == nullptr) return invalidArgument(kMessageOrStreams);
  return callForErrorText("DravontAttachSignedStreamToMessage",
                          objectParams(*message).add(data->handle).add(signature->handle).add(static_cast<int>(level)),
                          ErrorTextAnswer::kText);
}

DRAVONT_API int GetNumOfDravontMessageAttachments(DravontMessage_s* message, int* count) {
  CallScope scope("GetNumOfDravontMessageAttachments");
  if (message == nullptr || count == nullptr) return invalidArgument(kMessageOrInt);
  return countAnswerCall("GetNumOfDravontMessageAttachments", objectParams(*message), count);
}

DRAVONT_API int GetDravontMessageAttachmentFilename(DravontMessage_s* message, int attachment, char** name) {
  CallScope scope("GetDravontMessageAttachmentFilename");
  if (name != nullptr) *name = nullptr;
  if (message == nullptr || name == nullptr) return invalidArgument(kMessageOrOutput);
  return callForString("GetDravontMessageAttachmentFilename", objectParams(*message).add(attachment), name);
}

DRAVONT_API int GetDravontMessageAttachmentSize(DravontMessage_s* message, int attachment, unsigned int* size) {
  CallScope scope("GetDravontMessageAttachmentSize");
  if (message == nullptr || size == nullptr) return invalidArgument(kMessageOrOutput);
  XmlRpcValue answer;
  if (!callService("GetDravontMessageAttachmentSize", objectParams(*message).add(attachment), answer)) {
    return kResultCallFailed;
  }
  if (recordServiceText(answer[1]) != kResultSuccess) return kResultServiceError;
  *size = static_cast<unsigned int>(answer[0].asInt());
  return kResultSuccess;
}

DRAVONT_API unsigned int SaveDravontMessageAttachment(DravontMessage_s* message, int attachment,
                                                      DravontStream_s* stream) {
  CallScope scope("SaveDravontMessageAttachment");
  if (message == nullptr || stream == nullptr) return static_cast<unsigned int>(invalidArgument(kMessageOrStreams));
  return callForNumber("SaveDravontMessageAttachment", objectParams(*message).add(attachment).add(stream->handle),
                       kResultCallFailed);
}

DRAVONT_API unsigned int SaveDravontMessageAttachmentSignature(DravontMessage_s* message, int attachment,
                                                               DravontStream_s* stream) {
  CallScope scope("SaveDravontMessageAttachmentSignature");
  if (message == nullptr || stream == nullptr) return static_cast<unsigned int>(invalidArgument(kMessageOrStreams));
  return callForNumber("SaveDravontMessageAttachmentSignature",
                       objectParams(*message).add(attachment).add(stream->handle), kResultCallFailed);
}

DRAVONT_API int GetNumOfDravontMessageAttachmentSignatures(DravontMessage_s* message, int attachment, int* count) {
  CallScope scope("GetNumOfDravontMessageAttachmentSignatures");
  if (message == nullptr || count == nullptr) return invalidArgument(kMessageOrInt);
  return countAnswerCall("GetNumOfDravontMessageAttachmentSignatures", objectParams(*message).add(attachment), count);
}

DRAVONT_API int GetDravontMessageAttachmentSignatureAttr(DravontMessage_s* message, int attachment, int signature,
                                                         const char* name, char** value) {
  CallScope scope("GetDravontMessageAttachmentSignatureAttr");
  if (value != nullptr) *value = nullptr;
  if (message == nullptr || value == nullptr) return invalidArgument(kMessageOrOutput);
  return callForString("GetDravontMessageAttachmentSignatureAttr",
                       objectParams(*message).add(attachment).add(signature).addText(name), value);
}

DRAVONT_API unsigned int DravontMessageToStream(DravontMessage_s* message, DravontStream_s* stream) {
  CallScope scope("DravontMessageToStream");
  if (message == nullptr || stream == nullptr) return static_cast<unsigned int>(invalidArgument(kMessageOrStreams));
  return callForNumber("DravontMessageToStream", objectParams(*message).add(stream->handle), kResultCallFailed);
}

DRAVONT_API int GetDravontMessageSender(DravontMessage_s* message, DravontAddress_s* address) {
  CallScope scope("GetDravontMessageSender");
  if (message == nullptr || address == nullptr) {
    return invalidArgument("Invalid DravontMessage or DravontAddress pointers");
  }
  return constructObject(address, message->context, "GetDravontMessageSender", objectParams(*message));
}

}  // extern "C"

}  // namespace Quillex
