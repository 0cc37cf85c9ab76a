// Drives the product DLL through two whole host sessions, as the host does:
// load, vehicle, initialise, a hundred frames with driver actions and beacons,
// dispose, twice over. Each load sets up the keyboard watch through the real
// DirectInput, and each frame reads the keyboard; no key is down here.
//
// Usage: dll_load_cycles.exe [DLL]   Exit status 0 when every check held.
#include <windows.h>

#include <cstdio>

#include "tests/win32/plugin_dll.h"

namespace {

constexpr int kNotches = 8;
constexpr int kEmergency = kNotches + 1;
constexpr int kFrames = 100;
constexpr int kFrameMs = 100;
constexpr int kCanary = 0x5A5A5A5A;

int failures = 0;

void Check(bool ok, int cycle, const char* what) {
  if (!ok) {
    std::printf("FAIL: cycle %d: %s\n", cycle, what);
    ++failures;
  }
}

void RunSession(const vorlan::win32::PluginDll& dll, int cycle) {
  static int panel[ATS_PANEL_SIZE];
  static int sound[ATS_SOUND_SIZE];
  for (int& v : panel) v = kCanary;
  for (int& v : sound) v = kCanary;

  dll.Load();
  ATS_VEHICLESPEC spec{};
  spec.BrakeNotches = kNotches;
  dll.SetVehicleSpec(spec);
  dll.Initialize(0);

  ATS_VEHICLESTATE state{};
  state.Time = 1000;
  ATS_HANDLES h = dll.Elapse(state, panel, sound);
  // Switched off at load: the unit holds the emergency brake and cuts power.
  Check(h.Brake == kEmergency && h.Power == 0 && h.ConstantSpeed == 2, cycle,
        "the first frame does not hold the emergency brake");

  // Switch on with the handles secured, release the brake, start off, and
  // pass a few beacons on the way.
  dll.SwitchOnAndStart(kEmergency);
  for (int frame = 0; frame < kFrames; ++frame) {
    state.Time += kFrameMs;
    state.Speed = 0.2f * static_cast<float>(frame);
    state.Location += state.Speed * kFrameMs / 3600.0;
    if (frame % 25 == 10) {
      ATS_BEACONDATA beacon{};
      beacon.Type = 0;
      beacon.Signal = 4;
      dll.SetBeaconData(beacon);
    }
    dll.HornBlow(frame);
    dll.SetSignal(frame);
    h = dll.Elapse(state, panel, sound);
    Check(h.Reverser >= -1 && h.Reverser <= 1, cycle, "a frame returned a reverser out of range");
  }
  dll.Dispose();
  std::printf("cycle %d: %d frames, last handles brake %d power %d reverser %d constant speed %d\n",
              cycle, kFrames + 1, h.Brake, h.Power, h.Reverser, h.ConstantSpeed);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  vorlan::win32::PluginDll dll;
  if (!dll.Open(vorlan::win32::DllPath(argc, argv))) return 1;
  Check(dll.GetPluginVersion() == ATS_VERSION, 0, "GetPluginVersion is not 0x20000");
  RunSession(dll, 1);
  RunSession(dll, 2);
  Check(dll.GetPluginVersion() == ATS_VERSION, 3, "GetPluginVersion after dispose is not 0x20000");
  if (failures != 0) return 1;
  std::printf("ok: two load/dispose cycles\n");
  return 0;
}
