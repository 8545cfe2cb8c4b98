// The service through the real client library: the calls the gateway makes,
// in the order it makes them.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <thread>

#include "dravont/dravontdll.h"
#include "dravontdll/library_state.h"
#include "trasvik/script_text.h"
#include "trasvik/script_texts.h"
#include "trasvik/text_format.h"
#include "support/service_fixture.h"

namespace {

using namespace service_testing;
using namespace trasvik::scripts;
using trasvik::escapeScriptText;
using trasvik::formatText;
using trasvik::objectLiteralScript;
using namespace Quillex;
using testing::HasSubstr;

void* allocate(unsigned int size) { return std::malloc(size == 0 ? 1 : size); }

// A text the library handed over, freed ("" for none).
std::string take(char* text) {
  std::string copy = text ? text : "";
  std::free(text);
  return copy;
}

std::string lastError() {
  const char* text = GetLastDravontError();
  return text ? text : "";
}

// The library keeps one connection per thread, made with the port it finds
// when the thread first calls it: every test talks to its service from a
// thread of its own.
template <typename Body>
void onFreshThread(Body body) {
  std::thread thread(body);
  thread.join();
}

class LibraryTest : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    ASSERT_TRUE(attachProcess());
    directory_ = new testing_support::TempDirectory;
    std::filesystem::create_directories(directory_->file("store"));
    directory_->write("store/addressbook.ini", "[folders]\nEMAIL@FILED.SVC=Filed documents\n");
    service_ = new ServiceProcess(directory_->file("store"), {"--test-hooks"});
  }
  static void TearDownTestSuite() {
    delete service_;
    delete directory_;
  }
  void SetUp() override {
    ASSERT_TRUE(service_->running());
    RpcPort = service_->port();
    hooks_ = std::make_unique<WireClient>(service_->port());
  }
  void TearDown() override { hooks_->call("test.reset", XmlRpcValue()); }

  static DravontContext_s* open(const std::string& ticker, bool notification = false, const std::string& notify = "") {
    const std::string path = directory_->write(ticker + ".ini", settingsText(ticker, "SVC", notification, notify));
    int status = -1;
    DravontContext_s* context = InitContext(path.c_str(), allocate, &status);
    EXPECT_NE(context, nullptr) << lastError();
    EXPECT_EQ(status, 0);
    return context;
  }
  static DravontURL url(DravontContext_s* context, const char* text) {
    DravontURL record{};
    EXPECT_EQ(InitDravontURL(&record, context, text, objectLiteralScript({{"url", text}}).c_str()), 0) << lastError();
    return record;
  }
  // The gateway's FILE rule sending one file: probe, open, address, message,
  // attach, coretype, post. Returns the message id.
  static std::string send(DravontContext_s* context, DravontURL& sendUrl, const std::string& ticker,
                          const std::string& path, const std::string& subject) {
    DravontStream_s stream{};
    EXPECT_EQ(InitDravontStreamFromFile(&stream, context, path.c_str(), "rbE", ""), 0) << lastError();
    FreeDravontStream(&stream);
    EXPECT_EQ(InitDravontStreamFromFile(&stream, context, path.c_str(), "rb", ""), 0) << lastError();
    const std::string options = "({subject:\"" + subject + "\"})";
    DravontAddress_s address{};
    EXPECT_EQ(InitDravontAddress(&address, context, ticker.c_str(), "SVC", "", "", options.c_str()), 0) << lastError();
    DravontMessage_s message{};
    EXPECT_EQ(InitDravontMessage(&message, context, &address, ""), 0) << lastError();
    EXPECT_EQ(DravontAttachStreamToMessage(&message, &stream, SignedEncrypted), 0) << lastError();
    EXPECT_EQ(SetDravontMessageCustomHeader(&message, "coretype", "1200"), 0);
    char* id = nullptr;
    EXPECT_EQ(PostMessageTo(&message, &sendUrl, &id), 0) << lastError();
    FreeDravontMessage(&message);
    FreeDravontStream(&stream);
    FreeDravontAddress(&address);
    return take(id);
  }
  static std::vector<DravontMessage_s> collect(DravontURL& receiveUrl, unsigned int wanted = 0) {
    unsigned int count = wanted;
    DravontMessage_s* messages = nullptr;
    EXPECT_EQ(DravontCollect(&receiveUrl, nullptr, &count, &messages), 0) << lastError();
    std::vector<DravontMessage_s> collected(messages, messages + count);
    std::free(messages);
    return collected;
  }
  static std::string property(DravontMessage_s& message, const char* name) {
    char* value = nullptr;
    EXPECT_EQ(GetDravontMessageProperty(&message, name, &value), 0) << lastError();
    return take(value);
  }
  static std::string run(DravontContext_s* context, const std::string& script) {
    char* result = nullptr;
    EXPECT_EQ(Execute(context, script.c_str(), &result), 0) << script << ": " << lastError();
    return take(result);
  }

  static testing_support::TempDirectory* directory_;
  static ServiceProcess* service_;
  std::unique_ptr<WireClient> hooks_;
};

testing_support::TempDirectory* LibraryTest::directory_ = nullptr;
ServiceProcess* LibraryTest::service_ = nullptr;

TEST_F(LibraryTest, TwoParticipantsExchangeAFile) {
  onFreshThread([] {
    DravontContext_s* sender = open("LIBA");
    DravontContext_s* receiver = open("LIBB");
    DravontURL sendUrl = url(sender, "send");
    DravontURL receiveUrl = url(receiver, "receive");
    DravontURL receiverSendUrl = url(receiver, "send");
    const std::string contents = "id;amount\n1;100\n2;250\n";
    const std::time_t before = std::time(nullptr);
    const std::string id = send(sender, sendUrl, "LIBB", directory_->write("figures.csv", contents), "Figures");
    ASSERT_FALSE(id.empty());

    std::vector<DravontMessage_s> messages = collect(receiveUrl, 5);
    ASSERT_EQ(messages.size(), 1u);
    DravontMessage_s& message = messages[0];
    EXPECT_EQ(message.context, receiver);
    EXPECT_EQ(property(message, "messageId"), id);
    EXPECT_EQ(property(message, "subject"), "Figures");
    long long date = 0;
    EXPECT_EQ(GetDravontMessageDate(&message, &date), 0);
    EXPECT_GE(date, before);
    EXPECT_LE(date, std::time(nullptr));
    EXPECT_EQ(run(receiver, formatText(kMessageSender, GetDravontMessageHandle(&message))), "EMAIL@LIBA.SVC");
    char* coretype = nullptr;
    EXPECT_EQ(GetDravontMessageCustomHeader(&message, "coretype", &coretype), 0);
    EXPECT_EQ(take(coretype), "1200");
    int attachments = 0;
    EXPECT_EQ(GetNumOfDravontMessageAttachments(&message, &attachments), 0);
    ASSERT_EQ(attachments, 1);
    char* name = nullptr;
    EXPECT_EQ(GetDravontMessageAttachmentFilename(&message, 1, &name), 0);
    EXPECT_EQ(take(name), "figures.csv");
    unsigned int size = 0;
    EXPECT_EQ(GetDravontMessageAttachmentSize(&message, 1, &size), 0);
    EXPECT_EQ(size, contents.size());
    int signatures = 0;
    EXPECT_EQ(GetNumOfDravontMessageAttachmentSignatures(&message, 1, &signatures), 0);
    ASSERT_EQ(signatures, 1);
    for (const auto& [attribute, expected] :
         {std::pair{"dn", "CN=LIBA Signer, O=SVC"}, {"serial", "0ALIBA"}, {"key_not_after", "2026-12-31 23:59:59"},
          {"cert_not_before", "2024-02-01 00:00:00"}}) {
      char* value = nullptr;
      EXPECT_EQ(GetDravontMessageAttachmentSignatureAttr(&message, 1, 0, attribute, &value), 0);
      EXPECT_EQ(take(value), expected) << attribute;
    }

    const std::string target = directory_->file("saved-figures.csv");
    DravontStream_s output{};
    ASSERT_EQ(InitDravontStreamFromFile(&output, receiver, target.c_str(), "wb+", ""), 0) << lastError();
    EXPECT_EQ(SaveDravontMessageAttachment(&message, 1, &output), contents.size());
    EXPECT_EQ(FreeDravontStream(&output), 0);
    EXPECT_EQ(testing_support::readFile(target), contents);
    EXPECT_EQ(Confirm(&receiveUrl, &message, 0, nullptr, &receiverSendUrl), 0) << lastError();
    EXPECT_EQ(FreeDravontMessage(&message), 0);

    int status = 0;
    EXPECT_EQ(GetMessageStatus(sender, id.c_str(), &status), 0);
    EXPECT_EQ(status, 2);

    // A second file is rejected; the sender learns why.
    const std::string rejectedId = send(sender, sendUrl, "LIBB", directory_->write("wrong.csv", "?"), "Figures");
    messages = collect(receiveUrl);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(Confirm(&receiveUrl, &messages[0], 1, "Error in GetNumOfDravontMessageAttachments() (return value is 0)",
                      &receiverSendUrl),
              0);
    DravontAddress_s recipient{};
    ASSERT_EQ(InitDravontAddress(&recipient, sender, "LIBB", "SVC", "", "", ""), 0);
    char* reason = nullptr;
    EXPECT_EQ(GetExactMessageStatus(sender, rejectedId.c_str(), &recipient, &status, &reason), 0) << lastError();
    EXPECT_EQ(status, 3);
    EXPECT_EQ(take(reason), "Error in GetNumOfDravontMessageAttachments() (return value is 0)");
    EXPECT_EQ(ConfirmMessage(&receiveUrl, "unknown-id", 0, nullptr, &receiverSendUrl), 2);
    EXPECT_EQ(lastError(), "Can't find message id in database");
    FreeContext(sender);
    FreeContext(receiver);
  });
}

TEST_F(LibraryTest, AnUnconfirmedMessageIsCollectedAgain) {
  onFreshThread([] {
    DravontContext_s* sender = open("AGAINA");
    DravontContext_s* receiver = open("AGAINB");
    DravontURL sendUrl = url(sender, "send");
    DravontURL receiveUrl = url(receiver, "receive");
    const std::string id = send(sender, sendUrl, "AGAINB", directory_->write("again.txt", "again"), "Again");
    std::vector<DravontMessage_s> first = collect(receiveUrl, 1);
    ASSERT_EQ(first.size(), 1u);
    EXPECT_EQ(property(first[0], "messageId"), id);
    FreeDravontMessage(&first[0]);  // the gateway stopped before confirming
    FreeContext(receiver);

    DravontContext_s* again = open("AGAINB");
    DravontURL receiveAgain = url(again, "receive");
    std::vector<DravontMessage_s> second = collect(receiveAgain, 1);
    ASSERT_EQ(second.size(), 1u);
    EXPECT_EQ(property(second[0], "messageId"), id);
    EXPECT_EQ(ConfirmMessage(&receiveAgain, id.c_str(), 0, nullptr, &receiveAgain), 0) << lastError();
    EXPECT_TRUE(collect(receiveAgain).empty());
  });
}

TEST_F(LibraryTest, InjectedFailuresReachTheClientAsTheLibraryReportsThem) {
  hooks_->call("test.inject", args({"PostMessageTo", 1, "error", "Exchange is closed for maintenance"}));
  hooks_->call("test.inject", args({"Confirm", 1, "fault", "injected fault"}));
  hooks_->call("test.inject", args({"DravontCollect", 2, "drop", ""}));
  hooks_->call("test.inject", args({"Execute", 1, "drop", ""}));
  onFreshThread([] {
    DravontContext_s* sender = open("HOOKA");
    DravontContext_s* receiver = open("HOOKB");
    DravontURL sendUrl = url(sender, "send");
    DravontURL receiveUrl = url(receiver, "receive");
    DravontAddress_s address{};
    ASSERT_EQ(InitDravontAddress(&address, sender, "HOOKB", "SVC", "", "", ""), 0);
    DravontMessage_s message{};
    ASSERT_EQ(InitDravontMessage(&message, sender, &address, ""), 0);
    DravontStream_s stream{};
    ASSERT_EQ(InitDravontStreamFromFile(&stream, sender, directory_->write("hook.txt", "h").c_str(), "rb", ""), 0);
    ASSERT_EQ(DravontAttachStreamToMessage(&message, &stream, Cleartext), 0);

    char* id = nullptr;
    EXPECT_EQ(PostMessageTo(&message, &sendUrl, &id), 2);
    EXPECT_EQ(lastError(), "Exchange is closed for maintenance");
    EXPECT_EQ(id, nullptr);
    EXPECT_EQ(PostMessageTo(&message, &sendUrl, &id), 0) << lastError();  // the injection is used up
    take(id);

    unsigned int count = 0;
    DravontMessage_s* messages = nullptr;
    EXPECT_EQ(DravontCollect(&receiveUrl, nullptr, &count, &messages), 3);  // dropped, and dropped on the retry
    EXPECT_EQ(lastError(), "RPC call DravontCollect failed");
    // One dropped connection is absorbed by the library's retry on a new one.
    EXPECT_EQ(run(receiver, "6 * 7"), "42");

    std::vector<DravontMessage_s> collected = collect(receiveUrl);
    ASSERT_EQ(collected.size(), 1u);
    EXPECT_EQ(Confirm(&receiveUrl, &collected[0], 0, nullptr, &receiveUrl), 3);
    EXPECT_EQ(lastError(), "RPC call Confirm failed");
    EXPECT_EQ(Confirm(&receiveUrl, &collected[0], 0, nullptr, &receiveUrl), 0) << lastError();
  });
}

TEST_F(LibraryTest, GatewayScriptsThroughExecute) {
  onFreshThread([] {
    DravontContext_s* admin = open("LIBADMIN");
    DravontContext_s* context = open("LIBGATE", true, addressOf("LIBADMIN", "SVC"));
    EXPECT_EQ(run(context, formatText(kParseAddress, "EMAIL@LIBGATE.SVC")), "LIBGATE,SVC");
    EXPECT_EQ(run(context, formatText(kParseAddress, "EMAIL@LIBGATE")), "");

    DravontAddress_s own{};
    ASSERT_EQ(GetDravontSenderAddress(context, &own), 0);
    EXPECT_EQ(run(context, formatText(kAddressText, GetDravontAddressHandle(&own))), "EMAIL@LIBGATE.SVC");
    FreeDravontAddress(&own);

    const std::string key = "infilenum /etc/trasvik/gate.ini";
    const std::string stored = run(context, formatText(kReadParam, key.c_str()));
    const unsigned next = static_cast<unsigned>(std::atoi(stored.c_str())) + 1;
    run(context, formatText(kSaveParam, key.c_str(), next));
    EXPECT_EQ(std::atoi(run(context, formatText(kReadParam, key.c_str())).c_str()), static_cast<int>(next));
    char* value = nullptr;
    long long number = 0;
    EXPECT_EQ(ReadDravontParameter(context, key.c_str(), &value, &number), 0);
    EXPECT_EQ(number, next);
    take(value);

    EDIFolder_s folder{};
    ASSERT_EQ(InitEDIFolder(&folder, context, "FILED", "SVC", "", "", ""), 0) << lastError();
    EXPECT_EQ(run(context, formatText(kFolderName, GetEDIFolderHandle(&folder))), "Filed documents");

    DravontStream_s stream{};
    ASSERT_EQ(InitDravontStreamFromFile(&stream, context, directory_->write("env-data.001", "x").c_str(), "rb", ""), 0);
    const unsigned handle = static_cast<unsigned>(GetDravontStreamHandle(&stream));
    EXPECT_EQ(run(context, formatText(kStreamFileName, handle)), "env-data.001");
    EXPECT_EQ(run(context, formatText(kCutStreamFileName, handle)), "env-data");
    EXPECT_EQ(run(context, formatText(kSetStreamFileName, handle, "named.xml")), "named.xml");
    char* fileName = nullptr;
    EXPECT_EQ(GetDravontStreamProperty(&stream, "fileName", &fileName), 0);
    EXPECT_EQ(take(fileName), "named.xml");

    // The notification of a gateway that must stop.
    DravontURL notificationUrl{};
    const unsigned urlHandle = static_cast<unsigned>(std::atoi(run(context, kNotificationUrl).c_str()));
    ASSERT_NE(urlHandle, 0u);
    ASSERT_EQ(InitDravontURLByHandle(&notificationUrl, context, urlHandle), 0);
    const unsigned messageHandle =
        static_cast<unsigned>(std::atoi(run(context, formatText(kNotificationMessage, "Trasvik can\\'t continue")).c_str()));
    ASSERT_NE(messageHandle, 0u);
    DravontMessage_s notification{};
    ASSERT_EQ(InitDravontMessageByHandle(&notification, context, messageHandle), 0);
    char* id = nullptr;
    EXPECT_EQ(PostMessageTo(&notification, &notificationUrl, &id), 0) << lastError();
    EXPECT_FALSE(take(id).empty());
    DravontURL adminUrl = url(admin, "receive");
    std::vector<DravontMessage_s> received = collect(adminUrl);
    ASSERT_EQ(received.size(), 1u);
    EXPECT_EQ(property(received[0], "subject"), "Gateway on host-LIBGATE stopped");
    EXPECT_EQ(property(received[0], "text"), "Trasvik can't continue");

    // A freed context is a lost session for the gateway.
    FreeContext(context);
    char* result = nullptr;
    EXPECT_EQ(Execute(context, "1", &result), 2);
    EXPECT_EQ(lastError(), "Thread do not own context pointer provided");
    std::free(result);
  });
}

TEST_F(LibraryTest, ServiceVersionAndSettingsErrors) {
  onFreshThread([] {
    int major = 0, minor = 0, third = 0, fourth = 0;
    EXPECT_EQ(GetServiceVersion(&major, &minor, &third, &fourth), 0);
    EXPECT_EQ(major, 21);
    int status = 0;
    EXPECT_EQ(InitContext(directory_->file("nowhere.ini").c_str(), allocate, &status), nullptr);
    EXPECT_EQ(status, 1);
    EXPECT_THAT(lastError(), HasSubstr("Can't read settings file"));
  });
}

}  // namespace
