// A run written as a scenario reads back as the very calls it made: every
// event as the same event, every frame's state to the bit, odd values
// included.
#include "host/sim/scenario_writer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "host/sim/replay.h"

namespace atshost {
namespace {

template <typename T>
bool SameBits(T a, T b) {
  return std::memcmp(&a, &b, sizeof a) == 0;
}

// The scenario's one step of the given line, after a frame where it needs one.
ScenarioStep StepOf(const std::string& line) {
  const Parsed<Scenario> parsed = ParseScenario("frame\n" + line + "\n", "w.txt");
  EXPECT_TRUE(parsed.ok()) << line << ": " << parsed.error;
  const std::vector<ScenarioStep> steps = Steps(parsed.value);
  return steps.empty() ? ScenarioStep{} : steps.back();
}

TEST(ScenarioWriter, EveryEventReadsBackAsItself) {
  const std::vector<HostEvent> events = {
      HostEvent::Of(EventKind::kVehicleSpec, 8),
      HostEvent::Of(EventKind::kInitialize, 9),
      HostEvent::Of(EventKind::kPower, 4),
      HostEvent::Of(EventKind::kBrake, -3),
      HostEvent::Of(EventKind::kReverser, -1),
      HostEvent::Of(EventKind::kKeyDown, 10),
      HostEvent::Of(EventKind::kKeyUp, 10),
      HostEvent::Of(EventKind::kHorn, 2),
      HostEvent::Of(EventKind::kDoorOpen),
      HostEvent::Of(EventKind::kDoorClose),
      HostEvent::Of(EventKind::kSignal, 3),
      HostEvent::Beacon(12, -1, INT32_MIN),
      HostEvent::Note("stopped 0.12 m short; creeping up"),
  };
  for (const HostEvent& e : events) {
    const std::string line = ScenarioWriter::EventLine(e);
    const ScenarioStep step = StepOf(line);
    const auto* read = std::get_if<std::vector<HostEvent>>(&step.what);
    ASSERT_NE(read, nullptr) << line;
    ASSERT_EQ(read->size(), 1u) << line;
    const HostEvent& r = read->front();
    EXPECT_EQ(r.kind, e.kind) << line;
    EXPECT_EQ(r.value, e.value) << line;
    EXPECT_EQ(r.note, e.note) << line;
    EXPECT_EQ(r.beacon.Type, e.beacon.Type) << line;
    EXPECT_EQ(r.beacon.Signal, e.beacon.Signal) << line;
    EXPECT_EQ(r.beacon.Optional, e.beacon.Optional) << line;
  }
}

TEST(ScenarioWriter, EveryFrameStateReadsBackToTheBit) {
  const float inf = std::numeric_limits<float>::infinity();
  const float nan = std::numeric_limits<float>::quiet_NaN();
  struct Case {
    double location;
    float value;  // speed, bc, mr and current alike
  };
  const Case cases[] = {
      {0.1, 0.1f},                                        // neither reads back shortest as a double
      {-0.0, -0.0f},                                      // the sign of zero
      {1e300, std::numeric_limits<float>::denorm_min()},  // a denormal float
      {-1e-310, std::numeric_limits<float>::max()},       // a denormal double
      {std::nextafter(1150.0, 0.0), 16777217.0f},         // one ulp off; past float's integers
      {-std::numeric_limits<double>::infinity(), -inf},
      {std::numeric_limits<double>::quiet_NaN(), nan},
      {123456.789, -nan},
  };
  for (const Case& c : cases) {
    ATS_VEHICLESTATE s{};
    s.Time = INT32_MIN;
    s.Location = c.location;
    s.Speed = c.value;
    s.BcPressure = -c.value;
    s.MrPressure = c.value;
    s.Current = -c.value;
    const std::string line = ScenarioWriter::FrameLine(s);
    const ScenarioStep step = StepOf(line);
    const auto* frame = std::get_if<FrameCommand>(&step.what);
    ASSERT_NE(frame, nullptr) << line;
    const StateFields& f = frame->fields;
    ASSERT_TRUE(f.time && f.location && f.speed && f.bc && f.mr && f.current) << line;
    EXPECT_EQ(*f.time, s.Time) << line;
    EXPECT_TRUE(SameBits(*f.location, s.Location)) << line;
    // The replay narrows what it reads to the record's floats.
    EXPECT_TRUE(SameBits(static_cast<float>(*f.speed), s.Speed)) << line;
    EXPECT_TRUE(SameBits(static_cast<float>(*f.bc), s.BcPressure)) << line;
    EXPECT_TRUE(SameBits(static_cast<float>(*f.mr), s.MrPressure)) << line;
    EXPECT_TRUE(SameBits(static_cast<float>(*f.current), s.Current)) << line;
  }
}

}  // namespace
}  // namespace atshost
