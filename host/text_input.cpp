#include "host/text_input.h"

#include <charconv>
#include <fstream>
#include <sstream>

namespace atshost {

std::vector<Line> SplitLines(const std::string& text, const std::string& file) {
  std::vector<Line> lines;
  int number = 0;
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string content = text.substr(start, end - start);
    ++number;
    const std::size_t hash = content.find('#');
    if (hash != std::string::npos) content.erase(hash);
    Line line{file, number, {}};
    std::size_t i = 0;
    auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
    while (i < content.size()) {
      while (i < content.size() && blank(content[i])) ++i;
      std::size_t j = i;
      while (j < content.size() && !blank(content[j])) ++j;
      if (j > i) line.words.push_back(content.substr(i, j - i));
      i = j;
    }
    if (!line.words.empty()) lines.push_back(std::move(line));
    if (end == text.size()) break;
    start = end + 1;
  }
  return lines;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw InputError(path + ": cannot be read");
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

const std::string& Fields::Peek() const {
  static const std::string none;
  return done() ? none : line_.words[pos_];
}

std::string Fields::Word(const std::string& what) {
  if (done()) Fail("missing " + what);
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
      Fail("expected name=value, found '" + word + "'");
    }
    const std::string name = word.substr(0, eq);
    bool known = false;
    for (const std::string& a : allowed) known = known || a == name;
    if (!known) {
      std::string list;
      for (const std::string& a : allowed) list += (list.empty() ? "" : ", ") + a;
      Fail("unknown field '" + name + "' (expected one of: " + list + ")");
    }
    if (result.count(name) != 0) Fail("field '" + name + "' given twice");
    if (eq + 1 == word.size()) Fail("missing value for '" + name + "'");
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
  if (!done()) Fail("unexpected '" + line_.words[pos_] + "'");
}

void Fields::Fail(const std::string& message) const {
  throw InputError(line_.file + ":" + std::to_string(line_.number) + ": " + message);
}

int32_t ParseInt(const Fields& fields, const std::string& text, const std::string& what) {
  int32_t value = 0;
  const char* first = text.data();
  const char* last = first + text.size();
  // Accept an explicit plus sign, as people write "+1" for forward.
  if (first != last && *first == '+') ++first;
  const std::from_chars_result r = std::from_chars(first, last, value);
  if (r.ec == std::errc::result_out_of_range) {
    fields.Fail(what + " '" + text + "' is out of the 32-bit range");
  }
  if (r.ec != std::errc() || r.ptr != last || first == last) {
    fields.Fail("malformed whole number '" + text + "' for " + what);
  }
  return value;
}

double ParseNumber(const Fields& fields, const std::string& text, const std::string& what,
                   bool allow_special) {
  double value = 0.0;
  const char* first = text.data();
  const char* last = first + text.size();
  if (first != last && *first == '+') ++first;
  const std::from_chars_result r = std::from_chars(first, last, value);
  if (r.ec != std::errc() || r.ptr != last || first == last) {
    fields.Fail("malformed number '" + text + "' for " + what);
  }
  const bool finite = value == value && value - value == 0.0;
  if (!finite && !allow_special) fields.Fail(what + " must be a finite number, not '" + text + "'");
  return value;
}

}  // namespace atshost
