// The chart of a run as a self-contained SVG: the speed with the governor's
// lines and the beacons' limits above, the returned and the driver's brake and
// power as steps below, trips, warnings and station stops marked, shading
// while the unit is off or tripped.
#ifndef ATSHOST_SVG_CHART_H
#define ATSHOST_SVG_CHART_H

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "host/sim/session.h"
#include "host/sim/timeline.h"
#include "host/sim/train_model.h"

namespace atshost {

// The speed limit a beacon checks, if it checks one (types 0 and 9).
std::optional<double> BeaconLimit(const ATS_BEACONDATA& beacon);

class SvgChart : public FrameSink {
 public:
  enum class Axis { kTime, kDistance };

  SvgChart(std::string title, Axis axis) : title_(std::move(title)), axis_(axis) {}
  void OnFrame(const FrameRecord& frame) override;
  // A drive's stations and gradients, drawn where the train meets them: the
  // stations as marks, the gradients as a profile along the foot of the
  // speed panel. Given before the first frame.
  void SetRoute(std::vector<std::pair<double, std::string>> stations,
                std::vector<Gradient> gradients);
  // Writes the whole chart.
  void Write(std::ostream& out) const;

  // Where the plot lies in the chart and what its horizontal axis spans, so
  // that a page showing the chart can put a cursor on it.
  struct PlotArea {
    bool distance;                    // the axis is the location, not the time
    double lo, hi;                    // seconds or metres at the left and right edges
    double left, right, top, bottom;  // in the chart's own units
  };
  PlotArea Area() const;

 private:
  struct Sample {
    double time_s;
    double location;
    double speed;
    int32_t brake, power, driver_brake, driver_power, constant_speed;
    UnitState unit;
    double gradient;  // permille, where the route gives gradients
  };
  struct Mark {
    double time_s;
    double location;
    std::string label;
    std::optional<double> limit;  // a beacon's limit
    enum class Kind { kTrip, kWarning, kBeacon, kStop, kStation } kind;
  };

  double X(const Sample& s) const { return axis_ == Axis::kTime ? s.time_s : s.location; }
  double X(const Mark& m) const { return axis_ == Axis::kTime ? m.time_s : m.location; }
  // What the horizontal axis spans: the finite positions of the frames,
  // widened where they are all one point. The chart's scale and the plot
  // area given to a page are this one span.
  std::pair<double, double> XSpan() const;

  // The chart's three scales (time or distance across, speed and notch up)
  // and how a frame is placed on them; set once from the whole run, then each
  // layer below draws with them, in the order they are stacked.
  struct Scales;
  Scales MakeScales() const;
  std::string Warnings(const Scales& sc) const;
  std::string Shading(const Scales& sc) const;
  std::string Grid(const Scales& sc) const;
  static std::string GovernorLines(const Scales& sc);
  std::string Marks(const Scales& sc) const;
  std::string Speed(const Scales& sc) const;
  std::string GradientProfile(const Scales& sc) const;
  std::string Handles(const Scales& sc) const;
  std::string ConstantSpeedBand(const Scales& sc) const;
  static std::string Legend();

  std::string title_;
  Axis axis_;
  std::vector<Sample> samples_;
  std::vector<Mark> marks_;
  int64_t unmarked_ = 0;  // marks beyond the most kept
  UnitStateReader reader_;
  bool in_window_ = false;
  int32_t emergency_ = 0;
  int32_t top_power_ = 0;
  std::vector<std::pair<double, std::string>> stations_;  // (location, name) by location
  std::size_t next_station_ = 0;
  std::optional<TrainModel> profile_;  // answers the gradient at a location
};

}  // namespace atshost

#endif  // ATSHOST_SVG_CHART_H
