// The driving page's module: one run of a route at a time, under a person's
// hands or the route's driver's, with atshost's own train model, driver,
// parser, trace and timeline around the plug-in linked in.
#include "host/web/page_api.h"

#include <algorithm>
#include <array>
#include <memory>
#include <string>
#include <vector>

#include "host/sim/drive.h"
#include "host/sim/route.h"
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

#define ATS_LINKED(name, ret, params, args, bytes, decoration) ats##name,
constexpr PluginApi kLinked = {ATS_ENTRY_POINTS(ATS_LINKED)};
#undef ATS_LINKED

PageKeyboard g_keyboard;

// One run: the route, its session with the trace, the timeline and the
// scenario as sinks, and what the page shows of the last frame.
class PageRun {
 public:
  explicit PageRun(Route route)
      : route_(std::move(route)),
        trace_(csv_),
        timeline_(timeline_text_),
        scenario_(scenario_text_, "a drive of " + route_.file + " in the driving page"),
        session_(kLinked, {&trace_, &timeline_, &scenario_}) {
    session_.WatchProcessEnd(&g_keyboard.process_ended());
    run_ = std::make_unique<DriveRun>(route_, session_);
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
      run_->Frame(dt, autopilot_ ? DriveRun::Hands::kDriver : DriveRun::Hands::kPerson, controls_);
      controls_.clear();
      if (session_.process_ended()) return PAGE_PROCESS_ENDED;
      Show();
      if (run_->ended()) run_->Finish();
    }
    return run_->ended() ? PAGE_ROUTE_ENDED : PAGE_RUNNING;
  }

  void set_fixed_step(bool on) { fixed_step_ = on; }
  bool autopilot() const { return autopilot_; }
  int frame() const { return session_.frames() > 0 ? static_cast<int>(session_.last().index) : -1; }

  const int32_t* panel() const { return panel_.data(); }
  const int32_t* sound() const { return sound_.data(); }
  const int32_t* handles() const { return handles_.data(); }
  const int32_t* driver() const { return driver_.data(); }
  const double* train() const { return train_.data(); }

  const char* Timeline() {
    out_.swap(timeline_text_.text());
    timeline_text_.text().clear();
    return out_.c_str();
  }
  const char* Csv() const { return csv_.text().c_str(); }
  const char* Scenario() const { return scenario_text_.text().c_str(); }

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

  // The outputs as the frame left them, kept apart from the session's arrays
  // so that a frame abandoned by the plug-in's end of the process shows
  // nothing of itself.
  void Show() {
    const FrameRecord& r = session_.last();
    std::copy(session_.panel_array().begin(), session_.panel_array().end(), panel_.begin());
    std::copy(session_.sound_array().begin(), session_.sound_array().end(), sound_.begin());
    handles_ = r.HandlesInOrder();
    driver_ = r.DriverInOrder();
    train_ = {static_cast<double>(r.state.Time),       r.state.Location,
              static_cast<double>(r.state.Speed),      static_cast<double>(r.state.BcPressure),
              static_cast<double>(r.state.MrPressure), static_cast<double>(r.state.Current)};
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
  bool autopilot_ = false;
  bool fixed_step_ = false;
  std::array<int32_t, PAGE_PANEL_LENGTH> panel_{};
  std::array<int32_t, PAGE_SOUND_LENGTH> sound_{};
  std::array<int32_t, PAGE_HANDLES_LENGTH> handles_{};
  std::array<int32_t, PAGE_DRIVER_LENGTH> driver_{};
  std::array<double, PAGE_TRAIN_LENGTH> train_{};
  std::string out_;  // the timeline's lines last handed out
};

std::unique_ptr<PageRun> g_run;
bool g_fixed_step = false;
std::string g_error;
const std::array<int32_t, PAGE_PANEL_LENGTH> kNoPanel{};
const std::array<int32_t, PAGE_SOUND_LENGTH> kNoSound{};
const std::array<double, PAGE_TRAIN_LENGTH> kNoTrain{};

int Open(Parsed<Route> parsed) {
  if (!parsed.ok()) {
    // As atshost prints it: a message may quote what the file holds.
    g_error = Printable(parsed.error);
    return 1;
  }
  g_error.clear();
  // The plug-in is one per process: the old run disposes of it first. A new
  // run is a new start of the simulator, with its warning still to come.
  g_run.reset();
  vorlan::SetKeyboardPlatform(&g_keyboard);
  vorlan::ForgetKeyboardWarning();
  g_keyboard.Restart();
  g_run = std::make_unique<PageRun>(std::move(parsed.value));
  g_run->set_fixed_step(g_fixed_step);
  return 0;
}

}  // namespace
}  // namespace atshost

using atshost::g_run;

extern "C" {

int page_open_demo(void) {
  return atshost::Open(atshost::ParseRoute(atshost::DemoRouteText(), "(built-in demo route)"));
}

int page_open_route(const char* file_name, const char* text, int length) {
  const std::string file = file_name != nullptr ? file_name : "";
  if (text == nullptr || length < 0) length = 0;
  if (static_cast<std::uintmax_t>(length) > atshost::kMaxInputBytes) {
    atshost::g_error = atshost::Printable(atshost::TooLargeMessage(file));
    return 1;
  }
  const std::string route(text != nullptr ? text : "", static_cast<std::size_t>(length));
  return atshost::Open(atshost::ParseRoute(route, file));
}

const char* page_error(void) { return atshost::g_error.c_str(); }

int page_notches(void) { return g_run ? g_run->route().model.power_notches : 0; }
int page_brake_notches(void) { return g_run ? g_run->route().model.brake_notches : 0; }

void page_control(int control, int value) {
  if (g_run) g_run->Control(control, value);
}

void page_set_f7(int down) { atshost::g_keyboard.set_f7(down != 0); }

int page_step(int dt_ms) { return g_run ? g_run->Step(dt_ms) : PAGE_NO_ROUTE; }

void page_test_fixed_step(int on) {
  atshost::g_fixed_step = on != 0;
  if (g_run) g_run->set_fixed_step(atshost::g_fixed_step);
}

const int32_t* page_panel(void) { return g_run ? g_run->panel() : atshost::kNoPanel.data(); }
const int32_t* page_sound(void) { return g_run ? g_run->sound() : atshost::kNoSound.data(); }
const int32_t* page_handles(void) { return g_run ? g_run->handles() : atshost::kNoPanel.data(); }
const int32_t* page_driver(void) { return g_run ? g_run->driver() : atshost::kNoPanel.data(); }
const double* page_train(void) { return g_run ? g_run->train() : atshost::kNoTrain.data(); }
int page_frame(void) { return g_run ? g_run->frame() : -1; }
int page_autopilot(void) { return g_run && g_run->autopilot() ? 1 : 0; }

const char* page_timeline(void) { return g_run ? g_run->Timeline() : ""; }
const char* page_csv(void) { return g_run ? g_run->Csv() : ""; }
const char* page_scenario(void) { return g_run ? g_run->Scenario() : ""; }

}  // extern "C"
