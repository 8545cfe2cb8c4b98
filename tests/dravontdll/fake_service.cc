#include "dravontdll/fake_service.h"

#include <cstdlib>

#include "platform/socket.h"
#include "support/test_server.h"
#include "transport/xml_scan.h"

namespace testing_support {

using Quillex::XmlRpcValue;

XmlRpcValue values(std::initializer_list<XmlRpcValue> items) {
  XmlRpcValue array;
  int i = 0;
  for (const XmlRpcValue& item : items) array[i++] = item;
  return array;
}

FakeService::FakeService() {
  listener_ = platform::listenOnLoopback(port_);
  acceptor_ = std::thread([this] { acceptLoop(); });
}

FakeService::~FakeService() {
  stopping_ = true;
  stopAccepting(listener_, port_, acceptor_);
  {
    std::lock_guard<std::mutex> lock(mutex_);
    for (int socket : sockets_) platform::shutdownSocket(socket);
  }
  for (auto& worker : workers_) worker.join();
  platform::closeSocket(listener_);
}

void FakeService::answer(const std::string& method, const XmlRpcValue& value) {
  std::lock_guard<std::mutex> lock(mutex_);
  script_[method] = Scripted{Kind::kValue, value};
}

void FakeService::fault(const std::string& method) {
  std::lock_guard<std::mutex> lock(mutex_);
  script_[method] = Scripted{Kind::kFault, XmlRpcValue()};
}

void FakeService::drop(const std::string& method) {
  std::lock_guard<std::mutex> lock(mutex_);
  script_[method] = Scripted{Kind::kDrop, XmlRpcValue()};
}

std::vector<RecordedCall> FakeService::calls() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return calls_;
}

std::vector<RecordedCall> FakeService::calls(const std::string& method) const {
  std::vector<RecordedCall> matching;
  for (const RecordedCall& call : calls()) {
    if (call.method == method) matching.push_back(call);
  }
  return matching;
}

void FakeService::clearCalls() {
  std::lock_guard<std::mutex> lock(mutex_);
  calls_.clear();
}

void FakeService::acceptLoop() {
  while (!stopping_) {
    const int socket = platform::acceptConnection(listener_);
    if (socket < 0 || stopping_) {
      if (socket >= 0) platform::closeSocket(socket);
      return;
    }
    ++connections_;
    std::lock_guard<std::mutex> lock(mutex_);
    sockets_.push_back(socket);
    workers_.emplace_back([this, socket] { serve(socket); });
  }
}

void FakeService::serve(int socket) {
  ServerConnection connection(socket);
  std::string request;
  while (connection.readRequest(request)) {
    const std::string text = reply(request);
    if (text.empty()) break;
    connection.send(text);
  }
  // Leave the list of open connections before the descriptor is closed, so
  // the destructor never shuts down a number that was handed out again.
  std::lock_guard<std::mutex> lock(mutex_);
  std::erase(sockets_, socket);
  connection.close();
}

std::string FakeService::reply(const std::string& request) {
  const std::string body = requestBody(request);
  std::size_t position = 0;
  const std::string method = Quillex::elementText("<methodName>", body, position);
  RecordedCall call{method, XmlRpcValue()};
  if (Quillex::seekTag("<params>", body, position)) {
    int index = 0;
    while (Quillex::seekTag("<param>", body, position)) {
      XmlRpcValue value;
      if (!value.parseValue(body, position)) break;
      call.params[index++] = value;
    }
  }
  Scripted scripted{Kind::kFault, XmlRpcValue()};
  {
    std::lock_guard<std::mutex> lock(mutex_);
    calls_.push_back(call);
    auto it = script_.find(method);
    if (it != script_.end()) scripted = it->second;
  }
  switch (scripted.kind) {
    case Kind::kDrop:
      return std::string();
    case Kind::kFault:
      return httpAnswer(
          "<?xml version=\"1.0\"?>\r\n<methodResponse><fault><value><struct><member><name>faultCode</name>"
          "<value><i4>1</i4></value></member><member><name>faultString</name><value>not scripted</value>"
          "</member></struct></value></fault></methodResponse>\r\n");
    case Kind::kValue:
      break;
  }
  return httpAnswer(methodResponse(scripted.value.valueText()));
}

}  // namespace testing_support
