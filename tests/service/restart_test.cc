// Parameters and context numbers survive a SIGKILL of an idle service.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "support/service_fixture.h"

namespace {

using namespace service_testing;

class RestartTest : public testing::Test {
 protected:
  std::string store() const { return directory_.file("store"); }
  std::string settings(const std::string& ticker) {
    return directory_.write(ticker + ".ini", settingsText(ticker, "SVC"));
  }

  testing_support::TempDirectory directory_;
};

TEST_F(RestartTest, ParametersAndContextNumbersOutliveTheProcess) {
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
