#include "host/output/english_words.h"

#include <cstdint>
#include <functional>
#include <map>
#include <optional>

#include "host/output/markup.h"
#include "host/output/page_assets.h"

namespace atshost {
namespace {

using Catalogue = std::map<std::string, std::string, std::less<>>;

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

void SkipSpace(std::string_view s, std::size_t& at) {
  while (at < s.size() && IsSpace(s[at])) ++at;
}

// Four hex digits at `at`, as a number; nothing if they are not there.
std::optional<uint32_t> Hex4(std::string_view s, std::size_t at) {
  if (at + 4 > s.size()) return std::nullopt;
  uint32_t v = 0;
  for (std::size_t i = at; i < at + 4; ++i) {
    const char c = s[i];
    const int d = c >= '0' && c <= '9'   ? c - '0'
                  : c >= 'a' && c <= 'f' ? c - 'a' + 10
                  : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                         : -1;
    if (d < 0) return std::nullopt;
    v = v * 16 + static_cast<uint32_t>(d);
  }
  return v;
}

void AppendUtf8(std::string& out, uint32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xc0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3f));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xe0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3f));
    out += static_cast<char>(0x80 | (cp & 0x3f));
  } else {
    out += static_cast<char>(0xf0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3f));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3f));
    out += static_cast<char>(0x80 | (cp & 0x3f));
  }
}

// The JSON string whose opening quote is at `at`; `at` ends past its closing
// quote. Nothing if it is not a whole string.
std::optional<std::string> ReadString(std::string_view s, std::size_t& at) {
  if (at >= s.size() || s[at] != '"') return std::nullopt;
  std::string out;
  for (++at; at < s.size();) {
    const char c = s[at++];
    if (c == '"') return out;
    if (c != '\\') {
      out += c;
      continue;
    }
    if (at >= s.size()) return std::nullopt;
    switch (const char e = s[at++]) {
      case '"':
      case '\\':
      case '/':
        out += e;
        break;
      case 'b':
        out += '\b';
        break;
      case 'f':
        out += '\f';
        break;
      case 'n':
        out += '\n';
        break;
      case 'r':
        out += '\r';
        break;
      case 't':
        out += '\t';
        break;
      case 'u': {
        std::optional<uint32_t> cp = Hex4(s, at);
        if (!cp) return std::nullopt;
        at += 4;
        // A character beyond the first 65536 is written as two halves.
        if (*cp >= 0xd800 && *cp < 0xdc00 && s.substr(at, 2) == "\\u") {
          const std::optional<uint32_t> low = Hex4(s, at + 2);
          if (low && *low >= 0xdc00 && *low < 0xe000) {
            cp = 0x10000 + ((*cp - 0xd800) << 10) + (*low - 0xdc00);
            at += 6;
          }
        }
        AppendUtf8(out, *cp);
        break;
      }
      default:
        return std::nullopt;
    }
  }
  return std::nullopt;
}

// A catalogue's file: one JSON object of key to text. Read as far as it is
// that shape (the build has already refused a file that is not JSON).
Catalogue ReadCatalogue(std::string_view s) {
  Catalogue words;
  std::size_t at = 0;
  SkipSpace(s, at);
  if (at >= s.size() || s[at++] != '{') return words;
  for (;;) {
    SkipSpace(s, at);
    std::optional<std::string> key = ReadString(s, at);
    if (!key) return words;
    SkipSpace(s, at);
    if (at >= s.size() || s[at++] != ':') return words;
    SkipSpace(s, at);
    std::optional<std::string> text = ReadString(s, at);
    if (!text) return words;
    words.emplace(std::move(*key), std::move(*text));
    SkipSpace(s, at);
    if (at >= s.size() || s[at++] != ',') return words;
  }
}

const Catalogue& English() {
  static const Catalogue words = ReadCatalogue(page_assets::kWordsEn);
  return words;
}

// The value of the attribute `name` in a start tag's text; nothing if the
// tag has none.
std::optional<std::string_view> Attribute(std::string_view tag, std::string_view name) {
  const std::string pattern = std::string(name) + "=\"";
  for (std::size_t at = tag.find(pattern); at != std::string_view::npos;
       at = tag.find(pattern, at + 1)) {
    if (at == 0 || !IsSpace(tag[at - 1])) continue;
    const std::size_t start = at + pattern.size();
    const std::size_t end = tag.find('"', start);
    if (end == std::string_view::npos) return std::nullopt;
    return tag.substr(start, end - start);
  }
  return std::nullopt;
}

}  // namespace

std::string EnglishWord(std::string_view key, std::initializer_list<WordParam> params) {
  const Catalogue& words = English();
  const auto found = words.find(key);
  if (found == words.end()) return std::string(key);
  const std::string& text = found->second;
  if (params.size() == 0) return text;
  // Each "{name}" once, left to right: a value is never read again for places.
  std::string out;
  std::size_t at = 0;
  for (;;) {
    const std::size_t open = text.find('{', at);
    if (open == std::string::npos) break;
    const std::size_t close = text.find('}', open + 1);
    if (close == std::string::npos) break;
    if (close == open + 1) {
      out.append(text, at, close + 1 - at);
      at = close + 1;
      continue;
    }
    out.append(text, at, open - at);
    const std::string_view name(text.data() + open + 1, close - open - 1);
    const WordParam* value = nullptr;
    for (const WordParam& p : params) {
      if (name == p.first) value = &p;
    }
    if (value) {
      out += value->second;
    } else {
      out.append(text, open, close + 1 - open);
    }
    at = close + 1;
  }
  out.append(text, at);
  return out;
}

std::string WithEnglishWords(std::string_view html) {
  std::string out;
  std::size_t at = 0;
  for (;;) {
    const std::size_t open = html.find('<', at);
    if (open == std::string_view::npos) break;
    if (html.substr(open, 4) == "<!--") {
      const std::size_t end = html.find("-->", open);
      const std::size_t next = end == std::string_view::npos ? html.size() : end + 3;
      out.append(html.substr(at, next - at));
      at = next;
      continue;
    }
    const std::size_t close = html.find('>', open);
    if (close == std::string_view::npos) break;
    // The tag's text, without a self-closing tag's "/".
    std::size_t end = close;
    if (end > open && html[end - 1] == '/') --end;
    const std::string_view tag = html.substr(open, end - open);
    out.append(html.substr(at, end - at));
    if (const auto key = Attribute(tag, "data-word-title"); key && !Attribute(tag, "title")) {
      out += " title=\"" + EscapeAttribute(EnglishWord(*key)) + "\"";
    }
    if (const auto key = Attribute(tag, "data-word-label"); key && !Attribute(tag, "aria-label")) {
      out += " aria-label=\"" + EscapeAttribute(EnglishWord(*key)) + "\"";
    }
    out.append(html.substr(end, close + 1 - end));
    at = close + 1;
    if (const auto key = Attribute(tag, "data-word"); key && html.substr(at, 2) == "</") {
      out += EscapeMarkup(EnglishWord(*key));
    }
  }
  out.append(html.substr(at));
  return out;
}

}  // namespace atshost
