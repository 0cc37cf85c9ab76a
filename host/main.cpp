// atshost: a headless host for train-protection plug-ins.
//   atshost replay SCENARIO   scripted frames and events, with checks
//   atshost drive [ROUTE]     a train model driven by the plug-in's handles
//   atshost reference [--text] the authors' guide, from the reference tables
// Each run writes NAME.csv and NAME.svg into the output folder and prints its
// timeline.
#include <CLI/CLI.hpp>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>

#include "host/drive.h"
#include "host/plugin_library.h"
#include "host/reference/guide.h"
#include "host/replay.h"
#include "host/route.h"
#include "host/svg_chart.h"
#include "host/text_input.h"
#include "host/timeline.h"
#include "host/trace_csv.h"
#include "product_version.h"

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#endif

namespace {

namespace fs = std::filesystem;
using namespace atshost;

// Exit statuses.
constexpr int kOk = 0;
constexpr int kChecksFailed = 1;
constexpr int kBadInput = 2;

int Fail(const std::string& message) {
  std::cerr << "atshost: " << message << '\n';
  return kBadInput;
}

struct Options {
  std::string plugin;
  std::string out = ".";
  bool quiet = false;
  std::string axis = "time";
  std::string file;
};

// Runs `body` with the three sinks wired to a session, then writes the chart.
template <typename Body>
int Run(const Options& o, const std::string& name, const std::string& title, Body body) {
  std::unique_ptr<PluginLibrary> library;
  try {
    library = PluginLibrary::Open(o.plugin.empty() ? PluginLibrary::DefaultPath() : o.plugin);
  } catch (const PluginLoadError& e) {
    return Fail(e.what());
  }
  std::error_code ec;
  fs::create_directories(fs::path(o.out), ec);
  if (ec) return Fail("cannot create the output folder '" + o.out + "': " + ec.message());
  const fs::path csv_path = fs::path(o.out) / (name + ".csv");
  const fs::path svg_path = fs::path(o.out) / (name + ".svg");
  // Binary mode: the same '\n' line ends on every platform.
  std::ofstream csv(csv_path, std::ios::binary);
  if (!csv) return Fail("cannot write '" + csv_path.string() + "'");

  TraceCsv trace(csv);
  Timeline timeline(std::cout);
  SvgChart chart(title, o.axis == "distance" ? SvgChart::Axis::kDistance : SvgChart::Axis::kTime);
  std::vector<FrameSink*> sinks = {&trace, &chart};
  if (!o.quiet) sinks.push_back(&timeline);
  int status = kOk;
  int64_t frames = 0;
  {
    Session session(library->api(), sinks);
    status = body(session);
    frames = session.frames();
  }
  csv.close();
  std::ofstream svg(svg_path, std::ios::binary);
  chart.Write(svg);
  svg.close();
  if (!csv || !svg)
    return Fail("writing '" + csv_path.string() + "' or '" + svg_path.string() + "' failed");
  if (!o.quiet) {
    std::cout << "atshost: " << frames << " frames; wrote " << csv_path.string() << " and "
              << svg_path.string() << '\n';
  }
  return status;
}

int Replay(const Options& o) {
  Scenario scenario;
  try {
    scenario = ParseScenario(ReadFile(o.file), o.file);
  } catch (const InputError& e) {
    return Fail(e.what());
  }
  const std::string name = fs::path(o.file).stem().string();
  return Run(o, name, "replay of " + o.file, [&](Session& session) {
    const std::vector<std::string> failures = atshost::Replay(scenario, session);
    std::size_t checks = 0;
    for (const ScenarioStep& step : scenario.steps) {
      if (const auto* e = std::get_if<ExpectCommand>(&step.what)) checks += e->checks.size();
    }
    std::cout.flush();
    for (const std::string& f : failures) std::cerr << f << '\n';
    if (!failures.empty()) {
      std::cerr << "atshost: " << failures.size() << " of " << checks << " expectations failed\n";
      return kChecksFailed;
    }
    if (!o.quiet && checks > 0) std::cout << "atshost: all " << checks << " expectations met\n";
    return kOk;
  });
}

int Drive(const Options& o) {
  Route route;
  const bool demo = o.file.empty();
  try {
    route = demo ? ParseRoute(DemoRouteText(), "(built-in demo route)")
                 : ParseRoute(ReadFile(o.file), o.file);
  } catch (const InputError& e) {
    return Fail(e.what());
  }
  const std::string name = demo ? "demo" : fs::path(o.file).stem().string();
  return Run(o, name, demo ? "atshost drive: built-in demo route" : "drive of " + o.file,
             [&](Session& session) {
               atshost::Drive(route, session);
               return kOk;
             });
}

}  // namespace

int main(int argc, char** argv) {
#if defined(_WIN32)
  // The timeline, too, gets '\n' line ends, as on every other platform.
  _setmode(_fileno(stdout), _O_BINARY);
#endif
  CLI::App app{"atshost: runs a train-protection plug-in without the simulator"};
  app.set_version_flag("--version", std::string("atshost ") + ATS_PRODUCT_VERSION);
  app.require_subcommand(1);
  app.fallthrough();
  // Options are spelled with dashes everywhere, so that a path starting with
  // '/' (as Wine and MSYS users pass them) stays a path on Windows too.
  app.allow_windows_style_options(false);
  Options o;
  app.add_option("--plugin", o.plugin,
                 "plug-in library to load (default: ATSVorlan800 next to this program)");
  app.add_option("--out", o.out, "folder for NAME.csv and NAME.svg (default: current folder)");
  app.add_flag("-q,--quiet", o.quiet, "print no timeline");
  app.add_option("--chart-x", o.axis, "the chart's horizontal axis: time or distance")
      ->check(CLI::IsMember({"time", "distance"}));
  CLI::App* replay = app.add_subcommand("replay", "scripted frames and events, with checks");
  replay->add_option("SCENARIO", o.file, "scenario file")->required();
  CLI::App* drive = app.add_subcommand("drive", "a train model driven by the plug-in's handles");
  drive->add_option("ROUTE", o.file, "route file (default: the built-in demo route)");
  CLI::App* reference =
      app.add_subcommand("reference", "print the authors' guide (Markdown, or plain text)");
  bool text = false;
  reference->add_flag("--text", text, "plain text instead of Markdown");
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    const int code = app.exit(e);
    return code == 0 ? kOk : kBadInput;
  }
  if (reference->parsed()) {
    reference::WriteGuide(std::cout,
                          text ? reference::GuideFormat::kText : reference::GuideFormat::kMarkdown);
    return std::cout.flush() ? kOk : kBadInput;
  }
  try {
    return replay->parsed() ? Replay(o) : Drive(o);
  } catch (const std::exception& e) {
    return Fail(e.what());
  }
}
