// Two participants on one service exchange files over the wire, with the
// parameter lists the client library sends.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <ctime>
#include <filesystem>
#include <optional>

#include "platform/environment.h"
#include "platform/file_faults.h"
#include "support/service_fixture.h"

namespace {

using namespace service_testing;
using testing::HasSubstr;

class ExchangeTest : public testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::create_directories(directory_.file("store"));
    directory_.write("store/addressbook.ini", "[folders]\nEMAIL@FOLD.SVC=Archive of invoices\n");
    if (fileFaults_.empty()) {
      service_ = std::make_unique<ServiceProcess>(directory_.file("store"));
    } else {
      // The service takes its file faults from the environment it starts
      // with; this process has taken its own (none) before.
      platform::fileFaultsConfigured();
      platform::setEnvironmentVariable(platform::kFileFaultsVariable, fileFaults_);
      service_ = std::make_unique<ServiceProcess>(directory_.file("store"));
      platform::setEnvironmentVariable(platform::kFileFaultsVariable, std::nullopt);
    }
    ASSERT_TRUE(service_->running());
    client_ = std::make_unique<WireClient>(service_->port());
    alice_ = client_->openContext(directory_.write("alice.ini", settingsText("ALICE", "SVC")));
    bob_ = client_->openContext(directory_.write("bob.ini", settingsText("BOB", "SVC")));
    ASSERT_NE(alice_, 0);
    ASSERT_NE(bob_, 0);
    aliceSend_ = client_->number("DravontURLCtor", args({alice_, "https://exchange/send", "({\"url\":\"send\"})"}));
    bobReceive_ = client_->number("DravontURLCtor", args({bob_, "https://exchange/receive", ""}));
    bobSend_ = client_->number("DravontURLCtor", args({bob_, "https://exchange/send", ""}));
  }

  // Alice sends one file to Bob at a protection level; returns the message id.
  std::string post(const std::string& name, const std::string& contents, int level = 2,
                   const std::string& subject = "Invoice 7") {
    const int address =
        client_->number("DravontAddressCtor", args({alice_, "BOB", "SVC", "", "", "({subject:\"" + subject + "\"})"}));
    const int stream =
        client_->number("DravontStreamFileCtor", args({alice_, directory_.write(name, contents), "rbE", ""}));
    const int message = client_->number("DravontMessageCtor", args({alice_, address, ""}));
    EXPECT_EQ(client_->call("DravontAttachStreamToMessage", args({alice_, message, stream, level})).getString(), "");
    EXPECT_EQ(client_->call("SetDravontMessageCustomHeader", args({alice_, message, "coretype", "02A0"}))[0].getString(),
              "");
    const XmlRpcValue posted = client_->call("PostMessageTo", args({alice_, message, aliceSend_}));
    EXPECT_EQ(posted[1].getString(), "");
    for (const auto& [method, handle] : {std::pair{"DravontMessageDtor", message}, {"DravontStreamDtor", stream},
                                         {"DravontAddressDtor", address}}) {
      EXPECT_EQ(client_->call(method, args({alice_, handle})).getString(), "") << method;
    }
    return posted[0].getString();
  }

  std::vector<int> collect(int count = 0) {
    const XmlRpcValue answer = client_->call("DravontCollect", args({bob_, bobReceive_, count, ""}));
    EXPECT_EQ(answer[0].getString(), "");
    std::vector<int> handles;
    for (int i = 0; i < answer[1].getInt(); ++i) handles.push_back(answer[2 + i].getInt());
    return handles;
  }

  std::string fileFaults_;  // TRASVIK_TEST_FILE_FAULTS of the service
  testing_support::TempDirectory directory_;
  std::unique_ptr<ServiceProcess> service_;
  std::unique_ptr<WireClient> client_;
  int alice_ = 0;
  int bob_ = 0;
  int aliceSend_ = 0;
  int bobReceive_ = 0;
  int bobSend_ = 0;
};

TEST_F(ExchangeTest, ReceiverReadsSavesAndAcceptsWhatTheSenderPosted) {
  std::string contents = "<invoice>";
  for (int i = 0; i < 5000; ++i) contents.push_back(static_cast<char>(i % 256));
  const std::time_t before = std::time(nullptr);
  const std::string id = post("invoice-7.xml", contents);
  ASSERT_FALSE(id.empty());

  const std::vector<int> messages = collect();
  ASSERT_EQ(messages.size(), 1u);
  const int message = messages[0];
  EXPECT_EQ(client_->text("DravontMessageGet", args({bob_, message, "messageId"})), id);
  EXPECT_EQ(client_->text("DravontMessageGet", args({bob_, message, "subject"})), "Invoice 7");
  EXPECT_EQ(client_->text("DravontMessageGet", args({bob_, message, "sender"})), "EMAIL@ALICE.SVC");
  EXPECT_EQ(client_->text("GetDravontMessageCustomHeader", args({bob_, message, "coretype"})), "02A0");
  EXPECT_EQ(client_->text("GetDravontMessageCustomHeader", args({bob_, message, "absent"})), "");

  // The date travels as the calendar record of local time.
  const XmlRpcValue date = client_->call("GetDravontMessageDate", args({bob_, message}));
  std::tm calendar = date[0].getDateTime();
  calendar.tm_isdst = -1;
  const std::time_t posted = std::mktime(&calendar);
  EXPECT_GE(posted, before);
  EXPECT_LE(posted, std::time(nullptr));

  const XmlRpcValue sender = client_->call("GetDravontMessageSender", args({bob_, message}));
  EXPECT_EQ(client_->text("DravontAddressGet", args({bob_, sender[0].getInt(), "ticker"})), "ALICE");

  ASSERT_EQ(client_->number("GetNumOfDravontMessageAttachments", args({bob_, message})), 1);
  EXPECT_EQ(client_->text("GetDravontMessageAttachmentFilename", args({bob_, message, 1})), "invoice-7.xml");
  EXPECT_EQ(client_->number("GetDravontMessageAttachmentSize", args({bob_, message, 1})), static_cast<int>(contents.size()));
  ASSERT_EQ(client_->number("GetNumOfDravontMessageAttachmentSignatures", args({bob_, message, 1})), 1);
  EXPECT_EQ(client_->text("GetDravontMessageAttachmentSignatureAttr", args({bob_, message, 1, 0, "dn"})), "CN=ALICE Signer, O=SVC");
  EXPECT_EQ(client_->text("GetDravontMessageAttachmentSignatureAttr", args({bob_, message, 1, 0, "serial"})), "0AALICE");
  EXPECT_EQ(client_->text("GetDravontMessageAttachmentSignatureAttr", args({bob_, message, 1, 0, "key_not_before"})),
            "2024-01-01 00:00:00");
  EXPECT_EQ(client_->text("GetDravontMessageAttachmentSignatureAttr", args({bob_, message, 1, 0, "cert_not_after"})),
            "2027-01-31 23:59:59");

  const std::string target = directory_.file("received.xml");
  const int stream = client_->number("DravontStreamFileCtor", args({bob_, target, "wb+", ""}));
  EXPECT_EQ(client_->number("SaveDravontMessageAttachment", args({bob_, message, 1, stream})), static_cast<int>(contents.size()));
  EXPECT_EQ(client_->call("DravontStreamDtor", args({bob_, stream})).getString(), "");
  EXPECT_EQ(testing_support::readFile(target), contents);

  EXPECT_EQ(client_->number("Confirm", args({bob_, bobReceive_, message, 0, "", bobSend_})), 1);
  EXPECT_TRUE(collect().empty());
  EXPECT_EQ(client_->number("GetMessageStatus", args({alice_, id})), 2);
  const int address = client_->number("DravontAddressCtor", args({alice_, "BOB", "SVC", "", "", ""}));
  const XmlRpcValue exact = client_->call("GetExactMessageStatus", args({alice_, id, address}));
  EXPECT_EQ(exact[0].getInt(), 2);
  EXPECT_EQ(exact[1].getString(), "accepted");
}

TEST_F(ExchangeTest, ARejectionCarriesItsReasonToTheSender) {
  const std::string id = post("bad.xml", "not what was expected");
  const std::vector<int> messages = collect();
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(client_->number("Confirm", args({bob_, bobReceive_, messages[0], 1, "Wrong CORETYPE in received message: zz", bobSend_})),
            1);
  EXPECT_EQ(client_->number("GetMessageStatus", args({alice_, id})), 3);
  const int address = client_->number("DravontAddressCtor", args({alice_, "BOB", "SVC", "", "", ""}));
  const XmlRpcValue exact = client_->call("GetExactMessageStatus", args({alice_, id, address}));
  EXPECT_EQ(exact[0].getInt(), 3);
  EXPECT_EQ(exact[1].getString(), "Wrong CORETYPE in received message: zz");
  // Confirming again changes nothing and is not an error.
  EXPECT_EQ(client_->number("ConfirmMessage", args({bob_, bobReceive_, id, 0, "", bobSend_})), 1);
  EXPECT_EQ(client_->number("GetMessageStatus", args({alice_, id})), 3);
}

TEST_F(ExchangeTest, AMessageCollectedAndNotConfirmedIsCollectedAgain) {
  const std::string first = post("one.txt", "1");
  const std::string second = post("two.txt", "2");
  std::vector<int> messages = collect(1);
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(client_->text("DravontMessageGet", args({bob_, messages[0], "messageId"})), first);  // oldest first
  EXPECT_EQ(client_->call("DravontMessageDtor", args({bob_, messages[0]})).getString(), "");

  messages = collect();
  ASSERT_EQ(messages.size(), 2u);
  EXPECT_EQ(client_->text("DravontMessageGet", args({bob_, messages[0], "messageId"})), first);
  EXPECT_EQ(client_->text("DravontMessageGet", args({bob_, messages[1], "messageId"})), second);
  EXPECT_EQ(client_->number("GetMessageStatus", args({alice_, first})), 1);

  EXPECT_EQ(client_->number("ConfirmMessage", args({bob_, bobReceive_, first, 0, "", bobSend_})), 1);
  messages = collect();
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(client_->text("DravontMessageGet", args({bob_, messages[0], "messageId"})), second);
  EXPECT_EQ(client_->number("ConfirmMessage", args({bob_, bobReceive_, "no-such-id", 0, "", bobSend_})), 0);
  EXPECT_THAT(client_->call("GetMessageStatus", args({alice_, "no-such-id"}))[1].getString(),
              HasSubstr("Unknown message id"));
}

// A service whose inbox copies cannot be removed.
class StuckInboxExchangeTest : public ExchangeTest {
 protected:
  StuckInboxExchangeTest() { fileFaults_ = "unlink:/inbox/:EACCES"; }
};

// The confirmed copy is what counts: a confirmation whose inbox copy cannot
// be removed is done, and that copy is never handed out again.
TEST_F(StuckInboxExchangeTest, AConfirmationIsDoneEvenWhenTheInboxCopyCannotBeRemoved) {
  const std::string id = post("stuck.xml", "stays in the inbox");
  const std::string second = post("next.xml", "comes after it");
  const std::vector<int> messages = collect(1);
  ASSERT_EQ(messages.size(), 1u);
  const XmlRpcValue confirmed = client_->call("Confirm", args({bob_, bobReceive_, messages[0], 0, "", bobSend_}));
  EXPECT_EQ(confirmed[0].getInt(), 1);
  EXPECT_EQ(confirmed[1].getString(), "");
  EXPECT_TRUE(std::filesystem::exists(directory_.file("store/inbox/email@bob.svc/" + id + ".msg")));

  const std::vector<int> again = collect(1);  // the next message, not the confirmed one
  ASSERT_EQ(again.size(), 1u);
  EXPECT_EQ(client_->text("DravontMessageGet", args({bob_, again[0], "messageId"})), second);
  EXPECT_EQ(client_->number("GetMessageStatus", args({alice_, id})), 2);
  EXPECT_EQ(client_->number("ConfirmMessage", args({bob_, bobReceive_, id, 1, "too late", bobSend_})), 1);
  EXPECT_EQ(client_->number("GetMessageStatus", args({alice_, id})), 2);
}

TEST_F(ExchangeTest, MessagesIntoAFolderGoToItsArchive) {
  const int folder = client_->number("EDIFolderCtor", args({alice_, "FOLD", "SVC", "", "", ""}));
  EXPECT_EQ(client_->text("EDIFolderGet", args({alice_, folder, "folder"})), "Archive of invoices");
  const int stream =
      client_->number("DravontStreamFileCtor", args({alice_, directory_.write("f.txt", "filed"), "rb", ""}));
  const int message = client_->number("DravontMessage2FolderCtor", args({alice_, folder, ""}));
  EXPECT_EQ(client_->call("DravontAttachStreamToMessage", args({alice_, message, stream, 0})).getString(), "");
  const std::string id = client_->text("PostMessageTo", args({alice_, message, aliceSend_}));
  EXPECT_EQ(client_->number("GetMessageStatus", args({alice_, id})), 4);
  EXPECT_TRUE(collect().empty());

  // Neither a folder nor an address: both constructors refuse it.
  EXPECT_THAT(client_->call("EDIFolderCtor", args({alice_, "BOB", "SVC", "", "", ""}))[1].getString(),
              HasSubstr("is not a folder"));
  EXPECT_THAT(client_->call("DravontAddressCtor", args({alice_, "NOBODY", "SVC", "", "", ""}))[1].getString(),
              HasSubstr("Unknown address EMAIL@NOBODY.SVC"));
}

TEST_F(ExchangeTest, AnUnsignedAttachmentHasNoSignatureAndAMessageRoundTripsThroughAStream) {
  post("plain.txt", "plain text\n", 0, "Plain");
  const std::vector<int> messages = collect();
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(client_->number("GetNumOfDravontMessageAttachmentSignatures", args({bob_, messages[0], 1})), 0);
  EXPECT_THAT(client_->call("GetDravontMessageAttachmentSignatureAttr", args({bob_, messages[0], 1, 0, "dn"}))[1]
                  .getString(),
              HasSubstr("no signature 0"));
  EXPECT_THAT(client_->call("GetDravontMessageAttachmentSize", args({bob_, messages[0], 2}))[1].getString(),
              HasSubstr("no attachment 2"));

  const int buffer = client_->number("DravontStreamBufferCtor", args({bob_, bytesValue(""), 0, ""}));
  const int written = client_->number("DravontMessageToStream", args({bob_, messages[0], buffer}));
  EXPECT_GT(written, 0);
  EXPECT_EQ(client_->number("DravontStreamSeek", args({bob_, buffer, 0, 0})), 0);
  const int copy = client_->number("DravontMessageFromStreamCtor", args({bob_, buffer, ""}));
  EXPECT_EQ(client_->text("DravontMessageGet", args({bob_, copy, "subject"})), "Plain");
  EXPECT_EQ(client_->text("GetDravontMessageAttachmentFilename", args({bob_, copy, 1})), "plain.txt");
  EXPECT_EQ(client_->number("GetDravontMessageAttachmentSize", args({bob_, copy, 1})), 11);
}

TEST_F(ExchangeTest, AnAttachmentTakesTheStreamFromItsPositionAsItIsAtAttachTime) {
  const std::string path = directory_.write("order.msg", "to: EMAIL@BOB.SVC\nbody");
  const int stream = client_->number("DravontStreamFileCtor", args({alice_, path, "rb", ""}));
  EXPECT_EQ(client_->call("DravontStreamRead", args({alice_, stream, 18}))[0].getInt(), 18);
  EXPECT_EQ(client_->execute(alice_, "DravontStream[\"" + std::to_string(stream) + "\"].fileName=\"body.txt\";"),
            "body.txt");
  const int address = client_->number("DravontAddressCtor", args({alice_, "BOB", "SVC", "", "", ""}));
  const int message = client_->number("DravontMessageCtor", args({alice_, address, ""}));
  EXPECT_EQ(client_->call("DravontAttachStreamToMessage", args({alice_, message, stream, 0})).getString(), "");
  directory_.write("order.msg", "rewritten after the attach");
  EXPECT_EQ(client_->call("DravontStreamTell", args({alice_, stream}))[0].getInt(), 18);  // the stream did not move
  client_->text("PostMessageTo", args({alice_, message, aliceSend_}));

  const std::vector<int> messages = collect();
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(client_->text("GetDravontMessageAttachmentFilename", args({bob_, messages[0], 1})), "body.txt");
  const int buffer = client_->number("DravontStreamBufferCtor", args({bob_, bytesValue(""), 0, ""}));
  EXPECT_EQ(client_->number("SaveDravontMessageAttachment", args({bob_, messages[0], 1, buffer})), 4);
  EXPECT_EQ(client_->number("DravontStreamSeek", args({bob_, buffer, 0, 0})), 0);
  const XmlRpcValue read = client_->call("DravontStreamRead", args({bob_, buffer, 100}));
  EXPECT_EQ(std::string(read[1].getBinary().begin(), read[1].getBinary().end()), "body");
}

TEST_F(ExchangeTest, OwnAndCryptoPropertiesComeFromTheSettings) {
  const XmlRpcValue own = client_->call("GetDravontSenderAddress", args({bob_}));
  EXPECT_EQ(client_->text("DravontAddressGet", args({bob_, own[0].getInt(), "address"})), "EMAIL@BOB.SVC");
  EXPECT_EQ(client_->number("GetCryptoNum", args({bob_, 0})), 1);
  EXPECT_EQ(client_->text("GetCryptoProperty", args({bob_, 0, 0, "dn"})), "CN=BOB Signer, O=SVC");
  EXPECT_THAT(client_->call("SetCryptoDefault", args({bob_, 0, 3}))[0].getString(), HasSubstr("No crypto entry 3"));
  EXPECT_EQ(client_->call("PrepareCrypto", args({bob_, 1, 0}))[0].getString(), "");
}

}  // namespace
