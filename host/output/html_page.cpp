#include "host/output/html_page.h"

#include <array>
#include <cmath>
#include <string_view>

#include "host/output/english_words.h"
#include "host/output/markup.h"
#include "host/output/page_assets.h"
#include "host/sim/format.h"

namespace atshost {
namespace {

// Rounded values stay below this size, so that they are exact in the
// page's numbers (doubles) as well as here.
constexpr double kLargestRounded = 9007199254740992.0;  // 2^53

// The data's names of the driver's and the returned handles (the cab's
// data-driver and data-handle names), in cab.h's order.
constexpr std::array<const char*, kDriverCount> kHostNames = [] {
  std::array<const char*, kDriverCount> n{};
  n[kDriverBrake] = "brake";
  n[kDriverPower] = "power";
  n[kDriverReverser] = "reverser";
  n[kDriverDoorsClosed] = "doors_closed";
  return n;
}();
constexpr std::array<const char*, kHandleCount> kHandleNames = [] {
  std::array<const char*, kHandleCount> n{};
  n[kHandleBrake] = "brake";
  n[kHandlePower] = "power";
  n[kHandleReverser] = "reverser";
  n[kHandleConstantSpeed] = "constant-speed";
  return n;
}();

// The exact text of a value the page reads with Number(): JavaScript spells
// the values that are not numbers its own way.
std::string ExactNumber(double v) {
  if (std::isnan(v)) return "NaN";
  if (std::isinf(v)) return v > 0 ? "Infinity" : "-Infinity";
  return Shortest(v);
}

// A JSON number for a value that should be finite; 0 if it is not.
std::string FiniteNumber(double v) { return std::isfinite(v) ? Shortest(v) : "0"; }

// `item` added to `list`, after a comma unless it starts the list.
void Append(std::string& list, const std::string& item) {
  if (!list.empty()) list += ',';
  list += item;
}

// The page's template with each "{{name}}" replaced by its text. One pass,
// so that replaced text is never read again for names.
std::string Fill(std::string_view page,
                 const std::vector<std::pair<std::string_view, std::string_view>>& fills) {
  std::string out;
  std::size_t at = 0;
  while (at < page.size()) {
    const std::size_t open = page.find("{{", at);
    if (open == std::string_view::npos) break;
    const std::size_t close = page.find("}}", open + 2);
    if (close == std::string_view::npos) break;
    out.append(page.substr(at, open - at));
    const std::string_view name = page.substr(open + 2, close - open - 2);
    bool found = false;
    for (const auto& [key, text] : fills) {
      if (key == name) {
        out.append(text);
        found = true;
      }
    }
    if (!found) out.append(page.substr(open, close + 2 - open));
    at = close + 2;
  }
  out.append(page.substr(at));
  return out;
}

}  // namespace

std::string HtmlPage::JsonString(const std::string& text) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string out = "\"";
  for (char c : text) {
    const auto u = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (u < 0x20 || c == '<' || c == '>' || c == '&') {
      // Control characters must be escaped in JSON; '<' and the others are,
      // so that no text (a note, a file name) can close the script element
      // that holds the data.
      out += "\\u00";
      out += kHex[u >> 4];
      out += kHex[u & 0xf];
    } else {
      out += c;
    }
  }
  return out + "\"";
}

void HtmlPage::StepColumn::Flush() {
  if (run_ == 0) return;
  if (run_ <= 2) {
    for (int64_t i = 0; i < run_; ++i) Append(out_, std::to_string(step_));
  } else {
    Append(out_, "[" + std::to_string(run_) + "," + std::to_string(step_) + "]");
  }
  run_ = 0;
}

void HtmlPage::StepColumn::Add(double value) {
  const double scaled = value * scale_;
  if (!(std::fabs(scaled) < kLargestRounded)) {
    Flush();
    Append(out_, "\"" + ExactNumber(value) + "\"");
    return;
  }
  const auto rounded = static_cast<int64_t>(std::llround(scaled));
  const int64_t step = rounded - base_;
  base_ = rounded;
  if (run_ > 0 && step != step_) Flush();
  step_ = step;
  ++run_;
}

std::string HtmlPage::StepColumn::Json() const {
  StepColumn done = *this;
  done.Flush();
  return "{\"scale\":" + Shortest(scale_) + ",\"steps\":[" + done.out_ + "]}";
}

void HtmlPage::ChangeColumn::Add(int64_t position, int32_t value) {
  if (any_ && value == last_) return;
  Append(out_, std::to_string(position - last_at_) + "," + std::to_string(value));
  any_ = true;
  last_ = value;
  last_at_ = position;
}

HtmlPage::HtmlPage(std::string title) : title_(std::move(title)) {}

void HtmlPage::OnFrame(const FrameRecord& r) {
  if (count_ == 0) first_index_ = r.index;
  const int64_t at = count_++;
  time_.Add(r.state.Time);
  location_.Add(r.state.Location);
  speed_.Add(r.state.Speed);
  bc_.Add(r.state.BcPressure);
  mr_.Add(r.state.MrPressure);
  current_.Add(r.state.Current);
  emergency_.Add(at, r.host.emergency_notch());
  std::size_t column = 0;
  for (int32_t v : r.DriverInOrder()) ints_[column++].Add(at, v);
  for (int32_t v : r.HandlesInOrder()) ints_[column++].Add(at, v);
  for (int32_t v : r.panel) ints_[column++].Add(at, v);
  for (int32_t v : r.sound) ints_[column++].Add(at, v);

  if (!r.events.empty())
    Append(events_, std::to_string(at) + "," + JsonString(DescribeFirst(r.events)));
  timeline_.OnFrame(r);
  AddLines(at);
}

void HtmlPage::OnFinish(const std::vector<HostEvent>& trailing) {
  timeline_.OnFinish(trailing);
  AddLines(count_ > 0 ? count_ - 1 : 0);
}

void HtmlPage::AddLines(int64_t position) {
  const std::string text = timeline_text_.text();
  if (text.empty()) return;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    Append(lines_, std::to_string(position) + "," + JsonString(text.substr(start, end - start)));
    start = end + 1;
  }
  timeline_text_.text().clear();
}

void HtmlPage::Write(std::ostream& out, const std::string& chart_svg,
                     const SvgChart::PlotArea& plot) const {
  std::string data = "{\"title\":" + JsonString(title_) +
                     ",\"first\":" + std::to_string(first_index_) +
                     ",\"count\":" + std::to_string(count_);
  data += ",\"time\":" + time_.Json() + ",\"location\":" + location_.Json() +
          ",\"speed\":" + speed_.Json() + ",\"bc\":" + bc_.Json() + ",\"mr\":" + mr_.Json() +
          ",\"current\":" + current_.Json() + ",\"emergency\":[" + emergency_.json() + "]";
  std::size_t column = 0;
  auto group = [&](const char* name, auto&& key, std::size_t n) {
    data += std::string(",\"") + name + "\":{";
    for (std::size_t i = 0; i < n; ++i) {
      data += (i > 0 ? ",\"" : "\"") + key(i) + "\":[" + ints_[column++].json() + "]";
    }
    data += "}";
  };
  group(
      "host", [](std::size_t i) { return std::string(kHostNames[i]); }, kHostColumns);
  group(
      "handles", [](std::size_t i) { return std::string(kHandleNames[i]); }, kHandleColumns);
  group(
      "panel", [](std::size_t i) { return std::to_string(kPanelIndices[i].index); },
      kPanelIndices.size());
  group(
      "sound", [](std::size_t i) { return std::to_string(kSoundIndices[i].index); },
      kSoundIndices.size());
  data += ",\"events\":[" + events_ + "],\"timeline\":[" + lines_ + "]";
  data += ",\"plot\":{\"distance\":" + std::string(plot.distance ? "true" : "false") +
          ",\"lo\":" + FiniteNumber(plot.lo) + ",\"hi\":" + FiniteNumber(plot.hi) +
          ",\"left\":" + FiniteNumber(plot.left) + ",\"right\":" + FiniteNumber(plot.right) +
          ",\"top\":" + FiniteNumber(plot.top) + ",\"bottom\":" + FiniteNumber(plot.bottom) + "}}";

  // The chart goes inline: without its XML declaration, which HTML has no
  // place for.
  std::string_view chart = chart_svg;
  if (chart.rfind("<?xml", 0) == 0) chart.remove_prefix(chart.find('\n') + 1);

  // The page's and the cab's fixed words in English, so that the page reads
  // whole where no script runs.
  static const std::string view = WithEnglishWords(page_assets::kCabViewHtml);
  static const std::string cab = WithEnglishWords(page_assets::kCabHtml);
  out << Fill(view, {{"title", EscapeMarkup(title_)},
                     {"cab", cab},
                     {"words_style", page_assets::kWordsCss},
                     {"cab_style", page_assets::kCabCss},
                     {"style", page_assets::kCabViewCss},
                     {"cab_constants", page_assets::kCabConstantsJs},
                     {"cab_script", page_assets::kCabJs},
                     {"words", page_assets::kWords},
                     {"words_script", page_assets::kWordsJs},
                     {"script", page_assets::kCabViewJs},
                     {"data", data},
                     {"chart", chart}});
}

}  // namespace atshost
