// Streams over the wire: the open modes the gateway relies on ("rbE" while a
// file is still being written, "wt+" line ends), positions, copies and
// substreams.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "platform/child_process.h"
#include "platform/file.h"
#include "platform/path.h"
#include "platform/thread.h"
#include "support/service_fixture.h"

namespace {

using namespace service_testing;
using testing::HasSubstr;

class StreamsTest : public testing::Test {
 protected:
  void SetUp() override {
    service_ = std::make_unique<ServiceProcess>(directory_.file("store"));
    ASSERT_TRUE(service_->running());
    client_ = std::make_unique<WireClient>(service_->port());
    context_ = client_->openContext(directory_.write("s.ini", settingsText("STREAMS", "SVC")));
  }
  XmlRpcValue open(const std::string& path, const char* mode) {
    return client_->call("DravontStreamFileCtor", args({context_, path, mode, ""}));
  }
  int stream(const std::string& path, const char* mode) {
    const XmlRpcValue answer = open(path, mode);
    EXPECT_EQ(answer[1].getString(), "") << path << " " << mode;
    return answer[0].getInt();
  }
  std::string read(int handle, int size) {
    const XmlRpcValue answer = client_->call("DravontStreamRead", args({context_, handle, size}));
    EXPECT_EQ(answer[2].getString(), "");
    const auto& bytes = answer[1].getBinary();
    EXPECT_EQ(answer[0].getInt(), static_cast<int>(bytes.size()));
    return std::string(bytes.begin(), bytes.end());
  }
  int write(int handle, const std::string& bytes) {
    const XmlRpcValue answer =
        client_->call("DravontStreamWrite", args({context_, handle, bytesValue(bytes), static_cast<int>(bytes.size())}));
    EXPECT_EQ(answer[1].getString(), "");
    return answer[0].getInt();
  }

  testing_support::TempDirectory directory_;
  std::unique_ptr<ServiceProcess> service_;
  std::unique_ptr<WireClient> client_;
  int context_ = 0;
};

TEST_F(StreamsTest, ExclusiveReadFailsWhileAnotherProcessWritesTheFile) {
  const std::string path = directory_.write("growing.dat", "first part");
  // The writer: a second service holding the file open for appending.
  ServiceProcess writer(directory_.file("writer-store"));
  ASSERT_TRUE(writer.running());
  WireClient writerClient(writer.port());
  const int writerContext = writerClient.openContext(directory_.write("w.ini", settingsText("WRITER", "SVC")));
  EXPECT_NE(writerClient.number("DravontStreamFileCtor", args({writerContext, path, "ab", ""})), 0);
  const XmlRpcValue refused = open(path, "rbE");
  EXPECT_EQ(refused[0].getInt(), 0);
  EXPECT_THAT(refused[1].getString(), HasSubstr("another process has it open for writing"));
  EXPECT_EQ(open(path, "rb")[1].getString(), "");  // a plain read does not care
  writer.kill();
  const int handle = stream(path, "rbE");
  EXPECT_EQ(read(handle, 100), "first part");
}

// A client killed with a stream open never frees its context; the service
// frees it when the next context opens, and the file is the owner's to move
// on again (on Windows the open stream would stand in the way of removing
// it). A live client keeps its context.
TEST_F(StreamsTest, TheContextOfAClientThatEndedIsFreedWhenTheNextContextOpens) {
  const std::string path = directory_.write("posted.txt", "posted");
  std::string error;
  auto killed = platform::ChildProcess::start(
      {ServiceProcess::binary(), "--port", "0", "--store", directory_.file("client-store")}, true, error);
  ASSERT_NE(killed, nullptr) << error;
  ASSERT_TRUE(killed->readLine(10000).has_value());
  const auto report = [&](int context, int processId) {
    const std::string program = platform::executablePath().value_or("");
    return client_->call("ReportModules", args({context, program, "1.0.0.0", program, "", 0, processId}))[0].getString();
  };
  EXPECT_EQ(report(context_, killed->pid()), "");
  const int live = client_->openContext(directory_.write("live.ini", settingsText("LIVE", "SVC")));
  EXPECT_EQ(report(live, platform::currentProcessId()), "");
  const int handle = stream(path, "rbE");
  killed->kill();
  killed->wait(10000);

  client_->openContext(directory_.write("next.ini", settingsText("NEXT", "SVC")));
  EXPECT_EQ(client_->call("DravontStreamRead", args({context_, handle, 1}))[2].getString(),
            "Thread do not own context pointer provided");
  EXPECT_EQ(platform::removeFile(path), 0);
  EXPECT_FALSE(platform::pathExists(path));
  EXPECT_EQ(client_->call("GetDravontSenderAddress", args({live}))[1].getString(), "");
}

TEST_F(StreamsTest, TextModeWritesCrLfAndReadsItBack) {
  const std::string path = directory_.file("info.inf");
  const int handle = stream(path, "wt+");
  EXPECT_EQ(write(handle, "owner: CN=X"), 11);
  EXPECT_EQ(write(handle, "\nserial: 01\n"), 12);
  EXPECT_EQ(client_->call("DravontStreamDtor", args({context_, handle})).getString(), "");
  EXPECT_EQ(testing_support::readFile(path), "owner: CN=X\r\nserial: 01\r\n");

  const int text = stream(path, "rt");
  std::string all;
  for (std::string piece; !(piece = read(text, 4)).empty();) all += piece;  // CR LF may straddle two reads
  EXPECT_EQ(all, "owner: CN=X\nserial: 01\n");
  const int binary = stream(path, "rb");
  EXPECT_EQ(read(binary, 100), "owner: CN=X\r\nserial: 01\r\n");
}

TEST_F(StreamsTest, PositionsLengthsAndProperties) {
  const int handle = stream(directory_.write("digits.txt", "0123456789"), "rb+");
  EXPECT_EQ(client_->number("DravontStreamLength", args({context_, handle})), 10);
  EXPECT_EQ(read(handle, 3), "012");
  EXPECT_EQ(client_->number("DravontStreamTell", args({context_, handle})), 3);
  EXPECT_EQ(client_->number("DravontStreamSeek", args({context_, handle, -2, 2})), 8);  // from the end, signed
  EXPECT_EQ(read(handle, 10), "89");
  EXPECT_EQ(read(handle, 10), "");  // at the end: nothing, no error
  EXPECT_EQ(client_->number("DravontStreamSeek", args({context_, handle, 4, 0})), 4);
  EXPECT_EQ(client_->number("DravontStreamSeek", args({context_, handle, 1, 1})), 5);
  EXPECT_EQ(write(handle, "ab"), 2);
  EXPECT_EQ(testing_support::readFile(directory_.file("digits.txt")), "01234ab789");
  EXPECT_THAT(client_->call("DravontStreamSeek", args({context_, handle, -20, 1}))[1].getString(),
              HasSubstr("before the start"));
  EXPECT_THAT(client_->call("DravontStreamSeek", args({context_, handle, 0, 7}))[1].getString(),
              HasSubstr("Unknown seek origin 7"));
  const XmlRpcValue length = client_->call("DravontStreamGet", args({context_, handle, "length"}));
  EXPECT_EQ(length[0].getString(), "10");
  EXPECT_EQ(client_->call("DravontStreamGet", args({context_, handle, "tell"}))[0].getString(), "7");
  EXPECT_THAT(client_->call("DravontStreamGet", args({context_, handle, "colour"}))[1].getString(),
              HasSubstr("has no property \"colour\""));
}

TEST_F(StreamsTest, SubstreamsCopiesAndBufferStreams) {
  const int source = stream(directory_.write("msg.txt", "to: EMAIL@A.B\nbody line\n"), "rb");
  EXPECT_EQ(read(source, 14), "to: EMAIL@A.B\n");
  const int tell = client_->number("DravontStreamTell", args({context_, source}));
  const int body = client_->number("GetDravontSubstream", args({context_, source, tell, -1}));
  EXPECT_EQ(client_->number("DravontStreamLength", args({context_, body})), 10);
  EXPECT_EQ(read(body, 100), "body line\n");
  const int part = client_->number("GetDravontSubstream", args({context_, source, 4, 5}));
  EXPECT_EQ(read(part, 100), "EMAIL");

  const int buffer = client_->number("DravontStreamBufferCtor", args({context_, bytesValue("head:"), 5, "buffer.bin"}));
  EXPECT_EQ(client_->number("DravontStreamSeek", args({context_, buffer, 0, 2})), 5);
  EXPECT_EQ(client_->number("DravontStream2Stream", args({context_, body, buffer})), 0);  // body already read to its end
  EXPECT_EQ(client_->number("DravontStreamSeek", args({context_, body, 0, 0})), 0);
  EXPECT_EQ(client_->number("DravontStream2Stream", args({context_, body, buffer})), 10);
  EXPECT_EQ(client_->number("DravontStreamSeek", args({context_, buffer, 0, 0})), 0);
  EXPECT_EQ(read(buffer, 100), "head:body line\n");
  EXPECT_THAT(client_->call("DravontStreamBufferCtor", args({context_, bytesValue("abc"), 5, ""}))[1].getString(),
              HasSubstr("holds 3 bytes, not the 5"));

  // A file:// URL transfers a stream into a file.
  const int url = client_->number("DravontURLCtor", args({context_, "file://" + directory_.file("copied.txt"), ""}));
  EXPECT_EQ(client_->call("DravontURLSetReadStream", args({context_, url, buffer})).getString(), "");
  EXPECT_EQ(client_->number("DravontStreamSeek", args({context_, buffer, 5, 0})), 5);
  EXPECT_EQ(client_->call("DravontURLPerform", args({context_, url})).getString(), "");
  EXPECT_EQ(testing_support::readFile(directory_.file("copied.txt")), "body line\n");
}

}  // namespace
