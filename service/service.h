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
}

namespace dravont_service {

struct ServiceOptions {
  std::string storeDirectory = "dravont-store";
  std::string version = "21.0.0.0";
  bool testHooks = false;
  std::size_t scriptMemoryBudget = 32u << 20;
  int scriptTimeMilliseconds = 10000;
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

  // Reads the settings file and opens a context for its participant.
  OpenedContext openContext(const std::string& settingsPath);
  // The context, or nullptr when the number is not (or no longer) open.
  std::shared_ptr<Context> findContext(int number) const;
  bool freeContext(int number);
  std::size_t contextCount() const;

 private:
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
};

}  // namespace dravont_service
