#include "transport/xmlrpc_client.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <mutex>
#include <vector>

#include "platform/clock.h"
#include "platform/thread.h"
#include "support/temp_directory.h"
#include "support/test_server.h"
#include "transport/report_capture.h"

namespace {

using Quillex::XmlRpcClient;
using Quillex::XmlRpcValue;
using testing::HasSubstr;
using testing::StartsWith;
using testing_support::httpAnswer;
using testing_support::methodResponse;
using testing_support::ReportCapture;
using testing_support::ScriptedServer;
using testing_support::ServerConnection;

const std::string kIntAnswer = methodResponse("<value><i4>42</i4></value>");

XmlRpcValue threeInts() {
  XmlRpcValue params;
  params[0] = 1;
  params[1] = 2;
  params[2] = 3;
  return params;
}

// Records each request and answers it with `answer`, on one connection,
// until the client goes away.
class AnsweringServer {
 public:
  explicit AnsweringServer(std::string answer)
      : server_([this, answer](ServerConnection& connection) {
          std::string request;
          while (connection.readRequest(request)) {
            record(request);
            connection.send(answer);
          }
        }) {}
  int port() const { return server_.port(); }
  int connections() const { return server_.connectionsAccepted(); }
  std::vector<std::string> requests() {
    std::lock_guard<std::mutex> lock(mutex_);
    return requests_;
  }

 private:
  void record(const std::string& request) {
    std::lock_guard<std::mutex> lock(mutex_);
    requests_.push_back(request);
  }
  std::mutex mutex_;
  std::vector<std::string> requests_;
  ScriptedServer server_;
};

TEST(ClientTest, WritesTheExactRequestAndKeepsOneConnection) {
  ReportCapture capture;
  AnsweringServer server(httpAnswer(kIntAnswer));
  XmlRpcClient client("127.0.0.1", server.port(), "/RPC2");
  XmlRpcValue result;
  ASSERT_TRUE(client.execute("Add", threeInts(), result));
  EXPECT_EQ(result.getInt(), 42);
  ASSERT_TRUE(client.execute("system.version", XmlRpcValue(), result));

  const auto requests = server.requests();
  ASSERT_EQ(requests.size(), 2u);
  const std::string body =
      "<?xml version=\"1.0\"?>\r\n<methodCall><methodName>Add</methodName>\r\n<params>"
      "<param><value><i4>1</i4></value></param><param><value><i4>2</i4></value></param>"
      "<param><value><i4>3</i4></value></param></params></methodCall>\r\n";
  EXPECT_EQ(requests[0], "POST /RPC2 HTTP/1.1\r\nUser-Agent: Quillex XML-RPC\r\nHost: 127.0.0.1:" +
                             std::to_string(server.port()) + "\r\nContent-Type: text/xml\r\nContent-length: " +
                             std::to_string(body.size()) + "\r\n\r\n" + body);
  // No parameters: no params element at all.
  EXPECT_EQ(testing_support::requestBody(requests[1]),
            "<?xml version=\"1.0\"?>\r\n<methodCall><methodName>system.version</methodName>\r\n</methodCall>\r\n");
  EXPECT_EQ(server.connections(), 1);
  EXPECT_TRUE(capture.errors().empty());
}

TEST(ClientTest, SingleValueIsOneParameter) {
  AnsweringServer server(httpAnswer(kIntAnswer));
  XmlRpcClient client("127.0.0.1", server.port(), "/RPC2");
  XmlRpcValue result;
  ASSERT_TRUE(client.execute("Echo", XmlRpcValue("a<b"), result));
  EXPECT_THAT(testing_support::requestBody(server.requests()[0]),
              HasSubstr("<params><param><value>a&lt;b</value></param></params>"));
}

TEST(ClientTest, RetriesOnceWhenTheServiceDroppedTheIdleConnection) {
  ReportCapture capture(4);
  // Each connection answers one request, then the server closes it.
  ScriptedServer server([](ServerConnection& connection) {
    std::string request;
    if (connection.readRequest(request)) connection.send(httpAnswer(kIntAnswer));
  });
  XmlRpcClient client("127.0.0.1", server.port(), "/RPC2");
  XmlRpcValue result;
  ASSERT_TRUE(client.execute("First", threeInts(), result));
  platform::sleepMilliseconds(20);  // let the close arrive
  ASSERT_TRUE(client.execute("Second", threeInts(), result));
  EXPECT_EQ(result.getInt(), 42);
  EXPECT_EQ(server.connectionsAccepted(), 2);
  EXPECT_TRUE(capture.logged("XmlRpcClient::readHeader: re-trying connection"));
  EXPECT_TRUE(capture.errors().empty());
}

TEST(ClientTest, SecondDropInTheSameCallFails) {
  ReportCapture capture;
  int served = 0;
  ScriptedServer server([&served](ServerConnection& connection) {
    std::string request;
    // Only the very first connection is answered; later ones are closed unanswered.
    if (connection.readRequest(request) && served++ == 0) connection.send(httpAnswer(kIntAnswer));
  });
  XmlRpcClient client("127.0.0.1", server.port(), "/RPC2");
  XmlRpcValue result;
  ASSERT_TRUE(client.execute("First", threeInts(), result));
  platform::sleepMilliseconds(20);
  EXPECT_FALSE(client.execute("Second", threeInts(), result));
  ASSERT_EQ(capture.errors().size(), 1u);
  EXPECT_THAT(capture.errors()[0], StartsWith("Error in XmlRpcClient::readHeader: error while reading header (error "));
  // The failed call cost the connection; the next call opens a new one.
  EXPECT_FALSE(client.execute("Third", threeInts(), result));
  EXPECT_EQ(server.connectionsAccepted(), 4);
}

// A service that takes a call and never answers (hung, or gone in a way
// the connection does not show) costs the call its answer time-out: the
// call fails, its connection is given up, and the next call opens another.
TEST(ClientTest, ACallWithoutAnswerFailsAfterTheAnswerTimeOutAndGivesUpItsConnection) {
  ReportCapture capture;
  int served = 0;
  ScriptedServer server([&served](ServerConnection& connection) {
    std::string request;
    const bool answers = served++ > 0;
    while (connection.readRequest(request)) {  // until the client goes
      if (answers) connection.send(httpAnswer(kIntAnswer));
    }
  });
  XmlRpcClient client("127.0.0.1", server.port(), "/RPC2");
  client.setAnswerTimeout(300);
  XmlRpcValue result;
  const std::uint32_t started = platform::tickCount();
  EXPECT_FALSE(client.execute("Hangs", threeInts(), result));
  const std::uint32_t waited = platform::tickCount() - started;
  EXPECT_GE(waited, 300u - 16u);  // Windows' tick advances in steps of about 16 ms
  EXPECT_LT(waited, 10000u);
  ASSERT_EQ(capture.errors().size(), 1u);
  EXPECT_THAT(capture.errors()[0], StartsWith("Error in XmlRpcClient::execute: no answer within 300 ms (state 3).;TID="));
  ASSERT_TRUE(client.execute("Answered", threeInts(), result));
  EXPECT_EQ(result.getInt(), 42);
  EXPECT_EQ(server.connectionsAccepted(), 2);
}

struct HeaderCase {
  std::string header;  // the answer's header, without the blank line ending it
  std::string ending;  // "\r\n\r\n" or "\n\n"
  bool accepted;
  std::string error;
};

class HeaderTest : public testing::TestWithParam<HeaderCase> {};

TEST_P(HeaderTest, ReadsTheContentLengthAsTheClientAlwaysHas) {
  const HeaderCase& c = GetParam();
  const std::string body = kIntAnswer;
  std::string header = c.header;
  const std::size_t marker = header.find("%d");
  if (marker != std::string::npos) header.replace(marker, 2, std::to_string(body.size()));
  AnsweringServer server(header + c.ending + body);
  ReportCapture capture;
  XmlRpcClient client("127.0.0.1", server.port(), "/RPC2");
  XmlRpcValue result;
  EXPECT_EQ(client.execute("Call", threeInts(), result), c.accepted);
  if (c.accepted) {
    EXPECT_EQ(result.getInt(), 42);
    EXPECT_TRUE(capture.errors().empty());
  } else {
    ASSERT_EQ(capture.errors().size(), 1u);
    EXPECT_THAT(capture.errors()[0], StartsWith(c.error));
  }
}

INSTANTIATE_TEST_SUITE_P(
    Variants, HeaderTest,
    testing::Values(
        HeaderCase{"HTTP/1.1 200 OK\r\ncontent-LENGTH: %d", "\r\n\r\n", true, ""},
        HeaderCase{"HTTP/1.1 200 OK\nContent-length: %d", "\n\n", true, ""},
        HeaderCase{"HTTP/1.1 500 Internal Server Error\r\nContent-length: %d", "\r\n\r\n", true, ""},
        HeaderCase{"HTTP/1.1 200 OK\r\nContent-length:%d", "\r\n\r\n", false,
                   "Error XmlRpcClient::readHeader: No Content-length specified;TID="},
        HeaderCase{"HTTP/1.1 200 OK\r\nContent-length: 0", "\r\n\r\n", false,
                   "Error in XmlRpcClient::readHeader: Invalid Content-length specified (0).;TID="},
        HeaderCase{"HTTP/1.1 200 OK\r\nContent-length: -5", "\r\n\r\n", false,
                   "Error in XmlRpcClient::readHeader: Invalid Content-length specified (-5).;TID="},
        HeaderCase{"HTTP/1.1 200 OK\r\nContent-length: many", "\r\n\r\n", false,
                   "Error in XmlRpcClient::readHeader: Invalid Content-length specified (0).;TID="},
        // Too large for an int: refused, never wrapped into a small length.
        HeaderCase{"HTTP/1.1 200 OK\r\nContent-length: 4294967396", "\r\n\r\n", false,
                   "Error in XmlRpcClient::readHeader: Invalid Content-length specified (4294967396).;TID="},
        HeaderCase{"HTTP/1.1 200 OK\r\nContent-length: 2147483648", "\r\n\r\n", false,
                   "Error in XmlRpcClient::readHeader: Invalid Content-length specified (2147483648).;TID="}));

TEST(ClientTest, FaultAnswerFailsWithoutAnErrorLine) {
  const std::string fault =
      "<?xml version=\"1.0\"?>\r\n<methodResponse><fault><value><struct>"
      "<member><name>faultCode</name><value><i4>4</i4></value></member>"
      "<member><name>faultString</name><value>Too many parameters</value></member>"
      "</struct></value></fault></methodResponse>";
  AnsweringServer server(httpAnswer(fault));
  ReportCapture capture;
  XmlRpcClient client("127.0.0.1", server.port(), "/RPC2");
  XmlRpcValue result;
  EXPECT_FALSE(client.execute("Call", threeInts(), result));
  EXPECT_TRUE(client.isFault());
  EXPECT_EQ(result["faultString"].asString(), "Too many parameters");
  EXPECT_TRUE(capture.errors().empty());
  // A fault is an answer: the connection stays usable.
  EXPECT_FALSE(client.execute("Call", threeInts(), result));
  EXPECT_EQ(server.connections(), 1);
}

TEST(ClientTest, BodySplitOverManySmallSegmentsIsReassembled) {
  std::string payload(20000, 'x');
  for (std::size_t i = 0; i < payload.size(); ++i) payload[i] = static_cast<char>('a' + i % 26);
  const std::string answer = httpAnswer(methodResponse("<value>" + payload + "</value>"));
  ScriptedServer server([&answer](ServerConnection& connection) {
    std::string request;
    if (!connection.readRequest(request)) return;
    for (std::size_t offset = 0; offset < answer.size(); offset += 7) {
      connection.send(answer.substr(offset, 7));
      if (offset % 700 == 0) platform::sleepMilliseconds(1);
    }
  });
  XmlRpcClient client("127.0.0.1", server.port(), "/RPC2");
  XmlRpcValue result;
  ASSERT_TRUE(client.execute("Call", threeInts(), result));
  EXPECT_EQ(result.getString(), payload);
}

TEST(ClientTest, ZeroByteInTheBodyDoesNotStallTheCall) {
  // The body is read by its Content-length. The server keeps the connection
  // open a while after answering; a client that stopped at the zero byte
  // would wait for more and fail only when the server finally closes.
  const std::string answer = httpAnswer(methodResponse(std::string("<value>a\0b</value>", 19)));
  ScriptedServer server([&answer](ServerConnection& connection) {
    std::string request;
    if (!connection.readRequest(request)) return;
    connection.send(answer);
    platform::sleepMilliseconds(300);
  });
  ReportCapture capture;
  XmlRpcClient client("127.0.0.1", server.port(), "/RPC2");
  XmlRpcValue result;
  EXPECT_TRUE(client.execute("Call", threeInts(), result));
  EXPECT_TRUE(capture.errors().empty());
}

TEST(ClientTest, TruncatedBodyOrHeaderFails) {
  const std::string full = httpAnswer(kIntAnswer);
  for (const auto& [cut, error] : std::vector<std::pair<std::size_t, std::string>>{
           {full.size() - 10, "Error in XmlRpcClient::readResponse: EOF while reading response;TID="},
           {20, "Error in XmlRpcClient::readHeader: EOF while reading header;TID="}}) {
    ScriptedServer server([&full, cut = cut](ServerConnection& connection) {
      std::string request;
      if (connection.readRequest(request)) connection.send(full.substr(0, cut));
    });
    ReportCapture capture;
    XmlRpcClient client("127.0.0.1", server.port(), "/RPC2");
    XmlRpcValue result;
    EXPECT_FALSE(client.execute("Call", threeInts(), result));
    ASSERT_EQ(capture.errors().size(), 1u);
    EXPECT_THAT(capture.errors()[0], StartsWith(error));
  }
}

TEST(ClientTest, AnswersThatAreNoMethodResponseFail) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"<html>busy</html>", "Error in XmlRpcClient::parseResponse: Invalid response - no methodResponse. Response:\n<html>"},
      {"<methodResponse><nothing/></methodResponse>",
       "Error in XmlRpcClient::parseResponse: Invalid response - no param or fault tag. Response:\n"},
      {"<methodResponse><params><param><value><i4>x</i4></value></param></params></methodResponse>",
       "Error in XmlRpcClient::parseResponse: Invalid response value. Response:\n"}};
  for (const auto& [body, error] : cases) {
    AnsweringServer server(httpAnswer(body));
    ReportCapture capture;
    XmlRpcClient client("127.0.0.1", server.port(), "/RPC2");
    XmlRpcValue result;
    EXPECT_FALSE(client.execute("Call", threeInts(), result)) << body;
    ASSERT_EQ(capture.errors().size(), 1u) << body;
    EXPECT_THAT(capture.errors()[0], StartsWith(error));
  }
}

TEST(ClientTest, NoServiceIsAConnectFailure) {
  int port = 0;
  { ScriptedServer probe([](ServerConnection&) {}); port = probe.port(); }  // a port nobody listens on now
  ReportCapture capture;
  XmlRpcClient client("127.0.0.1", port, "/RPC2");
  XmlRpcValue result;
  EXPECT_FALSE(client.execute("Call", threeInts(), result));
  ASSERT_EQ(capture.errors().size(), 1u);
  EXPECT_THAT(capture.errors()[0],
              StartsWith("Error in XmlRpcClient::doConnect: Could not connect to server (error " +
                         std::to_string(testing_support::kConnectionRefused) +
                         ").;TID=" + std::to_string(platform::currentThreadId())));
}

TEST(ClientTest, WorksWithDescriptorsAbove1024) {
  std::vector<std::FILE*> filler;
  for (int i = 0; i < 1100; ++i) {
    std::FILE* file = std::fopen(testing_support::kNullDevice, "r");
    if (file == nullptr) break;
    filler.push_back(file);
  }
  if (filler.size() < 1100) {
    for (auto* file : filler) std::fclose(file);
    GTEST_SKIP() << "cannot open enough descriptors here";
  }
  AnsweringServer server(httpAnswer(kIntAnswer));
  XmlRpcClient client("127.0.0.1", server.port(), "/RPC2");
  XmlRpcValue result;
  const bool ok = client.execute("Call", threeInts(), result);
  for (auto* file : filler) std::fclose(file);
  ASSERT_TRUE(ok);
  EXPECT_EQ(result.getInt(), 42);
}

TEST(ClientTest, VerbosityFiveLogsWholeTexts) {
  AnsweringServer server(httpAnswer(kIntAnswer));
  ReportCapture capture(5);
  XmlRpcClient client("127.0.0.1", server.port(), "/RPC2");
  XmlRpcValue result;
  ASSERT_TRUE(client.execute("Call", threeInts(), result));
  EXPECT_TRUE(capture.logged("XmlRpcClient new client: host 127.0.0.1, port " + std::to_string(server.port()) + ".;TID="));
  EXPECT_TRUE(capture.logged("XmlRpcClient::writeRequest (attempt 1):\nPOST /RPC2 HTTP/1.1\r\n"));
  EXPECT_TRUE(capture.logged("response:\n<?xml"));
  EXPECT_TRUE(capture.logged("XmlRpcClient::execute: method Call completed."));
}

}  // namespace
