// `atshost replay`: a scripted, open-loop run. The scenario says exactly what
// the host sends: the vehicle, each event between frames, and each frame's
// train state; `expect` lines check what came back.
#ifndef ATSHOST_REPLAY_H
#define ATSHOST_REPLAY_H

#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "host/events.h"
#include "host/session.h"
#include "host/text_input.h"

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

struct Scenario {
  std::string file;
  std::vector<ScenarioStep> steps;
};

// Parses a whole scenario, or throws InputError at the first bad line.
Scenario ParseScenario(const std::string& text, const std::string& file);

// Runs the scenario in a started session and finishes it. Returns one message
// per failed expectation ("FILE:LINE: expected ...").
std::vector<std::string> Replay(const Scenario& scenario, Session& session);

// Default frame spacing of `advance` until a dt is given.
inline constexpr int32_t kDefaultFrameMs = 20;

}  // namespace atshost

#endif  // ATSHOST_REPLAY_H
