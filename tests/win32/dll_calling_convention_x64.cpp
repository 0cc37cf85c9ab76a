// A 64-bit host calls every entry point with the Windows x64 convention: the
// first four integer or pointer arguments in RCX, RDX, R8 and R9, 32 bytes of
// shadow space above the return address, records larger than 8 bytes passed
// by reference to a copy the caller owns, and a 16-byte result returned
// through a hidden pointer that arrives as the first argument and comes back
// in RAX. The callee must leave RBX, RBP, RDI, RSI, R12 to R15, XMM6 to XMM15
// and RSP as it found them; the host does not check, it just goes wrong later.
//
// So each of the sixteen exports is called here from a small assembly shim
// that loads a known pattern into every non-volatile register, makes the call,
// and records what the registers hold afterwards.
//
// Also checked: Elapse writes its record, exactly those 16 bytes, through the
// hidden pointer and returns that pointer in RAX; each decorated export name
// leads to the same address as its plain name.
//
// Usage: dll_calling_convention.exe [DLL]   Exit status 0 when every check held.
#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "tests/win32/plugin_dll.h"

#if !defined(__x86_64__)
#error "the register check is x86-64 code"
#endif

namespace {

// The registers the callee must preserve, as the shim loads and records
// them, plus RSP and RAX. Offsets are fixed: the shim below addresses them.
struct Registers {
  uint64_t rbx, rbp, rdi, rsi, r12, r13, r14, r15;  // 0 to 56
  uint64_t rsp;                                     // 64: at the call instruction
  uint64_t rax;                                     // 72: the callee's result
  uint8_t xmm[10][16];                              // 80: XMM6 to XMM15
};
static_assert(offsetof(Registers, rsp) == 64 && offsetof(Registers, xmm) == 80);

}  // namespace

// Calls fn with args[0..3] in RCX, RDX, R8 and R9 and the non-volatile
// registers set from *pattern; pattern->rsp receives RSP at the call, and
// *after what the registers held when fn returned. The shim keeps its own
// caller's registers and restores its stack from a saved pointer, so a wrong
// callee is reported, not fatal.
extern "C" void CallX64(const void* fn, const uint64_t* args, Registers* pattern,
                        Registers* after) asm("ats_call_x64");
asm(R"(
    .data
    .balign 8
ats_shim_fn:    .quad 0
ats_shim_after: .quad 0
ats_shim_rsp:   .quad 0
    .text
    .globl ats_call_x64
ats_call_x64:
    pushq %rbp
    pushq %rbx
    pushq %rdi
    pushq %rsi
    pushq %r12
    pushq %r13
    pushq %r14
    pushq %r15
    subq  $168, %rsp
    movdqu %xmm6,    0(%rsp)
    movdqu %xmm7,   16(%rsp)
    movdqu %xmm8,   32(%rsp)
    movdqu %xmm9,   48(%rsp)
    movdqu %xmm10,  64(%rsp)
    movdqu %xmm11,  80(%rsp)
    movdqu %xmm12,  96(%rsp)
    movdqu %xmm13, 112(%rsp)
    movdqu %xmm14, 128(%rsp)
    movdqu %xmm15, 144(%rsp)
    movq  %rcx, ats_shim_fn(%rip)
    movq  %r9, ats_shim_after(%rip)
    movq  %rsp, ats_shim_rsp(%rip)
    movq  %rdx, %r10
    movq  %r8, %r11
    movdqu  80(%r11), %xmm6
    movdqu  96(%r11), %xmm7
    movdqu 112(%r11), %xmm8
    movdqu 128(%r11), %xmm9
    movdqu 144(%r11), %xmm10
    movdqu 160(%r11), %xmm11
    movdqu 176(%r11), %xmm12
    movdqu 192(%r11), %xmm13
    movdqu 208(%r11), %xmm14
    movdqu 224(%r11), %xmm15
    movq   0(%r11), %rbx
    movq   8(%r11), %rbp
    movq  16(%r11), %rdi
    movq  24(%r11), %rsi
    movq  32(%r11), %r12
    movq  40(%r11), %r13
    movq  48(%r11), %r14
    movq  56(%r11), %r15
    movq   0(%r10), %rcx
    movq   8(%r10), %rdx
    movq  24(%r10), %r9
    movq  16(%r10), %r8
    subq  $32, %rsp
    movq  %rsp, 64(%r11)
    call  *ats_shim_fn(%rip)
    movq  ats_shim_after(%rip), %r11
    movq  %rbx,  0(%r11)
    movq  %rbp,  8(%r11)
    movq  %rdi, 16(%r11)
    movq  %rsi, 24(%r11)
    movq  %r12, 32(%r11)
    movq  %r13, 40(%r11)
    movq  %r14, 48(%r11)
    movq  %r15, 56(%r11)
    movq  %rsp, 64(%r11)
    movq  %rax, 72(%r11)
    movdqu %xmm6,   80(%r11)
    movdqu %xmm7,   96(%r11)
    movdqu %xmm8,  112(%r11)
    movdqu %xmm9,  128(%r11)
    movdqu %xmm10, 144(%r11)
    movdqu %xmm11, 160(%r11)
    movdqu %xmm12, 176(%r11)
    movdqu %xmm13, 192(%r11)
    movdqu %xmm14, 208(%r11)
    movdqu %xmm15, 224(%r11)
    movq  ats_shim_rsp(%rip), %rsp
    movdqu   0(%rsp), %xmm6
    movdqu  16(%rsp), %xmm7
    movdqu  32(%rsp), %xmm8
    movdqu  48(%rsp), %xmm9
    movdqu  64(%rsp), %xmm10
    movdqu  80(%rsp), %xmm11
    movdqu  96(%rsp), %xmm12
    movdqu 112(%rsp), %xmm13
    movdqu 128(%rsp), %xmm14
    movdqu 144(%rsp), %xmm15
    addq  $168, %rsp
    popq  %r15
    popq  %r14
    popq  %r13
    popq  %r12
    popq  %rsi
    popq  %rdi
    popq  %rbx
    popq  %rbp
    ret
)");

namespace {

constexpr int kNotches = 8;
constexpr int kEmergency = kNotches + 1;
constexpr uint8_t kFill = 0xCC;  // the bytes around and in Elapse's result before the call
constexpr size_t kGuard = 16;    // bytes checked on either side of the result

int failures = 0;

void Fail(const char* what) {
  std::printf("FAIL: %s\n", what);
  ++failures;
}

// A distinct pattern for every register, so that a swap shows too.
Registers Pattern() {
  Registers r;
  uint64_t* gp[] = {&r.rbx, &r.rbp, &r.rdi, &r.rsi, &r.r12, &r.r13, &r.r14, &r.r15};
  for (size_t i = 0; i < sizeof gp / sizeof gp[0]; ++i)
    *gp[i] = 0xA5A5000000000000ull | (static_cast<uint64_t>(i + 1) * 0x0101010101ull);
  for (int i = 0; i < 10; ++i)
    for (int b = 0; b < 16; ++b) r.xmm[i][b] = static_cast<uint8_t>(0x60 + 16 * i + b);
  r.rsp = r.rax = 0;
  return r;
}

// Calls the export by its plain name with up to four argument words and
// checks that it kept every non-volatile register and RSP. Returns RAX.
uint64_t Call(HMODULE dll, const char* name, uint64_t a0 = 0, uint64_t a1 = 0, uint64_t a2 = 0,
              uint64_t a3 = 0) {
  const void* fn = reinterpret_cast<const void*>(GetProcAddress(dll, name));
  if (fn == nullptr) {
    std::printf("FAIL: no export named %s\n", name);
    ++failures;
    return 0;
  }
  const uint64_t args[4] = {a0, a1, a2, a3};
  Registers pattern = Pattern();
  Registers after;
  std::memset(&after, 0, sizeof after);
  CallX64(fn, args, &pattern, &after);

  static const char* const kGpNames[] = {"RBX", "RBP", "RDI", "RSI", "R12", "R13", "R14", "R15"};
  const uint64_t* want = &pattern.rbx;
  const uint64_t* got = &after.rbx;
  bool ok = true;
  for (int i = 0; i < 8; ++i) {
    if (want[i] != got[i]) {
      std::printf("FAIL: %s changed %s\n", name, kGpNames[i]);
      ok = false;
    }
  }
  for (int i = 0; i < 10; ++i) {
    if (std::memcmp(pattern.xmm[i], after.xmm[i], 16) != 0) {
      std::printf("FAIL: %s changed XMM%d\n", name, 6 + i);
      ok = false;
    }
  }
  if (pattern.rsp != after.rsp) {
    std::printf("FAIL: %s returned with RSP moved by %lld bytes\n", name,
                static_cast<long long>(after.rsp - pattern.rsp));
    ok = false;
  }
  std::printf("%-17s keeps RBX RBP RDI RSI R12-R15 XMM6-XMM15 RSP: %s\n", name,
              ok ? "ok" : "WRONG");
  if (!ok) ++failures;
  return after.rax;
}

// Two callees of this program with known behaviour, to show that the check
// itself holds: one keeps every register it must (and returns 42), the other
// changes RBX and XMM9 as a broken callee would.
extern "C" uint64_t KeepsRegisters() asm("ats_keeps_registers");
extern "C" uint64_t ChangesRegisters() asm("ats_changes_registers");
asm(R"(
    .text
ats_keeps_registers:
    pushq %rbx
    movq  $7, %rbx
    popq  %rbx
    movl  $42, %eax
    ret
ats_changes_registers:
    movq  $7, %rbx
    pxor  %xmm9, %xmm9
    ret
)");

bool CheckWorks() {
  const uint64_t args[4] = {0, 0, 0, 0};
  Registers pattern = Pattern();
  Registers after;
  CallX64(reinterpret_cast<const void*>(&KeepsRegisters), args, &pattern, &after);
  const bool keeps = std::memcmp(&pattern.rbx, &after.rbx, 8 * sizeof(uint64_t)) == 0 &&
                     std::memcmp(pattern.xmm, after.xmm, sizeof pattern.xmm) == 0 &&
                     pattern.rsp == after.rsp && after.rax == 42;
  pattern = Pattern();
  CallX64(reinterpret_cast<const void*>(&ChangesRegisters), args, &pattern, &after);
  const bool caught = after.rbx != pattern.rbx &&
                      std::memcmp(pattern.xmm[3], after.xmm[3], 16) != 0 &&
                      std::memcmp(pattern.xmm[2], after.xmm[2], 16) == 0;
  return keeps && caught;
}

uint64_t Word(const void* p) { return static_cast<uint64_t>(reinterpret_cast<uintptr_t>(p)); }

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (!CheckWorks()) {
    std::printf("FAIL: the register check does not work\n");
    return 2;
  }
  const wchar_t* path = vorlan::win32::DllPath(argc, argv);
  HMODULE dll = LoadLibraryW(path);
  if (dll == nullptr) {
    std::printf("FAIL: LoadLibraryW(%ls): error %lu\n", path, GetLastError());
    return 1;
  }

  failures += vorlan::win32::DecoratedNamesDiffer(dll);

  // Records larger than 8 bytes go by reference to the caller's own copy.
  ATS_VEHICLESPEC spec;
  std::memset(&spec, 0, sizeof spec);
  spec.BrakeNotches = kNotches;
  ATS_BEACONDATA beacon;
  std::memset(&beacon, 0, sizeof beacon);
  ATS_VEHICLESTATE state;
  std::memset(&state, 0, sizeof state);
  state.Time = 1000;
  static int panel[ATS_PANEL_SIZE];
  static int sound[ATS_SOUND_SIZE];

  Call(dll, "Load");
  if (static_cast<uint32_t>(Call(dll, "GetPluginVersion")) != ATS_VERSION) Fail("GetPluginVersion");
  Call(dll, "SetVehicleSpec", Word(&spec));
  Call(dll, "Initialize", 0);
  Call(dll, "SetPower", 0);
  Call(dll, "SetBrake", kEmergency);
  Call(dll, "SetReverser", 0);
  Call(dll, "KeyDown", 2);
  Call(dll, "KeyUp", 2);
  Call(dll, "HornBlow", 1);
  Call(dll, "DoorOpen");
  Call(dll, "DoorClose");
  Call(dll, "SetSignal", 3);
  Call(dll, "SetBeaconData", Word(&beacon));

  // The result storage with guard bytes on either side.
  alignas(16) static uint8_t storage[kGuard + sizeof(ATS_HANDLES) + kGuard];
  std::memset(storage, kFill, sizeof storage);
  uint8_t* result = storage + kGuard;
  const uint64_t rax = Call(dll, "Elapse", Word(result), Word(&state), Word(panel), Word(sound));
  if (rax != Word(result)) Fail("Elapse does not return its result pointer in RAX");
  for (size_t i = 0; i < kGuard; ++i) {
    if (storage[i] != kFill || storage[kGuard + sizeof(ATS_HANDLES) + i] != kFill) {
      Fail("Elapse writes outside its 16-byte record");
      break;
    }
  }
  ATS_HANDLES h;
  std::memcpy(&h, result, sizeof h);
  // Switched off at load: the emergency brake of the reported vehicle, no
  // power, constant speed off.
  if (h.Brake != kEmergency || h.Power != 0 || h.ConstantSpeed != 2) {
    std::printf("FAIL: Elapse filled brake %d power %d constant speed %d\n", h.Brake, h.Power,
                h.ConstantSpeed);
    ++failures;
  }
  Call(dll, "Dispose");

  if (failures != 0) return 1;
  std::printf("ok: sixteen exports keep the x64 non-volatile registers and RSP\n");
  return 0;
}
