#include "platform/socket.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <system_error>

#include "platform/posix_call.h"

namespace platform {

using posix::retryOnInterrupt;

const int kInterruptedError = EINTR;

int lastSocketError() { return errno; }

std::string lastSocketErrorText() { return "error " + std::to_string(errno); }

std::string lastSocketErrorDescription() {
  const int error = errno;
  return std::generic_category().message(error) + " (error " + std::to_string(error) + ")";
}

bool isTransientSocketError(int error) {
  return error == EINTR || error == EAGAIN || error == EWOULDBLOCK || error == EINPROGRESS;
}

int createTcpSocket() { return ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP); }

bool connectSocket(int socket, const std::string& host, int port) {
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  const int lookup = ::getaddrinfo(host.c_str(), nullptr, &hints, &found);
  if (lookup != 0 || found == nullptr) {
    errno = lookup == EAI_SYSTEM ? errno : EHOSTUNREACH;
    return false;
  }
  sockaddr_in address{};
  std::memcpy(&address, found->ai_addr, sizeof address);
  address.sin_family = static_cast<sa_family_t>(found->ai_family);
  address.sin_port = htons(static_cast<uint16_t>(port));
  ::freeaddrinfo(found);
  if (::connect(socket, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) return true;
  return isTransientSocketError(errno);
}

void setNoDelay(int socket) {
  const int on = 1;
  ::setsockopt(socket, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
}

long sendSome(int socket, const void* data, std::size_t size) {
  return static_cast<long>(::send(socket, data, size, MSG_NOSIGNAL));
}

long receiveSome(int socket, void* buffer, std::size_t size) {
  return static_cast<long>(::recv(socket, buffer, size, 0));
}

void closeSocket(int socket) {
  if (socket >= 0) ::close(socket);
}

void shutdownSocket(int socket) { ::shutdown(socket, SHUT_RDWR); }

int listenOnLoopback(int& port, int backlog) {
  const int socket = createTcpSocket();
  if (socket < 0) return -1;
  const int on = 1;
  ::setsockopt(socket, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<uint16_t>(port));
  socklen_t length = sizeof address;
  if (::bind(socket, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
      ::listen(socket, backlog) != 0 ||
      ::getsockname(socket, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    const int error = errno;
    ::close(socket);
    errno = error;
    return -1;
  }
  port = ntohs(address.sin_port);
  return socket;
}

int acceptConnection(int listeningSocket) {
  return retryOnInterrupt([&] { return ::accept4(listeningSocket, nullptr, nullptr, SOCK_CLOEXEC); });
}

int pollSockets(std::vector<PollEntry>& entries, int timeoutMilliseconds) {
  std::vector<pollfd> descriptors(entries.size());
  for (std::size_t i = 0; i < entries.size(); ++i) {
    descriptors[i].fd = entries[i].socket;
    descriptors[i].events = static_cast<short>(((entries[i].wanted & kPollReadable) ? POLLIN : 0) |
                                               ((entries[i].wanted & kPollWritable) ? POLLOUT : 0) |
                                               ((entries[i].wanted & kPollExceptional) ? POLLPRI : 0));
  }
  const int count = ::poll(descriptors.data(), descriptors.size(), timeoutMilliseconds < 0 ? -1 : timeoutMilliseconds);
  if (count < 0) return -1;
  for (std::size_t i = 0; i < entries.size(); ++i) {
    const short got = descriptors[i].revents;
    unsigned ready = 0;
    if (got & (POLLIN | POLLHUP)) ready |= kPollReadable;
    if (got & POLLOUT) ready |= kPollWritable;
    if (got & (POLLPRI | POLLERR | POLLNVAL)) ready |= kPollExceptional;
    entries[i].ready = ready & (entries[i].wanted | kPollExceptional);
  }
  return count;
}

}  // namespace platform
