// The message store and the byte form of messages, in process.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <thread>

#include "commands.h"
#include "message_codec.h"
#include "message_store.h"
#include "platform/file_faults.h"
#include "support/temp_directory.h"

namespace {

using namespace dravont_service;
using testing::HasSubstr;

Message sampleMessage() {
  Message message;
  message.sender = "EMAIL@A.S";
  message.recipients = {"EMAIL@B.S", "EMAIL@C.S"};
  message.subject = "line one\nline two = 100% done ";
  message.text = "";
  message.dateMicros = 1700000000123456;
  message.headers = {{"coretype", "02A0"}, {"odd name", "a=b c"}};
  Attachment attachment;
  attachment.fileName = "data file.bin";
  attachment.protectionLevel = 2;
  attachment.bytes = std::make_shared<const std::string>(std::string("\0\n\nDRAVONT-MESSAGE 1\n", 22));
  attachment.signatures.push_back({{"dn", "CN=A, O=S"}, {"serial", "01"}});
  attachment.signatureBytes = std::make_shared<const std::string>("detached");
  message.attachments.push_back(attachment);
  Attachment empty;
  message.attachments.push_back(empty);
  return message;
}

TEST(MessageCodecTest, RoundTripsEveryField) {
  const Message original = sampleMessage();
  std::string error;
  const std::optional<Message> decoded = decodeMessage(encodeMessage(original), error);
  ASSERT_TRUE(decoded) << error;
  EXPECT_EQ(decoded->sender, original.sender);
  EXPECT_EQ(decoded->recipients, original.recipients);
  EXPECT_EQ(decoded->subject, original.subject);
  EXPECT_EQ(decoded->dateMicros, original.dateMicros);
  EXPECT_EQ(decoded->headers, original.headers);
  ASSERT_EQ(decoded->attachments.size(), 2u);
  EXPECT_EQ(decoded->attachments[0].fileName, "data file.bin");
  EXPECT_EQ(decoded->attachments[0].protectionLevel, 2);
  EXPECT_EQ(*decoded->attachments[0].bytes, *original.attachments[0].bytes);
  EXPECT_EQ(*decoded->attachments[0].signatureBytes, "detached");
  EXPECT_EQ(decoded->attachments[0].signatures, original.attachments[0].signatures);
  EXPECT_TRUE(decoded->attachments[1].bytes->empty());
}

TEST(MessageCodecTest, RefusesEveryCutOrAlteredFormWithoutTrustingItsSizes) {
  const std::string bytes = encodeMessage(sampleMessage());
  std::string error;
  for (std::size_t length = 0; length < bytes.size(); ++length) {
    EXPECT_FALSE(decodeMessage(std::string_view(bytes).substr(0, length), error)) << length;
  }
  EXPECT_FALSE(decodeMessage(bytes + "x", error));
  EXPECT_THAT(error, HasSubstr("trailing bytes"));
  std::string oversized = bytes;
  oversized.replace(oversized.find("attachment=22"), 13, "attachment=99999999999999");
  EXPECT_FALSE(decodeMessage(oversized, error));
  std::string badEscape = bytes;
  badEscape.replace(badEscape.find("sender=EMAIL"), 12, "sender=%ZZ");
  EXPECT_FALSE(decodeMessage(badEscape, error));
  EXPECT_FALSE(decodeMessage("HTTP/1.1 200 OK\n\n", error));
}

class MessageStoreTest : public testing::Test {
 protected:
  void TearDown() override { platform::clearFileFaults(); }
  static void injectFileFaults(const char* text) {
    std::vector<platform::FileFault> faults;
    std::string error;
    ASSERT_TRUE(platform::parseFileFaults(text, faults, error)) << error;
    platform::setFileFaults(std::move(faults));
  }

  std::string root() const { return directory_.file("store"); }
  testing_support::TempDirectory directory_;
  StoreLayout layout_{directory_.file("store")};
};

TEST_F(MessageStoreTest, DeliversCollectsOldestFirstAndConfirms) {
  MessageStore store(layout_);
  ASSERT_EQ(store.open(), "");
  std::vector<std::string> ids;
  for (const char* subject : {"first", "second", "third"}) {
    Message message = sampleMessage();
    message.subject = subject;
    ASSERT_EQ(store.post(message), "");
    ids.push_back(message.id);
  }
  std::vector<std::string> problems;
  std::vector<Message> waiting = store.collect(mailboxOf("EMAIL@B.S"), 2, "", problems);
  ASSERT_EQ(waiting.size(), 2u);
  EXPECT_EQ(waiting[0].id, ids[0]);
  EXPECT_EQ(waiting[1].id, ids[1]);
  EXPECT_EQ(store.collect("email@b.s", 0, "third", problems).size(), 1u);

  std::string error;
  EXPECT_EQ(store.confirm("email@b.s", ids[0], false, "not now", error), ConfirmOutcome::kConfirmed);
  EXPECT_EQ(store.confirm("email@b.s", ids[0], true, "", error), ConfirmOutcome::kAlreadyConfirmed);
  EXPECT_EQ(store.confirm("email@b.s", "nothing", true, "", error), ConfirmOutcome::kUnknown);
  EXPECT_EQ(error, "");
  const std::vector<CopyStatus> copies = store.status(ids[0]);
  ASSERT_EQ(copies.size(), 2u);  // one per recipient
  for (const CopyStatus& copy : copies) {
    if (copy.box == "email@b.s") {
      EXPECT_EQ(copy.state, DeliveryState::kRejected);
      EXPECT_EQ(copy.reason, "not now");
    } else {
      EXPECT_EQ(copy.state, DeliveryState::kInbox);
    }
  }
  EXPECT_EQ(store.collect("email@b.s", 0, "", problems).size(), 2u);
  EXPECT_TRUE(problems.empty());
}

TEST_F(MessageStoreTest, OpeningFinishesAnInterruptedConfirmationAndDropsTemporaryFiles) {
  Message message = sampleMessage();
  {
    MessageStore store(layout_);
    ASSERT_EQ(store.open(), "");
    ASSERT_EQ(store.post(message), "");
  }
  // A crash after the archive copy was written, before the inbox copy went.
  std::filesystem::create_directories(layout_.boxDirectory(DeliveryState::kAccepted, "email@b.s"));
  std::filesystem::copy_file(layout_.messagePath(DeliveryState::kInbox, "email@b.s", message.id),
                             layout_.messagePath(DeliveryState::kAccepted, "email@b.s", message.id));
  const std::string leftover = layout_.messagePath(DeliveryState::kInbox, "email@c.s", message.id) + ".tmp-1-1";
  directory_.write(leftover.substr(directory_.path().string().size() + 1), "half a message");
  directory_.write("store/inbox/email@c.s/damaged.msg", "DRAVONT-MESSAGE 1\nsender=x\n");

  // Listed before any service opens the store, the message shows once per
  // recipient: B's confirmation counts as done.
  const std::string listing = describeStore(root());
  std::size_t shown = 0;
  for (std::size_t at = listing.find(message.id); at != std::string::npos; at = listing.find(message.id, at + 1)) ++shown;
  EXPECT_EQ(shown, 2u) << listing;

  MessageStore reopened(layout_);
  ASSERT_EQ(reopened.open(), "");
  EXPECT_FALSE(std::filesystem::exists(layout_.messagePath(DeliveryState::kInbox, "email@b.s", message.id)));
  EXPECT_FALSE(std::filesystem::exists(leftover));
  std::vector<std::string> problems;
  EXPECT_TRUE(reopened.collect("email@b.s", 0, "", problems).empty());
  EXPECT_EQ(reopened.collect("email@c.s", 0, "", problems).size(), 1u);
  ASSERT_EQ(problems.size(), 1u);  // the damaged file is reported, not delivered
  EXPECT_THAT(problems[0], HasSubstr("damaged.msg"));
}

// Stores written before confirmations moved the inbox copy kept a rewritten
// copy with the state and the reason in its header, and no reason file.
TEST_F(MessageStoreTest, ReadsConfirmationsOfAStoreWrittenBeforeReasonFiles) {
  Message message = sampleMessage();
  {
    MessageStore store(layout_);
    ASSERT_EQ(store.open(), "");
    ASSERT_EQ(store.post(message), "");
  }
  const auto confirmTheOldWay = [&](const std::string& box, DeliveryState state, const std::string& reason) {
    Message copy = message;
    copy.state = state;
    copy.reason = reason;
    std::filesystem::create_directories(layout_.boxDirectory(state, box));
    directory_.write(layout_.messagePath(state, box, message.id).substr(directory_.path().string().size() + 1),
                     encodeMessage(copy));
    std::filesystem::remove(layout_.messagePath(DeliveryState::kInbox, box, message.id));
  };
  confirmTheOldWay("email@b.s", DeliveryState::kRejected, "old reason");
  confirmTheOldWay("email@c.s", DeliveryState::kAccepted, "");

  MessageStore reopened(layout_);
  ASSERT_EQ(reopened.open(), "");
  std::vector<CopyStatus> copies = reopened.status(message.id);
  std::sort(copies.begin(), copies.end(), [](const CopyStatus& a, const CopyStatus& b) { return a.box < b.box; });
  ASSERT_EQ(copies.size(), 2u);
  EXPECT_EQ(copies[0].state, DeliveryState::kRejected);
  EXPECT_EQ(copies[0].reason, "old reason");
  EXPECT_EQ(copies[1].state, DeliveryState::kAccepted);
  std::string error;
  EXPECT_EQ(reopened.confirm("email@b.s", message.id, true, "", error), ConfirmOutcome::kAlreadyConfirmed);
  EXPECT_THAT(describeStore(root()), HasSubstr("rejected: \"old reason\""));
}

// A rejection killed after writing its reason, before its copy moved, leaves
// the reason without a copy; the message is rejected again later for
// another reason, which is the one reported.
TEST_F(MessageStoreTest, AReasonLeftByAnInterruptedRejectionIsNotReported) {
  Message message = sampleMessage();
  {
    MessageStore store(layout_);
    ASSERT_EQ(store.open(), "");
    ASSERT_EQ(store.post(message), "");
  }
  std::filesystem::create_directories(layout_.boxDirectory(DeliveryState::kRejected, "email@b.s"));
  directory_.write(layout_.reasonPath("email@b.s", message.id).substr(directory_.path().string().size() + 1), "stale");
  MessageStore reopened(layout_);
  ASSERT_EQ(reopened.open(), "");
  std::string error;
  ASSERT_EQ(reopened.confirm("email@b.s", message.id, false, "", error), ConfirmOutcome::kConfirmed);
  for (const CopyStatus& copy : reopened.status(message.id)) EXPECT_EQ(copy.reason, "") << copy.box;
  EXPECT_THAT(describeStore(root()), HasSubstr("rejected: \"\""));
}

// A crash while a post to several boxes makes its copies visible leaves
// pending copies; whether the post took place is decided by whether any of
// its copies was in place, and the listing counts them as the service will.
TEST_F(MessageStoreTest, OpeningCompletesAPostThatTookPlaceAndDropsOneThatDidNot) {
  Message begun = sampleMessage();      // no copy in place yet
  Message renamed = sampleMessage();    // B's copy in place
  Message confirmed = sampleMessage();  // B's copy in place and already accepted
  {
    MessageStore store(layout_);
    ASSERT_EQ(store.open(), "");
    for (Message* message : {&begun, &renamed, &confirmed}) ASSERT_EQ(store.post(*message), "");
    std::string error;
    ASSERT_EQ(store.confirm("email@b.s", confirmed.id, true, "", error), ConfirmOutcome::kConfirmed);
  }
  const auto unrename = [&](const std::string& box, const std::string& id) {
    std::filesystem::rename(layout_.messagePath(DeliveryState::kInbox, box, id),
                            layout_.pendingPath(DeliveryState::kInbox, box, id));
  };
  unrename("email@b.s", begun.id);
  unrename("email@c.s", begun.id);
  unrename("email@c.s", renamed.id);
  unrename("email@c.s", confirmed.id);

  const auto shown = [&](const std::string& id) {
    const std::string listing = describeStore(root());
    std::size_t count = 0;
    for (std::size_t at = listing.find(id); at != std::string::npos; at = listing.find(id, at + 1)) ++count;
    return count;
  };
  EXPECT_EQ(shown(begun.id), 0u);
  EXPECT_EQ(shown(renamed.id), 2u);
  EXPECT_EQ(shown(confirmed.id), 2u);

  MessageStore reopened(layout_);
  ASSERT_EQ(reopened.open(), "");
  std::vector<std::string> problems;
  std::vector<std::string> waiting;
  for (const char* box : {"email@b.s", "email@c.s"}) {
    for (const Message& message : reopened.collect(box, 0, "", problems)) waiting.push_back(message.id + " " + box);
  }
  EXPECT_THAT(waiting, testing::UnorderedElementsAre(renamed.id + " email@b.s", renamed.id + " email@c.s",
                                                     confirmed.id + " email@c.s"));
  EXPECT_TRUE(reopened.status(begun.id).empty());
  EXPECT_EQ(reopened.status(confirmed.id).size(), 2u);
  EXPECT_EQ(shown(begun.id), 0u);
  EXPECT_FALSE(std::filesystem::exists(layout_.pendingPath(DeliveryState::kInbox, "email@b.s", begun.id)));
}

// Without a crash, a post that fails leaves no copy behind; once one copy is
// in place the post has taken place, and a copy whose rename failed follows
// when the store opens next.
TEST_F(MessageStoreTest, APostThatFailsLeavesNoCopyAndOneThatTookPlaceIsCompleted) {
  MessageStore store(layout_);
  ASSERT_EQ(store.open(), "");
  const auto copiesOnDisk = [&] {
    std::size_t count = 0;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(layout_.stateDirectory(DeliveryState::kInbox))) {
      count += entry.is_regular_file() ? 1 : 0;
    }
    return count;
  };
  // Writing C's copy fails; making B's copy visible fails.
  for (const char* faults : {"write:/email@c.s/:ENOSPC", "rename:.msg:EIO"}) {
    injectFileFaults(faults);
    Message message = sampleMessage();
    EXPECT_NE(store.post(message), "") << faults;
    platform::clearFileFaults();
    EXPECT_EQ(copiesOnDisk(), 0u) << faults;
    EXPECT_TRUE(store.status(message.id).empty()) << faults;
  }

  injectFileFaults("rename:/email@c.s/:EIO");  // C's pending copy is made, its rename into place fails
  Message message = sampleMessage();
  EXPECT_EQ(store.post(message), "");
  platform::clearFileFaults();
  std::vector<std::string> problems;
  EXPECT_TRUE(store.collect("email@c.s", 0, "", problems).empty());
  MessageStore reopened(layout_);
  ASSERT_EQ(reopened.open(), "");
  EXPECT_EQ(reopened.collect("email@c.s", 0, "", problems).size(), 1u);
  EXPECT_EQ(reopened.collect("email@b.s", 0, "", problems).size(), 1u);
}

// Collects read the inbox while confirmations move its messages away: a
// confirmation that lands between a collect's reading and its bookkeeping
// must stay a confirmation.
TEST_F(MessageStoreTest, ConfirmationsRacingCollectsStayConfirmed) {
  MessageStore store(layout_);
  ASSERT_EQ(store.open(), "");
  std::vector<std::string> ids;
  for (int i = 0; i < 60; ++i) {
    Message message = sampleMessage();
    message.recipients = {"EMAIL@B.S"};
    ASSERT_EQ(store.post(message), "");
    ids.push_back(message.id);
  }
  std::atomic<bool> done{false};
  std::thread collector([&] {
    std::vector<std::string> problems;
    while (!done.load()) store.collect("email@b.s", 0, "", problems);
  });
  std::string error;
  for (const std::string& id : ids) EXPECT_EQ(store.confirm("email@b.s", id, true, "", error), ConfirmOutcome::kConfirmed);
  done = true;
  collector.join();
  for (const std::string& id : ids) {
    const std::vector<CopyStatus> copies = store.status(id);
    ASSERT_EQ(copies.size(), 1u);
    EXPECT_EQ(copies[0].state, DeliveryState::kAccepted) << id;
  }
}

TEST_F(MessageStoreTest, NamesThatCouldEscapeTheStoreStayInside) {
  EXPECT_EQ(directoryNameFor(".."), "%2E.");
  EXPECT_EQ(directoryNameFor("a/../b"), "a%2F..%2Fb");
  EXPECT_EQ(nameOfDirectory(directoryNameFor("Invoices 2024/Q1")), "Invoices 2024/Q1");
  Message filed = sampleMessage();
  filed.folder = "../../outside";
  MessageStore store(layout_);
  ASSERT_EQ(store.open(), "");
  ASSERT_EQ(store.post(filed), "");
  EXPECT_TRUE(std::filesystem::exists(layout_.messagePath(DeliveryState::kFiled, "../../outside", filed.id)));
  EXPECT_EQ(store.status(filed.id).at(0).state, DeliveryState::kFiled);
}

}  // namespace
