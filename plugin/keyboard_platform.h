// What the keyboard watch needs of the platform: the state of every key, a
// modal warning box, and the end of the process. The watch's rules sit on top
// of this seam and are the same everywhere; on Windows the keyboard is read
// through DirectInput 8, elsewhere no key is ever down. Tests put a fake here.
//
// None of this belongs to the host interface, and none of it is exported.
#ifndef ATSVORLAN800_PLUGIN_KEYBOARD_PLATFORM_H
#define ATSVORLAN800_PLUGIN_KEYBOARD_PLATFORM_H

#include <array>
#include <cstddef>
#include <cstdint>

namespace vorlan {

// One byte per DirectInput scan code; a key is down while bit 7 of its byte is set.
using KeyState = std::array<uint8_t, 256>;
inline constexpr std::size_t kScanCodeF7 = 0x41;  // DIK_F7
inline constexpr uint8_t kKeyDownBit = 0x80;

// The warning box, word for word: a cry of pain and a groan, then the warning
// that a second time will be stopped by magic. UTF-16, as the wide Windows API
// takes it; lines are joined by a bare line feed, none at the end.
inline constexpr char16_t kWarningCaption[] = u"Halvaren Sorceress";
inline constexpr char16_t kWarningText[] =
    u"あいたっ！\nうぎゅぎゅぎゅぎゅ...\n次やったら魔法で止めちゃいますからね！";

class KeyboardPlatform {
 public:
  // Sets up the keyboard. May fail: then every Read fails until the next Open.
  virtual void Open() noexcept = 0;
  // Releases whatever Open set up; harmless when nothing is set up.
  virtual void Close() noexcept = 0;
  // Writes the state of every key into keys; false when the read failed.
  virtual bool Read(KeyState& keys) noexcept = 0;
  // Shows the modal warning box and returns when the user dismisses it.
  virtual void ShowWarning() noexcept = 0;
  // Ends the host process with status 0; the real one does not return.
  virtual void EndProcess() noexcept = 0;

 protected:
  ~KeyboardPlatform() = default;
};

// The platform's own keyboard: DirectInput on Windows, none elsewhere.
KeyboardPlatform& NativeKeyboardPlatform() noexcept;

// How the real platform ends the process: the standard library's exit with
// status 0, so that the host's static destructors and atexit handlers run.
[[noreturn]] void ExitProcessNow() noexcept;

// Puts another platform under the watch; nullptr brings back the native one.
// The platform being replaced is closed first, so no keyboard is left open.
void SetKeyboardPlatform(KeyboardPlatform* platform) noexcept;

// Whether the warning box has been shown (and dismissed) in this process.
bool KeyboardWarningShown() noexcept;

// For tests, which run many host sessions in one process: forgets the warning
// as a new process would.
void ForgetKeyboardWarning() noexcept;

}  // namespace vorlan

#endif  // ATSVORLAN800_PLUGIN_KEYBOARD_PLATFORM_H
