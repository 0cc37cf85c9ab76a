// What the emulator tests share: the product DLL's export table as a host
// relies on it, a cab that drives the emulated DLL, and the native library
// opened as an outside host opens it.
#ifndef ATSVORLAN800_EMU_TESTS_PRODUCT_DLL_H
#define ATSVORLAN800_EMU_TESTS_PRODUCT_DLL_H

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <array>
#include <cstdint>

#include "emu/emulated_plugin.h"

namespace atsemu::test {

// Each entry point: its plain name, its decorated name (the platform
// compiler's name of the __stdcall declaration) and the bytes it removes, from
// the one list of them (plugin/entry_points.h). That list's decorations are
// proven against the compiler's own names by tests/check_dll.sh.
struct EntryPoint {
  const char* plain;
  const char* decorated;
  uint32_t bytes;
};
#define ATS_TEST_ENTRY_POINT(name, ret, params, args, bytes, decoration) \
  {#name, "?ats" #name "@@YG" decoration, bytes},
inline constexpr EntryPoint kEntryPoints[] = {ATS_ENTRY_POINTS(ATS_TEST_ENTRY_POINT)};
#undef ATS_TEST_ENTRY_POINT

inline constexpr int32_t kNotches = 8;
inline constexpr int32_t kEmergency = kNotches + 1;
inline constexpr int32_t kKeySwitchOn = 10;
inline constexpr int32_t kCanary = 0x5A5A5A5A;  // the host's array content before a frame
inline constexpr std::size_t kScanCodeF7 = 0x41;
inline constexpr uint8_t kKeyDown = 0x80;

inline std::array<int32_t, 4> Handles(const ATS_HANDLES& h) {
  return {h.Brake, h.Power, h.Reverser, h.ConstantSpeed};
}

// The emulated DLL in a cab: an 8-notch vehicle, the host's arrays, and
// frames at a steady pace.
struct EmulatedCab {
  EmulatedPlugin dll{ATS_PRODUCT_DLL};
  std::array<int, ATS_PANEL_SIZE> panel;
  std::array<int, ATS_SOUND_SIZE> sound;
  ATS_HANDLES handles{};
  int32_t time = 0;
  double location = 0.0;

  EmulatedCab() {
    panel.fill(kCanary);
    sound.fill(kCanary);
  }
  FakeWindows& windows() { return dll.emulator().windows(); }
  void Start() {
    dll.Load();
    dll.SetVehicleSpec(ATS_VEHICLESPEC{kNotches, {0, 0, 0, 0}});
    dll.Initialize(0);
  }
  void SwitchOnSecured() {
    dll.SetReverser(0);
    dll.SetPower(0);
    dll.SetBrake(kEmergency);
    dll.DoorClose();
    dll.KeyDown(kKeySwitchOn);
    dll.KeyUp(kKeySwitchOn);
  }
  void F7(bool down) { windows().keys[kScanCodeF7] = down ? kKeyDown : 0; }
  // One 100 ms frame at a steady speed.
  ATS_HANDLES Run(float speed) {
    constexpr int32_t kFrameMs = 100;
    time += kFrameMs;
    location += speed * kFrameMs / 3600.0;
    ATS_VEHICLESTATE s{};
    s.Location = location;
    s.Speed = speed;
    s.Time = time;
    s.BcPressure = 0.0f;
    s.MrPressure = 0.0f;
    s.Current = 0.0f;
    handles = dll.Elapse(s, panel.data(), sound.data());
    return handles;
  }
};

// The native library's entry points, through dlopen as a host finds them.
struct NativeLibrary {
  void* handle = dlopen(ATS_NATIVE_LIBRARY, RTLD_NOW | RTLD_LOCAL);
  template <typename F>
  F Get(const char* name) {
    return reinterpret_cast<F>(dlsym(handle, name));
  }
  ~NativeLibrary() {
    if (handle != nullptr) dlclose(handle);
  }
};

}  // namespace atsemu::test

#endif  // ATSVORLAN800_EMU_TESTS_PRODUCT_DLL_H
