#include <stdexcept>

#include "gateway_core_fixture.h"
#include "trasvik/library_text.h"
#include "trasvik/script_bridge.h"

namespace gateway_testing {
namespace {

using trasvik::ContextError;
using trasvik::LibraryText;

class SessionTest : public GatewayCoreTest {};

TEST_F(SessionTest, RefusedSettingsAreRetriedThenGivenUp) {
  setup.set("trasvik", "srvcini", setup.makeDirectory("not-a-file"));
  openIni();
  onGatewayThread([] { EXPECT_EQ(trasvik::openServiceContext(), nullptr); });
  int errors = 0;
  int fatals = 0;
  for (const std::string& record : setup.logRecords()) {
    errors += record.find(" ERROR Brivane: Can't init context, ") != std::string::npos;
    fatals += record.find(" FATAL Brivane: Can't init context, ") != std::string::npos;
  }
  EXPECT_EQ(errors, 1);
  EXPECT_EQ(fatals, 1);
}

// A status named in stoperrors ends the start at once, through the way out
// of every start failure (the gateway then ends with 13), not by ending the
// process there: a Windows service must report its own stop.
TEST_F(SessionTest, StopErrorEndsTheStartAtOnceWithAFatalRecord) {
  // The service answers a settings file it cannot read with status 1.
  setup.set("trasvik", "srvcini", setup.makeDirectory("not-a-file"));
  setup.set("trasvik", "stoperrors", "12 0x1F 1");
  setup.set("trasvik", "reconnect_timeout", "30");  // a retry would take minutes
  openIni();
  onGatewayThread([] { EXPECT_EQ(trasvik::openServiceContext(), nullptr); });
  EXPECT_EQ(setup.countRecords("FATAL", "Can't init context, the service refused it with status 1 "
                                        "([trasvik]:stoperrors)"),
            1);
}

TEST_F(SessionTest, StopErrorsThatAreNoNumbersAreNamedAndIgnored) {
  setup.set("trasvik", "stoperrors", "12 abc 99999999999");
  openIni();
  onGatewayThread([] { EXPECT_NE(trasvik::openServiceContext(), nullptr); });
  EXPECT_EQ(setup.countRecords("WARNING", "Wrong [trasvik]:stoperrors value \"abc\", ignored"), 1);
  EXPECT_EQ(setup.countRecords("WARNING", "Wrong [trasvik]:stoperrors value \"99999999999\", ignored"), 1);
}

TEST_F(SessionTest, AMissingSettingsFileIsFatalAtOnce) {
  const std::string missing = setup.directory().file("missing.ini");
  setup.set("trasvik", "srvcini", missing);
  setup.set("trasvik", "reconnect_timeout", "30");  // a retry would take minutes
  openIni();
  onGatewayThread([] { EXPECT_EQ(trasvik::openServiceContext(), nullptr); });
  EXPECT_EQ(setup.countRecords("FATAL", "Service ini file \"" + missing + "\" doesn't exist ([trasvik]:srvcini)"), 1);
}

TEST_F(SessionTest, LostSessionTextsBecomeContextErrors) {
  inSession([this] {
    for (const auto& [text, reason] : std::vector<std::pair<const char*, int>>{
             {"Thread do not own context pointer provided", 0}, {"RPC call execute failed", 1}}) {
      setup.inject("Execute", 1, "error", text);
      LibraryText result;
      ASSERT_FALSE(trasvik::runScript("1", result));
      try {
        trasvik::lastError();
        ADD_FAILURE() << "no ContextError for " << text;
      } catch (const ContextError& error) {
        EXPECT_EQ(error.reason(), reason);
      }
    }
    setup.inject("Execute", 1, "error", "RPC call failed");  // 15 characters: an ordinary text
    LibraryText result;
    ASSERT_FALSE(trasvik::runScript("1", result));
    EXPECT_EQ(trasvik::lastError(), "RPC call failed");
  });
}

TEST_F(SessionTest, EscapedValuesReachTheServiceAsTheyAre) {
  inSession([] {
    for (const std::string value : {"plain", "C:\\dir\\it's", "say \"hi\"", "two\nlines\r\n", "\";throw 1;//",
                                    "line\xE2\x80\xA8sep\xE2\x80\xA9para", "caf\xC3\xA9"}) {
      for (const char* quote : {"'", "\""}) {
        LibraryText result;
        const std::string script = quote + trasvik::escapeScriptText(value) + quote;
        ASSERT_TRUE(trasvik::runScript(script, result)) << trasvik::lastError();
        EXPECT_STREQ(result.c_str(), value.c_str());
      }
    }
  });
}

TEST_F(SessionTest, SectionLiteralHoldsStringsAndGetters) {
  setup.set("params", "url", "abc");
  setup.set("params", "quoted", "it's \"so\" \\ here");
  setup.set("params", "computed", "function(){ return 6 * 7; }");
  setup.set("params", "spaced", " function () { return 'no'; }");
  inSession([] {
    const std::string literal = trasvik::sectionObjectScript("params");
    EXPECT_TRUE(literal.starts_with("(function(){var o={};o[\"url\"]=\"abc\";"));
    LibraryText result;
    ASSERT_TRUE(trasvik::runScript(
        "(function(){var o=" + literal + "return [o.url,o.quoted,o.computed,typeof o.spaced].join('|');})()", result))
        << trasvik::lastError();
    EXPECT_STREQ(result.c_str(), "abc|it's \"so\" \\ here|42|string");
  });
}

TEST_F(SessionTest, AddressesAreParsedByTheService) {
  inSession([] {
    std::string ticker;
    std::string service;
    EXPECT_TRUE(trasvik::parseAddress("EMAIL@BANK7.CLEAR", ticker, service));
    EXPECT_EQ(ticker, "BANK7");
    EXPECT_EQ(service, "CLEAR");
    for (const char* refused : {"EMAIL@BANK7", "EMAIL@BA-NK.CLEAR", "EMAIL@\"x\".y", "EMAIL@ABCDEFGHIJKLMNOPQRST.UVWXYZ12",
                                "EMAIL@A.B\\\"+(function(){throw 1})()+\""}) {
      EXPECT_FALSE(trasvik::parseAddress(refused, ticker, service)) << refused;
    }
  });
}

}  // namespace
}  // namespace gateway_testing
