// A scripted stand-in for the service, in the test process: answers each
// method with a canned value and records every call, so tests can assert
// the exact parameters an export sends and every result code it returns.
// Each connection is served on a thread of its own.
#pragma once

#include <atomic>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "transport/xmlrpc_value.h"

namespace testing_support {

struct RecordedCall {
  std::string method;
  Quillex::XmlRpcValue params;  // array of the parameters (invalid: none)
};

class FakeService {
 public:
  FakeService();
  ~FakeService();

  int port() const { return port_; }

  // The answer to `method`: a value (sent as the single param), a fault, or
  // a closed connection without answer. Unscripted methods get a fault.
  void answer(const std::string& method, const Quillex::XmlRpcValue& value);
  void fault(const std::string& method);
  void drop(const std::string& method);

  std::vector<RecordedCall> calls() const;
  // The calls of one method.
  std::vector<RecordedCall> calls(const std::string& method) const;
  void clearCalls();
  int connections() const { return connections_.load(); }

 private:
  enum class Kind { kValue, kFault, kDrop };
  struct Scripted {
    Kind kind;
    Quillex::XmlRpcValue value;
  };

  void acceptLoop();
  void serve(int socket);
  // The reply text for one request, or "" to close the connection.
  std::string reply(const std::string& request);

  mutable std::mutex mutex_;
  std::map<std::string, Scripted> script_;
  std::vector<RecordedCall> calls_;
  std::vector<int> sockets_;
  std::vector<std::thread> workers_;
  std::atomic<int> connections_{0};
  std::atomic<bool> stopping_{false};
  int listener_ = -1;
  int port_ = 0;
  std::thread acceptor_;
};

// Array helpers for answers.
Quillex::XmlRpcValue values(std::initializer_list<Quillex::XmlRpcValue> items);

}  // namespace testing_support
