#include <typeinfo>

#include "file_rule.h"
#include "gateway_core_fixture.h"
#include "msgrule/msg_rule.h"
#include "rule/rule.h"
#include "trasvik/settings.h"
#include "ua_rule.h"

namespace gateway_testing {
namespace {

using trasvik::createRule;
using trasvik::Rule;

class RuleTest : public GatewayCoreTest {
 protected:
  void SetUp() override {
    setup.set("r1", "in", setup.makeDirectory("in"));
    setup.set("r1", "out", setup.makeDirectory("out"));
    setup.set("r1", "address", "EMAIL@PEER.SVC");
  }

  // Creates the rule of section r1 after init(); nullptr when it fails.
  std::unique_ptr<Rule> makeRule(bool isMain = false) {
    std::unique_ptr<Rule> rule;
    inSession([&] {
      ASSERT_TRUE(trasvik::init());
      rule = createRule("r1", isMain);
    });
    return rule;
  }

  bool notified(const std::string& text) {
    return setup.listStore().find("text \"Trasvik can't continue - " + text) != std::string::npos;
  }
};

TEST_F(RuleTest, FactoryMakesTheKindTheTypeNames) {
  const std::vector<std::pair<const char*, const std::type_info*>> kinds = {
      {nullptr, &typeid(trasvik::UaRule)},    {"bbs", &typeid(trasvik::UaRule)},
      {"file", &typeid(trasvik::FileRule)},   {"Msg", &typeid(trasvik::MsgRule)},
      {"RTS", &typeid(trasvik::MsgRule)}};
  for (const auto& [type, kind] : kinds) {
    if (type != nullptr) setup.set("r1", "type", type);
    const std::unique_ptr<Rule> rule = makeRule();
    ASSERT_NE(rule, nullptr) << type;
    const Rule& made = *rule;
    EXPECT_EQ(typeid(made), *kind) << type;
  }
  setup.set("r1", "type", "XML");
  EXPECT_EQ(makeRule(), nullptr);
  EXPECT_EQ(setup.countRecords("FATAL", "Wrong rule type \"XML\" in section [r1]"), 1);
  EXPECT_TRUE(notified("Wrong rule type \\\"XML\\\" in section [r1]"));
}

TEST_F(RuleTest, ReadsAddressesCoretypeAndLevels) {
  setup.set("r1", "address", "EMAIL@A.SVC,EMAIL@B.SVC;EMAIL@C.SVC");
  setup.set("r1", "coretype", "0x2A0");
  setup.set("r1", "compatibility_option", "4");
  setup.set("r1", "firm", "7");
  setup.set("r1", "protectionlevel", "detachedsigned");
  const std::unique_ptr<Rule> rule = makeRule();
  ASSERT_NE(rule, nullptr);
  std::vector<std::string> tickers;
  for (const auto& record : rule->addresses) tickers.push_back(record.ticker);
  EXPECT_EQ(tickers, (std::vector<std::string>{"C", "B", "A"}));
  EXPECT_EQ(std::distance(rule->folders.begin(), rule->folders.end()), 3);
  EXPECT_EQ(rule->addressText, "EMAIL@A.SVC; EMAIL@B.SVC; EMAIL@C.SVC");
  EXPECT_EQ(rule->senderFilter, "");
  EXPECT_EQ(rule->coretype, 0x2A0);
  EXPECT_EQ(rule->coretypeText, "02A0");
  EXPECT_TRUE(rule->compatibilityFlag0);
  EXPECT_FALSE(rule->compatibilityFlag1);
  EXPECT_EQ(setup.countRecords("WARNING", "Wrong [r1]:compatibility_option, forcing to 1"), 1);
  EXPECT_EQ(rule->firm, 2);
  EXPECT_EQ(rule->protectionLevel, 5);
  EXPECT_EQ(rule->error, trasvik::settings().error);
}

TEST_F(RuleTest, OneAddressIsTheSenderFilterAndAnAddressFileIsReadLineByLine) {
  setup.set("r1", "address", "EMAIL@ONE.SVC");
  std::unique_ptr<Rule> rule = makeRule();
  ASSERT_NE(rule, nullptr);
  EXPECT_EQ(rule->senderFilter, "EMAIL@ONE.SVC");
  EXPECT_EQ(rule->coretypeText, "1200");

  setup.set("r1", "addrfile", setup.directory().write("addresses.txt", "  EMAIL@X.SVC \r\n\n\tEMAIL@Y.SVC\t\n"));
  rule = makeRule();
  ASSERT_NE(rule, nullptr);
  EXPECT_EQ(rule->addressText, "EMAIL@X.SVC; EMAIL@Y.SVC");
  EXPECT_EQ(rule->senderFilter, "");
}

struct IniFailure {
  const char* key;
  const char* value;
  const char* record;
};

class RuleFailureTest : public RuleTest, public testing::WithParamInterface<IniFailure> {};

TEST_P(RuleFailureTest, IsRecordedAndNotified) {
  const IniFailure& failure = GetParam();
  setup.set("r1", failure.key, failure.value);
  EXPECT_EQ(makeRule(failure.key == std::string("in") ? true : false), nullptr);
  EXPECT_EQ(setup.countRecords("FATAL", failure.record), 1);
  EXPECT_NE(setup.listStore().find("text \"Trasvik can't continue - "), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(
    Keys, RuleFailureTest,
    testing::Values(IniFailure{"address", "EMAIL@A.SVC, EMAIL@B.SVC", "Wrong address \" EMAIL@B.SVC\" in [r1]:address"},
                    IniFailure{"address", "EMAIL@A.SVC;", "Wrong address \"\" in [r1]:address"},
                    IniFailure{"address", "A.SVC", "Rule:ini(), Wrong address ([r1]:address \"A.SVC\")"},
                    IniFailure{"coretype", "12G", "Rule:ini(), Wrong coretype ([r1]:coretype \"12G\")"},
                    IniFailure{"in", "", "Rule:ini(), Main rule must have input directory ([r1]:in)"},
                    IniFailure{"addrfile", "/nonexistent/addresses", "Rule:ini(), Can't open file \"/nonexistent/addresses\")"}));

}  // namespace
}  // namespace gateway_testing
