// Incoming messages: which rule takes a message, rejection of a message
// that cannot be read, and confirmations that fail.
#include <gtest/gtest.h>

#include <filesystem>

#include "support/gateway_setup.h"

namespace gateway_testing {
namespace {

class ReceiveCycleTest : public testing::Test {
 protected:
  void SetUp() override {
    setup.useMainRule("FILE");
    setup.set("rules", "rule1", "bySubject");
    setup.set("rules", "rule2", "bySender");
    setup.set("rules", "rule3", "byCoretype");
    addRule("bySubject", "subject", "Invoice");
    addRule("bySender", "address", addressOf(kAdminTicker));
    addRule("byCoretype", "coretype", "02A0");
    addRule("main", nullptr, "");
  }

  void addRule(const std::string& section, const char* key, const std::string& value) {
    setup.set(section, "type", "FILE");
    setup.set(section, "in", setup.makeDirectory(section));
    if (key != nullptr) setup.set(section, key, value);
  }

  // The rule directory a file of that name was saved into ("" when none).
  std::string takenBy(const std::string& name) const {
    for (const char* rule : {"bySubject", "bySender", "byCoretype", "main"}) {
      if (std::filesystem::exists(setup.directory().file(std::string(rule) + "/" + name))) return rule;
    }
    return "";
  }

  GatewaySetup setup;
};

TEST_F(ReceiveCycleTest, FirstRuleWhoseFiltersAcceptTakesTheMessageAndTheMainRuleTheRest) {
  setup.deliver(message("Invoice", {{"subject.txt", "1"}}));
  setup.deliver(message("invoice", {{"coretype.txt", "2"}}, "02A0"));
  setup.deliver(message("Invoice", {{"both.txt", "3"}}, "02A0"));
  setup.deliver(message("x", {{"sender.txt", "4"}}, "", kAdminTicker));
  setup.deliver(message("invoice", {{"badtype.txt", "5"}}, "zz"));
  setup.deliver(message("Invoice ", {{"rest.txt", "6"}}));
  setup.set("trasvik", "ncollect", "2");  // three collect calls in the pass
  EXPECT_EQ(setup.runGateway(), 0);

  EXPECT_EQ(takenBy("subject.txt"), "bySubject");
  EXPECT_EQ(takenBy("coretype.txt"), "byCoretype");
  EXPECT_EQ(takenBy("both.txt"), "bySubject");
  EXPECT_EQ(takenBy("sender.txt"), "bySender");
  EXPECT_EQ(takenBy("badtype.txt"), "main");
  EXPECT_EQ(takenBy("rest.txt"), "main");
  EXPECT_EQ(setup.countRecords("ERROR", "Wrong CORETYPE in received message: zz"), 1);
  EXPECT_EQ(setup.countRecords("INFO", "messages: 6 received, 0 rejected"), 1);
}

TEST_F(ReceiveCycleTest, MessageWithoutAttachmentsIsRejectedWithItsReason) {
  setup.deliver(message("empty"));
  EXPECT_EQ(setup.runGateway(), 0);
  const std::string reason = "Error in GetNumOfDravontMessageAttachments() (return value is 0)";
  EXPECT_EQ(setup.countRecords("ERROR", "Fail reading msg, " + reason), 1);
  EXPECT_EQ(setup.countRecords("INFO", "messages: 0 received, 1 rejected"), 1);
  EXPECT_NE(setup.listStore().find("rejected: \"" + reason + "\""), std::string::npos) << setup.listStore();
}

// A message whose post token the gateway saved before, under another
// message, is a second copy: confirmed, not saved; in a later run too.
// Messages without a token are saved as ever.
TEST_F(ReceiveCycleTest, ASecondCopyOfASavedMessageIsConfirmedAndNotSavedAgain) {
  Delivery first = message("report", {{"a.txt", "first"}});
  first.postToken = "0123456789abcdef0123456789abcdef";
  const std::string firstId = setup.deliver(first);
  EXPECT_EQ(setup.runGateway(), 0);
  Delivery copy = first;
  const std::string copyId = setup.deliver(copy);
  setup.deliver(message("report", {{"a.txt", "no token"}}));
  EXPECT_EQ(setup.runGateway(), 0);
  EXPECT_EQ(directoryNames(setup.directory().file("main")), (std::vector<std::string>{"a (2).txt", "a.txt"}));
  EXPECT_EQ(setup.countRecords("INFO", "Msg \"" + copyId + "\" is a duplicate of an earlier message, not saved again: "
                                       "msg \"" + firstId + "\", saved as \"" + setup.makeDirectory("main") +
                                       "a.txt\""),
            1);
  EXPECT_NE(setup.listStore().find("Inbox email@gate.svc: 0 messages"), std::string::npos) << setup.listStore();
}

// A sender posts a batch again with fewer files when some vanished after
// a crash: all of them saved under the token, it is a copy. A message that
// brings files the token's messages did not have is saved in full, named
// as one whose repeated files may be there twice: nothing is dropped.
TEST_F(ReceiveCycleTest, AMessageRepeatingPartOfASavedOneUnderItsTokenIsACopyOnlyWhenItBringsNothingNew) {
  Delivery batch = message("batch", {{"a.txt", "a"}, {"b.txt", "b"}});
  batch.postToken = "00000000000000000000000000000b01";
  const std::string batchId = setup.deliver(batch);
  Delivery fewer = message("batch", {{"b.txt", "b"}});
  fewer.postToken = batch.postToken;
  setup.deliver(fewer);
  EXPECT_EQ(setup.runGateway(), 0);
  Delivery overlapping = message("batch", {{"a.txt", "a"}, {"c.txt", "c"}});
  overlapping.postToken = batch.postToken;
  const std::string overlappingId = setup.deliver(overlapping);
  Delivery lastOfAll = message("batch", {{"c.txt", "c"}, {"b.txt", "b"}});
  lastOfAll.postToken = batch.postToken;
  setup.deliver(lastOfAll);
  EXPECT_EQ(setup.runGateway(), 0);
  EXPECT_EQ(directoryNames(setup.directory().file("main")),
            (std::vector<std::string>{"a (2).txt", "a.txt", "b.txt", "c.txt"}));
  EXPECT_EQ(setup.countRecords("WARNING", "Msg \"" + overlappingId + "\" repeats 1 of its 2 files from msg \"" +
                                              batchId + "\" (the same post token); it is saved in full, and those "
                                              "files may be there twice"),
            1);
  EXPECT_EQ(setup.countRecordsStartingWith("Msg \""), 3);  // the two copies and the warning
}

TEST_F(ReceiveCycleTest, ConfirmationLostWithTheSessionIsCarriedOutAfterTheRestart) {
  setup.deliver(message("empty"));
  setup.inject("Confirm", 2, "drop");  // the call and the library's retry
  EXPECT_EQ(setup.runGateway(), 0);
  const std::string reason = "Error in GetNumOfDravontMessageAttachments() (return value is 0)";
  EXPECT_NE(setup.listStore().find("rejected: \"" + reason + "\""), std::string::npos) << setup.listStore();
  // The new session's pass, which carried out the rejection at its start.
  EXPECT_EQ(setup.countRecords("INFO", "messages: 0 received, 1 rejected"), 1);
}

TEST_F(ReceiveCycleTest, ConfirmationsThatKeepFailingStopTheGatewayWith13) {
  setup.deliver(message("Invoice", {{"kept.txt", "k"}}));
  setup.inject("Confirm", 6, "error", "Exchange is closed");
  EXPECT_EQ(setup.runGateway(nullptr, {}, 120000), 13);
  EXPECT_EQ(setup.countRecords("ERROR", "Error in Confirm(): \"Exchange is closed\""), 5);
  EXPECT_EQ(setup.countRecords("FATAL", "Error in Confirm(): \"Exchange is closed\""), 1);
  EXPECT_NE(setup.listStore().find("Trasvik can't continue - Error in Confirm(): \\\"Exchange is closed\""),
            std::string::npos);
}

}  // namespace
}  // namespace gateway_testing
