#include "platform/service_notify.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

#include "platform/environment.h"
#include "platform/posix_call.h"

namespace platform {

namespace {

// The socket's address: a path, or a name in the abstract namespace when
// it begins with '@'. False when NOTIFY_SOCKET is unset or unusable.
bool notifyAddress(sockaddr_un& address, socklen_t& length) {
  const std::string name = environmentVariable("NOTIFY_SOCKET").value_or("");
  if (name.empty() || (name[0] != '/' && name[0] != '@') || name.size() >= sizeof(address.sun_path)) return false;
  std::memset(&address, 0, sizeof(address));
  address.sun_family = AF_UNIX;
  std::memcpy(address.sun_path, name.data(), name.size());
  if (name[0] == '@') address.sun_path[0] = '\0';
  length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + name.size());
  return true;
}

}  // namespace

bool serviceManagerListens() {
  sockaddr_un address;
  socklen_t length = 0;
  return notifyAddress(address, length);
}

bool notifyServiceManager(const std::string& notice) {
  sockaddr_un address;
  socklen_t length = 0;
  if (!notifyAddress(address, length)) return false;
  const int socket = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (socket < 0) return false;
  const ssize_t sent = posix::retryOnInterrupt([&] {
    return ::sendto(socket, notice.data(), notice.size(), MSG_NOSIGNAL, reinterpret_cast<const sockaddr*>(&address),
                    length);
  });
  ::close(socket);
  return sent == static_cast<ssize_t>(notice.size());
}

unsigned long long watchdogIntervalMilliseconds() {
  const std::string pid = environmentVariable("WATCHDOG_PID").value_or("");
  if (!pid.empty() && std::strtoll(pid.c_str(), nullptr, 10) != static_cast<long long>(::getpid())) return 0;
  const std::string interval = environmentVariable("WATCHDOG_USEC").value_or("");
  return std::strtoull(interval.c_str(), nullptr, 10) / 1000;
}

}  // namespace platform
