// Helpers of the service tests: participant settings files, a dravont-service
// process on a free port of 127.0.0.1 with a store of its own, and an
// XML-RPC client that speaks the wire contract directly.
#pragma once

#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "platform/child_process.h"
#include "support/temp_directory.h"
#include "transport/xmlrpc_client.h"
#include "transport/xmlrpc_value.h"

namespace service_testing {

using Quillex::XmlRpcValue;

// A settings file for EMAIL@ticker.service with signer data derived from the
// ticker; `notification` adds a [notification] section addressed to `notify`.
std::string settingsText(const std::string& ticker, const std::string& service, bool notification = false,
                         const std::string& notify = "");
std::string addressOf(const std::string& ticker, const std::string& service);

// The environment variables that name a service already running on
// 127.0.0.1 (the Linux service for the Windows programs under Wine, see
// tests/build/check_linux_service_under_wine): its port and its store.
inline constexpr char kOutsideServicePortVariable[] = "TRASVIK_SERVICE_PORT";
inline constexpr char kOutsideServiceStoreVariable[] = "TRASVIK_SERVICE_STORE";

class ServiceProcess {
 public:
  // Starts the service on port 0 with `store` and the extra arguments (and
  // the `environment` entries "NAME=value" added to this process's), and
  // reads the port it prints. With TRASVIK_SERVICE_PORT set it starts
  // nothing and stands for the outside service, whose store is
  // TRASVIK_SERVICE_STORE; the arguments and environment are not used, and
  // it cannot be stopped or killed.
  ServiceProcess(const std::string& store, const std::vector<std::string>& extraArguments = {},
                 const std::vector<std::string>& environment = {});
  ~ServiceProcess();
  ServiceProcess(const ServiceProcess&) = delete;
  ServiceProcess& operator=(const ServiceProcess&) = delete;

  int port() const { return port_; }
  bool running() const { return child_ != nullptr || outside_; }
  // The store the service keeps its messages in.
  const std::string& store() const { return store_; }
  // SIGTERM; the exit status (-1 when it does not end in time).
  int stop();
  // SIGKILL, then reaps the process.
  void kill();

  static std::string binary();

 private:
  std::unique_ptr<platform::ChildProcess> child_;
  int port_ = 0;
  std::string store_;
  bool outside_ = false;
};

// Runs the service binary with `arguments` to its end; returns the exit
// status and what it printed on standard output.
int runServiceCommand(const std::vector<std::string>& arguments, std::string& output);

// The parameter array of a call (no element: a call without parameters).
XmlRpcValue args(std::initializer_list<XmlRpcValue> values);
XmlRpcValue bytesValue(const std::string& bytes);

class WireClient {
 public:
  explicit WireClient(int port) : client_("127.0.0.1", port, "/RPC2") {}

  // The answer of a call that must succeed on the wire (a failure is a test
  // failure and yields an invalid value).
  XmlRpcValue call(const char* method, const XmlRpcValue& params);
  // false for a failed call or a fault (then `result` holds the fault).
  bool tryCall(const char* method, const XmlRpcValue& params, XmlRpcValue& result);

  // InitContext on a settings file; the context number (0 on failure).
  int openContext(const std::string& settingsPath);
  // [0] of an answer shaped [0] value, [1] error text, after checking that
  // the error text is empty (constructors, counts, text queries).
  int number(const char* method, const XmlRpcValue& params);
  std::string text(const char* method, const XmlRpcValue& params);
  // Execute: the result text, with the error text in `error`.
  std::string execute(int context, const std::string& script, std::string* error = nullptr);

 private:
  Quillex::XmlRpcClient client_;
};

// Sends `bytes` on a new connection and returns what arrives until the
// service closes the connection or `timeoutMilliseconds` pass.
std::string rawExchange(int port, const std::string& bytes, int timeoutMilliseconds);

}  // namespace service_testing
