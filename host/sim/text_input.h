// Reading the host's plain-text files: one command a line, words separated by
// blanks, '#' to the end of the line a comment. Every error names the file and
// the line.
#ifndef ATSHOST_TEXT_INPUT_H
#define ATSHOST_TEXT_INPUT_H

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace atshost {

// The first error found in a text: "FILE:LINE: message" (or "FILE: message"
// when the file as a whole is refused). The readers below report into it and
// go on harmlessly; a parser stops at its next line once it is set, and what
// it built is then thrown away. No exception is used: the core also runs
// where there are none.
class InputErrors {
 public:
  // Keeps the first message only: later ones follow from it.
  void Set(std::string message) {
    if (message_.empty()) message_ = std::move(message);
  }
  void At(const std::string& file, int line, const std::string& message) {
    if (message_.empty()) Set(file + ":" + std::to_string(line) + ": " + message);
  }
  bool failed() const { return !message_.empty(); }
  const std::string& message() const { return message_; }

 private:
  std::string message_;
};

// What a parser gives: the value, or the error that refused the text.
template <typename T>
struct Parsed {
  T value{};
  std::string error;  // empty when the text was accepted
  bool ok() const { return error.empty(); }
};

// The largest scenario or route text read. A run is bounded on its own; this
// bounds what a text costs before it runs, and stops a device or an endless
// pipe given by mistake.
inline constexpr std::uintmax_t kMaxInputBytes = std::uintmax_t{64} << 20;

// "FILE: is larger than 64 MiB, ...": why a text over kMaxInputBytes is refused.
std::string TooLargeMessage(const std::string& file);

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
  LineReader(std::string_view text, std::string file, InputErrors& errors);
  // Fills `line` with the next line that has words; false at the end or once
  // an error is set.
  bool Next(Line& line);

 private:
  std::string_view text_;
  std::string file_;
  std::size_t pos_ = 0;
  int number_ = 0;
  InputErrors& errors_;
};

// Text fit for a terminal: control characters and bytes that are not UTF-8
// are written as \xNN, so a message about a binary file shows what is there.
std::string Printable(std::string_view text);

// The longest part of a token a message quotes: a word of the input may be
// megabytes long, and a message must still fit a terminal.
inline constexpr std::size_t kQuotedMax = 60;

// `token` in single quotes for a message, printable, cut after kQuotedMax
// bytes (never inside a character) with its length said: 'abc…' (5242880
// bytes).
std::string Quote(std::string_view token);

// A cursor over the words of one line. What fails reports into `errors` and
// gives an empty word or 0, so that the caller may go on to its next check.
class Fields {
 public:
  Fields(const Line& line, InputErrors& errors) : line_(line), errors_(errors) {}

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

  // Reports "FILE:LINE: message" for this line.
  void Fail(const std::string& message) const;
  bool failed() const { return errors_.failed(); }
  const Line& line() const { return line_; }
  InputErrors& errors() const { return errors_; }

 private:
  const Line& line_;
  InputErrors& errors_;
  std::size_t pos_ = 0;
};

// Strict numbers: the whole text must be the number, in range, with at most
// one sign ('+' as people write "+1" for forward). `what` names it in the
// error, `fields` gives the line; a refused number gives 0.
int32_t ParseInt(const Fields& fields, const std::string& text, const std::string& what);

// Decimal numbers as people write them ("12", "-0.5", "1.", ".5", "1e-3"),
// and "inf", "infinity", "nan" or "nan(...)" in any case, read to the nearest
// double. Finite only, unless `allow_special` lets NaN and the infinities
// through. A number too large for a double, or one not zero that would read
// as zero, is refused as out of range. A NaN keeps its sign but no payload,
// so that every build reads the same bits.
double ParseNumber(const Fields& fields, const std::string& text, const std::string& what,
                   bool allow_special = false);

}  // namespace atshost

#endif  // ATSHOST_TEXT_INPUT_H
