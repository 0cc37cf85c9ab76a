// The driving page's module: one run of a route at a time, under a person's
// hands or the route's driver's, with atshost's own train model, driver,
// parser, trace and timeline around the plug-in linked in.
#include "host/web/page_api.h"

#include <algorithm>
#include <array>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "host/sim/drive.h"
#include "host/sim/linked_plugin.h"
#include "host/sim/replay.h"
#include "host/sim/route.h"
#include "host/sim/route_ahead.h"
#include "host/sim/scenario_writer.h"
#include "host/sim/session.h"
#include "host/sim/text_input.h"
#include "host/sim/text_out.h"
#include "host/sim/timeline.h"
#include "host/sim/trace_csv.h"
#include "host/web/page_keyboard.h"
#include "plugin/atsplugin.h"
#include "plugin/keyboard_platform.h"

namespace atshost {
namespace {

// A display frame's host time is the real time since the last one, within
// these bounds: a stalled tab does not throw the train a whole second on.
constexpr int32_t kMinStepMs = 1;
constexpr int32_t kMaxStepMs = 100;

// The page's C header states the arrays' lengths for the script; they are
// the host's own arrays, copied whole.
static_assert(PAGE_PANEL_LENGTH == kPanelArrayLength && PAGE_SOUND_LENGTH == kSoundArrayLength);
static_assert(PAGE_HANDLES_LENGTH == kHandleCount && PAGE_DRIVER_LENGTH == kDriverCount);

static_assert(PAGE_AHEAD_CHECK == static_cast<int>(AheadKind::kCheck) &&
              PAGE_AHEAD_STOP_SIGNAL == static_cast<int>(AheadKind::kStopSignal) &&
              PAGE_AHEAD_STATION == static_cast<int>(AheadKind::kStation) &&
              PAGE_AHEAD_END == static_cast<int>(AheadKind::kEnd));

PageKeyboard g_keyboard;

// What the page shows of the frame last run or sought, kept apart from the
// session's arrays so that a frame abandoned by the plug-in's end of the
// process shows nothing of itself. Before the first frame every sound is
// stopped: the host's array starts at zeros, which would read "play looping".
struct Shown {
  Shown() { Clear(); }
  void Clear() {
    panel.fill(0);
    sound.fill(kSoundStop);
    handles.fill(0);
    driver.fill(0);
    train.fill(0.0);
  }
  // A frame sought in a saved run, from its record: the panel and sound
  // elements the plug-in writes; the host leaves the others at zero.
  void Record(const FrameRecord& r) {
    panel.fill(0);
    for (std::size_t i = 0; i < kPanelIndices.size(); ++i) {
      panel[static_cast<std::size_t>(kPanelIndices[i].index)] = r.panel[i];
    }
    sound.fill(0);
    for (std::size_t i = 0; i < kSoundIndices.size(); ++i) {
      sound[static_cast<std::size_t>(kSoundIndices[i].index)] = r.sound[i];
    }
    Train(r);
  }
  // A frame just run: the host's own arrays, what a host reading them each
  // frame sees.
  void Live(const FrameRecord& r, const std::array<int, kPanelArrayLength>& host_panel,
            const std::array<int, kSoundArrayLength>& host_sound) {
    std::copy(host_panel.begin(), host_panel.end(), panel.begin());
    std::copy(host_sound.begin(), host_sound.end(), sound.begin());
    Train(r);
  }
  void Train(const FrameRecord& r) {
    handles = r.HandlesInOrder();
    driver = r.DriverInOrder();
    train = {static_cast<double>(r.state.Time),       r.state.Location,
             static_cast<double>(r.state.Speed),      static_cast<double>(r.state.BcPressure),
             static_cast<double>(r.state.MrPressure), static_cast<double>(r.state.Current)};
  }
  std::array<int32_t, PAGE_PANEL_LENGTH> panel{};
  std::array<int32_t, PAGE_SOUND_LENGTH> sound{};
  std::array<int32_t, PAGE_HANDLES_LENGTH> handles{};
  std::array<int32_t, PAGE_DRIVER_LENGTH> driver{};
  std::array<double, PAGE_TRAIN_LENGTH> train{};
};
Shown g_shown;

// A saved run carries the route it was driven on as comment lines, so that
// it can be taken over: "# route NAME" and then each line behind "#| ".
constexpr std::string_view kRouteHeader = "# route ";
constexpr std::string_view kRouteLine = "#| ";

// The route's text as comment lines; none for a text that is not plain
// printable text (a comment must stay one line of text).
std::string RouteComment(const std::string& file, const std::string& text) {
  if (Printable(file) != file) return {};
  std::string out = std::string(kRouteHeader) + file + "\n";
  // A byte-order mark is no part of the route's first line.
  std::size_t at = text.starts_with("\xEF\xBB\xBF") ? 3 : 0;
  while (at < text.size()) {
    std::size_t end = text.find('\n', at);
    if (end == std::string::npos) end = text.size();
    std::string_view line(text.data() + at, end - at);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (Printable(line) != line) return {};
    out.append(kRouteLine).append(line).append("\n");
    at = end + 1;
  }
  return out;
}

// The route as the careful autopilot drives it. He has the power, brake and
// reverser from the moment the route's own timed actions first leave the
// reverser set with the brake released, as in the route check; the handle
// actions the route has after that tell the story of its own driver (the
// demo's trip at the signal, the stand and the reset), which he does not act
// out: he keeps the limits instead. Keys, doors and horn stay the route's.
Route CarefulRoute(Route route) {
  route.driver.keep_limits = true;
  const auto handle = [](const HostEvent& e) {
    return e.kind == EventKind::kPower || e.kind == EventKind::kBrake ||
           e.kind == EventKind::kReverser;
  };
  int32_t reverser = route.reverser;
  int32_t brake = route.brake ? *route.brake : route.model.brake_notches + 1;
  std::optional<double> handed;  // the time he takes the handles, s
  if (reverser != 0 && brake == 0) handed = 0.0;
  std::vector<const RouteAction*> by_time;
  for (const RouteAction& a : route.actions) {
    if (!a.by_location) by_time.push_back(&a);
  }
  std::stable_sort(by_time.begin(), by_time.end(),
                   [](const RouteAction* a, const RouteAction* b) { return a->at < b->at; });
  for (const RouteAction* a : by_time) {
    if (handed) break;
    for (const HostEvent& e : a->events) {
      if (e.kind == EventKind::kReverser) reverser = e.value;
      if (e.kind == EventKind::kBrake) brake = e.value;
    }
    if (reverser != 0 && brake == 0) handed = a->at;
  }
  if (!handed) return route;
  for (RouteAction& a : route.actions) {
    if (a.by_location || a.at > *handed) std::erase_if(a.events, handle);
  }
  return route;
}

// One run: the route, its session with the trace, the timeline and the
// scenario as sinks, and what the page shows of the last frame.
class PageRun {
 public:
  // `text` is the route's own text, written into the saved run. With
  // `careful`, the route's driver is the careful one, who keeps every limit.
  PageRun(Route route, const std::string& text, bool careful)
      : route_(std::move(route)),
        trace_(csv_),
        timeline_(timeline_text_),
        scenario_(scenario_text_, "a drive of " + route_.file + " in the driving page"),
        session_(kLinkedPlugin, {&trace_, &timeline_, &scenario_}) {
    if (careful) route_ = CarefulRoute(std::move(route_));
    scenario_text_.Write(RouteComment(route_.file, text));
    session_.WatchProcessEnd(&g_keyboard.process_ended());
    run_ = std::make_unique<DriveRun>(route_, session_);
    g_shown.Clear();
  }
  ~PageRun() {
    // Before the session it refers to.
    run_.reset();
  }

  const Route& route() const { return route_; }

  void Control(int control, int32_t value) {
    const int32_t notches = route_.model.power_notches;
    const int32_t emergency = route_.model.brake_notches + 1;
    switch (control) {
      case PAGE_POWER:
        return Person(EventKind::kPower, std::clamp(value, 0, notches));
      case PAGE_BRAKE:
        return Person(EventKind::kBrake, std::clamp(value, 0, emergency));
      case PAGE_REVERSER:
        return Person(EventKind::kReverser, std::clamp(value, -1, 1));
      case PAGE_DOOR_OPEN:
        return Person(EventKind::kDoorOpen, 0);
      case PAGE_DOOR_CLOSE:
        return Person(EventKind::kDoorClose, 0);
      case PAGE_HORN:
        return Queue(HostEvent::Of(EventKind::kHorn, value));
      case PAGE_KEY_DOWN:
        return Queue(HostEvent::Of(EventKind::kKeyDown, value));
      case PAGE_KEY_UP:
        return Queue(HostEvent::Of(EventKind::kKeyUp, value));
      case PAGE_AUTOPILOT:
        autopilot_ = value != 0;
        // What the person had set but not yet sent is theirs no longer.
        if (autopilot_) std::erase_if(controls_, [](const HostEvent& e) { return Handle(e); });
        return;
      default:
        return;
    }
  }

  int Step(int dt_ms) {
    if (session_.process_ended()) return PAGE_PROCESS_ENDED;
    if (!run_->ended()) {
      const int32_t dt = fixed_step_ ? route_.frame_ms : std::clamp(dt_ms, kMinStepMs, kMaxStepMs);
      Frame(dt, autopilot_ ? DriveRun::Hands::kDriver : DriveRun::Hands::kPerson, controls_);
      controls_.clear();
      if (session_.process_ended()) return PAGE_PROCESS_ENDED;
    }
    return run_->ended() ? PAGE_ROUTE_ENDED : PAGE_RUNNING;
  }

  // One frame of a saved run given again: its time, and the inputs among its
  // events (the handles, doors, horn and keys, whoever gave them) in their
  // order; the beacons, the notes and the start's own reports the run makes
  // itself. `from` skips the start's reports in the first frame. False when
  // the frame's state comes out other than the saved one.
  bool Again(const FrameRecord& saved, int32_t dt_ms, std::size_t from) {
    inputs_.clear();
    for (std::size_t i = from; i < saved.events.size(); ++i) {
      const HostEvent& e = saved.events[i];
      if (Handle(e) || e.kind == EventKind::kHorn || e.kind == EventKind::kKeyDown ||
          e.kind == EventKind::kKeyUp) {
        inputs_.push_back(e);
      }
    }
    if (run_->ended() || session_.process_ended()) return false;
    Frame(dt_ms, DriveRun::Hands::kPerson, inputs_);
    const ATS_VEHICLESTATE& a = session_.last().state;
    const ATS_VEHICLESTATE& b = saved.state;
    return session_.frames() == saved.index + 1 &&
           ScenarioWriter::FrameLine(a) == ScenarioWriter::FrameLine(b);
  }
  // The start's reports, which the first frame carries before anything else.
  std::size_t start_events() const { return session_.pending_events(); }

  void set_fixed_step(bool on) { fixed_step_ = on; }
  bool autopilot() const { return autopilot_; }
  int frame() const { return session_.frames() > 0 ? static_cast<int>(session_.last().index) : -1; }

  const char* Timeline() {
    out_.swap(timeline_text_.text());
    timeline_text_.text().clear();
    return out_.c_str();
  }
  const char* Csv() const { return csv_.text().c_str(); }
  const char* Scenario() const { return scenario_text_.text().c_str(); }
  const std::vector<TripReport>& trips() const { return trips_; }

 private:
  // The handles and doors are the route's driver's while it has the train.
  static bool Handle(const HostEvent& e) {
    return e.kind == EventKind::kPower || e.kind == EventKind::kBrake ||
           e.kind == EventKind::kReverser || e.kind == EventKind::kDoorOpen ||
           e.kind == EventKind::kDoorClose;
  }
  void Person(EventKind kind, int32_t value) {
    if (!autopilot_) Queue(HostEvent::Of(kind, value));
  }
  void Queue(const HostEvent& e) { controls_.push_back(e); }

  void Frame(int32_t dt, DriveRun::Hands hands, const std::vector<HostEvent>& events) {
    run_->Frame(dt, hands, events);
    if (session_.process_ended()) return;
    g_shown.Live(session_.last(), session_.panel_array(), session_.sound_array());
    // The verdict's trips, kept: finishing the run hands its verdict on.
    if (run_->verdict().trips.size() != trips_.size()) trips_ = run_->verdict().trips;
    if (run_->ended()) run_->Finish();
  }

  Route route_;
  StringOut csv_;
  StringOut timeline_text_;
  StringOut scenario_text_;
  TraceCsv trace_;
  atshost::Timeline timeline_;
  ScenarioWriter scenario_;
  Session session_;
  std::unique_ptr<DriveRun> run_;
  std::vector<HostEvent> controls_;
  std::vector<HostEvent> inputs_;
  std::vector<TripReport> trips_;
  bool autopilot_ = false;
  bool fixed_step_ = false;
  std::string out_;  // the timeline's lines last handed out
};

// A saved run opened on the page: replayed once through the plug-in, every
// frame's record kept for showing, and the route it carries, if any, for
// taking it over.
class SavedRun final : public FrameSink {
 public:
  explicit SavedRun(Scenario scenario)
      : scenario_(std::move(scenario)), trace_(csv_), timeline_(timeline_text_) {
    ReadRoute();
  }
  // Replays it; the sinks hear every frame.
  void Play() {
    Session session(kLinkedPlugin, {this, &trace_, &timeline_});
    Replay(scenario_, session);
  }
  void OnFrame(const FrameRecord& frame) override { frames_.push_back(frame); }

  int frames() const { return static_cast<int>(frames_.size()); }
  const FrameRecord& frame(int k) const { return frames_[static_cast<std::size_t>(k)]; }
  const std::optional<Route>& route() const { return route_; }
  const std::string& route_text() const { return route_text_; }
  const std::string& csv() const { return csv_.text(); }
  const std::string& scenario_text() const { return scenario_.text; }
  const char* Timeline() {
    out_.swap(timeline_text_.text());
    timeline_text_.text().clear();
    return out_.c_str();
  }

 private:
  // The route the page wrote into the run, parsed as the page parsed it.
  void ReadRoute() {
    const std::string& text = scenario_.text;
    std::string file;
    std::size_t at = 0;
    bool in_route = false;
    while (at < text.size()) {
      std::size_t end = text.find('\n', at);
      if (end == std::string::npos) end = text.size();
      const std::string_view line(text.data() + at, end - at);
      at = end + 1;
      if (!in_route && line.starts_with(kRouteHeader)) {
        in_route = true;
        file = std::string(line.substr(kRouteHeader.size()));
      } else if (in_route && line.starts_with(kRouteLine)) {
        route_text_.append(line.substr(kRouteLine.size())).append("\n");
      } else if (in_route) {
        break;
      }
    }
    if (!in_route) return;
    Parsed<Route> parsed = ParseRoute(route_text_, file);
    if (parsed.ok()) route_ = std::move(parsed.value);
  }

  Scenario scenario_;
  std::optional<Route> route_;
  std::string route_text_;
  std::vector<FrameRecord> frames_;
  StringOut csv_;
  StringOut timeline_text_;
  TraceCsv trace_;
  atshost::Timeline timeline_;
  std::string out_;
};

std::unique_ptr<PageRun> g_run;
std::unique_ptr<SavedRun> g_saved;  // open instead of g_run
bool g_fixed_step = false;
bool g_careful = true;  // the autopilot is the careful driver
std::string g_error;
RouteAhead g_ahead;
std::vector<double> g_ahead_out;
std::array<double, PAGE_TRIP_LENGTH> g_trip{};

// The plug-in is one per process: the old run disposes of it first. A new
// run is a new start of the simulator, with its warning still to come.
void Fresh() {
  g_run.reset();
  g_saved.reset();
  g_shown.Clear();
  vorlan::SetKeyboardPlatform(&g_keyboard);
  vorlan::ForgetKeyboardWarning();
  g_keyboard.Restart();
}

int Open(Parsed<Route> parsed, const std::string& text) {
  if (!parsed.ok()) {
    // As atshost prints it: a message may quote what the file holds.
    g_error = Printable(parsed.error);
    return 1;
  }
  g_error.clear();
  Fresh();
  g_run = std::make_unique<PageRun>(std::move(parsed.value), text, g_careful);
  g_run->set_fixed_step(g_fixed_step);
  return 0;
}

// A text that is no route is taken for a saved run when it has a frame.
bool LooksLikeRun(const std::string& text) {
  return text.rfind("frame ", 0) == 0 || text.find("\nframe ") != std::string::npos;
}

const Route* OpenRoute() {
  if (g_run) return &g_run->route();
  if (g_saved && g_saved->route()) return &*g_saved->route();
  return nullptr;
}

}  // namespace
}  // namespace atshost

using atshost::g_run;

extern "C" {

int page_open_demo(void) {
  const std::string text = atshost::DemoRouteText();
  return atshost::Open(atshost::ParseRoute(text, "(built-in demo route)"), text);
}

int page_open_route(const char* file_name, const char* text, int length) {
  const std::string file = file_name != nullptr ? file_name : "";
  if (text == nullptr || length < 0) length = 0;
  if (static_cast<std::uintmax_t>(length) > atshost::kMaxInputBytes) {
    atshost::g_error = atshost::Printable(atshost::TooLargeMessage(file));
    return 1;
  }
  const std::string route(text != nullptr ? text : "", static_cast<std::size_t>(length));
  return atshost::Open(atshost::ParseRoute(route, file), route);
}

int page_open_file(const char* file_name, const char* text, int length) {
  using namespace atshost;
  if (page_open_route(file_name, text, length) == 0) return PAGE_OPENED_ROUTE;
  const std::string route_error = g_error;
  const std::string file = file_name != nullptr ? file_name : "";
  if (text == nullptr || length < 0) length = 0;
  if (static_cast<std::uintmax_t>(length) > kMaxInputBytes) return PAGE_REFUSED;
  std::string body(text != nullptr ? text : "", static_cast<std::size_t>(length));
  const bool run = LooksLikeRun(body);
  Parsed<Scenario> parsed = ParseScenario(std::move(body), file);
  if (!parsed.ok()) {
    // The route's complaint, unless the text is plainly a saved run.
    g_error = run ? Printable(parsed.error) : route_error;
    return PAGE_REFUSED;
  }
  g_error.clear();
  Fresh();
  g_saved = std::make_unique<SavedRun>(std::move(parsed.value));
  g_saved->Play();
  page_seek(0);
  return PAGE_OPENED_RUN;
}

int page_run_frames(void) { return atshost::g_saved ? atshost::g_saved->frames() : -1; }

void page_seek(int frame) {
  using atshost::g_saved;
  if (!g_saved) return;
  if (g_saved->frames() == 0) {
    atshost::g_shown.Clear();
    return;
  }
  atshost::g_shown.Record(g_saved->frame(std::clamp(frame, 0, g_saved->frames() - 1)));
}

int page_run_has_route(void) { return atshost::g_saved && atshost::g_saved->route() ? 1 : 0; }

int page_take_over(int frame) {
  using namespace atshost;
  if (!g_saved) {
    g_error = "no saved run is open";
    return 1;
  }
  if (!g_saved->route()) {
    g_error =
        "this run does not carry its route: only a run saved by the driving page can be "
        "taken over";
    return 1;
  }
  if (frame < 0 || frame >= g_saved->frames()) {
    g_error = "the run has no frame " + std::to_string(frame);
    return 1;
  }
  // The saved run stays whole until the run taken over has reached its frame.
  std::unique_ptr<SavedRun> saved = std::move(g_saved);
  Fresh();
  // The run's route as it was driven: its driver is not asked, for the
  // inputs given again are a person's, whoever gave them first.
  auto run = std::make_unique<PageRun>(*saved->route(), saved->route_text(), g_careful);
  int32_t time = 0;
  for (int k = 0; k <= frame; ++k) {
    const FrameRecord& f = saved->frame(k);
    const int32_t dt = k == 0 ? 0
                              : static_cast<int32_t>(static_cast<uint32_t>(f.state.Time) -
                                                     static_cast<uint32_t>(time));
    time = f.state.Time;
    const std::size_t from = k == 0 ? run->start_events() : 0;
    if (!run->Again(f, dt, from)) {
      g_error = "the run cannot be taken over: frame " + std::to_string(k) +
                " comes out other than it was saved (a run driven on another route, or by "
                "another version of the page)";
      run.reset();
      g_saved = std::move(saved);
      page_seek(frame);
      return 1;
    }
  }
  g_run = std::move(run);
  g_run->set_fixed_step(g_fixed_step);
  return 0;
}

const char* page_error(void) { return atshost::g_error.c_str(); }

int page_notches(void) { return g_run ? g_run->route().model.power_notches : 0; }
int page_brake_notches(void) { return g_run ? g_run->route().model.brake_notches : 0; }

void page_control(int control, int value) {
  if (g_run) g_run->Control(control, value);
}

void page_autopilot_driver(int driver) { atshost::g_careful = driver != PAGE_ROUTE_DRIVER; }

void page_set_f7(int down) { atshost::g_keyboard.set_f7(down != 0); }

int page_step(int dt_ms) { return g_run ? g_run->Step(dt_ms) : PAGE_NO_ROUTE; }

void page_test_fixed_step(int on) {
  atshost::g_fixed_step = on != 0;
  if (g_run) g_run->set_fixed_step(atshost::g_fixed_step);
}

const int32_t* page_panel(void) { return atshost::g_shown.panel.data(); }
const int32_t* page_sound(void) { return atshost::g_shown.sound.data(); }
const int32_t* page_handles(void) { return atshost::g_shown.handles.data(); }
const int32_t* page_driver(void) { return atshost::g_shown.driver.data(); }
const double* page_train(void) { return atshost::g_shown.train.data(); }
int page_frame(void) { return g_run ? g_run->frame() : -1; }
int page_autopilot(void) { return g_run && g_run->autopilot() ? 1 : 0; }

const char* page_timeline(void) {
  if (atshost::g_saved) return atshost::g_saved->Timeline();
  return g_run ? g_run->Timeline() : "";
}
const char* page_csv(void) {
  if (atshost::g_saved) return atshost::g_saved->csv().c_str();
  return g_run ? g_run->Csv() : "";
}
const char* page_scenario(void) {
  if (atshost::g_saved) return atshost::g_saved->scenario_text().c_str();
  return g_run ? g_run->Scenario() : "";
}

const double* page_ahead(double from, double to) {
  using namespace atshost;
  std::vector<double>& out = g_ahead_out;
  out.clear();
  const Route* route = OpenRoute();
  if (route != nullptr)
    QueryRouteAhead(*route, from, to, g_ahead);
  else
    g_ahead = {};
  out.push_back(static_cast<double>(g_ahead.items.size()));
  out.push_back(static_cast<double>(g_ahead.gradients.size()));
  for (const AheadItem& item : g_ahead.items) {
    out.insert(out.end(), {static_cast<double>(item.kind), item.at,
                           static_cast<double>(item.limit_kmh), item.window_m});
  }
  for (const AheadGradient& g : g_ahead.gradients)
    out.insert(out.end(), {g.from, g.to, g.permille});
  return out.data();
}

const char* page_ahead_name(int item) {
  const auto& items = atshost::g_ahead.items;
  if (item < 0 || static_cast<std::size_t>(item) >= items.size()) return "";
  return items[static_cast<std::size_t>(item)].name.c_str();
}

const double* page_trip(void) {
  auto& trip = atshost::g_trip;
  trip.fill(0.0);
  if (!g_run) return trip.data();
  const auto& trips = g_run->trips();
  trip[0] = static_cast<double>(trips.size());
  if (!trips.empty()) {
    const atshost::TripReport& t = trips.back();
    trip[1] = t.beacon ? t.beacon_location : t.location;
    trip[2] = t.beacon ? static_cast<double>(t.limit_kmh) : 0.0;
    trip[3] = t.beacon ? static_cast<double>(t.checked_kmh) : 0.0;
  }
  return trip.data();
}

}  // extern "C"
