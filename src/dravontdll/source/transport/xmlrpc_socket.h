// Socket operations of the transport: a thin layer over the platform's
// blocking TCP sockets that reports through the transport's log hook and
// follows its rules for transient errors. All functions are static and
// thread-safe; a socket is used by one thread at a time.
#pragma once

#include <string>

namespace Quillex {

class XmlRpcSocket {
 public:
  // A new IPv4 TCP stream socket, or -1.
  static int socket();
  static void close(int fd);
  // Connects to host:port. True when connected or when the error is transient.
  static bool connect(int fd, const std::string& host, int port);
  // Makes each receive give up after `milliseconds` with a transient error
  // (nbRead then succeeds with nothing read).
  static void setReceiveTimeout(int fd, int milliseconds);
  // Sends the bytes of `text` from `bytesSoFar` on, advancing it. False on a
  // non-transient send error.
  static bool nbWrite(int fd, const std::string& text, int* bytesSoFar);
  // Receives once (at most 4095 bytes) and appends what came to `text`. Sets
  // *eof when the peer closed. False on a non-transient receive error.
  static bool nbRead(int fd, std::string& text, bool* eof);
  // The text "error %d" with the calling thread's last socket error number.
  static std::string getErrorMsg();
};

}  // namespace Quillex
