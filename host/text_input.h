// Reading the host's plain-text files: one command a line, words separated by
// blanks, '#' to the end of the line a comment. Every error names the file and
// the line.
#ifndef ATSHOST_TEXT_INPUT_H
#define ATSHOST_TEXT_INPUT_H

#include <cstdint>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

namespace atshost {

// Bad input: the message starts with "FILE:LINE: ".
class InputError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct Line {
  std::string file;
  int number = 0;
  std::vector<std::string> words;
};

// The non-empty lines of a text, comments removed.
std::vector<Line> SplitLines(const std::string& text, const std::string& file);

// Reads a whole file, or throws InputError naming it.
std::string ReadFile(const std::string& path);

// A cursor over the words of one line.
class Fields {
 public:
  explicit Fields(const Line& line) : line_(line) {}

  bool done() const { return pos_ >= line_.words.size(); }
  const std::string& Peek() const;

  // The next word, which must be there; `what` names it in the error.
  std::string Word(const std::string& what);
  int32_t Int(const std::string& what);
  double Number(const std::string& what);

  // The remaining words as name=value pairs, each name one of `allowed`.
  std::map<std::string, std::string> KeyValues(const std::vector<std::string>& allowed);
  // The remaining words joined by single spaces.
  std::string Rest();
  // Fails if words are left over.
  void End();

  [[noreturn]] void Fail(const std::string& message) const;
  const Line& line() const { return line_; }

 private:
  const Line& line_;
  std::size_t pos_ = 0;
};

// Strict numbers: the whole text must be the number, in range. `what` names
// it in the error, `fields` gives the line.
int32_t ParseInt(const Fields& fields, const std::string& text, const std::string& what);
// Finite only, unless `allow_special` lets "nan" and "inf" through.
double ParseNumber(const Fields& fields, const std::string& text, const std::string& what,
                   bool allow_special = false);

}  // namespace atshost

#endif  // ATSHOST_TEXT_INPUT_H
