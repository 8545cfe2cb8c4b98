#include "transport/xmlrpc_socket.h"

#include "platform/socket.h"
#include "platform/socket_options.h"
#include "transport/xmlrpc_report.h"

namespace Quillex {

namespace {

constexpr std::size_t kReadChunk = 4095;

}  // namespace

int XmlRpcSocket::socket() {
  const int fd = platform::createTcpSocket();
  // Requests and answers are written in one piece; Nagle's algorithm would
  // hold each back until the peer's delayed acknowledgement.
  if (fd >= 0) platform::setNoDelay(fd);
  return fd;
}

void XmlRpcSocket::close(int fd) {
  report(4, "XmlRpcSocket::close: fd %d.", fd);
  platform::closeSocket(fd);
}

bool XmlRpcSocket::connect(int fd, const std::string& host, int port) {
  return platform::connectSocket(fd, host, port);
}

void XmlRpcSocket::setReceiveTimeout(int fd, int milliseconds) { platform::setReceiveTimeout(fd, milliseconds); }

bool XmlRpcSocket::nbWrite(int fd, const std::string& text, int* bytesSoFar) {
  int remaining = static_cast<int>(text.size()) - *bytesSoFar;
  while (remaining > 0) {
    const long sent = platform::sendSome(fd, text.data() + *bytesSoFar, static_cast<std::size_t>(remaining));
    report(5, "XmlRpcSocket::nbWrite: send/write returned %ld.", sent);
    if (sent <= 0) return platform::isTransientSocketError(platform::lastSocketError());
    *bytesSoFar += static_cast<int>(sent);
    remaining -= static_cast<int>(sent);
  }
  return true;
}

bool XmlRpcSocket::nbRead(int fd, std::string& text, bool* eof) {
  *eof = false;
  char buffer[kReadChunk];
  const long got = platform::receiveSome(fd, buffer, sizeof buffer);
  report(5, "XmlRpcSocket::nbRead: read/recv returned %ld.", got);
  if (got > 0) {
    text.append(buffer, static_cast<std::size_t>(got));
    return true;
  }
  if (got == 0) {
    *eof = true;
    return true;
  }
  return platform::isTransientSocketError(platform::lastSocketError());
}

std::string XmlRpcSocket::getErrorMsg() { return platform::lastSocketErrorText(); }

}  // namespace Quillex
