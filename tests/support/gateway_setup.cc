#include "support/gateway_setup.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "platform/path.h"
#include "trasvik/script_text.h"

namespace gateway_testing {

using service_testing::args;

std::string addressOf(const char* ticker) { return service_testing::addressOf(ticker, kServiceName); }

Delivery message(const std::string& subject, const Attachments& attachments, const std::string& coretype,
                 const char* from, int level) {
  Delivery delivery;
  delivery.from = from;
  delivery.subject = subject;
  delivery.coretype = coretype;
  delivery.level = level;
  delivery.attachments = attachments;
  return delivery;
}

std::vector<std::string> directoryNames(const std::string& directory) {
  std::vector<std::string> result;
  for (const auto& entry : std::filesystem::directory_iterator(directory)) {
    result.push_back(entry.path().filename().string());
  }
  std::sort(result.begin(), result.end());
  return result;
}

std::string listedPrefix(const std::string& text) {
  std::string quoted = "\"";
  for (const char c : text) {
    if (c == '"' || c == '\\') quoted.push_back('\\');
    quoted.push_back(c);
  }
  return quoted;
}

std::string listed(const std::string& text) { return listedPrefix(text) + "\""; }

bool isCounterName(const std::string& name, const std::string& extension) {
  return name.size() == 5 + extension.size() && name.ends_with(extension) &&
         std::all_of(name.begin(), name.begin() + 5, [](char c) { return c >= '0' && c <= '9'; });
}

std::unique_ptr<platform::RandomAccessFile> holdOpen(const std::string& path, Hold hold) {
  platform::FileOpenMode mode;
  mode.write = hold != Hold::kKeepingName;
  mode.exclusive = hold == Hold::kExclusively;
  mode.keepName = hold == Hold::kKeepingName;
  std::unique_ptr<platform::RandomAccessFile> file;
  if (const int error = platform::RandomAccessFile::open(path, mode, file)) {
    ADD_FAILURE() << "cannot hold " << path << " open: errno " << error;
  }
  return file;
}

GatewaySetup::GatewaySetup(bool notifications, const std::vector<std::string>& serviceEnvironment)
    : serviceEnvironment_(serviceEnvironment) {
  std::filesystem::create_directories(directory_.file("store"));
  // The gateway is known before it first opens its session, so messages
  // can be delivered to it from the start.
  const std::string addressBook = "[addresses]\n" + addressOf(kGatewayTicker) + "=1\n" + addressOf(kAdminTicker) +
                                  "=1\n" + addressOf(kPeerTicker) + "=1\n[folders]\n" + addressOf(kFolderTicker) +
                                  "=Filed documents\n";
  directory_.write("store/addressbook.ini", addressBook);
  directory_.write("gate.ini", service_testing::settingsText(kGatewayTicker, kServiceName, notifications,
                                                             addressOf(kAdminTicker)));
  directory_.write("admin.ini", service_testing::settingsText(kAdminTicker, kServiceName));
  directory_.write("peer.ini", service_testing::settingsText(kPeerTicker, kServiceName));
  service_ = std::make_unique<service_testing::ServiceProcess>(
      directory_.file("store"), std::vector<std::string>{"--test-hooks"}, serviceEnvironment);
  // An outside service has a store of its own, and reads its address book
  // again when it misses an address.
  if (service_->store() != directory_.file("store")) {
    std::ofstream(std::filesystem::path(service_->store()) / "addressbook.ini", std::ios::binary) << addressBook;
  }

  set("qnsys", "logfile", directory_.file("gateway.log"));
  set("qnsys", "loglevel", "info");
  set("trasvik", "srvcini", directory_.file("gate.ini"));
  set("trasvik", "sendparam", "send");
  set("trasvik", "recvparam", "recv");
  set("trasvik", "error", makeDirectory("error"));
  set("trasvik", "statefile", directory_.file("trasvik.state"));
  set("trasvik", "reconnect_tries", "2");
  set("trasvik", "reconnect_timeout", "1");
  set("send", "url", "dravont://send");
  set("recv", "url", "dravont://receive");
}

GatewaySetup::~GatewaySetup() = default;

std::string GatewaySetup::makeDirectory(const std::string& name) const {
  std::filesystem::create_directories(directory_.file(name));
  return platform::withTrailingSeparator(directory_.file(name));
}

void GatewaySetup::set(const std::string& section, const std::string& key, const std::string& value) {
  if (!sections_.contains(section)) sectionOrder_.push_back(section);
  auto& keys = sections_[section];
  const auto found = std::find_if(keys.begin(), keys.end(), [&](const auto& entry) { return entry.first == key; });
  if (found != keys.end()) {
    found->second = value;
  } else {
    keys.emplace_back(key, value);
  }
}

void GatewaySetup::erase(const std::string& section, const std::string& key) {
  std::erase_if(sections_[section], [&](const auto& entry) { return entry.first == key; });
}

std::string GatewaySetup::useMainRule(const std::string& type) {
  set("trasvik", "loops", "1");
  set("trasvik", "sleeptime", "1");
  set("rules", "main", "main");
  set("main", "type", type);
  const std::string in = makeDirectory("in");
  set("main", "in", in);
  return in;
}

std::string GatewaySetup::writeIni() const {
  std::string text;
  for (const std::string& section : sectionOrder_) {
    text += "[" + section + "]\n";
    for (const auto& [key, value] : sections_.at(section)) text += key + "=" + value + "\n";
  }
  return directory_.write("trasvik.ini", encodeIni_ ? encodeIni_(text) : text);
}

std::string GatewaySetup::participantSettings(const char* ticker) const {
  return directory_.file(std::string(ticker == std::string(kGatewayTicker) ? "gate"
                                     : ticker == std::string(kAdminTicker) ? "admin"
                                                                            : "peer") +
                         ".ini");
}

std::string GatewaySetup::gatewayBinary() { return TRASVIK_GATEWAY_PROGRAM; }

std::unique_ptr<platform::ChildProcess> GatewaySetup::startGateway(const std::vector<std::string>& arguments,
                                                                   const std::vector<std::string>& environment) const {
  std::vector<std::string> command{gatewayBinary(), "/ini:" + writeIni()};
  command.insert(command.end(), arguments.begin(), arguments.end());
  // The client library finds the service through XMLRPCPORT.
  std::vector<std::string> fullEnvironment{"XMLRPCPORT=" + std::to_string(port())};
  fullEnvironment.insert(fullEnvironment.end(), environment.begin(), environment.end());
  std::string error;
  std::unique_ptr<platform::ChildProcess> child = platform::ChildProcess::start(command, true, error, fullEnvironment);
  if (!child) ADD_FAILURE() << "cannot start " << gatewayBinary() << ": " << error;
  return child;
}

int GatewaySetup::runGateway(std::string* output, const std::vector<std::string>& environment,
                             int timeoutMilliseconds) const {
  std::unique_ptr<platform::ChildProcess> child = startGateway({}, environment);
  if (!child) return -1;
  std::string printed;
  while (std::optional<std::string> line = child->readLine(timeoutMilliseconds)) printed += *line + "\n";
  if (output != nullptr) *output = printed;
  const std::optional<int> status = child->wait(timeoutMilliseconds);
  if (!status) {
    child->kill();
    return -1;
  }
  return *status;
}

std::vector<std::string> GatewaySetup::logRecords() const {
  std::istringstream lines(testing_support::readFile(directory_.file("gateway.log")));
  std::vector<std::string> records;
  for (std::string line; std::getline(lines, line);) records.push_back(line);
  return records;
}

int GatewaySetup::countRecords(const std::string& level, const std::string& text) const {
  // "YYYY-MM-DD HH:MM:SS.mmm LEVEL Brivane: text": 23 characters of time.
  const std::string wanted = level + " Brivane: " + text;
  int count = 0;
  for (const std::string& record : logRecords()) {
    if (record.size() > 24 && record.compare(24, std::string::npos, wanted) == 0) ++count;
  }
  return count;
}

std::string GatewaySetup::listStore(bool withPostTokens) const {
  std::string output;
  service_testing::runServiceCommand({"--store", service_->store(), "list"}, output);
  if (withPostTokens) return output;
  const std::string field = "  posttoken: \"";
  for (std::size_t at = output.find(field); at != std::string::npos; at = output.find(field, at)) {
    const std::size_t end = output.find('"', at + field.size());
    if (end == std::string::npos) break;
    output.erase(at, end + 1 - at);
  }
  return output;
}

std::string GatewaySetup::deliver(const Delivery& delivery) {
  service_testing::WireClient client(port());
  const int context = client.openContext(participantSettings(delivery.from));
  const int url = client.number("DravontURLCtor", args({context, "dravont://send", ""}));
  const int address = client.number(
      "DravontAddressCtor", args({context, kGatewayTicker, kServiceName, "", "", "({subject:\"" + trasvik::escapeScriptText(delivery.subject) + "\"})"}));
  const int message = client.number("DravontMessageCtor", args({context, address, ""}));
  for (const auto& [name, contents] : delivery.attachments) {
    const int stream = client.number("DravontStreamBufferCtor", args({context, service_testing::bytesValue(contents),
                                                                       static_cast<int>(contents.size()), name}));
    EXPECT_EQ(client.call("DravontAttachStreamToMessage", args({context, message, stream, delivery.level})).getString(),
              "");
  }
  if (!delivery.coretype.empty()) {
    client.call("SetDravontMessageCustomHeader", args({context, message, "coretype", delivery.coretype}));
  }
  if (!delivery.postToken.empty()) {
    client.call("SetDravontMessageCustomHeader", args({context, message, "posttoken", delivery.postToken}));
  }
  const std::string id = client.text("PostMessageTo", args({context, message, url}));
  client.call("FreeContext", args({context}));
  return id;
}

void GatewaySetup::stopService() { service_->kill(); }

void GatewaySetup::restartService() {
  const int port = service_->port();
  service_->kill();
  service_ = std::make_unique<service_testing::ServiceProcess>(
      directory_.file("store"), std::vector<std::string>{"--test-hooks", "--port", std::to_string(port)},
      serviceEnvironment_);
}

bool GatewaySetup::waitUntil(const std::function<bool()>& condition, int timeoutMilliseconds) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMilliseconds);
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return true;
}

int GatewaySetup::countRecordsStartingWith(const std::string& prefix) const {
  int count = 0;
  for (const std::string& record : logRecords()) {
    const std::size_t text = record.find(" Brivane: ");
    if (text != std::string::npos && record.compare(text + 10, prefix.size(), prefix) == 0) ++count;
  }
  return count;
}

void GatewaySetup::inject(const std::string& method, int count, const std::string& mode, const std::string& text) {
  service_testing::WireClient hooks(port());
  hooks.call("test.inject", args({method, count, mode, text}));
}

}  // namespace gateway_testing
