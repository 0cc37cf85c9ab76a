#include "host/plugin_library.h"

#include <filesystem>
#include <system_error>
#include <type_traits>
#include <vector>

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace atshost {
namespace {

namespace fs = std::filesystem;

// The generic function pointer type: any function pointer converts to it and
// back without loss, and the compiler does not warn about such casts.
using AnyFn = void (*)();

#if defined(_WIN32)
constexpr const char* kDefaultLibrary = "ATSVorlan800.dll";

void* OpenLibrary(const fs::path& path, std::string& error) {
  HMODULE module = LoadLibraryW(path.c_str());
  if (module == nullptr) error = "Windows error " + std::to_string(GetLastError());
  return reinterpret_cast<void*>(module);
}
AnyFn Lookup(void* handle, const char* name) {
  return reinterpret_cast<AnyFn>(GetProcAddress(static_cast<HMODULE>(handle), name));
}
void CloseLibrary(void* handle) { FreeLibrary(static_cast<HMODULE>(handle)); }
fs::path ProgramPath() {
  std::wstring buffer(MAX_PATH, L'\0');
  for (;;) {
    DWORD n = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (n == 0) return {};
    if (n < buffer.size()) return fs::path(buffer.substr(0, n));
    buffer.resize(buffer.size() * 2);
  }
}
#else
constexpr const char* kDefaultLibrary = "ATSVorlan800.so";

void* OpenLibrary(const fs::path& path, std::string& error) {
  void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) {
    const char* text = dlerror();
    error = text != nullptr ? text : "unknown error";
  }
  return handle;
}
AnyFn Lookup(void* handle, const char* name) {
  return reinterpret_cast<AnyFn>(dlsym(handle, name));
}
void CloseLibrary(void* handle) { dlclose(handle); }
fs::path ProgramPath() {
  std::error_code ec;
  fs::path self = fs::read_symlink("/proc/self/exe", ec);
  return ec ? fs::path() : self;
}
#endif

}  // namespace

std::unique_ptr<PluginLibrary> PluginLibrary::Open(const std::string& path) {
  std::error_code ec;
  if (!fs::is_regular_file(fs::path(path), ec)) {
    throw PluginLoadError("plug-in library '" + path + "' does not exist");
  }
  // An explicit path, so that the loader never searches its own directories
  // for a bare file name.
  const fs::path absolute = fs::absolute(fs::path(path), ec);
  std::string error;
  void* handle = OpenLibrary(ec ? fs::path(path) : absolute, error);
  if (handle == nullptr) {
    throw PluginLoadError("plug-in library '" + path + "' could not be loaded: " + error);
  }

  PluginApi api{};
  std::vector<std::string> missing;
  auto resolve = [&](auto& slot, const char* name) {
    AnyFn fn = Lookup(handle, name);
    if (fn == nullptr) missing.emplace_back(name);
    slot = reinterpret_cast<std::remove_reference_t<decltype(slot)>>(fn);
  };
  resolve(api.Load, "Load");
  resolve(api.Dispose, "Dispose");
  resolve(api.GetPluginVersion, "GetPluginVersion");
  resolve(api.SetVehicleSpec, "SetVehicleSpec");
  resolve(api.Initialize, "Initialize");
  resolve(api.Elapse, "Elapse");
  resolve(api.SetPower, "SetPower");
  resolve(api.SetBrake, "SetBrake");
  resolve(api.SetReverser, "SetReverser");
  resolve(api.KeyDown, "KeyDown");
  resolve(api.KeyUp, "KeyUp");
  resolve(api.HornBlow, "HornBlow");
  resolve(api.DoorOpen, "DoorOpen");
  resolve(api.DoorClose, "DoorClose");
  resolve(api.SetSignal, "SetSignal");
  resolve(api.SetBeaconData, "SetBeaconData");

  if (!missing.empty()) {
    CloseLibrary(handle);
    std::string list;
    for (const std::string& name : missing) list += (list.empty() ? "" : ", ") + name;
    throw PluginLoadError("plug-in library '" + path + "' lacks " + std::to_string(missing.size()) +
                          " of the 16 entry points: " + list);
  }
  return std::unique_ptr<PluginLibrary>(new PluginLibrary(handle, path, api));
}

std::string PluginLibrary::DefaultPath() {
  fs::path program = ProgramPath();
  fs::path dir = program.empty() ? fs::path(".") : program.parent_path();
  return (dir / kDefaultLibrary).string();
}

PluginLibrary::~PluginLibrary() { CloseLibrary(handle_); }

}  // namespace atshost
