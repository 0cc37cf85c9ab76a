// The native library as an outside host loads it: every entry point resolves
// under both names to one function, and a short drive through the plain names
// leaves the panel and sound arrays as the host must see them. The library has
// its own module state, apart from the copy linked into the other tests.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <array>
#include <string>

#include "plugin/atsplugin.h"
#include "plugin/module.h"

namespace vorlan::test {
namespace {

#define ATS_ENTRY_NAME(name, ret, params, args, bytes, decoration) #name,
constexpr const char* kEntryPoints[] = {ATS_ENTRY_POINTS(ATS_ENTRY_NAME)};
#undef ATS_ENTRY_NAME

constexpr int32_t kCanary = 0x5A5A5A5A;
constexpr int32_t kNotches = 8;
constexpr int32_t kEmergency = kNotches + 1;

class NativeLibrary : public ::testing::Test {
 protected:
  void SetUp() override {
    handle_ = dlopen(ATS_NATIVE_LIBRARY, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(handle_, nullptr) << dlerror();
  }
  void TearDown() override {
    if (handle_ != nullptr) dlclose(handle_);
  }
  template <typename F>
  F Plain(const char* name) {
    return reinterpret_cast<F>(dlsym(handle_, name));
  }
  void* handle_ = nullptr;
};

TEST_F(NativeLibrary, BothNamesOfEveryEntryPointAreOneFunction) {
  for (const char* name : kEntryPoints) {
    void* plain = dlsym(handle_, name);
    void* prefixed = dlsym(handle_, (std::string("ats") + name).c_str());
    EXPECT_NE(plain, nullptr) << name;
    EXPECT_EQ(plain, prefixed) << name;
  }
}

using Panel = std::array<int, ATS_PANEL_SIZE>;
using Sound = std::array<int, ATS_SOUND_SIZE>;

// Just loaded: switched off, the emergency brake held, every sound stopped.
void ExpectJustLoaded(const ATS_HANDLES& h, const Panel& panel, const Sound& sound) {
  EXPECT_EQ(h.Brake, kEmergency);
  EXPECT_EQ(h.Power, 0);
  EXPECT_EQ(h.ConstantSpeed, 2);
  EXPECT_EQ(panel[0], 0);
  EXPECT_EQ(panel[1], 1);
  EXPECT_EQ(panel[101], 1);
  EXPECT_EQ(panel[3], 1);
  EXPECT_EQ(panel[255], 1);
  for (int i = 102; i <= 107; ++i) EXPECT_EQ(panel[i], 0) << i;
  EXPECT_EQ(panel[4], kCanary);
  EXPECT_EQ(panel[220], 1);  // doors open at construction
  for (int i : {0, 7, 8, 9, 100}) EXPECT_EQ(sound[i], ATS_SOUND_STOP) << i;
  for (int i : {2, 3, 4}) EXPECT_EQ(sound[i], ATS_SOUND_CONTINUE) << i;
  EXPECT_EQ(sound[1], kCanary);
}

// Switched on with the handles secured and the doors closed.
void ExpectSwitchedOn(const Panel& panel, const Sound& sound) {
  EXPECT_EQ(panel[0], 1);
  EXPECT_EQ(panel[1], 0);
  EXPECT_EQ(panel[101], 0);
  EXPECT_EQ(panel[210], 1);
  EXPECT_EQ(panel[220], 0);
  EXPECT_EQ(panel[200], 1);  // the door close counted
  EXPECT_EQ(panel[216], 1);
  EXPECT_EQ(panel[217], 2);
  EXPECT_EQ(sound[0], ATS_SOUND_PLAY);
  EXPECT_EQ(sound[100], ATS_SOUND_PLAY);
}

// Rolling back against the reverser trips in the frame itself.
void ExpectRollBackTrip(const ATS_HANDLES& h, const Panel& panel, const Sound& sound) {
  EXPECT_EQ(h.Brake, kEmergency);
  EXPECT_EQ(panel[2], 1);
  EXPECT_EQ(panel[5], 1);
  EXPECT_EQ(panel[7], 1);
  EXPECT_EQ(panel[218], 1);
  EXPECT_EQ(sound[8], ATS_SOUND_PLAY);
  EXPECT_EQ(sound[9], ATS_SOUND_PLAYLOOPING);
  EXPECT_EQ(sound[5], kCanary);
}

TEST_F(NativeLibrary, DriveThroughThePlainNames) {
  auto Load = Plain<void (*)()>("Load");
  auto Dispose = Plain<void (*)()>("Dispose");
  auto GetPluginVersion = Plain<int (*)()>("GetPluginVersion");
  auto SetVehicleSpec = Plain<void (*)(ATS_VEHICLESPEC)>("SetVehicleSpec");
  auto Initialize = Plain<void (*)(int)>("Initialize");
  auto Elapse = Plain<ATS_HANDLES (*)(ATS_VEHICLESTATE, int*, int*)>("Elapse");
  auto SetPower = Plain<void (*)(int)>("SetPower");
  auto SetBrake = Plain<void (*)(int)>("SetBrake");
  auto SetReverser = Plain<void (*)(int)>("SetReverser");
  auto KeyDown = Plain<void (*)(int)>("KeyDown");
  auto DoorClose = Plain<void (*)()>("DoorClose");
  auto SetBeaconData = Plain<void (*)(ATS_BEACONDATA)>("SetBeaconData");

  Panel panel;
  Sound sound;
  ATS_VEHICLESTATE state{};
  auto frame = [&](int32_t time, double location, float speed) {
    panel.fill(kCanary);
    sound.fill(kCanary);
    state.Time = time;
    state.Location = location;
    state.Speed = speed;
    return Elapse(state, panel.data(), sound.data());
  };

  EXPECT_EQ(GetPluginVersion(), 0x20000);
  Load();
  EXPECT_EQ(LoadedUnit(), nullptr);  // the linked-in copy is untouched
  ATS_VEHICLESPEC spec{};
  spec.BrakeNotches = kNotches;
  SetVehicleSpec(spec);
  Initialize(0);

  ExpectJustLoaded(frame(1000, 0.0, 0.0f), panel, sound);

  // Switched on with the handles secured and the doors closed.
  SetReverser(0);
  SetPower(0);
  SetBrake(kEmergency);
  DoorClose();
  KeyDown(10);
  frame(2000, 0.0, 0.0f);
  ExpectSwitchedOn(panel, sound);

  // The frame after the door change is blanked; the steps are not.
  frame(2100, 0.0, 0.0f);
  EXPECT_EQ(panel[201], 1);
  EXPECT_EQ(panel[200], 0);
  EXPECT_EQ(panel[210], 0);
  EXPECT_EQ(panel[216], 1);

  ATS_BEACONDATA counter{};
  counter.Type = 200;
  counter.Optional = 19;
  SetBeaconData(counter);  // stamped 2100
  frame(2599, 0.0, 0.0f);
  EXPECT_EQ(panel[201], 1);
  EXPECT_EQ(panel[216], 0);
  frame(2600, 0.0, 0.0f);
  EXPECT_EQ(panel[201], 0);
  EXPECT_EQ(panel[200], 19);
  EXPECT_EQ(panel[210], 1);

  // Rolling back against the reverser trips in the frame itself.
  SetReverser(1);
  SetBrake(0);
  ExpectRollBackTrip(frame(2700, -6.0 * 100 / 3600, -6.0f), panel, sound);

  Dispose();
}

}  // namespace
}  // namespace vorlan::test
