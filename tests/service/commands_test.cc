// The `send` and `list` subcommands on a store, also while the service runs.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "support/service_fixture.h"

namespace {

using namespace service_testing;
using testing::HasSubstr;

TEST(CommandsTest, SendPutsAMessageIntoAnInboxThatTheServiceDelivers) {
  testing_support::TempDirectory directory;
  const std::string store = directory.file("store");
  ServiceProcess service(store);
  ASSERT_TRUE(service.running());
  WireClient client(service.port());
  const int receiver = client.openContext(directory.write("r.ini", settingsText("RECV", "SVC")));
  const std::string file = directory.write("order.xml", "<order/>");

  std::string output;
  ASSERT_EQ(runServiceCommand({"--store", store, "send", "--from", "EMAIL@OUTSIDE.SVC", "--to", "EMAIL@RECV.SVC",
                               "--subject", "Order 12", "--coretype", "2a0", file},
                              output),
            0);
  const std::string id = output.substr(0, output.find('\n'));
  ASSERT_FALSE(id.empty());

  const int url = client.number("DravontURLCtor", args({receiver, "receive", ""}));
  const XmlRpcValue collected = client.call("DravontCollect", args({receiver, url, 0, ""}));
  ASSERT_EQ(collected[1].getInt(), 1);
  const int message = collected[2].getInt();
  EXPECT_EQ(client.call("DravontMessageGet", args({receiver, message, "messageId"}))[0].getString(), id);
  EXPECT_EQ(client.call("DravontMessageGet", args({receiver, message, "sender"}))[0].getString(), "EMAIL@OUTSIDE.SVC");
  EXPECT_EQ(client.call("GetDravontMessageCustomHeader", args({receiver, message, "coretype"}))[0].getString(), "02A0");
  EXPECT_EQ(client.call("GetDravontMessageAttachmentFilename", args({receiver, message, 1}))[0].getString(),
            "order.xml");
  EXPECT_EQ(client.call("GetMessageStatus", args({receiver, id}))[0].getInt(), 1);
  EXPECT_EQ(client.call("Confirm", args({receiver, url, message, 1, "No order expected", url}))[0].getInt(), 1);
  client.execute(receiver, "saveParam('infilenum /gw.ini', '00007')");

  ASSERT_EQ(runServiceCommand({"--store", store, "list"}, output), 0);
  EXPECT_THAT(output, HasSubstr("Participants:\n  EMAIL@RECV.SVC"));
  EXPECT_THAT(output, HasSubstr("Rejected email@recv.svc: 1 message\n    " + id));
  EXPECT_THAT(output, HasSubstr("from EMAIL@OUTSIDE.SVC  to EMAIL@RECV.SVC"));
  EXPECT_THAT(output, HasSubstr("subject \"Order 12\"  coretype: \"02A0\""));
  EXPECT_THAT(output, HasSubstr("attachment \"order.xml\", 8 bytes, protection level 0"));
  EXPECT_THAT(output, HasSubstr("rejected: \"No order expected\""));
  EXPECT_THAT(output, HasSubstr("\"infilenum /gw.ini\" = \"00007\""));
}

TEST(CommandsTest, SendRefusesWhatItCannotDeliver) {
  testing_support::TempDirectory directory;
  std::string output;
  const std::string store = directory.file("store");
  EXPECT_EQ(runServiceCommand({"--store", store, "send", "--from", "EMAIL@A.B", "--to", "nobody", directory.write("f", "")},
                              output),
            5);
  EXPECT_EQ(runServiceCommand({"--store", store, "send", "--from", "EMAIL@A.B", "--to", "EMAIL@C.D",
                               directory.file("missing")},
                              output),
            5);
  EXPECT_EQ(runServiceCommand({"--store", store, "send", "--to", "EMAIL@C.D"}, output), 2);
  EXPECT_EQ(runServiceCommand({"--store", store, "list", "extra"}, output), 2);
}

}  // namespace
