// Runs pieces of the gateway's core in this process against a real
// dravont-service: the INI file and log are opened through the host
// library as the gateway opens them, and the gateway's calls are made on a
// fresh thread, whose library connection goes to the setup's service.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <thread>

#include "dravont/dravontdll.h"
#include "qnsys/qnsys.h"
#include "support/gateway_setup.h"
#include "trasvik/session.h"

namespace gateway_testing {

class GatewayCoreTest : public testing::Test {
 protected:
  // `notifications`: whether the service's settings name an administrator.
  explicit GatewayCoreTest(bool notifications = true) : setup(notifications) {}

  // Writes and opens the INI file and its log.
  void openIni() {
    ASSERT_EQ(QnIniOpen(setup.writeIni().c_str()), 0u);
    ASSERT_EQ(QnLogOpen(0), 0u);
  }

  // Runs `body` on a new thread connected to the setup's service (a
  // thread's connection is made on its first call, to the port the library
  // holds then).
  void onGatewayThread(const std::function<void()>& body) {
    Quillex::RpcPort = setup.port();
    std::thread thread(body);
    thread.join();
  }

  // openIni, then opens the service context on a gateway thread and runs
  // `body` there.
  void inSession(const std::function<void()>& body) {
    openIni();
    onGatewayThread([&] {
      ASSERT_NE(trasvik::openServiceContext(), nullptr);
      body();
      trasvik::releaseServiceContext();
    });
  }

  void TearDown() override {
    QnLogClose();
    QnIniClose();
  }

  GatewaySetup setup;
};

}  // namespace gateway_testing
