// In-process checks of the pieces whose edge cases the wire reaches only by
// chance: method-call parsing, answer shapes, text-mode streams, parameter
// escaping, the settings reader and the HTTP request head.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "client_paths.h"
#include "http_request.h"
#include "method_call.h"
#include "param_store.h"
#include "participant_settings.h"
#include "percent_text.h"
#include "rpc_dispatcher.h"
#include "stream_open.h"

namespace {

using namespace dravont_service;
using Quillex::XmlRpcValue;
using testing::HasSubstr;

TEST(MethodCallTest, ParsesTheFormsClientsSend) {
  MethodCall call;
  std::string error;
  ASSERT_TRUE(parseMethodCall("<?xml version=\"1.0\"?>\r\n<methodCall><methodName>system.version</methodName>\r\n"
                              "</methodCall>\r\n",
                              call, error))
      << error;
  EXPECT_EQ(call.name, "system.version");
  EXPECT_TRUE(call.params.empty());
  ASSERT_TRUE(parseMethodCall("<methodCall>\n <methodName> Execute </methodName>\n <params>\n"
                              "  <param><value><i4>7</i4></value></param>\n"
                              "  <param><value><array><data><value>a</value><value><int>2</int></value></data>"
                              "</array></value></param>\n </params>\n</methodCall>",
                              call, error))
      << error;
  EXPECT_EQ(call.name, "Execute");
  ASSERT_EQ(call.params.size(), 2u);
  EXPECT_EQ(call.params[0].getInt(), 7);
  EXPECT_EQ(call.params[1][1].getInt(), 2);
  EXPECT_TRUE(parseMethodCall("<methodCall><methodName>m</methodName><params/></methodCall>", call, error));
  EXPECT_FALSE(parseMethodCall("<methodCall><methodName>m</methodName><params><param>oops</param></params>"
                               "</methodCall>",
                               call, error));
  EXPECT_THAT(error, HasSubstr("parameter 1"));
}

TEST(MethodCallTest, ErrorAnswersPutTheTextWhereTheClientReadsIt) {
  const XmlRpcValue collect = errorAnswer("Ei", "no");
  EXPECT_EQ(collect[0].getString(), "no");
  EXPECT_EQ(collect[1].getInt(), 0);
  const XmlRpcValue read = errorAnswer("ibE", "gone");
  EXPECT_EQ(read[1].getBinary().size(), 0u);
  EXPECT_EQ(read[2].getString(), "gone");
  EXPECT_EQ(errorAnswer("dE", "x")[0].getType(), XmlRpcValue::TypeDateTime);
  EXPECT_EQ(errorAnswer("T", "bare").getString(), "bare");
  std::string fault = faultText(-32601, "Unknown method \"<x>\"");
  EXPECT_THAT(fault, HasSubstr("<fault><value><struct>"));
  EXPECT_THAT(fault, HasSubstr("Unknown method &quot;&lt;x&gt;&quot;"));
}

TEST(HttpRequestHeadTest, KeepsTheConnectionAsTheVersionAndConnectionFieldSayAndDoubtsNoLength) {
  HttpRequestHead head;
  ASSERT_TRUE(parseRequestHead({"POST /RPC2 HTTP/1.1", "content-LENGTH:  12 ", "Connection: TE, Close"}, head));
  EXPECT_EQ(head.contentLength, 12u);
  EXPECT_FALSE(head.keepAlive);
  ASSERT_TRUE(parseRequestHead({"POST /RPC2 HTTP/1.0", "Connection: keep-alive"}, head));
  EXPECT_TRUE(head.keepAlive);
  ASSERT_TRUE(parseRequestHead({"POST /RPC2 HTTP/1.0"}, head));
  EXPECT_FALSE(head.keepAlive);
  EXPECT_FALSE(parseRequestHead({"POST /RPC2 HTTP/1.1", "Content-Length: 12", "Content-Length: 13"}, head));
  EXPECT_FALSE(parseRequestHead({"POST /RPC2 HTTP/1.1", "Content-Length: -1"}, head));
  EXPECT_FALSE(parseRequestHead({"POST /RPC2 HTTP/1.1", "No colon here"}, head));
  EXPECT_FALSE(parseRequestHead({"POST  /RPC2 HTTP/1.1"}, head));
  EXPECT_FALSE(parseRequestHead({"POST /RPC2 HTTP/2.0"}, head));
}

TEST(TextStreamTest, CrLfIsFoldedAcrossReadBoundariesAndALoneCrSurvives) {
  std::shared_ptr<Stream> stream = openBufferStream("a\r\nb\r\r\nc\r", "t");
  std::shared_ptr<Stream> text = std::make_shared<Stream>(
      std::make_shared<MemoryBytes>("a\r\nb\r\r\nc\r"), StreamAccess{true, true, true, false}, "t.txt", "rt+");
  std::string all;
  for (std::string piece;;) {
    ASSERT_EQ(text->read(1, piece), "");
    if (piece.empty()) break;
    all += piece;
  }
  EXPECT_EQ(all, "a\nb\r\nc\r");
  std::size_t written = 0;
  ASSERT_EQ(text->write("x\ny", written), "");
  EXPECT_EQ(written, 3u);
  EXPECT_EQ(text->tell(), 13u);  // raw position: nine bytes read, "x\r\ny" took four
  std::string raw;
  ASSERT_EQ(stream->read(100, raw), "");
  EXPECT_EQ(raw, "a\r\nb\r\r\nc\r");
}

TEST(TextStreamTest, SubstreamsStayInsideTheirWindowAndAppendWritesAtTheEnd) {
  std::shared_ptr<Stream> base = openBufferStream("0123456789", "");
  std::shared_ptr<Stream> window = base->substream(2, 5);
  std::shared_ptr<Stream> inner = window->substream(3, std::nullopt);
  std::string bytes;
  ASSERT_EQ(inner->read(100, bytes), "");
  EXPECT_EQ(bytes, "56");
  std::size_t written = 0;
  EXPECT_THAT(window->write("x", written), HasSubstr("not open for writing"));
  std::shared_ptr<Stream> appending = std::make_shared<Stream>(std::make_shared<MemoryBytes>("abc"),
                                                               StreamAccess{true, true, false, true}, "", "a+");
  ASSERT_EQ(appending->write("d", written), "");
  std::uint64_t position = 0;
  ASSERT_EQ(appending->seek(0, 0, position), "");
  ASSERT_EQ(appending->read(10, bytes), "");
  EXPECT_EQ(bytes, "abcd");
}

// A Windows program under Wine names its files by drive; told the prefix,
// the service opens them where Wine keeps them. Other paths pass unchanged.
TEST(ClientPathTest, DrivePathsOfWineClientsLeadIntoTheirPrefix) {
  EXPECT_EQ(localPath("C:\\users\\me\\in\\A b.txt", "/w/prefix"), "/w/prefix/dosdevices/c:/users/me/in/A b.txt");
  EXPECT_EQ(localPath("z:/tmp\\x", "/w/prefix/"), "/w/prefix/dosdevices/z:/tmp/x");
  EXPECT_EQ(localPath("D:", "/w"), "/w/dosdevices/d:");
  for (const char* other : {"C:relative", "\\\\server\\share\\x", "/tmp/x", "1:\\x", ""}) {
    EXPECT_EQ(localPath(other, "/w"), other);
  }
  EXPECT_EQ(localPath("C:\\x", ""), "C:\\x");
}

TEST(ParamTextTest, KeysAndValuesOfAnyBytesRoundTripThroughTheIniFile) {
  const std::string key = "Key=with;[odd] bytes\n%";
  const std::string value = " leading, trailing \r\n and = % ";
  const std::string line = escapeIniKey(key) + "=" + escapeWord(value);
  const auto values = ParamStore::parse("[params]\n" + line + "\n");
  ASSERT_EQ(values.count(key), 1u) << line;
  EXPECT_EQ(values.at(key), value);
  EXPECT_EQ(escapeIniKey("infilenum /home/u/gw.ini"), "infilenum%20/home/u/gw.ini");
}

TEST(SettingsTest, SectionNamesKeepTheirSpellingAndEveryMissingKeyIsNamed) {
  std::string error;
  const auto settings = parseParticipantSettings(
      "p.ini",
      "[Self]\nticker=T\nservice=S\n[signature]\ndn=D\nkey_not_before=1\nkey_not_after=2\ncert_not_before=3\n"
      "cert_not_after=4\nserial=5\n[Extra]\nk=v\n",
      error);
  ASSERT_TRUE(settings) << error;
  EXPECT_EQ(settings->address(), "EMAIL@T.S");
  ASSERT_EQ(settings->sections.size(), 3u);
  EXPECT_EQ(settings->sections[2].first, "Extra");
  EXPECT_FALSE(settings->hostname.empty());
  EXPECT_FALSE(settings->hasNotification);
  EXPECT_FALSE(parseParticipantSettings("q.ini", "[self]\nticker=T\nservice=\n[signature]\ndn=D\n", error));
  EXPECT_THAT(error, HasSubstr("[self] service, [signature] key_not_before"));
  EXPECT_THAT(error, HasSubstr("[signature] serial"));
}

}  // namespace
