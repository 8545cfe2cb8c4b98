#include "gateway/exchange.h"

#include <chrono>
#include <filesystem>
#include <cstdlib>
#include <memory>
#include <optional>
#include <sstream>
#include <thread>
#include <vector>

#include "gateway/exchange_world.h"
#include "platform/child_process.h"
#include "support/temp_directory.h"

namespace gateway_bench {

namespace {

using Clock = std::chrono::steady_clock;

// Often enough that the arrival time is known to a few milliseconds, seldom
// enough that the watching costs the two cores next to nothing.
constexpr auto kPollInterval = std::chrono::milliseconds(20);

std::unique_ptr<platform::ChildProcess> startGateway(const std::string& ini, int port, std::string& error) {
  return platform::ChildProcess::start({TRASVIK_PROGRAM, "/ini:" + ini}, false, error,
                                       {"XMLRPCPORT=" + std::to_string(port)});
}

bool running(platform::ChildProcess& gateway) { return !gateway.wait(0).has_value(); }

// The durable flushes a gateway's last stop record counts; nullopt when its
// log has none.
std::optional<std::uint64_t> gatewayFlushes(const std::string& log) {
  std::istringstream lines(testing_support::readFile(log));
  std::optional<std::uint64_t> flushes;
  const std::string marker = "durable flushes since the start";
  for (std::string line; std::getline(lines, line);) {
    const std::size_t end = line.find(marker);
    const std::size_t comma = line.rfind(", ", end);
    if (end == std::string::npos || comma == std::string::npos) continue;
    flushes = std::strtoull(line.c_str() + comma + 2, nullptr, 10);
  }
  return flushes;
}

// SIGTERM, then the exit status (-1 when it does not end in time).
int stopGateway(platform::ChildProcess& gateway) {
  gateway.terminate();
  return gateway.wait(60000).value_or(-1);
}

// Says which received file is missing or has the wrong size, or "". The
// envelopes of received pairs are not sized.
std::string checkReceived(const std::string& incoming, int files, std::size_t bytes) {
  if (const int count = countVisibleFiles(incoming); count != files) {
    return std::to_string(count) + " files received, not " + std::to_string(files);
  }
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(incoming, error)) {
    if (entry.path().extension() == ".env") continue;
    if (entry.file_size(error) != bytes) return entry.path().string() + " has the wrong size";
  }
  return "";
}

// Waits until B holds every file and A's out directory is empty; the times
// from `start` to the moment the last file was seen in B's in directory and
// to the moment A's out directory was seen empty, or the failure.
std::string awaitDelivery(const ExchangeWorld& world, int files, platform::ChildProcess& sender,
                          platform::ChildProcess& receiver, Clock::time_point start, ExchangeResult& result) {
  // Generous: a gateway that stalls shows as a failure, not as a hang.
  const auto deadline = start + std::chrono::seconds(600);
  bool arrived = false;
  bool sent = false;
  bool begun = false;
  for (;;) {
    const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
    if (!sent && countVisibleFiles(world.outgoing()) == 0) {
      result.senderSeconds = elapsed;
      sent = true;
    }
    const int received = arrived ? 0 : countVisibleFiles(world.incoming());
    if (!begun && received > 0) {
      result.firstArrivalSeconds = elapsed;
      begun = true;
    }
    if (!arrived && received >= world.receivedFiles(files)) {
      result.seconds = elapsed;
      arrived = true;
    }
    if (arrived && sent) return "";
    if (!running(sender) || !running(receiver)) return "a gateway ended early (see its trasvik.log)";
    if (Clock::now() > deadline) return "not every file arrived within 600 s";
    std::this_thread::sleep_for(kPollInterval);
  }
}

}  // namespace

ExchangeResult runExchange(int files, std::size_t bytes, std::uint32_t maxAttachmentSize, Outgoing outgoing,
                           bool keepState) {
  ExchangeResult result;
  ExchangeWorld world(maxAttachmentSize, outgoing, keepState);
  if (result.error = world.writeOutgoingFiles(files, bytes); !result.error.empty()) return result;
  StatsService service(world.store(), world.serviceErrors(), result.error);
  if (service.port() == 0) return result;

  const Clock::time_point start = Clock::now();
  std::unique_ptr<platform::ChildProcess> receiver = startGateway(world.gatewayIni('b'), service.port(), result.error);
  std::unique_ptr<platform::ChildProcess> sender = startGateway(world.gatewayIni('a'), service.port(), result.error);
  if (!receiver || !sender) return result;
  result.error = awaitDelivery(world, files, *sender, *receiver, start, result);

  // Every file B saved is confirmed before its gateway looks at the stop.
  const int senderStatus = stopGateway(*sender);
  const int receiverStatus = stopGateway(*receiver);
  std::string stopError;
  const std::optional<ServiceCounts> counts = service.stop(stopError);
  if (!result.error.empty()) return result;
  if (senderStatus != 0 || receiverStatus != 0) {
    result.error = "a gateway did not stop in order (exit statuses " + std::to_string(senderStatus) + ", " +
                   std::to_string(receiverStatus) + ")";
  } else if (!counts) {
    result.error = stopError;
  } else if (const auto sender = gatewayFlushes(world.gatewayLog('a')), receiver = gatewayFlushes(world.gatewayLog('b'));
             !sender || !receiver) {
    result.error = "a gateway logged no count of its durable flushes";
  } else {
    result.counts = *counts;
    result.senderFlushes = *sender;
    result.receiverFlushes = *receiver;
    result.error = checkReceived(world.incoming(), world.receivedFiles(files), world.receivedBytes(bytes));
  }
  return result;
}

}  // namespace gateway_bench
