// loglevel=debug: the records an administrator traces a problem with (the
// rules a message went through, sizes and durations); at info none of them.
#include <gtest/gtest.h>

#include <string>

#include "support/gateway_setup.h"

namespace gateway_testing {
namespace {

TEST(DebugLogTest, DebugRecordsTellWhichRuleTookEachMessageWhatWasSavedAndPostedAndInfoLeavesThemOut) {
  for (const char* level : {"debug", "info"}) {
    GatewaySetup setup;
    setup.useMainRule("FILE");
    setup.set("qnsys", "loglevel", level);
    setup.set("rules", "rule1", "other");
    setup.set("other", "type", "FILE");
    setup.set("other", "in", setup.makeDirectory("other"));
    setup.set("other", "coretype", "0999");
    setup.set("main", "out", setup.makeDirectory("out"));
    setup.set("main", "address", addressOf(kPeerTicker));
    setup.directory().write("out/report.txt", "1234567");
    const std::string outgoing = setup.makeDirectory("out") + "report.txt";  // as the gateway writes it
    setup.directory().write("out/.hidden", "12");
    const std::string id = setup.deliver(message("hello", {{"a.txt", "12345"}, {"b.txt", "678"}}));
    std::string output;
    ASSERT_EQ(setup.runGateway(&output), 0) << output;

    const bool debug = std::string(level) == "debug";
    EXPECT_EQ(setup.countRecordsStartingWith("Collected 1 message(s) in "), debug ? 1 : 0) << level;
    EXPECT_EQ(setup.countRecords("DEBUG", "Msg \"" + id + "\": 2 attachment(s), 8 bytes"), debug ? 1 : 0);
    EXPECT_EQ(setup.countRecords("DEBUG", "Msg \"" + id + "\" is not for rule [other]: its addresses, subject or "
                                          "type differ"),
              debug ? 1 : 0);
    EXPECT_EQ(setup.countRecordsStartingWith("Msg \"" + id + "\" offered to rule [main]: taken after "), debug ? 1 : 0);
    EXPECT_EQ(setup.countRecordsStartingWith("Rule [main]: attachment 2 of msg \"" + id + "\" saved for \"" +
                                             setup.makeDirectory("in") + "b.txt\", 3 bytes in "),
              debug ? 1 : 0);
    const std::string out = setup.makeDirectory("out");
    EXPECT_EQ(setup.countRecords("DEBUG", "Scan of \"" + out + "\": \"report.txt\" taken, 7 bytes"), debug ? 1 : 0);
    if (!testing_support::kWindows) {  // a hidden file there is one marked so, not one named so
      EXPECT_EQ(setup.countRecords("DEBUG", "Scan of \"" + out + "\": \".hidden\" skipped, 2 bytes: read-only, hidden or "
                                            "system"),
                debug ? 1 : 0);
    }
    EXPECT_EQ(setup.countRecordsStartingWith("Rule [main]: \"" + outgoing + "\" posted to the address, 7 bytes in "),
              debug ? 1 : 0);
  }
}

}  // namespace
}  // namespace gateway_testing
