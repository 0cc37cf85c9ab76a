// Integer arithmetic as the 32-bit target does it, without undefined behaviour.
//
// The host passes any int32 as a notch, a time or a beacon word, and the rules
// add, subtract and take absolute values of them. On the target those wrap
// modulo 2^32, and truncating a float that is NaN, infinite or out of range
// yields the "integer indefinite" value INT32_MIN. C++ leaves both undefined,
// so every such operation in the unit goes through these helpers.
#ifndef ATSVORLAN800_UNIT_ARITH_H
#define ATSVORLAN800_UNIT_ARITH_H

#include <cstdint>
#include <limits>

namespace vorlan {

static_assert(std::numeric_limits<float>::is_iec559 && std::numeric_limits<double>::is_iec559,
              "the rules are written for IEEE 754 float32 and float64");

// a + b, wrapping modulo 2^32.
constexpr int32_t WrapAdd(int32_t a, int32_t b) noexcept {
  return static_cast<int32_t>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b));
}

// a - b, wrapping modulo 2^32.
constexpr int32_t WrapSub(int32_t a, int32_t b) noexcept {
  return static_cast<int32_t>(static_cast<uint32_t>(a) - static_cast<uint32_t>(b));
}

// |a|, where |INT32_MIN| is INT32_MIN again, as the target's negation gives.
constexpr int32_t WrapAbs(int32_t a) noexcept { return a < 0 ? WrapSub(0, a) : a; }

// Truncation toward zero; NaN, infinities and values outside int32 give INT32_MIN.
constexpr int32_t TruncToInt32(double v) noexcept {
  // Both bounds are exact in float64; a NaN fails the range test.
  if (v > -2147483649.0 && v < 2147483648.0) return static_cast<int32_t>(v);
  return std::numeric_limits<int32_t>::min();
}

constexpr int32_t TruncToInt32(float v) noexcept {
  // Widening to float64 is exact, so the float64 range test decides correctly.
  return TruncToInt32(static_cast<double>(v));
}

// Rounds a float64 to float32 as the hardware does, beyond float32's range too.
// C++ leaves the conversion of an out-of-range value undefined; IEEE 754 rounds
// it to the nearest float32, which is an infinity from the midpoint between
// FLT_MAX and 2^128 on (that midpoint rounds to even: the infinity).
constexpr float NarrowToFloat(double v) noexcept {
  constexpr double kRoundsToInfinity = 0x1.ffffffp+127;
  // In range, the common case, settled first.
  if (v < kRoundsToInfinity && v > -kRoundsToInfinity) [[likely]]
    return static_cast<float>(v);
  if (v >= kRoundsToInfinity) return std::numeric_limits<float>::infinity();
  if (v <= -kRoundsToInfinity) return -std::numeric_limits<float>::infinity();
  return static_cast<float>(v);  // NaN
}

}  // namespace vorlan

#endif  // ATSVORLAN800_UNIT_ARITH_H
