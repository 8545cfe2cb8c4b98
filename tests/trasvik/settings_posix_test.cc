// The settings' defaults that name the system's separator.
#include "gateway_core_fixture.h"
#include "trasvik/settings.h"

namespace gateway_testing {
namespace {

class SettingsDefaultsTest : public GatewayCoreTest {};

TEST_F(SettingsDefaultsTest, InformationFilesGoBesideTheAttachment) {
  inSession([] { ASSERT_TRUE(trasvik::init()); });
  EXPECT_EQ(trasvik::settings().recvDNprefix, "./");
}

}  // namespace
}  // namespace gateway_testing
