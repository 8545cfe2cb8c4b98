#include "dravontdll/export_fixture.h"

namespace {

using namespace Quillex;
using testing_support::values;

class DeliveryExportTest : public testing_support::ExportTest {
 protected:
  DravontURL url{11, context};
  DravontURL sendUrl{12, context};
};

TEST_F(DeliveryExportTest, CollectReturnsRecordsOfTheUrlsContext) {
  service.answer("DravontCollect", values({"", 3, 101, 102, 103}));
  onFreshThread([&] {
    unsigned int count = 10;
    DravontMessage_s* messages = nullptr;
    ASSERT_EQ(DravontCollect(&url, nullptr, &count, &messages), 0);
    ASSERT_EQ(count, 3u);
    EXPECT_EQ(testing_support::lastAllocationSize.load(), 3 * sizeof(DravontMessage_s));
    for (unsigned i = 0; i < 3; ++i) {
      EXPECT_EQ(messages[i].handle, 101 + i);
      EXPECT_EQ(messages[i].context, context);
    }
    std::free(messages);
  });
  const XmlRpcValue params = onlyCall("DravontCollect");
  EXPECT_EQ(params[2].getInt(), 10);
  EXPECT_EQ(params[3].getString(), "");
}

TEST_F(DeliveryExportTest, CollectOfNothingStillAllocates) {
  service.answer("DravontCollect", values({"", 0}));
  onFreshThread([&] {
    unsigned int count = 5;
    DravontMessage_s* messages = nullptr;
    EXPECT_EQ(DravontCollect(&url, nullptr, &count, &messages), 4);
    EXPECT_EQ(count, 0u);
    EXPECT_STREQ(GetLastDravontError(), "Can't allocate memory");
  }, testing_support::nullAllocate);
}

TEST_F(DeliveryExportTest, CollectRefusesACountTheAnswerDoesNotCarry) {
  for (const XmlRpcValue& answer : {values({"", 5, 101, 102}), values({"", -1})}) {
    service.answer("DravontCollect", answer);
    onFreshThread([&] {
      unsigned int count = 10;
      DravontMessage_s sentinel{};
      DravontMessage_s* messages = &sentinel;
      const int before = testing_support::allocationCount.load();
      EXPECT_EQ(DravontCollect(&url, nullptr, &count, &messages), 3);
      EXPECT_EQ(count, 10u);
      EXPECT_EQ(messages, nullptr);  // set to NULL before the call, as always
      EXPECT_EQ(testing_support::allocationCount.load(), before);
      EXPECT_STREQ(GetLastDravontError(), "RPC call DravontCollect failed");
    });
  }
}

TEST_F(DeliveryExportTest, CollectChecksTheCallbackBeforeTheAnswer) {
  service.answer("DravontCollect", values({"Inbox locked", 0}));
  onFreshThread([&] {
    unsigned int count = 10;
    DravontMessage_s* messages = nullptr;
    EXPECT_EQ(DravontCollect(&url, nullptr, &count, &messages), 4);
    EXPECT_EQ(count, 10u);
    EXPECT_STREQ(GetLastDravontError(), "Invalid callback function pointer");
    EXPECT_EQ(DravontCollect(&url, nullptr, nullptr, &messages), 1);
    EXPECT_STREQ(GetLastDravontError(), "Invalid input pointers");
  }, nullptr);
}

TEST_F(DeliveryExportTest, PostHandsBackTheIdWhenAskedFor) {
  service.answer("PostMessageTo", values({"MSG-42", ""}));
  onFreshThread([&] {
    DravontMessage_s message{3, context};
    const int before = testing_support::allocationCount.load();
    EXPECT_EQ(PostMessageTo(&message, &sendUrl, nullptr), 0);
    EXPECT_EQ(testing_support::allocationCount.load(), before);
    char* id = nullptr;
    EXPECT_EQ(PostMessageTo(&message, &sendUrl, &id), 0);
    EXPECT_STREQ(id, "MSG-42");
    std::free(id);
    service.answer("PostMessageTo", values({"MSG-43", "Recipient unknown"}));
    EXPECT_EQ(PostMessageTo(&message, &sendUrl, &id), 2);
    EXPECT_EQ(id, nullptr);
  });
  EXPECT_EQ(service.calls("PostMessageTo")[0].params[2].getInt(), 12);
}

TEST_F(DeliveryExportTest, ConfirmAndStatus) {
  service.answer("Confirm", values({0, ""}));
  service.answer("ConfirmMessage", values({1, ""}));
  service.answer("GetMessageStatus", values({3, ""}));
  service.answer("GetExactMessageStatus", values({4, "rejected: bad format", ""}));
  onFreshThread([&] {
    DravontMessage_s message{3, context};
    EXPECT_EQ(Confirm(&url, &message, 1, "bad format", &sendUrl), 2);
    EXPECT_STREQ(GetLastDravontError(), "Can't find message id in database");
    EXPECT_EQ(ConfirmMessage(&url, "MSG-1", 0, nullptr, &sendUrl), 0);
    EXPECT_EQ(ConfirmMessage(&url, nullptr, 0, nullptr, &sendUrl), 1);
    EXPECT_STREQ(GetLastDravontError(), "Invalid MessageId or DravontURL pointers");
    int status = -1;
    EXPECT_EQ(GetMessageStatus(context, "MSG-1", &status), 0);
    EXPECT_EQ(status, 3);
    DravontAddress_s address{20, context};
    char* value = nullptr;
    EXPECT_EQ(GetExactMessageStatus(context, "MSG-1", &address, &status, &value), 0);
    EXPECT_EQ(status, 4);
    EXPECT_STREQ(value, "rejected: bad format");
    std::free(value);
    EXPECT_EQ(GetExactMessageStatus(context, "MSG-1", nullptr, &status, &value), 1);
  });
  const XmlRpcValue confirm = onlyCall("Confirm");
  EXPECT_EQ(confirm[2].getInt(), 3);
  EXPECT_EQ(confirm[3].getInt(), 1);
  EXPECT_EQ(confirm[4].getString(), "bad format");
  EXPECT_EQ(confirm[5].getInt(), 12);
  EXPECT_EQ(onlyCall("ConfirmMessage")[4].getString(), "");
  EXPECT_EQ(service.calls("GetExactMessageStatus").size(), 1u);
}

TEST_F(DeliveryExportTest, UrlTransfer) {
  service.answer("DravontURLSetReadStream", XmlRpcValue(""));
  service.answer("DravontURLPerform", XmlRpcValue("Peer unreachable"));
  onFreshThread([&] {
    DravontStream_s stream{5, context};
    EXPECT_EQ(DravontURLSetReadStream(&url, &stream), 0);
    EXPECT_EQ(DravontURLSetWriteStream(&url, nullptr), 1);
    EXPECT_STREQ(GetLastDravontError(), "Invalid DravontURL or DravontStream pointer");
    EXPECT_EQ(DravontURLPerform(&url), 2);
    EXPECT_STREQ(GetLastDravontError(), "Peer unreachable");
  });
}

}  // namespace
