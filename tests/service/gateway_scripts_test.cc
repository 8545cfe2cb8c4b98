// The scripts the gateway sends, composed exactly as the gateway composes
// them, evaluated by the service over the wire.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

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
using testing::HasSubstr;

class GatewayScriptsTest : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    directory_ = new testing_support::TempDirectory;
    std::filesystem::create_directories(directory_->file("store"));
    service_ = new ServiceProcess(directory_->file("store"));
  }
  static void TearDownTestSuite() {
    delete service_;
    delete directory_;
  }

  void SetUp() override {
    ASSERT_TRUE(service_->running());
    client_ = std::make_unique<WireClient>(service_->port());
  }

  int openContext(const std::string& ticker, bool notification = false, const std::string& notify = "") {
    const std::string path =
        directory_->write(ticker + ".ini", settingsText(ticker, "SVC", notification, notify));
    return client_->openContext(path);
  }
  int openFileStream(int context, const std::string& name, const std::string& contents, const char* mode = "rb") {
    const std::string path = directory_->write(name, contents);
    return client_->number("DravontStreamFileCtor", args({context, path, mode, ""}));
  }

  static testing_support::TempDirectory* directory_;
  static ServiceProcess* service_;
  std::unique_ptr<WireClient> client_;
};

testing_support::TempDirectory* GatewayScriptsTest::directory_ = nullptr;
ServiceProcess* GatewayScriptsTest::service_ = nullptr;

TEST_F(GatewayScriptsTest, AddressParsingSplitsTickerAndService) {
  const int context = openContext("PARSE");
  EXPECT_EQ(client_->execute(context, formatText(kParseAddress, "EMAIL@ABCD.XYZ")), "ABCD,XYZ");
  EXPECT_EQ(client_->execute(context, formatText(kParseAddress, "EMAIL@ABCD")), "");
  EXPECT_EQ(client_->execute(context, formatText(kParseAddress, "MAIL@AB.CD")), "");
}

TEST_F(GatewayScriptsTest, OwnAddressComesFromTheSenderAddress) {
  const int context = openContext("SELF");
  const XmlRpcValue own = client_->call("GetDravontSenderAddress", args({context}));
  ASSERT_EQ(own[1].getString(), "");
  EXPECT_EQ(client_->execute(context, formatText(kAddressText, own[0].getInt())), "EMAIL@SELF.SVC");
  // A handle the context does not have is an error, not a crash.
  std::string error;
  client_->execute(context, formatText(kAddressText, 999999u), &error);
  EXPECT_THAT(error, HasSubstr("TypeError"));
}

TEST_F(GatewayScriptsTest, SequenceParametersAreStoredAsText) {
  const int context = openContext("SEQ");
  const std::string key = "infilenum /srv/gateways/gate one.ini";
  EXPECT_EQ(client_->execute(context, formatText(kReadParam, key.c_str())), "");
  client_->execute(context, formatText(kSaveParam, key.c_str(), 42u));
  EXPECT_EQ(client_->execute(context, formatText(kReadParam, key.c_str())), "00042");
  // Another context of another participant sees the same value.
  const int other = openContext("SEQ2");
  EXPECT_EQ(client_->execute(other, formatText(kReadParam, key.c_str())), "00042");
  const XmlRpcValue read = client_->call("ReadDravontParam", args({other, key}));
  EXPECT_EQ(read[0].getString(), "00042");
  EXPECT_EQ(read[2].getInt(), 42);
}

TEST_F(GatewayScriptsTest, FolderNameOfAFolderHandle) {
  directory_->write("store/addressbook.ini", "[folders]\nEMAIL@FOLD.SVC=Incoming invoices\n");
  const int context = openContext("FOLDUSER");
  const int folder = client_->number("EDIFolderCtor", args({context, "FOLD", "SVC", "", "", ""}));
  EXPECT_EQ(client_->execute(context, formatText(kFolderName, static_cast<unsigned>(folder))), "Incoming invoices");
}

TEST_F(GatewayScriptsTest, StreamFileNameIsReadSetAndCut) {
  const int context = openContext("NAMES");
  const auto stream = static_cast<unsigned>(openFileStream(context, "report.xml.001", "data"));
  EXPECT_EQ(client_->execute(context, formatText(kStreamFileName, stream)), "report.xml.001");
  EXPECT_EQ(client_->execute(context, formatText(kCutStreamFileName, stream)), "report.xml");
  EXPECT_EQ(client_->execute(context, formatText(kStreamFileName, stream)), "report.xml");
  EXPECT_EQ(client_->execute(context, formatText(kSetStreamFileName, stream, "invoice.pdf")), "invoice.pdf");
  const XmlRpcValue property = client_->call("DravontStreamGet", args({context, static_cast<int>(stream), "fileName"}));
  EXPECT_EQ(property[0].getString(), "invoice.pdf");
  EXPECT_EQ(client_->execute(context, formatText(kClearStreamFileName, stream)), "");
  EXPECT_EQ(client_->execute(context, formatText(kStreamFileName, stream)), "");
}

TEST_F(GatewayScriptsTest, NotificationUrlIsZeroWithoutNotificationSettings) {
  const int context = openContext("QUIET");
  EXPECT_EQ(client_->execute(context, kNotificationUrl), "0");
  EXPECT_EQ(client_->execute(context, formatText(kNotificationMessage, "text")), "0");
}

TEST_F(GatewayScriptsTest, NotificationMessageIsBuiltFromTheSettingsAndDelivered) {
  const int admin = openContext("ADMIN");
  const int context = openContext("NOISY", true, addressOf("ADMIN", "SVC"));
  const int url = std::atoi(client_->execute(context, kNotificationUrl).c_str());
  ASSERT_GT(url, 0);
  const XmlRpcValue urlText = client_->call("DravontURLGet", args({context, url, "address"}));
  EXPECT_EQ(urlText[0].getString(), addressOf("ADMIN", "SVC"));

  const int message =
      std::atoi(client_->execute(context, formatText(kNotificationMessage, "Trasvik can\\'t continue - C:\\\\dir\\\\it\\'s")).c_str());
  ASSERT_GT(message, 0);
  const XmlRpcValue posted = client_->call("PostMessageTo", args({context, message, url}));
  ASSERT_EQ(posted[1].getString(), "");
  ASSERT_FALSE(posted[0].getString().empty());

  const int receiveUrl = client_->number("DravontURLCtor", args({admin, "inbox", ""}));
  const XmlRpcValue collected = client_->call("DravontCollect", args({admin, receiveUrl, 0, ""}));
  ASSERT_EQ(collected[1].getInt(), 1);
  const int received = collected[2].getInt();
  EXPECT_EQ(client_->call("DravontMessageGet", args({admin, received, "subject"}))[0].getString(),
            "Gateway on host-NOISY stopped");
  EXPECT_EQ(client_->call("DravontMessageGet", args({admin, received, "text"}))[0].getString(),
            "Trasvik can't continue - C:\\dir\\it's");
  EXPECT_EQ(client_->call("DravontMessageGet", args({admin, received, "messageId"}))[0].getString(),
            posted[0].getString());
  EXPECT_EQ(client_->execute(admin, formatText(kMessageSender, static_cast<unsigned>(received))), "EMAIL@NOISY.SVC");
}

TEST_F(GatewayScriptsTest, UrlParametersComeFromASectionLiteralWithAGetter) {
  const int context = openContext("URLS");
  const std::string literal = objectLiteralScript({{"url", "https://exchange.example/out"},
                                              {"token", "function(){ return 'T' + (40 + 2); }"},
                                              {"mode", "say \"hi\" it's"}});
  EXPECT_THAT(literal, HasSubstr("o.__defineGetter__(\"token\",function(){ return 'T' + (40 + 2); });"));
  const int url = client_->number("DravontURLCtor", args({context, "https://exchange.example/out", literal}));
  EXPECT_EQ(client_->call("DravontURLGet", args({context, url, "token"}))[0].getString(), "T42");
  EXPECT_EQ(client_->call("DravontURLGet", args({context, url, "mode"}))[0].getString(), "say \"hi\" it's");
  EXPECT_EQ(client_->call("DravontURLGet", args({context, url, "url"}))[0].getString(), "https://exchange.example/out");
  const XmlRpcValue missing = client_->call("DravontURLGet", args({context, url, "nothing"}));
  EXPECT_THAT(missing[1].getString(), HasSubstr("has no property"));
}

TEST_F(GatewayScriptsTest, ValuesAndErrorsBecomeTexts) {
  const int context = openContext("VALUES");
  EXPECT_EQ(client_->execute(context, "[1, 'a', 2.5]"), "1,a,2.5");
  EXPECT_EQ(client_->execute(context, "undefined"), "");
  EXPECT_EQ(client_->execute(context, "null"), "");
  EXPECT_EQ(client_->execute(context, "var kept = 7; kept * 6"), "42");
  EXPECT_EQ(client_->execute(context, "kept"), "7");  // one heap per context
  std::string error;
  EXPECT_EQ(client_->execute(context, "throw new Error('broken rule')", &error), "");
  EXPECT_EQ(error, "Error: broken rule");
  client_->execute(context, "function (", &error);
  EXPECT_THAT(error, HasSubstr("SyntaxError"));
  // Another context does not see this one's globals.
  client_->execute(openContext("VALUES2"), "kept", &error);
  EXPECT_THAT(error, HasSubstr("ReferenceError"));
}

TEST_F(GatewayScriptsTest, AScriptThatAllocatesWithoutEndFailsAndTheContextGoesOn) {
  const int context = openContext("GREEDY");
  client_->execute(context, "var survivor = 'yes'");
  std::string error;
  client_->execute(context, "var s = 'x'; var a = []; for (;;) { a.push(s); s = s + s; }", &error);
  EXPECT_THAT(error, HasSubstr("memory budget"));
  EXPECT_EQ(client_->execute(context, "1 + 1"), "2");
  // The heap was rebuilt: the environment is back, old globals are gone.
  EXPECT_EQ(client_->execute(context, "typeof DravontStream + ' ' + typeof survivor"), "object undefined");
}

TEST_F(GatewayScriptsTest, MixinsAreInstalledAndRemoved) {
  const int context = openContext("MIXIN");
  EXPECT_EQ(client_->call("AddMixin", args({context, "twice", "function twice(x) { return 2 * x; }"})).getString(), "");
  EXPECT_EQ(client_->execute(context, "twice(21)"), "42");
  EXPECT_THAT(client_->call("AddMixin", args({context, "broken", "function ("})).getString(), HasSubstr("SyntaxError"));
  EXPECT_EQ(client_->call("RemoveMixin", args({context, "twice"})).getString(), "");
  std::string error;
  client_->execute(context, "twice(1)", &error);
  EXPECT_THAT(error, HasSubstr("ReferenceError"));
  EXPECT_THAT(client_->call("RemoveMixin", args({context, "twice"})).getString(), HasSubstr("No mixin"));
}

}  // namespace
