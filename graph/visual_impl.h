#pragma once

// Helpers shared by the sources of the diagram (model, painting, mouse editing); private to
// graph/.

#include <cmath>
#include <cstdint>
#include <limits>
#include <numbers>

namespace visual_impl {

inline constexpr long double kPi = std::numbers::pi_v<long double>;

// Coordinates wrap at 32 bits, as the diagram's integer arithmetic does.
inline int32_t Wrap32(int64_t Value) {
  return static_cast<int32_t>(Value);
}

// Rounds to the nearest integer, halves to even, and keeps the result within 32 bits.
inline int32_t RoundToInt32(long double Value) {
  const long double Rounded = std::nearbyintl(Value);
  if (!(Rounded < static_cast<long double>(std::numeric_limits<int32_t>::max())))
    return std::numeric_limits<int32_t>::max();
  if (!(Rounded > static_cast<long double>(std::numeric_limits<int32_t>::min())))
    return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(Rounded);
}

// A diagram coordinate less a scroll offset, wrapping at 32 bits.
inline int32_t Offset(int32_t Value, int32_t By) {
  return Wrap32(int64_t{Value} - By);
}

}  // namespace visual_impl
