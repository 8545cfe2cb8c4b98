#include "support/service_fixture.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>

#include "platform/environment.h"
#include "platform/socket.h"

namespace service_testing {

std::string addressOf(const std::string& ticker, const std::string& service) {
  return "EMAIL@" + ticker + "." + service;
}

std::string settingsText(const std::string& ticker, const std::string& service, bool notification,
                         const std::string& notify) {
  std::string text = "[self]\nticker=" + ticker + "\nservice=" + service +
                     "\nhostname=host-" + ticker + "\n\n[signature]\ndn=CN=" + ticker +
                     " Signer, O=" + service +
                     "\nkey_not_before=2024-01-01 00:00:00\nkey_not_after=2026-12-31 23:59:59\n"
                     "cert_not_before=2024-02-01 00:00:00\ncert_not_after=2027-01-31 23:59:59\nserial=0A" +
                     ticker + "\n";
  if (notification) {
    text += "\n[notification]\nurl=file:///dev/null\naddress=" + notify + "\nsubject=Gateway on {0} stopped\n";
  }
  return text;
}

namespace {

// How long a start of the service, or one of its commands, may take. The
// wait ends as soon as the program has answered (or ended), so the limit is
// only for a loaded machine: under Wine, while a parallel run starts many
// programs at once, a start can take many seconds, and a test that gave up
// on its service early would run its gateway against no service at all.
constexpr int kProgramMilliseconds = 60000;

}  // namespace

std::string ServiceProcess::binary() { return TRASVIK_SERVICE_PROGRAM; }

ServiceProcess::ServiceProcess(const std::string& store, const std::vector<std::string>& extraArguments,
                               const std::vector<std::string>& environment)
    : store_(store) {
  if (const std::optional<std::string> port = platform::environmentVariable(kOutsideServicePortVariable)) {
    outside_ = true;
    port_ = std::atoi(port->c_str());
    store_ = platform::environmentVariable(kOutsideServiceStoreVariable).value_or("");
    if (port_ <= 0 || store_.empty()) {
      ADD_FAILURE() << "an outside service needs its port and store: " << kOutsideServicePortVariable << "=\""
                    << *port << "\", " << kOutsideServiceStoreVariable << "=\"" << store_ << "\"";
    }
    return;
  }
  std::vector<std::string> arguments{binary(), "--port", "0", "--store", store};
  arguments.insert(arguments.end(), extraArguments.begin(), extraArguments.end());
  std::string error;
  child_ = platform::ChildProcess::start(arguments, true, error, environment);
  if (!child_) {
    ADD_FAILURE() << "cannot start " << binary() << ": " << error;
    return;
  }
  // The port is printed once the service listens.
  const std::optional<std::string> line = child_->readLine(kProgramMilliseconds);
  if (!line || std::atoi(line->c_str()) <= 0) {
    ADD_FAILURE() << "the service printed no port within " << kProgramMilliseconds / 1000 << " s";
    child_.reset();
    return;
  }
  port_ = std::atoi(line->c_str());
}

ServiceProcess::~ServiceProcess() {
  if (child_) stop();
}

int ServiceProcess::stop() {
  if (outside_) ADD_FAILURE() << "the outside service is not this test's to stop";
  if (!child_) return -1;
  child_->terminate();
  const std::optional<int> status = child_->wait(10000);
  child_.reset();
  return status.value_or(-1);
}

void ServiceProcess::kill() {
  if (outside_) ADD_FAILURE() << "the outside service is not this test's to kill";
  if (!child_) return;
  child_->kill();
  child_->wait(10000);
  child_.reset();
}

int runServiceCommand(const std::vector<std::string>& arguments, std::string& output) {
  std::vector<std::string> command{ServiceProcess::binary()};
  command.insert(command.end(), arguments.begin(), arguments.end());
  std::string error;
  std::unique_ptr<platform::ChildProcess> child = platform::ChildProcess::start(command, true, error);
  if (!child) return -1;
  output.clear();
  while (std::optional<std::string> line = child->readLine(kProgramMilliseconds)) output += *line + "\n";
  return child->wait(kProgramMilliseconds).value_or(-1);
}

XmlRpcValue args(std::initializer_list<XmlRpcValue> values) {
  XmlRpcValue params;
  int index = 0;
  for (const XmlRpcValue& value : values) params[index++] = value;
  return params;
}

XmlRpcValue bytesValue(const std::string& bytes) { return XmlRpcValue(bytes.data(), bytes.size()); }

bool WireClient::tryCall(const char* method, const XmlRpcValue& params, XmlRpcValue& result) {
  return client_.execute(method, params, result);
}

XmlRpcValue WireClient::call(const char* method, const XmlRpcValue& params) {
  XmlRpcValue result;
  if (!client_.execute(method, params, result)) {
    ADD_FAILURE() << method << " failed on the wire" << (result.valid() ? ": " + result.valueText() : "");
    return XmlRpcValue();
  }
  return result;
}

int WireClient::openContext(const std::string& settingsPath) {
  const XmlRpcValue answer = call("InitContext", args({settingsPath}));
  if (!answer.valid()) return 0;
  EXPECT_EQ(answer[1].getString(), "") << settingsPath;
  return answer[0].getInt();
}

int WireClient::number(const char* method, const XmlRpcValue& params) {
  const XmlRpcValue answer = call(method, params);
  if (!answer.valid()) return 0;
  EXPECT_EQ(answer[1].getString(), "") << method;
  return answer[0].getInt();
}

std::string WireClient::text(const char* method, const XmlRpcValue& params) {
  const XmlRpcValue answer = call(method, params);
  if (!answer.valid()) return "";
  EXPECT_EQ(answer[1].getString(), "") << method;
  return answer[0].getString();
}

std::string WireClient::execute(int context, const std::string& script, std::string* error) {
  const XmlRpcValue answer = call("Execute", args({context, script}));
  if (!answer.valid()) return "<call failed>";
  if (error != nullptr) {
    *error = answer[1].getString();
  } else {
    EXPECT_EQ(answer[1].getString(), "") << script;
  }
  return answer[0].getString();
}

std::string rawExchange(int port, const std::string& bytes, int timeoutMilliseconds) {
  const int socket = platform::createTcpSocket();
  if (socket < 0 || !platform::connectSocket(socket, "127.0.0.1", port)) return "<no connection>";
  platform::sendSome(socket, bytes.data(), bytes.size());
  std::string received;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMilliseconds);
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) break;
    std::vector<platform::PollEntry> entries{{socket, platform::kPollReadable, 0}};
    if (platform::pollSockets(entries, static_cast<int>(left.count())) <= 0) break;
    char buffer[4096];
    const long got = platform::receiveSome(socket, buffer, sizeof buffer);
    if (got <= 0) break;
    received.append(buffer, static_cast<std::size_t>(got));
  }
  platform::closeSocket(socket);
  return received;
}

}  // namespace service_testing
