// The cab view: one self-contained HTML page that replays a run as the cab
// showed it, frame by frame, with the run's timeline and chart beside it.
// The page's script and style come from host/output/page/, built into atshost;
// the run's data goes inline, compactly: the panel, sound and handle values as
// their changes only, the train's state as rounded steps from frame to frame.
#ifndef ATSHOST_OUTPUT_HTML_PAGE_H
#define ATSHOST_OUTPUT_HTML_PAGE_H

#include <array>
#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "host/output/svg_chart.h"
#include "host/sim/session.h"
#include "host/sim/text_out.h"
#include "host/sim/timeline.h"

namespace atshost {

class HtmlPage : public FrameSink {
 public:
  explicit HtmlPage(std::string title);
  void OnFrame(const FrameRecord& frame) override;
  void OnFinish(const std::vector<HostEvent>& trailing_events) override;

  // Writes the page with `chart_svg` (a whole SVG document, as SvgChart
  // writes it) inline and a cursor placed by `plot`.
  void Write(std::ostream& out, const std::string& chart_svg, const SvgChart::PlotArea& plot) const;

  // `text` as a JSON string that is safe inside an HTML script element.
  static std::string JsonString(const std::string& text);

 private:
  // A number that changes a little from frame to frame (time, location,
  // speed, pressures), rounded to 1/scale and written as the step from the
  // previous frame's rounded value; a run of equal steps as [count, step].
  // Written as {"scale": scale, "steps": [...]}.
  // A value that cannot be rounded (NaN, infinite, huge) is written exactly,
  // as a string, and the steps go on from the last rounded value.
  class StepColumn {
   public:
    explicit StepColumn(double scale) : scale_(scale) {}
    void Add(double value);
    std::string Json() const;

   private:
    void Flush();
    double scale_;
    int64_t base_ = 0;
    int64_t step_ = 0;
    int64_t run_ = 0;
    std::string out_;
  };
  // A whole number written only when it changes: [frames since the previous
  // change, value, ...], starting at the first frame.
  class ChangeColumn {
   public:
    void Add(int64_t position, int32_t value);
    const std::string& json() const { return out_; }

   private:
    bool any_ = false;
    int32_t last_ = 0;
    int64_t last_at_ = 0;
    std::string out_;
  };

  // The integer columns, in this order: the driver's handles and doors, the
  // handles returned, the panel and the sound values.
  static constexpr std::size_t kHostColumns = kDriverCount;
  static constexpr std::size_t kHandleColumns = kHandleCount;
  static constexpr std::size_t kIntColumns =
      kHostColumns + kHandleColumns + kPanelIndices.size() + kSoundIndices.size();

  void AddLines(int64_t position);

  std::string title_;
  int64_t count_ = 0;
  int64_t first_index_ = 0;
  StepColumn time_{1.0};       // ms
  StepColumn location_{10.0};  // 0.1 m
  StepColumn speed_{10.0};     // 0.1 km/h
  StepColumn bc_{1.0};         // kPa
  StepColumn mr_{1.0};         // kPa
  StepColumn current_{1.0};    // A
  ChangeColumn emergency_;     // the emergency brake position
  std::array<ChangeColumn, kIntColumns> ints_;
  std::string events_;  // [position, "text", ...]
  std::string lines_;   // the timeline: [position, "line", ...]
  StringOut timeline_text_;
  Timeline timeline_{timeline_text_};
};

}  // namespace atshost

#endif  // ATSHOST_OUTPUT_HTML_PAGE_H
