// Scripts at the edges of what the service can run and answer: scripts that
// do not end meet the time budget where the engine lets the service look at
// the clock, and a stop of the service that no script can hold up; a value
// XML cannot carry becomes an error text.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <thread>

#include "platform/clock.h"
#include "support/service_fixture.h"

namespace {

using namespace service_testing;
using testing::HasSubstr;

class ScriptLimitsTest : public testing::Test {
 protected:
  std::string store() const { return directory_.file("store"); }
  std::string settings(const std::string& ticker) {
    return directory_.write(ticker + ".ini", settingsText(ticker, "SVC"));
  }

  testing_support::TempDirectory directory_;
};

TEST_F(ScriptLimitsTest, EndlessScriptsThatAllocateOrCallTheServiceFailAtTheirTimeBudget) {
  ServiceProcess service(store(), {"--script-time-ms", "300"});
  ASSERT_TRUE(service.running());
  WireClient client(service.port());
  const int context = client.openContext(settings("LOOPER"));
  client.execute(context, "var survivor = 'yes'");
  for (const char* script : {"for (;;) { var o = {n: 1}; }", "for (;;) { readParam('nothing'); }"}) {
    const auto start = std::chrono::steady_clock::now();
    std::string error;
    client.execute(context, script, &error);
    EXPECT_EQ(error, "Script exceeded its time budget of 300 ms") << script;
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5)) << script;
  }
  // The context goes on, with what earlier scripts left.
  EXPECT_EQ(client.execute(context, "survivor + (1 + 1)"), "yes2");
}

TEST_F(ScriptLimitsTest, TerminationEndsTheServiceWhileAScriptLoopsWithoutCheckingAnything) {
  auto service = std::make_unique<ServiceProcess>(store());
  ASSERT_TRUE(service->running());
  const std::string looperSettings = settings("LOOPER");
  int context = 0;
  {
    WireClient client(service->port());
    context = client.openContext(looperSettings);
    EXPECT_EQ(client.call("SaveDravontParam", args({context, "acknowledged", "before the stop"}))[0].getString(), "");
  }
  std::thread looping([port = service->port(), context] {
    WireClient client(port);
    XmlRpcValue answer;
    client.tryCall("Execute", args({context, "for (;;) {}"}), answer);  // never answered
  });
  std::thread waiting([port = service->port(), context] {
    WireClient client(port);
    XmlRpcValue answer;
    platform::sleepMilliseconds(100);
    client.tryCall("Execute", args({context, "1"}), answer);  // waits for the context
  });
  platform::sleepMilliseconds(300);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(service->stop(), 0);
  const auto took = std::chrono::steady_clock::now() - start;
  EXPECT_LT(took, std::chrono::seconds(3));
  std::printf("SIGTERM with a script running took %lld ms\n",
              static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(took).count()));
  looping.join();
  waiting.join();

  service = std::make_unique<ServiceProcess>(store());
  WireClient client(service->port());
  context = client.openContext(looperSettings);
  EXPECT_EQ(client.call("ReadDravontParam", args({context, "acknowledged"}))[0].getString(), "before the stop");
}

TEST_F(ScriptLimitsTest, AValueWithANulCharacterIsAnErrorTextEveryClientCanRead) {
  ServiceProcess service(store());
  ASSERT_TRUE(service.running());
  WireClient client(service.port());
  const int context = client.openContext(settings("ZERO"));
  std::string error;
  EXPECT_EQ(client.execute(context, "'before\\u0000after'", &error), "");
  EXPECT_EQ(error, "the script's value holds a NUL character");
  // Whatever else a script leaves with a NUL character is answered alike.
  const std::string message = client.execute(context, "new DravontMessage({subject: 'a\\u0000b'}).handle");
  const XmlRpcValue subject = client.call("DravontMessageGet", args({context, std::atoi(message.c_str()), "subject"}));
  EXPECT_EQ(subject[1].getString(), "the answer holds a NUL character, which XML cannot carry");
  EXPECT_EQ(client.execute(context, "'before after'"), "before after");
}

}  // namespace
