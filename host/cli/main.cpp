// atshost: a headless host for train-protection plug-ins.
//   atshost replay SCENARIO   scripted frames and events, with checks
//   atshost drive [ROUTE]     a train model driven by the plug-in's handles
//   atshost check ROUTE       the route driven by a family of careful drivers
//   atshost reference [--text] [--lang en|ja]
//                             the authors' guide, from the reference tables
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
#include "host/cli/usage.h"
#include "host/io/input_file.h"
#include "host/io/output_files.h"
#include "host/io/plugin_library.h"
#include "host/io/stream_out.h"
#include "host/output/check_page.h"
#include "host/output/html_page.h"
#include "host/output/svg_chart.h"
#include "host/reference/guide.h"
#include "host/sim/drive.h"
#include "host/sim/format.h"
#include "host/sim/replay.h"
#include "host/sim/route.h"
#include "host/sim/text_input.h"
#include "host/sim/timeline.h"
#include "host/sim/trace_csv.h"
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

// Every command that runs the plug-in takes the same steps:
//   1. ReadInput: its file read and parsed;
//   2. Prepare: the outputs checked and the plug-in loaded (its entry points
//      and interface version), both before anything is written;
//   3. Record: the run, with the sinks wired to a session, and its results
//      written: the trace, the chart and the page that shows it;
//   4. the exit status: what the run returns, or kPluginFailed where the
//      plug-in failed, or the status of the step that stopped it.

// The command's file parsed by `parse`. Where it fails but the file reads as
// the other command's (`other`: a route given to replay, a scenario to drive
// or check), the message says which command reads it instead of naming a
// line of the wrong syntax.
template <typename Parse, typename Other>
auto ReadInput(const std::string& file, Parse parse, Other other, const std::string& wrong_kind)
    -> decltype(parse(std::string(), file)) {
  const Parsed<std::string> text = ReadFile(file);
  decltype(parse(std::string(), file)) parsed;
  if (!text.ok()) {
    parsed.error = text.error;
    return parsed;
  }
  parsed = parse(text.value, file);
  // A file with no command at all reads as anything: it is said to be empty.
  const bool empty = parsed.error.find(kEmptyRoute) != std::string::npos;
  if (!parsed.ok() && !empty && other(text.value, file).ok()) parsed.error = file + wrong_kind;
  return parsed;
}

// Where a run's results go, and the library it runs.
struct Prepared {
  std::string plugin;
  std::string name;  // NAME of NAME.csv, NAME.svg and NAME.html
  fs::path folder;
  std::unique_ptr<PluginLibrary> library;
  fs::path Output(const char* extension) const { return folder / (name + extension); }
};

// Loads the library the run calls; kOk, or the status to exit with.
int OpenPlugin(Prepared& p) {
  try {
    p.library = PluginLibrary::Open(p.plugin);
  } catch (const PluginLoadError& e) {
    return Fail(e.what());
  }
  return kOk;
}

// Checks that the run's three outputs and `extra` can be written and that
// none of them is one of `inputs` or the library, then loads the library:
// a run that could not write its results, or not call the plug-in, is not
// begun. kOk, or the status to exit with.
int Prepare(const Options& o, const std::string& name, std::vector<fs::path> inputs,
            std::vector<fs::path> extra, Prepared& p) {
  p.plugin = o.plugin.empty() ? PluginLibrary::DefaultPath() : o.plugin;
  p.name = name;
  p.folder = fs::path(o.out);
  inputs.emplace_back(p.plugin);
  std::vector<fs::path> outputs = std::move(extra);
  for (const char* extension : {".csv", ".svg", ".html"}) outputs.push_back(p.Output(extension));
  const std::string unwritable = CheckOutputs(p.folder, outputs, inputs);
  if (!unwritable.empty()) return Fail(unwritable);
  return OpenPlugin(p);
}

// Runs `body` on a session of the prepared library with the sinks wired to
// it, and writes the results: the trace, the chart and the page that shows
// it. The status is body's, or kPluginFailed where the plug-in failed.
template <typename Body>
int Record(const Options& o, const Prepared& p, const std::string& title, Body body,
           const Route* route = nullptr) {
  std::error_code ec;
  const bool made_folder = fs::create_directories(p.folder, ec);
  if (ec) return Fail("cannot create the output folder '" + o.out + "': " + ec.message());
  // Each output is written beside its place and renamed into it only once
  // all three are complete: a run that fails to write, or is stopped, leaves
  // the previous outputs as they were.
  OutputFile csv(p.Output(".csv"));
  OutputFile svg(p.Output(".svg"));
  OutputFile html(p.Output(".html"));
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
    Session session(p.library->api(), sinks);
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
    if (made_folder) fs::remove(p.folder, ec);
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
  const std::string wrote = Printable(csv.path().string()) + ", " + Printable(svg.path().string()) +
                            " and " + Printable(html.path().string());
  if (!fault.empty()) {
    return Fail(fault + "; " + wrote + " hold the " + std::to_string(frames) + " frames before it",
                kPluginFailed);
  }
  if (!o.quiet) std::cout << "atshost: " << frames << " frames; wrote " << wrote << '\n';
  return status;
}

int Replay(const Options& o) {
  const Parsed<Scenario> parsed =
      ReadInput(o.file, ParseScenario, ParseRoute,
                ": is a route, which 'atshost drive' reads; 'atshost replay' reads a scenario");
  if (!parsed.ok()) return Fail(parsed.error);
  const Scenario& scenario = parsed.value;
  Prepared p;
  if (int status = Prepare(o, fs::path(o.file).stem().string(), {fs::path(o.file)}, {}, p);
      status != kOk) {
    return status;
  }
  // The title goes into the chart, which must stay valid UTF-8 and XML.
  return Record(o, p, "replay of " + Printable(o.file), [&](Session& session) {
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
  const Parsed<Route> parsed =
      demo ? ParseRoute(DemoRouteText(), "(built-in demo route)")
           : ReadInput(o.file, ParseRoute, ParseScenario,
                       ": is a scenario, which 'atshost replay' reads; 'atshost drive' reads a "
                       "route");
  if (!parsed.ok()) return Fail(parsed.error);
  const Route& route = parsed.value;
  std::vector<fs::path> inputs;
  if (!demo) inputs.emplace_back(o.file);
  Prepared p;
  if (int status = Prepare(o, demo ? "demo" : fs::path(o.file).stem().string(), inputs, {}, p);
      status != kOk) {
    return status;
  }
  return Record(
      o, p, demo ? "atshost drive: built-in demo route" : "drive of " + Printable(o.file),
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

// Writes the check's own page, replaced whole and only once complete, as
// every output is. kOk, or the status to exit with.
int WritePage(const Options& o, const Prepared& p, const fs::path& path, const Route& route,
              const CheckResult& result) {
  std::error_code ec;
  fs::create_directories(p.folder, ec);
  if (ec) return Fail("cannot create the output folder '" + o.out + "': " + ec.message());
  OutputFile page(path);
  if (!page.is_open()) return Fail("cannot write '" + path.string() + "': " + LastSystemError());
  WriteCheckPage(page.stream(), "atshost check of " + Printable(o.file), route, result);
  std::string why = page.Close();
  if (why.empty()) why = page.Commit();
  if (!why.empty()) return Fail("writing '" + path.string() + "' failed: " + why);
  return kOk;
}

// The route driven by the family of careful drivers side by side, then the
// worst of their drives again with the usual trace, chart and cab view.
int Check(const Options& o) {
  const Parsed<Route> parsed =
      ReadInput(o.file, ParseRoute, ParseScenario,
                ": is a scenario, which 'atshost replay' reads; 'atshost check' reads a route");
  if (!parsed.ok()) return Fail(parsed.error);
  const Route& route = parsed.value;
  const std::string name = fs::path(o.file).stem().string();
  const fs::path page_path = fs::path(o.out) / (name + "-check.html");
  Prepared p;
  if (int status = Prepare(o, name, {fs::path(o.file)}, {page_path}, p); status != kOk) {
    return status;
  }
  // Closed while the careful drivers load their own, and loaded afresh for
  // the worst drive: each drive begins on a library just loaded.
  p.library.reset();
  std::error_code ec;
  const fs::path scratch =
      fs::temp_directory_path(ec) / ("atshost-check-" + std::to_string(ProcessId()));
  std::string error;
  const CheckResult result =
      RunCheck(route, p.plugin, scratch.string(), ProcessorCount(), error, o.strict);
  if (!error.empty()) return Fail(error);
  // A drive in which the plug-in failed ends the check: what the other
  // drives made of the route says nothing of a plug-in in that state.
  if (const std::string fault = result.fault(); !fault.empty()) {
    const auto ran = std::count_if(result.drives.begin(), result.drives.end(),
                                   [](const CheckDrive& d) { return d.ran; });
    return Fail(fault + "; the check stopped there, after " + std::to_string(ran) + " of " +
                    std::to_string(result.drives.size()) + " drives",
                kPluginFailed);
  }

  if (!o.quiet) {
    for (const std::string& line : CheckTable(result)) std::cout << line << '\n';
    for (const std::string& line : CheckProblems(result)) std::cout << line << '\n';
  }
  if (int status = WritePage(o, p, page_path, route, result); status != kOk) return status;
  // The worst drive once more, for its trace, chart and cab view.
  const CarefulDriver& worst = result.drives[result.worst].driver;
  Options again = o;
  again.timeline = false;
  const Route worst_route = WithDriver(route, worst);
  if (int status = OpenPlugin(p); status != kOk) return status;
  const int status = Record(
      again, p, "atshost check of " + Printable(o.file) + ": " + worst.name + " driving",
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
  std::string lang = "en";
  reference->add_option("--lang", lang, "the guide's language: en (English) or ja (Japanese)")
      ->check(CLI::IsMember({"en", "ja"}));
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
    reference::WriteGuide(
        std::cout, text ? reference::GuideFormat::kText : reference::GuideFormat::kMarkdown,
        lang == "ja" ? reference::Language::kJapanese : reference::Language::kEnglish);
    return std::cout.flush() ? kOk : kBadInput;
  }
  try {
    if (check->parsed()) return Check(o);
    return replay->parsed() ? Replay(o) : Drive(o);
  } catch (const std::exception& e) {
    return Fail(e.what());
  }
}
