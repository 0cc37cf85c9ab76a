// Number formatting that gives the same bytes on every platform and in every
// locale: the standard library's shortest round-trip and fixed-point
// conversions, never printf's locale-dependent ones. Every number the
// outputs and messages print goes through here.
#ifndef ATSHOST_FORMAT_H
#define ATSHOST_FORMAT_H

#include <cstdint>
#include <string>

namespace atshost {

// The shortest text that reads back as exactly this value ("0.1", "1e-05").
std::string Shortest(double value);
std::string Shortest(float value);

// Fixed point with the given number of decimals ("41.2").
std::string Fixed(double value, int decimals);

// Fixed point with the integer digits grouped in threes by a space ("1 234.5").
std::string Grouped(double value, int decimals);

// A location or distance as every report words it: grouped, one decimal,
// with its unit ("1 234.5 m").
std::string Metres(double metres);

// A speed as every report words it: one decimal, with its unit ("41.2 km/h").
std::string Kmh(double kmh);

// Host milliseconds as seconds with three decimals ("12.340", "-0.020").
std::string Seconds(int32_t ms);

}  // namespace atshost

#endif  // ATSHOST_FORMAT_H
