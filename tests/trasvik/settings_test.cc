#include "gateway_core_fixture.h"
#include "trasvik/notification.h"
#include "trasvik/settings.h"

namespace gateway_testing {
namespace {

using trasvik::settings;

class SettingsTest : public GatewayCoreTest {};

TEST_F(SettingsTest, ValuesOutOfRangeAreForcedWithWarnings) {
  setup.set("trasvik", "sleeptime", "0");
  setup.set("trasvik", "protectionlevel", "signed");
  setup.set("trasvik", "loops", "-3");
  setup.set("trasvik", "retryonerror", "0");
  setup.set("trasvik", "sent", setup.makeDirectory("sent").substr(0, setup.makeDirectory("sent").size() - 1));
  inSession([] { ASSERT_TRUE(trasvik::init()); });
  EXPECT_EQ(setup.countRecords("WARNING", "init(): wrong [trasvik]:sleeptime=0, forcing to 1"), 1);
  EXPECT_EQ(settings().sleeptime, 1000u);
  EXPECT_EQ(settings().protectionLevel, 1);
  EXPECT_EQ(settings().loops, 0);
  EXPECT_EQ(setup.countRecords("WARNING", "Wrong [trasvik]:loops=-3, forcing to 0"), 1);
  EXPECT_EQ(setup.countRecords("WARNING", "init(): wrong [trasvik]:retryonerror=0, forcing to 1"), 1);
  EXPECT_EQ(settings().retryonerror, 1);
  EXPECT_EQ(settings().fileTimeout, 1);
  EXPECT_EQ(settings().sent, setup.makeDirectory("sent"));
  EXPECT_EQ(settings().outFileError, "err");
  EXPECT_EQ(settings().selfAddress, addressOf(kGatewayTicker));
  EXPECT_NE(Quillex::GetDravontURLHandle(&settings().folderUrl), -1);  // usable, made from handle 0
}

TEST_F(SettingsTest, NegativeAndLargeValuesAreForcedToTheirCeilings) {
  setup.set("trasvik", "sleeptime", "-1");
  setup.set("trasvik", "fileTimeout", "70000");
  setup.set("trasvik", "protectionlevel", "3");
  inSession([] { ASSERT_TRUE(trasvik::init()); });
  EXPECT_EQ(setup.countRecords("WARNING", "init(): wrong [trasvik]:sleeptime=-1, forcing to 600"), 1);
  EXPECT_EQ(settings().sleeptime, 600000u);
  EXPECT_EQ(settings().fileTimeout, 60000);
  EXPECT_EQ(setup.countRecords("WARNING", "Wrong [trasvik]:fileTimeout=70000, forcing to 60000"), 1);
  EXPECT_EQ(settings().protectionLevel, 3);
}

TEST_F(SettingsTest, ValuesThatAreNoNumbersAreNamedWithWhatIsUsed) {
  setup.set("trasvik", "ncollect", "5 messages");
  setup.set("trasvik", "switchafter", "lots");
  setup.set("trasvik", "loops", "0x10");
  inSession([] { ASSERT_TRUE(trasvik::init()); });
  EXPECT_EQ(setup.countRecords("WARNING", "Wrong [trasvik]:ncollect value \"5 messages\", using 5"), 1);
  EXPECT_EQ(settings().ncollect, 5u);
  EXPECT_EQ(setup.countRecords("WARNING", "Wrong [trasvik]:switchafter value \"lots\", using 2147483647"), 1);
  EXPECT_EQ(settings().loops, 16);  // a number: no warning
  EXPECT_EQ(setup.countRecordsStartingWith("Wrong [trasvik]:loops"), 0);
}

struct StartFailure {
  const char* key;
  const char* value;  // nullptr: the key is left out
  const char* record;
  bool notified;
};

class SettingsFailureTest : public GatewayCoreTest, public testing::WithParamInterface<StartFailure> {};

TEST_P(SettingsFailureTest, FailsWithItsFatalRecord) {
  const StartFailure& failure = GetParam();
  if (failure.value == nullptr) {
    setup.erase("trasvik", failure.key);
  } else {
    setup.set("trasvik", failure.key, failure.value);
  }
  inSession([] { EXPECT_FALSE(trasvik::init()); });
  EXPECT_EQ(setup.countRecords("FATAL", failure.record), 1);
  const std::string stored = setup.listStore();
  EXPECT_EQ(stored.find("to " + addressOf(kAdminTicker)) != std::string::npos, failure.notified) << stored;
}

INSTANTIATE_TEST_SUITE_P(
    Keys, SettingsFailureTest,
    testing::Values(
        StartFailure{"sendparam", nullptr, "No [trasvik]:sendparam in ini file", false},
        StartFailure{"recvparam", "", "No [trasvik]:recvparam in ini file", false},
        StartFailure{"protectionlevel", "Encrypted",
                     "Wrong [trasvik]:protectionlevel \"Encrypted\", must be \"Cleartext\", \"Signed\", "
                     "\"SignedEncrypted\", or \"MIMESignedEncrypted\", or \"DetachedSignedEcripted\"",
                     true},
        StartFailure{"error", nullptr, "No error directory ([trasvik]:error)", true},
        StartFailure{"outFileError", "", "No file output error subdirectory name ([trasvik]:outFileError)", true},
        // Ending in a separator of both systems, the value is named as given.
        StartFailure{"error", "none/", "Directory \"none/\" dosn't exist, (section [trasvik])", true}));

class NotificationTest : public GatewayCoreTest {};

TEST_F(NotificationTest, TextsArriveIntactOnOneLine) {
  inSession([] {
    ASSERT_TRUE(trasvik::init());
    trasvik::postNotification("Can't move C:\\dir\\it's");
    trasvik::postNotification("first line\nsecond line");
  });
  const std::string stored = setup.listStore();
  EXPECT_NE(stored.find("text \"Can't move C:\\\\dir\\\\it's\""), std::string::npos) << stored;
  EXPECT_NE(stored.find("text \"first line second line\""), std::string::npos) << stored;
  EXPECT_NE(stored.find("subject \"Gateway on host-GATE stopped\""), std::string::npos) << stored;
  int posted = 0;
  for (const std::string& record : setup.logRecords()) {
    posted += record.find(" WARNING Brivane: Posted notification \"first line second line\" with id \"") !=
              std::string::npos;
  }
  EXPECT_EQ(posted, 1);
}

class SilentServiceTest : public GatewayCoreTest {
 protected:
  SilentServiceTest() : GatewayCoreTest(false) {}
};

TEST_F(SilentServiceTest, WithoutNotificationSettingsNothingIsSentOrLogged) {
  inSession([] {
    ASSERT_TRUE(trasvik::init());
    trasvik::postNotification("nobody listens");
  });
  EXPECT_EQ(setup.listStore().find("nobody listens"), std::string::npos);
  for (const std::string& record : setup.logRecords()) EXPECT_EQ(record.find("notification"), std::string::npos) << record;
}

}  // namespace
}  // namespace gateway_testing
