// The host calls every entry point as __stdcall: it pushes the arguments right
// to left and relies on the function to remove exactly those bytes. A function
// that removes a different amount leaves the host's stack pointer wrong, which
// the host does not check. So each of the sixteen exports is called here
// through its address, with the stack pointer measured before and after.
//
// Also checked: Elapse returns its 16-byte record through the hidden result
// pointer, which it receives as its first argument, removes with the others,
// and hands back in EAX; and each decorated export name leads to the same
// address as its plain name.
//
// Usage: dll_calling_convention.exe [DLL]   Exit status 0 when every check held.
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include "tests/win32/plugin_dll.h"

#if !defined(__i386__)
#error "the stack pointer measurement is i686 code"
#endif

// Calls fn with count 32-bit words as its arguments, words[0] at the lowest
// address (where a callee finds its first argument), and returns how many of
// those bytes the callee removed from the stack: the stack pointer after the
// call minus the stack pointer at the call. What the callee leaves in EAX is
// stored in *eax. The stack is restored from the frame pointer afterwards,
// whatever the callee did, so that a wrong callee is reported, not fatal.
extern "C" uint32_t MeasureCall(const void* fn, const uint32_t* words, uint32_t count,
                                uint32_t* eax) asm("ats_measure_call");
asm(R"(
    .text
    .globl ats_measure_call
ats_measure_call:
    pushl %ebp
    movl  %esp, %ebp
    pushl %ebx
    pushl %esi
    pushl %edi
    movl  12(%ebp), %esi
    movl  16(%ebp), %ecx
1:  testl %ecx, %ecx
    jz    2f
    pushl -4(%esi,%ecx,4)
    decl  %ecx
    jmp   1b
2:  movl  %esp, %ebx
    call  *8(%ebp)
    movl  20(%ebp), %ecx
    movl  %eax, (%ecx)
    movl  %esp, %eax
    subl  %ebx, %eax
    leal  -12(%ebp), %esp
    popl  %edi
    popl  %esi
    popl  %ebx
    popl  %ebp
    ret
)");

namespace {

constexpr int kNotches = 8;
constexpr int kEmergency = kNotches + 1;
constexpr uint8_t kFill = 0xCC;  // the result storage before Elapse fills it

int failures = 0;

void Fail(const char* what) {
  std::printf("FAIL: %s\n", what);
  ++failures;
}

// The argument words of a call, built up left to right.
struct Args {
  std::vector<uint32_t> words;
  Args& Word(uint32_t w) {
    words.push_back(w);
    return *this;
  }
  Args& Pointer(const void* p) {
    return Word(static_cast<uint32_t>(reinterpret_cast<uintptr_t>(p)));
  }
  // A record passed by value: its bytes, whole, in the argument area.
  template <typename Record>
  Args& Bytes(const Record& r) {
    static_assert(sizeof(Record) % 4 == 0);
    uint32_t w[sizeof(Record) / 4];
    std::memcpy(w, &r, sizeof r);
    for (uint32_t x : w) Word(x);
    return *this;
  }
};

// Calls the export by its plain name and checks the bytes it removed.
uint32_t Call(HMODULE dll, const char* name, const Args& args, uint32_t expectedBytes) {
  const void* fn = reinterpret_cast<const void*>(GetProcAddress(dll, name));
  if (fn == nullptr) {
    std::printf("FAIL: no export named %s\n", name);
    ++failures;
    return 0;
  }
  uint32_t eax = 0;
  uint32_t removed =
      MeasureCall(fn, args.words.data(), static_cast<uint32_t>(args.words.size()), &eax);
  bool ok = removed == expectedBytes;
  std::printf("%-17s removes %2u bytes (expected %2u) %s\n", name, removed, expectedBytes,
              ok ? "ok" : "WRONG");
  if (!ok) ++failures;
  return eax;
}

// Known functions of this program, to show that the measurement itself holds.
int __stdcall PopsEight(int a, int b) { return a + b; }
int __cdecl PopsNothing(int a, int b) { return a - b; }

bool MeasurementWorks() {
  const uint32_t words[2] = {40, 2};
  uint32_t eax = 0;
  const bool stdcallOk =
      MeasureCall(reinterpret_cast<const void*>(&PopsEight), words, 2, &eax) == 8 && eax == 42;
  const bool cdeclOk =
      MeasureCall(reinterpret_cast<const void*>(&PopsNothing), words, 2, &eax) == 0 && eax == 38;
  return stdcallOk && cdeclOk;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (!MeasurementWorks()) {
    std::printf("FAIL: the stack pointer measurement does not work\n");
    return 2;
  }
  const wchar_t* path = vorlan::win32::DllPath(argc, argv);
  HMODULE dll = LoadLibraryW(path);
  if (dll == nullptr) {
    std::printf("FAIL: LoadLibraryW(%ls): error %lu\n", path, GetLastError());
    return 1;
  }

  failures += vorlan::win32::DecoratedNamesDiffer(dll);

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

  // The order of a session, with the byte counts of the declarations:
  // int 4, ATS_VEHICLESPEC 20, ATS_BEACONDATA 16, and for Elapse the result
  // pointer 4, ATS_VEHICLESTATE 40 and the two array pointers 4 each.
  Call(dll, "Load", Args{}, 0);
  if (Call(dll, "GetPluginVersion", Args{}, 0) != ATS_VERSION) Fail("GetPluginVersion");
  Call(dll, "SetVehicleSpec", Args{}.Bytes(spec), 20);
  Call(dll, "Initialize", Args{}.Word(0), 4);
  Call(dll, "SetPower", Args{}.Word(0), 4);
  Call(dll, "SetBrake", Args{}.Word(kEmergency), 4);
  Call(dll, "SetReverser", Args{}.Word(0), 4);
  Call(dll, "KeyDown", Args{}.Word(2), 4);
  Call(dll, "KeyUp", Args{}.Word(2), 4);
  Call(dll, "HornBlow", Args{}.Word(1), 4);
  Call(dll, "DoorOpen", Args{}, 0);
  Call(dll, "DoorClose", Args{}, 0);
  Call(dll, "SetSignal", Args{}.Word(3), 4);
  Call(dll, "SetBeaconData", Args{}.Bytes(beacon), 16);

  ATS_HANDLES result;
  std::memset(&result, kFill, sizeof result);
  const uint32_t eax =
      Call(dll, "Elapse", Args{}.Pointer(&result).Bytes(state).Pointer(panel).Pointer(sound), 52);
  if (eax != reinterpret_cast<uintptr_t>(&result))
    Fail("Elapse does not return its result pointer");
  // Switched off at load: the emergency brake, no power, constant speed off.
  if (result.Brake != kEmergency || result.Power != 0 || result.ConstantSpeed != 2) {
    std::printf("FAIL: Elapse filled brake %d power %d constant speed %d\n", result.Brake,
                result.Power, result.ConstantSpeed);
    ++failures;
  }
  Call(dll, "Dispose", Args{}, 0);

  if (failures != 0) return 1;
  std::printf("ok: sixteen exports remove exactly their argument bytes\n");
  return 0;
}
