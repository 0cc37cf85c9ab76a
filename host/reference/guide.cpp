#include "host/reference/guide.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <variant>
#include <vector>

#include "host/reference/cab_reference.h"
#include "host/sim/braking.h"
#include "product_version.h"

namespace atshost::reference {
namespace {

// The guide as a list of blocks, so that both formats print the same text.
struct Heading {
  int level;  // 1 or 2
  std::string text;
};
struct Paragraph {
  std::string text;
};
struct Bullets {
  std::vector<std::string> items;
};
struct Example {
  std::string text;  // printed as it is, one line a line
};
struct Table {
  std::vector<std::string> header;
  std::vector<std::vector<std::string>> rows;
};
using Block = std::variant<Heading, Paragraph, Bullets, Example, Table>;

constexpr std::size_t kTextWidth = 78;
constexpr int kLastPanelIndex = 255;
constexpr int kLastSoundIndex = 100;

std::string Number(double v) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", v);
  return text;
}

std::string KindText(const PanelEntry& e) {
  switch (e.kind) {
    case PanelKind::kFlag:
      return "0 or 1";
    case PanelKind::kBars:
      return "0 to 5 bars";
    case PanelKind::kCounter:
      return "whole number";
    case PanelKind::kSteps:
      return "0 to 7";
    case PanelKind::kConstant:
      return "always " + std::to_string(e.constant);
  }
  return "";
}

// The indices up to `last` that no entry lists, as "4, 10, 15-99, ...".
template <typename Entries>
std::string Unlisted(const Entries& entries, int last) {
  std::vector<bool> listed(static_cast<std::size_t>(last) + 1, false);
  for (const auto& e : entries) listed[static_cast<std::size_t>(e.index)] = true;
  std::string text;
  for (int i = 0; i <= last;) {
    if (listed[static_cast<std::size_t>(i)]) {
      ++i;
      continue;
    }
    int j = i;
    while (j + 1 <= last && !listed[static_cast<std::size_t>(j + 1)]) ++j;
    if (!text.empty()) text += ", ";
    text += std::to_string(i);
    if (j > i) text += (j == i + 1 ? ", " : " to ") + std::to_string(j);
    i = j + 1;
  }
  return text;
}

// How far the host's train runs while braking from one limit down to the
// next, computed by its own train model, so that a check can be placed
// without running anything.
Table BrakingDistances() {
  Table t{{"from (km/h)", "down to (km/h)", "service notch 4", "last service notch", "emergency"},
          {}};
  auto metres = [](double m) {
    double whole = static_cast<double>(static_cast<long long>(m));
    if (whole < m) whole += 1.0;  // rounded up: never less than needed
    return Number(whole) + " m";
  };
  for (const atshost::BrakingTableRow& r : atshost::BrakingTable(atshost::ModelParams{})) {
    t.rows.push_back({Number(r.from_kmh), Number(r.to_kmh), metres(r.notch4),
                      metres(r.full_service), metres(r.emergency)});
  }
  return t;
}

std::vector<Block> Guide() {
  std::vector<Block> g;
  const std::string product = ATS_PRODUCT_NAME;
  g.push_back(Heading{1, product + " " + ATS_PRODUCT_VERSION + ": the authors' guide"});
  g.push_back(Paragraph{
      "For vehicle authors who wire a cab to the plug-in, and route authors who place its "
      "beacons. It says which panel index shows what, which sound index plays what, which keys "
      "the driver needs, and which beacons the unit reads. Numbers the simulator passes are in "
      "its own units: speeds in km/h, locations in metres, times in milliseconds of simulator "
      "time, pressures and current as the vehicle gives them."});

  g.push_back(Heading{2, "Installing"});
  g.push_back(Paragraph{
      "The package holds two builds of the same plug-in: `x86/ATSVorlan800.dll` for 32-bit "
      "simulators and `x64/ATSVorlan800.dll` for 64-bit ones. A simulator can load only the build "
      "of its own kind, so ship both with a vehicle:"});
  g.push_back(Bullets{{
      "Copy both into the vehicle's folder, each in a folder of its own (for example `x86/` and "
      "`x64/`); the two files have the same name.",
      "Point the vehicle's 32-bit plug-in entry at the x86 build and its 64-bit plug-in entry at "
      "the x64 build, each with a path relative to the file that holds the entry.",
      "The plug-in needs nothing but Windows' own system DLLs, reads and writes no files and has "
      "no settings. Its version shows in the DLL's file properties.",
  }});
  g.push_back(Paragraph{
      "In the cab, the unit starts switched off and holds the emergency brake. Secure the handles "
      "(reverser neutral, power off, brake in the emergency position) and press key 10 to switch "
      "it on. The unit counts the doors as open, and cuts power, until the simulator first "
      "reports them closed. That first report counts 1 on the door counter and blanks the "
      "display (panel 201) for its first 500 ms, so the door and reverser lamps are dark just "
      "after loading."});

  g.push_back(Heading{2, "Keys"});
  g.push_back(Paragraph{
      "The unit acts on four of the simulator's plug-in key codes. A key code is the "
      "simulator's plug-in key number counted from 0: the simulator passes 0 for its first "
      "plug-in key, 1 for the second, and so on. Which keyboard key the driver presses for each "
      "is set in the simulator's key assignment, not by the vehicle: tell the driver which "
      "plug-in keys the cab uses. Every other key code does nothing."});
  Table keys{{"key", "what it does"}, {}};
  for (const KeyEntry& k : kKeys) keys.rows.push_back({k.key, k.does});
  g.push_back(keys);

  g.push_back(Heading{2, "Brake positions"});
  g.push_back(Paragraph{
      "The vehicle's number of service brake notches, N, fixes the positions the unit uses. "
      "Position 0 is released, 1 to N are the service notches, N + 1 is the emergency brake. For "
      "a vehicle with 8 service notches: emergency 9, warning-brake cancel from 8."});
  Table brakes{{"position", "what the unit uses it for"}, {}};
  for (const BrakePositionEntry& b : kBrakePositions) brakes.rows.push_back({b.position, b.use});
  g.push_back(brakes);
  g.push_back(Paragraph{
      "What the unit does to the handles: it cuts power while the doors are open, and while the "
      "brake is applied (except notch 1 below 15 km/h). With notch 1 and the brake released "
      "above 15 km/h it cuts power for one frame, sends the constant-speed command from 1 s later "
      "and brakes with 4 while the train runs more than 2 km/h faster than the speed it sampled "
      "then. It trips (emergency brake until the reset) on overspeed at a beacon, when the train "
      "runs faster than 5 km/h with the doors open, rolls faster than 5 km/h against the "
      "reverser or moves faster than 5 km/h with the reverser in neutral (these two also while "
      "it is off). Closing the doors with "
      "the unit on and the reverser out of neutral or power applied (key 0 not held) demands the "
      "warning brake: emergency brake and alarm until the brake is put above N - 1."});

  g.push_back(Heading{2, "Panel indices"});
  g.push_back(Paragraph{
      "The unit writes these 48 panel indices in every frame; a key, door or beacon shows from "
      "the next frame on. A flag is 1 when lit and 0 when dark. Wire a lamp to a flag, a bar "
      "meter with 6 states (0 to 5 bars) to a bar index, a number display to the counter, and a "
      "lamp or dial with 8 states (0 to 7) to a counter step. The indices that are always 0 or "
      "always 1 are written in every frame too, so nothing else can be shown there."});
  Table panel{{"index", "shows", "values", "when"}, {}};
  for (const PanelEntry& e : kPanel) {
    panel.rows.push_back({std::to_string(e.index), e.shows, KindText(e), e.when});
  }
  g.push_back(panel);
  g.push_back(Paragraph{"Never written: " + Unlisted(kPanel, kLastPanelIndex) +
                        ". These keep whatever the simulator holds there."});

  g.push_back(Heading{2, "Sound indices"});
  g.push_back(Paragraph{
      "The unit writes these 8 sound indices in every frame, each with a command: -10000 stop, "
      "0 play looping, 1 play once, 2 continue (leave the sound as it is). A command stays until "
      "the unit sends another, except at 2, 3 and 4, which go back to 2 in the frame after a 1. "
      "The file column says what kind of sound file fits."});
  Table sound{{"index", "sound", "file", "what the unit sends"}, {}};
  for (const SoundEntry& e : kSound) {
    sound.rows.push_back({std::to_string(e.index), e.sound, e.file, e.commands});
  }
  g.push_back(sound);
  g.push_back(Paragraph{"Never written: " + Unlisted(kSound, kLastSoundIndex) + "."});
  g.push_back(Paragraph{
      "The trip bell has two sounds; wire both: give 8 a single strike and 9 the ringing loop. "
      "A trip at a beacon strikes 8 once and rings 9 until the reset. A trip at switch-on or "
      "with the doors open rings no bell until a beacon is passed."});

  g.push_back(Heading{2, "Beacons"});
  g.push_back(Paragraph{
      "The unit reads the beacon type, the signal value and the data word (the beacon's optional "
      "value). It acts at the moment the train passes the beacon; every other type does nothing, "
      "except that any beacon passed while the unit is tripped strikes the bell (sound 8 and 9)."});
  Table beacons{{"type", "what it does", "fields used"}, {}};
  for (const BeaconEntry& b : kBeacons) {
    beacons.rows.push_back({std::to_string(b.type), b.does, b.fields});
  }
  g.push_back(beacons);
  g.push_back(Paragraph{
      "Point speed checks act only while the unit is on. The speed checked is the one the unit "
      "works out from the distance run in the last frame before the beacon, in either direction; "
      "a speed equal to the limit passes, anything faster trips."});
  Table limits{{"type", "signal", "data word", "limit (km/h)"}, {}};
  for (const SpeedLimitEntry& l : kSpeedLimits) {
    const bool own = l.type == 9;
    limits.rows.push_back({std::to_string(l.type),
                           l.signal == kAny ? "any" : std::to_string(l.signal),
                           own ? "any" : std::to_string(l.optional),
                           own ? "the data word"
                               : Number(static_cast<double>(l.limit_kmh)) +
                                     (*l.note != '\0' ? std::string(" (") + l.note + ")" : "")});
  }
  g.push_back(limits);
  g.push_back(Paragraph{
      "A type-0 beacon with any other signal value or data word checks nothing (a signal other "
      "than 0 to 3, data word 50 or 150 with a signal other than 0, any other data word)."});
  g.push_back(Paragraph{
      "The speed checked is not the speedometer's. The unit holds the location in single "
      "precision, so the distance it sees run in a frame is rounded, the more the further the "
      "beacon is from 0 m, and the speed it works out from it differs from the speedometer by a "
      "fraction of a km/h, more far along a long route. A train at exactly the limit may trip. "
      "Plan for the train to be below the limit by at least the margin in the table below; it "
      "doubles with each doubling of the distance from 0 m. The "
      "margins hold for frames of 16 ms or longer (60 frames a second or fewer); at a higher "
      "frame rate they grow in proportion (twice the frame rate, twice the margin). Where the "
      "margin is more than 2 km/h, the same rounding also lights the warning lamp (panel 5) for "
      "speed doubt, in some frames or in every one."});
  Table margins{{"beacon's distance from 0 m", "keep below the limit by at least"}, {}};
  for (const SpeedMarginEntry& m : kSpeedMargins) {
    margins.rows.push_back({m.locations, Number(static_cast<double>(m.margin_kmh)) + " km/h"});
  }
  g.push_back(margins);

  g.push_back(Heading{2, "Braking distances"});
  g.push_back(Paragraph{
      "How far a train of atshost's default model runs on level track from one speed down to "
      "a lower one, with the power off, from the moment the brake is moved (the cylinder fills "
      "in about a second). A check must lie at least this far beyond the one before it for a "
      "train that passes the first at its limit to meet the second; atshost check reports a "
      "pair that cannot be met at the last service notch. Falls lengthen the distances."});
  g.push_back(BrakingDistances());

  g.push_back(Heading{2, "Example: a station approach"});
  g.push_back(Paragraph{
      "The station's stopping point is at 1150 m. A type-11 beacon switches station mode on "
      "before it, so that the stop is latched and closing the doors there sounds nothing. A "
      "type-12 beacon carries the stopping point's location, 1150, as its data word. The train "
      "must come to a stand within about 0.3 m of 1150 m (between about 1149.7 m and "
      "1150.3 m): then panel 11 lights, and panel 12 as well while the doors are still closed. "
      "Signal beacons on the approach limit the speed; place each where a train braking "
      "normally for the stop is already below its limit by at least the margin above (here "
      "48 km/h 100 m before the stop), since the check trips at once. A type-10 beacon after the "
      "platform ends station mode "
      "(panel 12 goes dark there)."});
  g.push_back(
      Example{"location  type  signal  data word  purpose\n"
              "   900 m     0       3          0  68 km/h limit on the approach\n"
              "   950 m    11       0          0  station mode on (panel 9)\n"
              "  1000 m    12       0       1150  stop target at 1150 m\n"
              "  1050 m     0       2          0  48 km/h limit before the platform\n"
              "  1150 m                           stopping point: stand within about 0.3 m\n"
              "  1300 m    10       0          0  station mode off"});
  return g;
}

// Markdown: tables with pipes, inline code in backticks.
void WriteMarkdown(std::ostream& out, const std::vector<Block>& blocks) {
  auto cell = [](const std::string& s) {
    std::string r;
    for (char c : s) r += c == '|' ? std::string("\\|") : std::string(1, c);
    return r;
  };
  bool first = true;
  for (const Block& b : blocks) {
    if (!first) out << '\n';
    first = false;
    if (const auto* h = std::get_if<Heading>(&b)) {
      out << std::string(static_cast<std::size_t>(h->level), '#') << ' ' << h->text << '\n';
    } else if (const auto* p = std::get_if<Paragraph>(&b)) {
      out << p->text << '\n';
    } else if (const auto* l = std::get_if<Bullets>(&b)) {
      for (const std::string& item : l->items) out << "- " << item << '\n';
    } else if (const auto* e = std::get_if<Example>(&b)) {
      out << "```text\n" << e->text << "\n```\n";
    } else if (const auto* t = std::get_if<Table>(&b)) {
      std::string rule = "|";
      out << '|';
      for (const std::string& h : t->header) {
        out << ' ' << h << " |";
        rule += "---|";
      }
      out << '\n' << rule << '\n';
      for (const auto& row : t->rows) {
        out << '|';
        for (const std::string& c : row) out << ' ' << cell(c) << " |";
        out << '\n';
      }
    }
  }
}

std::string Plain(const std::string& s) {
  std::string r;
  for (char c : s) {
    if (c != '`') r += c;
  }
  return r;
}

// Words of `text` in lines of at most kTextWidth, each starting with `first`
// or, after the first, `indent`.
void Wrap(std::ostream& out, const std::string& text, const std::string& first,
          const std::string& indent) {
  std::string line = first;
  bool empty = true;
  std::size_t i = 0;
  while (i < text.size()) {
    std::size_t j = text.find(' ', i);
    if (j == std::string::npos) j = text.size();
    const std::string word = text.substr(i, j - i);
    i = j + 1;
    if (word.empty()) continue;
    if (!empty && line.size() + 1 + word.size() > kTextWidth) {
      out << line << '\n';
      line = indent;
      empty = true;
    }
    line += (empty ? "" : " ") + word;
    empty = false;
  }
  out << line << '\n';
}

// Plain text: headings underlined; a table whose rows fit the width in
// aligned columns, any other as one entry a row with its fields indented.
void WriteText(std::ostream& out, const std::vector<Block>& blocks) {
  bool first = true;
  for (const Block& b : blocks) {
    if (!first) out << '\n';
    first = false;
    if (const auto* h = std::get_if<Heading>(&b)) {
      out << h->text << '\n' << std::string(h->text.size(), h->level == 1 ? '=' : '-') << '\n';
    } else if (const auto* p = std::get_if<Paragraph>(&b)) {
      Wrap(out, Plain(p->text), "", "");
    } else if (const auto* l = std::get_if<Bullets>(&b)) {
      for (const std::string& item : l->items) Wrap(out, Plain(item), "  - ", "    ");
    } else if (const auto* e = std::get_if<Example>(&b)) {
      std::size_t start = 0;
      while (start <= e->text.size()) {
        std::size_t end = e->text.find('\n', start);
        if (end == std::string::npos) end = e->text.size();
        out << "    " << e->text.substr(start, end - start) << '\n';
        start = end + 1;
      }
    } else if (const auto* t = std::get_if<Table>(&b)) {
      std::vector<std::size_t> width(t->header.size(), 0);
      auto widen = [&](const std::vector<std::string>& row) {
        for (std::size_t c = 0; c < row.size(); ++c) width[c] = std::max(width[c], row[c].size());
      };
      widen(t->header);
      for (const auto& row : t->rows) widen(row);
      std::size_t total = 2;
      for (std::size_t w : width) total += w + 2;
      if (total <= kTextWidth) {
        auto print = [&](const std::vector<std::string>& row) {
          std::string line = "  ";
          for (std::size_t c = 0; c < row.size(); ++c) {
            line += row[c];
            if (c + 1 < row.size()) line += std::string(width[c] - row[c].size() + 2, ' ');
          }
          out << line << '\n';
        };
        print(t->header);
        std::vector<std::string> rules;
        for (std::size_t w : width) rules.emplace_back(w, '-');
        print(rules);
        for (const auto& row : t->rows) print(row);
      } else {
        // The first column as a label, the second beside it, the others below
        // with their headers.
        const std::string indent(2 + width[0] + 2, ' ');
        for (std::size_t r = 0; r < t->rows.size(); ++r) {
          const auto& row = t->rows[r];
          if (r > 0) out << '\n';
          const std::string label =
              "  " + Plain(row[0]) + std::string(width[0] - row[0].size() + 2, ' ');
          Wrap(out, Plain(row[1]), label, indent);
          for (std::size_t c = 2; c < row.size(); ++c) {
            Wrap(out, Plain(row[c]), indent + t->header[c] + ": ", indent + "  ");
          }
        }
      }
    }
  }
}

}  // namespace

void WriteGuide(std::ostream& out, GuideFormat format) {
  const std::vector<Block> guide = Guide();
  if (format == GuideFormat::kMarkdown) {
    WriteMarkdown(out, guide);
  } else {
    WriteText(out, guide);
  }
}

}  // namespace atshost::reference
