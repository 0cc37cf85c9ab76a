// The units the simulation core converts between, once: the train model,
// the drivers, the route's bounds and the charts all work in km/h, metres,
// milliseconds and per-mille gradients.
#ifndef ATSHOST_SIM_UNITS_H
#define ATSHOST_SIM_UNITS_H

namespace atshost {

inline constexpr double kKmhPerMs = 3.6;  // 1 m/s is 3.6 km/h
inline constexpr double kMsPerS = 1000.0;
// Gravity as km/h per second of acceleration per unit of slope:
// 9.80665 m/s^2 times 3.6.
inline constexpr double kGravityKmhPerS = 35.30394;
inline constexpr double kPermille = 1000.0;

// |v| without <cmath>'s overloads, the same on every target.
constexpr double Abs(double v) { return v < 0.0 ? -v : v; }

}  // namespace atshost

#endif  // ATSHOST_SIM_UNITS_H
