#include "emu/pe_emulator.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

#include "emu/machine.h"

namespace atsemu {

namespace {

// Reasons of a DLL's entry routine and of its thread-storage callbacks.
constexpr uint32_t kDllProcessDetach = 0;
constexpr uint32_t kDllProcessAttach = 1;
constexpr uint32_t kEntryArgBytes = 12;  // (instance, reason, reserved)

// Page protections as Windows names them.
constexpr uint32_t kPageNoAccess = 0x01;
constexpr uint32_t kPageReadOnly = 0x02;
constexpr uint32_t kPageReadWrite = 0x04;
constexpr uint32_t kPageWriteCopy = 0x08;
constexpr uint32_t kPageExecute = 0x10;
constexpr uint32_t kPageExecuteRead = 0x20;
constexpr uint32_t kPageExecuteReadWrite = 0x40;
constexpr uint32_t kPageExecuteWriteCopy = 0x80;

// Section characteristics.
constexpr uint32_t kScnExecute = 0x20000000;
constexpr uint32_t kScnRead = 0x40000000;
constexpr uint32_t kScnWrite = 0x80000000;

// The thread environment block: the fields that code reaching through FS
// may read.
constexpr uint32_t kTebExceptionList = 0x00;
constexpr uint32_t kTebStackBase = 0x04;
constexpr uint32_t kTebStackLimit = 0x08;
constexpr uint32_t kTebSelf = 0x18;
constexpr uint32_t kTebProcessId = 0x20;
constexpr uint32_t kTebThreadId = 0x24;
constexpr uint32_t kTebTlsPointer = 0x2C;
constexpr uint32_t kTebPeb = 0x30;
constexpr uint32_t kEndOfExceptionChain = 0xFFFFFFFF;
constexpr uint32_t kTlsIndexCount = 64;
constexpr uint32_t kMaxTlsCallbacks = 64;

// Segments, as a Windows thread sees them: flat 32-bit code and data over the
// whole address space, and FS over the TEB's page. Loading any selector makes
// the CPU recompute its mode from the descriptors, so all of them are loaded.
// Each descriptor is ring 0 and already marked accessed (loading an unmarked
// one makes the CPU write the mark into the read-only table, which derails
// the load).
constexpr uint16_t kCodeSelector = 1 << 3;
constexpr uint16_t kDataSelector = 2 << 3;
constexpr uint16_t kFsSelector = 3 << 3;
constexpr uint8_t kCodeSegmentAccess = 0x9B;  // present, ring 0, execute/read, accessed
constexpr uint8_t kDataSegmentAccess = 0x93;  // present, ring 0, read/write, accessed
constexpr uint8_t kFlat32 = 0xC;              // 4 KiB granularity, 32-bit
constexpr uint8_t kByte32 = 0x4;              // byte granularity, 32-bit

constexpr uint64_t Descriptor(uint32_t base, uint32_t limit, uint8_t access, uint8_t flags) {
  return (uint64_t{limit} & 0xFFFF) | ((uint64_t{base} & 0xFFFFFF) << 16) |
         (uint64_t{access} << 40) | ((uint64_t{limit} >> 16 & 0xF) << 48) |
         (uint64_t{flags} << 52) | (uint64_t{base} >> 24 << 56);
}

// Control registers: floating point and SSE enabled, as Windows runs code.
constexpr uint32_t kCr0MonitorCoprocessor = 1u << 1;
constexpr uint32_t kCr0Emulation = 1u << 2;
constexpr uint32_t kCr4OsFxsr = 1u << 9;
constexpr uint32_t kCr4OsXmmExcept = 1u << 10;
// x87 control word of a Windows thread: all exceptions masked, 53-bit
// precision, round to nearest. MXCSR: all masked, round to nearest, no
// flush-to-zero, no denormals-are-zero.
constexpr uint32_t kWindowsFpuControl = 0x027F;
constexpr uint32_t kDefaultMxcsr = 0x1F80;

// Values left in the registers a callee must keep, checked after the call.
constexpr uint32_t kEbxCanary = 0xB0B0B0B0;
constexpr uint32_t kEsiCanary = 0x51515151;
constexpr uint32_t kEdiCanary = 0xD1D1D1D1;
constexpr uint32_t kEbpCanary = 0xBEBEBEBE;
constexpr uint32_t kStackHeadroom = 0x1000;  // above the arguments, never touched

// The heap marks what it hands out and takes back, so that reading storage
// before writing it, or after freeing it, gives values no correct code relies
// on; a guard after each block shows a write past its end when it is freed.
constexpr uint32_t kHeapAlign = 16;
constexpr uint32_t kHeapGuard = 16;
constexpr uint8_t kFreshFill = 0xCD;
constexpr uint8_t kFreedFill = 0xDD;
constexpr uint8_t kGuardFill = 0xFD;

constexpr uint32_t kStubSlot = 16;
constexpr uint8_t kRet = 0xC3;
constexpr uint8_t kRetImm16 = 0xC2;
constexpr uint8_t kHlt = 0xF4;

uint32_t AlignUp(uint32_t v, uint32_t a) { return (v + a - 1) / a * a; }

std::string Hex(uint64_t v) {
  char text[24];
  std::snprintf(text, sizeof text, "0x%08llx", static_cast<unsigned long long>(v));
  return text;
}

uint32_t UnicornProtection(uint32_t page) {
  switch (page) {
    case kPageNoAccess:
      return UC_PROT_NONE;
    case kPageReadOnly:
      return UC_PROT_READ;
    case kPageReadWrite:
    case kPageWriteCopy:
      return UC_PROT_READ | UC_PROT_WRITE;
    case kPageExecute:
    case kPageExecuteRead:
      return UC_PROT_READ | UC_PROT_EXEC;
    case kPageExecuteReadWrite:
    case kPageExecuteWriteCopy:
      return UC_PROT_ALL;
    default:
      throw EmuError("unknown page protection " + Hex(page));
  }
}

uint32_t SectionProtection(uint32_t characteristics) {
  const bool x = (characteristics & kScnExecute) != 0;
  const bool w = (characteristics & kScnWrite) != 0;
  const bool r = (characteristics & kScnRead) != 0;
  if (x) return w ? kPageExecuteReadWrite : kPageExecuteRead;
  if (w) return kPageReadWrite;
  return r ? kPageReadOnly : kPageNoAccess;
}

}  // namespace

uint32_t ImportCall::Arg(unsigned i) const { return m_.Read32(ArgAddress(i)); }

Machine::Machine(const std::string& path, const EmulatorOptions& options)
    : image_(PeImage::Load(path)), bound_(options.instructionBound) {
  if (!image_.isDll()) throw EmuError("'" + path + "' is not a DLL");
  Check(uc_open(UC_ARCH_X86, UC_MODE_32, &uc_), "uc_open");
  try {
    Map(kStubBase, kStubSize, kPageExecuteRead);
    Map(kStaticBase, kStaticSize, kPageReadWrite);
    Map(kStackBase, kStackSize, kPageReadWrite);
    Map(kHostBase, kHostSize, kPageReadWrite);
    Map(kHeapBase, kHeapSize, kPageReadWrite);
    Check(uc_hook_add(uc_, &codeHook_, UC_HOOK_CODE, reinterpret_cast<void*>(&Machine::OnCode),
                      this, kStubBase, kStubBase + kStubSize - 1),
          "code hook");
    Check(uc_hook_add(uc_, &memHook_, UC_HOOK_MEM_INVALID,
                      reinterpret_cast<void*>(&Machine::OnInvalidMemory), this, 1, 0),
          "memory hook");
    Check(uc_hook_add(uc_, &intHook_, UC_HOOK_INTR, reinterpret_cast<void*>(&Machine::OnInterrupt),
                      this, 1, 0),
          "interrupt hook");
    // Every call returns here; the emulation stops on arriving.
    sentinel_ = AddCode({kHlt});
    SetUpThread();
    LoadImage(options);
    SetUpDirectInput(*this);
    RunEntry(kDllProcessAttach);
    attached_ = true;
  } catch (...) {
    uc_close(uc_);
    throw;
  }
}

Machine::~Machine() { uc_close(uc_); }

void Machine::Check(uc_err err, const char* what) const {
  if (err != UC_ERR_OK) throw EmuError(std::string(what) + ": " + uc_strerror(err));
}

void Machine::Fail(const std::string& why) {
  broken_ = why;
  throw EmuError(why);
}

void Machine::Map(uint32_t address, uint32_t size, uint32_t pageProtection) {
  if (uc_err err = uc_mem_map(uc_, address, size, UnicornProtection(pageProtection));
      err != UC_ERR_OK) {
    throw EmuError("mapping " + std::to_string(size) + " bytes at " + Hex(address) + ": " +
                   uc_strerror(err));
  }
  regions_[address] = size;
  for (uint32_t p = address; p - address < size; p += kPageSize) {
    pageProtection_[p] = pageProtection;
  }
}

uint32_t Machine::Reg(int reg) const {
  uint32_t v = 0;
  uc_reg_read(uc_, reg, &v);
  return v;
}

void Machine::SetReg(int reg, uint32_t value) { Check(uc_reg_write(uc_, reg, &value), "register"); }

void Machine::Write(uint32_t address, const void* data, std::size_t size) {
  if (size == 0) return;
  if (uc_mem_write(uc_, address, data, size) != UC_ERR_OK) {
    throw EmuError("write of " + std::to_string(size) + " bytes at unmapped " + Hex(address));
  }
}

void Machine::Read(uint32_t address, void* data, std::size_t size) {
  if (size == 0) return;
  if (uc_mem_read(uc_, address, data, size) != UC_ERR_OK) {
    throw EmuError("read of " + std::to_string(size) + " bytes at unmapped " + Hex(address));
  }
}

uint32_t Machine::Read32(uint32_t address) {
  uint32_t v;
  Read(address, &v, sizeof v);
  return v;
}

void Machine::Write32(uint32_t address, uint32_t value) { Write(address, &value, sizeof value); }

std::string Machine::ReadString(uint32_t address) {
  std::string s;
  for (;;) {
    char c;
    Read(address + static_cast<uint32_t>(s.size()), &c, 1);
    if (c == 0) return s;
    s.push_back(c);
  }
}

std::u16string Machine::ReadWString(uint32_t address) {
  std::u16string s;
  for (;;) {
    char16_t c;
    Read(address + 2 * static_cast<uint32_t>(s.size()), &c, 2);
    if (c == 0) return s;
    s.push_back(c);
  }
}

uint32_t Machine::StaticAlloc(uint32_t size) {
  const uint32_t at = AlignUp(staticNext_, kHeapAlign);
  if (size > kStaticBase + kStaticSize - at) throw EmuError("the fakes' static storage is full");
  staticNext_ = at + size;
  return at;
}

uint32_t Machine::StaticString(const std::string& text) {
  const uint32_t at = StaticAlloc(static_cast<uint32_t>(text.size()) + 1);
  Write(at, text.c_str(), text.size() + 1);
  return at;
}

uint32_t Machine::HostAlloc(uint32_t size) {
  const uint32_t at = AlignUp(hostNext_, kHeapAlign);
  if (size > kHostBase + kHostSize - at) throw EmuError("the caller's emulated storage is full");
  hostNext_ = at + size;
  return at;
}

uint32_t Machine::Malloc(uint32_t size) {
  const uint32_t want = AlignUp(std::max<uint32_t>(size, 1), kHeapAlign) + kHeapGuard;
  if (size > kHeapSize) return 0;
  // First fit between the live blocks, in address order.
  uint32_t at = kHeapBase;
  for (const auto& [block, blockSize] : heapBlocks_) {
    if (block - at >= want) break;
    at = block + AlignUp(std::max<uint32_t>(blockSize, 1), kHeapAlign) + kHeapGuard;
  }
  if (want > kHeapBase + kHeapSize - at) return 0;
  heapBlocks_[at] = size;
  ++allocations_;
  std::vector<uint8_t> fill(want, kGuardFill);
  std::fill_n(fill.begin(), size, kFreshFill);
  Write(at, fill.data(), fill.size());
  return at;
}

void Machine::Free(uint32_t address) {
  if (address == 0) return;
  auto it = heapBlocks_.find(address);
  if (it == heapBlocks_.end()) {
    throw EmuError("free(" + Hex(address) + "): not a live block of malloc (freed twice?)");
  }
  const uint32_t size = it->second;
  const uint32_t span = AlignUp(std::max<uint32_t>(size, 1), kHeapAlign) + kHeapGuard;
  std::vector<uint8_t> guard(span - size);
  Read(address + size, guard.data(), guard.size());
  if (std::any_of(guard.begin(), guard.end(), [](uint8_t b) { return b != kGuardFill; })) {
    throw EmuError("heap block " + Hex(address) + " of " + std::to_string(size) +
                   " bytes was written past its end");
  }
  std::vector<uint8_t> fill(span, kFreedFill);
  Write(address, fill.data(), fill.size());
  heapBlocks_.erase(it);
}

uint32_t Machine::Realloc(uint32_t address, uint32_t size) {
  if (address == 0) return Malloc(size);
  auto it = heapBlocks_.find(address);
  if (it == heapBlocks_.end()) {
    throw EmuError("realloc(" + Hex(address) + "): not a live block of malloc");
  }
  if (size == 0) {
    Free(address);
    return 0;
  }
  const uint32_t old = it->second;
  const uint32_t fresh = Malloc(size);
  if (fresh == 0) return 0;  // the old block stays as it was
  std::vector<uint8_t> keep(std::min(old, size));
  Read(address, keep.data(), keep.size());
  Write(fresh, keep.data(), keep.size());
  Free(address);
  return fresh;
}

HeapStats Machine::heap() const {
  HeapStats s;
  s.liveBlocks = static_cast<uint32_t>(heapBlocks_.size());
  for (const auto& [block, size] : heapBlocks_) s.liveBytes += size;
  s.allocations = allocations_;
  return s;
}

uint32_t Machine::AddStub(const std::string& name, Convention convention, uint16_t argBytes,
                          ImportHandler handler) {
  std::vector<uint8_t> ret;
  if (convention == Convention::kStdcall && argBytes > 0) {
    ret = {kRetImm16, static_cast<uint8_t>(argBytes & 0xFF), static_cast<uint8_t>(argBytes >> 8)};
  } else {
    ret = {kRet};
  }
  const uint32_t at = AddCode(ret);
  stubs_[at] = Stub{name, std::move(handler)};
  return at;
}

uint32_t Machine::AddCode(const std::vector<uint8_t>& code) {
  const uint32_t at = stubNext_;
  const uint32_t size = AlignUp(static_cast<uint32_t>(code.size()), kStubSlot);
  if (size > kStubBase + kStubSize - at) throw EmuError("the stub area is full");
  Write(at, code.data(), code.size());
  stubNext_ = at + size;
  return at;
}

void Machine::OnCode(uc_engine* uc, uint64_t address, uint32_t /*size*/, void* self) {
  auto* m = static_cast<Machine*>(self);
  auto it = m->stubs_.find(static_cast<uint32_t>(address));
  if (it == m->stubs_.end()) return;  // emulated helper code, or the sentinel
  // No exception may cross the emulator's C frames: an error is kept and
  // thrown once the emulation has stopped.
  try {
    ImportCall call(*m, m->Reg(UC_X86_REG_ESP));
    const uint32_t eax = it->second.handler(call);
    m->SetReg(UC_X86_REG_EAX, eax);
  } catch (const std::exception& e) {
    m->pendingError_ = it->second.name + ": " + e.what();
  }
  if (m->pendingError_ || m->exitStatus_) uc_emu_stop(uc);
}

bool Machine::OnInvalidMemory(uc_engine* /*uc*/, uc_mem_type type, uint64_t address, int size,
                              int64_t /*value*/, void* self) {
  auto* m = static_cast<Machine*>(self);
  const char* what = "access";
  switch (type) {
    case UC_MEM_READ_UNMAPPED:
      what = "read of unmapped memory";
      break;
    case UC_MEM_WRITE_UNMAPPED:
      what = "write to unmapped memory";
      break;
    case UC_MEM_FETCH_UNMAPPED:
      what = "jump to unmapped memory";
      break;
    case UC_MEM_READ_PROT:
      what = "read of unreadable memory";
      break;
    case UC_MEM_WRITE_PROT:
      what = "write to read-only memory";
      break;
    case UC_MEM_FETCH_PROT:
      what = "execution of non-executable memory";
      break;
    default:
      break;
  }
  m->fault_ = std::string(what) + " at " + Hex(address) + " (" + std::to_string(size) + " bytes)";
  return false;  // not handled: the emulation stops with an error
}

void Machine::OnInterrupt(uc_engine* uc, uint32_t number, void* self) {
  auto* m = static_cast<Machine*>(self);
  m->pendingError_ = "CPU exception " + std::to_string(number) + " at EIP " +
                     Hex(m->Reg(UC_X86_REG_EIP)) +
                     (number == 0   ? " (divide error)"
                      : number == 3 ? " (breakpoint)"
                                    : "");
  uc_emu_stop(uc);
}

void Machine::SetUpThread() {
  // Floating point as a Windows thread has it.
  SetReg(UC_X86_REG_CR0, (Reg(UC_X86_REG_CR0) | kCr0MonitorCoprocessor) & ~kCr0Emulation);
  SetReg(UC_X86_REG_CR4, Reg(UC_X86_REG_CR4) | kCr4OsFxsr | kCr4OsXmmExcept);
  SetReg(UC_X86_REG_FPCW, kWindowsFpuControl);
  SetReg(UC_X86_REG_MXCSR, kDefaultMxcsr);

  Map(kTebAddress, kPageSize, kPageReadWrite);
  Map(kPebAddress, kPageSize, kPageReadWrite);
  Write32(kTebAddress + kTebExceptionList, kEndOfExceptionChain);
  Write32(kTebAddress + kTebStackBase, kStackBase + kStackSize);
  Write32(kTebAddress + kTebStackLimit, kStackBase);
  Write32(kTebAddress + kTebSelf, kTebAddress);
  Write32(kTebAddress + kTebProcessId, kProcessId);
  Write32(kTebAddress + kTebThreadId, kThreadId);
  Write32(kTebAddress + kTebPeb, kPebAddress);

  Map(kGdtBase, kPageSize, kPageReadOnly);
  const uint64_t gdt[] = {0, Descriptor(0, 0xFFFFF, kCodeSegmentAccess, kFlat32),
                          Descriptor(0, 0xFFFFF, kDataSegmentAccess, kFlat32),
                          Descriptor(kTebAddress, kPageSize - 1, kDataSegmentAccess, kByte32)};
  Write(kGdtBase, gdt, sizeof gdt);
  uc_x86_mmr gdtr{};
  gdtr.base = kGdtBase;
  gdtr.limit = sizeof gdt - 1;
  Check(uc_reg_write(uc_, UC_X86_REG_GDTR, &gdtr), "GDTR");
  for (int reg : {UC_X86_REG_SS, UC_X86_REG_DS, UC_X86_REG_ES, UC_X86_REG_GS}) {
    SetReg(reg, kDataSelector);
  }
  SetReg(UC_X86_REG_CS, kCodeSelector);
  SetReg(UC_X86_REG_FS, kFsSelector);
}

void Machine::LoadImage(const EmulatorOptions& options) {
  base_ = options.loadBase != 0 ? options.loadBase : image_.imageBase();
  if (base_ % 0x10000 != 0) throw EmuError("a DLL is loaded at a 64 KiB boundary");
  const uint32_t size = AlignUp(image_.imageSize(), kPageSize);
  Map(base_, size, kPageReadWrite);
  const std::vector<uint8_t> laid = image_.Layout(base_);
  Write(base_, laid.data(), laid.size());

  // Imports: each slot of the address table gets its fake's address.
  ImportTable table;
  AddCrtImports(table);
  AddWindowsImports(table);
  for (const std::string& key : options.withheldFakes) table.erase(key);
  std::map<std::string, uint32_t> resolved;
  for (const PeImport& imp : image_.imports()) {
    std::string dll = imp.dll;
    std::transform(dll.begin(), dll.end(), dll.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    const std::string key = dll + "!" + imp.name;
    uint32_t address = 0;
    if (auto r = resolved.find(key); r != resolved.end()) {
      address = r->second;
    } else if (auto d = table.find(key); d == table.end()) {
      // Loading is fine; only a call is an error.
      address = AddStub(key, Convention::kCdecl, 0, [key](ImportCall&) -> uint32_t {
        throw EmuError("imported function " + key + " has no fake; add one to the emulator");
      });
    } else if (d->second.data) {
      address = d->second.data(*this);
    } else if (!d->second.code.empty()) {
      address = AddCode(d->second.code);
    } else {
      address = AddStub(key, d->second.convention, d->second.argBytes, d->second.handler);
    }
    resolved[key] = address;
    Write32(base_ + imp.iatRva, address);
  }

  // Thread storage: the one thread's copy of the template, index 0.
  if (const auto& tls = image_.tls()) {
    const uint32_t delta = base_ - image_.imageBase();
    const uint32_t start = tls->rawDataStart + delta;
    const uint32_t end = tls->rawDataEnd + delta;
    if (end < start) throw EmuError("thread-storage template ends before it starts");
    std::vector<uint8_t> block(end - start + tls->zeroFill, 0);
    Read(start, block.data(), end - start);
    const uint32_t copy = StaticAlloc(static_cast<uint32_t>(block.size()));
    Write(copy, block.data(), block.size());
    const uint32_t slots = StaticAlloc(4 * kTlsIndexCount);
    Write32(slots, copy);
    Write32(kTebAddress + kTebTlsPointer, slots);
    if (tls->indexAddress != 0) Write32(tls->indexAddress + delta, 0);
  }

  // Then the sections' own protections; the headers are read-only.
  Protect(base_, image_.sections().empty() ? size : image_.sections().front().rva, kPageReadOnly);
  for (const PeSection& s : image_.sections()) {
    const uint32_t extent = AlignUp(std::max(s.virtualSize, s.rawSize), kPageSize);
    if (extent > 0) Protect(base_ + s.rva, extent, SectionProtection(s.characteristics));
  }
}

void Machine::RunEntry(uint32_t reason) {
  StackArgs args;
  args.Word(base_).Word(reason).Word(0);  // reserved 0: a dynamic load and unload
  std::vector<uint32_t> callbacks;
  if (const auto& tls = image_.tls(); tls && tls->callbacksAddress != 0) {
    const uint32_t list = tls->callbacksAddress + (base_ - image_.imageBase());
    for (uint32_t i = 0; i < kMaxTlsCallbacks; ++i) {
      const uint32_t cb = Read32(list + 4 * i);
      if (cb == 0) break;
      callbacks.push_back(cb);
    }
  }
  auto run = [&](uint32_t address, const char* what) {
    const CallResult r = Call(address, args.bytes(), 0);
    if (r.processEnded) Fail(std::string(what) + " ended the process");
    if (r.bytesRemoved != kEntryArgBytes) {
      Fail(std::string(what) + " removed " + std::to_string(r.bytesRemoved) +
           " argument bytes, not 12");
    }
    return r.eax;
  };
  // The loader runs the thread-storage callbacks before the entry routine at
  // attach, and after it at detach.
  if (reason == kDllProcessAttach) {
    for (uint32_t cb : callbacks) run(cb, "thread-storage callback");
  }
  if (image_.entryRva() != 0) {
    const uint32_t ok = run(base_ + image_.entryRva(), "the DLL's entry routine");
    if (reason == kDllProcessAttach && ok == 0) Fail("the DLL's entry routine refused to load");
  }
  if (reason == kDllProcessDetach) {
    for (uint32_t cb : callbacks) run(cb, "thread-storage callback");
  }
}

void Machine::Unload() {
  if (!attached_) return;
  attached_ = false;
  if (exitStatus_ || !broken_.empty()) return;
  RunEntry(kDllProcessDetach);
  broken_ = "the DLL has been unloaded";
}

void Machine::EndProcess(int status) { exitStatus_ = status; }

CallResult Machine::Call(uint32_t address, std::span<const uint8_t> args, uint32_t skew) {
  if (exitStatus_) {
    throw EmuError("the process ended (exit status " + std::to_string(*exitStatus_) +
                   "); nothing can be called");
  }
  if (!broken_.empty()) throw EmuError("no call is possible: " + broken_);
  if (args.size() % 4 != 0 || args.size() > kStackSize / 2 || skew >= kStackHeadroom) {
    throw EmuError("a call's arguments fill whole 4-byte slots on the stack");
  }
  const uint32_t top = kStackBase + kStackSize - kStackHeadroom - skew;
  const uint32_t argStart = top - static_cast<uint32_t>(args.size());
  Write(argStart, args.data(), args.size());
  Write32(argStart - 4, sentinel_);
  SetReg(UC_X86_REG_ESP, argStart - 4);
  SetReg(UC_X86_REG_EBX, kEbxCanary);
  SetReg(UC_X86_REG_ESI, kEsiCanary);
  SetReg(UC_X86_REG_EDI, kEdiCanary);
  SetReg(UC_X86_REG_EBP, kEbpCanary);
  SetReg(UC_X86_REG_EFLAGS, 0x2);  // direction flag clear, as every call expects

  pendingError_.reset();
  fault_.clear();
  const uc_err err = uc_emu_start(uc_, address, sentinel_, 0, bound_);
  CallResult result;
  if (exitStatus_) {
    result.processEnded = true;
    result.exitStatus = *exitStatus_;
    return result;
  }
  const uint32_t eip = Reg(UC_X86_REG_EIP);
  if (pendingError_) Fail(*pendingError_);
  if (err != UC_ERR_OK) {
    Fail(std::string(uc_strerror(err)) + " at EIP " + Hex(eip) +
         (fault_.empty() ? "" : ": " + fault_));
  }
  if (eip != sentinel_) {
    Fail("the call of " + Hex(address) + " ran " + std::to_string(bound_) +
         " instructions without returning (EIP " + Hex(eip) + ")");
  }
  result.eax = Reg(UC_X86_REG_EAX);
  result.bytesRemoved = int64_t{Reg(UC_X86_REG_ESP)} - int64_t{argStart};
  const struct {
    int reg;
    uint32_t canary;
    const char* name;
  } kept[] = {{UC_X86_REG_EBX, kEbxCanary, "EBX"},
              {UC_X86_REG_ESI, kEsiCanary, "ESI"},
              {UC_X86_REG_EDI, kEdiCanary, "EDI"},
              {UC_X86_REG_EBP, kEbpCanary, "EBP"}};
  for (const auto& k : kept) {
    if (Reg(k.reg) != k.canary) {
      Fail("the call of " + Hex(address) + " did not keep its caller's " + k.name);
    }
  }
  return result;
}

uint32_t Machine::Protect(uint32_t address, uint32_t size, uint32_t pageProtection) {
  const uint32_t first = address / kPageSize * kPageSize;
  const uint64_t end = AlignUp(address + size, kPageSize);
  for (uint64_t p = first; p < end; p += kPageSize) {
    if (!pageProtection_.contains(static_cast<uint32_t>(p))) {
      throw EmuError("protection change of unmapped page " + Hex(p));
    }
  }
  const uint32_t old = pageProtection_[first];
  Check(uc_mem_protect(uc_, first, end - first, UnicornProtection(pageProtection)),
        "uc_mem_protect");
  for (uint64_t p = first; p < end; p += kPageSize) {
    pageProtection_[static_cast<uint32_t>(p)] = pageProtection;
  }
  return old;
}

uint32_t Machine::Protection(uint32_t address) const {
  auto it = pageProtection_.find(address / kPageSize * kPageSize);
  return it == pageProtection_.end() ? 0 : it->second;
}

std::optional<std::pair<uint32_t, uint32_t>> Machine::Region(uint32_t address) const {
  auto it = regions_.upper_bound(address);
  if (it == regions_.begin()) return std::nullopt;
  --it;
  if (address - it->first >= it->second) return std::nullopt;
  return *it;
}

// The public face.

PeEmulator::PeEmulator(const std::string& path, const EmulatorOptions& options)
    : machine_(std::make_unique<Machine>(path, options)) {}

PeEmulator::~PeEmulator() {
  try {
    machine_->Unload();
  } catch (const std::exception&) {
    // A failure at unload has nowhere to go from a destructor; Unload()
    // called directly reports it.
  }
}

void PeEmulator::Unload() { machine_->Unload(); }

uint32_t PeEmulator::base() const { return machine_->base(); }

std::optional<uint32_t> PeEmulator::FindExport(std::string_view name) const {
  const auto& exports = machine_->image().exports();
  auto it = exports.find(std::string(name));
  if (it == exports.end()) return std::nullopt;
  return machine_->base() + it->second;
}

uint32_t PeEmulator::Export(std::string_view name) const {
  if (auto a = FindExport(name)) return *a;
  throw EmuError("the DLL exports no function named '" + std::string(name) + "'");
}

std::map<std::string, uint32_t> PeEmulator::Exports() const {
  std::map<std::string, uint32_t> all;
  for (const auto& [name, rva] : machine_->image().exports()) all[name] = machine_->base() + rva;
  return all;
}

CallResult PeEmulator::CallStdcall(uint32_t address, std::span<const uint8_t> args, uint32_t skew) {
  return machine_->Call(address, args, skew);
}

uint32_t PeEmulator::HostAlloc(uint32_t size) { return machine_->HostAlloc(size); }

void PeEmulator::Write(uint32_t address, const void* data, std::size_t size) {
  machine_->Write(address, data, size);
}

void PeEmulator::Read(uint32_t address, void* data, std::size_t size) const {
  machine_->Read(address, data, size);
}

FakeWindows& PeEmulator::windows() { return machine_->windows; }

HeapStats PeEmulator::heap() const { return machine_->heap(); }

bool PeEmulator::processEnded() const { return machine_->processEnded(); }

}  // namespace atsemu
