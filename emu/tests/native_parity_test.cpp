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

struct Native {
  NativeLibrary lib;
  void (*Load)() = lib.Get<void (*)()>("Load");
  void (*Dispose)() = lib.Get<void (*)()>("Dispose");
  void (*SetVehicleSpec)(ATS_VEHICLESPEC) = lib.Get<void (*)(ATS_VEHICLESPEC)>("SetVehicleSpec");
  void (*Initialize)(int) = lib.Get<void (*)(int)>("Initialize");
  ATS_HANDLES(*Elapse)
  (ATS_VEHICLESTATE, int*, int*) = lib.Get<ATS_HANDLES (*)(ATS_VEHICLESTATE, int*, int*)>("Elapse");
  void (*SetPower)(int) = lib.Get<void (*)(int)>("SetPower");
  void (*SetBrake)(int) = lib.Get<void (*)(int)>("SetBrake");
  void (*SetReverser)(int) = lib.Get<void (*)(int)>("SetReverser");
  void (*KeyDown)(int) = lib.Get<void (*)(int)>("KeyDown");
  void (*KeyUp)(int) = lib.Get<void (*)(int)>("KeyUp");
  void (*HornBlow)(int) = lib.Get<void (*)(int)>("HornBlow");
  void (*DoorOpen)() = lib.Get<void (*)()>("DoorOpen");
  void (*DoorClose)() = lib.Get<void (*)()>("DoorClose");
  void (*SetSignal)(int) = lib.Get<void (*)(int)>("SetSignal");
  void (*SetBeaconData)(ATS_BEACONDATA) = lib.Get<void (*)(ATS_BEACONDATA)>("SetBeaconData");
};

TEST(NativeParity, SeededRandomCallsGiveIdenticalFrames) {
  Native native;
  ASSERT_NE(native.lib.handle, nullptr) << dlerror();
  ASSERT_NE(native.SetBeaconData, nullptr);
  EmulatedPlugin dll(ATS_PRODUCT_DLL);
  std::array<int, ATS_PANEL_SIZE> nativePanel, dllPanel;
  std::array<int, ATS_SOUND_SIZE> nativeSound, dllSound;
  nativePanel.fill(kCanary);
  dllPanel.fill(kCanary);
  nativeSound.fill(kCanary);
  dllSound.fill(kCanary);
  int frames = 0;

  for (int seed = 1; seed <= kSeeds; ++seed) {
    std::mt19937 rng(static_cast<uint32_t>(seed));
    ATS_VEHICLESTATE state{};
    state.Location = 100000.0;
    auto frame = [&](int step) {
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
    };
    frame(-1);  // not loaded: both return zeros and write nothing
    native.Load();
    dll.Load();
    const ATS_VEHICLESPEC spec{seed == kSeeds ? Pick(rng, kNotchValues) : kNotches,
                               {kIntMin, -1, kIntMax, seed}};
    native.SetVehicleSpec(spec);
    dll.SetVehicleSpec(spec);
    for (int step = 0; step < kStepsPerSeed; ++step) {
      const int action = std::uniform_int_distribution<int>(0, 20)(rng);
      const int32_t word = action < 10 ? 0 : Pick(rng, kNotchValues);
      switch (action) {
        case 10:
          native.SetPower(word);
          dll.SetPower(word);
          break;
        case 11:
          native.SetBrake(word);
          dll.SetBrake(word);
          break;
        case 12: {
          const int32_t rev = std::uniform_int_distribution<int>(-1, 1)(rng);
          native.SetReverser(rev);
          dll.SetReverser(rev);
          break;
        }
        case 13: {
          const int32_t key = Pick(rng, kKeys);
          if (rng() % 2 == 0) {
            native.KeyDown(key);
            dll.KeyDown(key);
          } else {
            native.KeyUp(key);
            dll.KeyUp(key);
          }
          break;
        }
        case 14:
          if (rng() % 2 == 0) {
            native.DoorOpen();
            dll.DoorOpen();
          } else {
            native.DoorClose();
            dll.DoorClose();
          }
          break;
        case 15:
        case 16: {
          const ATS_BEACONDATA b{Pick(rng, kBeaconTypes), Pick(rng, kBeaconWords),
                                 static_cast<int32_t>(rng()), Pick(rng, kBeaconWords)};
          native.SetBeaconData(b);
          dll.SetBeaconData(b);
          break;
        }
        case 17:
          native.Initialize(word);
          dll.Initialize(word);
          break;
        case 18:
          native.HornBlow(word);
          dll.HornBlow(word);
          native.SetSignal(word);
          dll.SetSignal(word);
          break;
        case 19: {
          // A driver who secures the handles, switches on (or resets a trip)
          // and drives off: most of the rules act only on a running unit.
          const int32_t key = rng() % 2 == 0 ? 10 : 3;
          const int32_t notch = std::uniform_int_distribution<int>(1, 5)(rng);
          native.SetReverser(0);
          dll.SetReverser(0);
          native.SetPower(0);
          dll.SetPower(0);
          const int32_t emergency =
              static_cast<int32_t>(static_cast<uint32_t>(spec.BrakeNotches) + 1u);
          native.SetBrake(emergency);
          dll.SetBrake(emergency);
          native.DoorClose();
          dll.DoorClose();
          native.KeyDown(key);
          dll.KeyDown(key);
          native.KeyUp(key);
          dll.KeyUp(key);
          native.SetReverser(1);
          dll.SetReverser(1);
          native.SetBrake(0);
          dll.SetBrake(0);
          native.SetPower(notch);
          dll.SetPower(notch);
          break;
        }
        default: {
          // A frame: mostly plausible motion, sometimes an edge case.
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
          frame(step);
          if (::testing::Test::HasFatalFailure()) return;
        }
      }
    }
    native.Dispose();
    dll.Dispose();
  }
  EXPECT_GT(frames, kSeeds * kStepsPerSeed / 4);
  EXPECT_TRUE(dll.emulator().windows().complaints.empty());
}

}  // namespace
}  // namespace atsemu::test
