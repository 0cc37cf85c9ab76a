// Test helpers: the real plug-in library opened through the host's loader,
// and a sink that keeps every frame of a run.
#ifndef ATSHOST_TESTS_HOST_FIXTURE_H
#define ATSHOST_TESTS_HOST_FIXTURE_H

#include <memory>
#include <string>
#include <vector>

#include "host/io/plugin_library.h"
#include "host/sim/session.h"

namespace atshost::test {

inline std::unique_ptr<PluginLibrary> OpenPlugin() { return PluginLibrary::Open(ATS_TEST_PLUGIN); }

struct Recorder : FrameSink {
  std::vector<FrameRecord> frames;
  void OnFrame(const FrameRecord& frame) override { frames.push_back(frame); }
};

}  // namespace atshost::test

#endif  // ATSHOST_TESTS_HOST_FIXTURE_H
