// The keyboard watch, driven through a fake keyboard: the first frame with F7
// down shows the box and goes on, any later one ends the process before the
// frame touches the unit; the warning outlives a dispose and a new load.
#include "plugin/keyboard_watch.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <tuple>

#include "plugin/keyboard_platform.h"
#include "tests/cab.h"

namespace vorlan::test {
namespace {

// A keyboard whose keys the test sets, and which records when the watch shows
// its box or ends the process, with the unit's state at that moment.
struct FakeKeyboard final : KeyboardPlatform {
  KeyState keys{};
  bool readFails = false;
  bool realExit = false;  // end the process for real, as the native platform does

  int openDevices = 0;  // opened and not yet closed
  int opens = 0;
  int boxes = 0;
  int exits = 0;
  bool warnedDuringBox = false;
  int32_t timeAtBox = -1;
  int32_t timeAtExit = -1;
  int32_t soundStartAtExit = -1;

  void PressF7(bool down) { keys[kScanCodeF7] = down ? kKeyDownBit : 0; }

  void Open() noexcept override {
    ++opens;
    ++openDevices;
  }
  void Close() noexcept override { openDevices = 0; }
  bool Read(KeyState& out) noexcept override {
    out = keys;  // a failing read may still leave bytes behind
    return !readFails;
  }
  void ShowWarning() noexcept override {
    ++boxes;
    warnedDuringBox = KeyboardWarningShown();
    if (CVorlan800* u = LoadedUnit()) timeAtBox = u->m_timeMs;
  }
  void EndProcess() noexcept override {
    ++exits;
    if (CVorlan800* u = LoadedUnit()) {
      timeAtExit = u->m_timeMs;
      soundStartAtExit = u->m_soundStart;
    }
    if (realExit) ExitProcessNow();
  }
};

// Puts the fake under the watch as a new process would find it, and takes it
// away again. Made before the Cab, so that the Cab's load opens the fake.
struct FakeKeyboardInstalled {
  FakeKeyboard& fake;
  explicit FakeKeyboardInstalled(FakeKeyboard& f) : fake(f) {
    ForgetKeyboardWarning();
    SetKeyboardPlatform(&fake);
  }
  ~FakeKeyboardInstalled() {
    SetKeyboardPlatform(nullptr);
    ForgetKeyboardWarning();
  }
};

TEST(KeyboardWatch, FirstF7ShowsTheBoxOnceAndLaterF7EndsTheProcessFirstThingInTheFrame) {
  FakeKeyboard kb;
  FakeKeyboardInstalled installed(kb);
  Cab cab;
  cab.Frame(100, 0.0, 0.0f);

  kb.PressF7(true);
  cab.Frame(200, 0.0, 0.0f);
  EXPECT_EQ(kb.boxes, 1);
  EXPECT_EQ(kb.exits, 0);
  EXPECT_EQ(kb.timeAtBox, 100) << "the box comes before the unit sees the frame";
  EXPECT_FALSE(kb.warnedDuringBox) << "the warning counts only once the box is dismissed";
  EXPECT_TRUE(KeyboardWarningShown());
  EXPECT_EQ(cab.unit().m_timeMs, 200) << "after the box the frame goes on";

  kb.PressF7(false);
  for (int32_t t = 300; t <= 900; t += 100) cab.Frame(t, 0.0, 0.0f);
  EXPECT_EQ(kb.boxes, 1);
  EXPECT_EQ(kb.exits, 0);

  // A play-once start sound: the per-frame reset would turn it into continue.
  cab.unit().m_soundStart = ATS_SOUND_PLAY;
  kb.PressF7(true);
  cab.Frame(1000, 0.0, 0.0f);
  EXPECT_EQ(kb.boxes, 1);
  EXPECT_EQ(kb.exits, 1);
  EXPECT_EQ(kb.timeAtExit, 900) << "the unit must not have seen the frame";
  EXPECT_EQ(kb.soundStartAtExit, ATS_SOUND_PLAY) << "the process ends before the sound reset";
}

TEST(KeyboardWatch, F7HeldAcrossFramesWarnsThenEndsInTheNextFrame) {
  FakeKeyboard kb;
  FakeKeyboardInstalled installed(kb);
  Cab cab;
  kb.PressF7(true);
  cab.Frame(100, 0.0, 0.0f);
  EXPECT_EQ(kb.boxes, 1);
  EXPECT_EQ(kb.exits, 0);
  cab.Frame(200, 0.0, 0.0f);
  EXPECT_EQ(kb.boxes, 1);
  EXPECT_EQ(kb.exits, 1);
}

// The frame in which the box is shown reaches the host exactly as it would
// have without F7.
TEST(KeyboardWatch, TheFrameWithTheBoxIsUnchanged) {
  auto run = [](bool pressF7) {
    FakeKeyboard kb;
    FakeKeyboardInstalled installed(kb);
    Cab cab;
    cab.SwitchOnSecured();
    atsSetBrake(0);
    atsSetPower(1);
    atsSetReverser(1);
    cab.Frame(1000, 0.0, 0.0f);
    cab.Run(20.0f);
    kb.PressF7(pressF7);
    ATS_HANDLES h = cab.Run(20.0f);
    EXPECT_EQ(kb.boxes, pressF7 ? 1 : 0);
    return std::make_tuple(h.Brake, h.Power, h.Reverser, h.ConstantSpeed, cab.panel, cab.sound);
  };
  EXPECT_EQ(run(true), run(false));
}

TEST(KeyboardWatch, OnlyBitSevenOfF7Counts) {
  FakeKeyboard kb;
  FakeKeyboardInstalled installed(kb);
  Cab cab;
  // Every other key fully down, F7's byte with every bit but the key-down bit.
  kb.keys.fill(0xFF);
  kb.keys[kScanCodeF7] = static_cast<uint8_t>(~kKeyDownBit);
  // The host's own key events, F7's scan code among them, are not the watch's.
  for (int key : {0, 3, 10, 11, 0x41, 66}) {
    atsKeyDown(key);
    atsKeyUp(key);
  }
  cab.Frame(100, 0.0, 0.0f);
  EXPECT_EQ(kb.boxes, 0);

  kb.keys.fill(0);
  kb.keys[kScanCodeF7] = kKeyDownBit;
  cab.Frame(200, 0.0, 0.0f);
  EXPECT_EQ(kb.boxes, 1);
}

TEST(KeyboardWatch, AFailedReadCountsAsNoKey) {
  FakeKeyboard kb;
  FakeKeyboardInstalled installed(kb);
  Cab cab;
  kb.PressF7(true);
  kb.readFails = true;
  cab.Frame(100, 0.0, 0.0f);
  EXPECT_EQ(kb.boxes, 0);

  kb.readFails = false;
  cab.Frame(200, 0.0, 0.0f);
  ASSERT_EQ(kb.boxes, 1);
  kb.readFails = true;  // warned: a failed read still ends nothing
  cab.Frame(300, 0.0, 0.0f);
  EXPECT_EQ(kb.exits, 0);
  EXPECT_EQ(cab.unit().m_timeMs, 300);
}

TEST(KeyboardWatch, TheWarningOutlivesDisposeAndANewLoad) {
  FakeKeyboard kb;
  FakeKeyboardInstalled installed(kb);
  {
    Cab cab;
    kb.PressF7(true);
    cab.Frame(100, 0.0, 0.0f);
    ASSERT_EQ(kb.boxes, 1);
  }
  atsInitialize(0);  // not loaded: does nothing, and clears nothing
  Cab cab;           // a new load, with a fresh unit
  cab.Frame(100, 0.0, 0.0f);
  EXPECT_EQ(kb.boxes, 1);
  EXPECT_EQ(kb.exits, 1);
  EXPECT_EQ(kb.timeAtExit, 0) << "the new unit must not have seen the frame";
}

TEST(KeyboardWatch, EachLoadOpensOneKeyboardAndNoneIsLeaked) {
  FakeKeyboard kb;
  FakeKeyboardInstalled installed(kb);
  atsLoad();
  atsLoad();  // a second load without a dispose
  EXPECT_EQ(kb.opens, 2);
  EXPECT_EQ(kb.openDevices, 1);
  StartKeyboardWatch();  // and a start without a stop
  EXPECT_EQ(kb.openDevices, 1);
  atsDispose();
  EXPECT_EQ(kb.openDevices, 0);
  atsDispose();
  EXPECT_EQ(kb.openDevices, 0);
  EXPECT_EQ(kb.opens, 3);
}

TEST(KeyboardWatchDeathTest, TheSecondF7EndsTheProcessWithStatusZeroInsideTheFrame) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  FakeKeyboard kb;
  FakeKeyboardInstalled installed(kb);
  kb.realExit = true;
  Cab cab;
  kb.PressF7(true);
  cab.Frame(100, 0.0, 0.0f);
  ASSERT_EQ(kb.boxes, 1);
  EXPECT_EXIT(
      {
        cab.Frame(200, 0.0, 0.0f);
        std::fputs("the frame returned", stderr);
        std::_Exit(1);
      },
      ::testing::ExitedWithCode(0), "");
}

#if !defined(_WIN32)
// Outside Windows the platform's own keyboard is none: a read fails, whatever
// the buffer held, so no key is ever down; the box shows nothing and returns
// at once; the end is the real one, status 0 with the host's exit handlers run.
TEST(KeyboardWatchDeathTest, TheNativePlatformHasNoKeyboardAndEndsTheProcessForReal) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  KeyboardPlatform& native = NativeKeyboardPlatform();
  native.Open();
  KeyState keys;
  keys.fill(kKeyDownBit);
  EXPECT_FALSE(native.Read(keys));
  native.ShowWarning();
  native.Close();
  EXPECT_EXIT(
      {
        std::atexit([] { std::fputs("host exit handler ran", stderr); });
        native.EndProcess();
        std::fputs("EndProcess returned", stderr);
        std::_Exit(1);
      },
      ::testing::ExitedWithCode(0), "host exit handler ran");
}
#endif

// The box's text, code unit by code unit: full-width exclamation marks, three
// ASCII full stops, bare line feeds between the lines and none at the end.
TEST(KeyboardWatch, WarningBoxText) {
  const std::u16string caption =
      u"\u0048\u0061\u006c\u0076\u0061\u0072\u0065\u006e\u0020"
      u"\u0053\u006f\u0072\u0063\u0065\u0072\u0065\u0073\u0073";
  const std::u16string text =
      u"\u3042\u3044\u305f\u3063\uff01"
      u"\u000a"
      u"\u3046\u304e\u3085\u304e\u3085\u304e\u3085\u304e\u3085\u002e\u002e\u002e"
      u"\u000a"
      u"\u6b21\u3084\u3063\u305f\u3089\u9b54\u6cd5\u3067\u6b62\u3081\u3061\u3083\u3044\u307e"
      u"\u3059\u304b\u3089\u306d\uff01";
  EXPECT_EQ(std::u16string(kWarningCaption), caption);
  EXPECT_EQ(std::u16string(kWarningText), text);
  EXPECT_EQ(sizeof kWarningText / sizeof kWarningText[0], text.size() + 1);
}

}  // namespace
}  // namespace vorlan::test
