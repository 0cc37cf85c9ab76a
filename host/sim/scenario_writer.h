// A run written down as a replay scenario: every event between frames as its
// scenario line, and every frame with the exact state that was sent. Replayed
// by `atshost replay`, it gives the plug-in the same calls in the same order,
// so its CSV trace is the run's own, byte for byte.
#ifndef ATSHOST_SCENARIO_WRITER_H
#define ATSHOST_SCENARIO_WRITER_H

#include <string>
#include <vector>

#include "host/sim/session.h"
#include "host/sim/text_out.h"

namespace atshost {

class ScenarioWriter : public FrameSink {
 public:
  // `title` goes into a comment at the top.
  ScenarioWriter(TextOut& out, const std::string& title);
  void OnFrame(const FrameRecord& frame) override;
  void OnFinish(const std::vector<HostEvent>& trailing_events) override;

  // The scenario line that gives this event ("key down 3", "beacon type=0
  // signal=1 optional=0", "note ...").
  static std::string EventLine(const HostEvent& event);
  // "frame time=... location=... speed=... bc=... mr=... current=...", every
  // value written so that it reads back as exactly the value sent (a NaN
  // with its sign; the reader keeps no payload).
  static std::string FrameLine(const ATS_VEHICLESTATE& state);

 private:
  TextOut& out_;
};

}  // namespace atshost

#endif  // ATSHOST_SCENARIO_WRITER_H
