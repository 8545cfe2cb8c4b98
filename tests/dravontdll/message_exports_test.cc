#include <ctime>

#include "dravontdll/export_fixture.h"
#include "platform/environment.h"

namespace {

using namespace Quillex;
using testing_support::values;

class MessageExportTest : public testing_support::ExportTest {
 protected:
  DravontMessage_s message{3, context};
  DravontStream_s stream{5, context};
};

TEST_F(MessageExportTest, CustomHeaders) {
  service.answer("SetDravontMessageCustomHeader", values({""}));
  service.answer("GetDravontMessageCustomHeader", values({"1200", ""}));
  service.answer("RemoveDravontMessageCustomHeader", values({0, ""}));
  onFreshThread([&] {
    EXPECT_EQ(SetDravontMessageCustomHeader(&message, "coretype", "1200"), 0);
    EXPECT_EQ(SetDravontMessageCustomHeader(&message, "coretype", nullptr), 1);
    EXPECT_STREQ(GetLastDravontError(), "Invalid DravontMessage or header or value pointers");
    char* value = nullptr;
    EXPECT_EQ(GetDravontMessageCustomHeader(&message, "coretype", &value), 0);
    EXPECT_STREQ(value, "1200");
    std::free(value);
    EXPECT_EQ(RemoveDravontMessageCustomHeader(&message, "coretype"), 2);
    EXPECT_STREQ(GetLastDravontError(), "Non existent header");
  });
  const XmlRpcValue set = onlyCall("SetDravontMessageCustomHeader");
  EXPECT_EQ(set[2].getString(), "coretype");
  EXPECT_EQ(set[3].getString(), "1200");
}

class TimeZone {
 public:
  explicit TimeZone(const char* zone) : previous_(platform::environmentVariable("TZ")) {
    platform::setEnvironmentVariable("TZ", std::string(zone));
  }
  ~TimeZone() { platform::setEnvironmentVariable("TZ", previous_); }

 private:
  std::optional<std::string> previous_;
};

TEST_F(MessageExportTest, DateIsTheServiceCalendarReadAsLocalTime) {
  TimeZone east("UTC-3");  // three hours east of UTC, no daylight saving
  std::tm calendar{};
  calendar.tm_year = 124;
  calendar.tm_mon = 2;
  calendar.tm_mday = 1;
  calendar.tm_hour = 12;
  calendar.tm_isdst = -1;
  service.answer("GetDravontMessageDate", values({XmlRpcValue(calendar), ""}));
  onFreshThread([&] {
    long long time = 0;
    EXPECT_EQ(GetDravontMessageDate(&message, &time), 0);
    EXPECT_EQ(time, 1709283600);  // 2024-03-01 09:00:00 UTC

    XmlRpcValue emptyArray;
    std::size_t position = 0;
    ASSERT_TRUE(emptyArray.parseValue("<value><array><data></data></array></value>", position));
    service.answer("GetDravontMessageDate", emptyArray);
    EXPECT_EQ(GetDravontMessageDate(&message, &time), 0);
    EXPECT_EQ(time, -1);  // an absent record does not convert

    service.answer("GetDravontMessageDate", values({XmlRpcValue(calendar), "Unknown message"}));
    EXPECT_EQ(GetDravontMessageDate(&message, &time), 2);
    EXPECT_EQ(time, 0);
  });
}

TEST_F(MessageExportTest, AttachmentsAndSignatures) {
  service.answer("DravontAttachSignedStreamToMessage", XmlRpcValue(""));
  service.answer("GetNumOfDravontMessageAttachments", values({2, "Partly damaged"}));
  service.answer("GetDravontMessageAttachmentFilename", values({"", ""}));
  service.answer("GetDravontMessageAttachmentSize", values({1234, "No such attachment"}));
  service.answer("SaveDravontMessageAttachment", values({1234, ""}));
  service.answer("GetDravontMessageAttachmentSignatureAttr", values({"CN=Sender", ""}));
  onFreshThread([&] {
    DravontStream_s signature{6, context};
    EXPECT_EQ(DravontAttachSignedStreamToMessage(&message, &stream, &signature, DetachedSigned), 0);
    EXPECT_EQ(DravontAttachSignedStreamToMessage(&message, &stream, nullptr, DetachedSigned), 1);
    int count = 0;
    EXPECT_EQ(GetNumOfDravontMessageAttachments(&message, &count), 2);
    EXPECT_EQ(count, 2);  // written before the error text is looked at
    char* name = reinterpret_cast<char*>(1);
    EXPECT_EQ(GetDravontMessageAttachmentFilename(&message, 1, &name), 0);
    EXPECT_EQ(name, nullptr);
    unsigned int size = 99;
    EXPECT_EQ(GetDravontMessageAttachmentSize(&message, 1, &size), 2);
    EXPECT_EQ(size, 99u);
    EXPECT_EQ(SaveDravontMessageAttachment(&message, 1, &stream), 1234u);
    EXPECT_EQ(SaveDravontMessageAttachment(&message, 1, nullptr), 1u);
    char* dn = nullptr;
    EXPECT_EQ(GetDravontMessageAttachmentSignatureAttr(&message, 1, 0, "dn", &dn), 0);
    EXPECT_STREQ(dn, "CN=Sender");
    std::free(dn);
    service.fault("DravontMessageToStream");
    EXPECT_EQ(DravontMessageToStream(&message, &stream), 3u);
    EXPECT_STREQ(GetLastDravontError(), "RPC call DravontMessageToStream failed");
  });
  const XmlRpcValue attach = onlyCall("DravontAttachSignedStreamToMessage");
  EXPECT_EQ(attach[2].getInt(), 5);
  EXPECT_EQ(attach[3].getInt(), 6);
  EXPECT_EQ(attach[4].getInt(), 5);
  const XmlRpcValue attr = onlyCall("GetDravontMessageAttachmentSignatureAttr");
  EXPECT_EQ(attr[2].getInt(), 1);
  EXPECT_EQ(attr[3].getInt(), 0);
  EXPECT_EQ(attr[4].getString(), "dn");
}

TEST_F(MessageExportTest, SenderTakesTheMessagesContext) {
  service.answer("GetDravontMessageSender", values({88, "Sender unknown"}));
  onFreshThread([&] {
    DravontAddress_s sender{0, nullptr};
    EXPECT_EQ(GetDravontMessageSender(&message, &sender), 2);
    EXPECT_EQ(sender.handle, 88u);
    EXPECT_EQ(sender.context, context);
  });
}

}  // namespace
