// The cab display as the host sees it in the panel array: bar meters, the
// main-reservoir-rising lamp, door and reverser lamps, the counter with its two
// steps, and the 500 ms blanking after a door change or a counter beacon.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>

#include "tests/cab.h"

namespace vorlan::test {
namespace {

// Panel indices of the display.
constexpr int kOffLamp = 101;
constexpr int kCounterShown = 200;
constexpr int kCounterBlank = 201;
constexpr int kMrRising = 206;
constexpr int kBcBars = 207;
constexpr int kCurrentPos = 208;
constexpr int kCurrentNeg = 209;
constexpr int kClosedLamps[] = {210, 211, 212};
constexpr int kStepA = 216;
constexpr int kStepB = 217;
constexpr int kReverserForward = 218;
constexpr int kReverserBackward = 219;
constexpr int kOpenLamps[] = {220, 221, 222};
// Everything the blanking darkens (the counter-blank flag itself goes to 1).
constexpr int kBlanked[] = {kCounterShown, kMrRising, kBcBars, kCurrentPos,      kCurrentNeg,
                            210,           211,       212,     kReverserForward, kReverserBackward,
                            220,           221,       222};

constexpr int32_t kBlankMs = 500;
constexpr int32_t kCounterBeacon = 200;

// A cab switched on with the doors closed, past the blanking that the first
// door report starts: the next frame shows everything.
struct DisplayCab : Cab {
  DisplayCab() {
    SwitchOnSecured();
    Frame(1000, 0.0, 0.0f);  // sees the doors close and stamps 1000
    Frame(1000 + kBlankMs, 0.0, 0.0f);
  }
  // A standing frame 100 ms on, with the given meter inputs.
  void Show(float bc, float mr, float current) { Run(0.0f, 100, bc, mr, current); }
  bool Blank() const {
    bool dark = panel[kCounterBlank] == 1;
    for (int i : kBlanked) dark = dark && panel[i] == 0;
    return dark;
  }
  bool DoorsClosedShown() const {
    return panel[kClosedLamps[0]] == 1 && panel[kClosedLamps[1]] == 1 &&
           panel[kClosedLamps[2]] == 1 && panel[kOpenLamps[0]] == 0 && panel[kOpenLamps[1]] == 0 &&
           panel[kOpenLamps[2]] == 0;
  }
  bool DoorsOpenShown() const {
    return panel[kOpenLamps[0]] == 1 && panel[kOpenLamps[1]] == 1 && panel[kOpenLamps[2]] == 1 &&
           panel[kClosedLamps[0]] == 0 && panel[kClosedLamps[1]] == 0 &&
           panel[kClosedLamps[2]] == 0;
  }
};

TEST(BarMeters, TractionCurrentThresholdsAreStrictOnBothSides) {
  struct Case {
    float current;
    int pos;
    int neg;
  };
  const float tiny = std::numeric_limits<float>::denorm_min();
  const Case cases[] = {
      {0.0f, 0, 0},          {-0.0f, 0, 0},          {kNaN, 0, 0},         {tiny, 1, 0},
      {-tiny, 0, 1},         {25.0f, 1, 0},          {Above(25.0f), 2, 0}, {50.0f, 2, 0},
      {Above(50.0f), 3, 0},  {75.0f, 3, 0},          {Above(75.0f), 4, 0}, {100.0f, 4, 0},
      {Above(100.0f), 5, 0}, {kInf, 5, 0},           {-25.0f, 0, 1},       {Below(-25.0f), 0, 2},
      {-50.0f, 0, 2},        {Below(-50.0f), 0, 3},  {-75.0f, 0, 3},       {Below(-75.0f), 0, 4},
      {-100.0f, 0, 4},       {Below(-100.0f), 0, 5}, {-kInf, 0, 5},
  };
  DisplayCab cab;
  for (const Case& c : cases) {
    cab.Show(0.0f, 0.0f, c.current);
    EXPECT_EQ(cab.panel[kCurrentPos], c.pos) << c.current;
    EXPECT_EQ(cab.panel[kCurrentNeg], c.neg) << c.current;
  }
}

TEST(BarMeters, BrakeCylinderThresholdsAreStrict) {
  const std::pair<float, int> cases[] = {
      {0.0f, 0},          {-5.0f, 0},         {kNaN, 0},          {0.5f, 1},   {100.0f, 1},
      {Above(100.0f), 2}, {200.0f, 2},        {Above(200.0f), 3}, {300.0f, 3}, {Above(300.0f), 4},
      {400.0f, 4},        {Above(400.0f), 5}, {kInf, 5},
  };
  DisplayCab cab;
  for (const auto& [bc, bars] : cases) {
    cab.Show(bc, 0.0f, 0.0f);
    EXPECT_EQ(cab.panel[kBcBars], bars) << bc;
  }
}

TEST(MainReservoir, RisingAgainstTheLastFrameWhateverWasShown) {
  Cab cab;
  atsDoorClose();
  // First frame after loading: the previous pressure is 0.0.
  cab.Frame(1000, 0.0, 0.0f, 0.0f, 5.0f);
  EXPECT_EQ(cab.panel[kMrRising], 1);
  cab.Frame(1500, 0.0, 0.0f, 0.0f, 5.0f);  // equal
  EXPECT_EQ(cab.panel[kMrRising], 0);
  cab.Frame(1600, 0.0, 0.0f, 0.0f, 4.0f);  // falling
  EXPECT_EQ(cab.panel[kMrRising], 0);
  cab.Frame(1700, 0.0, 0.0f, 0.0f, kNaN);
  EXPECT_EQ(cab.panel[kMrRising], 0);
  cab.Frame(1800, 0.0, 0.0f, 0.0f, 6.0f);  // after NaN: nothing compares greater
  EXPECT_EQ(cab.panel[kMrRising], 0);

  // With the doors open the lamp is dark, yet the pressure is still taken over:
  // after closing, 9 against the 9 seen while open is not rising.
  atsDoorOpen();
  cab.Frame(2500, 0.0, 0.0f, 0.0f, 9.0f);
  EXPECT_EQ(cab.panel[kMrRising], 0);
  atsDoorClose();
  cab.Frame(3500, 0.0, 0.0f, 0.0f, 9.0f);
  ASSERT_TRUE(cab.panel[kClosedLamps[0]] == 1);  // the door-change frame is not blanked
  EXPECT_EQ(cab.panel[kMrRising], 0);
  // Blanked frames take it over too.
  cab.Frame(3600, 0.0, 0.0f, 0.0f, 12.0f);
  cab.Frame(4000, 0.0, 0.0f, 0.0f, 12.0f);
  EXPECT_EQ(cab.panel[kMrRising], 0);
}

TEST(DoorLamps, OpenDoorsDarkenTheMetersAndReverserButNotTheCounter) {
  DisplayCab cab;
  atsSetReverser(1);
  cab.Show(450.0f, 1.0f, 150.0f);
  EXPECT_TRUE(cab.DoorsClosedShown());
  EXPECT_EQ(cab.panel[kReverserForward], 1);
  EXPECT_EQ(cab.panel[kBcBars], 5);
  EXPECT_EQ(cab.panel[kCurrentPos], 5);
  EXPECT_EQ(cab.panel[kMrRising], 1);

  atsDoorOpen();
  cab.Show(450.0f, 2.0f, -150.0f);
  EXPECT_TRUE(cab.DoorsOpenShown());
  for (int i : {kBcBars, kCurrentPos, kCurrentNeg, kMrRising, kReverserForward, kReverserBackward})
    EXPECT_EQ(cab.panel[i], 0) << i;
  EXPECT_EQ(cab.panel[kCounterShown], 2);  // one close, one open
  EXPECT_EQ(cab.panel[kCounterBlank], 0);
}

TEST(DoorLamps, ReverserLampsFollowTheSignOfTheDriversReverser) {
  const std::tuple<int32_t, int, int> cases[] = {
      {1, 1, 0}, {-1, 0, 1}, {0, 0, 0}, {7, 1, 0}, {INT32_MIN, 0, 1}, {INT32_MAX, 1, 0},
  };
  DisplayCab cab;
  for (const auto& [reverser, forward, backward] : cases) {
    atsSetReverser(reverser);
    cab.Show(0.0f, 0.0f, 0.0f);
    EXPECT_EQ(cab.panel[kReverserForward], forward) << reverser;
    EXPECT_EQ(cab.panel[kReverserBackward], backward) << reverser;
  }
}

TEST(Counter, StepTableIncludingBoundsAndExtremes) {
  const std::tuple<int32_t, int, int> cases[] = {
      {INT32_MIN, 1, 2}, {-5, 1, 2}, {0, 1, 2},  {3, 1, 2},  {4, 2, 3},         {6, 2, 3},
      {7, 3, 4},         {9, 3, 4},  {10, 4, 5}, {12, 4, 5}, {13, 5, 6},        {15, 5, 6},
      {16, 6, 7},        {18, 6, 7}, {19, 0, 0}, {30, 0, 0}, {INT32_MAX, 0, 0},
  };
  DisplayCab cab;
  for (const auto& [counter, a, b] : cases) {
    cab.Beacon(kCounterBeacon, 0, counter);
    // The steps are not blanked; the counter value shows once 500 ms have passed.
    cab.Run(0.0f, 100);
    EXPECT_EQ(cab.panel[kStepA], a) << counter;
    EXPECT_EQ(cab.panel[kStepB], b) << counter;
    EXPECT_EQ(cab.panel[kCounterShown], 0) << counter;
    cab.Run(0.0f, kBlankMs);
    EXPECT_EQ(cab.panel[kCounterShown], counter);
  }
}

TEST(Counter, StepsFreezeWhileOffAndTheValueIsHidden) {
  Cab cab;
  cab.Beacon(kCounterBeacon, 0, 7);
  cab.Frame(1000, 0.0, 0.0f);
  // Never switched on: steps 0 and 0, counter hidden, off lamp lit.
  EXPECT_EQ(cab.panel[kStepA], 0);
  EXPECT_EQ(cab.panel[kStepB], 0);
  EXPECT_EQ(cab.panel[kCounterShown], 0);
  EXPECT_EQ(cab.panel[kOffLamp], 1);

  cab.SwitchOnSecured();  // the door close counts: 8
  cab.Frame(2000, 0.0, 0.0f);
  EXPECT_EQ(cab.panel[kCounterShown], 8);
  EXPECT_EQ(cab.panel[kStepA], 3);
  EXPECT_EQ(cab.panel[kStepB], 4);
  EXPECT_EQ(cab.panel[kOffLamp], 0);

  atsKeyDown(kKeySwitchOff);
  cab.Beacon(kCounterBeacon, 0, 19);
  cab.Frame(3000, 0.0, 0.0f);
  EXPECT_EQ(cab.panel[kCounterShown], 0);
  EXPECT_EQ(cab.panel[kStepA], 3);
  EXPECT_EQ(cab.panel[kStepB], 4);
  EXPECT_EQ(cab.panel[kOffLamp], 1);

  atsKeyDown(kKeySwitchOn);  // handles still secured
  cab.Frame(4000, 0.0, 0.0f);
  EXPECT_EQ(cab.panel[kCounterShown], 19);
  EXPECT_EQ(cab.panel[kStepA], 0);
  EXPECT_EQ(cab.panel[kStepB], 0);
}

// The frame that first sees a door change shows the new lamps; the supervision
// stamps that frame's time after the display is derived, so the frames after
// it stay blank while less than 500 ms have passed.
TEST(Blanking, DoorChangeShowsTheNewLampsThenBlanksFor500Ms) {
  DisplayCab cab;
  atsDoorOpen();
  const int32_t change = 5000;
  cab.Frame(change, 0.0, 0.0f);
  EXPECT_TRUE(cab.DoorsOpenShown());
  EXPECT_EQ(cab.panel[kCounterBlank], 0);
  EXPECT_EQ(cab.unit().m_eventTimeMs, change);

  for (int32_t d = 16; d <= 496; d += 16) {
    cab.Frame(change + d, 0.0, 0.0f);
    EXPECT_TRUE(cab.Blank()) << d;
  }
  cab.Frame(change + 499, 0.0, 0.0f);
  EXPECT_TRUE(cab.Blank());
  cab.Frame(change + 500, 0.0, 0.0f);
  EXPECT_EQ(cab.panel[kCounterBlank], 0);
  EXPECT_TRUE(cab.DoorsOpenShown());
  EXPECT_EQ(cab.panel[kCounterShown], 2);

  // Closing: the same again, with frames every 16 ms.
  atsDoorClose();
  cab.Frame(6000, 0.0, 0.0f);
  EXPECT_TRUE(cab.DoorsClosedShown());
  cab.Frame(6496, 0.0, 0.0f);
  EXPECT_TRUE(cab.Blank());
  cab.Frame(6512, 0.0, 0.0f);
  EXPECT_TRUE(cab.DoorsClosedShown());
}

TEST(Blanking, CounterBeaconBlanksTheNextFrameUnless500MsPassed) {
  DisplayCab cab;  // last frame at 1500
  cab.Beacon(kCounterBeacon, 0, 11);
  cab.Frame(1999, 0.0, 0.0f);
  EXPECT_TRUE(cab.Blank());
  EXPECT_EQ(cab.panel[kStepA], 4);  // steps are spared
  EXPECT_EQ(cab.panel[kStepB], 5);
  cab.Frame(2000, 0.0, 0.0f);
  EXPECT_EQ(cab.panel[kCounterShown], 11);
  EXPECT_EQ(cab.panel[kCounterBlank], 0);

  cab.Beacon(kCounterBeacon, 0, 12);  // stamped 2000
  cab.Frame(2500, 0.0, 0.0f);
  EXPECT_EQ(cab.panel[kCounterShown], 12);
  EXPECT_EQ(cab.panel[kCounterBlank], 0);
}

TEST(Blanking, SparesTheStepsAndTheOffLamp) {
  DisplayCab cab;
  cab.Beacon(kCounterBeacon, 0, 10);
  cab.Run(0.0f, 100);
  atsKeyDown(kKeySwitchOff);
  atsDoorOpen();
  cab.Run(0.0f, kBlankMs);  // the door change is seen here
  cab.Run(0.0f, 100);
  EXPECT_TRUE(cab.Blank());
  EXPECT_EQ(cab.panel[kOffLamp], 1);
  EXPECT_EQ(cab.panel[kStepA], 4);
  EXPECT_EQ(cab.panel[kStepB], 5);
}

TEST(Blanking, TimeGoingBackBeforeTheEventKeepsTheDisplayBlank) {
  DisplayCab cab;
  atsDoorOpen();
  cab.Frame(5000, 0.0, 0.0f);  // stamped
  cab.Frame(4000, 0.0, 0.0f);  // d = -1000
  EXPECT_TRUE(cab.Blank());
  cab.Frame(5499, 0.0, 0.0f);
  EXPECT_TRUE(cab.Blank());
  cab.Frame(5500, 0.0, 0.0f);
  EXPECT_TRUE(cab.DoorsOpenShown());
}

// The difference is a wrapping 32-bit one: neither a wider nor a saturating
// subtraction gives these.
TEST(Blanking, DifferenceWrapsAt32Bits) {
  DisplayCab cab;
  atsDoorOpen();
  cab.Frame(INT32_MAX - 100, 0.0, 0.0f);  // stamped
  cab.Frame(INT32_MIN + 398, 0.0, 0.0f);  // d = 499
  EXPECT_TRUE(cab.Blank());
  cab.Frame(INT32_MIN + 399, 0.0, 0.0f);  // d = 500
  EXPECT_TRUE(cab.DoorsOpenShown());
  EXPECT_EQ(cab.panel[kCounterBlank], 0);

  atsDoorClose();
  cab.Frame(INT32_MIN + 10, 0.0, 0.0f);  // stamped
  cab.Frame(INT32_MAX, 0.0, 0.0f);       // d wraps to -11
  EXPECT_TRUE(cab.Blank());
}

TEST(Blanking, FramesBefore500MsAfterLoadAreBlank) {
  for (int32_t t : {INT32_MIN, -1, 0, 499}) {
    Cab cab;
    atsDoorClose();
    cab.Frame(t, 0.0, 0.0f);
    EXPECT_EQ(cab.panel[kCounterBlank], 1) << t;
    EXPECT_EQ(cab.panel[kClosedLamps[0]], 0) << t;
  }
  Cab cab;
  atsDoorClose();
  cab.Frame(500, 0.0, 0.0f);
  EXPECT_EQ(cab.panel[kCounterBlank], 0);
  EXPECT_EQ(cab.panel[kClosedLamps[0]], 1);
}

// Only the door state at the end of each frame counts: opening and closing
// between two frames is no change, though the counter counts both.
TEST(Blanking, DoorsOpenedAndClosedBetweenFramesAreNoChange) {
  DisplayCab cab;
  atsDoorOpen();
  atsDoorClose();
  cab.Run(0.0f, 100);
  cab.Run(0.0f, 100);
  EXPECT_EQ(cab.panel[kCounterBlank], 0);
  EXPECT_EQ(cab.panel[kCounterShown], 3);
}

}  // namespace
}  // namespace vorlan::test
