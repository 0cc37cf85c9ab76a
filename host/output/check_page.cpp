#include "host/output/check_page.h"

#include <algorithm>
#include <initializer_list>
#include <utility>

#include "host/output/chart_axis.h"
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
// Limit labels closer than this to the previous one are left out, px.
constexpr double kLabelSpacingPx = 28.0;
constexpr double kTripRadiusPx = 4.0;
constexpr int kDistanceTicks = 10;
// One colour for each driver of the family, in turn.
constexpr const char* kColours[] = {"#1f77b4", "#ff7f0e", "#2ca02c",
                                    "#9467bd", "#8c564b", "#17becf"};

std::string Num(double v) { return Fixed(v, 1); }

// The page's words are the catalogue's, filled in by words.js in the
// reader's language: an element's attributes naming its key and the values
// (names, figures, atshost's English lines) that its text is filled from.
std::string Word(const char* key,
                 std::initializer_list<std::pair<const char*, std::string>> params = {}) {
  std::string out = std::string(" data-word=\"") + key + "\"";
  if (params.size() == 0) return out;
  std::string json;
  for (const auto& [name, value] : params) {
    json +=
        (json.empty() ? "{" : ",") + HtmlPage::JsonString(name) + ":" + HtmlPage::JsonString(value);
  }
  return out + " data-word-params=\"" + EscapeAttribute(json + "}") + "\"";
}

struct Scale {
  double x0, x1, vmax;
  double X(double m) const { return kLeft + (m - x0) / (x1 - x0) * (kWidth - kLeft - kRight); }
  // A speed or limit beyond the axis is drawn at its top.
  double Y(double v) const {
    return kHeight - kBottom - std::min(v, vmax) / vmax * (kHeight - kTop - kBottom);
  }
};

void Chart(std::ostream& out, const Route& route, const CheckResult& r) {
  double x0 = route.start_location, x1 = x0 + 1.0, vmax = 0.0;
  for (const CheckDrive& d : r.drives) {
    for (const auto& [at, v] : d.curve) {
      x1 = std::max(x1, at);
      vmax = std::max(vmax, static_cast<double>(v < 0.0f ? -v : v));
    }
  }
  for (const LimitRow& row : r.rows) vmax = std::max(vmax, static_cast<double>(row.limit));
  // A beacon's data word may carry any limit: the axis ends where the
  // chart's does, and its grid lines are counted, not stepped to the top.
  const Scale s{x0, x1, std::min(vmax + kSpeedHeadroom, kSpeedAxisLimitKmh)};
  const double grid = std::max(kSpeedGridKmh, NiceStep(s.vmax));
  out << "<svg xmlns=\"http://www.w3.org/2000/svg\" viewBox=\"0 0 " << Num(kWidth) << ' '
      << Num(kHeight) << "\" width=\"" << Num(kWidth) << "\" height=\"" << Num(kHeight)
      << "\" role=\"img\" data-word-label=\"check.chart\">\n";
  for (int k = 0; k <= 2 * kTargetTicks + 1 && k * grid <= s.vmax; ++k) {
    const double v = k * grid;
    out << "<line class=\"grid\" x1=\"" << Num(kLeft) << "\" x2=\"" << Num(kWidth - kRight)
        << "\" y1=\"" << Num(s.Y(v)) << "\" y2=\"" << Num(s.Y(v)) << "\"/><text x=\""
        << Num(kLeft - 6) << "\" y=\"" << Num(s.Y(v) + 4) << "\" text-anchor=\"end\">"
        << Fixed(v, 0) << "</text>\n";
  }
  for (int i = 0; i <= kDistanceTicks; ++i) {
    const double m = x0 + (x1 - x0) * i / kDistanceTicks;
    out << "<text x=\"" << Num(s.X(m)) << "\" y=\"" << Num(kHeight - kBottom + 16)
        << "\" text-anchor=\"middle\">" << EscapeMarkup(Grouped(m, 0)) << "</text>\n";
  }
  out << "<text x=\"" << Num((kLeft + kWidth - kRight) / 2) << "\" y=\"" << Num(kHeight - 8)
      << "\" text-anchor=\"middle\"" << Word("check.axis") << "></text><text x=\"" << Num(kLeft)
      << "\" y=\"" << Num(kTop - 6) << "\" text-anchor=\"middle\"" << Word("unit.km/h")
      << "></text>\n";
  out << "<line class=\"axis\" x1=\"" << Num(kLeft) << "\" x2=\"" << Num(kLeft) << "\" y1=\""
      << Num(kTop) << "\" y2=\"" << Num(kHeight - kBottom) << "\"/><line class=\"axis\" x1=\""
      << Num(kLeft) << "\" x2=\"" << Num(kWidth - kRight) << "\" y1=\"" << Num(kHeight - kBottom)
      << "\" y2=\"" << Num(kHeight - kBottom) << "\"/>\n";
  for (const StationStop& st : route.stations) {
    if (st.location < x0 || st.location > x1) continue;
    out << "<line class=\"station\" x1=\"" << Num(s.X(st.location)) << "\" x2=\""
        << Num(s.X(st.location)) << "\" y1=\"" << Num(kTop) << "\" y2=\"" << Num(kHeight - kBottom)
        << "\"><title" << Word("check.station-at", {{"at", Grouped(st.location, 1)}})
        << "></title></line>\n";
  }
  for (std::size_t i = 0; i < r.drives.size(); ++i) {
    const CheckDrive& d = r.drives[i];
    out << "<polyline class=\"curve\" stroke=\"" << kColours[i % std::size(kColours)]
        << "\" points=\"";
    for (const auto& [at, v] : d.curve) {
      out << Num(s.X(at)) << ',' << Num(s.Y(v < 0.0f ? -v : v)) << ' ';
    }
    out << "\"><title translate=\"no\">" << EscapeMarkup(d.driver.name) << "</title></polyline>\n";
  }
  double last_label = -1e9;
  for (const LimitRow& row : r.rows) {
    if (row.location < x0 || row.location > x1) continue;
    const double x = s.X(row.location), y = s.Y(row.limit);
    out << "<line class=\"limit\" x1=\"" << Num(x - kLimitBarPx) << "\" x2=\""
        << Num(x + kLimitBarPx) << "\" y1=\"" << Num(y) << "\" y2=\"" << Num(y) << "\"><title"
        << Word("check.limit-at", {{"beacon", BeaconWords(row.beacon)},
                                   {"at", Grouped(row.location, 1)},
                                   {"limit", Shortest(row.limit)}})
        << "></title></line>\n";
    if (x - last_label >= kLabelSpacingPx) {
      // Kept inside the plot at either edge.
      const double lx = std::clamp(x, kLeft + 10, kWidth - kRight - 10);
      out << "<text x=\"" << Num(lx) << "\" y=\"" << Num(std::max(y - 5, kTop + 10))
          << "\" text-anchor=\"middle\">" << Shortest(row.limit) << "</text>\n";
      last_label = x;
    }
  }
  for (const CheckDrive& d : r.drives) {
    for (const TripReport& t : d.result.verdict.trips) {
      const double at = t.beacon ? t.beacon_location : t.location;
      const double v = t.beacon ? t.checked_kmh : 0.0;
      out << "<circle class=\"trip\" cx=\"" << Num(s.X(at)) << "\" cy=\"" << Num(s.Y(v))
          << "\" r=\"" << Num(kTripRadiusPx) << "\"><title"
          << Word("check.tripped-at", {{"name", d.driver.name}, {"at", Grouped(at, 1)}})
          << "></title></circle>\n";
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
      << "<p class=\"note\"" << Word("check.note") << "></p>\n";
  out << "<p class=\"legend\">";
  for (std::size_t i = 0; i < r.drives.size(); ++i) {
    const CarefulDriver& d = r.drives[i].driver;
    out << "<span><i style=\"background:" << kColours[i % std::size(kColours)] << "\"></i><span"
        << Word(d.speed_hold ? "check.legend-hold" : "check.legend-coasting",
                {{"name", d.name},
                 {"margin", Shortest(d.margin)},
                 {"notch", std::to_string(d.approach_notch)}})
        << "></span></span>";
  }
  out << "</p>\n";
  Chart(out, route, r);
  out << "<table>\n<tr><th" << Word("check.location") << "></th><th" << Word("check.beacon")
      << "></th><th" << Word("check.limit") << "></th><th" << Word("check.fastest") << "></th><th"
      << Word("check.margin") << "></th></tr>\n";
  for (const LimitRow& row : r.rows) {
    out << "<tr><td>" << EscapeMarkup(Grouped(row.location, 1)) << " m</td><td lang=\"en\">"
        << EscapeMarkup(BeaconWords(row.beacon)) << "</td><td>" << Shortest(row.limit)
        << " km/h</td>";
    const LimitRowWords words = RowWords(row);
    out << "<td lang=\"en\">" << EscapeMarkup(words.fastest) << "</td><td lang=\"en\""
        << (words.over ? " class=\"thin\"" : "") << ">" << EscapeMarkup(words.margin) << "</td>";
    out << "</tr>\n";
  }
  out << "</table>\n";
  const std::vector<std::string> problems = CheckProblems(r);
  if (!problems.empty()) {
    out << "<ul class=\"problems\" lang=\"en\">\n";
    for (const std::string& p : problems) out << "<li>" << EscapeMarkup(p) << "</li>\n";
    out << "</ul>\n";
  }
  out << "<script id=\"words\" type=\"application/json\">" << page_assets::kWords
      << "</script>\n<script>\n"
      << page_assets::kWordsJs << "Words.start();\n</script>\n</body>\n</html>\n";
}

}  // namespace atshost
