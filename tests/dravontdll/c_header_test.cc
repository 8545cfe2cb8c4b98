#include <gtest/gtest.h>

#include <thread>

extern "C" int callLibraryFromC(void);

TEST(CHeaderTest, ExportsAreCallableFromC) {
  int result = -1;
  std::thread([&] { result = callLibraryFromC(); }).join();
  EXPECT_EQ(result, 0);
}
