// The simulation core's number reader, one table for every build: natively
// and as WebAssembly (run under node) it must accept and refuse the same
// texts, with the same messages, and read the same bits. The wasm32 C++
// library has no floating from_chars, so the reader is the core's own; this
// table pins what it does on malformed, out-of-range and odd numbers.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "host/sim/text_input.h"

namespace {

using atshost::Fields;
using atshost::InputErrors;
using atshost::Line;

struct Case {
  const char* text;
  bool special;       // NaN and the infinities allowed
  uint64_t bits;      // the double read, when accepted
  const char* error;  // the message after "n.txt:1: ", when refused
};

// clang-format off
constexpr Case kNumbers[] = {
    // Plain decimals, with one sign at most.
    {"1", false, 0x3FF0000000000000, nullptr},
    {"+1", false, 0x3FF0000000000000, nullptr},
    {"-0", false, 0x8000000000000000, nullptr},
    {"0001", false, 0x3FF0000000000000, nullptr},
    {"1.", false, 0x3FF0000000000000, nullptr},
    {".5", false, 0x3FE0000000000000, nullptr},
    {"1E5", false, 0x40F86A0000000000, nullptr},
    {"0.1e-2", false, 0x3F50624DD2F1A9FC, nullptr},
    {"0.1", false, 0x3FB999999999999A, nullptr},
    {"123456789012345678901234567890", false, 0x45F8EE90FF6C373E, nullptr},
    {"0e99999999999", false, 0x0000000000000000, nullptr},
    // The edges of the double's range, and the denormals below it.
    {"1.7976931348623157e308", false, 0x7FEFFFFFFFFFFFFF, nullptr},
    {"1.797693134862315807e308", false, 0x7FEFFFFFFFFFFFFF, nullptr},
    {"2.2250738585072011e-308", false, 0x000FFFFFFFFFFFFF, nullptr},
    {"4e-320", false, 0x0000000000001FA0, nullptr},
    {"4.9406564584124654e-324", false, 0x0000000000000001, nullptr},
    {"3e-324", false, 0x0000000000000001, nullptr},
    {"1.8e308", false, 0, "n '1.8e308' is out of the range of a 64-bit number"},
    {"-1e999", false, 0, "n '-1e999' is out of the range of a 64-bit number"},
    {"2e-324", false, 0, "n '2e-324' is out of the range of a 64-bit number"},
    {"1e-99999999999", false, 0, "n '1e-99999999999' is out of the range of a 64-bit number"},
    // The special values: any case, a sign, no payload kept.
    {"inf", true, 0x7FF0000000000000, nullptr},
    {"-Infinity", true, 0xFFF0000000000000, nullptr},
    {"NaN", true, 0x7FF8000000000000, nullptr},
    {"-nan", true, 0xFFF8000000000000, nullptr},
    {"+nan", true, 0x7FF8000000000000, nullptr},
    {"nan(123)", true, 0x7FF8000000000000, nullptr},
    {"nan()", true, 0x7FF8000000000000, nullptr},
    {"inf", false, 0, "n must be a finite number, not 'inf'"},
    {"nan", false, 0, "n must be a finite number, not 'nan'"},
    // Malformed.
    {"", false, 0, "malformed number '' for n"},
    {"+", false, 0, "malformed number '+' for n"},
    {".", false, 0, "malformed number '.' for n"},
    {"1e", false, 0, "malformed number '1e' for n"},
    {"1e+", false, 0, "malformed number '1e+' for n"},
    {"e5", false, 0, "malformed number 'e5' for n"},
    {"1.2.3", false, 0, "malformed number '1.2.3' for n"},
    {"++1", false, 0, "malformed number '++1' for n"},
    {"+-1", false, 0, "malformed number '+-1' for n"},
    {"-+1", false, 0, "malformed number '-+1' for n"},
    {"0x10", false, 0, "malformed number '0x10' for n"},
    {"1,5", false, 0, "malformed number '1,5' for n"},
    {" 1", false, 0, "malformed number ' 1' for n"},
    {"1 ", false, 0, "malformed number '1 ' for n"},
    {"infinit", true, 0, "malformed number 'infinit' for n"},
    {"nan(", true, 0, "malformed number 'nan(' for n"},
    {"nan(1-2)", true, 0, "malformed number 'nan(1-2)' for n"},
};

struct IntCase {
  const char* text;
  int32_t value;
  const char* error;
};

constexpr IntCase kWholeNumbers[] = {
    {"7", 7, nullptr},
    {"+1", 1, nullptr},
    {"-2147483648", INT32_MIN, nullptr},
    {"2147483647", INT32_MAX, nullptr},
    {"2147483648", 0, "n '2147483648' is out of the 32-bit range"},
    {"-99999999999", 0, "n '-99999999999' is out of the 32-bit range"},
    {"+-1", 0, "malformed whole number '+-1' for n"},
    {"--1", 0, "malformed whole number '--1' for n"},
    {"1.0", 0, "malformed whole number '1.0' for n"},
    {"0x10", 0, "malformed whole number '0x10' for n"},
    {"", 0, "malformed whole number '' for n"},
    {" 1", 0, "malformed whole number ' 1' for n"},
};
// clang-format on

constexpr const char* kWhere = "n.txt:1: ";

// The outcome in words, the same for a number read and one refused.
template <typename T>
std::string Outcome(const InputErrors& errors, T value, const char* format) {
  if (errors.failed()) return "refused: " + errors.message();
  char text[64];
  std::snprintf(text, sizeof text, format, value);
  return std::string("read ") + text;
}

std::string Wanted(const char* error, const std::string& read) {
  return error != nullptr ? std::string("refused: ") + kWhere + error : "read " + read;
}

}  // namespace

int main() {
  const Line line{"n.txt", 1, {"n"}};
  int failures = 0;
  auto check = [&](const std::string& text, const std::string& got, const std::string& want) {
    if (got == want) return;
    ++failures;
    std::printf("'%s': %s, wanted %s\n", text.c_str(), got.c_str(), want.c_str());
  };
  for (const Case& c : kNumbers) {
    InputErrors errors;
    const Fields fields(line, errors);
    const double value = atshost::ParseNumber(fields, c.text, "n", c.special);
    uint64_t bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    char want_bits[32];
    std::snprintf(want_bits, sizeof want_bits, "%016llx", static_cast<unsigned long long>(c.bits));
    check(c.text, Outcome(errors, static_cast<unsigned long long>(bits), "%016llx"),
          Wanted(c.error, want_bits));
  }
  for (const IntCase& c : kWholeNumbers) {
    InputErrors errors;
    const Fields fields(line, errors);
    const int32_t value = atshost::ParseInt(fields, c.text, "n");
    check(c.text, Outcome(errors, static_cast<long>(value), "%ld"),
          Wanted(c.error, std::to_string(c.value)));
  }
  const std::size_t cases = std::size(kNumbers) + std::size(kWholeNumbers);
  std::printf("%d of %zu numbers read otherwise than the table says\n", failures, cases);
  return failures == 0 ? 0 : 1;
}
