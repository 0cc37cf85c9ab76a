// The DLL's exports as the host calls them: __stdcall, each removing exactly
// its argument bytes, at any 4-byte stack alignment; Elapse through the
// hidden result pointer; both export names of every entry point one function;
// and the same behaviour wherever the DLL is loaded.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "emu/tests/product_dll.h"

namespace atsemu::test {
namespace {

// Calls every export by its plain name with zero-filled arguments of its
// size (Elapse with real result storage and arrays) and returns the bytes each
// removed, Load first and Dispose last.
std::vector<int64_t> BytesRemovedByEach(PeEmulator& emu, uint32_t skew) {
  const uint32_t result = emu.HostAlloc(sizeof(ATS_HANDLES));
  const uint32_t panel = emu.HostAlloc(ATS_PANEL_SIZE * 4);
  const uint32_t sound = emu.HostAlloc(ATS_SOUND_SIZE * 4);
  std::vector<int64_t> removed(std::size(kEntryPoints));
  auto call = [&](std::size_t i) {
    const EntryPoint& e = kEntryPoints[i];
    StackArgs args;
    if (std::strcmp(e.plain, "Elapse") == 0) {
      args.Word(result).Record(ATS_VEHICLESTATE{}).Word(panel).Word(sound);
    } else {
      for (uint32_t b = 0; b < e.bytes; b += 4) args.Word(0);
    }
    const CallResult r = emu.CallStdcall(emu.Export(e.plain), args.bytes(), skew);
    EXPECT_FALSE(r.processEnded) << e.plain;
    removed[i] = r.bytesRemoved;
  };
  call(ATS_ENTRY_Load);
  for (std::size_t i = 0; i < std::size(kEntryPoints); ++i) {
    if (i != ATS_ENTRY_Load && i != ATS_ENTRY_Dispose) call(i);
  }
  call(ATS_ENTRY_Dispose);
  return removed;
}

TEST(CallingConvention, EachExportRemovesExactlyItsArgumentBytesAtEveryStackAlignment) {
  PeEmulator emu(ATS_PRODUCT_DLL);
  for (uint32_t skew : {0u, 4u, 8u, 12u}) {
    const std::vector<int64_t> removed = BytesRemovedByEach(emu, skew);
    for (std::size_t i = 0; i < std::size(kEntryPoints); ++i) {
      EXPECT_EQ(removed[i], kEntryPoints[i].bytes)
          << kEntryPoints[i].plain << " at stack skew " << skew;
    }
  }
  EXPECT_TRUE(emu.windows().complaints.empty());
}

TEST(CallingConvention, ElapseFillsTheHiddenResultAndHandsItBackInEax) {
  PeEmulator emu(ATS_PRODUCT_DLL);
  // The result storage with guard bytes on both sides: exactly its 16 bytes
  // may change.
  constexpr uint32_t kGuard = 16;
  constexpr uint8_t kFill = 0xCC;
  const uint32_t area = emu.HostAlloc(kGuard + sizeof(ATS_HANDLES) + kGuard);
  const uint32_t result = area + kGuard;
  std::vector<uint8_t> before(kGuard + sizeof(ATS_HANDLES) + kGuard, kFill);
  emu.Write(area, before.data(), before.size());
  const uint32_t panel = emu.HostAlloc(ATS_PANEL_SIZE * 4);
  const uint32_t sound = emu.HostAlloc(ATS_SOUND_SIZE * 4);

  emu.CallStdcall(emu.Export("Load"), {});
  emu.CallStdcall(emu.Export("SetVehicleSpec"),
                  StackArgs().Record(ATS_VEHICLESPEC{kNotches, {0, 0, 0, 0}}).bytes());
  emu.CallStdcall(emu.Export("SetReverser"), StackArgs().Int(1).bytes());
  ATS_VEHICLESTATE state{};
  state.Time = 100;
  const CallResult r = emu.CallStdcall(
      emu.Export("Elapse"), StackArgs().Word(result).Record(state).Word(panel).Word(sound).bytes());
  EXPECT_EQ(r.eax, result);
  EXPECT_EQ(r.bytesRemoved, 52);

  std::vector<uint8_t> after(before.size());
  emu.Read(area, after.data(), after.size());
  EXPECT_TRUE(std::equal(after.begin(), after.begin() + kGuard, before.begin()));
  EXPECT_TRUE(std::equal(after.end() - kGuard, after.end(), before.end() - kGuard));
  ATS_HANDLES h;
  std::memcpy(&h, &after[kGuard], sizeof h);
  // A unit that is switched off holds the emergency brake, cuts power and
  // turns the constant-speed control off; the reverser is the driver's.
  EXPECT_EQ(Handles(h), (std::array<int32_t, 4>{kEmergency, 0, 1, 2}));
  emu.CallStdcall(emu.Export("Dispose"), {});
}

TEST(CallingConvention, BothNamesOfEveryEntryPointLeadToOneFunction) {
  PeEmulator emu(ATS_PRODUCT_DLL);
  for (const EntryPoint& e : kEntryPoints) {
    const auto plain = emu.FindExport(e.plain);
    ASSERT_TRUE(plain.has_value()) << e.plain;
    EXPECT_EQ(emu.FindExport(e.decorated), plain) << e.decorated;
  }
}

// A host may load the DLL at any base (it allows relocation): every absolute
// address in it must be fixed up, or the same drive gives other results or
// faults.
TEST(CallingConvention, TheDllRunsAlikeWhereverItIsLoaded) {
  constexpr uint32_t kOtherBase = 0x10000000;
  EmulatorOptions elsewhere;
  elsewhere.loadBase = kOtherBase;
  EmulatedPlugin moved(ATS_PRODUCT_DLL, elsewhere);
  EmulatedCab cab;
  ASSERT_EQ(moved.emulator().base(), kOtherBase);
  ASSERT_NE(cab.dll.emulator().base(), kOtherBase);

  std::array<int, ATS_PANEL_SIZE> panel;
  std::array<int, ATS_SOUND_SIZE> sound;
  panel.fill(kCanary);
  sound.fill(kCanary);
  cab.Start();
  moved.Load();
  moved.SetVehicleSpec(ATS_VEHICLESPEC{kNotches, {0, 0, 0, 0}});
  moved.Initialize(0);
  for (EmulatedPlugin* p : {&cab.dll, &moved}) {
    p->SetBrake(kEmergency);
    p->KeyDown(kKeySwitchOn);
    p->SetReverser(1);
    p->SetBrake(0);
    p->SetPower(3);
  }
  for (int frame = 0; frame < 50; ++frame) {
    const float speed = static_cast<float>(frame) * 2.0f;
    const ATS_HANDLES expected = cab.Run(speed);
    ATS_VEHICLESTATE s{};
    s.Location = cab.location;
    s.Speed = speed;
    s.Time = cab.time;
    const ATS_HANDLES got = moved.Elapse(s, panel.data(), sound.data());
    ASSERT_EQ(Handles(got), Handles(expected)) << "frame " << frame;
    ASSERT_EQ(panel, cab.panel) << "frame " << frame;
    ASSERT_EQ(sound, cab.sound) << "frame " << frame;
  }
  moved.Dispose();
  cab.dll.Dispose();
}

}  // namespace
}  // namespace atsemu::test
