// The product DLL as a host loads it: LoadLibraryW, then the sixteen entry
// points by their plain export names through GetProcAddress.
#ifndef ATSVORLAN800_TESTS_WIN32_PLUGIN_DLL_H
#define ATSVORLAN800_TESTS_WIN32_PLUGIN_DLL_H

#include <windows.h>

#include <cstdio>
#include <type_traits>

#define ATS_RECORDS_ONLY
#include "plugin/atsplugin.h"

// ATS_DECORATED_NAME_Load and so on, written by the build (tests/win32).
#include "generated/decorated_names.h"

namespace vorlan::win32 {

struct PluginDll {
  HMODULE module = nullptr;
  // A pointer per entry point, typed as the list of them declares it
  // (plugin/entry_points.h).
#define ATS_DLL_SLOT(name, ret, params, args, bytes, decoration) \
  ret(__stdcall* name) params = nullptr;
  ATS_ENTRY_POINTS(ATS_DLL_SLOT)
#undef ATS_DLL_SLOT

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
#define ATS_DLL_RESOLVE(name, ret, params, args, bytes, decoration) resolve(name, #name);
    ATS_ENTRY_POINTS(ATS_DLL_RESOLVE)
#undef ATS_DLL_RESOLVE
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

// How many entry points' decorated export names (as this build's
// module-definition file gives them) do not lead to the same function as their
// plain names, each reported.
inline int DecoratedNamesDiffer(HMODULE dll) {
#define ATS_NAME_PAIR(name, ret, params, args, bytes, decoration) \
  {#name, ATS_DECORATED_NAME_##name},
  constexpr const char* kNames[][2] = {ATS_ENTRY_POINTS(ATS_NAME_PAIR)};
#undef ATS_NAME_PAIR
  int differ = 0;
  for (const auto& n : kNames) {
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
