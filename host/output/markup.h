// Text placed inside an SVG or HTML element: the three characters that would
// start or end markup are written as entities, so that a file name or a note
// can never close an element or open one of its own.
#ifndef ATSHOST_OUTPUT_MARKUP_H
#define ATSHOST_OUTPUT_MARKUP_H

#include <string>

namespace atshost {

inline std::string EscapeMarkup(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

// Text placed in a double-quoted attribute: the quote is written as an
// entity too, so that the text cannot end the attribute.
inline std::string EscapeAttribute(const std::string& text) {
  std::string out;
  for (char c : EscapeMarkup(text)) {
    if (c == '"') {
      out += "&quot;";
    } else {
      out += c;
    }
  }
  return out;
}

}  // namespace atshost

#endif  // ATSHOST_OUTPUT_MARKUP_H
