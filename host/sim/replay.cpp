#include "host/sim/replay.h"

#include "host/sim/actions.h"
#include "host/sim/cab_tables.h"
#include "host/sim/format.h"

namespace atshost {
namespace {

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
  Expectation e;
  if (eq == std::string::npos || eq == 0 || eq + 1 == word.size()) {
    f.Fail("expected name=value after 'expect', found " + Quote(word));
    return e;
  }
  e.name = word.substr(0, eq);
  e.value = ParseInt(f, word.substr(eq + 1), e.name);
  if (f.failed()) return e;
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
    if (f.failed()) return e;
    if ((panel ? PanelSlot(e.index) : SoundSlot(e.index)) < 0) {
      f.Fail(n + " is not one of the " + (panel ? "48 panel" : "8 sound") +
             " indices the plug-in writes");
    }
  } else {
    f.Fail("cannot expect " + Quote(n) +
           " (expected brake, power, reverser, constant-speed, panel[N] or sound[N])");
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

namespace {

// One line as the step it stands for. `framed`: a frame has been run before
// it, so that an expectation has something to check.
// An error is reported into `errors`, and the step is then of no use.
ScenarioStep ParseStep(const Line& line, bool framed, InputErrors& errors) {
  Fields f(line, errors);
  ScenarioStep step;
  step.line = line.number;
  std::vector<HostEvent> events;
  const std::string word = f.Peek();
  if (ParseAction(f, events)) {
    if (f.failed()) return step;
    f.End();
    step.what = std::move(events);
  } else if (word == "vehicle") {
    f.Word("command");
    const auto kv = f.KeyValues({"brake-notches"});
    if (f.failed()) return step;
    if (kv.count("brake-notches") == 0) {
      f.Fail("missing brake-notches=N");
      return step;
    }
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
    const ATS_BEACONDATA b = ParseBeaconData(f);
    if (f.failed()) return step;
    events.push_back(HostEvent::Beacon(b.Type, b.Signal, b.Optional));
    step.what = std::move(events);
  } else if (word == "note") {
    f.Word("command");
    const std::string text_of_note = f.Rest();
    if (text_of_note.empty()) {
      f.Fail("missing text after 'note'");
      return step;
    }
    // The note goes to the terminal as it stands.
    if (Printable(text_of_note) != text_of_note) {
      f.Fail("note text is not plain UTF-8 text");
      return step;
    }
    events.push_back(HostEvent::Note(text_of_note));
    step.what = std::move(events);
  } else if (word == "frame") {
    f.Word("command");
    FrameCommand c;
    c.fields = ParseState(f, {"time", "location", "speed", "bc", "mr", "current"}, nullptr);
    step.what = c;
  } else if (word == "advance") {
    f.Word("command");
    AdvanceCommand c;
    c.count = f.Int("frame count");
    if (f.failed()) return step;
    if (c.count < 1 || c.count > kMaxRunFrames) {
      f.Fail("frame count must be 1 to " + std::to_string(kMaxRunFrames));
      return step;
    }
    c.fields = ParseState(f, {"dt", "speed", "bc", "mr", "current"}, &c.dt);
    step.what = c;
  } else if (word == "expect") {
    f.Word("command");
    if (!framed) {
      f.Fail("'expect' before the first frame: there is nothing to check yet");
      return step;
    }
    ExpectCommand c;
    while (!f.done() && !f.failed()) {
      c.checks.push_back(ParseExpectation(f, f.Word("expectation")));
    }
    if (c.checks.empty()) f.Fail("missing name=value after 'expect'");
    step.what = c;
  } else {
    if (!f.failed()) f.Fail("unknown command " + Quote(word));
  }
  return step;
}

int64_t FramesOf(const ScenarioStep& step) {
  if (std::holds_alternative<FrameCommand>(step.what)) return 1;
  if (const auto* a = std::get_if<AdvanceCommand>(&step.what)) return a->count;
  return 0;
}

}  // namespace

Parsed<Scenario> ParseScenario(std::string text, const std::string& file) {
  Parsed<Scenario> parsed;
  Scenario& scenario = parsed.value;
  scenario.file = file;
  scenario.text = std::move(text);
  // The steps are checked here and parsed again as they run, so that a long
  // scenario costs its text and not a record of every line.
  InputErrors errors;
  LineReader reader(scenario.text, file, errors);
  Line line;
  int64_t events = 0;  // given since the last frame
  while (!errors.failed() && reader.Next(line)) {
    const ScenarioStep step = ParseStep(line, scenario.frames > 0, errors);
    if (errors.failed()) break;
    const int64_t frames = FramesOf(step);
    if (frames > 0) {
      events = 0;
      scenario.frames += frames;
      if (scenario.frames > kMaxRunFrames) {
        errors.At(file, line.number,
                  "the scenario runs more than " + std::to_string(kMaxRunFrames) +
                      " frames, the most one run may have");
        break;
      }
    }
    if (const auto* e = std::get_if<std::vector<HostEvent>>(&step.what)) {
      events += static_cast<int64_t>(e->size());
      if (events > kMaxEventsPerFrame) {
        errors.At(file, line.number,
                  "more than " + std::to_string(kMaxEventsPerFrame) +
                      " events between two frames, the most one frame may carry");
        break;
      }
    }
    if (const auto* c = std::get_if<ExpectCommand>(&step.what)) scenario.checks += c->checks.size();
  }
  if (errors.failed()) {
    parsed = Parsed<Scenario>();
    parsed.error = errors.message();
  }
  return parsed;
}

void ForEachStep(const Scenario& scenario, const std::function<void(const ScenarioStep&)>& visit) {
  // The scenario was checked whole: no line fails here.
  InputErrors errors;
  LineReader reader(scenario.text, scenario.file, errors);
  Line line;
  bool framed = false;
  while (reader.Next(line)) {
    const ScenarioStep step = ParseStep(line, framed, errors);
    if (errors.failed()) return;
    framed = framed || FramesOf(step) > 0;
    visit(step);
  }
}

std::vector<ScenarioStep> Steps(const Scenario& scenario) {
  std::vector<ScenarioStep> steps;
  ForEachStep(scenario, [&](const ScenarioStep& step) { steps.push_back(step); });
  return steps;
}

std::vector<std::string> Replay(const Scenario& scenario, Session& session) {
  std::vector<std::string> failures;
  ATS_VEHICLESTATE state{};
  int32_t dt = kDefaultFrameMs;
  session.Start();
  ForEachStep(scenario, [&](const ScenarioStep& step) {
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
  });
  session.Finish();
  return failures;
}

}  // namespace atshost
