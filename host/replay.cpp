#include "host/replay.h"

#include "host/actions.h"
#include "host/cab_tables.h"
#include "host/format.h"

namespace atshost {
namespace {

// Enough for an hour at 1 ms a frame; guards against a typo's endless run.
constexpr int32_t kMaxAdvance = 3600 * 1000;
constexpr double kMetresPerKmhMs = 1.0 / 3600.0;  // km/h times ms gives metres / 3600

StateFields ParseState(Fields& f, const std::vector<std::string>& allowed,
                       std::optional<int32_t>* dt) {
  StateFields s;
  for (const auto& [name, text] : f.KeyValues(allowed)) {
    if (name == "time") s.time = ParseInt(f, text, name);
    if (name == "dt") *dt = ParseInt(f, text, name);
    // Not-a-number and infinite values are allowed: they are inputs a host
    // can send, and the plug-in's handling of them is worth replaying.
    if (name == "location") s.location = ParseNumber(f, text, name, true);
    if (name == "speed") s.speed = ParseNumber(f, text, name, true);
    if (name == "bc") s.bc = ParseNumber(f, text, name, true);
    if (name == "mr") s.mr = ParseNumber(f, text, name, true);
    if (name == "current") s.current = ParseNumber(f, text, name, true);
  }
  return s;
}

Expectation ParseExpectation(const Fields& f, const std::string& word) {
  const std::size_t eq = word.find('=');
  if (eq == std::string::npos || eq == 0 || eq + 1 == word.size()) {
    f.Fail("expected name=value after 'expect', found '" + word + "'");
  }
  Expectation e;
  e.name = word.substr(0, eq);
  e.value = ParseInt(f, word.substr(eq + 1), e.name);
  const std::string& n = e.name;
  if (n == "brake") {
    e.target = Expectation::Target::kBrake;
  } else if (n == "power") {
    e.target = Expectation::Target::kPower;
  } else if (n == "reverser") {
    e.target = Expectation::Target::kReverser;
  } else if (n == "constant-speed") {
    e.target = Expectation::Target::kConstantSpeed;
  } else if ((n.rfind("panel[", 0) == 0 || n.rfind("sound[", 0) == 0) && n.back() == ']') {
    const bool panel = n[0] == 'p';
    e.target = panel ? Expectation::Target::kPanel : Expectation::Target::kSound;
    e.index = ParseInt(f, n.substr(6, n.size() - 7), "index of " + n.substr(0, 5));
    if ((panel ? PanelSlot(e.index) : SoundSlot(e.index)) < 0) {
      f.Fail(n + " is not one of the " + (panel ? "48 panel" : "8 sound") +
             " indices the plug-in writes");
    }
  } else {
    f.Fail("cannot expect '" + n +
           "' (expected brake, power, reverser, constant-speed, panel[N] or sound[N])");
  }
  return e;
}

int32_t Actual(const Expectation& e, const FrameRecord& r) {
  switch (e.target) {
    case Expectation::Target::kBrake:
      return r.handles.Brake;
    case Expectation::Target::kPower:
      return r.handles.Power;
    case Expectation::Target::kReverser:
      return r.handles.Reverser;
    case Expectation::Target::kConstantSpeed:
      return r.handles.ConstantSpeed;
    case Expectation::Target::kPanel:
      return r.Panel(e.index);
    case Expectation::Target::kSound:
      return r.Sound(e.index);
  }
  return 0;
}

// Host time advances in int32 and wraps as the host's own counter would.
int32_t AddTime(int32_t t, int32_t dt) {
  return static_cast<int32_t>(static_cast<uint32_t>(t) + static_cast<uint32_t>(dt));
}

void Overlay(ATS_VEHICLESTATE& s, const StateFields& f) {
  if (f.time) s.Time = *f.time;
  if (f.location) s.Location = *f.location;
  if (f.speed) s.Speed = static_cast<float>(*f.speed);
  if (f.bc) s.BcPressure = static_cast<float>(*f.bc);
  if (f.mr) s.MrPressure = static_cast<float>(*f.mr);
  if (f.current) s.Current = static_cast<float>(*f.current);
}

}  // namespace

Scenario ParseScenario(const std::string& text, const std::string& file) {
  Scenario scenario;
  scenario.file = file;
  bool framed = false;
  for (const Line& line : SplitLines(text, file)) {
    Fields f(line);
    ScenarioStep step;
    step.line = line.number;
    std::vector<HostEvent> events;
    const std::string word = f.Peek();
    if (ParseAction(f, events)) {
      f.End();
      step.what = std::move(events);
    } else if (word == "vehicle") {
      f.Word("command");
      const auto kv = f.KeyValues({"brake-notches"});
      if (kv.count("brake-notches") == 0) f.Fail("missing brake-notches=N");
      events.push_back(HostEvent::Of(EventKind::kVehicleSpec,
                                     ParseInt(f, kv.at("brake-notches"), "brake-notches")));
      step.what = std::move(events);
    } else if (word == "initialize") {
      f.Word("command");
      const int32_t brake = f.done() ? 0 : f.Int("initial brake position");
      f.End();
      events.push_back(HostEvent::Of(EventKind::kInitialize, brake));
      step.what = std::move(events);
    } else if (word == "beacon") {
      f.Word("command");
      const auto kv = f.KeyValues({"type", "signal", "optional"});
      if (kv.count("type") == 0) f.Fail("missing type=N for beacon");
      auto get = [&](const char* name) {
        return kv.count(name) != 0 ? ParseInt(f, kv.at(name), name) : 0;
      };
      events.push_back(HostEvent::Beacon(get("type"), get("signal"), get("optional")));
      step.what = std::move(events);
    } else if (word == "note") {
      f.Word("command");
      const std::string text_of_note = f.Rest();
      if (text_of_note.empty()) f.Fail("missing text after 'note'");
      events.push_back(HostEvent::Note(text_of_note));
      step.what = std::move(events);
    } else if (word == "frame") {
      f.Word("command");
      FrameCommand c;
      c.fields = ParseState(f, {"time", "location", "speed", "bc", "mr", "current"}, nullptr);
      step.what = c;
      framed = true;
    } else if (word == "advance") {
      f.Word("command");
      AdvanceCommand c;
      c.count = f.Int("frame count");
      if (c.count < 1 || c.count > kMaxAdvance) {
        f.Fail("frame count must be 1 to " + std::to_string(kMaxAdvance));
      }
      c.fields = ParseState(f, {"dt", "speed", "bc", "mr", "current"}, &c.dt);
      step.what = c;
      framed = true;
    } else if (word == "expect") {
      f.Word("command");
      if (!framed) f.Fail("'expect' before the first frame: there is nothing to check yet");
      ExpectCommand c;
      while (!f.done()) c.checks.push_back(ParseExpectation(f, f.Word("expectation")));
      if (c.checks.empty()) f.Fail("missing name=value after 'expect'");
      step.what = c;
    } else {
      f.Fail("unknown command '" + word + "'");
    }
    scenario.steps.push_back(std::move(step));
  }
  return scenario;
}

std::vector<std::string> Replay(const Scenario& scenario, Session& session) {
  std::vector<std::string> failures;
  ATS_VEHICLESTATE state{};
  int32_t dt = kDefaultFrameMs;
  session.Start();
  for (const ScenarioStep& step : scenario.steps) {
    if (const auto* events = std::get_if<std::vector<HostEvent>>(&step.what)) {
      for (const HostEvent& e : *events) session.Apply(e);
    } else if (const auto* frame = std::get_if<FrameCommand>(&step.what)) {
      Overlay(state, frame->fields);
      session.Elapse(state);
    } else if (const auto* advance = std::get_if<AdvanceCommand>(&step.what)) {
      if (advance->dt) dt = *advance->dt;
      Overlay(state, advance->fields);
      for (int32_t i = 0; i < advance->count; ++i) {
        state.Time = AddTime(state.Time, dt);
        state.Location += static_cast<double>(state.Speed) * dt * kMetresPerKmhMs;
        session.Elapse(state);
      }
    } else if (const auto* expect = std::get_if<ExpectCommand>(&step.what)) {
      const FrameRecord& r = session.last();
      for (const Expectation& e : expect->checks) {
        const int32_t actual = Actual(e, r);
        if (actual != e.value) {
          failures.push_back(scenario.file + ":" + std::to_string(step.line) + ": expected " +
                             e.name + " = " + std::to_string(e.value) + ", got " +
                             std::to_string(actual) + " (frame " + std::to_string(r.index) +
                             ", time " + Seconds(r.state.Time) + " s)");
        }
      }
    }
  }
  session.Finish();
  return failures;
}

}  // namespace atshost
