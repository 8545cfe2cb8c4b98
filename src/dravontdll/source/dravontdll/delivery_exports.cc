// Delivery exports: URL streams and transfer, posting, collecting,
// confirming, and the status of sent messages.
#include <cstddef>
#include <cstdint>
#include <limits>

#include "dravontdll/call_scope.h"
#include "dravontdll/handle_family.h"
#include "dravontdll/library_state.h"

namespace Quillex {

namespace {

constexpr char kUrlOrStream[] = "Invalid DravontURL or DravontStream pointer";

int urlStreamCall(const char* method, DravontURL* url, DravontStream_s* stream) {
  if (url == nullptr || stream == nullptr) return invalidArgument(kUrlOrStream);
  return callForErrorText(method, objectParams(*url).add(stream->handle), ErrorTextAnswer::kText);
}

// Confirm and ConfirmMessage: [0] found, [1] error text.
int confirmAnswer(XmlRpcValue& answer) {
  if (recordServiceText(answer[1]) != kResultSuccess) return kResultServiceError;
  if (answer[0].asInt() == 0) return recordLastError("Can't find message id in database");
  return kResultSuccess;
}

// The answer of "DravontCollect": [0] error, [1] n, [2..n+1] handles. An n
// below 0 or beyond the handles the answer carries is a broken answer.
bool collectedCountFits(const XmlRpcValue& answer, int count) { return count >= 0 && count <= answer.size() - 2; }

}  // namespace

extern "C" {

DRAVONT_API int DravontURLSetWriteStream(DravontURL* url, DravontStream_s* stream) {
  CallScope scope("DravontURLSetWriteStream");
  return urlStreamCall("DravontURLSetWriteStream", url, stream);
}

DRAVONT_API int DravontURLSetReadStream(DravontURL* url, DravontStream_s* stream) {
  CallScope scope("DravontURLSetReadStream");
  return urlStreamCall("DravontURLSetReadStream", url, stream);
}

DRAVONT_API int DravontURLPerform(DravontURL* url) {
  CallScope scope("DravontURLPerform");
  if (url == nullptr) return invalidArgument(kUrlFamily.pointerMessage);
  return callForErrorText("DravontURLPerform", objectParams(*url), ErrorTextAnswer::kText);
}

DRAVONT_API int PostMessageTo(DravontMessage_s* message, DravontURL* url, char** messageId) {
  CallScope scope("PostMessageTo");
  if (messageId != nullptr) *messageId = nullptr;
  if (message == nullptr || url == nullptr) return invalidArgument("Invalid DravontMessage or DravontURL pointers");
  XmlRpcValue answer;
  if (!callService("PostMessageTo", objectParams(*message).add(url->handle), answer)) return kResultCallFailed;
  if (recordServiceText(answer[1]) != kResultSuccess) return kResultServiceError;
  if (messageId == nullptr) return kResultSuccess;
  return deliverStringResult(answer[0].asString(), messageId);
}

DRAVONT_API int DravontCollect(DravontURL* url, const char* filter, unsigned int* count, DravontMessage_s** messages) {
  CallScope scope("DravontCollect");
  if (url == nullptr || count == nullptr || messages == nullptr) return invalidArgument("Invalid input pointers");
  *messages = nullptr;
  XmlRpcValue answer;
  if (!callService("DravontCollect", objectParams(*url).add(*count).addText(filter), answer)) {
    return kResultCallFailed;
  }
  const AllocateFunction allocate = threadAllocateFunction();
  if (allocate == nullptr) {
    recordLastError("Invalid callback function pointer");
    return kResultCannotReturnString;
  }
  if (recordServiceText(answer[0]) != kResultSuccess) return kResultServiceError;

  const int collected = answer[1].asInt();
  if (!collectedCountFits(answer, collected)) {
    recordLastError(callFailedText("DravontCollect").c_str());
    return kResultCallFailed;
  }
  const std::size_t bytes = static_cast<std::size_t>(collected) * sizeof(DravontMessage_s);
  *count = static_cast<unsigned int>(collected);
  auto* records = bytes <= std::numeric_limits<unsigned int>::max()
                      ? static_cast<DravontMessage_s*>(allocate(static_cast<unsigned int>(bytes)))
                      : nullptr;
  if (records == nullptr) {
    *count = 0;
    recordLastError("Can't allocate memory");
    return kResultCannotReturnString;
  }
  for (int i = 0; i < collected; ++i) {
    records[i].handle = static_cast<unsigned int>(answer[i + 2].asInt());
    records[i].context = url->context;
  }
  *messages = records;
  return kResultSuccess;
}

DRAVONT_API int Confirm(DravontURL* url, DravontMessage_s* message, int status, const char* text, DravontURL* sendUrl) {
  CallScope scope("Confirm");
  if (url == nullptr || message == nullptr || sendUrl == nullptr) {
    return invalidArgument("Invalid DravontMessage or DravontURL pointers");
  }
  XmlRpcValue answer;
  if (!callService("Confirm", objectParams(*url).add(message->handle).add(status).addText(text).add(sendUrl->handle),
                   answer)) {
    return kResultCallFailed;
  }
  return confirmAnswer(answer);
}

DRAVONT_API int ConfirmMessage(DravontURL* url, const char* messageId, int status, const char* text,
                               DravontURL* sendUrl) {
  CallScope scope("ConfirmMessage");
  if (url == nullptr || messageId == nullptr || sendUrl == nullptr) {
    return invalidArgument("Invalid MessageId or DravontURL pointers");
  }
  XmlRpcValue answer;
  if (!callService("ConfirmMessage",
                   objectParams(*url).addText(messageId).add(status).addText(text).add(sendUrl->handle), answer)) {
    return kResultCallFailed;
  }
  return confirmAnswer(answer);
}

DRAVONT_API int GetMessageStatus(DravontContext_s* context, const char* messageId, int* status) {
  CallScope scope("GetMessageStatus");
  if (messageId == nullptr || status == nullptr) return invalidArgument("Invalid MessageId or status pointer");
  XmlRpcValue answer;
  if (!callService("GetMessageStatus", RpcParams().add(context).addText(messageId), answer)) return kResultCallFailed;
  if (recordServiceText(answer[1]) != kResultSuccess) return kResultServiceError;
  *status = answer[0].asInt();
  return kResultSuccess;
}

DRAVONT_API int GetExactMessageStatus(DravontContext_s* context, const char* messageId, DravontAddress_s* address,
                                      int* status, char** value) {
  CallScope scope("GetExactMessageStatus");
  if (value != nullptr) *value = nullptr;
  if (messageId == nullptr || address == nullptr || status == nullptr || value == nullptr) {
    return invalidArgument("Invalid MessageId or status or value pointers");
  }
  XmlRpcValue answer;
  if (!callService("GetExactMessageStatus", RpcParams().add(context).addText(messageId).add(address->handle), answer)) {
    return kResultCallFailed;
  }
  if (recordServiceText(answer[2]) != kResultSuccess) return kResultServiceError;
  *status = answer[0].asInt();
  return deliverStringResult(answer[1].asString(), value);
}

}  // extern "C"

}  // namespace Quillex
