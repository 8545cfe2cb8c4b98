// The service as a whole: the store and its parts, the address book and the
// open contexts. Thread-safe: the registry of contexts has its own lock,
// each context its own (Context::lock()), and the store parts theirs; the
// order is context before store, never the reverse.
#pragma once

#include <cstddef>
#include <map>
#include <memory>
#include <shared_mutex>
#include <string>

#include "address_book.h"
#include "context.h"
#include "context_numbers.h"
#include "message_store.h"
#include "param_store.h"
#include "stop_control.h"
#include "store_layout.h"
#include "test_hooks.h"

namespace platform {
class ExclusiveFileLock;
class ProcessWatch;
}

namespace dravont_service {

struct ServiceOptions {
  std::string storeDirectory = "dravont-store";
  std::string version = "21.0.0.0";
  bool testHooks = false;
  std::size_t scriptMemoryBudget = 32u << 20;
  int scriptTimeMilliseconds = 10000;
  // The Wine prefix of Windows clients, whose drive paths are then opened
  // in it (client_paths.h); empty: paths are opened as they come.
  std::string winePrefix;
};

// The text that tells a client its context is gone (the service restarted,
// or the context was freed): the client library reports a lost session.
inline constexpr char kUnknownContextText[] = "Thread do not own context pointer provided";

struct OpenedContext {
  int number = 0;
  std::string error;
  int status = 0;
};

class Service {
 public:
  explicit Service(ServiceOptions options);
  ~Service();

  // Creates or opens the store and takes its lock. Returns "" or a text
  // saying why the store cannot be used.
  std::string open();

  const ServiceOptions& options() const { return options_; }
  const StoreLayout& layout() const { return layout_; }
  MessageStore& store() { return store_; }
  ParamStore& params() { return params_; }
  AddressBook& addressBook() { return addressBook_; }
  TestHooks& hooks() { return hooks_; }
  StopControl& stopControl() { return stopControl_; }

  // The file a client's path names on this system (client_paths.h).
  std::string localPath(const std::string& clientPath) const;
  // Reads the settings file and opens a context for its participant. The
  // contexts of clients that have ended are freed first.
  OpenedContext openContext(const std::string& settingsPath);
  // Remembers the client process of an open context, as its module report
  // names it, so that the context is freed once that process has ended: a
  // killed client never frees its contexts, and their file streams would
  // keep its files open (on Windows, in the way of moving them on). A
  // client whose executable path is not one of this system's runs under
  // another system's process numbers (a Windows program under Wine) and is
  // not watched.
  void watchClient(int number, const std::string& executablePath, int processId);
  // The context, or nullptr when the number is not (or no longer) open.
  std::shared_ptr<Context> findContext(int number) const;
  bool freeContext(int number);
  std::size_t contextCount() const;

 private:
  void freeContextsOfEndedClients();

  ServiceOptions options_;
  StoreLayout layout_;
  std::unique_ptr<platform::ExclusiveFileLock> storeLock_;
  MessageStore store_;
  ParamStore params_;
  AddressBook addressBook_;
  ContextNumbers contextNumbers_;
  TestHooks hooks_;
  StopControl stopControl_;
  mutable std::shared_mutex contextsMutex_;
  std::map<int, std::shared_ptr<Context>> contexts_;
  std::map<int, std::unique_ptr<platform::ProcessWatch>> clients_;  // by context number
};

}  // namespace dravont_service
