// The driving page's module through its C interface, natively: the same
// runs as atshost's, the run saved as a scenario that replays to the page's
// own trace, the driver's controls, the plug-in's F7 warning and end of the
// process, and a route refused with atshost's message.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "host/sim/drive.h"
#include "host/sim/linked_plugin.h"
#include "host/sim/replay.h"
#include "host/sim/route.h"
#include "host/sim/text_out.h"
#include "host/sim/trace_csv.h"
#include "host/web/page_api.h"
#include "plugin/atsplugin.h"
#include "plugin/keyboard_platform.h"

namespace {

std::vector<std::u16string> g_boxes;  // caption, text, caption, text, ...

}  // namespace

// The page's script, here: the warning box is only written down.
extern "C" void page_warning_box(const uint16_t* caption, const uint16_t* text) {
  for (const uint16_t* s : {caption, text}) {
    std::u16string copy;
    while (*s != 0) copy += static_cast<char16_t>(*s++);
    g_boxes.push_back(copy);
  }
}

namespace atshost {
namespace {

// The demo's trip lamp and its emergency brake position.
constexpr int kTripLamp = 2;
constexpr int kWindowLamp = 11;
constexpr int kDemoEmergency = 9;
constexpr int kFrameMs = 20;

// What `atshost drive` writes for the demo.
std::string AtshostDemoCsv() {
  const Parsed<Route> route = ParseRoute(DemoRouteText(), "(built-in demo route)");
  StringOut csv;
  TraceCsv trace(csv);
  Session session(kLinkedPlugin, {&trace});
  Drive(route.value, session);
  return csv.text();
}

// What `atshost replay` writes for a scenario.
std::string ReplayCsv(const std::string& scenario) {
  const Parsed<Scenario> parsed = ParseScenario(scenario, "saved.txt");
  EXPECT_TRUE(parsed.ok()) << parsed.error;
  StringOut csv;
  TraceCsv trace(csv);
  Session session(kLinkedPlugin, {&trace});
  Replay(parsed.value, session);
  return csv.text();
}

int Steps(int count) {
  int status = PAGE_RUNNING;
  for (int i = 0; i < count && status == PAGE_RUNNING; ++i) status = page_step(kFrameMs);
  return status;
}

class PageModule : public ::testing::Test {
 protected:
  void SetUp() override {
    g_boxes.clear();
    page_test_fixed_step(1);
    // The route's own driver, whose drive is atshost drive's.
    page_autopilot_driver(PAGE_ROUTE_DRIVER);
    ASSERT_EQ(page_open_demo(), 0);
  }
};

TEST_F(PageModule, AutopilotOverTheDemoWritesAtshostsTraceAndReplaysToIt) {
  page_control(PAGE_AUTOPILOT, 1);
  int status = PAGE_RUNNING;
  while (status == PAGE_RUNNING) status = page_step(16);
  EXPECT_EQ(status, PAGE_ROUTE_ENDED);
  EXPECT_EQ(page_step(16), PAGE_ROUTE_ENDED);  // and stays so
  const std::string csv = page_csv();
  EXPECT_EQ(csv, AtshostDemoCsv());
  EXPECT_EQ(ReplayCsv(page_scenario()), csv);
  // The timeline as atshost prints it, the stop included.
  EXPECT_NE(std::string(page_timeline()).find("stopped at the station at 1 150.0 m"),
            std::string::npos);
  EXPECT_STREQ(page_timeline(), "");  // handed out once
}

TEST_F(PageModule, DrivenByHandTheTrainTripsAndTheSavedRunReplaysToTheSameTrace) {
  page_test_fixed_step(0);
  EXPECT_EQ(page_notches(), 4);
  EXPECT_EQ(page_brake_notches(), 8);
  // Switch-on with the handles secured, then full power.
  page_control(PAGE_KEY_DOWN, 10);
  page_control(PAGE_KEY_UP, 10);
  ASSERT_EQ(Steps(50), PAGE_RUNNING);
  page_control(PAGE_REVERSER, 1);
  page_control(PAGE_BRAKE, 0);
  page_control(PAGE_POWER, 99);  // past the last notch: the last notch
  ASSERT_EQ(page_step(kFrameMs), PAGE_RUNNING);
  EXPECT_EQ(page_driver()[1], 4);
  EXPECT_EQ(page_driver()[0], 0);
  // Real-time steps are clamped: a stalled display does not throw the train on.
  const double before = page_train()[0];
  ASSERT_EQ(page_step(5000), PAGE_RUNNING);
  EXPECT_EQ(page_train()[0] - before, 100.0);
  // On until the train passes the signal beacon at 560 m too fast.
  int frames = 0;
  while (page_panel()[kTripLamp] == 0 && frames++ < 10000) ASSERT_EQ(Steps(1), PAGE_RUNNING);
  EXPECT_NE(page_panel()[kTripLamp], 0);
  EXPECT_GT(page_train()[1], 560.0);
  EXPECT_GE(page_handles()[0], page_brake_notches());
  page_control(PAGE_BRAKE, 99);  // the emergency position
  ASSERT_EQ(Steps(10), PAGE_RUNNING);
  EXPECT_EQ(page_driver()[0], kDemoEmergency);
  const std::string csv = page_csv();
  EXPECT_EQ(ReplayCsv(page_scenario()), csv);
  EXPECT_EQ(static_cast<int>(std::count(csv.begin(), csv.end(), '\n')) - 1, page_frame() + 1);
}

TEST_F(PageModule, TheRoutesDriverTakesOverWithoutRedoingWhatWasPassed) {
  // By hand past the demo's switch-on at 2 s, which is the person's to do.
  ASSERT_EQ(Steps(150), PAGE_RUNNING);
  page_control(PAGE_AUTOPILOT, 1);
  EXPECT_EQ(page_autopilot(), 1);
  page_control(PAGE_POWER, 3);  // the driver's now: dropped
  ASSERT_EQ(Steps(250), PAGE_RUNNING);
  const std::string csv = page_csv();
  EXPECT_EQ(csv.find("key 10 down"), std::string::npos);
  EXPECT_EQ(csv.find("driver power 3"), std::string::npos);
  // The driver did its 4 s action: reverser forward, brake off, full power.
  EXPECT_NE(csv.find("driver reverser 1; driver brake 0; driver power 4"), std::string::npos);
  page_control(PAGE_AUTOPILOT, 0);
  page_control(PAGE_POWER, 0);
  ASSERT_EQ(Steps(1), PAGE_RUNNING);
  EXPECT_EQ(page_driver()[1], 0);
}

TEST_F(PageModule, F7WarnsOnceThenEndsTheSession) {
  page_set_f7(1);
  ASSERT_EQ(Steps(1), PAGE_RUNNING);
  ASSERT_EQ(g_boxes.size(), 2u);
  EXPECT_EQ(g_boxes[0], vorlan::kWarningCaption);
  EXPECT_EQ(g_boxes[1], vorlan::kWarningText);
  page_set_f7(0);
  ASSERT_EQ(Steps(5), PAGE_RUNNING);
  const int last = page_frame();
  const std::string csv = page_csv();
  page_set_f7(1);
  EXPECT_EQ(page_step(kFrameMs), PAGE_PROCESS_ENDED);
  EXPECT_EQ(page_step(kFrameMs), PAGE_PROCESS_ENDED);
  // The frame in which the process ended left nothing behind.
  EXPECT_EQ(page_frame(), last);
  EXPECT_EQ(std::string(page_csv()), csv);
  EXPECT_EQ(g_boxes.size(), 2u);
  // Starting again is a new process: with F7 still held, the warning comes
  // again first.
  ASSERT_EQ(page_open_demo(), 0);
  ASSERT_EQ(Steps(1), PAGE_RUNNING);
  EXPECT_EQ(g_boxes.size(), 4u);
  page_set_f7(0);
}

TEST_F(PageModule, ARouteWithAnErrorIsRefusedWithAtshostsMessage) {
  ASSERT_EQ(Steps(3), PAGE_RUNNING);
  struct Case {
    std::string text;
    const char* error;
  };
  const Case cases[] = {
      {"start dt=0\n", "mine.route:1: dt must be 1 to 1000 ms"},
      {"vehicle brake-notches=8\nat 1 s power 5\n",
       "mine.route:2: power must be 0 to 4 for this vehicle, not 5"},
      {std::string("\xFF\xFE", 2), "mine.route: is UTF-16 text; save it as UTF-8"},
      // Bytes that are not UTF-8 are shown as atshost shows them.
      {"fly\xFF\n", "mine.route:1: unknown command 'fly\\xFF'"},
  };
  for (const Case& c : cases) {
    EXPECT_NE(page_open_route("mine.route", c.text.data(), static_cast<int>(c.text.size())), 0);
    EXPECT_STREQ(page_error(), c.error);
  }
  // The run that was open goes on.
  EXPECT_EQ(page_frame(), 2);
  ASSERT_EQ(Steps(1), PAGE_RUNNING);
  EXPECT_EQ(page_frame(), 3);
  const std::string good = "vehicle brake-notches=4 power-notches=2\nat 0.5 s key 10\nend time=1\n";
  EXPECT_EQ(page_open_route("good.route", good.data(), static_cast<int>(good.size())), 0);
  EXPECT_EQ(page_frame(), -1);
  EXPECT_EQ(page_notches(), 2);
  EXPECT_EQ(Steps(100), PAGE_ROUTE_ENDED);
}

// The careful driver on the demo: the signal's 28 km/h kept, no trip, the
// station stopped at.
TEST_F(PageModule, TheCarefulAutopilotKeepsEveryLimitOfTheDemo) {
  page_autopilot_driver(PAGE_CAREFUL_DRIVER);
  ASSERT_EQ(page_open_demo(), 0);
  page_control(PAGE_AUTOPILOT, 1);
  int status = PAGE_RUNNING;
  bool window = false;
  while (status == PAGE_RUNNING) {
    status = page_step(kFrameMs);
    EXPECT_EQ(page_panel()[kTripLamp], 0) << "tripped at " << page_train()[1] << " m";
    if (page_panel()[kTripLamp] != 0) break;
    window = window || page_panel()[kWindowLamp] != 0;
  }
  EXPECT_EQ(status, PAGE_ROUTE_ENDED);
  EXPECT_EQ(page_trip()[0], 0.0);
  EXPECT_TRUE(window) << "the window lamp never lit";
}

// The line ahead is the route's: the signal with its limit, the station and
// the end, then the gradients, as page_api.h lays them out.
TEST_F(PageModule, TheLineAheadIsTheRoutesOwn) {
  const double* a = page_ahead(0.0, 2000.0);
  ASSERT_EQ(a[0], 3.0);
  const double* item = a + 2;
  EXPECT_EQ(std::vector<double>(item, item + 3 * PAGE_AHEAD_ITEM_LENGTH),
            (std::vector<double>{PAGE_AHEAD_CHECK, 560, 28, 0, PAGE_AHEAD_STATION, 1150, 0, 0.3,
                                 PAGE_AHEAD_END, 1150, 0, 0}));
  EXPECT_STREQ(page_ahead_name(1), "");
  const double* grade = item + 3 * PAGE_AHEAD_ITEM_LENGTH;
  ASSERT_EQ(a[1], 3.0);
  EXPECT_EQ(std::vector<double>(grade, grade + 3 * PAGE_AHEAD_GRADIENT_LENGTH),
            (std::vector<double>{0, 40, 0, 40, 120, -25, 120, 2000, 0}));
}

// Before the first frame every sound is stopped: the host's zeros would read
// "play looping". A tap of F7 let go before the frame still reaches the unit.
TEST_F(PageModule, BeforeAFrameNoSoundPlaysAndATapCounts) {
  for (int i = 0; i < PAGE_SOUND_LENGTH; ++i) EXPECT_EQ(page_sound()[i], -10000) << i;
  page_set_f7(1);
  page_set_f7(0);
  ASSERT_EQ(Steps(1), PAGE_RUNNING);
  EXPECT_EQ(g_boxes.size(), 2u);
  ASSERT_EQ(Steps(1), PAGE_RUNNING);  // read once, and let go
  EXPECT_EQ(g_boxes.size(), 2u);
}

// The frames of a scenario text up to and including frame `n`.
std::string Upto(const std::string& scenario, int n) {
  std::size_t at = 0;
  for (int k = 0; k <= n; ++k) {
    at = scenario.find("\nframe ", at);
    if (at == std::string::npos) return scenario;
    at = scenario.find('\n', at + 1);
  }
  return scenario.substr(0, at + 1);
}

// A run saved, opened as a saved run, shown at a frame and taken over there:
// the run taken over is the saved one byte for byte up to that frame, at the
// display's uneven frame times and across the autopilot's frames.
TEST_F(PageModule, ASavedRunTakenOverKeepsItsFramesExactly) {
  page_test_fixed_step(0);
  page_control(PAGE_KEY_DOWN, 10);
  page_control(PAGE_KEY_UP, 10);
  for (int k = 0; k < 300; ++k) ASSERT_EQ(page_step(13 + k % 9), PAGE_RUNNING);
  page_control(PAGE_AUTOPILOT, 1);
  for (int k = 0; k < 300; ++k) ASSERT_EQ(page_step(17 + k % 5), PAGE_RUNNING);
  page_control(PAGE_AUTOPILOT, 0);
  page_control(PAGE_POWER, 2);
  ASSERT_EQ(Steps(100), PAGE_RUNNING);
  const std::string saved = page_scenario();
  const int frames = page_frame() + 1;

  ASSERT_EQ(page_open_file("drive-scenario.txt", saved.data(), static_cast<int>(saved.size())),
            PAGE_OPENED_RUN)
      << page_error();
  ASSERT_EQ(page_run_frames(), frames);
  EXPECT_EQ(page_run_has_route(), 1);
  page_seek(400);
  const double time = page_train()[0];
  EXPECT_STREQ(page_scenario(), saved.c_str());

  constexpr int kAt = 400;
  ASSERT_EQ(page_take_over(kAt), 0) << page_error();
  EXPECT_EQ(page_frame(), kAt);
  EXPECT_EQ(page_train()[0], time);
  EXPECT_EQ(std::string(page_scenario()), Upto(saved, kAt));
  EXPECT_EQ(page_autopilot(), 0);
  page_control(PAGE_BRAKE, 9);
  ASSERT_EQ(Steps(50), PAGE_RUNNING);
  EXPECT_EQ(Upto(page_scenario(), kAt), Upto(saved, kAt));
  EXPECT_EQ(ReplayCsv(page_scenario()), std::string(page_csv()));

  // A scenario without its route plays but cannot be taken over.
  const std::string plain = "vehicle brake-notches=8\ninitialize 9\nframe time=0\n";
  ASSERT_EQ(page_open_file("plain.txt", plain.data(), static_cast<int>(plain.size())),
            PAGE_OPENED_RUN);
  EXPECT_EQ(page_run_has_route(), 0);
  EXPECT_NE(page_take_over(0), 0);
}

}  // namespace
}  // namespace atshost
