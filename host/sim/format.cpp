#include "host/sim/format.h"

#include <charconv>

namespace atshost {
namespace {

// Long enough for any double in fixed notation with a few decimals.
constexpr int kBufferSize = 400;

template <typename T, typename... Args>
std::string ToChars(T value, Args... args) {
  char buffer[kBufferSize];
  std::to_chars_result r = std::to_chars(buffer, buffer + kBufferSize, value, args...);
  return std::string(buffer, r.ptr);
}

}  // namespace

std::string Shortest(double value) { return ToChars(value); }
std::string Shortest(float value) { return ToChars(value); }

std::string Fixed(double value, int decimals) {
  std::string s = ToChars(value, std::chars_format::fixed, decimals);
  if (s == "-0" || s.find_first_not_of("-0.") == std::string::npos) {
    // A value that rounds to zero prints without a sign.
    if (!s.empty() && s[0] == '-') s.erase(0, 1);
  }
  return s;
}

std::string Grouped(double value, int decimals) {
  const std::string s = Fixed(value, decimals);
  const std::size_t start = (!s.empty() && s[0] == '-') ? 1 : 0;
  std::size_t end = s.find('.');
  if (end == std::string::npos) end = s.size();
  if (s.find_first_not_of("0123456789", start) < end) return s;  // inf, nan
  std::string out = s.substr(0, start);
  for (std::size_t i = start; i < end; ++i) {
    // A space before each group of three digits counted from the point.
    if (i > start && (end - i) % 3 == 0) out += ' ';
    out += s[i];
  }
  return out + s.substr(end);
}

std::string Metres(double metres) { return Grouped(metres, 1) + " m"; }

std::string Kmh(double kmh) { return Fixed(kmh, 1) + " km/h"; }

std::string Seconds(int32_t ms) {
  const int64_t v = ms;
  const int64_t magnitude = v < 0 ? -v : v;
  std::string out = v < 0 ? "-" : "";
  out += std::to_string(magnitude / 1000);
  out += '.';
  const int64_t frac = magnitude % 1000;
  out += static_cast<char>('0' + frac / 100);
  out += static_cast<char>('0' + frac / 10 % 10);
  out += static_cast<char>('0' + frac % 10);
  return out;
}

}  // namespace atshost
