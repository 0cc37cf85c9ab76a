// What the charts' axes share: where the speed axis ends, how a range is cut
// into ticks and drawn onto pixels, so that no value a run or a route can
// carry makes a chart endless.
#ifndef ATSHOST_OUTPUT_CHART_AXIS_H
#define ATSHOST_OUTPUT_CHART_AXIS_H

namespace atshost {

// A replay may send any speed, infinities and NaN included, and a beacon may
// carry any limit in its data word. The speed axis ends here; what lies
// beyond it is drawn at its edge or left out.
inline constexpr double kSpeedAxisLimitKmh = 1000.0;
// An axis has about this many ticks.
inline constexpr int kTargetTicks = 10;

// A step of 1, 2 or 5 times a power of ten that cuts `range` into about
// kTargetTicks parts.
inline double NiceStep(double range) {
  // From 0.001 to past the largest double.
  constexpr int kDecades = 312;
  constexpr double kFactors[] = {1.0, 2.0, 5.0};
  double decade = 0.001;
  for (int d = 0; d < kDecades && decade <= range; ++d, decade *= 10.0) {
    for (double f : kFactors) {
      if (range / (f * decade) <= kTargetTicks) return f * decade;
    }
  }
  return decade <= range ? decade : 1.0;  // range zero, not a number or infinite
}

// A data range drawn onto a pixel range.
struct LinearScale {
  double lo, hi, from, to;  // data range onto pixel range
  // Halved, so that a range from near the lowest to near the highest double
  // does not overflow.
  double operator()(double v) const {
    return from + (v / 2 - lo / 2) / (hi / 2 - lo / 2) * (to - from);
  }
};

}  // namespace atshost

#endif  // ATSHOST_OUTPUT_CHART_AXIS_H
