// Turns one request body into one answer: parses the method call, applies an
// injected test failure, checks the parameters against the method's
// description, locks the context the call names and runs the handler.
// Every failure becomes an answer the client can read (a fault, or the
// method's error text); only an injected "drop" yields no answer.
// Thread-safe: calls on different contexts run in parallel.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>

#include "rpc_method.h"
#include "service.h"

namespace dravont_service {

struct RpcAnswer {
  std::string body;   // the methodResponse text
  bool drop = false;  // close the connection without answering
};

class RpcDispatcher {
 public:
  explicit RpcDispatcher(Service& service);

  RpcAnswer handle(std::string_view requestBody);
  // Requests answered so far (faults included, dropped ones not).
  std::uint64_t callsAnswered() const { return callsAnswered_.load(std::memory_order_relaxed); }

 private:
  RpcAnswer answer(std::string_view requestBody);
  RpcAnswer run(const MethodSpec& method, const std::vector<Quillex::XmlRpcValue>& params);

  Service& service_;
  std::unordered_map<std::string, MethodSpec> methods_;
  std::atomic<std::uint64_t> callsAnswered_{0};
};

// The error answer of a method's shape carrying `text`.
Quillex::XmlRpcValue errorAnswer(const char* shape, const std::string& text);

// Says why `params` do not fit the description `kinds`, or "".
std::string checkParameters(const char* method, const char* kinds, const std::vector<Quillex::XmlRpcValue>& params);

}  // namespace dravont_service
