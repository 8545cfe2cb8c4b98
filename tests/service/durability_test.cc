// What a client was told survives a SIGKILL of the service at any moment.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <mutex>
#include <set>
#include <thread>

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

  std::mutex mutex;
  std::set<std::string> answered;
  std::set<std::string> confirmed;
  std::atomic<bool> stop{false};
  const auto sender = [&] {
    WireClient client(service->port());
    const int context = client.openContext(senderSettings);
    XmlRpcValue answer;
    if (!client.tryCall("DravontURLCtor", args({context, "send", ""}), answer)) return;
    const int url = answer[0].getInt();
    while (!stop.load()) {
      if (!client.tryCall("DravontAddressCtor", args({context, "RECEIVER", "SVC", "", "", ""}), answer)) return;
      const int address = answer[0].getInt();
      if (!client.tryCall("DravontStreamFileCtor", args({context, file, "rb", ""}), answer)) return;
      const int stream = answer[0].getInt();
      if (!client.tryCall("DravontMessageCtor", args({context, address, ""}), answer)) return;
      const int message = answer[0].getInt();
      if (!client.tryCall("DravontAttachStreamToMessage", args({context, message, stream, 1}), answer)) return;
      if (!client.tryCall("PostMessageTo", args({context, message, url}), answer)) return;
      std::lock_guard<std::mutex> lock(mutex);
      if (answer[1].getString().empty()) answered.insert(answer[0].getString());
    }
  };
  const auto receiver = [&] {
    WireClient client(service->port());
    const int context = client.openContext(receiverSettings);
    XmlRpcValue answer;
    if (!client.tryCall("DravontURLCtor", args({context, "receive", ""}), answer)) return;
    const int url = answer[0].getInt();
    while (!stop.load()) {
      if (!client.tryCall("DravontCollect", args({context, url, 1, ""}), answer)) return;
      if (answer[1].getInt() == 0) continue;
      const int message = answer[2].getInt();
      if (!client.tryCall("DravontMessageGet", args({context, message, "messageId"}), answer)) return;
      const std::string id = answer[0].getString();
      if (!client.tryCall("Confirm", args({context, url, message, 0, "", url}), answer)) return;
      std::lock_guard<std::mutex> lock(mutex);
      if (answer[0].getInt() == 1) confirmed.insert(id);
      client.tryCall("DravontMessageDtor", args({context, message}), answer);
    }
  };
  std::thread senders[] = {std::thread(sender), std::thread(sender)};
  std::thread confirming(receiver);
  while (true) {
    platform::sleepMilliseconds(20);
    std::lock_guard<std::mutex> lock(mutex);
    if (answered.size() >= 60 && !confirmed.empty()) break;
  }
  service->kill();  // in the middle of posts and confirmations
  stop = true;
  for (std::thread& thread : senders) thread.join();
  confirming.join();

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

TEST_F(DurabilityTest, ParametersAndContextNumbersOutliveTheProcess) {
  int before = 0;
  {
    ServiceProcess service(store());
    WireClient client(service.port());
    before = client.openContext(settings("KEEPER"));
    EXPECT_EQ(client.execute(before, "saveParam(\"infilenum /gw.ini\",\"00041\");"), "");
    EXPECT_EQ(client.call("SaveDravontParam", args({before, "odd key=\n[x]", "two\nlines "}))[0].getString(), "");
    service.kill();
  }
  ServiceProcess service(store());
  WireClient client(service.port());
  EXPECT_EQ(client.call("Execute", args({before, "1"}))[1].getString(), "Thread do not own context pointer provided");
  const int after = client.openContext(settings("KEEPER"));
  EXPECT_NE(after, before);
  EXPECT_EQ(client.execute(after, "readParam(\"infilenum /gw.ini\");"), "00041");
  EXPECT_EQ(client.call("ReadDravontParam", args({after, "odd key=\n[x]"}))[0].getString(), "two\nlines ");
  EXPECT_EQ(client.call("ReadDravontParam", args({after, "ODD KEY=\n[x]"}))[0].getString(), "");  // keys keep their case
  EXPECT_EQ(service.stop(), 0);
}

}  // namespace
