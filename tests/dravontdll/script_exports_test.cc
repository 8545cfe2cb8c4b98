#include <thread>

#include "dravontdll/export_fixture.h"

namespace {

using namespace Quillex;
using testing_support::values;

class ScriptExportTest : public testing_support::ExportTest {};

TEST_F(ScriptExportTest, ExecuteHandsBackTheResultBeforeTheErrorText) {
  service.answer("Execute", values({"partial", "ReferenceError: x is not defined"}));
  onFreshThread([&] {
    char* result = nullptr;
    EXPECT_EQ(Execute(context, "x.y", &result), 2);
    EXPECT_STREQ(result, "partial");
    EXPECT_STREQ(GetLastDravontError(), "ReferenceError: x is not defined");
    std::free(result);
    const int before = testing_support::allocationCount.load();
    EXPECT_EQ(Execute(nullptr, nullptr, nullptr), 2);  // the context is not checked
    EXPECT_EQ(testing_support::allocationCount.load(), before);
  });
  const auto calls = service.calls("Execute");
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[0].params[1].getString(), "x.y");
  EXPECT_EQ(calls[1].params[0].getInt(), 0);
  EXPECT_EQ(calls[1].params[1].getString(), "");
}

TEST_F(ScriptExportTest, ParametersValidateInOrderAndUseTheirOwnFailureTexts) {
  service.fault("ReadDravontParam");
  service.fault("SaveDravontParam");
  onFreshThread([&] {
    char* value = reinterpret_cast<char*>(1);
    long long number = 5;
    EXPECT_EQ(ReadDravontParameter(context, "", &value, &number), 1);
    EXPECT_STREQ(GetLastDravontError(), "Invalid parameter name");
    EXPECT_EQ(number, 0);
    EXPECT_EQ(value, nullptr);
    EXPECT_EQ(ReadDravontParameter(nullptr, "infilenum", &value, &number), 1);
    EXPECT_STREQ(GetLastDravontError(), "Invalid context or return value pointer");
    EXPECT_EQ(SaveDravontParameter(context, "k", nullptr), 1);
    EXPECT_STREQ(GetLastDravontError(), "Invalid string pointer");
    EXPECT_EQ(SaveDravontParameter(nullptr, "k", "v"), 1);
    EXPECT_STREQ(GetLastDravontError(), "Invalid context pointer");
    EXPECT_EQ(SetDravontDetachedSignaturePattern(nullptr, nullptr), 1);
    EXPECT_STREQ(GetLastDravontError(), "Invalid string pointer");

    EXPECT_EQ(ReadDravontParameter(context, "infilenum", &value, &number), 3);
    EXPECT_STREQ(GetLastDravontError(), "RPC call GetDravontParameter failed");
    EXPECT_EQ(SaveDravontParameter(context, "k", "v"), 3);
    EXPECT_STREQ(GetLastDravontError(), "RPC call SetDravontParameter failed");
  });
  EXPECT_EQ(service.calls().size(), 2u);
}

TEST_F(ScriptExportTest, ParameterNumberIsSignExtended) {
  service.answer("ReadDravontParam", values({"value", "", -1}));
  service.answer("SaveDravontParam", values({""}));
  service.answer("AddMixin", XmlRpcValue("Syntax error"));
  onFreshThread([&] {
    char* value = nullptr;
    long long number = 0;
    EXPECT_EQ(ReadDravontParameter(context, "infilenum /etc/t.ini", &value, &number), 0);
    EXPECT_EQ(number, -1LL);
    EXPECT_STREQ(value, "value");
    std::free(value);
    EXPECT_EQ(SaveDravontParameter(context, "k", "v"), 0);
    EXPECT_EQ(AddMixin(context, nullptr, "function ("), 2);
    EXPECT_STREQ(GetLastDravontError(), "Syntax error");
  });
  EXPECT_EQ(onlyCall("AddMixin")[1].getString(), "");
}

TEST_F(ScriptExportTest, ThreadsKeepTheirOwnConnectionAndLastError) {
  service.answer("Execute", values({"", "first thread's failure"}));
  std::thread first([&] {
    setThreadAllocateFunction(testing_support::countingMalloc);
    EXPECT_EQ(Execute(context, "1", nullptr), 2);
    std::thread second([&] {
      EXPECT_EQ(GetLastDravontError(), nullptr);
      EXPECT_EQ(SaveDravontParameter(context, "k", nullptr), 1);
      EXPECT_EQ(Execute(context, "2", nullptr), 2);
    });
    second.join();
    EXPECT_STREQ(GetLastDravontError(), "first thread's failure");
    EXPECT_EQ(Execute(context, "3", nullptr), 2);
  });
  first.join();
  EXPECT_EQ(service.connections(), 2);
  EXPECT_EQ(service.calls("Execute").size(), 3u);
}

}  // namespace
