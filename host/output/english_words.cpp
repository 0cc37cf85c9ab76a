#include "host/output/english_words.h"

#include <algorithm>
#include <functional>
#include <optional>

#include "host/output/english_table.h"
#include "host/output/markup.h"

namespace atshost {
namespace {

// The build writes the table sorted by key with each key once; the look-up's
// binary search holds only so.
static_assert(std::ranges::adjacent_find(english_table::kWords, std::greater_equal<>{},
                                         &english_table::Word::first) ==
              english_table::kWords.end());

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

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
  const auto& words = english_table::kWords;
  const auto found = std::ranges::lower_bound(words, key, {}, &english_table::Word::first);
  if (found == words.end() || found->first != key) return std::string(key);
  const std::string_view text = found->second;
  if (params.size() == 0) return std::string(text);
  // Each "{name}" once, left to right: a value is never read again for places.
  std::string out;
  std::size_t at = 0;
  for (;;) {
    const std::size_t open = text.find('{', at);
    if (open == std::string_view::npos) break;
    const std::size_t close = text.find('}', open + 1);
    if (close == std::string_view::npos) break;
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
