// The HTTP front end's bounds, on a server in this process on 127.0.0.1: a
// request must arrive whole within the read time-out, however slowly it
// trickles in; a connection no thread can be had for is refused at once and
// the server goes on accepting.
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

namespace {

using namespace dravont_service;
using Quillex::XmlRpcValue;
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

}  // namespace
