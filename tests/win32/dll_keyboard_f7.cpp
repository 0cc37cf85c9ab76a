// The keyboard watch with F7 really pressed: the product DLL loaded as a host
// loads it, F7 sent through the system's input path (SendInput, from this
// thread), read back by the real DirectInput, the real warning box shown by
// the real MessageBoxW, and the process ended by the real exit.
//
//   1. A session with no key down: the frames' handles, panel and sound are
//      kept as the reference.
//   2. The same session again, with F7 down before one frame: that frame
//      shows the warning box. A watcher thread finds the box by its caption
//      while the frame is held, reads its text back from its static control,
//      compares it code unit for code unit, and dismisses it with its OK
//      button; the frame then completes with the reference's outputs.
//   3. F7 released: the next frame goes on as in the reference.
//   4. F7 pressed again: that frame ends the process with status 0 before it
//      writes anything. An atexit handler, which the end runs, checks that it
//      came from inside that frame and that the host's arrays still hold what
//      the host put there; only then is the status left at 0.
//
// Usage: dll_keyboard_f7.exe [DLL [PICTURE.bmp]]
//   With PICTURE, the box as the display shows it is saved there, as a 24-bit
//   BMP, before it is dismissed.
// Exit status 0 when every check held; any failure is printed and ends the
// process with status 1.
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <iterator>
#include <vector>

#include "tests/win32/plugin_dll.h"

namespace {

constexpr int kNotches = 8;
constexpr int kEmergency = kNotches + 1;
constexpr int kFrameMs = 20;
constexpr int kFrames = 60;    // frames of the reference session
constexpr int kBoxFrame = 40;  // F7 first goes down before this frame
constexpr int kCanary = 0x5A5A5A5A;
constexpr int kUntouched = 0x3C3C3C3C;  // the end frame's arrays, as the host filled them
constexpr DWORD kBoxWaitMs = 30000;
constexpr DWORD kPollMs = 10;
constexpr DWORD kPaintMs = 500;

// What the box must show, written as code points so that no source encoding
// changes it: a cry and a groan, then the warning, joined by bare line feeds.
const wchar_t kCaption[] = L"Halvaren Sorceress";
const wchar_t kText[] =
    L"\u3042\u3044\u305f\u3063\uff01\n"
    L"\u3046\u304e\u3085\u304e\u3085\u304e\u3085\u304e\u3085...\n"
    L"\u6b21\u3084\u3063\u305f\u3089\u9b54\u6cd5\u3067\u6b62\u3081\u3061\u3083\u3044\u307e"
    L"\u3059\u304b\u3089\u306d\uff01";

// Which frame the main thread is in: the watcher and the exit handler check it.
enum class Phase { kSetUp, kBoxFrame, kAfterBox, kEndFrame };
std::atomic<Phase> g_phase{Phase::kSetUp};
std::atomic<bool> g_boxChecked{false};

int g_panel[ATS_PANEL_SIZE];
int g_sound[ATS_SOUND_SIZE];
const wchar_t* g_picture = nullptr;

[[noreturn]] void Fail(const char* what) {
  std::printf("FAIL: %s\n", what);
  std::fflush(stdout);
  TerminateProcess(GetCurrentProcess(), 1);
  for (;;) Sleep(INFINITE);
}

// F7 down or up, as the keyboard sends it: its virtual key and its scan code.
void SendF7(bool down) {
  INPUT input{};
  input.type = INPUT_KEYBOARD;
  input.ki.wVk = VK_F7;
  input.ki.wScan = static_cast<WORD>(MapVirtualKeyW(VK_F7, MAPVK_VK_TO_VSC));
  input.ki.dwFlags = down ? 0 : KEYEVENTF_KEYUP;
  if (SendInput(1, &input, sizeof input) != 1) Fail("SendInput did not take F7");
}

// The exit handler: the process may end only from inside the end frame, with
// the host's arrays as the host filled them.
void OnExit() {
  SendF7(false);  // no key left down for the next program on this desktop
  if (g_phase.load() != Phase::kEndFrame) Fail("the process ended outside the second F7 frame");
  for (int v : g_panel)
    if (v != kUntouched) Fail("the ending frame wrote the panel");
  for (int v : g_sound)
    if (v != kUntouched) Fail("the ending frame wrote the sound array");
  std::printf("ok: the second F7 frame ended the process before writing anything\n");
  std::fflush(stdout);
}

// One frame's state: a train switched on at rest that starts off in notch 1,
// with a signal beacon now and then, so that the panel and sound have values.
ATS_VEHICLESTATE StateOf(int frame) {
  ATS_VEHICLESTATE s{};
  s.Time = 1000 + frame * kFrameMs;
  s.Speed = 0.5f * static_cast<float>(frame);
  s.Location = 0.25 * frame * frame * kFrameMs / 3600.0;
  s.BcPressure = frame < 10 ? 400.0f : 0.0f;
  s.MrPressure = 800.0f;
  s.Current = frame < 10 ? 0.0f : 150.0f;
  return s;
}

struct Outputs {
  ATS_HANDLES handles;
  std::vector<int> panel, sound;
  bool operator==(const Outputs& o) const {
    return std::memcmp(&handles, &o.handles, sizeof handles) == 0 && panel == o.panel &&
           sound == o.sound;
  }
};

Outputs Frame(const vorlan::win32::PluginDll& dll, int frame) {
  if (frame % 15 == 5) {
    ATS_BEACONDATA beacon{};
    beacon.Signal = 4;
    dll.SetBeaconData(beacon);
  }
  Outputs out{dll.Elapse(StateOf(frame), g_panel, g_sound), {}, {}};
  out.panel.assign(std::begin(g_panel), std::end(g_panel));
  out.sound.assign(std::begin(g_sound), std::end(g_sound));
  return out;
}

void StartSession(const vorlan::win32::PluginDll& dll) {
  for (int& v : g_panel) v = kCanary;
  for (int& v : g_sound) v = kCanary;
  dll.Load();
  ATS_VEHICLESPEC spec{};
  spec.BrakeNotches = kNotches;
  dll.SetVehicleSpec(spec);
  dll.Initialize(0);
  dll.SwitchOnAndStart(kEmergency);
}

// The box's pixels as the display shows them, bottom-up 24-bit BMP.
void SavePicture(HWND box, const wchar_t* path) {
  Sleep(kPaintMs);  // the box is found as soon as it exists, before it is drawn
  RECT r;
  GetWindowRect(box, &r);
  const int w = r.right - r.left, h = r.bottom - r.top;
  HDC screen = GetDC(nullptr);
  HDC dc = CreateCompatibleDC(screen);
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = w;
  info.bmiHeader.biHeight = h;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 24;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (bitmap == nullptr) Fail("no bitmap for the picture");
  HGDIOBJ old = SelectObject(dc, bitmap);
  BitBlt(dc, 0, 0, w, h, screen, r.left, r.top, SRCCOPY);
  GdiFlush();
  const DWORD rowBytes = (static_cast<DWORD>(w) * 3 + 3) & ~3u;
  const DWORD imageBytes = rowBytes * static_cast<DWORD>(h);
  BITMAPFILEHEADER file{};
  file.bfType = 0x4D42;  // "BM"
  file.bfOffBits = sizeof file + sizeof info.bmiHeader;
  file.bfSize = file.bfOffBits + imageBytes;
  FILE* out = _wfopen(path, L"wb");
  if (out == nullptr) Fail("cannot write the picture");
  std::fwrite(&file, sizeof file, 1, out);
  std::fwrite(&info.bmiHeader, sizeof info.bmiHeader, 1, out);
  std::fwrite(bits, imageBytes, 1, out);
  std::fclose(out);
  SelectObject(dc, old);
  DeleteObject(bitmap);
  DeleteDC(dc);
  ReleaseDC(nullptr, screen);
  std::printf("picture: %dx%d pixels\n", w, h);
}

// The box's text: the one static control with text in it.
BOOL CALLBACK FindText(HWND child, LPARAM out) {
  wchar_t cls[16] = {};
  GetClassNameW(child, cls, 16);
  if (_wcsicmp(cls, L"Static") != 0 || GetWindowTextLengthW(child) == 0) return TRUE;
  *reinterpret_cast<HWND*>(out) = child;
  return FALSE;
}

// Where two texts first differ, or -1 when they are the same code units.
int FirstDifference(const wchar_t* got, int length, const wchar_t* want) {
  const int wantLength = static_cast<int>(std::wcslen(want));
  for (int i = 0; i < length && i < wantLength; ++i)
    if (got[i] != want[i]) return i;
  return length == wantLength ? -1 : (length < wantLength ? length : wantLength);
}

// Watches for boxes from the start: exactly one may appear, in the first F7
// frame, while that frame is held.
DWORD WINAPI Watch(void*) {
  HWND box = nullptr;
  for (DWORD waited = 0; box == nullptr; waited += kPollMs) {
    if (waited > kBoxWaitMs) Fail("no warning box within 30 s");
    Sleep(kPollMs);
    box = FindWindowW(L"#32770", kCaption);
  }
  if (g_phase.load() != Phase::kBoxFrame) Fail("a warning box outside the first F7 frame");
  HWND text = nullptr;
  EnumChildWindows(box, FindText, reinterpret_cast<LPARAM>(&text));
  if (text == nullptr) Fail("the box has no static control with text");
  wchar_t got[256] = {};
  const int length = GetWindowTextW(text, got, 256);
  const int at = FirstDifference(got, length, kText);
  if (at >= 0) {
    std::printf("FAIL: the box's text differs from code unit %d on: got %d code units:", at,
                length);
    for (int i = 0; i < length; ++i) std::printf(" %04X", static_cast<unsigned>(got[i]));
    std::printf("\n");
    Fail("wrong warning text");
  }
  wchar_t caption[64] = {};
  GetWindowTextW(box, caption, 64);
  if (FirstDifference(caption, static_cast<int>(std::wcslen(caption)), kCaption) >= 0)
    Fail("wrong caption");
  HWND ok = GetDlgItem(box, IDOK);
  if (ok == nullptr || GetDlgItem(box, IDCANCEL) != nullptr) Fail("the box is not an OK-only box");
  std::printf("box: caption and %d code units of text as they must be\n", length);
  if (g_picture != nullptr) SavePicture(box, g_picture);
  if (g_phase.load() != Phase::kBoxFrame) Fail("the frame went on while the box was shown");
  g_boxChecked = true;
  SendMessageW(ok, BM_CLICK, 0, 0);
  // Any box after this one is a fault: the watch shows it once per process.
  for (;;) {
    Sleep(kPollMs);
    if (FindWindowW(L"#32770", kCaption) != nullptr && !IsWindow(box)) {
      Fail("a second warning box");
    }
  }
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  setvbuf(stdout, nullptr, _IONBF, 0);
  if (argc > 2) g_picture = argv[2];
  vorlan::win32::PluginDll dll;
  if (!dll.Open(vorlan::win32::DllPath(argc, argv))) return 1;
  std::atexit(OnExit);

  // The handle record outlives the unit, so the reference is the second of
  // two sessions: the keyed one then starts from the record it started from.
  std::vector<Outputs> reference;
  for (int session = 0; session < 2; ++session) {
    reference.clear();
    StartSession(dll);
    for (int frame = 0; frame < kFrames; ++frame) reference.push_back(Frame(dll, frame));
    dll.Dispose();
  }

  HANDLE watcher = CreateThread(nullptr, 0, Watch, nullptr, 0, nullptr);
  if (watcher == nullptr) Fail("no watcher thread");
  StartSession(dll);
  for (int frame = 0; frame < kBoxFrame; ++frame)
    if (!(Frame(dll, frame) == reference[frame])) Fail("a frame before F7 differs");

  SendF7(true);
  g_phase = Phase::kBoxFrame;
  const DWORD start = GetTickCount();
  const Outputs boxed = Frame(dll, kBoxFrame);
  g_phase = Phase::kAfterBox;
  if (!g_boxChecked) Fail("the first F7 frame returned without showing the box");
  if (!(boxed == reference[kBoxFrame])) Fail("the box frame's outputs differ from the reference");
  std::printf("ok: the first F7 frame showed the box, held %lu ms, then went on unchanged\n",
              GetTickCount() - start);

  SendF7(false);
  if (!(Frame(dll, kBoxFrame + 1) == reference[kBoxFrame + 1]))
    Fail("the frame after F7 was released differs");

  SendF7(true);
  for (int& v : g_panel) v = kUntouched;
  for (int& v : g_sound) v = kUntouched;
  g_phase = Phase::kEndFrame;
  Frame(dll, kBoxFrame + 2);
  Fail("the second F7 frame returned instead of ending the process");
}
