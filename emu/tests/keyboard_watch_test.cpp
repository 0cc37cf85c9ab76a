// The keyboard watch in the DLL's own code, through DirectInput 8 and the
// message box as Windows provides them: the objects it creates and releases
// across load cycles, the warning box on the first F7, the end of the process
// on the next, and a module that keeps running when DirectInput fails.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "emu/tests/product_dll.h"

namespace atsemu::test {
namespace {

using Calls = std::vector<std::string>;

const Calls kStartCalls = {"DirectInput8Create", "IDirectInput8W::CreateDevice",
                           "IDirectInputDevice8W::SetDataFormat", "IDirectInputDevice8W::Acquire"};
const Calls kStopCalls = {"IDirectInputDevice8W::Unacquire", "IDirectInputDevice8W::Release",
                          "IDirectInput8W::Release"};

// The warning box, code unit for code unit.
const std::u16string kCaption =
    u"\u0048\u0061\u006C\u0076\u0061\u0072\u0065\u006E\u0020"
    u"\u0053\u006F\u0072\u0063\u0065\u0072\u0065\u0073\u0073";  // Halvaren Sorceress
const std::u16string kText =
    u"\u3042\u3044\u305F\u3063\uFF01\u000A"
    u"\u3046\u304E\u3085\u304E\u3085\u304E\u3085\u304E\u3085\u002E\u002E\u002E\u000A"
    u"\u6B21\u3084\u3063\u305F\u3089\u9B54\u6CD5\u3067\u6B62\u3081\u3061\u3083\u3044"
    u"\u307E\u3059\u304B\u3089\u306D\uFF01";
constexpr uint32_t kMbOk = 0;

constexpr int kFramesPerCycle = 300;
constexpr float kCruise = 40.0f;

TEST(KeyboardWatch, TwoLoadCyclesReleaseEverythingTheyCreate) {
  EmulatedCab cab;
  const HeapStats before = cab.dll.emulator().heap();
  Calls expected;
  for (int cycle = 1; cycle <= 2; ++cycle) {
    cab.Start();
    expected.insert(expected.end(), kStartCalls.begin(), kStartCalls.end());
    EXPECT_EQ(cab.windows().directInputCalls, expected) << "cycle " << cycle;
    cab.SwitchOnSecured();
    cab.dll.SetReverser(1);
    cab.dll.SetBrake(0);
    cab.dll.SetPower(2);
    for (int i = 0; i < kFramesPerCycle; ++i) cab.Run(kCruise);
    EXPECT_EQ(cab.handles.Power, 2);
    cab.dll.Dispose();
    expected.insert(expected.end(), kStopCalls.begin(), kStopCalls.end());
    EXPECT_EQ(cab.windows().directInputCalls, expected) << "cycle " << cycle;
    EXPECT_EQ(cab.windows().comObjectsCreated, 2 * cycle);
    EXPECT_EQ(cab.windows().comObjectsLive, 0);
    EXPECT_EQ(cab.windows().stateReads, kFramesPerCycle * cycle);  // one read per frame
    // Everything a load took from the heap is given back by its dispose.
    EXPECT_EQ(cab.dll.emulator().heap().liveBlocks, before.liveBlocks) << "cycle " << cycle;
    EXPECT_EQ(cab.dll.emulator().heap().liveBytes, before.liveBytes) << "cycle " << cycle;
  }
  EXPECT_TRUE(cab.windows().messageBoxes.empty());
  EXPECT_TRUE(cab.windows().complaints.empty());
}

TEST(KeyboardWatch, FirstF7ShowsTheBoxOnceAndTheFrameGoesOnUnchanged) {
  EmulatedCab warned;
  EmulatedCab plain;
  for (EmulatedCab* c : {&warned, &plain}) {
    c->Start();
    c->SwitchOnSecured();
    c->dll.SetReverser(1);
    c->dll.SetBrake(0);
    c->dll.SetPower(3);
  }
  for (int i = 0; i < 40; ++i) {
    warned.F7(i == 20);
    const ATS_HANDLES w = warned.Run(kCruise);
    const ATS_HANDLES p = plain.Run(kCruise);
    ASSERT_EQ(Handles(w), Handles(p)) << "frame " << i;
    ASSERT_EQ(warned.panel, plain.panel) << "frame " << i;
    ASSERT_EQ(warned.sound, plain.sound) << "frame " << i;
    ASSERT_EQ(warned.windows().messageBoxes.size(), i < 20 ? 0u : 1u) << "frame " << i;
  }
  ASSERT_FALSE(warned.dll.processEnded());
  const MessageBoxCall& box = warned.windows().messageBoxes.front();
  EXPECT_EQ(box.caption, kCaption);
  EXPECT_EQ(box.text, kText);
  EXPECT_EQ(box.owner, 0u);
  EXPECT_EQ(box.style, kMbOk);
  warned.dll.Dispose();
  plain.dll.Dispose();
}

TEST(KeyboardWatch, F7AfterTheWarningEndsTheProcessBeforeTheFrameDoesAnything) {
  EmulatedCab cab;
  cab.Start();
  cab.F7(true);
  cab.Run(0.0f);
  ASSERT_EQ(cab.windows().messageBoxes.size(), 1u);
  cab.F7(false);
  for (int i = 0; i < 100; ++i) cab.Run(0.0f);
  ASSERT_FALSE(cab.dll.processEnded());

  cab.panel.fill(kCanary);
  cab.sound.fill(kCanary);
  cab.F7(true);
  cab.Run(0.0f);
  EXPECT_TRUE(cab.dll.processEnded());
  EXPECT_EQ(cab.dll.exitStatus(), 0);
  // Nothing of the frame ran after the key was seen: no array was written.
  for (int v : cab.panel) ASSERT_EQ(v, kCanary);
  for (int v : cab.sound) ASSERT_EQ(v, kCanary);
  EXPECT_EQ(cab.windows().messageBoxes.size(), 1u);
  EXPECT_THROW(cab.dll.GetPluginVersion(), EmuError);  // the process is gone
}

TEST(KeyboardWatch, F7HeldEndsTheProcessInTheFrameAfterTheBox) {
  EmulatedCab cab;
  cab.Start();
  cab.F7(true);
  cab.Run(0.0f);
  EXPECT_EQ(cab.windows().messageBoxes.size(), 1u);
  EXPECT_FALSE(cab.dll.processEnded());
  cab.Run(0.0f);
  EXPECT_TRUE(cab.dll.processEnded());
  EXPECT_EQ(cab.dll.exitStatus(), 0);
}

TEST(KeyboardWatch, TheWarningOutlivesDisposeAndLoad) {
  EmulatedCab cab;
  cab.Start();
  cab.F7(true);
  cab.Run(0.0f);
  cab.F7(false);
  cab.Run(0.0f);
  cab.dll.Dispose();
  cab.Start();
  cab.dll.Initialize(0);  // neither a new load nor a new run forgets the warning
  cab.Run(0.0f);
  ASSERT_FALSE(cab.dll.processEnded());
  cab.F7(true);
  cab.Run(0.0f);
  EXPECT_TRUE(cab.dll.processEnded());
  EXPECT_EQ(cab.windows().messageBoxes.size(), 1u);
}

TEST(KeyboardWatch, WithoutDirectInputTheModuleRunsWithoutTheWatch) {
  constexpr uint32_t kEFail = 0x80004005;
  EmulatedCab broken;
  EmulatedCab plain;
  broken.windows().directInputCreateResult = kEFail;
  for (EmulatedCab* c : {&broken, &plain}) {
    c->Start();
    c->SwitchOnSecured();
    c->dll.SetReverser(1);
    c->dll.SetBrake(0);
    c->dll.SetPower(2);
  }
  broken.F7(true);  // held all along: with no keyboard, no key is ever down
  for (int i = 0; i < 50; ++i) {
    const ATS_HANDLES b = broken.Run(kCruise);
    const ATS_HANDLES p = plain.Run(kCruise);
    ASSERT_EQ(Handles(b), Handles(p)) << "frame " << i;
    ASSERT_EQ(broken.panel, plain.panel) << "frame " << i;
    ASSERT_EQ(broken.sound, plain.sound) << "frame " << i;
  }
  EXPECT_FALSE(broken.dll.processEnded());
  EXPECT_TRUE(broken.windows().messageBoxes.empty());
  broken.dll.Dispose();
  plain.dll.Dispose();
  EXPECT_EQ(broken.windows().directInputCalls, Calls{"DirectInput8Create"});
  EXPECT_EQ(broken.windows().comObjectsCreated, 0);
}

TEST(KeyboardWatch, AFailedStateReadCountsAsNoKeyDown) {
  EmulatedCab cab;
  cab.Start();
  cab.F7(true);
  cab.windows().failStateReads = true;
  for (int i = 0; i < 10; ++i) cab.Run(0.0f);
  EXPECT_TRUE(cab.windows().messageBoxes.empty());
  cab.windows().failStateReads = false;
  cab.Run(0.0f);
  EXPECT_EQ(cab.windows().messageBoxes.size(), 1u);
  cab.dll.Dispose();
}

}  // namespace
}  // namespace atsemu::test
