#include "platform/socket.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <cstring>
#include <mutex>

namespace platform {

namespace {

// Winsock 2.2, started once for the process before the first socket.
void startWinsock() {
  static std::once_flag once;
  std::call_once(once, [] {
    WSADATA data{};
    ::WSAStartup(MAKEWORD(2, 2), &data);
  });
}

SOCKET socketOf(int socket) { return static_cast<SOCKET>(socket); }

}  // namespace

const int kInterruptedError = WSAEINTR;

int lastSocketError() { return ::WSAGetLastError(); }

std::string lastSocketErrorText() { return "error " + std::to_string(::WSAGetLastError()); }

std::string lastSocketErrorDescription() {
  const int error = ::WSAGetLastError();
  char text[256] = {};
  DWORD length = ::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                  static_cast<DWORD>(error), 0, text, sizeof text, nullptr);
  // The system's text ends with a period and CR LF.
  while (length > 0 && (text[length - 1] == '\r' || text[length - 1] == '\n' || text[length - 1] == '.')) --length;
  const std::string number = "error " + std::to_string(error);
  return length == 0 ? number : std::string(text, length) + " (" + number + ")";
}

bool isTransientSocketError(int error) {
  // A receive time-out (SO_RCVTIMEO) ends with WSAETIMEDOUT here.
  return error == WSAEINTR || error == WSAEWOULDBLOCK || error == WSAEINPROGRESS || error == WSAETIMEDOUT;
}

int createTcpSocket() {
  startWinsock();
  const SOCKET created = ::WSASocketW(AF_INET, SOCK_STREAM, IPPROTO_TCP, nullptr, 0, WSA_FLAG_NO_HANDLE_INHERIT);
  // Socket handles are small numbers; the layer's sockets are ints.
  return created == INVALID_SOCKET ? -1 : static_cast<int>(created);
}

bool connectSocket(int socket, const std::string& host, int port) {
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  if (::getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0 || found == nullptr) {
    ::WSASetLastError(WSAEHOSTUNREACH);
    return false;
  }
  sockaddr_in address{};
  std::memcpy(&address, found->ai_addr, sizeof address);
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<u_short>(port));
  ::freeaddrinfo(found);
  if (::connect(socketOf(socket), reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) return true;
  return isTransientSocketError(::WSAGetLastError());
}

void setNoDelay(int socket) {
  const BOOL on = TRUE;
  ::setsockopt(socketOf(socket), IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on), sizeof on);
}

long sendSome(int socket, const void* data, std::size_t size) {
  const int piece = size > 0x40000000u ? 0x40000000 : static_cast<int>(size);
  return ::send(socketOf(socket), static_cast<const char*>(data), piece, 0);
}

long receiveSome(int socket, void* buffer, std::size_t size) {
  // A receive time-out (socket_options.h) is waited for here: Wine keeps the
  // SO_RCVTIMEO option but lets a blocking receive wait on regardless.
  DWORD timeout = 0;
  int length = sizeof timeout;
  if (::getsockopt(socketOf(socket), SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<char*>(&timeout), &length) == 0 &&
      timeout > 0) {
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(socketOf(socket), &readable);
    timeval wait{static_cast<long>(timeout / 1000), static_cast<long>(timeout % 1000) * 1000};
    const int ready = ::select(0, &readable, nullptr, nullptr, &wait);
    if (ready == SOCKET_ERROR) return -1;
    if (ready == 0) {
      ::WSASetLastError(WSAETIMEDOUT);
      return -1;
    }
  }
  const int piece = size > 0x40000000u ? 0x40000000 : static_cast<int>(size);
  return ::recv(socketOf(socket), static_cast<char*>(buffer), piece, 0);
}

void closeSocket(int socket) {
  if (socket >= 0) ::closesocket(socketOf(socket));
}

void shutdownSocket(int socket) { ::shutdown(socketOf(socket), SD_BOTH); }

int listenOnLoopback(int& port, int backlog) {
  const int socket = createTcpSocket();
  if (socket < 0) return -1;
  // No SO_REUSEADDR: on Windows it would let another program take the port
  // over; an exclusive bind is the safe equivalent.
  const BOOL on = TRUE;
  ::setsockopt(socketOf(socket), SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&on), sizeof on);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<u_short>(port));
  int length = sizeof address;
  if (::bind(socketOf(socket), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
      ::listen(socketOf(socket), backlog) != 0 ||
      ::getsockname(socketOf(socket), reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    const int error = ::WSAGetLastError();
    ::closesocket(socketOf(socket));
    ::WSASetLastError(error);
    return -1;
  }
  port = ntohs(address.sin_port);
  return socket;
}

int acceptConnection(int listeningSocket) {
  const SOCKET accepted = ::accept(socketOf(listeningSocket), nullptr, nullptr);
  return accepted == INVALID_SOCKET ? -1 : static_cast<int>(accepted);
}

int pollSockets(std::vector<PollEntry>& entries, int timeoutMilliseconds) {
  // select() with sets as large as the entries need.
  const std::size_t bytes = sizeof(u_int) + sizeof(SOCKET) * (entries.size() + 1);
  std::vector<char> readStorage(bytes), writeStorage(bytes), exceptStorage(bytes);
  auto* readable = reinterpret_cast<fd_set*>(readStorage.data());
  auto* writable = reinterpret_cast<fd_set*>(writeStorage.data());
  auto* exceptional = reinterpret_cast<fd_set*>(exceptStorage.data());
  readable->fd_count = writable->fd_count = exceptional->fd_count = 0;
  for (const PollEntry& entry : entries) {
    if (entry.socket < 0) continue;  // as poll() does
    if (entry.wanted & kPollReadable) readable->fd_array[readable->fd_count++] = socketOf(entry.socket);
    if (entry.wanted & kPollWritable) writable->fd_array[writable->fd_count++] = socketOf(entry.socket);
    exceptional->fd_array[exceptional->fd_count++] = socketOf(entry.socket);
  }
  timeval timeout{timeoutMilliseconds / 1000, (timeoutMilliseconds % 1000) * 1000};
  const int count = ::select(0, readable, writable, exceptional, timeoutMilliseconds < 0 ? nullptr : &timeout);
  if (count == SOCKET_ERROR) return -1;
  int readyEntries = 0;
  for (PollEntry& entry : entries) {
    entry.ready = 0;
    if (entry.socket < 0) continue;
    unsigned ready = 0;
    if (::__WSAFDIsSet(socketOf(entry.socket), readable)) ready |= kPollReadable;
    if (::__WSAFDIsSet(socketOf(entry.socket), writable)) ready |= kPollWritable;
    if (::__WSAFDIsSet(socketOf(entry.socket), exceptional)) ready |= kPollExceptional;
    entry.ready = ready & (entry.wanted | kPollExceptional);
    readyEntries += entry.ready != 0 ? 1 : 0;
  }
  return readyEntries;
}

}  // namespace platform
