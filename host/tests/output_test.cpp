// What a person reads: the timeline's words and folding, the trace's columns
// and numbers, the chart, and the number formats they share.
#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <sstream>

#include "host/check.h"
#include "host/io/input_file.h"
#include "host/output/check_page.h"
#include "host/output/english_words.h"
#include "host/output/html_page.h"
#include "host/output/svg_chart.h"
#include "host/sim/format.h"
#include "host/sim/replay.h"
#include "host/sim/text_out.h"
#include "host/sim/timeline.h"
#include "host/sim/trace_csv.h"
#include "host/tests/word_table_sample.h"
#include "host_fixture.h"

namespace atshost {
namespace {

using test::OpenPlugin;

std::string TimelineOf(const std::string& path) {
  StringOut out;
  Timeline timeline(out);
  auto library = OpenPlugin();
  Session session(library->api(), {&timeline});
  Replay(ParseScenario(ReadFile(path).value, path).value, session);
  return out.text();
}

TEST(Timeline, SaysWhatChangedInWords) {
  const std::string t = TimelineOf(std::string(ATS_TEST_SCENARIOS) + "/beacon_trip.txt");
  EXPECT_NE(t.find("    2.100 s        6.7 m   40.0 km/h  beacon type 0 signal 1 optional 0 "
                   "\u2192 unit TRIPPED (limit 28 km/h, checked 40.0 km/h) \u2014 brake 9 "
                   "(emergency), power 0 (cut), emergency "
                   "lamp on, bell\n"),
            std::string::npos)
      << t;
  EXPECT_NE(t.find("key 10 down, key 10 up \u2192 unit ON \u2014"), std::string::npos) << t;
  EXPECT_NE(t.find("unit ON (trip reset) \u2014"), std::string::npos) << t;
  EXPECT_NE(t.find("bell stopped"), std::string::npos) << t;
  // The second beacon only continues the bell: no new "bell".
  EXPECT_EQ(t.find("beacon type 13 signal 0 optional 0 \u2192"), std::string::npos) << t;
}

// A trip's line says why: at a beacon, its limit and the speed the unit
// checked (worked out from the frame before, not the speed reported); while
// the unit is off, the tripped lamp is told though the unit stays "OFF".
TEST(Timeline, TellsWhatTrippedTheUnit) {
  struct Case {
    const char* name;
    const char* scenario;
    const char* words;
  };
  const Case cases[] = {
      {"a beacon passed too fast",
       "vehicle brake-notches=8\ndoors close\nbrake 9\nframe time=1000 location=0\nkey 10\n"
       "reverser 1\nbrake 0\nframe time=2000 location=20 speed=60\n"
       "beacon type=0 signal=3\nframe time=3000 location=40 speed=60\n",
       "unit TRIPPED (limit 68 km/h, checked 72.0 km/h)"},
      {"the reverser in neutral while off",
       "vehicle brake-notches=8\ndoors close\nbrake 9\nframe time=1000 location=0\n"
       "advance 3 dt=100 speed=10\n",
       "tripped lamp on while the unit is off"},
  };
  for (const Case& c : cases) {
    StringOut out;
    Timeline timeline(out);
    auto library = OpenPlugin();
    Session session(library->api(), {&timeline});
    Replay(ParseScenario(c.scenario, "t.txt").value, session);
    EXPECT_NE(out.text().find(c.words), std::string::npos) << c.name << ":\n" << out.text();
  }
}

TEST(Timeline, WarningBrakeIsToldFromASpeedMismatch) {
  const std::string t = TimelineOf(std::string(ATS_TEST_SCENARIOS) + "/door_warning.txt");
  EXPECT_NE(t.find("doors closed \u2192 unit WARNING \u2014 brake 9 (emergency)"),
            std::string::npos)
      << t;
  EXPECT_NE(t.find("unit ON (warning over) \u2014 brake 8 (service), alarm stopped"),
            std::string::npos)
      << t;
  const std::string s = TimelineOf(std::string(ATS_TEST_SCENARIOS) + "/station_stop.txt");
  EXPECT_NE(s.find("warning lamp on: speed mismatch"), std::string::npos) << s;
  EXPECT_EQ(s.find("unit WARNING"), std::string::npos) << s;
}

// A brake the plug-in switches on and off every frame is shown once, and
// again when it has settled.
TEST(Timeline, FoldsAHandleThatChattersAndShowsWhereItSettled) {
  StringOut out;
  Timeline timeline(out);
  FrameRecord r;
  r.host.brake_notches = 8;
  r.panel.fill(0);
  r.sound.fill(-10000);
  r.handles = ATS_HANDLES{0, 1, 1, 1};
  r.host.power = 1;
  for (int i = 0; i < 200; ++i) {
    r.index = i;
    r.state.Time = i * 20;
    // Chattering from 1.0 s to 2.0 s, then released for good.
    r.handles.Brake = (i >= 50 && i < 100 && i % 2 == 0) ? 4 : 0;
    r.handles.Power = r.handles.Brake == 4 ? 0 : 1;
    timeline.OnFrame(r);
  }
  const std::string t = out.text();
  EXPECT_NE(t.find("    1.000 s        0.0 m    0.0 km/h  brake 4 (speed hold), power 0 (cut)\n"),
            std::string::npos)
      << t;
  EXPECT_NE(t.find("    2.980 s        0.0 m    0.0 km/h  brake released, settled since 1.980 s "
                   "after 49 quick changes, power 1, settled since 1.980 s after 49 quick "
                   "changes\n"),
            std::string::npos)
      << t;
  int lines = 0;
  for (char c : t) lines += c == '\n';
  EXPECT_EQ(lines, 3);  // the first frame, the first change, the settling
}

TEST(TraceCsv, HasNamedColumnsForEveryValueAndQuotesEvents) {
  const std::string header = TraceCsv::Header();
  int columns = 1;
  for (char c : header) columns += c == ',';
  EXPECT_EQ(columns, 15 + 48 + 8 + 1);
  EXPECT_NE(header.find(",p2_tripped,"), std::string::npos);
  EXPECT_NE(header.find(",s100_door,events"), std::string::npos);

  FrameRecord r;
  r.state.Speed = 0.1f;
  r.state.Location = 1234.5678;
  r.events.push_back(HostEvent::Note("stopped, 0.1 m short"));
  r.events.push_back(HostEvent::Of(EventKind::kKeyDown, 3));
  const std::string row = TraceCsv::Row(r);
  EXPECT_EQ(row.substr(0, 19), "0,0,1234.5678,0.1,0");
  const std::string events = ",\"stopped, 0.1 m short; key 3 down\"";
  EXPECT_EQ(row.substr(row.size() - events.size()), events);
}

TEST(SvgChart, DrawsAWholeDocumentWithItsMarks) {
  SvgChart chart("t <run> & more", SvgChart::Axis::kTime);
  FrameRecord r;
  r.host.brake_notches = 8;
  r.panel.fill(0);
  r.sound.fill(-10000);
  for (int i = 0; i < 10; ++i) {
    r.state.Time = i * 100;
    r.state.Speed = static_cast<float>(i * 10);
    r.events.clear();
    if (i == 5) r.events.push_back(HostEvent::Beacon(0, 1, 0));
    r.panel[static_cast<std::size_t>(PanelSlot(kPanelTripped))] = i >= 5 ? 1 : 0;
    chart.OnFrame(r);
  }
  std::ostringstream out;
  chart.Write(out);
  const std::string svg = out.str();
  EXPECT_EQ(svg.rfind("<?xml", 0), 0u);
  EXPECT_EQ(svg.substr(svg.size() - 7), "</svg>\n");
  EXPECT_NE(svg.find("t &lt;run&gt; &amp; more"), std::string::npos);
  EXPECT_NE(svg.find(">TRIP</text>"), std::string::npos);
  EXPECT_NE(svg.find(">limit 28</text>"), std::string::npos);
  EXPECT_NE(svg.find("76: governor brakes above"), std::string::npos);
  EXPECT_EQ(svg.find("<script"), std::string::npos);
}

// The page puts its cursor on the chart by the plot area, so the area spans
// what the chart's scale spans: the finite positions only, a point widened.
TEST(SvgChart, PlotAreaSpansTheFinitePositionsAsTheScaleDoes) {
  struct Case {
    std::vector<double> locations;
    double lo, hi;
  };
  const Case cases[] = {{{100.0, 200.0, HUGE_VAL}, 100.0, 200.0},
                        {{-HUGE_VAL, 150.0, std::nan("")}, 150.0, 151.0},
                        {{std::nan("")}, 0.0, 1.0}};
  for (const Case& c : cases) {
    SvgChart chart("t", SvgChart::Axis::kDistance);
    FrameRecord r;
    r.panel.fill(0);
    r.sound.fill(-10000);
    for (double at : c.locations) {
      r.state.Location = at;
      chart.OnFrame(r);
    }
    const SvgChart::PlotArea area = chart.Area();
    EXPECT_EQ(area.lo, c.lo);
    EXPECT_EQ(area.hi, c.hi);
  }
}

// The page's data: the train's state as rounded steps (runs folded, values
// that cannot be rounded given exactly), the cab's values as changes only,
// and no text that could end the script element holding it.
TEST(HtmlPage, WritesTheRunCompactlyAndKeepsTextInsideItsScript) {
  HtmlPage page("run <b>&</b>");
  FrameRecord r;
  r.panel.fill(0);
  r.sound.fill(-10000);
  const float speeds[] = {10.04f, 10.1f, NAN, 10.3f, 10.3f, 10.3f};
  for (int i = 0; i < 6; ++i) {
    r.index = i;
    r.state.Time = 1000 + i * 20;
    r.state.Speed = speeds[i];
    r.state.Location = i == 1 ? 1e300 : 0.3 * i;
    r.panel[static_cast<std::size_t>(PanelSlot(kPanelTripped))] = i >= 4 ? 1 : 0;
    r.events.clear();
    if (i == 2) r.events.push_back(HostEvent::Note("</script><script>alert(1)"));
    page.OnFrame(r);
  }
  page.OnFinish({});
  std::ostringstream out;
  page.Write(out, "<?xml version=\"1.0\"?>\n<svg></svg>\n", SvgChart::PlotArea{});
  const std::string html = out.str();
  EXPECT_NE(html.find("\"time\":{\"scale\":1,\"steps\":[1000,[5,20]]}"), std::string::npos);
  EXPECT_NE(html.find("\"speed\":{\"scale\":10,\"steps\":[100,1,\"NaN\",2,0,0]}"),
            std::string::npos);
  EXPECT_NE(html.find("\"location\":{\"scale\":10,\"steps\":[0,\"1e+300\",6,[3,3]]}"),
            std::string::npos);
  EXPECT_NE(html.find("\"2\":[0,0,4,1]"), std::string::npos);
  EXPECT_NE(html.find("\\u003c/script\\u003e\\u003cscript\\u003ealert(1)"), std::string::npos);
  EXPECT_EQ(html.find("</script><script>alert"), std::string::npos);
  EXPECT_NE(html.find("<h1 translate=\"no\">run &lt;b&gt;&amp;&lt;/b&gt;</h1>"), std::string::npos);
  EXPECT_NE(html.find("<figure id=\"chart\" lang=\"en\">\n<svg></svg>"), std::string::npos);
  EXPECT_EQ(html.find("{{"), std::string::npos);
}

// The build tables a catalogue as C++ literals: every text and key comes
// through byte for byte (quotes, backslashes, control characters, UTF-8,
// what CMake itself treats specially), sorted by its bytes for the look-up.
TEST(WordTable, KeepsEveryByteInKeyOrder) {
  const std::pair<std::string_view, std::string_view> expected[] = {
      {"backslash", "a\\b \\u0041 /"},
      {"cmake", "a;b [[c]] ${d} @e@ \\;"},
      {"controls", "tab\there\nnew\r\0011\177"},
      {"empty", ""},
      {"k\"e\\y", "a key escaped too"},
      {"quote", "say \"go\""},
      {"utf-8", "\xc3\xa9 \xe2\x80\xb0 \xf0\x9f\x98\x80 \xe2\x88\x92"},
      {"z", "last of the plain keys"},
      {"\xc3\xa9", "after every plain key"},
  };
  ASSERT_EQ(word_table_sample::kWords.size(), std::size(expected));
  for (std::size_t i = 0; i < std::size(expected); ++i) {
    EXPECT_EQ(word_table_sample::kWords[i], expected[i]) << i;
  }
}

// The pages read whole without scripts (a mail client, a text browser): the
// fixed words are the elements' own text, titles and accessible names, in
// English from the catalogue, names and figures filled in; words.js only
// puts them in the reader's language.
TEST(Pages, CarryTheirWordsInEnglishWithoutScripts) {
  Route route;
  StationStop station;
  station.location = 400.0;
  station.name = "Ost";
  route.stations.push_back(station);
  CheckResult result;
  CheckDrive drive{};
  drive.driver = {"careful 5", 5.0, 2, true};
  drive.ran = true;
  result.drives.push_back(drive);
  std::ostringstream check;
  WriteCheckPage(check, "atshost check of r.route", route, result);

  HtmlPage view("run");
  view.OnFinish({});
  std::ostringstream cab;
  view.Write(cab, "<svg></svg>", SvgChart::PlotArea{});

  const struct {
    std::string page;
    std::vector<const char*> words;
  } cases[] = {
      {check.str(),
       {"<th data-word=\"check.location\">location</th>",
        "<th data-word=\"check.margin\">thinnest margin</th>", ">location (m)</text>",
        "data-word-label=\"check.chart\" aria-label=\"speed over distance\"",
        ">station at 400.0 m</title>",
        ">careful 5 (margin 5 km/h, approach notch 2, speed hold)</span>"}},
      {cab.str(),
       {"<dt data-word=\"where.frame\">frame</dt>",
        "<th data-word=\"cab.handle.driver\">driver</th>",
        "data-word-title=\"view.first\" title=\"first frame (Home)\">",
        "data-word-label=\"cab.dial\" aria-label=\"speed dial\""}},
  };
  // No element of either page is left empty but for an empty English word:
  // every data-word="KEY" whose start tag is followed at once by an end tag.
  const std::string attribute = "data-word=\"";
  for (const auto& c : cases) {
    for (const char* word : c.words) EXPECT_NE(c.page.find(word), std::string::npos) << word;
    for (std::size_t at = c.page.find(attribute); at != std::string::npos;
         at = c.page.find(attribute, at + 1)) {
      const std::size_t key = at + attribute.size();
      const std::size_t tag_end = c.page.find('>', key);
      ASSERT_NE(tag_end, std::string::npos);
      if (c.page.compare(tag_end + 1, 2, "</") != 0) continue;
      const std::string name = c.page.substr(key, c.page.find('"', key) - key);
      EXPECT_EQ(EnglishWord(name), "") << name;
    }
  }
}

TEST(BeaconLimit, FollowsTheBeaconTable) {
  EXPECT_EQ(BeaconLimit(ATS_BEACONDATA{0, 3, 0, 0}), 68.0);
  EXPECT_EQ(BeaconLimit(ATS_BEACONDATA{0, 0, 0, 150}), 29.0);
  EXPECT_EQ(BeaconLimit(ATS_BEACONDATA{0, 2, 0, 50}), std::nullopt);
  EXPECT_EQ(BeaconLimit(ATS_BEACONDATA{9, 7, 0, -1}), -1.0);
  EXPECT_EQ(BeaconLimit(ATS_BEACONDATA{12, 0, 0, 500}), std::nullopt);
}

TEST(Format, GivesTheSameTextEverywhere) {
  EXPECT_EQ(Grouped(1234.5, 1), "1 234.5");
  EXPECT_EQ(Grouped(-1234567.25, 2), "-1 234 567.25");
  EXPECT_EQ(Grouped(999.96, 1), "1 000.0");
  EXPECT_EQ(Grouped(12.0, 1), "12.0");
  EXPECT_EQ(Fixed(-0.04, 1), "0.0");  // no "-0.0"
  EXPECT_EQ(Seconds(12340), "12.340");
  EXPECT_EQ(Seconds(-20), "-0.020");
  EXPECT_EQ(Seconds(INT32_MIN), "-2147483.648");
  // Shortest text reads back as exactly the value sent to the plug-in.
  for (float v : {0.1f, 76.00001f, -5.01f, 1e-7f}) {
    const std::string text = Shortest(v);
    float back = 0.0f;
    std::from_chars(text.data(), text.data() + text.size(), back);
    EXPECT_EQ(back, v) << text;
  }
}

}  // namespace
}  // namespace atshost
