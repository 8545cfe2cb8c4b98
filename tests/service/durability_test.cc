// What a client was told survives a SIGKILL of the service at any moment.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <mutex>
#include <set>
#include <sstream>
#include <thread>
#include <vector>

#include "platform/clock.h"
#include "support/service_fixture.h"

namespace {

using namespace service_testing;

class DurabilityTest : public testing::Test {
 protected:
  std::string store() const { return directory_.file("store"); }
  std::string settings(const std::string& ticker) {
    return directory_.write(ticker + ".ini", settingsText(ticker, "SVC"));
  }

  testing_support::TempDirectory directory_;
};

// Every occurrence of `needle` in `text`.
std::size_t occurrences(const std::string& text, const std::string& needle) {
  std::size_t count = 0;
  for (std::size_t at = text.find(needle); at != std::string::npos; at = text.find(needle, at + 1)) ++count;
  return count;
}

// How often each message id occurs in a store listing (ids begin the lines
// that describe a copy).
std::map<std::string, std::size_t> copiesListed(const std::string& listing) {
  std::map<std::string, std::size_t> copies;
  std::istringstream lines(listing);
  for (std::string line; std::getline(lines, line);) {
    if (line.size() > 4 && line.starts_with("    ") && line[4] >= '0' && line[4] <= '9') {
      ++copies[line.substr(4, line.find(' ', 4) - 4)];
    }
  }
  return copies;
}

// Two senders post a file to the receiver (and `moreRecipients`) while the
// receiver collects and accepts, each over a connection of its own, until the
// service goes away; what was answered as posted and as confirmed is kept.
class Traffic {
 public:
  Traffic(int port, const std::string& senderSettings, const std::string& receiverSettings, const std::string& file,
          const std::vector<std::string>& moreRecipients) {
    for (int i = 0; i < 2; ++i) {
      threads_.emplace_back([=, this] { send(port, senderSettings, file, moreRecipients); });
    }
    threads_.emplace_back([=, this] { receive(port, receiverSettings); });
  }
  ~Traffic() { end(); }

  void waitFor(std::size_t answeredCount) {
    while (true) {
      platform::sleepMilliseconds(20);
      std::lock_guard<std::mutex> lock(mutex_);
      if (answered_.size() >= answeredCount && !confirmed_.empty()) return;
    }
  }
  void end() {
    stop_ = true;
    for (std::thread& thread : threads_) thread.join();
    threads_.clear();
  }
  const std::set<std::string>& answered() const { return answered_; }
  const std::set<std::string>& confirmed() const { return confirmed_; }

 private:
  void send(int port, const std::string& settings, const std::string& file, const std::vector<std::string>& more) {
    WireClient client(port);
    const int context = client.openContext(settings);
    XmlRpcValue answer;
    if (!client.tryCall("DravontURLCtor", args({context, "send", ""}), answer)) return;
    const int url = answer[0].getInt();
    while (!stop_.load()) {
      if (!client.tryCall("DravontAddressCtor", args({context, "RECEIVER", "SVC", "", "", ""}), answer)) return;
      const int address = answer[0].getInt();
      if (!client.tryCall("DravontStreamFileCtor", args({context, file, "rb", ""}), answer)) return;
      const int stream = answer[0].getInt();
      if (!client.tryCall("DravontMessageCtor", args({context, address, ""}), answer)) return;
      const int message = answer[0].getInt();
      for (const std::string& recipient : more) {
        const std::string script = "DravontMessage['" + std::to_string(message) + "'].addRecepient('" + recipient + "')";
        if (!client.tryCall("Execute", args({context, script}), answer)) return;
      }
      if (!client.tryCall("DravontAttachStreamToMessage", args({context, message, stream, 1}), answer)) return;
      if (!client.tryCall("PostMessageTo", args({context, message, url}), answer)) return;
      std::lock_guard<std::mutex> lock(mutex_);
      if (answer[1].getString().empty()) answered_.insert(answer[0].getString());
    }
  }

  void receive(int port, const std::string& settings) {
    WireClient client(port);
    const int context = client.openContext(settings);
    XmlRpcValue answer;
    if (!client.tryCall("DravontURLCtor", args({context, "receive", ""}), answer)) return;
    const int url = answer[0].getInt();
    while (!stop_.load()) {
      if (!client.tryCall("DravontCollect", args({context, url, 1, ""}), answer)) return;
      if (answer[1].getInt() == 0) continue;
      const int message = answer[2].getInt();
      if (!client.tryCall("DravontMessageGet", args({context, message, "messageId"}), answer)) return;
      const std::string id = answer[0].getString();
      if (!client.tryCall("Confirm", args({context, url, message, 0, "", url}), answer)) return;
      std::lock_guard<std::mutex> lock(mutex_);
      if (answer[0].getInt() == 1) confirmed_.insert(id);
      client.tryCall("DravontMessageDtor", args({context, message}), answer);
    }
  }

  std::mutex mutex_;
  std::set<std::string> answered_;
  std::set<std::string> confirmed_;
  std::atomic<bool> stop_{false};
  std::vector<std::thread> threads_;
};

TEST_F(DurabilityTest, EveryAnsweredPostIsInTheStoreExactlyOnceAfterAKill) {
  auto service = std::make_unique<ServiceProcess>(store());
  ASSERT_TRUE(service->running());
  const std::string senderSettings = settings("SENDER");
  const std::string receiverSettings = settings("RECEIVER");
  const std::string file = directory_.write("payload.bin", std::string(20000, 'p'));
  {
    WireClient setup(service->port());
    ASSERT_NE(setup.openContext(receiverSettings), 0);  // makes the receiver known
  }

  Traffic traffic(service->port(), senderSettings, receiverSettings, file, {});
  traffic.waitFor(60);
  service->kill();  // in the middle of posts and confirmations
  traffic.end();
  const std::set<std::string>& answered = traffic.answered();
  const std::set<std::string>& confirmed = traffic.confirmed();

  std::string listing;
  ASSERT_EQ(runServiceCommand({"--store", store(), "list"}, listing), 0);
  for (const std::string& id : answered) EXPECT_EQ(occurrences(listing, id), 1u) << id;

  // Restarted, the service serves the same store: unconfirmed messages come
  // again, confirmed ones are accepted, and nothing comes twice.
  service = std::make_unique<ServiceProcess>(store());
  WireClient client(service->port());
  const int context = client.openContext(receiverSettings);
  const int url = client.number("DravontURLCtor", args({context, "receive", ""}));
  const XmlRpcValue collected = client.call("DravontCollect", args({context, url, 0, ""}));
  std::multiset<std::string> waiting;
  for (int i = 0; i < collected[1].getInt(); ++i) {
    waiting.insert(client.call("DravontMessageGet", args({context, collected[2 + i].getInt(), "messageId"}))[0].getString());
  }
  for (const std::string& id : answered) {
    const int status = client.call("GetMessageStatus", args({context, id}))[0].getInt();
    if (confirmed.count(id) != 0) {
      EXPECT_EQ(status, 2) << id;
      EXPECT_EQ(waiting.count(id), 0u) << id;
    } else {
      EXPECT_EQ(waiting.count(id) + (status == 2 ? 1 : 0), 1u) << id;  // waiting, or confirmed before the kill
    }
  }
  for (const std::string& id : waiting) EXPECT_EQ(waiting.count(id), 1u) << id;
}

// A post to two recipients killed at any moment is in both boxes or in none:
// a client that retries an unanswered post gives nobody a second copy.
TEST_F(DurabilityTest, APostToTwoRecipientsIsInBothOrNeitherAfterAKill) {
  const std::string senderSettings = settings("SENDER");
  const std::string receiverSettings = settings("RECEIVER");
  const std::string secondSettings = settings("SECOND");
  const std::string file = directory_.write("payload.bin", std::string(20000, 'p'));
  constexpr int kKills = 5;
  std::set<std::string> answered;
  for (int kill = 0; kill < kKills; ++kill) {
    ServiceProcess service(store());
    ASSERT_TRUE(service.running());
    {
      WireClient setup(service.port());
      ASSERT_NE(setup.openContext(receiverSettings), 0);  // makes both recipients known
      ASSERT_NE(setup.openContext(secondSettings), 0);
    }
    Traffic traffic(service.port(), senderSettings, receiverSettings, file, {addressOf("SECOND", "SVC")});
    traffic.waitFor(30);
    service.kill();
    traffic.end();
    answered.insert(traffic.answered().begin(), traffic.answered().end());

    // Listed before a service opens the store again, and after one did.
    std::string listing;
    ASSERT_EQ(runServiceCommand({"--store", store(), "list"}, listing), 0);
    ServiceProcess restarted(store());
    ASSERT_TRUE(restarted.running());
    std::string reopened;
    ASSERT_EQ(runServiceCommand({"--store", store(), "list"}, reopened), 0);
    for (const std::string& text : {listing, reopened}) {
      const std::map<std::string, std::size_t> copies = copiesListed(text);
      for (const std::string& id : answered) EXPECT_EQ(copies.count(id) ? copies.at(id) : 0u, 2u) << id;
      for (const auto& [id, count] : copies) EXPECT_EQ(count, 2u) << id;
    }
  }
  std::printf("%d kills, %zu answered posts to two recipients checked\n", kKills, answered.size());
}

}  // namespace
