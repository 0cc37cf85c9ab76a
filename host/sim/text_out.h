// Where the core's sinks write their text: a file or the terminal in atshost,
// a string in the driving page. The core itself uses no stream: the streams'
// locale machinery would be most of a WebAssembly module's size.
#ifndef ATSHOST_TEXT_OUT_H
#define ATSHOST_TEXT_OUT_H

#include <string>
#include <string_view>

namespace atshost {

class TextOut {
 public:
  virtual ~TextOut() = default;
  virtual void Write(std::string_view text) = 0;
  // Hands on what has been written, where that means anything.
  virtual void Flush() {}
};

// Text kept in a string, for whoever reads it next.
class StringOut final : public TextOut {
 public:
  void Write(std::string_view text) override { text_.append(text); }
  std::string& text() { return text_; }
  const std::string& text() const { return text_; }

 private:
  std::string text_;
};

}  // namespace atshost

#endif  // ATSHOST_TEXT_OUT_H
