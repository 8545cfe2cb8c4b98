// The client against an XML-RPC implementation nobody here wrote: Python's
// standard server. It answers with HTTP/1.0 and closes each connection, so
// every call after the first also exercises the reconnect path.
#include <gtest/gtest.h>

#include <memory>

#include "platform/child_process.h"
#include "transport/report_capture.h"
#include "transport/xmlrpc_client.h"

namespace {

using Quillex::XmlRpcClient;
using Quillex::XmlRpcValue;

class InteropTest : public testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    peer_ = platform::ChildProcess::start(
        {"python3", std::string(TRASVIK_SOURCE_DIR) + "/tests/transport/python_xmlrpc_peer.py"}, true, error);
    ASSERT_NE(peer_, nullptr) << error;
    const auto port = peer_->readLine(20000);
    ASSERT_TRUE(port.has_value()) << "the Python peer did not start";
    client_ = std::make_unique<XmlRpcClient>("127.0.0.1", std::stoi(*port), "/RPC2");
  }

  XmlRpcValue call(const char* method, const XmlRpcValue& params = XmlRpcValue()) {
    XmlRpcValue result;
    EXPECT_TRUE(client_->execute(method, params, result)) << method;
    return result;
  }

  std::unique_ptr<platform::ChildProcess> peer_;
  std::unique_ptr<XmlRpcClient> client_;
};

TEST_F(InteropTest, ScalarsAndMarkup) {
  testing_support::ReportCapture capture;
  XmlRpcValue params;
  params[0] = 1;
  params[1] = 2;
  params[2] = 3;
  EXPECT_EQ(call("combine", params).getInt(), 123);
  EXPECT_EQ(call("markup").getString(), "a<b & c>d \"q\" 'x'");
  // Our markup characters, escaped our way, reach Python and come back intact.
  EXPECT_EQ(call("echo", XmlRpcValue("<&>\"' mixed")).getString(), "<&>\"' mixed");
  EXPECT_TRUE(capture.errors().empty());
}

TEST_F(InteropTest, ArraysAndStructs) {
  XmlRpcValue mixed = call("mixed");
  ASSERT_EQ(mixed.getType(), XmlRpcValue::TypeArray);
  ASSERT_EQ(mixed.size(), 4);
  EXPECT_EQ(mixed[0].getInt(), 1);
  EXPECT_EQ(mixed[1].getString(), "two");
  EXPECT_EQ(mixed[2][1].getInt(), 4);
  EXPECT_EQ(mixed[3]["five"].getInt(), 5);

  XmlRpcValue nested = call("nested");
  ASSERT_EQ(nested.getType(), XmlRpcValue::TypeStruct);
  EXPECT_EQ(nested.size(), 3);
  EXPECT_EQ(nested["zeta"].getInt(), 1);
  EXPECT_TRUE(nested["Alpha"][0].getBool());
  EXPECT_DOUBLE_EQ(nested["Alpha"][1].getDouble(), 2.5);
  EXPECT_EQ(nested["mid"]["inner"].getString(), "x");
}

TEST_F(InteropTest, LargeBase64BothWays) {
  constexpr int kSize = 300 * 1024;
  XmlRpcValue size;
  size[0] = kSize;
  XmlRpcValue blob = call("blob", size);
  ASSERT_EQ(blob.getType(), XmlRpcValue::TypeBase64);
  const auto& bytes = blob.getBinary();
  ASSERT_EQ(bytes.size(), static_cast<std::size_t>(kSize));
  for (int i = 0; i < kSize; ++i) {
    ASSERT_EQ(static_cast<unsigned char>(bytes[i]), (i * 7 + 3) % 256) << "byte " << i;
  }
  // Our base64 text, with its line feeds, is read by Python.
  XmlRpcValue back;
  back[0] = blob;
  EXPECT_EQ(call("measure", back).getInt(), kSize);
}

}  // namespace
