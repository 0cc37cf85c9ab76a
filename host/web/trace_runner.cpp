// atshost's replay and drive as a WebAssembly module whose plug-in is another
// module: the entry points are imports (module "plugin"), which the host
// script bridges to ATSVorlan800.wasm by copying the records between the two
// memories. The CSV trace is the one atshost writes, so that a run here and a
// run of the native library can be compared byte for byte.
//
// Records cross as the wasm32 C convention passes them: a record by value as
// a pointer to a copy, a returned record through a hidden first pointer.
#include <string>

#include "host/sim/drive.h"
#include "host/sim/replay.h"
#include "host/sim/route.h"
#include "host/sim/session.h"
#include "host/sim/text_input.h"
#include "host/sim/text_out.h"
#include "host/sim/trace_csv.h"

#define ATS_PLUGIN_IMPORT(name) __attribute__((import_module("plugin"), import_name(#name)))
#define ATS_RUNNER_EXPORT(name) __attribute__((export_name(#name)))

extern "C" {
#define ATS_RUNNER_IMPORT(name, ret, params, args, bytes, decoration) \
  ATS_PLUGIN_IMPORT(name) ret Imported##name params;
ATS_ENTRY_POINTS(ATS_RUNNER_IMPORT)
#undef ATS_RUNNER_IMPORT
}

namespace {

using namespace atshost;

// atshost's exit statuses.
constexpr int kOk = 0;
constexpr int kChecksFailed = 1;
constexpr int kBadInput = 2;

#define ATS_IMPORTED(name, ret, params, args, bytes, decoration) Imported##name,
constexpr PluginApi kImported = {ATS_ENTRY_POINTS(ATS_IMPORTED)};
#undef ATS_IMPORTED

std::string g_csv;
std::string g_message;  // what atshost would print on its error stream

template <typename Body>
int RunWithTrace(Body body) {
  StringOut csv;
  TraceCsv trace(csv);
  int status = kOk;
  {
    Session session(kImported, {&trace});
    status = body(session);
  }
  g_csv = std::move(csv.text());
  return status;
}

int Refuse(const std::string& message) {
  g_csv.clear();
  g_message = "atshost: " + Printable(message) + "\n";
  return kBadInput;
}

}  // namespace

extern "C" {

// `atshost replay` of a scenario named `file` with the `length` bytes of
// `text`. Returns atshost's exit status.
ATS_RUNNER_EXPORT(run_replay) int run_replay(const char* file, const char* text, int length) {
  g_message.clear();
  Parsed<Scenario> parsed =
      ParseScenario(std::string(text, static_cast<std::size_t>(length)), file);
  if (!parsed.ok()) return Refuse(parsed.error);
  return RunWithTrace([&](Session& session) {
    const std::vector<std::string> failures = Replay(parsed.value, session);
    for (const std::string& f : failures) g_message += f + "\n";
    return failures.empty() ? kOk : kChecksFailed;
  });
}

// `atshost drive` of a route (the built-in demo when `length` is negative).
ATS_RUNNER_EXPORT(run_drive) int run_drive(const char* file, const char* text, int length) {
  g_message.clear();
  const Parsed<Route> parsed =
      length < 0 ? ParseRoute(DemoRouteText(), "(built-in demo route)")
                 : ParseRoute(std::string(text, static_cast<std::size_t>(length)), file);
  if (!parsed.ok()) return Refuse(parsed.error);
  return RunWithTrace([&](Session& session) {
    Drive(parsed.value, session);
    return kOk;
  });
}

// The last run's CSV trace, and its messages.
ATS_RUNNER_EXPORT(run_csv) const char* run_csv() { return g_csv.c_str(); }
ATS_RUNNER_EXPORT(run_message) const char* run_message() { return g_message.c_str(); }

}  // extern "C"
