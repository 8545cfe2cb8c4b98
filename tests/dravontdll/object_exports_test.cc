#include <gmock/gmock.h>

#include "dravontdll/export_fixture.h"
#include "platform/path.h"

namespace {

using namespace Quillex;
using testing_support::values;

class ObjectExportTest : public testing_support::ExportTest {};

TEST_F(ObjectExportTest, ConstructorSendsTextsAndKeepsTheHandleEvenOnError) {
  service.answer("DravontAddressCtor", values({12, "Unknown ticker"}));
  onFreshThread([&] {
    DravontAddress_s address{0, nullptr};
    EXPECT_EQ(InitDravontAddress(&address, context, "EMAIL", nullptr, "T1", "svc", "({subject:'x'})"), 2);
    EXPECT_EQ(address.handle, 12u);
    EXPECT_EQ(address.context, context);
    EXPECT_STREQ(GetLastDravontError(), "Unknown ticker");
  });
  const XmlRpcValue params = onlyCall("DravontAddressCtor");
  ASSERT_EQ(params.size(), 6);
  EXPECT_EQ(params[0].getInt(), 7);
  EXPECT_EQ(params[2].getString(), "");  // NULL travels as an empty text
  EXPECT_EQ(params[5].getString(), "({subject:'x'})");
}

TEST_F(ObjectExportTest, MessageOnAnotherContextsAddressTakesTheGivenContext) {
  service.answer("DravontMessageCtor", values({30, ""}));
  onFreshThread([&] {
    DravontAddress_s address{44, reinterpret_cast<DravontContext_s*>(99)};
    DravontMessage_s message{0, nullptr};
    EXPECT_EQ(InitDravontMessage(&message, context, &address, nullptr), 0);
    EXPECT_EQ(message.context, context);
    EXPECT_EQ(InitDravontMessage(&message, context, nullptr, "x"), 1);
    EXPECT_STREQ(GetLastDravontError(), "Invalid DravontMessage or DravontAddress pointers");
  });
  EXPECT_EQ(onlyCall("DravontMessageCtor")[1].getInt(), 44);
}

TEST_F(ObjectExportTest, ByHandleAndHandleMakeNoCall) {
  onFreshThread([&] {
    DravontURL url;
    EXPECT_EQ(InitDravontURLByHandle(&url, context, 77), 0);
    EXPECT_EQ(GetDravontURLHandle(&url), 77);
    EXPECT_EQ(GetDravontMessageHandle(nullptr), 0);
    EXPECT_STREQ(GetLastDravontError(), "Invalid DravontMessage pointer");
    EXPECT_EQ(InitEDIFolderByHandle(nullptr, context, 1), 1);
    EXPECT_STREQ(GetLastDravontError(), "Invalid EDIFolder pointer");
  });
  EXPECT_TRUE(service.calls().empty());
}

TEST_F(ObjectExportTest, FreeReportsTheServiceTextOrTheFailedCall) {
  service.answer("DravontStreamDtor", XmlRpcValue(""));
  service.fault("EDIFolderDtor");
  onFreshThread([&] {
    DravontStream_s stream{5, context};
    EXPECT_EQ(FreeDravontStream(&stream), 0);
    service.answer("DravontStreamDtor", XmlRpcValue("Stale handle 5"));
    EXPECT_EQ(FreeDravontStream(&stream), 2);
    EXPECT_STREQ(GetLastDravontError(), "Stale handle 5");
    EDIFolder_s folder{6, context};
    EXPECT_EQ(FreeEDIFolder(&folder), 3);
    EXPECT_STREQ(GetLastDravontError(), "RPC call EDIFolderDtor failed");
  });
  const auto calls = service.calls("DravontStreamDtor");
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[0].params[1].getInt(), 5);
}

TEST_F(ObjectExportTest, PropertiesAreStringResults) {
  service.answer("DravontMessageGet", values({"MSG-001", ""}));
  service.answer("DravontStreamGet", values({"", ""}));
  onFreshThread([&] {
    DravontMessage_s message{3, context};
    char* value = nullptr;
    EXPECT_EQ(GetDravontMessageProperty(&message, "messageId", &value), 0);
    ASSERT_NE(value, nullptr);
    EXPECT_STREQ(value, "MSG-001");
    std::free(value);
    DravontStream_s stream{4, context};
    EXPECT_EQ(GetDravontStreamProperty(&stream, "length", &value), 0);
    EXPECT_EQ(value, nullptr);
    EXPECT_EQ(GetDravontStreamProperty(&stream, "length", nullptr), 1);
    EXPECT_STREQ(GetLastDravontError(), "Invalid DravontStream or return value pointer");
  });
  EXPECT_EQ(onlyCall("DravontMessageGet")[2].getString(), "messageId");
  // Without a callback on the thread a value cannot be handed back.
  onFreshThread([&] {
    DravontMessage_s message{3, context};
    char* value = nullptr;
    EXPECT_EQ(GetDravontMessageProperty(&message, "messageId", &value), 4);
    EXPECT_STREQ(GetLastDravontError(), "Invalid callback function pointer");
  }, nullptr);
  onFreshThread([&] {
    DravontMessage_s message{3, context};
    char* value = nullptr;
    EXPECT_EQ(GetDravontMessageProperty(&message, "messageId", &value), 4);
    EXPECT_STREQ(GetLastDravontError(), "Can't allocate memory");
    EXPECT_EQ(value, nullptr);
  }, testing_support::nullAllocate);
}

TEST_F(ObjectExportTest, AddressQueriesWriteTheRecordOnlyOnSuccess) {
  service.answer("GetDravontSelfAddress", values({9, "No such name"}));
  service.answer("GetDravontSenderAddress", values({10, ""}));
  onFreshThread([&] {
    DravontAddress_s address{1, nullptr};
    EXPECT_EQ(GetDravontSelfAddress(context, nullptr, &address), 2);
    EXPECT_EQ(address.handle, 1u);
    EXPECT_EQ(GetDravontSenderAddress(context, &address), 0);
    EXPECT_EQ(address.handle, 10u);
    EXPECT_EQ(address.context, context);
  });
}

TEST_F(ObjectExportTest, StreamConstructorsSendPathsAndBytes) {
  service.answer("DravontStreamFileCtor", values({21, ""}));
  service.answer("DravontStreamBufferCtor", values({22, ""}));
  onFreshThread([&] {
    DravontStream_s stream;
    EXPECT_EQ(InitDravontStreamFromFile(&stream, context, "out/./a.txt", "rbE", nullptr), 0);
    EXPECT_EQ(InitDravontStreamFromBuffer(&stream, context, nullptr, 0, "t"), 0);
    EXPECT_EQ(InitDravontStreamFromBuffer(&stream, context, "abc\0d", 5, "t"), 0);
    EXPECT_EQ(InitDravontStreamFromBuffer(nullptr, context, nullptr, 3, "t"), 1);
    EXPECT_STREQ(GetLastDravontError(), "Invalid buffer pointer");
    // A path that cannot be made absolute still reaches the service, empty.
    const std::string tooLong(5000, 'x');
    EXPECT_EQ(InitDravontStreamFromFile(&stream, context, tooLong.c_str(), "rb", ""), 0);
  });
  const auto files = service.calls("DravontStreamFileCtor");
  ASSERT_EQ(files.size(), 2u);
  EXPECT_EQ(files[0].params[1].getString(), platform::joinPath(platform::joinPath(platform::currentDirectory().value(), "out"), "a.txt"));
  EXPECT_EQ(files[0].params[2].getString(), "rbE");
  EXPECT_EQ(files[1].params[1].getString(), "");
  const auto buffers = service.calls("DravontStreamBufferCtor");
  ASSERT_EQ(buffers.size(), 2u);
  EXPECT_EQ(buffers[0].params[1].getType(), XmlRpcValue::TypeBase64);
  EXPECT_TRUE(buffers[0].params[1].getBinary().empty());
  EXPECT_EQ(buffers[0].params[2].getInt(), 0);
  EXPECT_EQ(std::string(buffers[1].params[1].getBinary().begin(), buffers[1].params[1].getBinary().end()),
            std::string("abc\0d", 5));
}

TEST_F(ObjectExportTest, AnswersOfTheWrongShapeRaiseTheTransportError) {
  service.answer("DravontURLGet", XmlRpcValue("not an array"));
  onFreshThread([&] {
    DravontURL url{1, context};
    char* value = nullptr;
    try {
      GetDravontURLProperty(&url, "name", &value);
      ADD_FAILURE() << "no exception";
    } catch (const XmlRpcException& error) {
      EXPECT_EQ(error.getMessage(), "type error: expected an array");
      EXPECT_EQ(error.getCode(), -1);
    }
  });
}

}  // namespace
