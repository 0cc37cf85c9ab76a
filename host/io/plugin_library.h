// A plug-in library opened the way a simulator opens it: by path, with each of
// the sixteen entry points looked up under its plain export name. Nothing of
// the plug-in is linked in, so any library with this interface can be driven.
#ifndef ATSHOST_IO_PLUGIN_LIBRARY_H
#define ATSHOST_IO_PLUGIN_LIBRARY_H

#include <memory>
#include <stdexcept>
#include <string>

#include "host/sim/plugin_api.h"

namespace atshost {

// The library could not be opened, or lacks entry points; the message names
// the library and what is missing.
class PluginLoadError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A call into the plug-in failed so that the plug-in cannot be called again
// (under emulation: a CPU fault, a runaway call, a wrong stack). It names the
// entry point; later calls do nothing.
class PluginFault : public std::runtime_error {
 public:
  PluginFault(std::string entry, const std::string& why);
  const std::string& entry() const { return entry_; }

 private:
  std::string entry_;
};

class PluginLibrary {
 public:
  // Opens the library, resolves all sixteen names and checks the plug-in
  // interface version it answers after Load (then disposes of it), or throws
  // PluginLoadError. A library that lacks any name or answers another version
  // is closed again at once.
  static std::unique_ptr<PluginLibrary> Open(const std::string& path);

  // The library next to this program: ATSVorlan800.so, or ATSVorlan800.dll on
  // Windows.
  static std::string DefaultPath();

  ~PluginLibrary();
  PluginLibrary(const PluginLibrary&) = delete;
  PluginLibrary& operator=(const PluginLibrary&) = delete;

  const PluginApi& api() const { return api_; }
  const std::string& path() const { return path_; }

 private:
  PluginLibrary(void* handle, std::string path, const PluginApi& api)
      : handle_(handle), path_(std::move(path)), api_(api) {}

  void* handle_;
  std::string path_;
  PluginApi api_;
};

}  // namespace atshost

#endif  // ATSHOST_IO_PLUGIN_LIBRARY_H
