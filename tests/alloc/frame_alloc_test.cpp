// The module runs inside the host's process for hours, so a frame, a beacon or
// a driver action must not touch the heap, and every load must give back all
// it takes. Counted by replacing the program's global allocation functions.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <limits>
#include <new>

#include "tests/cab.h"

namespace {

std::atomic<long> g_allocations{0};
std::atomic<long> g_releases{0};
// When positive, counts allocations down and fails the one that reaches zero.
std::atomic<long> g_failCountdown{0};

void* Allocate(std::size_t size, std::size_t alignment = alignof(std::max_align_t)) {
  if (g_failCountdown > 0 && --g_failCountdown == 0) throw std::bad_alloc();
  ++g_allocations;
  if (size == 0) size = 1;
  void* p = nullptr;
  if (alignment <= alignof(std::max_align_t)) {
    p = std::malloc(size);
  } else {
    // aligned_alloc wants a size that is a multiple of the alignment.
    p = std::aligned_alloc(alignment, (size + alignment - 1) / alignment * alignment);
  }
  if (p == nullptr) throw std::bad_alloc();
  return p;
}

void Release(void* p) noexcept {
  if (p == nullptr) return;
  ++g_releases;
  std::free(p);
}

}  // namespace

// Every replaceable form, so that none slips past the count.
void* operator new(std::size_t n) { return Allocate(n); }
void* operator new[](std::size_t n) { return Allocate(n); }
void* operator new(std::size_t n, std::align_val_t a) {
  return Allocate(n, static_cast<std::size_t>(a));
}
void* operator new[](std::size_t n, std::align_val_t a) {
  return Allocate(n, static_cast<std::size_t>(a));
}
void* operator new(std::size_t n, const std::nothrow_t&) noexcept {
  try {
    return Allocate(n);
  } catch (...) {
    return nullptr;
  }
}
void* operator new[](std::size_t n, const std::nothrow_t&) noexcept {
  try {
    return Allocate(n);
  } catch (...) {
    return nullptr;
  }
}
void operator delete(void* p) noexcept { Release(p); }
void operator delete[](void* p) noexcept { Release(p); }
void operator delete(void* p, std::size_t) noexcept { Release(p); }
void operator delete[](void* p, std::size_t) noexcept { Release(p); }
void operator delete(void* p, std::align_val_t) noexcept { Release(p); }
void operator delete[](void* p, std::align_val_t) noexcept { Release(p); }
void operator delete(void* p, std::size_t, std::align_val_t) noexcept { Release(p); }
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept { Release(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { Release(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { Release(p); }

namespace vorlan::test {
namespace {

// Heap calls made while `calls` runs.
template <typename F>
long HeapCallsDuring(F&& calls) {
  const long before = g_allocations + g_releases;
  calls();
  return g_allocations + g_releases - before;
}

// Thousands of frames through every kind of state change: switching, trips
// and resets, warning brakes, the speed hold and governor, door events and
// their blanking, every beacon type, every key, odd values.
TEST(HeapUse, FramesBeaconsAndKeysAfterLoadTakeNothing) {
  Cab cab;
  const long heapCalls = HeapCallsDuring([&] {
    for (int lap = 0; lap < 20; ++lap) {
      cab.SwitchOnSecured();
      atsSetReverser(1);
      atsSetBrake(0);
      atsSetPower(1);
      for (int i = 0; i < 60; ++i) cab.Run(static_cast<float>(i * 1.5), 100, 34.0f, 780.0f, 90.0f);
      for (int32_t type : {0, 9, 10, 11, 12, 15, 200, 13}) {
        for (int32_t word : {0, 50, 150, 243, 812, -1}) {
          cab.Beacon(type, lap % 5, word);
          cab.Run(80.0f, 16);
        }
      }
      atsDoorOpen();
      cab.Run(6.0f, 16);
      atsDoorClose();
      for (int32_t key = -1; key <= 12; ++key) {
        atsKeyDown(key);
        cab.Run(-7.0f, 16, 450.0f, 700.0f, -130.0f);
        atsKeyUp(key);
      }
      atsHornBlow(1);
      atsSetSignal(2);
      atsInitialize(lap);
      cab.Frame(cab.time, cab.location + 5.0, std::numeric_limits<float>::quiet_NaN());
      cab.Frame(cab.time - 1000, -1e300, std::numeric_limits<float>::infinity());
      atsKeyDown(kKeySwitchOff);
      for (int i = 0; i < 100; ++i) cab.Run(0.0f, 16);
    }
  });
  EXPECT_EQ(heapCalls, 0);
}

// Whatever a load takes, its dispose gives back, also when a second load
// comes without a dispose between; and every load takes the same.
TEST(HeapUse, LoadDisposeCyclesGiveBackAllTheyTake) {
  const long allocationsBefore = g_allocations;
  const long releasesBefore = g_releases;
  atsLoad();
  atsDispose();
  const long perLoad = g_allocations - allocationsBefore;
  ASSERT_GT(perLoad, 0) << "the count does not see the unit's own allocations";
  for (int i = 0; i < 500; ++i) {
    atsLoad();
    if (i % 3 == 0) atsLoad();  // replaces the first unit
    atsDispose();
    atsDispose();  // a second dispose has nothing left to free
  }
  EXPECT_EQ(g_allocations - allocationsBefore, g_releases - releasesBefore);
  EXPECT_EQ(g_allocations - allocationsBefore, perLoad * (1 + 500 + 167));
}

// No storage at load, whichever allocation fails: the module stays not
// loaded, gives back what it had taken, ignores the calls that need a unit,
// and the next load works.
TEST(HeapUse, LoadWithoutStorageLeavesTheModuleNotLoaded) {
  const long allocationsBefore = g_allocations;
  atsLoad();
  atsDispose();
  const long perLoad = g_allocations - allocationsBefore;
  for (long failing = 1; failing <= perLoad; ++failing) {
    SCOPED_TRACE(failing);
    const long allocations = g_allocations;
    const long releases = g_releases;
    g_failCountdown = failing;
    atsLoad();
    g_failCountdown = 0;
    EXPECT_EQ(LoadedUnit(), nullptr);
    EXPECT_EQ(g_allocations - allocations, g_releases - releases);

    atsKeyDown(kKeySwitchOn);
    std::array<int, ATS_PANEL_SIZE> panel;
    std::array<int, ATS_SOUND_SIZE> sound;
    panel.fill(kCanary);
    sound.fill(kCanary);
    const ATS_HANDLES h = atsElapse(ATS_VEHICLESTATE{}, panel.data(), sound.data());
    EXPECT_EQ(h.Brake, 0);
    EXPECT_EQ(h.ConstantSpeed, 0);
    EXPECT_EQ(panel[1], kCanary);  // not written
    EXPECT_EQ(sound[0], kCanary);

    atsLoad();
    EXPECT_NE(LoadedUnit(), nullptr);
    atsDispose();
  }
}

}  // namespace
}  // namespace vorlan::test
