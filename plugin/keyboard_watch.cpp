// The keyboard watch. Once per frame the physical F7 key is read: the first
// frame with F7 down shows a warning box and then goes on; any later frame
// with F7 down ends the host process before the frame does anything else.
//
// The watch reads the key's state, not press events: holding F7 counts in every
// frame, so F7 still down after the box is dismissed ends the process in the
// next frame.
#include "plugin/keyboard_watch.h"

#include <cstdlib>

#include "plugin/keyboard_platform.h"

namespace vorlan {

namespace {

KeyboardPlatform* g_platform = nullptr;  // null: the native platform

// Set once the box has been dismissed, and never cleared while the process
// lives: a dispose and a new load do not give the driver a second warning.
bool g_warningShown = false;

KeyboardPlatform& Platform() noexcept {
  return g_platform != nullptr ? *g_platform : NativeKeyboardPlatform();
}

// Whether the platform under the watch has a keyboard to read. Outside Windows
// the native platform has none, so a frame there spends nothing on the watch
// unless a test has put a platform of its own under it.
bool KeyboardToRead() noexcept {
#if defined(_WIN32)
  return true;
#else
  return g_platform != nullptr;
#endif
}

}  // namespace

void StartKeyboardWatch() noexcept {
  // A second start without a stop releases the first keyboard, not leaks it.
  Platform().Close();
  Platform().Open();
}

namespace {
// Kept out of the frame's own code, so that a frame with no keyboard to read
// does not set up the key buffer on its stack.
[[gnu::noinline]] void ReadKeyboardWatch() noexcept {
  // A failed read counts as no key down: the frame goes on, with no retry. A
  // read that succeeds fills the whole buffer, so it is not cleared first.
  KeyState keys;
  if (!Platform().Read(keys)) return;
  if ((keys[kScanCodeF7] & kKeyDownBit) == 0) return;
  if (g_warningShown) {
    Platform().EndProcess();
    return;  // only a test's platform comes back here
  }
  Platform().ShowWarning();
  // Only after the box is dismissed: while it is shown the frame is held here.
  g_warningShown = true;
}
}  // namespace

void PollKeyboardWatch() noexcept {
  if (KeyboardToRead()) ReadKeyboardWatch();
}

void StopKeyboardWatch() noexcept { Platform().Close(); }

void ExitProcessNow() noexcept {
#if defined(__wasm__)
  // A WebAssembly module has no process of its own to end, and must import
  // nothing: it traps, which ends the call its host made, and the host
  // decides what ending means.
  __builtin_trap();
#else
  std::exit(EXIT_SUCCESS);
#endif
}

void SetKeyboardPlatform(KeyboardPlatform* platform) noexcept {
  Platform().Close();
  g_platform = platform;
}

bool KeyboardWarningShown() noexcept { return g_warningShown; }

void ForgetKeyboardWarning() noexcept { g_warningShown = false; }

#if !defined(_WIN32)
namespace {

// No keyboard outside Windows: every read fails, so no key is ever down.
class NoKeyboard final : public KeyboardPlatform {
 public:
  void Open() noexcept override {}
  void Close() noexcept override {}
  bool Read(KeyState& /*keys*/) noexcept override { return false; }
  void ShowWarning() noexcept override {}
  void EndProcess() noexcept override { ExitProcessNow(); }
};

NoKeyboard g_noKeyboard;

}  // namespace

KeyboardPlatform& NativeKeyboardPlatform() noexcept { return g_noKeyboard; }
#endif

}  // namespace vorlan
