#include "host/sim/text_input.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <system_error>

namespace atshost {
namespace {

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";
constexpr unsigned char kDelete = 0x7F;

bool Blank(char c) { return c == ' ' || c == '\t'; }

bool Control(unsigned char c) { return (c < 0x20 && c != '\t') || c == kDelete; }

std::string Hex(unsigned value, int digits) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string out(static_cast<std::size_t>(digits), '0');
  for (int i = digits - 1; i >= 0; --i, value >>= 4)
    out[static_cast<std::size_t>(i)] = kDigits[value & 0xF];
  return out;
}

// The length of the well-formed UTF-8 sequence at `i` and its code point, or
// 0 if the bytes there are not one (overlong forms and surrogates are not).
std::size_t Utf8Sequence(std::string_view s, std::size_t i, uint32_t& code) {
  // The lead bytes of two-, three- and four-byte sequences, the bits of the
  // code point they carry, and the smallest code point each length may hold.
  struct Lead {
    unsigned char first, last, bits;
    std::size_t length;
    uint32_t min;
  };
  static constexpr Lead kLeads[] = {
      {0xC2, 0xDF, 0x1F, 2, 0x80}, {0xE0, 0xEF, 0x0F, 3, 0x800}, {0xF0, 0xF4, 0x07, 4, 0x10000}};
  const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
  const Lead* lead = nullptr;
  for (const Lead& l : kLeads) {
    if (byte(i) >= l.first && byte(i) <= l.last) lead = &l;
  }
  if (lead == nullptr || i + lead->length > s.size()) return 0;
  const std::size_t n = lead->length;
  const uint32_t min = lead->min;
  code = byte(i) & lead->bits;
  for (std::size_t k = 1; k < n; ++k) {
    if ((byte(i + k) & 0xC0u) != 0x80u) return 0;
    code = (code << 6) | (byte(i + k) & 0x3Fu);
  }
  if (code < min || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return 0;
  return n;
}

// C1 controls, and characters that show nothing or turn the text around:
// the zero-width ones, the direction marks and overrides, the byte-order mark.
bool Invisible(uint32_t code) {
  return code <= 0x9F || (code >= 0x200B && code <= 0x200F) || (code >= 0x2028 && code <= 0x202E) ||
         (code >= 0x2060 && code <= 0x206F) || code == 0xFEFF;
}

bool Digit(char c) { return c >= '0' && c <= '9'; }

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool SameLetters(std::string_view text, std::string_view lower) {
  if (text.size() != lower.size()) return false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (Lower(text[i]) != lower[i]) return false;
  }
  return true;
}

enum class NumberSyntax { kMalformed, kZero, kNonZero, kInfinity, kNaN };

// What an unsigned number's text is, by its syntax alone: digits with at
// most one point and at least one digit, then an optional exponent; or one
// of the special words. "nan(...)" may carry letters, digits and '_'.
NumberSyntax Classify(std::string_view s) {
  if (SameLetters(s, "inf") || SameLetters(s, "infinity")) return NumberSyntax::kInfinity;
  if (SameLetters(s, "nan")) return NumberSyntax::kNaN;
  if (s.size() >= 5 && SameLetters(s.substr(0, 4), "nan(") && s.back() == ')') {
    for (char c : s.substr(4, s.size() - 5)) {
      const bool alnum = Digit(c) || (Lower(c) >= 'a' && Lower(c) <= 'z') || c == '_';
      if (!alnum) return NumberSyntax::kMalformed;
    }
    return NumberSyntax::kNaN;
  }
  std::size_t i = 0;
  std::size_t digits = 0;
  bool nonzero = false;
  bool point = false;
  for (; i < s.size(); ++i) {
    if (Digit(s[i])) {
      ++digits;
      nonzero = nonzero || s[i] != '0';
    } else if (s[i] == '.' && !point) {
      point = true;
    } else {
      break;
    }
  }
  if (digits == 0) return NumberSyntax::kMalformed;
  if (i < s.size() && Lower(s[i]) == 'e') {
    ++i;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
    const std::size_t first = i;
    while (i < s.size() && Digit(s[i])) ++i;
    if (i == first) return NumberSyntax::kMalformed;
  }
  if (i != s.size()) return NumberSyntax::kMalformed;
  return nonzero ? NumberSyntax::kNonZero : NumberSyntax::kZero;
}

}  // namespace

std::string Printable(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    const auto b = static_cast<unsigned char>(text[i]);
    if (b < 0x80) {
      if (Control(b)) {
        out += "\\x" + Hex(b, 2);
      } else {
        out += static_cast<char>(b);
      }
      ++i;
      continue;
    }
    uint32_t code = 0;
    const std::size_t n = Utf8Sequence(text, i, code);
    if (n == 0) {
      out += "\\x" + Hex(b, 2);
      ++i;
    } else if (Invisible(code)) {
      out += "\\u" + Hex(code, 4);
      i += n;
    } else {
      out.append(text.substr(i, n));
      i += n;
    }
  }
  return out;
}

std::string Quote(std::string_view token) {
  if (token.size() <= kQuotedMax) return "'" + Printable(token) + "'";
  std::size_t cut = kQuotedMax;
  constexpr unsigned char kContinuationMask = 0xC0, kContinuation = 0x80;
  while (cut > 0 && (static_cast<unsigned char>(token[cut]) & kContinuationMask) == kContinuation) {
    --cut;
  }
  return "'" + Printable(token.substr(0, cut)) + "\u2026' (" + std::to_string(token.size()) +
         " bytes)";
}

std::string TooLargeMessage(const std::string& file) {
  return file + ": is larger than " + std::to_string(kMaxInputBytes >> 20) +
         " MiB, the most a scenario or route file may have";
}

LineReader::LineReader(std::string_view text, std::string file, InputErrors& errors)
    : text_(text), file_(std::move(file)), errors_(errors) {
  const auto starts = [&](unsigned char a, unsigned char b) {
    return text_.size() >= 2 && static_cast<unsigned char>(text_[0]) == a &&
           static_cast<unsigned char>(text_[1]) == b;
  };
  if (starts(0xFF, 0xFE) || starts(0xFE, 0xFF)) {
    errors_.Set(file_ + ": is UTF-16 text; save it as UTF-8");
  }
  // Windows editors start UTF-8 files with a byte-order mark.
  if (text_.substr(0, kUtf8Bom.size()) == kUtf8Bom) pos_ = kUtf8Bom.size();
}

bool LineReader::Next(Line& line) {
  while (pos_ <= text_.size() && !errors_.failed()) {
    const std::size_t end = std::min(text_.find_first_of("\r\n", pos_), text_.size());
    std::string_view content = text_.substr(pos_, end - pos_);
    ++number_;
    // CR LF is one line end; a lone CR or LF is one too.
    pos_ = end + (end + 1 < text_.size() && text_[end] == '\r' && text_[end + 1] == '\n' ? 2 : 1);
    content = content.substr(0, content.find('#'));
    line.file = file_;
    line.number = number_;
    line.words.clear();
    for (std::size_t i = 0; i < content.size();) {
      if (Control(static_cast<unsigned char>(content[i]))) {
        errors_.At(file_, number_,
                   "control character " + Printable(content.substr(i, 1)) +
                       " in the line: this is not a text file");
        return false;
      }
      if (Blank(content[i])) {
        ++i;
        continue;
      }
      std::size_t j = i;
      while (j < content.size() && !Blank(content[j]) &&
             !Control(static_cast<unsigned char>(content[j]))) {
        ++j;
      }
      line.words.emplace_back(content.substr(i, j - i));
      i = j;
    }
    if (!line.words.empty()) return true;
  }
  return false;
}

const std::string& Fields::Peek() const {
  static const std::string none;
  return done() ? none : line_.words[pos_];
}

std::string Fields::Word(const std::string& what) {
  if (done()) {
    Fail("missing " + what);
    return std::string();
  }
  return line_.words[pos_++];
}

int32_t Fields::Int(const std::string& what) { return ParseInt(*this, Word(what), what); }

double Fields::Number(const std::string& what) { return ParseNumber(*this, Word(what), what); }

std::map<std::string, std::string> Fields::KeyValues(const std::vector<std::string>& allowed) {
  std::map<std::string, std::string> result;
  while (!done()) {
    const std::string& word = line_.words[pos_++];
    const std::size_t eq = word.find('=');
    if (eq == std::string::npos || eq == 0) {
      Fail("expected name=value, found " + Quote(word));
      return result;
    }
    const std::string name = word.substr(0, eq);
    bool known = false;
    for (const std::string& a : allowed) known = known || a == name;
    if (!known) {
      std::string list;
      for (const std::string& a : allowed) list += (list.empty() ? "" : ", ") + a;
      Fail("unknown field " + Quote(name) + " (expected one of: " + list + ")");
      return result;
    }
    if (result.count(name) != 0) {
      Fail("field " + Quote(name) + " given twice");
      return result;
    }
    if (eq + 1 == word.size()) {
      Fail("missing value for " + Quote(name));
      return result;
    }
    result[name] = word.substr(eq + 1);
  }
  return result;
}

std::string Fields::Rest() {
  std::string rest;
  while (!done()) rest += (rest.empty() ? "" : " ") + line_.words[pos_++];
  return rest;
}

void Fields::End() {
  if (!done()) Fail("unexpected " + Quote(line_.words[pos_]));
}

void Fields::Fail(const std::string& message) const {
  errors_.At(line_.file, line_.number, message);
}

int32_t ParseInt(const Fields& fields, const std::string& text, const std::string& what) {
  int32_t value = 0;
  const char* first = text.data();
  const char* last = first + text.size();
  // Accept an explicit plus sign, as people write "+1" for forward; but one
  // sign only.
  if (first != last && *first == '+') {
    ++first;
    if (first != last && *first == '-') first = last;
  }
  const std::from_chars_result r = std::from_chars(first, last, value);
  if (r.ec == std::errc::result_out_of_range) {
    fields.Fail(what + " " + Quote(text) + " is out of the 32-bit range");
    return 0;
  }
  if (r.ec != std::errc() || r.ptr != last || first == last) {
    fields.Fail("malformed whole number " + Quote(text) + " for " + what);
    return 0;
  }
  return value;
}

double ParseNumber(const Fields& fields, const std::string& text, const std::string& what,
                   bool allow_special) {
  std::string_view body = text;
  bool negative = false;
  if (!body.empty() && (body[0] == '+' || body[0] == '-')) {
    negative = body[0] == '-';
    body.remove_prefix(1);
  }
  double magnitude = 0.0;
  switch (Classify(body)) {
    case NumberSyntax::kMalformed:
      fields.Fail("malformed number " + Quote(text) + " for " + what);
      return 0.0;
    case NumberSyntax::kZero:
      break;
    case NumberSyntax::kInfinity:
      magnitude = std::numeric_limits<double>::infinity();
      break;
    case NumberSyntax::kNaN:
      magnitude = std::numeric_limits<double>::quiet_NaN();
      break;
    case NumberSyntax::kNonZero:
      // The syntax is checked, so the C library reads all of it, to the
      // nearest double in every build; its errno is not needed.
      magnitude = std::strtod(std::string(body).c_str(), nullptr);
      if (magnitude == 0.0 || !std::isfinite(magnitude)) {
        fields.Fail(what + " " + Quote(text) + " is out of the range of a 64-bit number");
        return 0.0;
      }
      break;
  }
  const double value = std::copysign(magnitude, negative ? -1.0 : 1.0);
  if (!std::isfinite(value) && !allow_special) {
    fields.Fail(what + " must be a finite number, not " + Quote(text));
    return 0.0;
  }
  return value;
}

}  // namespace atshost
