#include "host/io/plugin_library.h"

#include <cstdio>
#include <filesystem>
#include <system_error>
#include <type_traits>
#include <vector>

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

#include "host/io/library_file.h"

#if defined(ATS_HOST_EMULATED_DLL)
#include <cstdlib>

#include "emu/emulated_plugin.h"
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

#if defined(ATS_HOST_EMULATED_DLL)
// A 32-bit Windows DLL (a file starting with "MZ") on a machine that cannot
// run it: its own code runs on an emulated x86-32 CPU, and the sixteen entry
// points below marshal each call into the emulated stack as the 32-bit
// __stdcall convention lays it out. One such DLL per process.
namespace emulated {

std::unique_ptr<atsemu::EmulatedPlugin> g_dll;
// A plug-in that faulted or left the stack wrong cannot be called again: the
// call throws PluginFault, and every later one does nothing (the host still
// disposes it while unwinding).
bool g_failed = false;

// Runs one call of the entry point `entry`. When the DLL ends its process
// (exit), this process ends with the same status, as the simulator's would.
template <typename Call>
auto Guarded(const char* entry, Call call) -> decltype(call()) {
  if (g_failed) return decltype(call())();
  try {
    if constexpr (std::is_void_v<decltype(call())>) {
      call();
      if (g_dll->processEnded()) std::exit(g_dll->exitStatus());
    } else {
      auto result = call();
      if (g_dll->processEnded()) std::exit(g_dll->exitStatus());
      return result;
    }
  } catch (const std::exception& e) {
    g_failed = true;
    throw PluginFault(entry, e.what());
  }
}

// Each entry point passes its call on to the emulated DLL, guarded.
#define ATS_GUARDED(name, ret, params, args, bytes, decoration) \
  ret name params {                                             \
    return Guarded(#name, [&] { return g_dll->name args; });    \
  }
ATS_ENTRY_POINTS(ATS_GUARDED)
#undef ATS_GUARDED

#define ATS_SLOT(name, ret, params, args, bytes, decoration) name,
const PluginApi kApi = {ATS_ENTRY_POINTS(ATS_SLOT)};
#undef ATS_SLOT

}  // namespace emulated
#endif

// A simulator takes a plug-in in by loading it and asking which version of
// the plug-in interface it implements; one that answers anything but the
// version whose records and calls this host uses is disposed of and refused,
// since its records may not be laid out as the host's are. The run itself
// loads the plug-in again, so this first load is always disposed of.
std::string VersionText(int version) {
  char text[40];
  std::snprintf(text, sizeof text, "0x%X (%d)", static_cast<unsigned>(version), version);
  return text;
}

void CheckInterfaceVersion(const PluginApi& api, const std::string& path) {
  api.Load();
  const int version = api.GetPluginVersion();
  api.Dispose();
  if (version != ATS_VERSION) {
    throw PluginLoadError("plug-in library '" + path + "' implements plug-in interface version " +
                          VersionText(version) + "; atshost needs " + VersionText(ATS_VERSION));
  }
}

}  // namespace

PluginFault::PluginFault(std::string entry, const std::string& why)
    : std::runtime_error(why), entry_(std::move(entry)) {}

std::unique_ptr<PluginLibrary> PluginLibrary::Open(const std::string& path) {
  std::error_code ec;
  const fs::file_status status = fs::status(fs::path(path), ec);
  const std::string named = "plug-in library '" + path + "'";
  if (!fs::exists(status)) throw PluginLoadError(named + " does not exist");
  if (fs::is_directory(status)) throw PluginLoadError(named + " is a folder, not a library");
  if (!fs::is_regular_file(status)) throw PluginLoadError(named + " is not a regular file");
  const LibraryCheck check = CheckLibraryFile(path);
  if (!check.problem.empty()) {
    throw PluginLoadError(named + " is not a valid library: " + check.problem);
  }
  const char* unsupported = nullptr;
#if defined(_WIN32)
  constexpr LibraryKind kOwnKind =
      sizeof(void*) == 8 ? LibraryKind::kWindowsDll64 : LibraryKind::kWindowsDll32;
  if (check.kind == LibraryKind::kNative) {
    unsupported = "an ELF shared library, which Windows cannot load";
  } else if (check.kind != kOwnKind) {
    unsupported = sizeof(void*) == 8 ? "a 32-bit DLL; a 64-bit atshost loads 64-bit DLLs only"
                                     : "a 64-bit DLL; a 32-bit atshost loads 32-bit DLLs only";
  }
#elif defined(ATS_HOST_EMULATED_DLL)
  if (check.kind == LibraryKind::kWindowsDll64) {
    unsupported = "a 64-bit Windows DLL; only 32-bit ones run under emulation here";
  }
#else
  if (check.kind != LibraryKind::kNative) {
    unsupported = "a Windows DLL, and this atshost was built without the emulator";
  }
#endif
  if (unsupported != nullptr) throw PluginLoadError(named + " is " + unsupported);
  // An explicit path, so that the loader never searches its own directories
  // for a bare file name.
  const fs::path absolute = fs::absolute(fs::path(path), ec);
#if defined(ATS_HOST_EMULATED_DLL)
  if (check.kind == LibraryKind::kWindowsDll32) {
    if (emulated::g_dll != nullptr) {
      throw PluginLoadError("plug-in library '" + path +
                            "': only one Windows DLL at a time can run under emulation");
    }
    try {
      emulated::g_dll = std::make_unique<atsemu::EmulatedPlugin>(path);
      emulated::g_failed = false;
    } catch (const atsemu::EmuError& e) {
      throw PluginLoadError("plug-in library '" + path +
                            "' could not be loaded under emulation: " + e.what());
    }
    std::unique_ptr<PluginLibrary> library(
        new PluginLibrary(emulated::g_dll.get(), path, emulated::kApi));
    CheckInterfaceVersion(library->api(), path);
    return library;
  }
#endif
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
#define ATS_RESOLVE(name, ret, params, args, bytes, decoration) resolve(api.name, #name);
  ATS_ENTRY_POINTS(ATS_RESOLVE)
#undef ATS_RESOLVE

  if (!missing.empty()) {
    CloseLibrary(handle);
    std::string list;
    for (const std::string& name : missing) list += (list.empty() ? "" : ", ") + name;
    throw PluginLoadError("plug-in library '" + path + "' lacks " + std::to_string(missing.size()) +
                          " of the " + std::to_string(ATS_ENTRY_POINT_COUNT) +
                          " entry points: " + list);
  }
  std::unique_ptr<PluginLibrary> library(new PluginLibrary(handle, path, api));
  CheckInterfaceVersion(library->api(), path);
  return library;
}

std::string PluginLibrary::DefaultPath() {
  fs::path program = ProgramPath();
  fs::path dir = program.empty() ? fs::path(".") : program.parent_path();
  return (dir / kDefaultLibrary).string();
}

PluginLibrary::~PluginLibrary() {
#if defined(ATS_HOST_EMULATED_DLL)
  if (handle_ == emulated::g_dll.get()) {
    emulated::g_dll.reset();  // runs the DLL's detach, as unloading it does
    return;
  }
#endif
  CloseLibrary(handle_);
}

}  // namespace atshost
