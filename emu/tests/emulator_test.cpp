// The emulator's own guarantees, on which every other result here rests: a
// damaged file is refused without being read out of bounds, and a call that
// goes wrong (an import with no fake, a fault, a runaway, a heap misuse) is an
// error that says where, never a silent result.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>

#include "emu/tests/product_dll.h"

namespace atsemu::test {
namespace {

std::vector<uint8_t> ProductBytes() {
  std::ifstream in(ATS_PRODUCT_DLL, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The address that the import address table holds for dll!name once loaded.
uint32_t ImportAddress(PeEmulator& emu, const std::string& dll, const std::string& name) {
  const PeImage image = PeImage::Load(ATS_PRODUCT_DLL);
  for (const PeImport& imp : image.imports()) {
    if (imp.dll == dll && imp.name == name) {
      uint32_t address = 0;
      emu.Read(emu.base() + imp.iatRva, &address, sizeof address);
      return address;
    }
  }
  ADD_FAILURE() << "the DLL does not import " << dll << "!" << name;
  return 0;
}

std::string ErrorOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const EmuError& e) {
    return e.what();
  }
  return "(no error)";
}

TEST(PeImageParse, DamagedFilesAreRefused) {
  const std::vector<uint8_t> whole = ProductBytes();
  ASSERT_GT(whole.size(), 0x1000u);
  EXPECT_NO_THROW(PeImage::Parse(whole));
  // Cut short anywhere from the DOS header to the last section.
  for (std::size_t cut :
       {std::size_t{0}, std::size_t{1}, std::size_t{0x3C}, std::size_t{0x80}, std::size_t{0x100},
        std::size_t{0x200}, whole.size() / 2, whole.size() - 0x200}) {
    std::vector<uint8_t> part(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(cut));
    EXPECT_THROW(PeImage::Parse(part), EmuError) << "cut at " << cut;
  }
  const std::string text = "MZ, and then nothing of a PE image";
  EXPECT_THROW(PeImage::Parse(std::vector<uint8_t>(text.begin(), text.end())), EmuError);
}

// Any byte of the headers and directories may be garbage: the parser either
// reads a consistent image or refuses, and never reads outside the file.
TEST(PeImageParse, RandomlyCorruptedHeadersAreSafe) {
  const std::vector<uint8_t> whole = ProductBytes();
  std::mt19937 rng(7);
  constexpr uint32_t kHeaderBytes = 0x400;
  for (int trial = 0; trial < 2000; ++trial) {
    std::vector<uint8_t> bad = whole;
    for (int n = 0; n < 4; ++n) {
      bad[rng() % kHeaderBytes] = static_cast<uint8_t>(rng());
    }
    try {
      PeImage::Parse(bad);
    } catch (const EmuError&) {
    }
  }
}

TEST(Emulator, AnImportWithoutAFakeFailsByName) {
  // The DLL imports only what has a fake, so one is withheld here.
  EmulatorOptions options;
  options.withheldFakes = {"kernel32.dll!VirtualQuery"};
  PeEmulator emu(ATS_PRODUCT_DLL, options);
  const uint32_t stub = ImportAddress(emu, "KERNEL32.dll", "VirtualQuery");
  const std::string error = ErrorOf([&] { emu.CallStdcall(stub, StackArgs().Word(0).bytes()); });
  EXPECT_NE(error.find("VirtualQuery"), std::string::npos) << error;
  // After a failure nothing more runs.
  EXPECT_THROW(emu.CallStdcall(emu.Export("GetPluginVersion"), {}), EmuError);
}

TEST(Emulator, AFaultNamesItsAddress) {
  PeEmulator emu(ATS_PRODUCT_DLL);
  const std::string error = ErrorOf([&] { emu.CallStdcall(0x0BAD0000, {}); });
  EXPECT_NE(error.find("0x0bad0000"), std::string::npos) << error;
}

TEST(Emulator, ACallThatDoesNotReturnIsStopped) {
  // Twenty instructions are far too few even for the DLL's entry routine.
  EmulatorOptions tight;
  tight.instructionBound = 20;
  const std::string error = ErrorOf([&] { PeEmulator emu(ATS_PRODUCT_DLL, tight); });
  EXPECT_NE(error.find("without returning"), std::string::npos) << error;
}

TEST(Emulator, TheHeapCatchesDoubleFreesAndOverruns) {
  constexpr uint32_t kSize = 10;
  {
    PeEmulator emu(ATS_PRODUCT_DLL);
    const uint32_t malloc = ImportAddress(emu, "msvcrt.dll", "malloc");
    const uint32_t free = ImportAddress(emu, "msvcrt.dll", "free");
    const uint32_t p = emu.CallStdcall(malloc, StackArgs().Word(kSize).bytes()).eax;
    ASSERT_NE(p, 0u);
    const HeapStats live = emu.heap();
    emu.CallStdcall(free, StackArgs().Word(p).bytes());
    EXPECT_EQ(emu.heap().liveBlocks, live.liveBlocks - 1);
    const std::string error = ErrorOf([&] { emu.CallStdcall(free, StackArgs().Word(p).bytes()); });
    EXPECT_NE(error.find("freed twice"), std::string::npos) << error;
  }
  {
    PeEmulator emu(ATS_PRODUCT_DLL);
    const uint32_t malloc = ImportAddress(emu, "msvcrt.dll", "malloc");
    const uint32_t free = ImportAddress(emu, "msvcrt.dll", "free");
    const uint32_t p = emu.CallStdcall(malloc, StackArgs().Word(kSize).bytes()).eax;
    const uint8_t past = 0;
    emu.Write(p + kSize, &past, 1);
    const std::string error = ErrorOf([&] { emu.CallStdcall(free, StackArgs().Word(p).bytes()); });
    EXPECT_NE(error.find("past its end"), std::string::npos) << error;
  }
}

// A copy of the DLL in which every `ret 20` of its code (the return of the
// one entry point with 20 argument bytes, SetVehicleSpec) is `ret 16`: a
// plug-in that leaves the host's stack pointer 4 bytes off.
std::string DllWithWrongCleanup() {
  std::vector<uint8_t> bytes = ProductBytes();
  const PeImage image = PeImage::Parse(bytes);
  const uint8_t kRet20[] = {0xC2, 0x14, 0x00};
  int patched = 0;
  for (const PeSection& s : image.sections()) {
    if (s.name != ".text") continue;
    for (uint32_t i = s.rawOffset; i + 3 <= s.rawOffset + s.rawSize; ++i) {
      if (std::memcmp(&bytes[i], kRet20, 3) == 0) {
        bytes[i + 1] = 0x10;
        ++patched;
      }
    }
  }
  EXPECT_GT(patched, 0);
  const std::string path = ::testing::TempDir() + "wrong_cleanup.dll";
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()),
             static_cast<std::streamsize>(bytes.size()));
  return path;
}

TEST(Emulator, AWrongStackCleanupIsReportedByName) {
  const std::string path = DllWithWrongCleanup();
  {
    EmulatedPlugin bad(path);
    bad.Load();
    const std::string error = ErrorOf([&] {
      bad.SetVehicleSpec(ATS_VEHICLESPEC{kNotches, {0, 0, 0, 0}});
    });
    EXPECT_NE(error.find("SetVehicleSpec removed 16 bytes"), std::string::npos) << error;
  }
  // atshost stops at once, says why, and exits with its own status.
  const std::string log = ::testing::TempDir() + "wrong_cleanup.log";
  const std::string command = std::string(ATS_ATSHOST) + " --quiet --out " + ::testing::TempDir() +
                              "wrong_cleanup --plugin " + path + " replay " + ATS_SCENARIOS +
                              "/beacon_trip.txt 2>" + log;
  const int status = std::system(command.c_str());
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 3);
  std::ifstream in(log);
  const std::string said{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  EXPECT_NE(said.find("SetVehicleSpec removed 16 bytes"), std::string::npos) << said;
}

}  // namespace
}  // namespace atsemu::test
