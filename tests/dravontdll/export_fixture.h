// A fake service and a fresh thread per test: a new thread gets a new
// XML-RPC client pointed at the fake service, its own last error and no
// allocation callback until the test gives it one.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <functional>
#include <thread>

#include "dravont/dravontdll.h"
#include "dravontdll/fake_service.h"
#include "dravontdll/library_state.h"

namespace testing_support {

inline std::atomic<int> allocationCount{0};
inline std::atomic<unsigned> lastAllocationSize{0};

inline void* countingMalloc(unsigned int size) {
  ++allocationCount;
  lastAllocationSize = size;
  return std::malloc(size == 0 ? 1 : size);
}

inline void* nullAllocate(unsigned int) { return nullptr; }

class ExportTest : public testing::Test {
 protected:
  void SetUp() override { Quillex::RpcPort = service.port(); }

  // Runs `body` on a new thread that has `allocate` as its callback.
  void onFreshThread(const std::function<void()>& body, void* (*allocate)(unsigned int) = countingMalloc) {
    std::thread([&] {
      if (allocate != nullptr) Quillex::setThreadAllocateFunction(allocate);
      body();
    }).join();
  }

  // The parameters of the only call of `method`.
  Quillex::XmlRpcValue onlyCall(const std::string& method) {
    const auto calls = service.calls(method);
    EXPECT_EQ(calls.size(), 1u) << method;
    return calls.empty() ? Quillex::XmlRpcValue() : calls[0].params;
  }

  FakeService service;
  Quillex::DravontContext_s* const context = reinterpret_cast<Quillex::DravontContext_s*>(7);
};

}  // namespace testing_support
