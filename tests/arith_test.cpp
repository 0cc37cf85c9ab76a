#include "unit/arith.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace vorlan {
namespace {

constexpr int32_t kMin = std::numeric_limits<int32_t>::min();
constexpr int32_t kMax = std::numeric_limits<int32_t>::max();

TEST(Arith, WrapsLikeThe32BitTarget) {
  EXPECT_EQ(WrapAdd(kMax, 1), kMin);
  EXPECT_EQ(WrapSub(kMin, 1), kMax);
  EXPECT_EQ(WrapSub(0, kMin), kMin);
  EXPECT_EQ(WrapAbs(kMin), kMin);
  EXPECT_EQ(WrapAbs(-7), 7);
}

TEST(Arith, TruncationOfUnrepresentableValuesGivesIntMin) {
  EXPECT_EQ(TruncToInt32(37.9f), 37);
  EXPECT_EQ(TruncToInt32(-20.5f), -20);
  EXPECT_EQ(TruncToInt32(-0.9f), 0);
  EXPECT_EQ(TruncToInt32(std::nanf("")), kMin);
  EXPECT_EQ(TruncToInt32(std::numeric_limits<float>::infinity()), kMin);
  EXPECT_EQ(TruncToInt32(-std::numeric_limits<float>::infinity()), kMin);
  // 2^31 is the first float out of range above; -2^31 is still in range.
  EXPECT_EQ(TruncToInt32(2147483648.0f), kMin);
  EXPECT_EQ(TruncToInt32(-2147483648.0f), kMin);
  EXPECT_EQ(TruncToInt32(2147483520.0f), 2147483520);  // largest float below 2^31
  EXPECT_EQ(TruncToInt32(-2147483648.9), kMin);        // truncates to -2^31 exactly
  EXPECT_EQ(TruncToInt32(-2147483649.0), kMin);        // out of range
}

TEST(Arith, NarrowingRoundsLikeTheHardwareBeyondFloatRange) {
  constexpr float kInf = std::numeric_limits<float>::infinity();
  constexpr float kMaxF = std::numeric_limits<float>::max();
  EXPECT_EQ(NarrowToFloat(100000.29), 100000.2890625f);
  EXPECT_EQ(NarrowToFloat(1e300), kInf);
  EXPECT_EQ(NarrowToFloat(-1e300), -kInf);
  EXPECT_EQ(NarrowToFloat(std::numeric_limits<double>::infinity()), kInf);
  // Just above FLT_MAX still rounds down to it; the midpoint to 2^128 rounds up.
  EXPECT_EQ(NarrowToFloat(std::nextafter(0x1.ffffffp+127, 0.0)), kMaxF);
  EXPECT_EQ(NarrowToFloat(0x1.ffffffp+127), kInf);
  EXPECT_EQ(NarrowToFloat(-0x1.ffffffp+127), -kInf);
  EXPECT_TRUE(std::isnan(NarrowToFloat(std::nan(""))));
  EXPECT_TRUE(std::signbit(NarrowToFloat(-0.0)));
}

}  // namespace
}  // namespace vorlan
