// The tools re-derive what the unit checked with the core's own copy of the
// unit's arithmetic (the core is built without the unit's sources). Both
// must give the same bits, at the edges where a plain cast or a plain
// subtraction would differ or be undefined.
#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <limits>

#include "host/sim/cab.h"
#include "unit/arith.h"

namespace {

TEST(CabArith, TimeWrapFollowsTheUnits) {
  constexpr int32_t kMin = std::numeric_limits<int32_t>::min();
  constexpr int32_t kMax = std::numeric_limits<int32_t>::max();
  const int32_t cases[][2] = {{0, 0},       {20, 0},       {0, 20},    {kMin, kMax},
                              {kMax, kMin}, {kMin, 1},     {-1, kMax}, {kMax, -1},
                              {kMin, kMin}, {123456, -78}, {-20, 1000}};
  for (const auto& c : cases) {
    EXPECT_EQ(atshost::WrappedMs(c[0], c[1]), vorlan::WrapSub(c[0], c[1])) << c[0] << " - " << c[1];
  }
}

TEST(CabArith, LocationNarrowingFollowsTheUnits) {
  constexpr double kInf = std::numeric_limits<double>::infinity();
  const double cases[] = {0.0,
                          -0.0,
                          1e300,
                          -1e300,
                          kInf,
                          -kInf,
                          std::numeric_limits<double>::quiet_NaN(),
                          0x1.fffffefffffffp+127,  // rounds down to float32's largest
                          0x1.ffffffp+127,         // the first that rounds to infinity
                          -0x1.ffffffp+127,
                          16777217.0,  // halfway between two float32 values
                          0.15555556,
                          100000.123456789};
  for (double v : cases) {
    const float a = atshost::Float32Location(v);
    const float b = vorlan::NarrowToFloat(v);
    EXPECT_EQ(std::bit_cast<uint32_t>(a), std::bit_cast<uint32_t>(b)) << v;
  }
}

}  // namespace
