// Runs a 32-bit Windows DLL's own machine code on an emulated x86-32 CPU, for
// machines that cannot execute 32-bit processes at all.
//
// The DLL is laid out at its base as the Windows loader lays it out (sections
// with their page protections, base relocations when loaded elsewhere, thread
// storage, import address table), its entry routine runs for process attach at
// load and for process detach at unload, and its exports are called through
// the 32-bit __stdcall convention: arguments pushed right to left, a return
// address, and the callee removing its arguments.
//
// Every function the DLL imports is resolved by name to a small fake of the
// Windows function, written here against the emulated memory: the C runtime's
// memory, string and start-up functions, KERNEL32's critical sections, thread
// storage and module queries, DirectInput 8 with a keyboard whose keys the
// caller sets, and the message box, which is recorded and answered with OK.
// An import without a fake fails loudly by name when it is called; a call
// that faults or runs away is an error naming the address.
#ifndef ATSVORLAN800_EMU_PE_EMULATOR_H
#define ATSVORLAN800_EMU_PE_EMULATOR_H

#include <array>
#include <cstdint>
#include <cstring>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "emu/pe_image.h"

namespace atsemu {

// One MessageBoxW call: owner window, text and caption as UTF-16 code units,
// and the style bits (buttons, icon).
struct MessageBoxCall {
  uint32_t owner = 0;
  std::u16string text;
  std::u16string caption;
  uint32_t style = 0;
};

// The part of Windows beneath the DLL that a caller sets and inspects.
struct FakeWindows {
  // Set by the caller. Byte i is the key with DirectInput scan code i; the
  // key is down while bit 7 is set. GetDeviceState copies these bytes.
  std::array<uint8_t, 256> keys{};
  // GetDeviceState answers "input lost", as after the device lost its
  // acquisition, and writes nothing.
  bool failStateReads = false;
  // DirectInput8Create answers this instead of creating anything when it is
  // not 0 (an HRESULT; its high bit marks a failure).
  uint32_t directInputCreateResult = 0;

  // Seen. The DirectInput calls in order, as "Interface::Method" (each state
  // read is only counted).
  std::vector<std::string> directInputCalls;
  int stateReads = 0;
  int comObjectsCreated = 0;
  int comObjectsLive = 0;  // created and not yet released to a count of zero
  std::vector<MessageBoxCall> messageBoxes;
  // Arguments that the real Windows function would refuse, in words.
  std::vector<std::string> complaints;
  // What the DLL wrote to its standard output or error.
  std::string consoleOutput;
};

// The DLL's heap (malloc, calloc, realloc, free).
struct HeapStats {
  uint32_t liveBlocks = 0;
  uint32_t liveBytes = 0;
  uint64_t allocations = 0;  // since load, including freed ones
};

struct CallResult {
  uint32_t eax = 0;
  // ESP after the return minus ESP before the return address was pushed: the
  // argument bytes that the callee removed.
  int64_t bytesRemoved = 0;
  // The DLL called exit(): the process it lives in has ended, nothing of the
  // call after that point ran, and no further call is possible.
  bool processEnded = false;
  int exitStatus = 0;
};

// The argument bytes of a call, built left to right: the first argument ends
// up at the lowest address, where the callee finds it. Each argument fills
// whole 4-byte stack slots; records are copied whole, as passed by value.
class StackArgs {
 public:
  static constexpr std::size_t kCapacity = 256;  // far more than any entry point takes

  StackArgs& Word(uint32_t w) { return Bytes(&w, sizeof w); }
  StackArgs& Int(int32_t v) { return Bytes(&v, sizeof v); }
  template <typename R>
  StackArgs& Record(const R& r) {
    static_assert(std::is_trivially_copyable_v<R>);
    return Bytes(&r, sizeof r);
  }
  std::span<const uint8_t> bytes() const { return {bytes_.data(), size_}; }

 private:
  StackArgs& Bytes(const void* p, std::size_t n) {
    const std::size_t slots = (n + 3) / 4 * 4;  // stack slots are 4 bytes
    if (slots > kCapacity - size_) throw EmuError("too many argument bytes for one call");
    std::memcpy(bytes_.data() + size_, p, n);
    size_ += slots;
    return *this;
  }
  std::array<uint8_t, kCapacity> bytes_{};
  std::size_t size_ = 0;
};

struct EmulatorOptions {
  // Where to lay out the image; 0 for its preferred base.
  uint32_t loadBase = 0;
  // A call that runs more instructions than this without returning is an
  // error: a frame needs a few thousand.
  uint64_t instructionBound = 20'000'000;
  // Imports, as "dll!Name" in lower-case DLL names, that get no fake even
  // though the emulator has one: calling them fails as for an unknown import.
  std::vector<std::string> withheldFakes;
};

class Machine;

class PeEmulator {
 public:
  // Loads the DLL and runs its entry routine for process attach; throws
  // EmuError if the file is no 32-bit DLL or the routine fails.
  explicit PeEmulator(const std::string& path, const EmulatorOptions& options = {});
  // Unloads, unless the process has ended or a call failed.
  ~PeEmulator();
  PeEmulator(const PeEmulator&) = delete;
  PeEmulator& operator=(const PeEmulator&) = delete;

  // Runs the entry routine for process detach; after it no call is possible.
  void Unload();

  uint32_t base() const;
  // The address of an export, or nothing when the DLL has no such name.
  std::optional<uint32_t> FindExport(std::string_view name) const;
  // The address of an export; throws EmuError naming it when it is missing.
  uint32_t Export(std::string_view name) const;
  // Export name -> address.
  std::map<std::string, uint32_t> Exports() const;

  // Calls the code at address as __stdcall with these argument bytes, on a
  // stack whose pointer is lowered by skew bytes more (to try the callee at
  // each 4-byte alignment a host may give it). Throws EmuError if the code
  // faults, runs away, calls an import without a fake or disturbs a register
  // that its caller keeps (EBX, ESI, EDI, EBP).
  CallResult CallStdcall(uint32_t address, std::span<const uint8_t> args, uint32_t skew = 0);

  // Memory owned by the caller (result records, arrays), apart from the DLL's
  // heap; it lives as long as the emulator.
  uint32_t HostAlloc(uint32_t size);
  void Write(uint32_t address, const void* data, std::size_t size);
  void Read(uint32_t address, void* data, std::size_t size) const;

  FakeWindows& windows();
  HeapStats heap() const;
  bool processEnded() const;

 private:
  std::unique_ptr<Machine> machine_;
};

}  // namespace atsemu

#endif  // ATSVORLAN800_EMU_PE_EMULATOR_H
