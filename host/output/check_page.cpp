#include "host/output/check_page.h"

#include <algorithm>
#include <initializer_list>
#include <utility>

#include "host/output/chart_axis.h"
#include "host/output/english_words.h"
#include "host/output/html_page.h"
#include "host/output/markup.h"
#include "host/output/page_assets.h"
#include "host/sim/format.h"

namespace atshost {
namespace {

// The chart's frame, in SVG units.
constexpr double kWidth = 1000.0;
constexpr double kHeight = 420.0;
constexpr double kLeft = 60.0;
constexpr double kRight = 20.0;
constexpr double kTop = 24.0;
constexpr double kBottom = 45.0;
// Room the speed axis keeps above the fastest curve or limit, km/h.
constexpr double kSpeedHeadroom = 10.0;
// The finest speed grid, km/h.
constexpr double kSpeedGridKmh = 10.0;
// A limit is drawn as a bar this wide either side of its beacon, px.
constexpr double kLimitBarPx = 6.0;
// Limit labels closer than this to the previous one stack under it, px.
constexpr double kLabelSpacingPx = 28.0;
constexpr double kLabelLinePx = 11.0;
// The height of the track's profile at the foot of the plot, px.
constexpr double kProfilePx = 30.0;
constexpr double kTripRadiusPx = 4.0;
// One colour for each driver of the family, in turn.
constexpr const char* kColours[] = {"#1f77b4", "#ff7f0e", "#2ca02c",
                                    "#9467bd", "#8c564b", "#17becf"};

std::string Num(double v) { return Fixed(v, 1); }

// The page's words are the catalogue's: an element's attributes naming its
// key and the values (names, figures, atshost's English lines) its text is
// filled from, the start tag's end, and the English text, which words.js
// puts in the reader's language. Written as `"<th" << Word(key) << "</th>"`.
std::string Word(const char* key, std::initializer_list<WordParam> params = {}) {
  std::string out = std::string(" data-word=\"") + key + "\"";
  if (params.size() != 0) {
    std::string json;
    for (const auto& [name, value] : params) {
      json += (json.empty() ? "{" : ",") + HtmlPage::JsonString(name) + ":" +
              HtmlPage::JsonString(value);
    }
    out += " data-word-params=\"" + EscapeAttribute(json + "}") + "\"";
  }
  return out + ">" + EscapeMarkup(EnglishWord(key, params));
}

struct Scale {
  double x0, x1, vmax;
  double X(double m) const { return kLeft + (m - x0) / (x1 - x0) * (kWidth - kLeft - kRight); }
  // A speed or limit beyond the axis is drawn at its top.
  double Y(double v) const {
    return kHeight - kBottom - std::min(v, vmax) / vmax * (kHeight - kTop - kBottom);
  }
};

// Where the route ends: its end location, or its last station or beacon,
// or as far as any drive went.
double RouteEnd(const Route& route, const CheckResult& r) {
  double x1 = route.start_location + 1.0;
  for (const CheckDrive& d : r.drives) {
    for (const auto& [at, v] : d.curve) x1 = std::max(x1, at);
  }
  if (route.end_location) return std::max(x1, *route.end_location);
  if (!route.stations.empty()) x1 = std::max(x1, route.stations.back().location);
  if (!route.beacons.empty()) x1 = std::max(x1, route.beacons.back().location);
  return x1;
}

// Whether some drive failed to stop at the station in the window.
bool Missed(const CheckResult& r, std::size_t station) {
  for (const CheckDrive& d : r.drives) {
    const std::vector<StationReport>& st = d.result.verdict.stations;
    if (station < st.size() && st[station].outcome != StationOutcome::kInWindow &&
        st[station].outcome != StationOutcome::kOutside) {
      return true;
    }
  }
  return false;
}

void Axes(std::ostream& out, const Scale& s) {
  const double grid = std::max(kSpeedGridKmh, NiceStep(s.vmax));
  for (int k = 0; k <= 2 * kTargetTicks + 1 && k * grid <= s.vmax; ++k) {
    const double v = k * grid;
    out << "<line class=\"grid\" x1=\"" << Num(kLeft) << "\" x2=\"" << Num(kWidth - kRight)
        << "\" y1=\"" << Num(s.Y(v)) << "\" y2=\"" << Num(s.Y(v)) << "\"/><text x=\""
        << Num(kLeft - 6) << "\" y=\"" << Num(s.Y(v) + 4) << "\" text-anchor=\"end\">"
        << Fixed(v, 0) << "</text>\n";
  }
  // Distance ticks on round values.
  const double step = NiceStep(s.x1 - s.x0);
  // The first round value at or after the start (a start beyond int64's
  // range keeps its own).
  const double steps = s.x0 / step;
  double first = steps > -1e15 && steps < 1e15
                     ? static_cast<double>(static_cast<int64_t>(steps)) * step
                     : s.x0;
  if (first < s.x0) first += step;
  for (int i = 0; i <= 2 * kTargetTicks + 1 && first + i * step <= s.x1; ++i) {
    const double m = first + i * step;
    out << "<text x=\"" << Num(s.X(m)) << "\" y=\"" << Num(kHeight - kBottom + 16)
        << "\" text-anchor=\"middle\">" << EscapeMarkup(Grouped(m, 0)) << "</text>\n";
  }
  out << "<text x=\"" << Num((kLeft + kWidth - kRight) / 2) << "\" y=\"" << Num(kHeight - 8)
      << "\" text-anchor=\"middle\"" << Word("check.axis") << "</text><text x=\"" << Num(kLeft)
      << "\" y=\"" << Num(kTop - 6) << "\" text-anchor=\"middle\"" << Word("unit.km/h")
      << "</text>\n";
  out << "<line class=\"axis\" x1=\"" << Num(kLeft) << "\" x2=\"" << Num(kLeft) << "\" y1=\""
      << Num(kTop) << "\" y2=\"" << Num(kHeight - kBottom) << "\"/><line class=\"axis\" x1=\""
      << Num(kLeft) << "\" x2=\"" << Num(kWidth - kRight) << "\" y1=\"" << Num(kHeight - kBottom)
      << "\" y2=\"" << Num(kHeight - kBottom) << "\"/>\n";
}

// The track's height, drawn as a profile along the foot of the plot.
void Gradients(std::ostream& out, const Route& route, const Scale& s) {
  if (route.gradients.empty()) return;
  std::vector<Gradient> g = route.gradients;
  std::stable_sort(g.begin(), g.end(),
                   [](const Gradient& a, const Gradient& b) { return a.from < b.from; });
  std::vector<std::pair<double, double>> points = {{s.x0, 0.0}};
  double height = 0.0, at = s.x0, permille = 0.0;
  for (const Gradient& section : g) {
    const double to = std::clamp(section.from, s.x0, s.x1);
    height += (to - at) * permille / 1000.0;
    at = to;
    permille = section.permille;
    points.emplace_back(at, height);
  }
  height += (s.x1 - at) * permille / 1000.0;
  points.emplace_back(s.x1, height);
  double low = 0.0, high = 0.0;
  for (const auto& p : points) {
    low = std::min(low, p.second);
    high = std::max(high, p.second);
  }
  const double span = high > low ? high - low : 1.0;
  out << "<polyline class=\"profile\" points=\"";
  for (const auto& [m, h] : points) {
    out << Num(s.X(m)) << ',' << Num(kHeight - kBottom - 2 - (h - low) / span * kProfilePx) << ' ';
  }
  out << "\"><title" << Word("check.gradients") << "</title></polyline>\n";
  for (const Gradient& section : g) {
    if (section.from < s.x0 || section.from > s.x1) continue;
    out << "<text class=\"gradient\" x=\"" << Num(s.X(section.from) + 2) << "\" y=\""
        << Num(kHeight - kBottom - kProfilePx - 4) << "\">" << Shortest(section.permille)
        << " \u2030</text>\n";
  }
}

void Stations(std::ostream& out, const Route& route, const CheckResult& r, const Scale& s) {
  for (std::size_t i = 0; i < route.stations.size(); ++i) {
    const StationStop& st = route.stations[i];
    if (st.location < s.x0 || st.location > s.x1) continue;
    const bool missed = Missed(r, i);
    const double x = s.X(st.location);
    out << "<line class=\"station" << (missed ? " missed" : "") << "\" x1=\"" << Num(x)
        << "\" x2=\"" << Num(x) << "\" y1=\"" << Num(kTop) << "\" y2=\"" << Num(kHeight - kBottom)
        << "\"><title"
        << Word(missed ? "check.station-missed-at" : "check.station-at",
                {{"at", Grouped(st.location, 1)}})
        << "</title></line>\n<text class=\"station-name" << (missed ? " missed" : "") << "\" x=\""
        << Num(x + 3) << "\" y=\"" << Num(kTop + 10) << "\">" << (missed ? "\u2715 " : "")
        << EscapeMarkup(st.name.empty() ? Grouped(st.location, 0) + " m"
                                        : st.name + " " + Grouped(st.location, 0) + " m")
        << "</text>\n";
  }
}

// Every limit labelled; labels that would crowd stack, the lowest (the one
// that binds) first.
void Limits(std::ostream& out, const CheckResult& r, const Scale& s) {
  std::vector<const LimitRow*> group;
  auto flush = [&] {
    if (group.empty()) return;
    std::vector<const LimitRow*> sorted = group;
    std::stable_sort(sorted.begin(), sorted.end(),
                     [](const LimitRow* a, const LimitRow* b) { return a->limit < b->limit; });
    const double x = std::clamp(s.X(group.front()->location), kLeft + 10, kWidth - kRight - 10);
    double y =
        std::max(s.Y(sorted.back()->limit) - 5 - kLabelLinePx * (sorted.size() - 1), kTop + 20);
    for (const LimitRow* row : sorted) {
      out << "<text class=\"limit-label\" x=\"" << Num(x) << "\" y=\"" << Num(y)
          << "\" text-anchor=\"middle\">" << Shortest(row->limit) << "</text>\n";
      y += kLabelLinePx;
    }
    group.clear();
  };
  for (const LimitRow& row : r.rows) {
    if (row.location < s.x0 || row.location > s.x1 || !row.checks_nothing.empty()) continue;
    const double x = s.X(row.location), y = s.Y(row.limit);
    out << "<line class=\"limit\" x1=\"" << Num(x - kLimitBarPx) << "\" x2=\""
        << Num(x + kLimitBarPx) << "\" y1=\"" << Num(y) << "\" y2=\"" << Num(y) << "\"><title"
        << Word("check.limit-at", {{"beacon", BeaconWords(row.beacon)},
                                   {"at", Grouped(row.location, 1)},
                                   {"limit", Shortest(row.limit)}})
        << "</title></line>\n";
    if (!group.empty() && x - s.X(group.front()->location) >= kLabelSpacingPx) flush();
    group.push_back(&row);
  }
  flush();
}

// The braking that does not fit: from each step's first check at its limit,
// on full service, as far as the train runs.
void Steps(std::ostream& out, const CheckResult& r, const Scale& s) {
  for (const LimitStep& step : r.steps) {
    out << "<polyline class=\"step\" points=\"";
    for (const auto& [at, v] : step.braking.curve) {
      if (at > s.x1) break;
      out << Num(s.X(at)) << ',' << Num(s.Y(v)) << ' ';
    }
    out << "\"><title>" << EscapeMarkup(LimitStepLine(step)) << "</title></polyline>\n";
  }
}

void Chart(std::ostream& out, const Route& route, const CheckResult& r) {
  const double x0 = route.start_location, x1 = RouteEnd(route, r);
  double vmax = 0.0;
  for (const CheckDrive& d : r.drives) {
    for (const auto& [at, v] : d.curve)
      vmax = std::max(vmax, static_cast<double>(v < 0.0f ? -v : v));
  }
  for (const LimitRow& row : r.rows) vmax = std::max(vmax, static_cast<double>(row.limit));
  // A beacon's data word may carry any limit: the axis ends where the
  // chart's does, and its grid lines are counted, not stepped to the top.
  const Scale s{x0, x1, std::min(vmax + kSpeedHeadroom, kSpeedAxisLimitKmh)};
  out << "<svg xmlns=\"http://www.w3.org/2000/svg\" viewBox=\"0 0 " << Num(kWidth) << ' '
      << Num(kHeight) << "\" width=\"" << Num(kWidth) << "\" height=\"" << Num(kHeight)
      << "\" role=\"img\" data-word-label=\"check.chart\" aria-label=\""
      << EscapeAttribute(EnglishWord("check.chart")) << "\">\n";
  Axes(out, s);
  Gradients(out, route, s);
  Stations(out, route, r, s);
  for (std::size_t i = 0; i < r.drives.size(); ++i) {
    const CheckDrive& d = r.drives[i];
    out << "<polyline class=\"curve\" stroke=\"" << kColours[i % std::size(kColours)]
        << "\" points=\"";
    for (const auto& [at, v] : d.curve) {
      out << Num(s.X(at)) << ',' << Num(s.Y(v < 0.0f ? -v : v)) << ' ';
    }
    out << "\"><title translate=\"no\">" << EscapeMarkup(d.driver.name) << "</title></polyline>\n";
  }
  Limits(out, r, s);
  Steps(out, r, s);
  for (const CheckDrive& d : r.drives) {
    for (const TripReport& t : d.result.verdict.trips) {
      const double at = t.beacon ? t.beacon_location : t.location;
      const double v = t.beacon ? t.checked_kmh : 0.0;
      out << "<circle class=\"trip\" cx=\"" << Num(s.X(at)) << "\" cy=\"" << Num(s.Y(v))
          << "\" r=\"" << Num(kTripRadiusPx) << "\"><title"
          << Word("check.tripped-at", {{"name", d.driver.name}, {"at", Grouped(at, 1)}})
          << "</title></circle>\n";
    }
  }
  out << "</svg>\n";
}

}  // namespace

void WriteCheckPage(std::ostream& out, const std::string& title, const Route& route,
                    const CheckResult& r) {
  const std::string summary = CheckSummary(r);
  // atshost's own lines (the verdict, the table's beacons and speeds, the
  // problems) stay English, marked so; the title is the route's name.
  out << "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n<title>"
      << EscapeMarkup(title) << "</title>\n<style>\n"
      << page_assets::kWordsCss << page_assets::kCheckPageCss
      << "</style>\n</head>\n<body>\n<header><h1 translate=\"no\">" << EscapeMarkup(title)
      << "</h1> <span class=\"languages\"></span></header>\n<p class=\"verdict "
      << (r.clean() ? "good" : "bad") << "\" lang=\"en\">" << EscapeMarkup(summary) << "</p>\n"
      << "<p class=\"note\"" << Word("check.note") << "</p>\n";
  out << "<p class=\"legend\">";
  for (std::size_t i = 0; i < r.drives.size(); ++i) {
    const CarefulDriver& d = r.drives[i].driver;
    out << "<span><i style=\"background:" << kColours[i % std::size(kColours)] << "\"></i><span"
        << Word(d.speed_hold ? "check.legend-hold" : "check.legend-coasting",
                {{"name", d.name},
                 {"margin", Shortest(d.margin)},
                 {"notch", std::to_string(d.approach_notch)}})
        << "</span></span>";
  }
  out << "</p>\n";
  Chart(out, route, r);
  out << "<table>\n<tr><th" << Word("check.location") << "</th><th" << Word("check.beacon")
      << "</th><th" << Word("check.limit") << "</th><th" << Word("check.fastest") << "</th><th"
      << Word("check.margin") << "</th></tr>\n";
  for (const LimitRow& row : r.rows) {
    out << "<tr><td>" << EscapeMarkup(Grouped(row.location, 1)) << " m</td><td lang=\"en\">"
        << EscapeMarkup(BeaconWords(row.beacon))
        << (row.clears ? " clear-after " + Shortest(*row.clears) : "") << "</td><td>"
        << (row.checks_nothing.empty() ? Shortest(row.limit) + " km/h" : "-") << "</td>";
    const LimitRowWords words = RowWords(row);
    out << "<td lang=\"en\">" << EscapeMarkup(words.fastest) << "</td><td lang=\"en\""
        << (words.over ? " class=\"thin\"" : "") << ">" << EscapeMarkup(words.margin) << "</td>";
    out << "</tr>\n";
  }
  out << "</table>\n";
  const std::vector<std::string> problems = CheckProblems(r);
  const std::vector<std::string> fixes = CheckFixes(route, r);
  if (!problems.empty()) {
    out << "<ul class=\"problems\" lang=\"en\">\n";
    for (std::size_t i = 0; i < problems.size(); ++i) {
      out << "<li>" << EscapeMarkup(problems[i]);
      if (i < fixes.size() && !fixes[i].empty()) {
        out << "<br><span class=\"fix\">" << EscapeMarkup(fixes[i]) << "</span>";
      }
      out << "</li>\n";
    }
    out << "</ul>\n";
  }
  out << "<script id=\"words\" type=\"application/json\">" << page_assets::kWords
      << "</script>\n<script>\n"
      << page_assets::kWordsJs << "Words.start();\n</script>\n</body>\n</html>\n";
}

}  // namespace atshost
