// Bad input of every kind gets a clear error, never a crash or a hang; the
// service goes on serving afterwards.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <thread>

#include "support/service_fixture.h"

namespace {

using namespace service_testing;
using testing::HasSubstr;
using testing::StartsWith;

class BadInputTest : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    directory_ = new testing_support::TempDirectory;
    service_ = new ServiceProcess(directory_->file("store"), {"--read-timeout-ms", "300"});
  }
  static void TearDownTestSuite() {
    delete service_;
    delete directory_;
  }
  void SetUp() override {
    ASSERT_TRUE(service_->running());
    client_ = std::make_unique<WireClient>(service_->port());
  }
  void TearDown() override {
    // Whatever came before, the service still answers.
    XmlRpcValue version;
    EXPECT_TRUE(WireClient(service_->port()).tryCall("system.version", XmlRpcValue(), version));
  }
  int openContext(const std::string& ticker) {
    return client_->openContext(directory_->write(ticker + ".ini", settingsText(ticker, "SVC")));
  }
  std::string post(const std::string& body) {
    return rawExchange(service_->port(),
                       "POST /RPC2 HTTP/1.1\r\nHost: x\r\nContent-Type: text/xml\r\nContent-length: " +
                           std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body,
                       3000);
  }
  // The fault string of a call, "" when it was no fault.
  std::string fault(const char* method, const XmlRpcValue& params) {
    XmlRpcValue result;
    if (client_->tryCall(method, params, result) || !result.valid()) return "";
    return result["faultString"].getString();
  }

  static testing_support::TempDirectory* directory_;
  static ServiceProcess* service_;
  std::unique_ptr<WireClient> client_;
};

testing_support::TempDirectory* BadInputTest::directory_ = nullptr;
ServiceProcess* BadInputTest::service_ = nullptr;

TEST_F(BadInputTest, MalformedHttpGetsAnHttpError) {
  EXPECT_THAT(rawExchange(service_->port(), "GARBAGE\r\n\r\n", 3000), StartsWith("HTTP/1.1 400"));
  EXPECT_THAT(rawExchange(service_->port(), "GET /RPC2 HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n", 3000),
              StartsWith("HTTP/1.1 404"));
}

TEST_F(BadInputTest, ABodyShorterThanItsContentLengthIsGivenUp) {
  const auto start = std::chrono::steady_clock::now();
  const std::string answer = rawExchange(
      service_->port(), "POST /RPC2 HTTP/1.1\r\nHost: x\r\nContent-length: 500\r\n\r\n<methodCall>", 5000);
  EXPECT_THAT(answer, StartsWith("HTTP/1.1 400"));
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
}

TEST_F(BadInputTest, XmlThatDoesNotParseIsAFault) {
  EXPECT_THAT(post("not xml at all"), HasSubstr("<name>faultCode</name><value><i4>-32700</i4>"));
  EXPECT_THAT(post("<methodCall><methodName>Execute</methodName><params><param><value><i4>1</i4></value>"),
              HasSubstr("Parse error"));
  EXPECT_THAT(post("<methodCall><methodName>Execute</methodName><params><param><value><array><data><value><i4>"),
              HasSubstr("Parse error"));
  EXPECT_THAT(post("<methodCall><methodName></methodName></methodCall>"), HasSubstr("the methodName is empty"));
}

TEST_F(BadInputTest, UnknownMethodsWrongTypesAndCountsAreFaults) {
  EXPECT_EQ(fault("NoSuchMethod", args({1})), "Unknown method \"NoSuchMethod\"");
  EXPECT_EQ(fault("test.inject", args({"Execute", 1, "error", "x"})), "Unknown method \"test.inject\"");
  EXPECT_EQ(fault("Execute", args({"1", "1+1"})), "Execute: parameter 1 must be an int, not a string");
  EXPECT_EQ(fault("DravontStreamRead", args({1, 2})), "DravontStreamRead takes 3 parameters, not 2");
  EXPECT_EQ(fault("InitContext", XmlRpcValue()), "InitContext takes 1 parameter, not 0");
  EXPECT_EQ(fault("DravontStreamWrite", args({1, 2, "bytes", 5})),
            "DravontStreamWrite: parameter 3 must be a base64, not a string");
  EXPECT_EQ(fault("ReportModules", args({1, "a", "b", "c", "d", 1, 2, "module"})), "");
}

TEST_F(BadInputTest, UnknownContextsTellTheClientItsSessionIsGone) {
  const XmlRpcValue execute = client_->call("Execute", args({424242, "1"}));
  EXPECT_EQ(execute[1].getString(), "Thread do not own context pointer provided");
  EXPECT_EQ(client_->call("FreeContext", args({424242})).getString(), "Thread do not own context pointer provided");
  const int context = openContext("GONE");
  EXPECT_EQ(client_->call("FreeContext", args({context})).getString(), "");
  EXPECT_EQ(client_->call("DravontCollect", args({context, 1, 0, ""}))[0].getString(),
            "Thread do not own context pointer provided");
}

TEST_F(BadInputTest, StaleAndForeignHandlesAreErrors) {
  const int mine = openContext("MINE");
  const int theirs = openContext("THEIRS");
  const int stream = client_->number("DravontStreamBufferCtor", args({mine, bytesValue("abc"), 3, "b.bin"}));
  EXPECT_EQ(client_->call("DravontStreamRead", args({theirs, stream, 3}))[2].getString(),
            "Unknown DravontStream handle " + std::to_string(stream));
  EXPECT_EQ(client_->call("DravontStreamRead", args({mine, stream, 3}))[0].getInt(), 3);
  EXPECT_EQ(client_->call("DravontStreamDtor", args({mine, stream})).getString(), "");
  EXPECT_THAT(client_->call("DravontStreamDtor", args({mine, stream})).getString(), HasSubstr("Unknown DravontStream"));
  EXPECT_THAT(client_->call("DravontStreamTell", args({mine, stream}))[1].getString(), HasSubstr("Unknown"));
  // A handle of another family is not taken for this one.
  const int url = client_->number("DravontURLCtor", args({mine, "u", ""}));
  EXPECT_THAT(client_->call("DravontStreamLength", args({mine, url}))[1].getString(),
              HasSubstr("Unknown DravontStream handle"));
  EXPECT_THAT(client_->call("DravontMessageCtor", args({mine, url, ""}))[1].getString(),
              HasSubstr("Unknown DravontAddress handle"));
}

TEST_F(BadInputTest, MissingOrIncompleteSettingsGiveNoContext) {
  XmlRpcValue answer = client_->call("InitContext", args({directory_->file("absent.ini")}));
  EXPECT_EQ(answer[0].getInt(), 0);
  EXPECT_THAT(answer[1].getString(), HasSubstr("Can't read settings file"));
  EXPECT_EQ(answer[2].getInt(), 1);
  answer = client_->call("InitContext", args({directory_->write("partial.ini", "[self]\nticker=ONLY\n")}));
  EXPECT_EQ(answer[0].getInt(), 0);
  EXPECT_THAT(answer[1].getString(), HasSubstr("missing: [self] service, [signature] dn"));
  EXPECT_EQ(answer[2].getInt(), 2);
  answer = client_->call("InitContext", args({directory_->path().string()}));
  EXPECT_THAT(answer[1].getString(), HasSubstr("not a regular file"));
  answer = client_->call("InitContext", args({directory_->file("")}));
  EXPECT_EQ(answer[0].getInt(), 0);
  EXPECT_EQ(answer[2].getInt(), 1);
}

TEST_F(BadInputTest, PathsThatCannotBeOpenedInTheModeAskedAreErrors) {
  const int context = openContext("PATHS");
  const auto open = [&](const std::string& path, const char* mode) {
    return client_->call("DravontStreamFileCtor", args({context, path, mode, ""}));
  };
  XmlRpcValue answer = open(directory_->file("missing.txt"), "rb");
  EXPECT_EQ(answer[0].getInt(), 0);
  EXPECT_THAT(answer[1].getString(), HasSubstr("No such file or directory"));
  EXPECT_THAT(open(directory_->path().string(), "rb")[1].getString(), HasSubstr("it is a directory"));
  EXPECT_THAT(open(directory_->file("no/such/dir/out.bin"), "wb+")[1].getString(), HasSubstr("in mode \"wb+\""));
  EXPECT_THAT(open(directory_->write("x.txt", "x"), "rq")[1].getString(), HasSubstr("Unknown open mode \"rq\""));
  EXPECT_THAT(open(directory_->write("y.txt", "y"), "wbE")[1].getString(), HasSubstr("Unknown open mode"));
  EXPECT_THAT(open("", "rb")[1].getString(), HasSubstr("No file path"));
  // Reading a write-only stream and writing a read-only one are errors too.
  const int readOnly = client_->number("DravontStreamFileCtor", args({context, directory_->file("x.txt"), "rb", ""}));
  EXPECT_THAT(client_->call("DravontStreamWrite", args({context, readOnly, bytesValue("z"), 1}))[1].getString(),
              HasSubstr("not open for writing"));
}

TEST_F(BadInputTest, ManyConnectionsAreServedAtOnce) {
  constexpr int kClients = 24;
  std::vector<std::unique_ptr<WireClient>> clients;
  for (int i = 0; i < kClients; ++i) {
    clients.push_back(std::make_unique<WireClient>(service_->port()));
    XmlRpcValue version;
    ASSERT_TRUE(clients.back()->tryCall("system.version", XmlRpcValue(), version));  // each holds a connection
  }
  std::vector<std::thread> threads;
  std::atomic<int> answered{0};
  for (auto& client : clients) {
    threads.emplace_back([&client, &answered] {
      for (int call = 0; call < 20; ++call) {
        XmlRpcValue version;
        if (client->tryCall("system.version", XmlRpcValue(), version) && version[0].getString() == "21.0.0.0") {
          ++answered;
        }
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(answered.load(), kClients * 20);
}

TEST(ServiceStartTest, TerminationEndsTheServiceInOrderWhileClientsStayConnected) {
  testing_support::TempDirectory directory;
  ServiceProcess service(directory.file("store"));
  ASSERT_TRUE(service.running());
  WireClient idle(service.port());
  XmlRpcValue version;
  ASSERT_TRUE(idle.tryCall("system.version", XmlRpcValue(), version));  // keeps its connection open
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(service.stop(), 0);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
}

TEST(ServiceStartTest, ATakenPortOrAnUnusableStoreEndsWithAClearStatus) {
  testing_support::TempDirectory directory;
  ServiceProcess first(directory.file("one"));
  ASSERT_TRUE(first.running());
  std::string output;
  EXPECT_EQ(runServiceCommand({"--port", std::to_string(first.port()), "--store", directory.file("two")}, output), 4);
  EXPECT_EQ(output, "");
  directory.write("plain-file", "x");
  EXPECT_EQ(runServiceCommand({"--port", "0", "--store", directory.file("plain-file/store")}, output), 3);
  EXPECT_EQ(runServiceCommand({"--store", directory.file("one"), "--port", "0"}, output), 3);  // in use
  EXPECT_EQ(runServiceCommand({"--port", "70000"}, output), 2);
  EXPECT_EQ(first.stop(), 0);
}

}  // namespace
