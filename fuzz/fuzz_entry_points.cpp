// libFuzzer target: the input is read as a sequence of host calls, any of the
// sixteen entry points in any order, with any arguments (NaN, infinities,
// negative zero, denormals, INT32_MIN/MAX, huge locations, time running
// backwards), loads and disposes included. After every frame it checks what a
// host relies on; a violated rule aborts with a message.
//
// Input format (little-endian, read front to back; a short input reads as
// zeros and ends the sequence):
//   op byte: call = op % 16 (the table in Call below; frames are also chosen
//            by ops 16..31, so that they are the most common call)
//   int32 argument:  selector byte s
//            s < 128: s % 16 - 3        (notches, keys, reverser: -3..12)
//            s < 192: kInts[(s - 128) % size] (boundaries, words that matter)
//            else   : four raw bytes
//   float:   s < 64 : kFloats[s % size] (NaN, +-inf, -0, denormals, thresholds)
//            s < 192: (byte - 128) * 0.75 km/h, an ordinary value
//            else   : four raw bytes (any bit pattern)
//   time:    s < 192: previous time + (byte * 4 - 200) ms (zero and backwards too)
//            s < 224: kTimes[(s - 192) % size]
//            else   : four raw bytes
//   location:s < 128: previous location + speed * elapsed, so that the derived
//                     speed agrees with the host's
//            s < 192: kDoubles[(s - 128) % size]
//            else   : eight raw bytes
// fuzz/make_seeds.py writes the seed corpus in this format.
#include <array>
#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <vector>

#include "plugin/atsplugin.h"
#include "plugin/module.h"

namespace {

using Limits32 = std::numeric_limits<int32_t>;
using LimitsF = std::numeric_limits<float>;
using LimitsD = std::numeric_limits<double>;

constexpr int32_t kInts[] = {0,
                             1,
                             -1,
                             2,
                             3,
                             4,
                             8,
                             9,
                             10,
                             11,
                             12,
                             13,
                             15,
                             30,
                             45,
                             50,
                             150,
                             200,
                             240,
                             241,
                             246,
                             247,
                             812,
                             1000,
                             -5,
                             -2,
                             19,
                             29,
                             100,
                             500,
                             999,
                             501,
                             255,
                             256,
                             Limits32::min(),
                             Limits32::max(),
                             Limits32::min() + 1,
                             Limits32::max() - 1};

const float kFloats[] = {LimitsF::quiet_NaN(),
                         -LimitsF::quiet_NaN(),
                         LimitsF::infinity(),
                         -LimitsF::infinity(),
                         0.0f,
                         -0.0f,
                         LimitsF::denorm_min(),
                         -LimitsF::denorm_min(),
                         LimitsF::min(),
                         LimitsF::max(),
                         -LimitsF::max(),
                         5.0f,
                         -5.0f,
                         5.01f,
                         -5.01f,
                         15.0f,
                         15.01f,
                         28.0f,
                         28.01f,
                         39.0f,
                         71.0f,
                         76.0f,
                         76.01f,
                         -80.0f,
                         25.0f,
                         -25.0f,
                         100.0f,
                         100.01f,
                         400.0f,
                         33.9f,
                         38.99f,
                         2147483648.0f,
                         -2147483904.0f};

const int32_t kTimes[] = {
    0, 1, -1, 499, 500, 1000, 1001, -1000, 60000, 86400000, Limits32::min(), Limits32::max()};

const double kDoubles[] = {0.0,
                           -0.0,
                           500.29,
                           812.0,
                           100000.0,
                           1e300,
                           -1e300,
                           LimitsD::max(),
                           LimitsD::denorm_min(),
                           LimitsD::infinity(),
                           -LimitsD::infinity(),
                           LimitsD::quiet_NaN(),
                           3.4028235e38,
                           -3.5e38};

// Reads the input front to back; past its end every read gives zero.
class Reader {
 public:
  Reader(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  bool Done() const { return pos_ >= size_; }
  uint8_t Byte() { return pos_ < size_ ? data_[pos_++] : 0; }
  uint32_t Raw32() {
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i) v |= static_cast<uint32_t>(Byte()) << (8 * i);
    return v;
  }
  uint64_t Raw64() { return Raw32() | static_cast<uint64_t>(Raw32()) << 32; }

  int32_t Int() {
    const uint8_t s = Byte();
    if (s < 128) return s % 16 - 3;
    if (s < 192) return kInts[(s - 128) % std::size(kInts)];
    return static_cast<int32_t>(Raw32());
  }
  float Float() {
    const uint8_t s = Byte();
    if (s < 64) return kFloats[s % std::size(kFloats)];
    if (s < 192) return (static_cast<float>(Byte()) - 128.0f) * 0.75f;
    return std::bit_cast<float>(Raw32());
  }
  int32_t Time(int32_t previous) {
    const uint8_t s = Byte();
    if (s < 192) {
      // Wrapping, as the host's clock would.
      const int32_t dt = static_cast<int32_t>(Byte()) * 4 - 200;
      return static_cast<int32_t>(static_cast<uint32_t>(previous) + static_cast<uint32_t>(dt));
    }
    if (s < 224) return kTimes[(s - 192) % std::size(kTimes)];
    return static_cast<int32_t>(Raw32());
  }
  double Location(double previous, float speed, int32_t elapsedMs) {
    const uint8_t s = Byte();
    if (s < 128) return previous + static_cast<double>(speed) * elapsedMs / 3600.0;
    if (s < 192) return kDoubles[(s - 128) % std::size(kDoubles)];
    return std::bit_cast<double>(Raw64());
  }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t pos_ = 0;
};

[[noreturn]] void Fail(const char* what, int index, long long value) {
  std::fprintf(stderr, "host rule broken: %s (index %d, value %lld)\n", what, index, value);
  std::abort();
}

void Check(bool ok, const char* what, int index = -1, long long value = 0) {
  if (!ok) Fail(what, index, value);
}

// What the host may expect at each panel index.
enum class Panel : uint8_t { kUnwritten, kFlag, kOne, kZero, kBars, kStepA, kStepB, kAny };

constexpr std::array<Panel, ATS_PANEL_SIZE> PanelKinds() {
  std::array<Panel, ATS_PANEL_SIZE> k{};
  for (int i : {0,   1,   2,   5,   6,   7,   8,   9,   11,  12,  14,  101, 201, 206,
                210, 211, 212, 218, 219, 220, 221, 222, 241, 242, 243, 244, 245, 246}) {
    k[i] = Panel::kFlag;
  }
  for (int i : {3, 255}) k[i] = Panel::kOne;
  for (int i : {100, 102, 103, 104, 105, 106, 107, 215, 225, 226, 228, 229}) k[i] = Panel::kZero;
  for (int i : {207, 208, 209}) k[i] = Panel::kBars;
  k[216] = Panel::kStepA;
  k[217] = Panel::kStepB;
  k[200] = Panel::kAny;
  return k;
}
constexpr std::array<Panel, ATS_PANEL_SIZE> kPanel = PanelKinds();

// Sound indices written; 2, 3 and 4 are reset to continue at the start of
// every frame, so they can only be play-once or continue.
constexpr int kSoundIndices[] = {0, 2, 3, 4, 7, 8, 9, 100};
constexpr bool IsFrameSound(int i) { return i == 2 || i == 3 || i == 4; }

constexpr int32_t kCanary = 0x5A5A5A5A;

// Exactly the sizes the host guarantees, so that a write past them lands in a
// sanitizer red zone.
int32_t g_panel[ATS_PANEL_SIZE];
int32_t g_sound[ATS_SOUND_SIZE];

// What this harness has told the module since the latest load.
struct Model {
  bool loaded = false;
  int32_t reverser = 0;
  int32_t power = 0;
  int32_t brake = 0;
  int32_t emergency = 0;         // no vehicle reported yet: position 0
  std::vector<int32_t> notches;  // every service-notch count reported since load
  int32_t time = 0;
  double location = 0.0;
  float speed = 0.0f;

  void Load() {
    *this = Model{};
    loaded = true;
  }
};

bool IsSoundCommand(int32_t v) {
  return v == ATS_SOUND_STOP || v == ATS_SOUND_PLAYLOOPING || v == ATS_SOUND_PLAY ||
         v == ATS_SOUND_CONTINUE;
}

void CheckArrays() {
  for (int i = 0; i < ATS_PANEL_SIZE; ++i) {
    const int32_t v = g_panel[i];
    switch (kPanel[i]) {
      case Panel::kUnwritten:
        Check(v == kCanary, "unlisted panel element written", i, v);
        break;
      case Panel::kFlag:
        Check(v == 0 || v == 1, "panel flag not 0 or 1", i, v);
        break;
      case Panel::kOne:
        Check(v == 1, "constant panel element not 1", i, v);
        break;
      case Panel::kZero:
        Check(v == 0, "constant panel element not 0", i, v);
        break;
      case Panel::kBars:
        Check(v >= 0 && v <= 5, "bar meter outside 0..5", i, v);
        break;
      case Panel::kStepA:
        Check(v >= 0 && v <= 6, "first counter step outside 0..6", i, v);
        break;
      case Panel::kStepB:
        Check(v == 0 || (v >= 2 && v <= 7), "second counter step not 0 or 2..7", i, v);
        break;
      case Panel::kAny:
        break;
    }
  }
  // Lamps that show one state from two sides must agree.
  Check(g_panel[0] + g_panel[1] == 1, "unit both on and switched off", 0, g_panel[0]);
  Check(g_panel[1] == g_panel[101], "two switched-off lamps disagree", 101, g_panel[101]);
  Check(g_panel[2] == 0 || (g_panel[5] == 1 && g_panel[7] == 1), "trip not shown at 5 and 7", 2,
        g_panel[2]);
  int modes = g_panel[9];
  for (int i = 241; i <= 246; ++i) modes += g_panel[i];
  Check(modes <= 1, "more than one section mode selected", 9, modes);
  Check(g_panel[210] == g_panel[211] && g_panel[211] == g_panel[212], "door-closed lamps disagree",
        210, g_panel[210]);
  Check(g_panel[220] == g_panel[221] && g_panel[221] == g_panel[222], "door-open lamps disagree",
        220, g_panel[220]);
  Check(g_panel[210] + g_panel[220] <= 1, "doors shown both open and closed", 210, g_panel[220]);
  Check(g_panel[218] + g_panel[219] <= 1, "reverser shown both ways", 218, g_panel[219]);

  for (int i = 0; i < ATS_SOUND_SIZE; ++i) {
    bool listed = false;
    for (int j : kSoundIndices) listed = listed || i == j;
    const int32_t v = g_sound[i];
    if (!listed) {
      Check(v == kCanary, "unlisted sound element written", i, v);
    } else if (IsFrameSound(i)) {
      Check(v == ATS_SOUND_PLAY || v == ATS_SOUND_CONTINUE, "frame sound not play-once or continue",
            i, v);
    } else {
      Check(IsSoundCommand(v), "sound element not a sound command", i, v);
    }
  }
}

void CheckHandles(const ATS_HANDLES& h, const Model& m) {
  const ATS_HANDLES& record = vorlan::HandleRecord();
  Check(std::memcmp(&h, &record, sizeof h) == 0, "returned handles differ from the record");
  Check(h.Reverser == m.reverser, "reverser not the driver's", 0, h.Reverser);
  Check(h.ConstantSpeed >= 0 && h.ConstantSpeed <= 2, "constant-speed command not 0, 1 or 2", 0,
        h.ConstantSpeed);
  Check(h.Power == 0 || h.Power == m.power, "power neither cut nor the driver's", 0, h.Power);
  bool brakeKnown = h.Brake == m.brake || h.Brake == 4 || h.Brake == m.emergency;
  for (int32_t n : m.notches) brakeKnown = brakeKnown || h.Brake == n;
  Check(brakeKnown, "brake from nowhere", 0, h.Brake);

  // A switched-off or tripped unit holds the emergency brake and cuts power,
  // unless the governor (only above 71 km/h) puts its own notch in.
  const bool governorIdle = std::fabs(static_cast<double>(m.speed)) < 71.0;
  if ((g_panel[1] == 1 || g_panel[2] == 1) && governorIdle) {
    Check(h.Brake == m.emergency, "stopped unit without the emergency brake", 0, h.Brake);
    Check(h.Power == 0 && h.ConstantSpeed == 2, "stopped unit lets power through", 0, h.Power);
  }
}

void Frame(Reader& in, Model& m) {
  ATS_VEHICLESTATE s;
  const uint32_t reserved = in.Raw32();
  for (float& r : s.Reserved) r = std::bit_cast<float>(reserved);
  s.Speed = in.Float();
  s.Time = in.Time(m.time);
  const int32_t elapsed =
      static_cast<int32_t>(static_cast<uint32_t>(s.Time) - static_cast<uint32_t>(m.time));
  s.Location = in.Location(m.location, s.Speed, elapsed);
  s.BcPressure = in.Float();
  s.MrPressure = in.Float();
  s.Current = in.Float();

  if (!m.loaded) {
    // Nothing to run: all-zero handles, arrays and the handle record untouched.
    int32_t panel[ATS_PANEL_SIZE];
    int32_t sound[ATS_SOUND_SIZE];
    std::memcpy(panel, g_panel, sizeof panel);
    std::memcpy(sound, g_sound, sizeof sound);
    const ATS_HANDLES before = vorlan::HandleRecord();
    const ATS_HANDLES h = atsElapse(s, g_panel, g_sound);
    Check(h.Brake == 0 && h.Power == 0 && h.Reverser == 0 && h.ConstantSpeed == 0,
          "frame while not loaded returned handles");
    Check(std::memcmp(panel, g_panel, sizeof panel) == 0, "frame while not loaded wrote the panel");
    Check(std::memcmp(sound, g_sound, sizeof sound) == 0, "frame while not loaded wrote sounds");
    Check(std::memcmp(&before, &vorlan::HandleRecord(), sizeof before) == 0,
          "frame while not loaded changed the handle record");
    return;
  }
  m.time = s.Time;
  m.location = s.Location;
  m.speed = s.Speed;
  const ATS_HANDLES h = atsElapse(s, g_panel, g_sound);
  CheckArrays();
  CheckHandles(h, m);
}

void Call(Reader& in, Model& m) {
  const uint8_t op = in.Byte();
  switch (op % 32) {
    case 0:
      atsLoad();
      m.Load();
      break;
    case 1:
      atsDispose();
      m.loaded = false;
      Check(vorlan::LoadedUnit() == nullptr, "unit left after dispose");
      break;
    case 2:
      Check(atsGetPluginVersion() == ATS_VERSION, "wrong interface version");
      break;
    case 3: {
      ATS_VEHICLESPEC spec;
      spec.BrakeNotches = in.Int();
      for (int32_t& r : spec.Reserved) r = static_cast<int32_t>(in.Raw32());
      atsSetVehicleSpec(spec);
      if (m.loaded) {
        m.notches.push_back(spec.BrakeNotches);
        m.emergency = static_cast<int32_t>(static_cast<uint32_t>(spec.BrakeNotches) + 1u);  // wraps
      }
      break;
    }
    case 4:
      atsInitialize(in.Int());
      break;
    case 6: {
      const int32_t v = in.Int();
      atsSetPower(v);
      if (m.loaded) m.power = v;
      break;
    }
    case 7: {
      const int32_t v = in.Int();
      atsSetBrake(v);
      if (m.loaded) m.brake = v;
      break;
    }
    case 8: {
      const int32_t v = in.Int();
      atsSetReverser(v);
      if (m.loaded) m.reverser = v;
      break;
    }
    case 9:
      atsKeyDown(in.Int());
      break;
    case 10:
      atsKeyUp(in.Int());
      break;
    case 11:
      atsHornBlow(in.Int());
      break;
    case 12:
      atsDoorOpen();
      break;
    case 13:
      atsDoorClose();
      break;
    case 14:
      atsSetSignal(in.Int());
      break;
    case 15: {
      ATS_BEACONDATA b;
      b.Type = in.Int();
      b.Signal = in.Int();
      b.Reserved = static_cast<int32_t>(in.Raw32());
      b.Optional = in.Int();
      atsSetBeaconData(b);
      break;
    }
    default:  // 5 and 16..31
      Frame(in, m);
      break;
  }
  Check(m.loaded == (vorlan::LoadedUnit() != nullptr), "loaded state differs from the calls made");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::fill(std::begin(g_panel), std::end(g_panel), kCanary);
  std::fill(std::begin(g_sound), std::end(g_sound), kCanary);
  Reader in(data, size);
  Model model;
  while (!in.Done()) Call(in, model);
  // Every input leaves the module as it found it: not loaded.
  atsDispose();
  return 0;
}
