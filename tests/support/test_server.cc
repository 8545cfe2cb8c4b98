#include "support/test_server.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <stdexcept>

#include "platform/socket.h"

namespace testing_support {

namespace {

// Content-length of a complete header text, 0 when absent.
std::size_t contentLength(const std::string& header) {
  static const std::string kName = "content-length:";
  std::string lower(header);
  std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) { return std::tolower(c); });
  for (std::size_t i = 0; i + kName.size() <= lower.size(); ++i) {
    if (lower.compare(i, kName.size(), kName) == 0) {
      return static_cast<std::size_t>(std::strtoul(header.c_str() + i + kName.size(), nullptr, 10));
    }
  }
  return 0;
}

}  // namespace

bool ServerConnection::readRequest(std::string& request) {
  request.clear();
  std::string& data = pending_;
  for (;;) {
    const std::size_t headerEnd = data.find("\r\n\r\n");
    if (headerEnd != std::string::npos) {
      const std::size_t total = headerEnd + 4 + contentLength(data.substr(0, headerEnd + 4));
      if (data.size() >= total) {
        request = data.substr(0, total);
        data.erase(0, total);
        return true;
      }
    }
    char buffer[65536];
    const long got = platform::receiveSome(socket_, buffer, sizeof buffer);
    if (got <= 0) return false;
    data.append(buffer, static_cast<std::size_t>(got));
  }
}

bool ServerConnection::send(std::string_view bytes) {
  while (!bytes.empty()) {
    const long sent = platform::sendSome(socket_, bytes.data(), bytes.size());
    if (sent <= 0) return false;
    bytes.remove_prefix(static_cast<std::size_t>(sent));
  }
  return true;
}

void ServerConnection::close() {
  if (socket_ >= 0) platform::closeSocket(socket_);
  socket_ = -1;
}

ScriptedServer::ScriptedServer(Session session) : session_(std::move(session)) {
  listener_ = platform::listenOnLoopback(port_);
  if (listener_ < 0) throw std::runtime_error("cannot listen on 127.0.0.1");
  thread_ = std::thread([this] { serve(); });
}

ScriptedServer::~ScriptedServer() {
  stopping_ = true;
  stopAccepting(listener_, port_, thread_);
  platform::closeSocket(listener_);
}

void stopAccepting(int listener, int port, std::thread& acceptor) {
  // A connection of its own wakes the blocked accept, on every system (a
  // shutdown of the listener does so on Linux only).
  const int waker = platform::createTcpSocket();
  if (waker < 0 || !platform::connectSocket(waker, "127.0.0.1", port)) platform::shutdownSocket(listener);
  acceptor.join();
  platform::closeSocket(waker);
}

void ScriptedServer::serve() {
  while (!stopping_) {
    const int socket = platform::acceptConnection(listener_);
    if (socket < 0) return;
    if (stopping_) {
      platform::closeSocket(socket);
      return;
    }
    ++accepted_;
    ServerConnection connection(socket);
    session_(connection);
  }
}

std::string httpAnswer(std::string_view body) {
  return "HTTP/1.1 200 OK\r\nContent-Type: text/xml\r\nContent-length: " + std::to_string(body.size()) + "\r\n\r\n" +
         std::string(body);
}

std::string methodResponse(std::string_view valueText) {
  return "<?xml version=\"1.0\"?>\r\n<methodResponse><params><param>" + std::string(valueText) +
         "</param></params></methodResponse>\r\n";
}

std::string requestBody(const std::string& request) {
  const std::size_t headerEnd = request.find("\r\n\r\n");
  return headerEnd == std::string::npos ? std::string() : request.substr(headerEnd + 4);
}

}  // namespace testing_support
