#include "dravontdll/library_state.h"

#include <cstdlib>
#include <memory>
#include <mutex>
#include <new>
#include <optional>

#include "dravont/dravontdll.h"
#include "dravontdll/call_scope.h"
#include "dravontdll/last_error.h"
#include "platform/environment.h"
#include "platform/process.h"
#include "transport/xmlrpc_client.h"
#include "transport/xmlrpc_report.h"

namespace Quillex {

extern "C" {
DRAVONT_API int RpcPort = kDefaultRpcPort;
DRAVONT_API unsigned long XmlRpcClientIndex = 0;
DRAVONT_API unsigned long LastErrorIndex = 0;
DRAVONT_API unsigned long MallocIndex = 0;
DRAVONT_API void* hDLLModule = nullptr;
}

namespace {

constexpr char kServiceHost[] = "127.0.0.1";
constexpr char kServicePath[] = "/RPC2";
constexpr int kThreadSlotFailureExitCode = 127;

// How long a call waits for the service's answer (XMLRPCTIMEOUT, seconds).
// Every call of a live service ends within seconds, the largest posts
// included; a call that waits longer waits on a hung service or on a
// connection whose end never showed, and fails as a lost session instead.
int answerTimeoutSeconds = kDefaultAnswerTimeoutSeconds;

struct Slots {
  std::unique_ptr<platform::ThreadSlot> client;
  std::unique_ptr<platform::ThreadSlot> lastError;
  std::unique_ptr<platform::ThreadSlot> allocate;
};

// The slots live on the heap behind a plain pointer, released only by the
// unload function. A static object with a destructor would be destroyed by
// the runtime's exit handlers, which run before the unload function when the
// library was loaded with dlopen, and the unload function would then free
// the same slots again.
Slots* slots = nullptr;

// The unload function locks it after the exit handlers ran: it is never
// destroyed (a mutex's destructor is not trivial everywhere), and it lives in
// the library's own storage, so that unloading the library leaves nothing.
std::mutex& attachMutex() {
  alignas(std::mutex) static unsigned char storage[sizeof(std::mutex)];
  static std::mutex* const mutex = new (storage) std::mutex;
  return *mutex;
}

void destroyClient(void* client) { delete static_cast<XmlRpcClient*>(client); }

// A client for the service on the calling thread.
XmlRpcClient* attachClient() {
  auto* client = new XmlRpcClient(kServiceHost, RpcPort, kServicePath);
  client->setAnswerTimeout(answerTimeoutSeconds * 1000);
  if (!slots->client->set(client)) {
    delete client;
    platform::exitCurrentThread(kThreadSlotFailureExitCode);
  }
  return client;
}

void releaseThreadState() {
  delete static_cast<XmlRpcClient*>(slots->client->get());
  slots->client->set(nullptr);
  freeLastErrorText(slots->lastError->get());
  slots->lastError->set(nullptr);
}

}  // namespace

int environmentInteger(const char* variable, int fallback) {
  const std::optional<std::string> value = platform::environmentVariable(variable);
  if (!value || value->empty() || value->size() >= 16) return fallback;
  return std::atoi(value->c_str());
}

bool attachProcess() {
  std::lock_guard<std::mutex> lock(attachMutex());
  if (slots != nullptr) return true;

  // Under the loader lock on Windows: the base only, no version resource.
  hDLLModule = const_cast<void*>(platform::moduleBaseContaining(reinterpret_cast<const void*>(&attachProcess)));
  XmlRpcLogHandler::setVerbosity(0);

  auto created = std::make_unique<Slots>();
  created->client = platform::ThreadSlot::create(destroyClient);
  if (!created->client) return false;
  created->lastError = platform::ThreadSlot::create(freeLastErrorText);
  if (!created->lastError) return false;
  created->allocate = platform::ThreadSlot::create(nullptr);
  if (!created->allocate) return false;
  slots = created.release();
  XmlRpcClientIndex = slots->client->index();
  LastErrorIndex = slots->lastError->index();
  MallocIndex = slots->allocate->index();

  RpcPort = environmentInteger("XMLRPCPORT", kDefaultRpcPort);
  XmlRpcLogHandler::setVerbosity(environmentInteger("XMLRPCVERBOSITY", 0));
  // 0 waits without limit; a negative or too large value keeps the default.
  answerTimeoutSeconds = environmentInteger("XMLRPCTIMEOUT", kDefaultAnswerTimeoutSeconds);
  if (answerTimeoutSeconds < 0 || answerTimeoutSeconds > kMaxAnswerTimeoutSeconds) {
    answerTimeoutSeconds = kDefaultAnswerTimeoutSeconds;
  }

  attachClient();
  return true;
}

void detachProcess() {
  std::lock_guard<std::mutex> lock(attachMutex());
  if (slots == nullptr) return;
  releaseCallScopes();
  releaseThreadState();
  delete slots;
  slots = nullptr;
}

// The new thread's last-error slot is NULL already; setting it is the check
// that the thread can hold one. A thread attached lazily, on its first
// service call, may hold the text of an earlier validation failure, so only
// the notified attach clears it.
void attachThread() {
  if (slots == nullptr || slots->client->get() != nullptr) return;
  attachClient();
  if (!slots->lastError->set(nullptr)) {
    delete static_cast<XmlRpcClient*>(slots->client->get());
    slots->client->set(nullptr);
    platform::exitCurrentThread(kThreadSlotFailureExitCode);
  }
}

void detachThread() {
  if (slots != nullptr) releaseThreadState();
}

XmlRpcClient& threadClient() {
  auto* client = static_cast<XmlRpcClient*>(slots->client->get());
  return client != nullptr ? *client : *attachClient();
}

platform::ThreadSlot& lastErrorSlot() { return *slots->lastError; }

AllocateFunction threadAllocateFunction() { return reinterpret_cast<AllocateFunction>(slots->allocate->get()); }

void setThreadAllocateFunction(AllocateFunction allocate) { slots->allocate->set(reinterpret_cast<void*>(allocate)); }

}  // namespace Quillex
