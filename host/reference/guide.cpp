#include "host/reference/guide.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <initializer_list>
#include <string>
#include <variant>
#include <vector>

#include "host/reference/cab_reference.h"
#include "host/reference/guide_words.h"
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
struct Table {
  std::vector<std::string> header;
  std::vector<std::vector<std::string>> rows;
};
// A table printed as it is, in aligned columns: every column but the last
// aligned right.
struct Example {
  std::vector<std::string> header;
  std::vector<std::vector<std::string>> rows;
};
using Block = std::variant<Heading, Paragraph, Bullets, Example, Table>;

constexpr std::size_t kTextWidth = 78;
constexpr int kLastPanelIndex = 255;
constexpr int kLastSoundIndex = 100;

// `text` with "{0}", "{1}", ... replaced by the values in that order.
std::string Fill(const std::string& text, std::initializer_list<std::string> values) {
  std::string r;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const bool slot = text[i] == '{' && i + 2 < text.size() && text[i + 2] == '}' &&
                      text[i + 1] >= '0' && text[i + 1] < static_cast<char>('0' + values.size());
    if (slot) {
      r += values.begin()[text[i + 1] - '0'];
      i += 2;
    } else {
      r += text[i];
    }
  }
  return r;
}

std::string Number(double v) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", v);
  return text;
}

std::string KindText(const PanelEntry& e, Language language) {
  switch (e.kind) {
    case PanelKind::kFlag:
      return Words(Word::kFlagValues, language);
    case PanelKind::kBars:
      return Words(Word::kBarsValues, language);
    case PanelKind::kCounter:
      return Words(Word::kCounterValues, language);
    case PanelKind::kSteps:
      return Words(Word::kStepsValues, language);
    case PanelKind::kConstant:
      return Fill(Words(Word::kConstantValue, language), {std::to_string(e.constant)});
  }
  return "";
}

// The indices up to `last` that no entry lists, as "4, 10, 15 to 99, ...".
template <typename Entries>
std::string Unlisted(const Entries& entries, int last, Language language) {
  const std::string comma = Words(Word::kListComma, language);
  const std::string to = Words(Word::kRangeTo, language);
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
    if (!text.empty()) text += comma;
    text += std::to_string(i);
    if (j > i) text += (j == i + 1 ? comma : to) + std::to_string(j);
    i = j + 1;
  }
  return text;
}

// How far the host's train runs while braking from one limit down to the
// next, computed by its own train model, so that a check can be placed
// without running anything.
Table BrakingDistances(const std::vector<std::string>& header) {
  Table t{header, {}};
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

// The station approach of the example, one beacon (or the stopping point) a
// row.
struct ExampleRow {
  const char* location;
  const char* type;
  const char* signal;
  const char* data_word;
  Word purpose;
};
constexpr std::array<ExampleRow, 6> kExampleRows = {{
    {"900 m", "0", "3", "0", Word::kExampleLimit68},
    {"950 m", "11", "0", "0", Word::kExampleStationOn},
    {"1000 m", "12", "0", "1150", Word::kExampleStopTarget},
    {"1050 m", "0", "2", "0", Word::kExampleLimit48},
    {"1150 m", "", "", "", Word::kExampleStoppingPoint},
    {"1300 m", "10", "0", "0", Word::kExampleStationOff},
}};

// The catalogue's words in one language, as the sections below use them.
struct Say {
  Language language;
  std::string operator()(Word key) const { return std::string(Words(key, language)); }
  std::string operator()(Word key, std::initializer_list<std::string> values) const {
    return Fill((*this)(key), values);
  }
  std::string operator()(const Text& t) const { return std::string(t.In(language)); }
};

void Introduction(const Say& w, std::vector<Block>& g) {
  const std::string product = ATS_PRODUCT_NAME;
  g.push_back(Heading{1, w(Word::kTitle, {product, ATS_PRODUCT_VERSION})});
  g.push_back(Paragraph{w(Word::kIntro)});

  g.push_back(Heading{2, w(Word::kInstalling)});
  g.push_back(Paragraph{w(Word::kInstallingPackage, {product})});
  g.push_back(
      Bullets{{w(Word::kInstallingCopy), w(Word::kInstallingPoint), w(Word::kInstallingNeeds)}});
  g.push_back(Paragraph{w(Word::kInstallingCab)});
}

void KeysAndBrakes(const Say& w, std::vector<Block>& g) {
  g.push_back(Heading{2, w(Word::kKeys)});
  g.push_back(Paragraph{w(Word::kKeysIntro)});
  Table keys{{w(Word::kKeyColumn), w(Word::kDoesColumn)}, {}};
  for (const KeyEntry& k : kKeys) keys.rows.push_back({k.key, w(k.does)});
  g.push_back(keys);

  g.push_back(Heading{2, w(Word::kBrakePositions)});
  g.push_back(Paragraph{w(Word::kBrakePositionsIntro)});
  Table brakes{{w(Word::kPositionColumn), w(Word::kUseColumn)}, {}};
  for (const BrakePositionEntry& b : kBrakePositions) brakes.rows.push_back({b.position, w(b.use)});
  g.push_back(brakes);
  g.push_back(Paragraph{w(Word::kHandles)});
}

void PanelSection(const Say& w, std::vector<Block>& g) {
  g.push_back(Heading{2, w(Word::kPanel)});
  g.push_back(Paragraph{w(Word::kPanelIntro, {std::to_string(kPanel.size())})});
  Table panel{
      {w(Word::kIndexColumn), w(Word::kShowsColumn), w(Word::kValuesColumn), w(Word::kWhenColumn)},
      {}};
  for (const PanelEntry& e : kPanel) {
    panel.rows.push_back({std::to_string(e.index), w(e.shows), KindText(e, w.language), w(e.when)});
  }
  g.push_back(panel);
  g.push_back(
      Paragraph{w(Word::kPanelNeverWritten, {Unlisted(kPanel, kLastPanelIndex, w.language)})});
}

void SoundSection(const Say& w, std::vector<Block>& g) {
  g.push_back(Heading{2, w(Word::kSound)});
  g.push_back(Paragraph{w(Word::kSoundIntro, {std::to_string(kSound.size())})});
  Table sound{{w(Word::kIndexColumn), w(Word::kSoundColumn), w(Word::kFileColumn),
               w(Word::kCommandsColumn)},
              {}};
  for (const SoundEntry& e : kSound) {
    sound.rows.push_back({std::to_string(e.index), w(e.sound), w(e.file), w(e.commands)});
  }
  g.push_back(sound);
  g.push_back(
      Paragraph{w(Word::kSoundNeverWritten, {Unlisted(kSound, kLastSoundIndex, w.language)})});
  g.push_back(Paragraph{w(Word::kBell)});
}

// The speed each check holds the train to, one beacon type and signal a row.
Table SpeedLimits(const Say& w) {
  Table limits{{w(Word::kTypeColumn), w(Word::kSignalColumn), w(Word::kDataWordColumn),
                w(Word::kLimitColumn)},
               {}};
  for (const SpeedLimitEntry& l : kSpeedLimits) {
    const bool own = l.type == 9;
    std::string limit = Number(static_cast<double>(l.limit_kmh));
    if (l.note.en != nullptr) limit = w(Word::kLimitWithNote, {limit, w(l.note)});
    limits.rows.push_back({std::to_string(l.type),
                           l.signal == kAny ? w(Word::kAny) : std::to_string(l.signal),
                           own ? w(Word::kAny) : std::to_string(l.optional),
                           own ? w(Word::kLimitIsDataWord) : limit});
  }
  return limits;
}

void BeaconsSection(const Say& w, std::vector<Block>& g) {
  g.push_back(Heading{2, w(Word::kBeacons)});
  g.push_back(Paragraph{w(Word::kBeaconsIntro)});
  Table beacons{{w(Word::kTypeColumn), w(Word::kDoesColumn), w(Word::kFieldsColumn)}, {}};
  for (const BeaconEntry& b : kBeacons) {
    beacons.rows.push_back({std::to_string(b.type), w(b.does), w(b.fields)});
  }
  g.push_back(beacons);
  g.push_back(Paragraph{w(Word::kChecksIntro)});
  g.push_back(SpeedLimits(w));
  g.push_back(Paragraph{w(Word::kOtherType0)});
  g.push_back(Paragraph{w(Word::kMargins)});
  Table margins{{w(Word::kDistanceColumn), w(Word::kMarginColumn)}, {}};
  for (const SpeedMarginEntry& m : kSpeedMargins) {
    margins.rows.push_back({w(m.locations), Number(static_cast<double>(m.margin_kmh)) + " km/h"});
  }
  g.push_back(margins);
}

void BrakingAndExample(const Say& w, std::vector<Block>& g) {
  g.push_back(Heading{2, w(Word::kBraking)});
  g.push_back(Paragraph{w(Word::kBrakingIntro)});
  g.push_back(
      BrakingDistances({w(Word::kFromColumn), w(Word::kDownToColumn), w(Word::kNotch4Column),
                        w(Word::kFullServiceColumn), w(Word::kEmergencyColumn)}));

  g.push_back(Heading{2, w(Word::kExample)});
  g.push_back(Paragraph{w(Word::kExampleIntro)});
  Example example{{w(Word::kLocationColumn), w(Word::kTypeColumn), w(Word::kSignalColumn),
                   w(Word::kDataWordColumn), w(Word::kPurposeColumn)},
                  {}};
  for (const ExampleRow& r : kExampleRows) {
    example.rows.push_back({r.location, r.type, r.signal, r.data_word, w(r.purpose)});
  }
  g.push_back(example);
}

// The guide in one language: each section a block of words from the
// catalogue and the tables computed from the reference. A new section is a
// heading, its words (guide_words.h) and, where it has one, a table built
// here from its reference table, in a function of its own called here.
std::vector<Block> Guide(Language language) {
  const Say w{language};
  std::vector<Block> g;
  Introduction(w, g);
  KeysAndBrakes(w, g);
  PanelSection(w, g);
  SoundSection(w, g);
  BeaconsSection(w, g);
  BrakingAndExample(w, g);
  return g;
}

// One character of UTF-8 text: its bytes and how many columns it takes in a
// terminal or a monospaced font.
struct Glyph {
  std::size_t start;
  std::size_t size;
  std::size_t width;
  char32_t code;
};

// The wide and fullwidth characters (East Asian Width W and F) of the
// scripts the guide is written in: two columns each.
bool Wide(char32_t c) {
  return (c >= 0x1100 && c <= 0x115F) || (c >= 0x2E80 && c <= 0x303E) ||
         (c >= 0x3041 && c <= 0x33FF) || (c >= 0x3400 && c <= 0x4DBF) ||
         (c >= 0x4E00 && c <= 0x9FFF) || (c >= 0xA000 && c <= 0xA4CF) ||
         (c >= 0xAC00 && c <= 0xD7A3) || (c >= 0xF900 && c <= 0xFAFF) ||
         (c >= 0xFE30 && c <= 0xFE4F) || (c >= 0xFF01 && c <= 0xFF60) ||
         (c >= 0xFFE0 && c <= 0xFFE6) || (c >= 0x20000 && c <= 0x3FFFD);
}

// The characters of `text`. A byte that does not start a well-formed UTF-8
// sequence counts as one narrow character of its own, so that no line is ever
// cut inside a sequence.
std::vector<Glyph> Glyphs(const std::string& text) {
  std::vector<Glyph> glyphs;
  std::size_t i = 0;
  while (i < text.size()) {
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char b = byte(i);
    std::size_t size = b < 0x80                 ? 1
                       : b >= 0xC2 && b <= 0xDF ? 2
                       : b >= 0xE0 && b <= 0xEF ? 3
                       : b >= 0xF0 && b <= 0xF4 ? 4
                                                : 1;
    char32_t code = size == 1 ? b : b & (0x7F >> size);
    for (std::size_t k = 1; k < size; ++k) {
      if (i + k >= text.size() || (byte(i + k) & 0xC0) != 0x80) {
        size = 1;
        code = b;
        break;
      }
      code = (code << 6) | (byte(i + k) & 0x3F);
    }
    glyphs.push_back({i, size, Wide(code) ? 2u : 1u, code});
    i += size;
  }
  return glyphs;
}

std::string Pad(std::size_t columns) { return std::string(columns, ' '); }

std::size_t Width(const std::string& text) {
  std::size_t width = 0;
  for (const Glyph& g : Glyphs(text)) width += g.width;
  return width;
}

// An example's rows in aligned columns, each line starting with `indent`.
void WriteExample(std::ostream& out, const Example& e, const std::string& indent) {
  std::vector<std::size_t> width(e.header.size(), 0);
  for (std::size_t c = 0; c < e.header.size(); ++c) {
    width[c] = Width(e.header[c]);
    for (const auto& row : e.rows) width[c] = std::max(width[c], Width(row[c]));
  }
  auto print = [&](const std::vector<std::string>& row) {
    std::string line = indent;
    for (std::size_t c = 0; c < row.size(); ++c) {
      const std::size_t pad = width[c] - Width(row[c]);
      if (c > 0) line += "  ";
      line += c + 1 < row.size() ? Pad(pad) + row[c] : row[c];
    }
    out << line << '\n';
  };
  print(e.header);
  for (const auto& row : e.rows) print(row);
}

// Japanese line-breaking rules: no line starts with closing punctuation, a
// small kana or the long-vowel mark, and none ends with opening punctuation.
bool NoLineStart(char32_t c) {
  static constexpr std::u32string_view kClosing =
      U"、。，．：；？！）」』】〕〉》ーぁぃぅぇぉっゃゅょゎァィゥェォッャュョヮヵヶ・〜";
  return kClosing.find(c) != std::u32string_view::npos;
}
bool NoLineEnd(char32_t c) {
  static constexpr std::u32string_view kOpening = U"（「『【〔〈《";
  return kOpening.find(c) != std::u32string_view::npos;
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
      out << "```text\n";
      WriteExample(out, *e, "");
      out << "```\n";
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

// Words of `text` in lines of at most kTextWidth columns, each starting with
// `first` or, after the first, `indent`. A line breaks at a space, or between
// two characters of which one is wide (Japanese has no spaces between words)
// where the line-breaking rules allow; never inside a character.
void Wrap(std::ostream& out, const std::string& text, const std::string& first,
          const std::string& indent) {
  // The text in pieces that no line break may split, each with whether a
  // space came before it.
  struct Piece {
    std::string text;
    std::size_t width = 0;
    bool spaced = false;
  };
  std::vector<Piece> pieces;
  bool space = false;
  const Glyph* previous = nullptr;
  const std::vector<Glyph> glyphs = Glyphs(text);
  for (const Glyph& g : glyphs) {
    if (g.code == ' ') {
      space = true;
      previous = nullptr;
      continue;
    }
    const bool breaks = pieces.empty() || space ||
                        (previous != nullptr && (g.width == 2 || previous->width == 2) &&
                         !NoLineStart(g.code) && !NoLineEnd(previous->code));
    if (breaks) pieces.push_back({"", 0, space});
    pieces.back().text.append(text, g.start, g.size);
    pieces.back().width += g.width;
    space = false;
    previous = &g;
  }
  std::string line = first;
  std::size_t width = Width(first);
  bool empty = true;
  for (const Piece& p : pieces) {
    const std::size_t gap = p.spaced && !empty ? 1 : 0;
    if (!empty && width + gap + p.width > kTextWidth) {
      out << line << '\n';
      line = indent;
      width = Width(indent);
      empty = true;
    }
    if (p.spaced && !empty) {
      line += ' ';
      ++width;
    }
    line += p.text;
    width += p.width;
    empty = false;
  }
  out << line << '\n';
}

// Plain text: headings underlined; a table whose rows fit the width in
// aligned columns, any other as one entry a row with its fields indented.
void WriteText(std::ostream& out, const std::vector<Block>& blocks, Language language) {
  bool first = true;
  for (const Block& b : blocks) {
    if (!first) out << '\n';
    first = false;
    if (const auto* h = std::get_if<Heading>(&b)) {
      out << h->text << '\n' << std::string(Width(h->text), h->level == 1 ? '=' : '-') << '\n';
    } else if (const auto* p = std::get_if<Paragraph>(&b)) {
      Wrap(out, Plain(p->text), "", "");
    } else if (const auto* l = std::get_if<Bullets>(&b)) {
      for (const std::string& item : l->items) Wrap(out, Plain(item), "  - ", "    ");
    } else if (const auto* e = std::get_if<Example>(&b)) {
      WriteExample(out, *e, "  ");
    } else if (const auto* t = std::get_if<Table>(&b)) {
      std::vector<std::size_t> width(t->header.size(), 0);
      auto widen = [&](const std::vector<std::string>& row) {
        for (std::size_t c = 0; c < row.size(); ++c) width[c] = std::max(width[c], Width(row[c]));
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
            if (c + 1 < row.size()) line += Pad(width[c] - Width(row[c]) + 2);
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
        const std::string indent = Pad(2 + width[0] + 2);
        for (std::size_t r = 0; r < t->rows.size(); ++r) {
          const auto& row = t->rows[r];
          if (r > 0) out << '\n';
          const std::string label = "  " + Plain(row[0]) + Pad(width[0] - Width(row[0]) + 2);
          Wrap(out, Plain(row[1]), label, indent);
          for (std::size_t c = 2; c < row.size(); ++c) {
            Wrap(out, Plain(row[c]),
                 indent + Fill(Words(Word::kFieldLabel, language), {t->header[c]}), indent + "  ");
          }
        }
      }
    }
  }
}

}  // namespace

void WriteGuide(std::ostream& out, GuideFormat format, Language language) {
  const std::vector<Block> guide = Guide(language);
  if (format == GuideFormat::kMarkdown) {
    WriteMarkdown(out, guide);
  } else {
    WriteText(out, guide, language);
  }
}

}  // namespace atshost::reference
