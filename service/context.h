// One client context: the participant whose settings file opened it, the
// objects it holds under handles, its script heap and mixins. Implements the
// ScriptHost its scripts call back into. A context is used by one RPC call at
// a time: callers hold lock() for the whole call (the script heap and the
// object table are not synchronised otherwise).
#pragma once

#include <cstddef>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "object_table.h"
#include "participant_settings.h"
#include "script_heap.h"
#include "script_host.h"

namespace dravont_service {

class Service;

class Context final : public ScriptHost {
 public:
  Context(Service& service, int number, ParticipantSettings settings, const ScriptLimits& scriptLimits);
  ~Context() override;

  std::mutex& lock() { return mutex_; }
  int number() const { return number_; }
  Service& service() { return service_; }
  ObjectTable& objects() { return objects_; }
  ScriptHeap& scripts() { return scripts_; }
  std::string ownAddress() const { return settings_.address(); }

  // A property as the "...Get" methods and the scripts read it; `value`
  // stays empty for a name the object does not have.
  std::string property(ObjectKind kind, Handle handle, const std::string& name, std::optional<std::string>& value);

  // Installs (or replaces) a named fragment and runs it now; returns "" or
  // the script's error (the fragment is then not kept).
  std::string addMixin(const std::string& name, const std::string& script);
  std::string removeMixin(const std::string& name);

  std::string detachedSignaturePattern;

  // ScriptHost
  const ParticipantSettings& settings() const override { return settings_; }
  const std::vector<std::pair<std::string, std::string>>& mixins() const override { return mixins_; }
  bool hasObject(ObjectKind kind, Handle handle) override;
  std::string objectProperty(ObjectKind kind, Handle handle, const std::string& name,
                             std::optional<std::string>& value) override;
  std::string setObjectProperty(ObjectKind kind, Handle handle, const std::string& name,
                                const std::string& value) override;
  std::string addRecipient(Handle message, const std::string& address) override;
  std::string createUrl(const std::string& url, const std::map<std::string, std::string>& parameters,
                        Handle& handle) override;
  std::string createMessage(const std::string& subject, Handle& handle) override;
  std::optional<std::string> readParam(const std::string& key) override;
  std::string saveParam(const std::string& key, const std::string& value) override;

 private:
  Service& service_;
  const int number_;
  const ParticipantSettings settings_;
  std::mutex mutex_;
  ObjectTable objects_;
  std::vector<std::pair<std::string, std::string>> mixins_;
  ScriptHeap scripts_;
};

// Splits "EMAIL@ticker.service" at the first '.' after the '@'; false for
// other texts.
bool splitAddress(const std::string& address, std::string& ticker, std::string& service);

// A new outgoing message from this context's participant, dated now.
Message newOutgoingMessage(const Context& context);

}  // namespace dravont_service
