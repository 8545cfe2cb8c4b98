// What a context offers to the scripts it runs: its objects by handle, its
// settings, object creation for the script constructors, and the stored
// parameters. Implemented by Context; called by the script environment's
// native functions while the context is locked for the script's RPC call.
// Every function returns "" or an error text, which the script sees thrown.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "object_table.h"
#include "participant_settings.h"

namespace dravont_service {

class ScriptHost {
 public:
  virtual ~ScriptHost() = default;

  virtual const ParticipantSettings& settings() const = 0;
  // Named script fragments to run, in order, whenever a fresh heap is built.
  virtual const std::vector<std::pair<std::string, std::string>>& mixins() const = 0;

  virtual bool hasObject(ObjectKind kind, Handle handle) = 0;
  // A property of an object as a script sees it; `value` stays empty for a
  // property the object does not have.
  virtual std::string objectProperty(ObjectKind kind, Handle handle, const std::string& name,
                                     std::optional<std::string>& value) = 0;
  virtual std::string setObjectProperty(ObjectKind kind, Handle handle, const std::string& name,
                                        const std::string& value) = 0;
  virtual std::string addRecipient(Handle message, const std::string& address) = 0;

  virtual std::string createUrl(const std::string& url, const std::map<std::string, std::string>& parameters,
                                Handle& handle) = 0;
  virtual std::string createMessage(const std::string& subject, Handle& handle) = 0;

  virtual std::optional<std::string> readParam(const std::string& key) = 0;
  virtual std::string saveParam(const std::string& key, const std::string& value) = 0;
};

}  // namespace dravont_service
