// The product DLL and the native library are built from the same sources and
// must compute the same thing bit for bit: the same seeded random calls go to
// both, and every frame's handles, panel and sound arrays must agree. The
// values include what floating point and integer edge cases a host may send:
// NaN, infinities, negative zero, denormals, INT32 extremes, time running
// backwards.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>

#include "emu/tests/product_dll.h"

namespace atsemu::test {
namespace {

constexpr int kSeeds = 4;
constexpr int kStepsPerSeed = 1500;
constexpr int32_t kIntMin = std::numeric_limits<int32_t>::min();
constexpr int32_t kIntMax = std::numeric_limits<int32_t>::max();
constexpr float kNaNf = std::numeric_limits<float>::quiet_NaN();
constexpr float kInff = std::numeric_limits<float>::infinity();
constexpr float kDenormf = std::numeric_limits<float>::denorm_min();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

const float kSpeeds[] = {
    0.0f,   -0.0f, 1.0f,  4.99f,  5.0f,     5.01f,     -5.0f,
    -5.01f, 14.9f, 15.0f, 15.1f,  18.9f,    28.0f,     28.01f,
    47.9f,  48.1f, 70.9f, 71.0f,  75.99f,   76.0f,     76.01f,
    120.0f, kNaNf, kInff, -kInff, kDenormf, -kDenormf, std::numeric_limits<float>::max()};
const float kPressures[] = {0.0f,   -0.0f,  99.9f, 100.0f, 100.1f, 200.0f, 300.0f,
                            400.0f, 450.0f, -1.0f, kNaNf,  kInff,  -kInff, kDenormf};
const float kCurrents[] = {0.0f,   24.9f,  25.0f,  50.0f,   75.0f, 100.0f, 101.0f,
                           -25.0f, -50.0f, -75.0f, -100.0f, kNaNf, kInff,  -kInff};
const int32_t kNotchValues[] = {-1, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, kIntMin, kIntMax};
const int32_t kKeys[] = {0, 1, 2, 3, 10, 11, 12, -1, kIntMin, kIntMax};
const int32_t kBeaconTypes[] = {0, 1, 9, 10, 11, 12, 15, 200, 201, -1, kIntMin, kIntMax};
const int32_t kBeaconWords[] = {0, 1, 2, 3, 4, 5, 6, 19, 28, 29, 48, 68, 100, -1, kIntMin, kIntMax};
const int32_t kTimeSteps[] = {0, 16, 100, 100, 250, 1000, -100, kIntMax / 2};
const double kLocations[] = {kNaN, kInf, -kInf, -0.0, 4.9e-324, 1e300, 100000.0};

template <typename T, std::size_t N>
T Pick(std::mt19937& rng, const T (&pool)[N]) {
  return pool[std::uniform_int_distribution<std::size_t>(0, N - 1)(rng)];
}

// The native library's entry points by their plain names, as the list of
// them gives each its type (plugin/entry_points.h).
struct Native {
  NativeLibrary lib;
#define ATS_NATIVE_SLOT(name, ret, params, args, bytes, decoration) \
  ret(*name) params = lib.Get<ret(*) params>(#name);
  ATS_ENTRY_POINTS(ATS_NATIVE_SLOT)
#undef ATS_NATIVE_SLOT
};

// The native library and the product DLL side by side: every call goes to
// both, and every frame's results must agree.
struct Pair {
  Native native;
  EmulatedPlugin dll{ATS_PRODUCT_DLL};
  std::array<int, ATS_PANEL_SIZE> nativePanel, dllPanel;
  std::array<int, ATS_SOUND_SIZE> nativeSound, dllSound;
  int frames = 0;

  Pair() {
    nativePanel.fill(kCanary);
    dllPanel.fill(kCanary);
    nativeSound.fill(kCanary);
    dllSound.fill(kCanary);
  }
  void Load() {
    native.Load();
    dll.Load();
  }
  void Dispose() {
    native.Dispose();
    dll.Dispose();
  }
  void SetVehicleSpec(const ATS_VEHICLESPEC& spec) {
    native.SetVehicleSpec(spec);
    dll.SetVehicleSpec(spec);
  }
  void Initialize(int32_t v) {
    native.Initialize(v);
    dll.Initialize(v);
  }
  void SetPower(int32_t v) {
    native.SetPower(v);
    dll.SetPower(v);
  }
  void SetBrake(int32_t v) {
    native.SetBrake(v);
    dll.SetBrake(v);
  }
  void SetReverser(int32_t v) {
    native.SetReverser(v);
    dll.SetReverser(v);
  }
  void KeyDown(int32_t v) {
    native.KeyDown(v);
    dll.KeyDown(v);
  }
  void KeyUp(int32_t v) {
    native.KeyUp(v);
    dll.KeyUp(v);
  }
  void HornBlow(int32_t v) {
    native.HornBlow(v);
    dll.HornBlow(v);
  }
  void SetSignal(int32_t v) {
    native.SetSignal(v);
    dll.SetSignal(v);
  }
  void DoorOpen() {
    native.DoorOpen();
    dll.DoorOpen();
  }
  void DoorClose() {
    native.DoorClose();
    dll.DoorClose();
  }
  void SetBeaconData(const ATS_BEACONDATA& b) {
    native.SetBeaconData(b);
    dll.SetBeaconData(b);
  }

  // One frame to both: the handles, panel and sound must be the same.
  void Frame(const ATS_VEHICLESTATE& state, int seed, int step) {
    const ATS_HANDLES n = native.Elapse(state, nativePanel.data(), nativeSound.data());
    const ATS_HANDLES d = dll.Elapse(state, dllPanel.data(), dllSound.data());
    ++frames;
    ASSERT_EQ(Handles(n), Handles(d)) << "seed " << seed << " step " << step;
    for (std::size_t i = 0; i < nativePanel.size(); ++i) {
      ASSERT_EQ(nativePanel[i], dllPanel[i])
          << "panel " << i << ", seed " << seed << " step " << step;
    }
    for (std::size_t i = 0; i < nativeSound.size(); ++i) {
      ASSERT_EQ(nativeSound[i], dllSound[i])
          << "sound " << i << ", seed " << seed << " step " << step;
    }
  }
};

// A driver who secures the handles, switches on (or resets a trip) and drives
// off: most of the rules act only on a running unit.
void SwitchOnAndDriveOff(Pair& both, std::mt19937& rng, const ATS_VEHICLESPEC& spec) {
  const int32_t key = rng() % 2 == 0 ? 10 : 3;
  const int32_t notch = std::uniform_int_distribution<int>(1, 5)(rng);
  both.SetReverser(0);
  both.SetPower(0);
  both.SetBrake(static_cast<int32_t>(static_cast<uint32_t>(spec.BrakeNotches) + 1u));
  both.DoorClose();
  both.KeyDown(key);
  both.KeyUp(key);
  both.SetReverser(1);
  both.SetBrake(0);
  both.SetPower(notch);
}

// The next frame's state: mostly plausible motion, sometimes an edge case.
void Move(std::mt19937& rng, ATS_VEHICLESTATE& state) {
  const bool odd = rng() % 8 == 0;
  state.Speed =
      odd ? Pick(rng, kSpeeds) : std::uniform_real_distribution<float>(-10.0f, 90.0f)(rng);
  // The host's clock may wrap around, as an int32 counter does.
  state.Time = static_cast<int32_t>(static_cast<uint32_t>(state.Time) +
                                    static_cast<uint32_t>(Pick(rng, kTimeSteps)));
  const double move = std::isfinite(state.Speed) ? state.Speed / 36.0 : 1.0;
  state.Location = odd && rng() % 4 == 0
                       ? Pick(rng, kLocations)
                       : (std::isfinite(state.Location) ? state.Location : 100000.0) + move;
  state.BcPressure = Pick(rng, kPressures);
  state.MrPressure = Pick(rng, kPressures);
  state.Current = Pick(rng, kCurrents);
  state.Reserved[0] = static_cast<float>(rng());
}

// One random call other than a frame (action 10 to 19) to both; `word` is the
// notch-like value drawn for it.
void Call(Pair& both, std::mt19937& rng, int action, int32_t word, const ATS_VEHICLESPEC& spec) {
  switch (action) {
    case 10:
      both.SetPower(word);
      break;
    case 11:
      both.SetBrake(word);
      break;
    case 12:
      both.SetReverser(std::uniform_int_distribution<int>(-1, 1)(rng));
      break;
    case 13: {
      const int32_t key = Pick(rng, kKeys);
      if (rng() % 2 == 0) {
        both.KeyDown(key);
      } else {
        both.KeyUp(key);
      }
      break;
    }
    case 14:
      if (rng() % 2 == 0) {
        both.DoorOpen();
      } else {
        both.DoorClose();
      }
      break;
    case 15:
    case 16:
      both.SetBeaconData(ATS_BEACONDATA{Pick(rng, kBeaconTypes), Pick(rng, kBeaconWords),
                                        static_cast<int32_t>(rng()), Pick(rng, kBeaconWords)});
      break;
    case 17:
      both.Initialize(word);
      break;
    case 18:
      both.HornBlow(word);
      both.SetSignal(word);
      break;
    case 19:
      SwitchOnAndDriveOff(both, rng, spec);
      break;
  }
}

// One seed's run: a frame before loading (both return zeros and write
// nothing), then kStepsPerSeed random calls and frames.
void RunSeed(Pair& both, int seed) {
  std::mt19937 rng(static_cast<uint32_t>(seed));
  ATS_VEHICLESTATE state{};
  state.Location = 100000.0;
  both.Frame(state, seed, -1);
  both.Load();
  const ATS_VEHICLESPEC spec{seed == kSeeds ? Pick(rng, kNotchValues) : kNotches,
                             {kIntMin, -1, kIntMax, seed}};
  both.SetVehicleSpec(spec);
  for (int step = 0; step < kStepsPerSeed; ++step) {
    const int action = std::uniform_int_distribution<int>(0, 20)(rng);
    const int32_t word = action < 10 ? 0 : Pick(rng, kNotchValues);
    if (action >= 10 && action <= 19) {
      Call(both, rng, action, word, spec);
      continue;
    }
    Move(rng, state);
    both.Frame(state, seed, step);
    if (::testing::Test::HasFatalFailure()) return;
  }
  both.Dispose();
}

TEST(NativeParity, SeededRandomCallsGiveIdenticalFrames) {
  Pair both;
  ASSERT_NE(both.native.lib.handle, nullptr) << dlerror();
  ASSERT_NE(both.native.SetBeaconData, nullptr);
  for (int seed = 1; seed <= kSeeds; ++seed) {
    RunSeed(both, seed);
    if (::testing::Test::HasFatalFailure()) return;
  }
  EXPECT_GT(both.frames, kSeeds * kStepsPerSeed / 4);
  EXPECT_TRUE(both.dll.emulator().windows().complaints.empty());
}

}  // namespace
}  // namespace atsemu::test
