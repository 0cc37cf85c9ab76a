// Fakes of the C runtime (msvcrt.dll) and of KERNEL32.dll functions that a
// statically linked MinGW DLL imports: memory and strings, its start-up and
// locks, console output, and the process-wide services that its runtime
// support asks for (critical sections, thread storage, module queries).
//
// The DLL runs on one emulated thread, so locks and semaphores have nothing to
// wait for. Functions that look for optional DLLs (LoadLibraryA,
// GetProcAddress, GetModuleHandleA of another name) find none, and the
// runtime then uses its own built-in code.
#include <array>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "emu/machine.h"

namespace atsemu {
namespace {

constexpr uint32_t kFileRecordSize = 32;  // sizeof(FILE) in msvcrt
constexpr uint32_t kStreamCount = 3;      // stdin, stdout, stderr
constexpr uint32_t kMbCurMax = 1;         // single-byte code page
constexpr int kCharMax = 127;             // lconv's "not available"
constexpr uint32_t kErrorModNotFound = 126;
constexpr uint32_t kErrorProcNotFound = 127;
constexpr uint32_t kErrorInvalidAddress = 487;
constexpr uint32_t kWaitObject0 = 0;
constexpr uint32_t kMemCommit = 0x1000;
constexpr uint32_t kMemImage = 0x1000000;
constexpr uint32_t kMemPrivate = 0x20000;
constexpr uint32_t kTebTlsSlots = 0xE10;  // 64 thread-storage slots in the TEB
constexpr uint32_t kTlsSlotCount = 64;
constexpr uint32_t kTlsOutOfIndexes = 0xFFFFFFFF;
constexpr uint32_t kFirstHandle = 0x1000;
constexpr uint32_t kMaxCopy = 64u << 20;  // larger than any memory the DLL has

// _initterm(begin, end): calls each non-null function pointer in [begin, end).
// It calls back into the DLL, so it runs as x86 code:
//   push esi; push edi; mov esi,[esp+12]; mov edi,[esp+16]
//   loop: cmp esi,edi; jae done; mov eax,[esi]; test eax,eax; jz next; call eax
//   next: add esi,4; jmp loop
//   done: pop edi; pop esi; ret
const std::vector<uint8_t> kInittermCode = {
    0x56, 0x57, 0x8B, 0x74, 0x24, 0x0C, 0x8B, 0x7C, 0x24, 0x10, 0x39, 0xFE, 0x73, 0x0D, 0x8B,
    0x06, 0x85, 0xC0, 0x74, 0x02, 0xFF, 0xD0, 0x83, 0xC6, 0x04, 0xEB, 0xEF, 0x5F, 0x5E, 0xC3};

// Per-machine state of the C runtime fakes.
struct CrtState {
  uint32_t iob = 0;  // the three FILE records
  uint32_t errnoCell = 0;
  uint32_t mbCurMax = 0;
  uint32_t lconv = 0;
  uint32_t cLocale = 0;
  uint32_t errorText = 0;
  uint32_t nextHandle = kFirstHandle;
};

ImportDefinition Cdecl(ImportHandler h) {
  ImportDefinition d;
  d.convention = Convention::kCdecl;
  d.handler = std::move(h);
  return d;
}

ImportDefinition Stdcall(uint16_t argBytes, ImportHandler h) {
  ImportDefinition d;
  d.convention = Convention::kStdcall;
  d.argBytes = argBytes;
  d.handler = std::move(h);
  return d;
}

void CheckSize(uint32_t n) {
  if (n > kMaxCopy) throw EmuError("a copy of " + std::to_string(n) + " bytes");
}

std::vector<uint8_t> ReadBytes(Machine& m, uint32_t address, uint32_t n) {
  CheckSize(n);
  std::vector<uint8_t> bytes(n);
  m.Read(address, bytes.data(), n);
  return bytes;
}

// Writing to a stream: stdout and stderr go to the console record; anything
// else is not a stream this runtime opened.
void Print(const std::shared_ptr<CrtState>& crt, Machine& m, uint32_t file,
           const std::string& text) {
  const uint32_t index = (file - crt->iob) / kFileRecordSize;
  if (crt->iob == 0 || file < crt->iob || index >= kStreamCount ||
      (file - crt->iob) % kFileRecordSize != 0 || index == 0) {
    throw EmuError("output to a FILE that is neither stdout nor stderr");
  }
  m.windows.consoleOutput += text;
}

// The printf conversions that the runtime's own messages use; each is
// formatted by the host's printf with the same flags, width and precision.
std::string Format(Machine& m, const std::string& format, uint32_t args) {
  std::string out;
  auto next32 = [&] {
    const uint32_t v = m.Read32(args);
    args += 4;
    return v;
  };
  for (std::size_t i = 0; i < format.size(); ++i) {
    if (format[i] != '%') {
      out.push_back(format[i]);
      continue;
    }
    std::string spec = "%";
    ++i;
    while (i < format.size() && std::strchr("-+ #0", format[i]) != nullptr) spec += format[i++];
    for (int part = 0; part < 2; ++part) {  // width, then precision
      if (part == 1) {
        if (i >= format.size() || format[i] != '.') break;
        spec += format[i++];
      }
      if (i < format.size() && format[i] == '*') {
        spec += std::to_string(static_cast<int32_t>(next32()));
        ++i;
      }
      while (i < format.size() && std::isdigit(static_cast<unsigned char>(format[i]))) {
        spec += format[i++];
      }
    }
    bool wide = false;
    while (i < format.size() && std::strchr("hlLI64", format[i]) != nullptr) {
      if (format.compare(i, 3, "I64") == 0 || format.compare(i, 2, "ll") == 0) wide = true;
      i += format.compare(i, 3, "I64") == 0 ? 3 : 1;
    }
    if (i >= format.size()) break;
    const char c = format[i];
    char buffer[512];
    buffer[0] = 0;
    if (c == '%') {
      out.push_back('%');
      continue;
    } else if (c == 's') {
      const uint32_t p = next32();
      const std::string s = p == 0 ? "(null)" : m.ReadString(p);
      std::snprintf(buffer, sizeof buffer, (spec + "s").c_str(), s.c_str());
    } else if (std::strchr("dicouxXp", c) != nullptr) {
      uint64_t v = next32();
      if (wide) v |= uint64_t{next32()} << 32;
      const char* kind = std::strchr("di", c) != nullptr ? "lld" : nullptr;
      if (c == 'c') {
        std::snprintf(buffer, sizeof buffer, (spec + "c").c_str(), static_cast<int>(v));
      } else if (c == 'p') {
        std::snprintf(buffer, sizeof buffer, "%08X", static_cast<uint32_t>(v));
      } else if (kind != nullptr) {
        const int64_t s = wide ? static_cast<int64_t>(v) : int64_t{static_cast<int32_t>(v)};
        std::snprintf(buffer, sizeof buffer, (spec + kind).c_str(), static_cast<long long>(s));
      } else {
        std::snprintf(buffer, sizeof buffer, (spec + "ll" + c).c_str(),
                      static_cast<unsigned long long>(v));
      }
    } else if (std::strchr("eEfgGaA", c) != nullptr) {
      double d;
      const uint64_t bits = next32() | (uint64_t{next32()} << 32);
      std::memcpy(&d, &bits, sizeof d);
      std::snprintf(buffer, sizeof buffer, (spec + c).c_str(), d);
    } else {
      throw EmuError(std::string("printf conversion %") + c + " is not supported");
    }
    out += buffer;
  }
  return out;
}

uint32_t ModuleHandle(Machine& m, const std::string& name) {
  std::string lower;
  for (char c : name)
    lower.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(c))));
  std::string own;
  for (char c : m.image().exportName()) {
    own.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(c))));
  }
  if (!own.empty() && (lower == own || lower + ".dll" == own)) return m.base();
  m.lastError = kErrorModNotFound;
  return 0;
}

// Variables the DLL reaches through its import table.
void AddVariables(ImportTable& t, const std::shared_ptr<CrtState>& crt) {
  ImportDefinition iob;
  iob.data = [crt](Machine& m) {
    if (crt->iob == 0) crt->iob = m.StaticAlloc(kFileRecordSize * kStreamCount);
    return crt->iob;
  };
  t["msvcrt.dll!_iob"] = iob;
  ImportDefinition mbCurMax;
  mbCurMax.data = [crt](Machine& m) {
    if (crt->mbCurMax == 0) {
      crt->mbCurMax = m.StaticAlloc(4);
      m.Write32(crt->mbCurMax, kMbCurMax);
    }
    return crt->mbCurMax;
  };
  t["msvcrt.dll!__mb_cur_max"] = mbCurMax;
}

// The heap.
void AddHeap(ImportTable& t) {
  t["msvcrt.dll!malloc"] = Cdecl([](ImportCall& c) { return c.machine().Malloc(c.Arg(0)); });
  t["msvcrt.dll!calloc"] = Cdecl([](ImportCall& c) -> uint32_t {
    const uint64_t n = uint64_t{c.Arg(0)} * c.Arg(1);
    if (n > UINT32_MAX) return 0;  // the product overflows: no storage
    const uint32_t p = c.machine().Malloc(static_cast<uint32_t>(n));
    if (p != 0) {
      const std::vector<uint8_t> zero(n, 0);
      c.machine().Write(p, zero.data(), zero.size());
    }
    return p;
  });
  t["msvcrt.dll!realloc"] =
      Cdecl([](ImportCall& c) { return c.machine().Realloc(c.Arg(0), c.Arg(1)); });
  t["msvcrt.dll!free"] = Cdecl([](ImportCall& c) -> uint32_t {
    c.machine().Free(c.Arg(0));
    return 0;
  });
}

// Memory and strings.
void AddMemoryAndStrings(ImportTable& t, const std::shared_ptr<CrtState>& crt) {
  t["msvcrt.dll!memcpy"] = Cdecl([](ImportCall& c) {
    const auto bytes = ReadBytes(c.machine(), c.Arg(1), c.Arg(2));
    c.machine().Write(c.Arg(0), bytes.data(), bytes.size());
    return c.Arg(0);
  });
  t["msvcrt.dll!memset"] = Cdecl([](ImportCall& c) {
    CheckSize(c.Arg(2));
    const std::vector<uint8_t> fill(c.Arg(2), static_cast<uint8_t>(c.Arg(1)));
    c.machine().Write(c.Arg(0), fill.data(), fill.size());
    return c.Arg(0);
  });
  t["msvcrt.dll!strlen"] = Cdecl(
      [](ImportCall& c) { return static_cast<uint32_t>(c.machine().ReadString(c.Arg(0)).size()); });
  t["msvcrt.dll!wcslen"] = Cdecl([](ImportCall& c) {
    return static_cast<uint32_t>(c.machine().ReadWString(c.Arg(0)).size());
  });
  t["msvcrt.dll!strcmp"] = Cdecl([](ImportCall& c) {
    const int r = std::strcmp(c.machine().ReadString(c.Arg(0)).c_str(),
                              c.machine().ReadString(c.Arg(1)).c_str());
    return static_cast<uint32_t>(r < 0 ? -1 : r > 0 ? 1 : 0);
  });
  t["msvcrt.dll!strncmp"] = Cdecl([](ImportCall& c) {
    const int r = std::strncmp(c.machine().ReadString(c.Arg(0)).c_str(),
                               c.machine().ReadString(c.Arg(1)).c_str(), c.Arg(2));
    return static_cast<uint32_t>(r < 0 ? -1 : r > 0 ? 1 : 0);
  });
  t["msvcrt.dll!strchr"] = Cdecl([](ImportCall& c) -> uint32_t {
    const std::string s = c.machine().ReadString(c.Arg(0));
    const char ch = static_cast<char>(c.Arg(1));
    if (ch == 0) return c.Arg(0) + static_cast<uint32_t>(s.size());  // the terminator
    const auto at = s.find(ch);
    return at == std::string::npos ? 0 : c.Arg(0) + static_cast<uint32_t>(at);
  });
  t["msvcrt.dll!atoi"] = Cdecl([](ImportCall& c) {
    return static_cast<uint32_t>(std::atoi(c.machine().ReadString(c.Arg(0)).c_str()));
  });
  t["msvcrt.dll!strerror"] = Cdecl([crt](ImportCall& c) {
    if (crt->errorText == 0) crt->errorText = c.machine().StaticString("Unknown error");
    return crt->errorText;
  });
  t["msvcrt.dll!_errno"] = Cdecl([crt](ImportCall& c) {
    if (crt->errnoCell == 0) crt->errnoCell = c.machine().StaticAlloc(4);
    return crt->errnoCell;
  });
}

// Locale: the "C" locale, single-byte.
void AddLocale(ImportTable& t, const std::shared_ptr<CrtState>& crt) {
  t["msvcrt.dll!setlocale"] = Cdecl([crt](ImportCall& c) {
    if (crt->cLocale == 0) crt->cLocale = c.machine().StaticString("C");
    return crt->cLocale;
  });
  t["msvcrt.dll!localeconv"] = Cdecl([crt](ImportCall& c) {
    Machine& m = c.machine();
    if (crt->lconv == 0) {
      // Ten string members (the decimal point ".", the rest empty), then the
      // monetary char members, all "not available".
      constexpr uint32_t kStrings = 10;
      constexpr uint32_t kChars = 8;
      crt->lconv = m.StaticAlloc(4 * kStrings + kChars);
      const uint32_t point = m.StaticString(".");
      const uint32_t empty = m.StaticString("");
      for (uint32_t i = 0; i < kStrings; ++i) m.Write32(crt->lconv + 4 * i, i == 0 ? point : empty);
      const std::vector<uint8_t> chars(kChars, kCharMax);
      m.Write(crt->lconv + 4 * kStrings, chars.data(), chars.size());
    }
    return crt->lconv;
  });
}

// Start-up, locks and the ends of a process.
void AddStartUpAndEnd(ImportTable& t) {
  ImportDefinition initterm;
  initterm.code = kInittermCode;
  t["msvcrt.dll!_initterm"] = initterm;
  t["msvcrt.dll!_lock"] = Cdecl([](ImportCall&) -> uint32_t { return 0; });
  t["msvcrt.dll!_unlock"] = Cdecl([](ImportCall&) -> uint32_t { return 0; });
  t["msvcrt.dll!exit"] = Cdecl([](ImportCall& c) -> uint32_t {
    c.machine().EndProcess(static_cast<int32_t>(c.Arg(0)));
    return 0;
  });
  t["msvcrt.dll!abort"] = Cdecl([](ImportCall& c) -> uint32_t {
    throw EmuError("the DLL called abort()" + (c.machine().windows.consoleOutput.empty()
                                                   ? std::string()
                                                   : ": " + c.machine().windows.consoleOutput));
  });
  t["msvcrt.dll!_amsg_exit"] = Cdecl([](ImportCall& c) -> uint32_t {
    throw EmuError("the C runtime stopped the process with message " + std::to_string(c.Arg(0)));
  });
}

// Console output, for the runtime's own messages.
void AddConsole(ImportTable& t, const std::shared_ptr<CrtState>& crt) {
  t["msvcrt.dll!fputc"] = Cdecl([crt](ImportCall& c) {
    Print(crt, c.machine(), c.Arg(1), std::string(1, static_cast<char>(c.Arg(0))));
    return c.Arg(0) & 0xFF;
  });
  t["msvcrt.dll!fputs"] = Cdecl([crt](ImportCall& c) -> uint32_t {
    Print(crt, c.machine(), c.Arg(1), c.machine().ReadString(c.Arg(0)));
    return 0;
  });
  t["msvcrt.dll!fwrite"] = Cdecl([crt](ImportCall& c) {
    const uint64_t n = uint64_t{c.Arg(1)} * c.Arg(2);
    CheckSize(n > kMaxCopy ? kMaxCopy + 1 : static_cast<uint32_t>(n));
    const auto bytes = ReadBytes(c.machine(), c.Arg(0), static_cast<uint32_t>(n));
    Print(crt, c.machine(), c.Arg(3), std::string(bytes.begin(), bytes.end()));
    return c.Arg(2);
  });
  t["msvcrt.dll!vfprintf"] = Cdecl([crt](ImportCall& c) {
    const std::string text = Format(c.machine(), c.machine().ReadString(c.Arg(1)), c.Arg(2));
    Print(crt, c.machine(), c.Arg(0), text);
    return static_cast<uint32_t>(text.size());
  });
}

// KERNEL32: synchronisation on one thread.
void AddSynchronisation(ImportTable& t, const std::shared_ptr<CrtState>& crt) {
  auto none4 = [](ImportCall&) -> uint32_t { return 0; };
  t["kernel32.dll!InitializeCriticalSection"] = Stdcall(4, none4);
  t["kernel32.dll!DeleteCriticalSection"] = Stdcall(4, none4);
  t["kernel32.dll!EnterCriticalSection"] = Stdcall(4, none4);
  t["kernel32.dll!LeaveCriticalSection"] = Stdcall(4, none4);
  t["kernel32.dll!CreateSemaphoreW"] =
      Stdcall(16, [crt](ImportCall&) { return crt->nextHandle += 4; });
  t["kernel32.dll!ReleaseSemaphore"] = Stdcall(12, [](ImportCall& c) -> uint32_t {
    if (c.Arg(2) != 0) c.machine().Write32(c.Arg(2), 0);
    return 1;
  });
  t["kernel32.dll!WaitForSingleObject"] =
      Stdcall(8, [](ImportCall&) -> uint32_t { return kWaitObject0; });
  t["kernel32.dll!CloseHandle"] = Stdcall(4, [](ImportCall&) -> uint32_t { return 1; });
  t["kernel32.dll!Sleep"] = Stdcall(4, none4);
  t["kernel32.dll!GetCurrentThreadId"] = Stdcall(0, [](ImportCall&) { return kThreadId; });
  t["kernel32.dll!GetLastError"] = Stdcall(0, [](ImportCall& c) { return c.machine().lastError; });
  t["kernel32.dll!SetLastError"] = Stdcall(4, [](ImportCall& c) -> uint32_t {
    c.machine().lastError = c.Arg(0);
    return 0;
  });
}

// Thread storage, in the TEB's slots as Windows keeps it.
void AddThreadStorage(ImportTable& t) {
  auto inUse = std::make_shared<std::array<bool, kTlsSlotCount>>();
  t["kernel32.dll!TlsAlloc"] = Stdcall(0, [inUse](ImportCall& c) -> uint32_t {
    for (uint32_t i = 0; i < kTlsSlotCount; ++i) {
      if (!(*inUse)[i]) {
        (*inUse)[i] = true;
        c.machine().Write32(kTebAddress + kTebTlsSlots + 4 * i, 0);
        return i;
      }
    }
    return kTlsOutOfIndexes;
  });
  auto slot = [inUse](ImportCall& c) {
    const uint32_t i = c.Arg(0);
    if (i >= kTlsSlotCount || !(*inUse)[i]) {
      throw EmuError("thread-storage index " + std::to_string(i) + " was not allocated");
    }
    return kTebAddress + kTebTlsSlots + 4 * i;
  };
  t["kernel32.dll!TlsFree"] = Stdcall(4, [inUse, slot](ImportCall& c) -> uint32_t {
    slot(c);
    (*inUse)[c.Arg(0)] = false;
    return 1;
  });
  t["kernel32.dll!TlsGetValue"] = Stdcall(4, [slot](ImportCall& c) {
    c.machine().lastError = 0;
    return c.machine().Read32(slot(c));
  });
  t["kernel32.dll!TlsSetValue"] = Stdcall(8, [slot](ImportCall& c) -> uint32_t {
    c.machine().Write32(slot(c), c.Arg(1));
    return 1;
  });
}

// Modules: the host's executable, this DLL, and no other.
void AddModules(ImportTable& t) {
  t["kernel32.dll!GetModuleHandleA"] = Stdcall(4, [](ImportCall& c) -> uint32_t {
    if (c.Arg(0) == 0) return kHostModule;
    return ModuleHandle(c.machine(), c.machine().ReadString(c.Arg(0)));
  });
  t["kernel32.dll!GetModuleHandleW"] = Stdcall(4, [](ImportCall& c) -> uint32_t {
    if (c.Arg(0) == 0) return kHostModule;
    std::string narrow;
    for (char16_t ch : c.machine().ReadWString(c.Arg(0))) {
      narrow.push_back(ch < 0x80 ? static_cast<char>(ch) : '?');
    }
    return ModuleHandle(c.machine(), narrow);
  });
  t["kernel32.dll!LoadLibraryA"] = Stdcall(4, [](ImportCall& c) -> uint32_t {
    c.machine().lastError = kErrorModNotFound;
    return 0;
  });
  t["kernel32.dll!FreeLibrary"] = Stdcall(4, [](ImportCall&) -> uint32_t { return 1; });
  t["kernel32.dll!GetProcAddress"] = Stdcall(8, [](ImportCall& c) -> uint32_t {
    c.machine().lastError = kErrorProcNotFound;
    return 0;
  });
}

// Memory queries and protection, for the runtime's relocation of its own
// code at start-up.
void AddMemoryQueries(ImportTable& t) {
  t["kernel32.dll!VirtualQuery"] = Stdcall(12, [](ImportCall& c) -> uint32_t {
    Machine& m = c.machine();
    constexpr uint32_t kInfoSize = 28;  // MEMORY_BASIC_INFORMATION
    if (c.Arg(2) < kInfoSize) return 0;
    const uint32_t page = c.Arg(0) / kPageSize * kPageSize;
    const auto region = m.Region(page);
    if (!region) {
      m.lastError = kErrorInvalidAddress;
      return 0;
    }
    const uint32_t protection = m.Protection(page);
    uint32_t size = 0;
    while (page + size - region->first < region->second &&
           m.Protection(page + size) == protection) {
      size += kPageSize;
    }
    const bool image = region->first == m.base();
    const uint32_t info[7] = {page,
                              region->first,
                              protection,
                              size,
                              kMemCommit,
                              protection,
                              image ? kMemImage : kMemPrivate};
    m.Write(c.Arg(1), info, sizeof info);
    return kInfoSize;
  });
  t["kernel32.dll!VirtualProtect"] = Stdcall(16, [](ImportCall& c) -> uint32_t {
    Machine& m = c.machine();
    try {
      const uint32_t old = m.Protect(c.Arg(0), c.Arg(1), c.Arg(2));
      m.Write32(c.Arg(3), old);
      return 1;
    } catch (const EmuError&) {
      m.lastError = kErrorInvalidAddress;
      return 0;
    }
  });
  t["kernel32.dll!IsDBCSLeadByteEx"] = Stdcall(8, [](ImportCall&) -> uint32_t { return 0; });
}

}  // namespace

// The runtime's state (its variables, the locale's records, handles) is
// shared by the fakes of one machine.
void AddCrtImports(ImportTable& t) {
  auto crt = std::make_shared<CrtState>();
  AddVariables(t, crt);
  AddHeap(t);
  AddMemoryAndStrings(t, crt);
  AddLocale(t, crt);
  AddStartUpAndEnd(t);
  AddConsole(t, crt);
  AddSynchronisation(t, crt);
  AddThreadStorage(t);
  AddModules(t);
  AddMemoryQueries(t);
}

}  // namespace atsemu
