// XmlRpcException: what the transport throws when a value is accessed as the
// wrong kind or out of range. It carries a message and an integer code; every
// exception thrown by the transport carries code -1.
//
// Plain value type: copies own their message. Immutable after construction,
// so safe to read from any thread.
#pragma once

#include <exception>
#include <string>
#include <utility>

namespace Quillex {

class XmlRpcException : public std::exception {
 public:
  explicit XmlRpcException(std::string message, int code = -1)
      : message_(std::move(message)), code_(code) {}

  const std::string& getMessage() const { return message_; }
  int getCode() const { return code_; }

  const char* what() const noexcept override { return message_.c_str(); }

 private:
  std::string message_;
  int code_;
};

}  // namespace Quillex
