// The product DLL as a host loads it: LoadLibraryW, then the sixteen entry
// points by their plain export names through GetProcAddress.
#ifndef ATSVORLAN800_TESTS_WIN32_PLUGIN_DLL_H
#define ATSVORLAN800_TESTS_WIN32_PLUGIN_DLL_H

#include <windows.h>

#include <cstddef>
#include <cstdio>
#include <type_traits>

#define ATS_RECORDS_ONLY
#include "plugin/atsplugin.h"

namespace vorlan::win32 {

struct PluginDll {
  HMODULE module = nullptr;
  void(__stdcall* Load)() = nullptr;
  void(__stdcall* Dispose)() = nullptr;
  int(__stdcall* GetPluginVersion)() = nullptr;
  void(__stdcall* SetVehicleSpec)(ATS_VEHICLESPEC) = nullptr;
  void(__stdcall* Initialize)(int) = nullptr;
  ATS_HANDLES(__stdcall* Elapse)(ATS_VEHICLESTATE, int*, int*) = nullptr;
  void(__stdcall* SetPower)(int) = nullptr;
  void(__stdcall* SetBrake)(int) = nullptr;
  void(__stdcall* SetReverser)(int) = nullptr;
  void(__stdcall* KeyDown)(int) = nullptr;
  void(__stdcall* KeyUp)(int) = nullptr;
  void(__stdcall* HornBlow)(int) = nullptr;
  void(__stdcall* DoorOpen)() = nullptr;
  void(__stdcall* DoorClose)() = nullptr;
  void(__stdcall* SetSignal)(int) = nullptr;
  void(__stdcall* SetBeaconData)(ATS_BEACONDATA) = nullptr;

  // Loads the DLL and resolves every plain name; false (with a message) if
  // the DLL or any name is missing.
  bool Open(const wchar_t* path) {
    module = LoadLibraryW(path);
    if (module == nullptr) {
      std::printf("FAIL: LoadLibraryW(%ls): error %lu\n", path, GetLastError());
      return false;
    }
    bool ok = true;
    auto resolve = [&](auto& fn, const char* name) {
      FARPROC address = GetProcAddress(module, name);
      if (address == nullptr) {
        std::printf("FAIL: no export named %s\n", name);
        ok = false;
      }
      fn =
          reinterpret_cast<std::remove_reference_t<decltype(fn)>>(reinterpret_cast<void*>(address));
    };
    resolve(Load, "Load");
    resolve(Dispose, "Dispose");
    resolve(GetPluginVersion, "GetPluginVersion");
    resolve(SetVehicleSpec, "SetVehicleSpec");
    resolve(Initialize, "Initialize");
    resolve(Elapse, "Elapse");
    resolve(SetPower, "SetPower");
    resolve(SetBrake, "SetBrake");
    resolve(SetReverser, "SetReverser");
    resolve(KeyDown, "KeyDown");
    resolve(KeyUp, "KeyUp");
    resolve(HornBlow, "HornBlow");
    resolve(DoorOpen, "DoorOpen");
    resolve(DoorClose, "DoorClose");
    resolve(SetSignal, "SetSignal");
    resolve(SetBeaconData, "SetBeaconData");
    return ok;
  }

  // As a driver starts off: the unit switched on (key 10) with the handles
  // secured and the doors closed, then the brake released and power notch 1
  // taken forward.
  void SwitchOnAndStart(int emergency) const {
    constexpr int kKeySwitchOn = 10;
    SetReverser(0);
    SetPower(0);
    SetBrake(emergency);
    DoorClose();
    KeyDown(kKeySwitchOn);
    KeyUp(kKeySwitchOn);
    SetBrake(0);
    SetReverser(1);
    SetPower(1);
  }
};

// How many of the {plain, decorated} export name pairs do not lead to one
// and the same function, each reported.
template <std::size_t N>
int DecoratedNamesDiffer(HMODULE dll, const char* const (&names)[N][2]) {
  int differ = 0;
  for (const auto& n : names) {
    FARPROC plain = GetProcAddress(dll, n[0]);
    FARPROC decorated = GetProcAddress(dll, n[1]);
    if (plain == nullptr || plain != decorated) {
      std::printf("FAIL: %s and %s lead to different addresses\n", n[0], n[1]);
      ++differ;
    }
  }
  return differ;
}

// The DLL named on the command line, or the product DLL by its own name.
inline const wchar_t* DllPath(int argc, wchar_t** argv) {
  return argc > 1 ? argv[1] : L"ATSVorlan800.dll";
}

}  // namespace vorlan::win32

#endif  // ATSVORLAN800_TESTS_WIN32_PLUGIN_DLL_H
