#include "service.h"

#include <mutex>
#include <system_error>
#include <vector>

#include "client_paths.h"
#include "platform/file_lock.h"
#include "platform/path.h"
#include "platform/process_watch.h"

namespace dravont_service {

Service::Service(ServiceOptions options)
    : options_(std::move(options)),
      layout_(options_.storeDirectory),
      store_(layout_),
      params_(layout_),
      addressBook_(layout_),
      contextNumbers_(layout_) {}

Service::~Service() = default;

std::string Service::open() {
  if (int error = layout_.create()) {
    return "Can't create the store directory \"" + layout_.root() + "\": " + std::generic_category().message(error);
  }
  int lockError = 0;
  storeLock_ = platform::ExclusiveFileLock::tryAcquire(layout_.file("service.lock"), lockError);
  if (!storeLock_) {
    if (lockError == EWOULDBLOCK) return "The store \"" + layout_.root() + "\" is in use by another dravont-service";
    return "Can't lock the store \"" + layout_.root() + "\": " + std::generic_category().message(lockError);
  }
  for (std::string error : {store_.open(), params_.load(), addressBook_.open(), contextNumbers_.open()}) {
    if (!error.empty()) return error;
  }
  return "";
}

std::string Service::localPath(const std::string& clientPath) const {
  return dravont_service::localPath(clientPath, options_.winePrefix);
}

OpenedContext Service::openContext(const std::string& settingsPath) {
  freeContextsOfEndedClients();
  OpenedContext opened;
  std::optional<ParticipantSettings> settings =
      loadParticipantSettings(localPath(settingsPath), opened.error, opened.status);
  if (!settings) return opened;
  if (std::string error = addressBook_.registerParticipant(settings->address(), settingsPath); !error.empty()) {
    opened.error = error;
    opened.status = kServiceFailure;
    return opened;
  }
  std::string error;
  const int number = contextNumbers_.next(error);
  if (number == 0) {
    opened.error = error;
    opened.status = kServiceFailure;
    return opened;
  }
  const ScriptLimits limits{options_.scriptMemoryBudget, options_.scriptTimeMilliseconds, &stopControl_};
  auto context = std::make_shared<Context>(*this, number, std::move(*settings), limits);
  std::unique_lock<std::shared_mutex> lock(contextsMutex_);
  contexts_.emplace(number, std::move(context));
  opened.number = number;
  return opened;
}

std::shared_ptr<Context> Service::findContext(int number) const {
  std::shared_lock<std::shared_mutex> lock(contextsMutex_);
  const auto found = contexts_.find(number);
  return found == contexts_.end() ? nullptr : found->second;
}

bool Service::freeContext(int number) {
  std::shared_ptr<Context> freed;  // destroyed outside the registry lock
  std::unique_lock<std::shared_mutex> lock(contextsMutex_);
  const auto found = contexts_.find(number);
  if (found == contexts_.end()) return false;
  freed = std::move(found->second);
  contexts_.erase(found);
  clients_.erase(number);
  return true;
}

void Service::watchClient(int number, const std::string& executablePath, int processId) {
  if (platform::isRelativePath(executablePath)) return;
  std::unique_ptr<platform::ProcessWatch> watch = platform::ProcessWatch::open(processId);
  if (!watch) return;
  std::unique_lock<std::shared_mutex> lock(contextsMutex_);
  if (contexts_.contains(number)) clients_[number] = std::move(watch);
}

void Service::freeContextsOfEndedClients() {
  std::vector<std::shared_ptr<Context>> freed;  // destroyed outside the registry lock
  std::unique_lock<std::shared_mutex> lock(contextsMutex_);
  for (auto client = clients_.begin(); client != clients_.end();) {
    if (!client->second->ended()) {
      ++client;
      continue;
    }
    if (const auto found = contexts_.find(client->first); found != contexts_.end()) {
      freed.push_back(std::move(found->second));
      contexts_.erase(found);
    }
    client = clients_.erase(client);
  }
}

std::size_t Service::contextCount() const {
  std::shared_lock<std::shared_mutex> lock(contextsMutex_);
  return contexts_.size();
}

}  // namespace dravont_service
