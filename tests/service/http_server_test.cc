// The HTTP front end's bounds, on a server in this process on 127.0.0.1: a
// request must arrive whole within the read time-out, however slowly it
// trickles in; a connection beyond the limit, or one no thread can be had
// for, is refused at once and the server goes on accepting; a request that
// would cost more memory than allowed is refused before it is read or parsed.
// Last, the service's command line sets these limits.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "http_server.h"
#include "method_call.h"
#include "platform/socket.h"
#include "platform/thread_start.h"
#include "support/service_fixture.h"
#include "support/temp_directory.h"

namespace {

using namespace dravont_service;
using Quillex::XmlRpcValue;
using service_testing::args;
using service_testing::WireClient;
using testing::HasSubstr;
using testing::StartsWith;
using Clock = std::chrono::steady_clock;

// One client connection driven byte by byte.
class RawConnection {
 public:
  explicit RawConnection(int port) : socket_(platform::createTcpSocket()) {
    if (socket_ >= 0 && !platform::connectSocket(socket_, "127.0.0.1", port)) close();
  }
  ~RawConnection() { close(); }
  RawConnection(const RawConnection&) = delete;
  RawConnection& operator=(const RawConnection&) = delete;

  bool open() const { return socket_ >= 0; }
  void send(const std::string& bytes) { platform::sendSome(socket_, bytes.data(), bytes.size()); }
  // Collects what arrives for up to `milliseconds`, or until `enough` has
  // arrived; true when the server closed the connection in that time.
  bool closedWithin(int milliseconds, std::string_view enough = {}) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(milliseconds);
    for (;;) {
      if (!enough.empty() && received.find(enough) != std::string::npos) return false;
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
      std::vector<platform::PollEntry> entries{{socket_, platform::kPollReadable, 0}};
      if (left <= 0 || platform::pollSockets(entries, static_cast<int>(left)) <= 0) return false;
      char buffer[4096];
      const long got = platform::receiveSome(socket_, buffer, sizeof buffer);
      if (got <= 0) return true;
      received.append(buffer, static_cast<std::size_t>(got));
    }
  }
  void close() {
    if (socket_ >= 0) platform::closeSocket(socket_);
    socket_ = -1;
  }

  std::string received;

 private:
  int socket_;
};

std::string postText(const std::string& body) {
  return "POST /RPC2 HTTP/1.1\r\nHost: x\r\nContent-length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

const std::string kVersionCall = "<methodCall><methodName>system.version</methodName></methodCall>";

class HttpServerTest : public testing::Test {
 protected:
  void start(HttpServerOptions options) {
    server_ = std::make_unique<HttpServer>(
        [this](std::string_view) {
          ++calls_;
          return HttpAnswer{responseText(XmlRpcValue("ok"))};
        },
        options);
    ASSERT_EQ(server_->listen(0), "");
    runner_ = std::thread([this] { server_->run(); });
  }
  void TearDown() override {
    platform::failNextThreadStarts(0);
    if (!server_) return;
    server_->stop();
    runner_.join();
  }
  int port() const { return server_->port(); }
  // True when a version call on a new connection is answered in time.
  bool answersANewConnection() {
    RawConnection client(port());
    client.send(postText(kVersionCall));
    client.closedWithin(1000, "</methodResponse>");
    return client.received.starts_with("HTTP/1.1 200");
  }

  std::unique_ptr<HttpServer> server_;
  std::thread runner_;
  std::atomic<int> calls_{0};
};

TEST_F(HttpServerTest, ARequestTricklingInIsGivenUpAtTheReadTimeOut) {
  HttpServerOptions options;
  options.readTimeoutMilliseconds = 300;
  start(options);
  RawConnection client(port());
  ASSERT_TRUE(client.open());
  const std::string request = postText(kVersionCall);
  const auto start = Clock::now();
  bool closed = false;
  for (std::size_t sent = 0; sent < request.size() && !closed; ++sent) {
    client.send(request.substr(sent, 1));  // each byte well within the time-out
    closed = client.closedWithin(100);
    if (Clock::now() - start > std::chrono::seconds(3)) break;
  }
  EXPECT_TRUE(closed);
  EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(1500));
  EXPECT_EQ(calls_.load(), 0);
}

TEST_F(HttpServerTest, AConnectionNoThreadCanBeStartedForIsRefusedAndAcceptingGoesOn) {
  start(HttpServerOptions{});
  platform::failNextThreadStarts(1);
  RawConnection idle(port());  // would hold the accepting thread if served there
  ASSERT_TRUE(idle.open());
  EXPECT_TRUE(idle.closedWithin(1000));
  EXPECT_EQ(idle.received, "");
  EXPECT_TRUE(answersANewConnection());
}

TEST_F(HttpServerTest, ConnectionsBeyondTheLimitAreRefusedUntilOneEnds) {
  HttpServerOptions options;
  options.maxConnections = 2;
  start(options);
  RawConnection first(port());
  RawConnection second(port());
  for (RawConnection* open : {&first, &second}) {
    open->send(postText(kVersionCall));
    EXPECT_FALSE(open->closedWithin(1000, "</methodResponse>"));  // served, and kept
  }
  RawConnection third(port());
  EXPECT_TRUE(third.closedWithin(1000));
  EXPECT_EQ(third.received, "");
  first.close();
  bool served = false;
  for (int attempt = 0; attempt < 20 && !served; ++attempt) {
    served = answersANewConnection();
    if (!served) std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  EXPECT_TRUE(served);
}

// The parameters of a call holding `count` values.
XmlRpcValue valuesOf(int count) {
  XmlRpcValue params;
  for (int i = 0; i < count; ++i) params[i] = i;
  return params;
}

// The fault string a call is answered with; "" when it succeeds.
std::string faultOf(int port, const XmlRpcValue& params) {
  XmlRpcValue result;
  if (WireClient(port).tryCall("DravontStreamWrite", params, result)) return "";
  return result.valid() ? result["faultString"].getString() : "<no answer>";
}

TEST_F(HttpServerTest, ARequestCostingMoreMemoryThanAllowedIsRefusedBeforeItIsReadOrParsed) {
  HttpServerOptions options;
  options.maxRequestBytes = 64 * 1024;
  options.maxRequestValues = 100;
  start(options);
  const XmlRpcValue large = args({1, 2, service_testing::bytesValue(std::string(100 * 1024, 'x')), 1});
  EXPECT_THAT(faultOf(port(), large), HasSubstr("exceeds the limit of 65536 bytes"));
  EXPECT_EQ(faultOf(port(), valuesOf(101)), "The request holds more than 100 values, the limit");
  EXPECT_EQ(faultOf(port(), valuesOf(100)), "");
  EXPECT_EQ(calls_.load(), 1);
  // A body without a stated length, or a head without end, would have no bound.
  RawConnection chunked(port());
  chunked.send("POST /RPC2 HTTP/1.1\r\nHost: x\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nhello\r\n0\r\n\r\n");
  EXPECT_TRUE(chunked.closedWithin(1000));
  EXPECT_THAT(chunked.received, StartsWith("HTTP/1.1 411"));
  RawConnection endless(port());
  endless.send("POST /RPC2 HTTP/1.1\r\nX: " + std::string(200 * 1024, 'a'));
  EXPECT_TRUE(endless.closedWithin(1000));
  EXPECT_EQ(calls_.load(), 1);
}

TEST(ServiceLimitsTest, TheCommandLineSetsTheRequestLimits) {
  testing_support::TempDirectory directory;
  service_testing::ServiceProcess service(directory.file("store"),
                                          {"--max-request-mib", "1", "--max-request-values", "10"});
  ASSERT_TRUE(service.running());
  const XmlRpcValue large = args({1, 2, service_testing::bytesValue(std::string(1 << 20, 'x')), 1});
  EXPECT_THAT(faultOf(service.port(), large), HasSubstr("exceeds the limit of 1048576 bytes"));
  EXPECT_EQ(faultOf(service.port(), valuesOf(11)), "The request holds more than 10 values, the limit");
}

}  // namespace
