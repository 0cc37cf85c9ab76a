// Reading the host's plain-text files: one command a line, words separated by
// blanks, '#' to the end of the line a comment. Every error names the file and
// the line.
#ifndef ATSHOST_TEXT_INPUT_H
#define ATSHOST_TEXT_INPUT_H

#include <cstdint>
#include <map>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace atshost {

// Bad input: the message starts with "FILE:LINE: " (or "FILE: " when the file
// as a whole is refused).
class InputError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The largest scenario or route file read. A run is bounded on its own; this
// bounds what a file costs before it runs, and stops a device or an endless
// pipe given by mistake.
inline constexpr std::uintmax_t kMaxInputBytes = std::uintmax_t{64} << 20;

struct Line {
  std::string file;
  int number = 0;
  std::vector<std::string> words;
};

// The non-empty lines of a text, one at a time, comments removed. Lines end in
// LF, CR LF or a lone CR (all three are written by some editor), and a UTF-8
// byte-order mark at the start is skipped. A line with a control character
// (other than a tab) in its commands is refused: it is no text file.
class LineReader {
 public:
  LineReader(std::string_view text, std::string file);
  // Fills `line` with the next line that has words; false at the end.
  bool Next(Line& line);

 private:
  std::string_view text_;
  std::string file_;
  std::size_t pos_ = 0;
  int number_ = 0;
};

// All the non-empty lines of a text at once (for short texts).
std::vector<Line> SplitLines(const std::string& text, const std::string& file);

// Reads a whole file, or throws InputError naming it: a folder, a device, a
// file that cannot be opened or one larger than kMaxInputBytes is refused.
std::string ReadFile(const std::string& path);

// Text fit for a terminal: control characters and bytes that are not UTF-8
// are written as \xNN, so a message about a binary file shows what is there.
std::string Printable(std::string_view text);

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

// Throws InputError "FILE:LINE: message".
[[noreturn]] void FailAt(const std::string& file, int line, const std::string& message);

// Strict numbers: the whole text must be the number, in range. `what` names
// it in the error, `fields` gives the line.
int32_t ParseInt(const Fields& fields, const std::string& text, const std::string& what);
// Finite only, unless `allow_special` lets "nan" and "inf" through.
double ParseNumber(const Fields& fields, const std::string& text, const std::string& what,
                   bool allow_special = false);

}  // namespace atshost

#endif  // ATSHOST_TEXT_INPUT_H
