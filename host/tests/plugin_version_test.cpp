// The host takes a plug-in in as a simulator does: it loads it, asks its
// plug-in interface version and refuses any but 0x20000, after disposing of it.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <string>

#include "host/io/plugin_library.h"

namespace atshost {
namespace {

TEST(PluginLibrary, RefusesAnotherInterfaceVersionAfterDisposingOfIt) {
  // Held open here as well, so that its counters outlive the host's close.
  void* held = dlopen(ATS_TEST_OTHER_VERSION_PLUGIN, RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(held, nullptr) << dlerror();
  auto counter = [&](const char* name) {
    auto fn = reinterpret_cast<int (*)()>(dlsym(held, name));
    return fn != nullptr ? fn() : -1;
  };
  try {
    PluginLibrary::Open(ATS_TEST_OTHER_VERSION_PLUGIN);
    ADD_FAILURE() << "a plug-in of interface version 0x10000 was accepted";
  } catch (const PluginLoadError& e) {
    EXPECT_NE(std::string(e.what()).find("interface version 0x10000 (65536); atshost needs "
                                         "0x20000 (131072)"),
              std::string::npos)
        << e.what();
  }
  EXPECT_EQ(counter("VersionAskedWhileLoaded"), 1);
  EXPECT_EQ(counter("LoadBalance"), 0) << "loaded and not disposed of";
  dlclose(held);
}

}  // namespace
}  // namespace atshost
