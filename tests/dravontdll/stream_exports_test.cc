#include <cstring>

#include "dravontdll/export_fixture.h"

namespace {

using namespace Quillex;
using testing_support::values;

class StreamExportTest : public testing_support::ExportTest {
 protected:
  DravontStream_s stream{5, context};
};

TEST_F(StreamExportTest, WriteSendsBytesAndSize) {
  service.answer("DravontStreamWrite", values({5, ""}));
  onFreshThread([&] {
    EXPECT_EQ(StreamWrite(&stream, nullptr, 5), 5u);
    EXPECT_EQ(StreamWrite(&stream, "hello", 5), 5u);
  });
  const auto calls = service.calls("DravontStreamWrite");
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_TRUE(calls[0].params[2].getBinary().empty());
  EXPECT_EQ(calls[0].params[3].getInt(), 5);
  EXPECT_EQ(std::string(calls[1].params[2].getBinary().begin(), calls[1].params[2].getBinary().end()), "hello");
}

TEST_F(StreamExportTest, ReadCopiesNoMoreThanAskedOrReceived) {
  onFreshThread([&] {
    char buffer[16];
    std::memset(buffer, '#', sizeof buffer);
    service.answer("DravontStreamRead", values({3, XmlRpcValue("abc", 3), ""}));
    EXPECT_EQ(StreamRead(&stream, buffer, 10), 3u);
    EXPECT_EQ(std::string(buffer, 4), "abc#");

    // A service that sends more than was asked for cannot overrun the buffer.
    std::memset(buffer, '#', sizeof buffer);
    service.answer("DravontStreamRead", values({20, XmlRpcValue("0123456789ABCDEFGHIJ", 20), ""}));
    EXPECT_EQ(StreamRead(&stream, buffer, 10), 20u);
    EXPECT_EQ(std::string(buffer, 11), "0123456789#");

    // At the end: nothing copied, the count returned.
    service.answer("DravontStreamRead", values({0, XmlRpcValue("", 0), ""}));
    std::memset(buffer, '#', sizeof buffer);
    EXPECT_EQ(StreamRead(&stream, buffer, 10), 0u);
    EXPECT_EQ(buffer[0], '#');

    service.answer("DravontStreamRead", values({2, XmlRpcValue("xy", 2), "Read past end"}));
    EXPECT_EQ(StreamRead(&stream, buffer, 10), 2u);
    EXPECT_EQ(std::string(buffer, 2), "xy");
    EXPECT_STREQ(GetLastDravontError(), "Read past end");
  });
}

TEST_F(StreamExportTest, PositionsTravelAsIntsAndComeBackUnsigned) {
  service.answer("DravontStreamSeek", values({-2, ""}));
  service.answer("DravontStreamTell", values({-1, "Stream closed"}));
  onFreshThread([&] {
    EXPECT_EQ(StreamSeek(&stream, 0x80000000u, 2), 0xFFFFFFFEu);
    EXPECT_EQ(StreamTell(&stream), 0xFFFFFFFFu);
    EXPECT_STREQ(GetLastDravontError(), "Stream closed");
    EXPECT_EQ(StreamTell(nullptr), 0u);
    EXPECT_STREQ(GetLastDravontError(), "Invalid DravontStream pointer");
    EXPECT_EQ(StreamWriteToStream(&stream, nullptr), 0u);
    EXPECT_STREQ(GetLastDravontError(), "Invalid DravontStream pointers");
    service.fault("DravontStreamLength");
    EXPECT_EQ(StreamLength(&stream), 0u);
    EXPECT_STREQ(GetLastDravontError(), "RPC call DravontStreamLength failed");
  });
  EXPECT_EQ(onlyCall("DravontStreamSeek")[2].getInt(), static_cast<int>(0x80000000u));
}

TEST_F(StreamExportTest, SubstreamAndCopy) {
  service.answer("GetDravontSubstream", values({40, ""}));
  service.answer("DravontStream2Stream", values({100, ""}));
  onFreshThread([&] {
    DravontStream_s target{0, nullptr};
    EXPECT_EQ(GetDravontSubstream(&stream, &target, 10, static_cast<unsigned int>(-1)), 0);
    EXPECT_EQ(target.handle, 40u);
    EXPECT_EQ(target.context, context);
    DravontStream_s other{6, nullptr};
    EXPECT_EQ(StreamWriteToStream(&stream, &other), 100u);
  });
  EXPECT_EQ(onlyCall("GetDravontSubstream")[3].getInt(), -1);
  const XmlRpcValue copy = onlyCall("DravontStream2Stream");
  EXPECT_EQ(copy[0].getInt(), 7);
  EXPECT_EQ(copy[1].getInt(), 5);
  EXPECT_EQ(copy[2].getInt(), 6);
}

TEST_F(StreamExportTest, FiltersDoNothing) {
  onFreshThread([&] {
    EXPECT_EQ(StreamTell(nullptr), 0u);
    EXPECT_EQ(AddStreamFilter(&stream, nullptr), 0);
    EXPECT_EQ(RemoveStreamFilter(nullptr, nullptr), 0);
    EXPECT_STREQ(GetLastDravontError(), "Invalid DravontStream pointer");
  });
  EXPECT_TRUE(service.calls().empty());
}

}  // namespace
