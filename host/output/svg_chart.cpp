#include "host/output/svg_chart.h"

#include <algorithm>
#include <cmath>

#include "host/output/chart_axis.h"
#include "host/output/markup.h"
#include "host/sim/format.h"
#include "host/sim/units.h"
#include "host/sim/verdict.h"

namespace atshost {
namespace {

// Page layout, in SVG user units (pixels).
constexpr double kWidth = 1200.0;
constexpr double kLeft = 70.0;
constexpr double kRight = 1170.0;
constexpr double kSpeedTop = 70.0;
constexpr double kSpeedBottom = 470.0;
constexpr double kHandleTop = 520.0;
constexpr double kHandleBottom = 700.0;
constexpr double kHeight = 760.0;
constexpr double kLabelRoom = 40.0;  // half the width of a short label
constexpr double kStackStep = 12.0;  // one line of small text

// Speeds beyond the speed axis (kSpeedAxisLimitKmh), and frames whose speed
// or (on the distance axis) location is not a number, are drawn at its edge
// or left out, and the chart says how many there were.
constexpr double kSpeedAxisLimit = kSpeedAxisLimitKmh;
// The handle panel shows notches up to here; higher ones are drawn at its top.
constexpr int32_t kNotchAxisLimit = 100;
// Marks kept for the chart; a replay could pass a beacon in every frame.
constexpr std::size_t kMaxMarks = 2000;

// Colours.
constexpr const char* kSpeedColour = "#1f5fbf";
constexpr const char* kBrakeColour = "#c62828";
constexpr const char* kPowerColour = "#2e7d32";
constexpr const char* kGovernorColour = "#d84315";
constexpr const char* kReleaseColour = "#ef6c00";
constexpr const char* kLimitColour = "#6a1b9a";
constexpr const char* kStationColour = "#00695c";
constexpr const char* kGradientColour = "#795548";
// The gradient profile's half height, px.
constexpr double kProfileHeight = 30.0;
// Labels stack at most this many lines before they start again at the first.
constexpr int kMaxStack = 4;
// A train this close to a station has reached it, m.
constexpr double kStationReachedM = 1.0;

std::string Num(double v) { return Fixed(v, 1); }

// A range that is not empty: a point becomes a span around it that is still
// wide at the precision of its own magnitude.
void Widen(double& lo, double& hi) {
  if (hi > lo) return;
  const double half = std::max(1.0, std::abs(lo) * 1e-9);
  if (std::isfinite(lo + half)) {
    hi = lo + half;
  } else {
    lo = hi - half;
  }
}

// The points of a polyline, at most four to a pixel column: where many frames
// fall on one column, its first, lowest, highest and last point are all that
// can be seen, and the file stays small however long the run.
class Points {
 public:
  void Add(double x, double y) {
    const double column = std::floor(x);
    if (count_ > 0 && column == column_) {
      ++count_;
      if (y < low_.y) low_ = {x, y, count_};
      if (y > high_.y) high_ = {x, y, count_};
      last_ = {x, y, count_};
      return;
    }
    Flush();
    column_ = column;
    count_ = 1;
    first_ = low_ = high_ = last_ = {x, y, 1};
  }
  std::string Take() {
    Flush();
    return std::move(out_);
  }

 private:
  struct Point {
    double x, y;
    int64_t order;
  };
  void Flush() {
    if (count_ == 0) return;
    const bool low_first = low_.order <= high_.order;
    for (const Point& p : {first_, low_first ? low_ : high_, low_first ? high_ : low_, last_}) {
      std::string text = Num(p.x) + "," + Num(p.y) + " ";
      if (text != previous_) out_ += text;
      previous_ = std::move(text);
    }
    count_ = 0;
  }
  std::string out_, previous_;
  double column_ = 0.0;
  int64_t count_ = 0;
  Point first_{}, low_{}, high_{}, last_{};
};

// Rectangles across the plot, one fill each: spans that touch or lie within a
// pixel of each other become one, so that a state flickering every frame
// makes one band rather than a rectangle a frame.
class Spans {
 public:
  explicit Spans(std::string (*draw)(double a, double b, const char* fill)) : draw_(draw) {}
  void Add(double a, double b, const char* fill) {
    for (Pending& p : pending_) {
      if (p.fill == fill) {
        if (a <= p.b + 1.0) {
          p.b = std::max(p.b, b);
          return;
        }
        out_ += draw_(p.a, p.b, p.fill);
        p = {a, b, fill};
        return;
      }
    }
    pending_.push_back({a, b, fill});
  }
  std::string Take() {
    for (const Pending& p : pending_) out_ += draw_(p.a, p.b, p.fill);
    pending_.clear();
    return std::move(out_);
  }

 private:
  struct Pending {
    double a, b;
    const char* fill;
  };
  std::string (*draw_)(double, double, const char*);
  std::vector<Pending> pending_;
  std::string out_;
};

std::string Text(double x, double y, const std::string& text, const char* extra = "") {
  return "<text x=\"" + Num(x) + "\" y=\"" + Num(y) + "\" " + extra + ">" + EscapeMarkup(text) +
         "</text>\n";
}

std::string Line(double x1, double y1, double x2, double y2, const std::string& style) {
  return "<line x1=\"" + Num(x1) + "\" y1=\"" + Num(y1) + "\" x2=\"" + Num(x2) + "\" y2=\"" +
         Num(y2) + "\" " + style + "/>\n";
}

}  // namespace

std::optional<double> BeaconLimit(const ATS_BEACONDATA& b) {
  // The one table of limits, the authors' guide's, that the drives' verdicts
  // and the careful driver read too.
  const std::optional<float> limit = CheckedLimit(b);
  return limit ? std::optional<double>(*limit) : std::nullopt;
}

void SvgChart::SetRoute(std::vector<std::pair<double, std::string>> stations,
                        std::vector<Gradient> gradients) {
  std::sort(stations.begin(), stations.end());
  stations_ = std::move(stations);
  if (!gradients.empty()) profile_.emplace(ModelParams{}, std::move(gradients), TrainState{});
}

void SvgChart::OnFrame(const FrameRecord& r) {
  Sample s;
  s.gradient = profile_ ? profile_->GradientAt(r.state.Location) : 0.0;
  s.time_s = r.state.Time / kMsPerS;
  s.location = r.state.Location;
  s.speed = r.state.Speed;
  s.brake = r.handles.Brake;
  s.power = r.handles.Power;
  s.driver_brake = r.host.brake;
  s.driver_power = r.host.power;
  s.constant_speed = r.handles.ConstantSpeed;
  s.unit = reader_.Read(r);
  emergency_ = std::max(emergency_, r.host.emergency_notch());
  top_power_ = std::max({top_power_, r.host.power, r.handles.Power});

  const Sample* before = samples_.empty() ? nullptr : &samples_.back();
  auto mark = [&](Mark::Kind kind, std::string label, std::optional<double> limit) {
    if (marks_.size() >= kMaxMarks) {
      ++unmarked_;
      return;
    }
    marks_.push_back(Mark{s.time_s, s.location, std::move(label), limit, kind});
  };
  for (const HostEvent& e : r.events) {
    if (e.kind != EventKind::kBeacon) continue;
    const std::optional<double> limit = BeaconLimit(e.beacon);
    mark(Mark::Kind::kBeacon, limit ? Fixed(*limit, 0) : "b" + std::to_string(e.beacon.Type),
         limit);
  }
  const UnitState unit = s.unit;
  if (unit == UnitState::kTripped && (before == nullptr || before->unit != unit)) {
    mark(Mark::Kind::kTrip, "TRIP", std::nullopt);
  }
  if (unit == UnitState::kWarning && (before == nullptr || before->unit != unit)) {
    mark(Mark::Kind::kWarning, UnitStateName(unit), std::nullopt);
  }
  // A station is marked where the train first comes within a metre of it.
  for (; next_station_ < stations_.size() &&
         s.location >= stations_[next_station_].first - kStationReachedM;
       ++next_station_) {
    const auto& [at, name] = stations_[next_station_];
    mark(Mark::Kind::kStation, (name.empty() ? "station " : name + " ") + Grouped(at, 0) + " m",
         std::nullopt);
  }
  if (r.Panel(kPanelStopWindow) != 0 && (samples_.empty() || !in_window_)) {
    mark(Mark::Kind::kStop, "stop window", std::nullopt);
  }
  in_window_ = r.Panel(kPanelStopWindow) != 0;
  samples_.push_back(s);
}

std::pair<double, double> SvgChart::XSpan() const {
  double lo = HUGE_VAL, hi = -HUGE_VAL;
  for (const Sample& s : samples_) {
    if (!std::isfinite(X(s))) continue;
    lo = std::min(lo, X(s));
    hi = std::max(hi, X(s));
  }
  if (lo > hi) lo = hi = 0.0;  // no frame has a finite position
  Widen(lo, hi);
  return {lo, hi};
}

SvgChart::PlotArea SvgChart::Area() const {
  const auto [lo, hi] = XSpan();
  return PlotArea{axis_ == Axis::kDistance, lo, hi, kLeft, kRight, kSpeedTop, kHandleBottom};
}

struct SvgChart::Scales {
  double x_lo, x_hi;          // what the horizontal axis spans
  double v_lo, v_hi, v_step;  // the speed axis, whole ticks at both ends
  int32_t n_hi;               // the highest notch the handle panel shows
  int64_t off_scale;          // frames not a number or beyond the speed axis
  LinearScale x, v, n;
  // Where a frame is drawn; infinite locations at the edges, NaN nowhere.
  static bool Placed(double at) { return at == at; }
  double Px(double at) const { return x(std::clamp(at, x_lo, x_hi)); }
  double Notch(int32_t k) const { return n(std::clamp(k, 0, n_hi)); }
};

// Only finite values set the scales.
SvgChart::Scales SvgChart::MakeScales() const {
  const auto [x_lo, x_hi] = XSpan();
  double v_lo = 0.0, v_hi = 90.0;
  int64_t off_scale = 0;
  for (const Sample& s : samples_) {
    if (!std::isfinite(X(s)) || !(std::abs(s.speed) <= kSpeedAxisLimit)) {
      ++off_scale;
      continue;
    }
    v_lo = std::min(v_lo, s.speed);
    v_hi = std::max(v_hi, std::min(s.speed + 5.0, kSpeedAxisLimit));
  }
  const double v_step = NiceStep(v_hi - v_lo);
  v_lo = v_step * std::floor(v_lo / v_step);
  v_hi = v_step * (std::floor(v_hi / v_step) + 1.0);
  const int32_t n_hi = std::min(std::max(emergency_, top_power_), kNotchAxisLimit) + 1;
  return Scales{x_lo,
                x_hi,
                v_lo,
                v_hi,
                v_step,
                n_hi,
                off_scale,
                LinearScale{x_lo, x_hi, kLeft, kRight},
                LinearScale{v_lo, v_hi, kSpeedBottom, kSpeedTop},
                LinearScale{0.0, static_cast<double>(n_hi), kHandleBottom, kHandleTop}};
}

void SvgChart::Write(std::ostream& out) const {
  std::string svg;
  svg += "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
  svg += "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + Num(kWidth) + "\" height=\"" +
         Num(kHeight) + "\" viewBox=\"0 0 " + Num(kWidth) + " " + Num(kHeight) +
         "\" font-family=\"sans-serif\" font-size=\"12\">\n";
  svg += "<rect width=\"100%\" height=\"100%\" fill=\"white\"/>\n";
  svg += Text(kLeft, 24, title_, "font-size=\"16\" font-weight=\"bold\"");
  if (samples_.empty()) {
    svg += Text(kLeft, kSpeedTop + 20, "no frames were run");
  } else {
    // Bottom layer first: what is drawn later lies over it.
    const Scales sc = MakeScales();
    svg += Warnings(sc);
    svg += Shading(sc);
    svg += Grid(sc);
    svg += GovernorLines(sc);
    svg += Marks(sc);
    svg += Speed(sc);
    svg += GradientProfile(sc);
    svg += Handles(sc);
    svg += ConstantSpeedBand(sc);
    svg += Legend();
  }
  out << svg << "</svg>\n";
}

// What the chart could not draw: frames off its scale, marks beyond the most
// kept.
std::string SvgChart::Warnings(const Scales& sc) const {
  std::string svg;
  if (sc.off_scale > 0) {
    svg += Text(kRight, 24,
                std::to_string(sc.off_scale) +
                    " frames off the scale (not a number, or beyond 1000 km/h): drawn at its "
                    "edge or left out",
                "text-anchor=\"end\" fill=\"#b71c1c\"");
  }
  if (unmarked_ > 0) {
    svg += Text(kRight, kHandleBottom + 36,
                "the first " + std::to_string(kMaxMarks) + " marks only; " +
                    std::to_string(unmarked_) + " more are not drawn",
                "text-anchor=\"end\" fill=\"#b71c1c\"");
  }
  return svg;
}

// Shading while the unit is off, tripped or warning, over both panels; on the
// time axis only, where a span of frames is a span of the plot.
std::string SvgChart::Shading(const Scales& sc) const {
  Spans shading([](double a, double b, const char* fill) {
    std::string out;
    for (auto [top, bottom] : {std::pair{kSpeedTop, kSpeedBottom}, {kHandleTop, kHandleBottom}}) {
      out += "<rect x=\"" + Num(a) + "\" y=\"" + Num(top) + "\" width=\"" +
             Num(std::max(b - a, 1.0)) + "\" height=\"" + Num(bottom - top) + "\" fill=\"" + fill +
             "\"/>\n";
    }
    return out;
  });
  for (std::size_t i = 0; i < samples_.size();) {
    std::size_t j = i;
    while (j + 1 < samples_.size() && samples_[j + 1].unit == samples_[i].unit) ++j;
    const UnitState unit = samples_[i].unit;
    const char* fill = unit == UnitState::kOff       ? "#e0e0e0"
                       : unit == UnitState::kTripped ? "#ffd6d6"
                       : unit == UnitState::kWarning ? "#ffe6bf"
                                                     : nullptr;
    if (fill != nullptr && axis_ == Axis::kTime) {
      const double a = sc.x(X(samples_[i]));
      const double b = sc.x(X(samples_[std::min(j + 1, samples_.size() - 1)]));
      shading.Add(a, b, fill);
    }
    i = j + 1;
  }
  return shading.Take();
}

// Grids, axes and their labels.
std::string SvgChart::Grid(const Scales& sc) const {
  std::string svg;
  // A step of the whole range, or of its half where the whole overflows; the
  // ticks are counted, so that no rounding can keep the loop from its end.
  const bool whole = std::isfinite(sc.x_hi - sc.x_lo);
  const double x_step =
      whole ? NiceStep(sc.x_hi - sc.x_lo) : 2.0 * NiceStep(sc.x_hi / 2 - sc.x_lo / 2);
  const double first_tick = x_step * std::ceil(sc.x_lo / x_step);
  for (int k = 0; k <= 2 * kTargetTicks + 1 && std::isfinite(first_tick); ++k) {
    const double t = first_tick + k * x_step;
    if (!(t <= sc.x_hi)) break;
    for (auto [top, bottom] : {std::pair{kSpeedTop, kSpeedBottom}, {kHandleTop, kHandleBottom}}) {
      svg += Line(sc.x(t), top, sc.x(t), bottom, "stroke=\"#ececec\"");
    }
    svg += Text(sc.x(t), kHandleBottom + 16, Grouped(t, x_step < 1.0 ? 1 : 0),
                "text-anchor=\"middle\" fill=\"#444\"");
  }
  svg += Text((kLeft + kRight) / 2, kHandleBottom + 36,
              axis_ == Axis::kTime ? "host time (s)" : "location (m)",
              "text-anchor=\"middle\" fill=\"#444\"");
  for (int k = 0; k <= 2 * kTargetTicks + 1; ++k) {
    const double s = sc.v_lo + k * sc.v_step;
    if (s > sc.v_hi + sc.v_step / 2) break;
    svg += Line(kLeft, sc.v(s), kRight, sc.v(s), "stroke=\"#ececec\"");
    svg += Text(kLeft - 6, sc.v(s) + 4, Fixed(s, 0), "text-anchor=\"end\" fill=\"#444\"");
  }
  svg += Text(16, (kSpeedTop + kSpeedBottom) / 2, "speed (km/h)",
              ("text-anchor=\"middle\" fill=\"#444\" transform=\"rotate(-90 16 " +
               Num((kSpeedTop + kSpeedBottom) / 2) + ")\"")
                  .c_str());
  for (int32_t k = 0; k <= sc.n_hi; ++k) {
    svg += Line(kLeft, sc.n(k), kRight, sc.n(k), "stroke=\"#ececec\"");
    svg += Text(kLeft - 6, sc.n(k) + 4, std::to_string(k), "text-anchor=\"end\" fill=\"#444\"");
  }
  svg += Text(16, (kHandleTop + kHandleBottom) / 2, "notch",
              ("text-anchor=\"middle\" fill=\"#444\" transform=\"rotate(-90 16 " +
               Num((kHandleTop + kHandleBottom) / 2) + ")\"")
                  .c_str());
  for (auto [top, bottom] : {std::pair{kSpeedTop, kSpeedBottom}, {kHandleTop, kHandleBottom}}) {
    svg += "<rect x=\"" + Num(kLeft) + "\" y=\"" + Num(top) + "\" width=\"" + Num(kRight - kLeft) +
           "\" height=\"" + Num(bottom - top) + "\" fill=\"none\" stroke=\"#888\"/>\n";
  }
  return svg;
}

// The governor's two thresholds.
std::string SvgChart::GovernorLines(const Scales& sc) {
  std::string svg;
  svg += Line(kLeft, sc.v(kGovernorBrakesKmh), kRight, sc.v(kGovernorBrakesKmh),
              std::string("stroke=\"") + kGovernorColour + "\" stroke-dasharray=\"8 4\"");
  svg += Text(kRight - 4, sc.v(kGovernorBrakesKmh) - 4,
              Shortest(kGovernorBrakesKmh) + ": governor brakes above",
              (std::string("text-anchor=\"end\" fill=\"") + kGovernorColour + "\"").c_str());
  svg += Line(kLeft, sc.v(kGovernorReleasesKmh), kRight, sc.v(kGovernorReleasesKmh),
              std::string("stroke=\"") + kReleaseColour + "\" stroke-dasharray=\"3 3\"");
  svg += Text(kRight - 4, sc.v(kGovernorReleasesKmh) + 14,
              Shortest(kGovernorReleasesKmh) + ": releases below",
              (std::string("text-anchor=\"end\" fill=\"") + kReleaseColour + "\"").c_str());
  return svg;
}

// Marks: beacons with their limits, trips, warnings, stations, stops. Labels
// stay inside the plot, and labels of marks passed close together stack.
std::string SvgChart::Marks(const Scales& sc) const {
  std::string svg;
  double last_label_x = -1e9, last_limit_x = -1e9, last_station_x = -1e9;
  int stacked = 0, limit_stacked = 0, station_stacked = 0;
  // A label to the right of its mark, or to its left near the right edge.
  auto near_right = [](double mx) { return mx > kRight - 2.0 * kLabelRoom; };
  auto Inside = [&](double mx, double gap) { return near_right(mx) ? mx - gap : mx + gap; };
  auto Anchor = [&](double mx) {
    return std::string(near_right(mx) ? "text-anchor=\"end\"" : "text-anchor=\"start\"");
  };
  for (const Mark& m : marks_) {
    if (!Scales::Placed(X(m))) continue;
    const double mx = sc.Px(X(m));
    const double label_x = std::clamp(mx, kLeft + kLabelRoom, kRight - kLabelRoom);
    switch (m.kind) {
      case Mark::Kind::kBeacon:
        svg += Line(mx, kSpeedTop, mx, kSpeedBottom, "stroke=\"#9e9e9e\" stroke-dasharray=\"2 3\"");
        if (m.limit) {
          const double ly = sc.v(std::clamp(*m.limit, sc.v_lo, sc.v_hi));
          svg += Line(mx - 10, ly, mx + 10, ly,
                      std::string("stroke=\"") + kLimitColour + "\" stroke-width=\"4\"");
          // Limits passed close together stack their labels upwards, and
          // each stays inside the plot.
          limit_stacked = mx - last_limit_x < 2.0 * kLabelRoom ? limit_stacked + 1 : 0;
          last_limit_x = mx;
          const double y = std::clamp(ly - 4 - kStackStep * (limit_stacked % kMaxStack),
                                      kSpeedTop + kStackStep, kSpeedBottom - 4);
          svg += Text(Inside(mx, 12), y, "limit " + m.label,
                      (std::string("fill=\"") + kLimitColour + "\" " + Anchor(mx)).c_str());
        } else {
          stacked = mx - last_label_x < kLabelRoom ? stacked + 1 : 0;
          last_label_x = mx;
          svg += Text(mx + 3, kSpeedBottom - 4 - kStackStep * stacked, m.label,
                      "fill=\"#757575\" font-size=\"10\"");
        }
        break;
      case Mark::Kind::kTrip:
      case Mark::Kind::kWarning: {
        const char* colour = m.kind == Mark::Kind::kTrip ? "#b71c1c" : "#e65100";
        svg += Line(mx, kSpeedTop, mx, kHandleBottom,
                    std::string("stroke=\"") + colour + "\" stroke-width=\"2\"");
        svg += Text(
            Inside(mx, 4), kSpeedTop + 14, m.label,
            (std::string("fill=\"") + colour + "\" font-weight=\"bold\" " + Anchor(mx)).c_str());
        break;
      }
      case Mark::Kind::kStation:
        svg += Line(mx, kSpeedTop, mx, kSpeedBottom,
                    std::string("stroke=\"") + kStationColour + "\" stroke-width=\"1.5\"");
        station_stacked = mx - last_station_x < 2.0 * kLabelRoom ? station_stacked + 1 : 0;
        last_station_x = mx;
        svg += Text(Inside(mx, 4), kSpeedTop + 28 + kStackStep * (station_stacked % kMaxStack),
                    m.label,
                    (std::string("fill=\"") + kStationColour + "\" font-size=\"10\" " + Anchor(mx))
                        .c_str());
        break;
      case Mark::Kind::kStop:
        svg += "<circle cx=\"" + Num(mx) + "\" cy=\"" + Num(sc.v(0.0)) +
               "\" r=\"6\" fill=\"none\" stroke=\"#00897b\" stroke-width=\"2\"/>\n";
        svg += Text(label_x, sc.v(0.0) - 10, m.label, "text-anchor=\"middle\" fill=\"#00897b\"");
        break;
    }
  }
  return svg;
}

// The speed, as one line.
std::string SvgChart::Speed(const Scales& sc) const {
  Points speed;
  for (const Sample& s : samples_) {
    if (!Scales::Placed(X(s)) || !Scales::Placed(s.speed)) continue;
    speed.Add(sc.Px(X(s)), sc.v(std::clamp(s.speed, sc.v_lo, sc.v_hi)));
  }
  return std::string("<polyline fill=\"none\" stroke=\"") + kSpeedColour +
         "\" stroke-width=\"1.8\" points=\"" + speed.Take() + "\"/>\n";
}

// The gradient profile along the foot of the speed panel: rising above its
// base line, falling below, at the steepest a fixed height. Only where the
// route gives gradients and one of them is not level.
std::string SvgChart::GradientProfile(const Scales& sc) const {
  if (!profile_) return "";
  double steepest = 0.0;
  for (const Sample& s : samples_) steepest = std::max(steepest, std::abs(s.gradient));
  if (!(steepest > 0.0)) return "";
  const double base = kSpeedBottom - kProfileHeight;
  std::string svg = Line(kLeft, base, kRight, base, "stroke=\"#bdbdbd\" stroke-dasharray=\"1 3\"");
  Points profile;
  for (const Sample& s : samples_) {
    if (!Scales::Placed(X(s))) continue;
    profile.Add(sc.Px(X(s)), base - s.gradient / steepest * (kProfileHeight - 4));
  }
  svg += std::string("<polyline fill=\"none\" stroke=\"") + kGradientColour +
         "\" stroke-width=\"1.2\" points=\"" + profile.Take() + "\"/>\n";
  svg += Text(kLeft + 4, base - kProfileHeight + 12,
              "gradient (steepest " + Fixed(steepest, 1) + " \u2030)",
              (std::string("fill=\"") + kGradientColour + "\" font-size=\"10\"").c_str());
  return svg;
}

// Handles as steps: what the driver asked for (thin, dashed) under what the
// plug-in returned (thick).
std::string SvgChart::Handles(const Scales& sc) const {
  std::string svg;
  auto steps = [&](auto value, const char* colour, const char* style) {
    Points pts;
    std::optional<int32_t> last;
    double last_x = 0.0;
    for (const Sample& s : samples_) {
      if (!Scales::Placed(X(s))) continue;
      const int32_t now = value(s);
      last_x = sc.Px(X(s));
      if (!last) {
        pts.Add(last_x, sc.Notch(now));
      } else if (now != *last) {
        pts.Add(last_x, sc.Notch(*last));
        pts.Add(last_x, sc.Notch(now));
      }
      last = now;
    }
    if (last) pts.Add(last_x, sc.Notch(*last));
    svg += std::string("<polyline fill=\"none\" stroke=\"") + colour + "\" " + style +
           " points=\"" + pts.Take() + "\"/>\n";
  };
  steps([](const Sample& s) { return s.driver_power; }, kPowerColour,
        "stroke-width=\"1\" stroke-dasharray=\"4 3\"");
  steps([](const Sample& s) { return s.driver_brake; }, kBrakeColour,
        "stroke-width=\"1\" stroke-dasharray=\"4 3\"");
  steps([](const Sample& s) { return s.power; }, kPowerColour, "stroke-width=\"2.2\"");
  steps([](const Sample& s) { return s.brake; }, kBrakeColour, "stroke-width=\"2.2\"");
  return svg;
}

// Constant-speed command on: a band along the top of the handle panel.
std::string SvgChart::ConstantSpeedBand(const Scales& sc) const {
  Spans band([](double a, double b, const char* fill) {
    return "<rect x=\"" + Num(a) + "\" y=\"" + Num(kHandleTop + 2) + "\" width=\"" +
           Num(std::max(b - a, 1.0)) + "\" height=\"6\" fill=\"" + fill + "\" opacity=\"0.6\"/>\n";
  });
  for (std::size_t i = 0; i < samples_.size();) {
    if (samples_[i].constant_speed != 1) {
      ++i;
      continue;
    }
    std::size_t j = i;
    while (j + 1 < samples_.size() && samples_[j + 1].constant_speed == 1) ++j;
    const double a = sc.Px(X(samples_[i]));
    const double b = sc.Px(X(samples_[j]));
    i = j + 1;
    if (Scales::Placed(a) && Scales::Placed(b)) band.Add(a, b, kSpeedColour);
  }
  return band.Take();
}

// The legend above the plot: the lines, then the shades.
std::string SvgChart::Legend() {
  struct Entry {
    const char* colour;
    const char* style;
    const char* label;
  };
  const Entry entries[] = {
      {kSpeedColour, "stroke-width=\"2\"", "speed"},
      {kBrakeColour, "stroke-width=\"2.2\"", "brake returned"},
      {kBrakeColour, "stroke-width=\"1\" stroke-dasharray=\"4 3\"", "driver's brake"},
      {kPowerColour, "stroke-width=\"2.2\"", "power returned"},
      {kPowerColour, "stroke-width=\"1\" stroke-dasharray=\"4 3\"", "driver's power"},
  };
  std::string svg;
  double lx = kLeft;
  for (const Entry& e : entries) {
    svg += Line(lx, 46, lx + 24, 46, std::string("stroke=\"") + e.colour + "\" " + e.style);
    svg += Text(lx + 28, 50, e.label);
    lx += 150;
  }
  const struct {
    const char* fill;
    const char* label;
  } shades[] = {{"#e0e0e0", "unit off"}, {"#ffd6d6", "tripped"}, {"#ffe6bf", "warning"}};
  for (const auto& sh : shades) {
    svg += "<rect x=\"" + Num(lx) + "\" y=\"40\" width=\"16\" height=\"12\" fill=\"" + sh.fill +
           "\"/>\n";
    svg += Text(lx + 20, 50, sh.label);
    lx += 90;
  }
  svg += Text(kLeft + 4, kHandleTop - 6, "handles; blue band: constant-speed command on",
              "fill=\"#444\"");
  return svg;
}

}  // namespace atshost
