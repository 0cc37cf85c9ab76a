// atshost: a headless host for train-protection plug-ins.
//   atshost replay SCENARIO   scripted frames and events, with checks
//   atshost drive [ROUTE]     a train model driven by the plug-in's handles
//   atshost check ROUTE       the route driven by a family of careful drivers
//   atshost reference [--text] the authors' guide, from the reference tables
// Each run writes NAME.csv, NAME.svg and NAME.html (the cab view) into the
// output folder and prints its timeline.
#include <CLI/CLI.hpp>
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

#include "host/check.h"
#include "host/input_file.h"
#include "host/output/check_page.h"
#include "host/output/html_page.h"
#include "host/output/svg_chart.h"
#include "host/output_files.h"
#include "host/plugin_library.h"
#include "host/reference/guide.h"
#include "host/sim/drive.h"
#include "host/sim/format.h"
#include "host/sim/replay.h"
#include "host/sim/route.h"
#include "host/sim/text_input.h"
#include "host/sim/timeline.h"
#include "host/sim/trace_csv.h"
#include "host/stream_out.h"
#include "host/usage.h"
#include "product_version.h"

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#include <process.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace {

namespace fs = std::filesystem;
using namespace atshost;

// The longest command-line error passed on whole.
constexpr std::size_t kMessageMax = 200;

// How many drives `check` runs side by side: one for each processor.
unsigned ProcessorCount() {
#if defined(_WIN32)
  SYSTEM_INFO info;
  GetSystemInfo(&info);
  return std::max<unsigned>(1, info.dwNumberOfProcessors);
#else
  const long n = sysconf(_SC_NPROCESSORS_ONLN);
  return n > 0 ? static_cast<unsigned>(n) : 1;
#endif
}

// Names this run's scratch folder apart from another's.
long CurrentProcessId() {
#if defined(_WIN32)
  return _getpid();
#else
  return static_cast<long>(getpid());
#endif
}

// Exit statuses.
constexpr int kOk = 0;
constexpr int kChecksFailed = 1;
constexpr int kBadInput = 2;
constexpr int kPluginFailed = 3;

// Messages may quote what a file holds, which may be anything.
int Fail(const std::string& message, int status = kBadInput) {
  std::cerr << "atshost: " << Printable(message) << '\n';
  return status;
}

// A command-line error in words, with each argument it quotes bounded:
// CLI11 quotes what it refuses whole, and an argument may be any length.
std::string CommandLineError(const CLI::ParseError& e) {
  const std::string what = e.what();
  if (dynamic_cast<const CLI::ExtrasError*>(&e) != nullptr) {
    // "The following argument(s) was/were not expected: A B"
    const std::size_t colon = what.find(": ");
    std::istringstream words(colon == std::string::npos ? "" : what.substr(colon + 2));
    std::string first;
    words >> first;
    if (!first.empty()) {
      return (first[0] == '-' ? "unknown option " : "unexpected argument ") + Quote(first);
    }
  }
  return what.size() <= kMessageMax ? what : Quote(what);
}

struct Options {
  std::string plugin;
  std::string out = ".";
  bool quiet = false;
  std::string axis = "time";
  std::string file;
  bool strict = false;
  bool timeline = true;  // the timeline, unless quiet
};

// What the plug-in was doing when it failed, for the message: the entry
// point and the frame.
std::string FaultPlace(const PluginFault& fault, const Session& session) {
  if (fault.entry() == "Elapse") {
    return "Elapse at frame " + std::to_string(session.frames()) + " (host time " +
           Seconds(session.last().state.Time) + " s)";
  }
  if (session.frames() == 0) return fault.entry() + " before the first frame";
  return fault.entry() + " after frame " + std::to_string(session.frames() - 1);
}

// Checks where the results go and loads the plug-in, both before anything is
// written; then runs `body` with the sinks wired to a session and writes the
// results: the trace, the chart and the page that shows it. `inputs` are the
// files the run reads, which no result may overwrite.
template <typename Body>
int Run(const Options& o, const std::string& name, const std::string& title,
        std::vector<fs::path> inputs, Body body, const Route* route = nullptr) {
  const std::string plugin = o.plugin.empty() ? PluginLibrary::DefaultPath() : o.plugin;
  inputs.emplace_back(plugin);
  const fs::path folder(o.out);
  const fs::path csv_path = folder / (name + ".csv");
  const fs::path svg_path = folder / (name + ".svg");
  const fs::path html_path = folder / (name + ".html");
  const std::vector<fs::path> outputs = {csv_path, svg_path, html_path};
  const std::string unwritable = CheckOutputs(folder, outputs, inputs);
  if (!unwritable.empty()) return Fail(unwritable);
  std::unique_ptr<PluginLibrary> library;
  try {
    library = PluginLibrary::Open(plugin);
  } catch (const PluginLoadError& e) {
    return Fail(e.what());
  }
  std::error_code ec;
  const bool made_folder = fs::create_directories(folder, ec);
  if (ec) return Fail("cannot create the output folder '" + o.out + "': " + ec.message());
  // Each output is written beside its place and renamed into it only once
  // all three are complete: a run that fails to write, or is stopped, leaves
  // the previous outputs as they were.
  OutputFile csv(csv_path);
  OutputFile svg(svg_path);
  OutputFile html(html_path);
  for (const OutputFile* file : {&csv, &svg, &html}) {
    if (!file->is_open()) {
      return Fail("cannot write '" + file->path().string() + "': " + LastSystemError());
    }
  }
  const auto failed = [&](const OutputFile& file, const std::string& why) {
    return Fail("writing '" + file.path().string() + "' failed: " + why +
                "; the previous outputs are left as they were");
  };

  StreamOut csv_out(csv.stream());
  StreamOut terminal(std::cout);
  TraceCsv trace(csv_out);
  Timeline timeline(terminal);
  SvgChart chart(title, o.axis == "distance" ? SvgChart::Axis::kDistance : SvgChart::Axis::kTime);
  if (route != nullptr) {
    std::vector<std::pair<double, std::string>> stations;
    for (const StationStop& st : route->stations) stations.emplace_back(st.location, st.name);
    chart.SetRoute(std::move(stations), route->gradients);
  }
  HtmlPage page(title);
  std::vector<FrameSink*> sinks = {&trace, &chart, &page};
  if (!o.quiet && o.timeline) sinks.push_back(&timeline);
  int status = kOk;
  int64_t frames = 0;
  std::string fault;
  {
    Session session(library->api(), sinks);
    try {
      status = body(session);
    } catch (const PluginFault& e) {
      fault = "the plug-in failed in " + FaultPlace(e, session) + ": " + e.what();
    }
    frames = session.frames();
  }
  if (std::string why = csv.Close(); !why.empty()) return failed(csv, why);
  if (!fault.empty() && frames == 0) {
    // A header alone says nothing: leave no new file, nor the folder made
    // for it.
    for (OutputFile* file : {&csv, &svg, &html}) file->Discard();
    if (made_folder) fs::remove(folder, ec);
    return Fail(fault + "; no frame was run, nothing written", kPluginFailed);
  }
  // The page embeds the chart, so it is drawn once for both.
  std::ostringstream drawn;
  chart.Write(drawn);
  const std::string chart_svg = drawn.str();
  svg.stream() << chart_svg;
  if (std::string why = svg.Close(); !why.empty()) return failed(svg, why);
  page.Write(html.stream(), chart_svg, chart.Area());
  if (std::string why = html.Close(); !why.empty()) return failed(html, why);
  for (OutputFile* file : {&csv, &svg, &html}) {
    if (std::string why = file->Commit(); !why.empty()) {
      return Fail("cannot put '" + file->path().string() + "' in place: " + why);
    }
  }
  std::cout.flush();
  const std::string wrote = Printable(csv_path.string()) + ", " + Printable(svg_path.string()) +
                            " and " + Printable(html_path.string());
  if (!fault.empty()) {
    return Fail(fault + "; " + wrote + " hold the " + std::to_string(frames) + " frames before it",
                kPluginFailed);
  }
  if (!o.quiet) std::cout << "atshost: " << frames << " frames; wrote " << wrote << '\n';
  return status;
}

// Whether `text` reads as the other command's file: a route given to replay,
// or a scenario given to drive, so that the message can say which command
// reads it instead of naming a line of the wrong syntax.
template <typename Parse>
bool ReadsAs(const std::string& text, const std::string& file, Parse parse) {
  return parse(text, file).ok();
}

// A route refused for having no commands at all is said to be empty, though
// it would read as an (empty) scenario too.
bool Empty(const Parsed<Route>& parsed) {
  const std::string empty = kEmptyRoute;
  return parsed.error.size() >= empty.size() &&
         parsed.error.compare(parsed.error.size() - empty.size(), empty.size(), empty) == 0;
}

int Replay(const Options& o) {
  Parsed<std::string> text = ReadFile(o.file);
  if (!text.ok()) return Fail(text.error);
  const Parsed<Scenario> parsed = ParseScenario(text.value, o.file);
  if (!parsed.ok()) {
    if (ReadsAs(text.value, o.file, ParseRoute)) {
      return Fail(o.file +
                  ": is a route, which 'atshost drive' reads; 'atshost replay' reads "
                  "a scenario");
    }
    return Fail(parsed.error);
  }
  text.value = std::string();  // the scenario keeps its own copy
  const Scenario& scenario = parsed.value;
  const std::string name = fs::path(o.file).stem().string();
  // The title goes into the chart, which must stay valid UTF-8 and XML.
  return Run(o, name, "replay of " + Printable(o.file), {fs::path(o.file)}, [&](Session& session) {
    const std::vector<std::string> failures = atshost::Replay(scenario, session);
    const std::size_t checks = scenario.checks;
    std::cout.flush();
    // They name the scenario file, which may be named anything.
    for (const std::string& f : failures) std::cerr << Printable(f) << '\n';
    if (!failures.empty()) {
      std::cerr << "atshost: " << failures.size() << " of " << checks << " expectations failed\n";
      return kChecksFailed;
    }
    if (!o.quiet && checks > 0) std::cout << "atshost: all " << checks << " expectations met\n";
    return kOk;
  });
}

int Drive(const Options& o) {
  const bool demo = o.file.empty();
  Parsed<std::string> text;
  if (demo) {
    text.value = DemoRouteText();
  } else {
    text = ReadFile(o.file);
    if (!text.ok()) return Fail(text.error);
  }
  const Parsed<Route> parsed = ParseRoute(text.value, demo ? "(built-in demo route)" : o.file);
  if (!parsed.ok()) {
    if (!demo && !Empty(parsed) && ReadsAs(text.value, o.file, ParseScenario)) {
      return Fail(o.file +
                  ": is a scenario, which 'atshost replay' reads; 'atshost drive' "
                  "reads a route");
    }
    return Fail(parsed.error);
  }
  const Route& route = parsed.value;
  const std::string name = demo ? "demo" : fs::path(o.file).stem().string();
  std::vector<fs::path> inputs;
  if (!demo) inputs.emplace_back(o.file);
  return Run(
      o, name, demo ? "atshost drive: built-in demo route" : "drive of " + Printable(o.file),
      inputs,
      [&](Session& session) {
        const Verdict verdict = atshost::Drive(route, session).verdict;
        if (!o.quiet) {
          for (const std::string& line : VerdictLines(verdict)) {
            std::cout << "atshost: " << line << '\n';
          }
        }
        const bool failed = !verdict.trips.empty() || verdict.missed_stations() > 0 ||
                            verdict.dark_stations() > 0 || verdict.ending == Ending::kHeldAtSignal;
        return o.strict && failed ? kChecksFailed : kOk;
      },
      &route);
}

// The route driven by the family of careful drivers side by side, then the
// worst of their drives again with the usual trace, chart and cab view.
int Check(const Options& o) {
  const Parsed<std::string> text = ReadFile(o.file);
  if (!text.ok()) return Fail(text.error);
  const Parsed<Route> parsed = ParseRoute(text.value, o.file);
  if (!parsed.ok()) {
    if (!Empty(parsed) && ReadsAs(text.value, o.file, ParseScenario)) {
      return Fail(o.file +
                  ": is a scenario, which 'atshost replay' reads; 'atshost check' "
                  "reads a route");
    }
    return Fail(parsed.error);
  }
  const Route& route = parsed.value;
  const std::string name = fs::path(o.file).stem().string();
  const std::string plugin = o.plugin.empty() ? PluginLibrary::DefaultPath() : o.plugin;
  const fs::path folder(o.out);
  const fs::path page_path = folder / (name + "-check.html");
  const std::string unwritable = CheckOutputs(
      folder,
      {page_path, folder / (name + ".csv"), folder / (name + ".svg"), folder / (name + ".html")},
      {fs::path(o.file), fs::path(plugin)});
  if (!unwritable.empty()) return Fail(unwritable);
  try {
    PluginLibrary::Open(plugin);  // refused as for drive, before anything runs
  } catch (const PluginLoadError& e) {
    return Fail(e.what());
  }
  std::error_code ec;
  const fs::path scratch =
      fs::temp_directory_path(ec) / ("atshost-check-" + std::to_string(CurrentProcessId()));
  std::string error;
  const CheckResult result =
      RunCheck(route, plugin, scratch.string(), ProcessorCount(), error, o.strict);
  if (!error.empty()) return Fail(error);
  // A drive in which the plug-in failed ends the check: what the other
  // drives made of the route says nothing of a plug-in in that state.
  if (const std::string fault = result.fault(); !fault.empty()) {
    return Fail(fault + "; the check stopped there", kPluginFailed);
  }

  if (!o.quiet) {
    for (const std::string& line : CheckTable(result)) std::cout << line << '\n';
    for (const std::string& line : CheckProblems(result)) std::cout << line << '\n';
  }
  fs::create_directories(folder, ec);
  if (ec) return Fail("cannot create the output folder '" + o.out + "': " + ec.message());
  {
    // Replaced whole, and only once complete, as every output is.
    OutputFile page(page_path);
    if (!page.is_open()) {
      return Fail("cannot write '" + page_path.string() + "': " + LastSystemError());
    }
    WriteCheckPage(page.stream(), "atshost check of " + Printable(o.file), route, result);
    std::string why = page.Close();
    if (why.empty()) why = page.Commit();
    if (!why.empty()) return Fail("writing '" + page_path.string() + "' failed: " + why);
  }
  // The worst drive once more, for its trace, chart and cab view.
  const CarefulDriver& worst = result.drives[result.worst].driver;
  Options again = o;
  again.timeline = false;
  const Route worst_route = WithDriver(route, worst);
  const int status = Run(
      again, name, "atshost check of " + Printable(o.file) + ": " + worst.name + " driving",
      {fs::path(o.file)},
      [&](Session& session) {
        atshost::Drive(worst_route, session);
        return kOk;
      },
      &worst_route);
  if (status != kOk) return status;
  if (!o.quiet) std::cout << "atshost: wrote " << page_path.string() << '\n';
  std::cout << "atshost: " << CheckSummary(result) << '\n';
  return result.clean() ? kOk : kChecksFailed;
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
  app.add_option("--out", o.out,
                 "folder for NAME.csv, NAME.svg and NAME.html (default: current folder)");
  app.add_flag("-q,--quiet", o.quiet, "print no timeline");
  app.add_option("--chart-x", o.axis, "the chart's horizontal axis: time or distance")
      ->check(CLI::IsMember({"time", "distance"}));
  app.footer(ExitStatuses());
  CLI::App* replay = app.add_subcommand("replay", "scripted frames and events, with checks");
  replay->add_option("SCENARIO", o.file, "scenario file")->required();
  replay->footer(std::string(ScenarioSyntax()) + ExitStatuses());
  CLI::App* drive = app.add_subcommand("drive", "a train model driven by the plug-in's handles");
  drive->add_option("ROUTE", o.file, "route file (default: the built-in demo route)");
  drive->add_flag("--strict", o.strict,
                  "exit with status 1 when the unit trips or a station is missed");
  drive->footer(std::string(RouteSyntax()) + ExitStatuses());
  CLI::App* check = app.add_subcommand(
      "check", "would the route trip a careful driver? a family of them drives it side by side");
  check->add_option("ROUTE", o.file, "route file")->required();
  check->add_flag("--strict", o.strict,
                  "a station no stop-target beacon serves fails the check too");
  check->footer(ExitStatuses());
  CLI::App* reference =
      app.add_subcommand("reference", "print the authors' guide (Markdown, or plain text)");
  bool text = false;
  reference->add_flag("--text", text, "plain text instead of Markdown");
  CLI::App* help = app.add_subcommand("help",
                                      "this help; 'replay --help' and 'drive --help' "
                                      "show their files' syntax");
  if (argc < 2) {
    // No command: what the commands are, as --help says it.
    std::cerr << app.help("atshost");
    return kBadInput;
  }
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    if (e.get_exit_code() == 0) return app.exit(e);
    return Fail(CommandLineError(e) + " (atshost --help lists the commands and options)");
  }
  if (help->parsed()) {
    // The whole program's help, not that of the `help` subcommand itself.
    std::cout << app.get_formatter()->make_help(&app, app.get_name(), CLI::AppFormatMode::Normal);
    return kOk;
  }
  if (reference->parsed()) {
    reference::WriteGuide(std::cout,
                          text ? reference::GuideFormat::kText : reference::GuideFormat::kMarkdown);
    return std::cout.flush() ? kOk : kBadInput;
  }
  try {
    if (check->parsed()) return Check(o);
    return replay->parsed() ? Replay(o) : Drive(o);
  } catch (const std::exception& e) {
    return Fail(e.what());
  }
}
