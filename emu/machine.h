// Inside the emulator: the emulated CPU and address space, the DLL's heap, the
// stubs that stand for imported functions, and the calls into emulated code.
// The fakes of the Windows functions (crt_imports.cpp, windows_imports.cpp)
// are written against this.
#ifndef ATSVORLAN800_EMU_MACHINE_H
#define ATSVORLAN800_EMU_MACHINE_H

#include <unicorn/unicorn.h>

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <unordered_map>
#include <vector>

#include "emu/pe_emulator.h"
#include "emu/pe_image.h"

namespace atsemu {

// The emulated address space, 32-bit. Nothing is mapped below kStubBase, so a
// null pointer (or a small offset from one) faults as it does on Windows.
inline constexpr uint32_t kPageSize = 0x1000;
inline constexpr uint32_t kStubBase = 0x00010000;  // import stubs and emulated helpers
inline constexpr uint32_t kStubSize = 0x00010000;
inline constexpr uint32_t kStaticBase = 0x00020000;  // the fakes' own objects and strings
inline constexpr uint32_t kStaticSize = 0x00040000;
inline constexpr uint32_t kGdtBase = 0x00060000;  // one descriptor: FS over the TEB
inline constexpr uint32_t kStackBase = 0x00100000;
inline constexpr uint32_t kStackSize = 0x00100000;
inline constexpr uint32_t kHostBase = 0x00300000;  // the caller's records and arrays
inline constexpr uint32_t kHostSize = 0x00100000;
inline constexpr uint32_t kHeapBase = 0x01000000;  // the DLL's malloc heap
inline constexpr uint32_t kHeapSize = 0x04000000;
inline constexpr uint32_t kTebAddress = 0x7FFDE000;
inline constexpr uint32_t kPebAddress = 0x7FFDF000;
// Stands for the host's executable, which is not itself emulated: what
// GetModuleHandle(NULL) answers.
inline constexpr uint32_t kHostModule = 0x00400000;
inline constexpr uint32_t kProcessId = 0x100;
inline constexpr uint32_t kThreadId = 0x104;

// Where an imported function takes its arguments from and who removes them.
enum class Convention { kStdcall, kCdecl };

class Machine;

// An imported function being called: its arguments on the emulated stack.
class ImportCall {
 public:
  ImportCall(Machine& m, uint32_t esp) : m_(m), esp_(esp) {}
  // The i-th 4-byte argument slot (0 is the first argument).
  uint32_t Arg(unsigned i) const;
  // The address of the i-th slot, for va_list-style access.
  uint32_t ArgAddress(unsigned i) const { return esp_ + 4 + 4 * i; }
  Machine& machine() const { return m_; }

 private:
  Machine& m_;
  uint32_t esp_;
};

// The fake of an imported function: returns what the function leaves in EAX.
// Throws EmuError for a call that cannot go on; the emulation stops there.
using ImportHandler = std::function<uint32_t(ImportCall&)>;

// How one import is provided: by a fake (handler, convention, argument
// bytes), by x86 code run in the emulator (for functions that call back into
// the DLL), or as data (the import is the address of a variable).
struct ImportDefinition {
  Convention convention = Convention::kCdecl;
  uint16_t argBytes = 0;
  ImportHandler handler;
  std::vector<uint8_t> code;
  std::function<uint32_t(Machine&)> data;
};

// Import definitions by "dll!function", dll in lower case.
using ImportTable = std::map<std::string, ImportDefinition>;
void AddCrtImports(ImportTable& table);
void AddWindowsImports(ImportTable& table);
// Makes the virtual tables of the DirectInput objects that the fakes hand out.
class Machine;
void SetUpDirectInput(Machine& m);

// A DirectInput object handed to the DLL.
struct ComObject {
  enum class Kind { kDirectInput, kKeyboard } kind = Kind::kDirectInput;
  uint32_t refs = 1;
  bool formatSet = false;
  bool acquired = false;
};

class Machine {
 public:
  Machine(const std::string& path, const EmulatorOptions& options);
  ~Machine();
  Machine(const Machine&) = delete;
  Machine& operator=(const Machine&) = delete;

  // Memory. Reads and writes of unmapped addresses throw EmuError.
  void Write(uint32_t address, const void* data, std::size_t size);
  void Read(uint32_t address, void* data, std::size_t size);
  uint32_t Read32(uint32_t address);
  void Write32(uint32_t address, uint32_t value);
  std::string ReadString(uint32_t address);      // NUL-terminated bytes
  std::u16string ReadWString(uint32_t address);  // NUL-terminated UTF-16

  // Zeroed storage that lives as long as the machine, for the fakes' objects.
  uint32_t StaticAlloc(uint32_t size);
  uint32_t StaticString(const std::string& text);
  uint32_t HostAlloc(uint32_t size);

  // The DLL's heap. Malloc returns 0 when the heap is exhausted, as malloc does.
  uint32_t Malloc(uint32_t size);
  void Free(uint32_t address);  // throws EmuError for a pointer not from Malloc
  uint32_t Realloc(uint32_t address, uint32_t size);
  HeapStats heap() const;

  // A stub in the stub area: when the DLL's code arrives at it, the handler
  // runs and the stub returns, removing the argument bytes for __stdcall.
  uint32_t AddStub(const std::string& name, Convention convention, uint16_t argBytes,
                   ImportHandler handler);
  // x86 code placed in the stub area and run as it is.
  uint32_t AddCode(const std::vector<uint8_t>& code);

  // Ends the emulated process: no code of the DLL runs after this.
  void EndProcess(int status);

  CallResult Call(uint32_t address, std::span<const uint8_t> args, uint32_t skew);
  void Unload();

  uint32_t base() const { return base_; }
  const PeImage& image() const { return image_; }
  bool processEnded() const { return exitStatus_.has_value(); }

  // Page protections as VirtualProtect names them, for VirtualQuery and
  // VirtualProtect. Returns the old protection of the first page.
  uint32_t Protect(uint32_t address, uint32_t size, uint32_t pageProtection);
  uint32_t Protection(uint32_t address) const;
  // The mapped region holding address: its base and size; nothing if unmapped.
  std::optional<std::pair<uint32_t, uint32_t>> Region(uint32_t address) const;

  FakeWindows windows;
  std::map<uint32_t, ComObject> comObjects;
  uint32_t directInputVtable = 0;
  uint32_t keyboardVtable = 0;
  uint32_t lastError = 0;

 private:
  struct Stub {
    std::string name;
    ImportHandler handler;
  };
  static void OnCode(uc_engine* uc, uint64_t address, uint32_t size, void* self);
  static bool OnInvalidMemory(uc_engine* uc, uc_mem_type type, uint64_t address, int size,
                              int64_t value, void* self);
  static void OnInterrupt(uc_engine* uc, uint32_t number, void* self);
  void Check(uc_err err, const char* what) const;
  void Map(uint32_t address, uint32_t size, uint32_t pageProtection);
  uint32_t Reg(int reg) const;
  void SetReg(int reg, uint32_t value);
  void SetUpThread();
  void LoadImage(const EmulatorOptions& options);
  void RunEntry(uint32_t reason);
  [[noreturn]] void Fail(const std::string& why);

  PeImage image_;
  uint64_t bound_;
  uc_engine* uc_ = nullptr;
  uc_hook codeHook_ = 0;
  uc_hook memHook_ = 0;
  uc_hook intHook_ = 0;
  uint32_t base_ = 0;
  uint32_t sentinel_ = 0;
  uint32_t stubNext_ = kStubBase;
  uint32_t staticNext_ = kStaticBase;
  uint32_t hostNext_ = kHostBase;
  std::unordered_map<uint32_t, Stub> stubs_;
  std::map<uint32_t, uint32_t> heapBlocks_;  // address -> size, the live blocks
  uint64_t allocations_ = 0;
  std::map<uint32_t, uint32_t> regions_;         // base -> size, every mapped region
  std::map<uint32_t, uint32_t> pageProtection_;  // page -> PAGE_* value
  std::optional<int> exitStatus_;
  std::optional<std::string> pendingError_;  // set inside a hook, thrown after it
  std::string fault_;                        // the invalid access seen last
  std::string broken_;                       // why no further call is possible
  bool attached_ = false;
};

}  // namespace atsemu

#endif  // ATSVORLAN800_EMU_MACHINE_H
