#include <gmock/gmock.h>

#include <regex>

#include "dravontdll/export_fixture.h"
#include "platform/path.h"
#include "platform/thread.h"

namespace {

using namespace Quillex;
using testing::HasSubstr;
using testing_support::values;

class ContextExportTest : public testing_support::ExportTest {
 protected:
  void scriptWorkingService(const char* version = "21.3.0.117") {
    service.answer("system.version", values({version}));
    service.answer("InitContext", values({7, "", 0}));
    service.answer("ReportModules", values({""}));
  }
};

TEST_F(ContextExportTest, OpensAContextWithTheCanonicalPathAndReportsModules) {
  scriptWorkingService();
  onFreshThread([&] {
    int status = -1;
    EXPECT_EQ(InitContext("conf/../trasvik.ini", testing_support::countingMalloc, &status), context);
    EXPECT_EQ(status, 0);
  });
  EXPECT_EQ(onlyCall("InitContext")[0].getString(), platform::joinPath(platform::currentDirectory().value(), "trasvik.ini"));

  XmlRpcValue report = onlyCall("ReportModules");
  EXPECT_EQ(report[0].getInt(), 7);
  EXPECT_EQ(report[1].getString(), platform::executablePath().value());
  EXPECT_EQ(report[2].getString(), "0.0.0.0");
  EXPECT_THAT(report[3].getString(), HasSubstr("dravontdll_tests"));
  EXPECT_EQ(report[4].getString(), platform::currentDirectory().value());
  const int modules = report[5].getInt();
  EXPECT_GT(modules, 0);
  EXPECT_EQ(report.size(), 7 + 2 * modules);
  EXPECT_EQ(report[6].getInt(), platform::currentProcessId());
  EXPECT_TRUE(std::regex_match(report[8].getString(), std::regex("[0-9]+\\.[0-9]+\\.[0-9]+\\.[0-9]+")))
      << report[8].getString();
  // The calls come in this order, the version first.
  const auto calls = service.calls();
  ASSERT_EQ(calls.size(), 3u);
  EXPECT_EQ(calls[0].method, "system.version");
  EXPECT_FALSE(calls[0].params.valid());
}

TEST_F(ContextExportTest, VersionGate) {
  struct Case {
    const char* version;
    bool accepted;
    const char* error;
  };
  for (const Case& c : {Case{"21.0.0.0", true, nullptr},
                        Case{"20.99.99.99", false, "Incompatible service version 20.99.99.99"},
                        Case{"version 22.1.0.3", true, nullptr},
                        Case{"21.1.2", false, "Failed to parse service version info"},
                        Case{"", false, "Failed to parse service version info"}}) {
    scriptWorkingService(c.version);
    onFreshThread([&] {
      DravontContext_s* opened = InitContext("/etc/trasvik.ini", testing_support::countingMalloc, nullptr);
      EXPECT_EQ(opened != nullptr, c.accepted) << c.version;
      if (c.error != nullptr) {
        EXPECT_STREQ(GetLastDravontError(), c.error);
      }
    });
  }
  service.fault("system.version");
  onFreshThread([&] {
    EXPECT_EQ(InitContext("/etc/trasvik.ini", testing_support::countingMalloc, nullptr), nullptr);
    EXPECT_STREQ(GetLastDravontError(), "Failed to get service version");
  });
}

TEST_F(ContextExportTest, RefusedContextKeepsStatusTextAndStillReports) {
  scriptWorkingService();
  service.answer("InitContext", values({0, "Unknown participant", 5}));
  onFreshThread([&] {
    int status = 0;
    EXPECT_EQ(InitContext("/etc/trasvik.ini", testing_support::countingMalloc, &status), nullptr);
    EXPECT_EQ(status, 5);
    EXPECT_STREQ(GetLastDravontError(), "Unknown participant");
  });
  EXPECT_EQ(onlyCall("ReportModules")[0].getInt(), 0);
}

TEST_F(ContextExportTest, ValidationMakesNoCall) {
  scriptWorkingService();
  onFreshThread([&] {
    EXPECT_EQ(InitContext("/etc/trasvik.ini", nullptr, nullptr), nullptr);
    EXPECT_STREQ(GetLastDravontError(), "Invalid callback function pointer");
    int a, b, c;
    EXPECT_EQ(GetServiceVersion(&a, &b, &c, nullptr), 1);
    EXPECT_STREQ(GetLastDravontError(), "Invalid version number pointers");
    EXPECT_EQ(GetCryptoProperty(context, 1, 2, "name", nullptr), 1);
    EXPECT_STREQ(GetLastDravontError(), "Invalid return value pointer");
  });
  EXPECT_TRUE(service.calls().empty());
}

TEST_F(ContextExportTest, ServiceVersionNeedsNoContext) {
  service.answer("system.version", values({"21.3.0.117"}));
  onFreshThread([&] {
    int v[4] = {};
    EXPECT_EQ(GetServiceVersion(&v[0], &v[1], &v[2], &v[3]), 0);
    EXPECT_EQ(v[0], 21);
    EXPECT_EQ(v[1], 3);
    EXPECT_EQ(v[2], 0);
    EXPECT_EQ(v[3], 117);
  }, nullptr);
}

TEST_F(ContextExportTest, CryptoResults) {
  service.answer("GetCryptoNum", values({4, ""}));
  service.answer("SetCryptoDefault", values({"No such provider"}));
  service.answer("PrepareCrypto", values({""}));
  service.answer("GetCryptoProperty", values({"", ""}));
  onFreshThread([&] {
    EXPECT_EQ(GetCryptoNum(context, 2), 4);
    EXPECT_EQ(SetCryptoDefault(context, 2, 1), 2);
    EXPECT_STREQ(GetLastDravontError(), "No such provider");
    EXPECT_EQ(PrepareCrypto(context, 2, 1), 0);
    char* value = reinterpret_cast<char*>(1);
    EXPECT_EQ(GetCryptoProperty(context, 2, 1, nullptr, &value), 0);
    EXPECT_EQ(value, nullptr);
  });
  EXPECT_EQ(onlyCall("GetCryptoProperty")[3].getString(), "");
  EXPECT_EQ(onlyCall("SetCryptoDefault")[2].getInt(), 1);

  service.answer("GetCryptoNum", values({4, "Crypto not configured"}));
  service.fault("PrepareCrypto");
  onFreshThread([&] {
    EXPECT_EQ(GetCryptoNum(context, 2), -2);
    EXPECT_EQ(PrepareCrypto(context, 2, 1), 3);
    EXPECT_STREQ(GetLastDravontError(), "RPC call PrepareCrypto failed");
    service.fault("GetCryptoNum");
    EXPECT_EQ(GetCryptoNum(context, 2), -3);
    EXPECT_STREQ(GetLastDravontError(), "RPC call GetCryptoNum failed");
  });
}

TEST_F(ContextExportTest, FreeContextReportsOnlyServiceTexts) {
  service.answer("FreeContext", XmlRpcValue("Unknown context"));
  onFreshThread([&] {
    FreeContext(context);
    EXPECT_STREQ(GetLastDravontError(), "Unknown context");
    service.fault("FreeContext");
    FreeContext(context);
    EXPECT_STREQ(GetLastDravontError(), "Unknown context");  // a failed call is not reported
  });
}

}  // namespace
