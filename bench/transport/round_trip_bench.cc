// One XML-RPC call against the physical limit: a raw TCP ping-pong on
// loopback with the same request and answer sizes.
#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "platform/socket.h"
#include "support/raw_round_trip.h"
#include "transport/xmlrpc_client.h"

namespace {

const std::string kAnswerBody =
    "<?xml version=\"1.0\"?>\r\n<methodResponse><params><param><value><i4>6</i4></value></param></params>"
    "</methodResponse>\r\n";
const std::string kAnswer =
    "HTTP/1.1 200 OK\r\nContent-Type: text/xml\r\nContent-length: " + std::to_string(kAnswerBody.size()) + "\r\n\r\n" +
    kAnswerBody;

// A server on its own thread that answers each complete HTTP request on one
// connection with one write.
class MinimalServer {
 public:
  MinimalServer() {
    listener_ = platform::listenOnLoopback(port_);
    thread_ = std::thread([this] { serve(); });
  }
  ~MinimalServer() {
    platform::shutdownSocket(listener_);
    thread_.join();
    platform::closeSocket(listener_);
  }
  int port() const { return port_; }

 private:
  void serve() {
    const int socket = platform::acceptConnection(listener_);
    if (socket < 0) return;
    platform::setNoDelay(socket);
    std::string pending;
    char buffer[65536];
    for (;;) {
      const std::size_t need = httpRequestSize(pending);
      if (need != 0 && pending.size() >= need) {
        pending.erase(0, need);
        if (platform::sendSome(socket, kAnswer.data(), kAnswer.size()) <= 0) break;
        continue;
      }
      const long got = platform::receiveSome(socket, buffer, sizeof buffer);
      if (got <= 0) break;
      pending.append(buffer, static_cast<std::size_t>(got));
    }
    platform::closeSocket(socket);
  }

  static std::size_t httpRequestSize(const std::string& pending) {
    const std::size_t end = pending.find("\r\n\r\n");
    if (end == std::string::npos) return 0;
    const std::size_t length = pending.find("Content-length: ");
    if (length == std::string::npos || length > end) return 0;
    return end + 4 + static_cast<std::size_t>(std::atoi(pending.c_str() + length + 16));
  }

  int listener_ = -1;
  int port_ = 0;
  std::thread thread_;
};

Quillex::XmlRpcValue threeInts() {
  Quillex::XmlRpcValue params;
  params[0] = 1;
  params[1] = 2;
  params[2] = 3;
  return params;
}

// The size of the request the client writes for the three-int call.
std::size_t threeIntRequestSize() {
  std::string body = "<?xml version=\"1.0\"?>\r\n<methodCall><methodName>sum</methodName>\r\n<params>";
  for (int i = 1; i <= 3; ++i) body += "<param><value><i4>" + std::to_string(i) + "</i4></value></param>";
  body += "</params></methodCall>\r\n";
  const std::string header = "POST /RPC2 HTTP/1.1\r\nUser-Agent: Quillex XML-RPC\r\nHost: 127.0.0.1:65535\r\n"
                             "Content-Type: text/xml\r\nContent-length: " + std::to_string(body.size()) + "\r\n\r\n";
  return header.size() + body.size();
}

void BM_RawTcpRoundTrip(benchmark::State& state) {
  bench_support::runRawRoundTrip(state, threeIntRequestSize(), kAnswer.size());
}
BENCHMARK(BM_RawTcpRoundTrip)->UseRealTime();

void BM_XmlRpcExecuteThreeInts(benchmark::State& state) {
  MinimalServer server;
  Quillex::XmlRpcClient client("127.0.0.1", server.port(), "/RPC2");
  const Quillex::XmlRpcValue params = threeInts();
  Quillex::XmlRpcValue result;
  for (auto _ : state) {
    if (!client.execute("sum", params, result)) {
      state.SkipWithError("call failed");
      break;
    }
  }
}
BENCHMARK(BM_XmlRpcExecuteThreeInts)->UseRealTime();

}  // namespace
