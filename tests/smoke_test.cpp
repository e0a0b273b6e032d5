#include <gtest/gtest.h>

#include <cstdint>

extern "C" void Varnex_Plugin_EntryPoint(const char** keywords, void** values, int32_t* result, void* extra);

TEST(Smoke, NullKeywordListAnswersZero) {
  int32_t result = 7;
  Varnex_Plugin_EntryPoint(nullptr, nullptr, &result, nullptr);
  EXPECT_EQ(result, 0);
}
