// `atshost replay`: a scripted, open-loop run. The scenario says exactly what
// the host sends: the vehicle, each event between frames, and each frame's
// train state; `expect` lines check what came back.
#ifndef ATSHOST_REPLAY_H
#define ATSHOST_REPLAY_H

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "host/sim/events.h"
#include "host/sim/session.h"
#include "host/sim/text_input.h"

namespace atshost {

// The train state of a frame; a member not given keeps its previous value.
struct StateFields {
  std::optional<int32_t> time;  // ms
  std::optional<double> location;
  std::optional<double> speed;
  std::optional<double> bc;
  std::optional<double> mr;
  std::optional<double> current;
};

struct FrameCommand {
  StateFields fields;
};

// `count` frames `dt` ms apart; the location follows the speed.
struct AdvanceCommand {
  int32_t count = 0;
  std::optional<int32_t> dt;
  StateFields fields;  // without time and location
};

struct Expectation {
  enum class Target { kBrake, kPower, kReverser, kConstantSpeed, kPanel, kSound };
  Target target = Target::kBrake;
  int index = 0;  // panel or sound index
  int32_t value = 0;
  std::string name;  // as written: "brake", "panel[2]"
};

struct ExpectCommand {
  std::vector<Expectation> checks;
};

struct ScenarioStep {
  int line = 0;
  std::variant<std::vector<HostEvent>, FrameCommand, AdvanceCommand, ExpectCommand> what;
};

// A checked scenario. It keeps its text, not its steps: they are parsed again
// one by one as the scenario runs, so that a long file costs what it weighs.
struct Scenario {
  std::string file;
  std::string text;
  int64_t frames = 0;      // frames it runs
  std::size_t checks = 0;  // expectations, all lines together
};

// Checks a whole scenario; refused at the first bad line.
Parsed<Scenario> ParseScenario(std::string text, const std::string& file);

// Each step of a checked scenario (one ParseScenario accepted), in order.
void ForEachStep(const Scenario& scenario, const std::function<void(const ScenarioStep&)>& visit);
// All of them at once (for short scenarios).
std::vector<ScenarioStep> Steps(const Scenario& scenario);

// Events a frame may carry: the host hands them all to the sinks with the
// frame, so their number must be bounded.
inline constexpr int64_t kMaxEventsPerFrame = 10000;

// Runs the scenario in a started session and finishes it. Returns one message
// per failed expectation ("FILE:LINE: expected ...").
std::vector<std::string> Replay(const Scenario& scenario, Session& session);

// Default frame spacing of `advance` until a dt is given.
inline constexpr int32_t kDefaultFrameMs = 20;

}  // namespace atshost

#endif  // ATSHOST_REPLAY_H
