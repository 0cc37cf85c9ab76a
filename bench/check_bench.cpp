// `atshost check` against plain drives, side by side in one run: a 1-hour
// route with 40 stations, a limit beacon before each and a falling grade
// after every third, driven once plainly (today's driver, with the trace,
// chart and cab view that `atshost drive` writes, and once without them),
// then by the family of careful drivers on the cores given.
//   check_bench [PLUGIN] [WORKERS]   (default: the built library, 2)
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>

#include "host/check.h"
#include "host/io/plugin_library.h"
#include "host/output/html_page.h"
#include "host/output/svg_chart.h"
#include "host/sim/text_out.h"
#include "host/sim/trace_csv.h"

namespace {

using namespace atshost;
using Clock = std::chrono::steady_clock;

constexpr int kStations = 40;
constexpr int kStationSpacingM = 700;
constexpr int kBeaconBeforeStationM = 250;
constexpr int kRouteSeconds = 3600;
// What check may cost at most, as a share of the plain drives it replaces.
constexpr double kMostOfPlainDrives = 0.6;

std::string HourRoute() {
  std::string r = "start doors=closed\nat 1 s key 10\nat 2 s reverser 1; brake 0; power 4\n";
  r += "end time=" + std::to_string(kRouteSeconds) + "\n";
  for (int i = 1; i <= kStations; ++i) {
    const int at = i * kStationSpacingM;
    r += "beacon " + std::to_string(at - kBeaconBeforeStationM) +
         " type=0 signal=" + (i % 2 == 0 ? "3" : "2") + "\n";
    r += "station " + std::to_string(at) + " open=10 closed=4 depart=4\n";
    if (i % 3 == 0) {
      r += "gradient " + std::to_string(at + 100) + " -15\ngradient " + std::to_string(at + 350) +
           " 0\n";
    }
  }
  return r;
}

double Seconds(Clock::time_point from) {
  return std::chrono::duration<double>(Clock::now() - from).count();
}

// One plain drive; with `outputs`, with the sinks and files `atshost drive`
// has (written to memory).
double PlainDrive(const Route& route, const PluginLibrary& library, bool outputs) {
  const Clock::time_point start = Clock::now();
  StringOut csv;
  std::ostringstream svg, html;
  TraceCsv trace(csv);
  SvgChart chart("bench", SvgChart::Axis::kTime);
  HtmlPage page("bench");
  std::vector<FrameSink*> sinks;
  if (outputs) sinks = {&trace, &chart, &page};
  {
    Session session(library.api(), sinks);
    Drive(route, session);
  }
  if (outputs) {
    chart.Write(svg);
    page.Write(html, svg.str(), chart.Area());
  }
  return Seconds(start);
}

}  // namespace

int main(int argc, char** argv) {
  const std::string plugin = argc > 1 ? argv[1] : ATS_BENCH_PLUGIN;
  const unsigned workers = argc > 2 ? static_cast<unsigned>(std::atoi(argv[2])) : 2;
  const Parsed<Route> parsed = ParseRoute(HourRoute(), "hour.route");
  if (!parsed.ok()) {
    std::fprintf(stderr, "%s\n", parsed.error.c_str());
    return 2;
  }
  const Route& route = parsed.value;
  // The plain drives: one `atshost drive` of the route by one careful driver
  // (what a user would otherwise run once for each of the family), and by
  // today's driver, who trips at the first beacon and stands.
  const Route careful = WithDriver(route, CarefulFamily().front());
  double plain = 0.0, bare = 0.0, today = 0.0;
  {
    const auto library = PluginLibrary::Open(plugin);
    plain = PlainDrive(careful, *library, true);
    bare = PlainDrive(careful, *library, false);
    today = PlainDrive(route, *library, true);
  }
  // The check as atshost runs it: the family side by side, then the worst
  // drive again with its outputs.
  std::string error;
  const Clock::time_point start = Clock::now();
  const CheckResult result = RunCheck(route, plugin, "check_bench_scratch", workers, error);
  if (!error.empty()) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return 2;
  }
  {
    const auto library = PluginLibrary::Open(plugin);
    PlainDrive(WithDriver(route, result.drives[result.worst].driver), *library, true);
  }
  const double check = Seconds(start);
  const double drivers = static_cast<double>(result.drives.size());
  std::printf("route: %d s, %d stations, %zu limit beacons\n", kRouteSeconds, kStations,
              result.rows.size());
  std::printf("plain drive (a careful driver) with its outputs: %.2f s; without: %.2f s\n", plain,
              bare);
  std::printf("plain drive by today's driver with its outputs: %.2f s\n", today);
  std::printf("check, %zu careful drivers on %u workers, and the worst again: %.2f s\n",
              result.drives.size(), workers, check);
  std::printf("check / (drivers x plain drive) = %.2f (at most 0.6 wanted)\n",
              check / (drivers * plain));
  std::printf("check / (drivers x today's plain drive) = %.2f\n", check / (drivers * today));
  std::printf("verdict: %s\n", CheckSummary(result).c_str());
  return check / (drivers * plain) <= kMostOfPlainDrives ? 0 : 1;
}
