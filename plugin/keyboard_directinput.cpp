// The keyboard watch's platform on Windows: the system keyboard read through
// DirectInput 8, the warning box through MessageBoxW, the end through exit.
//
// The keyboard is set up once per load, with DirectInput's default cooperative
// level (no window is involved), and never re-acquired: if it loses its
// acquisition every later read fails and counts as no key down. If any step
// of the set-up fails, whatever was made is released again and the module runs
// without the watch; nothing else in the module depends on it.
#define DIRECTINPUT_VERSION 0x0800
#include <windows.h>
// windows.h first: dinput.h relies on its types.
#include <dinput.h>

#include "plugin/keyboard_platform.h"

namespace vorlan {

namespace {

static_assert(sizeof(wchar_t) == sizeof(char16_t), "the wide Windows API takes UTF-16");

const wchar_t* Wide(const char16_t* text) noexcept {
  return reinterpret_cast<const wchar_t*>(text);
}

class DirectInputKeyboard final : public KeyboardPlatform {
 public:
  void Open() noexcept override {
    Close();
    void* input = nullptr;
    if (FAILED(DirectInput8Create(GetModuleHandleW(nullptr), DIRECTINPUT_VERSION,
                                  IID_IDirectInput8W, &input, nullptr)) ||
        input == nullptr) {
      return;
    }
    input_ = static_cast<IDirectInput8W*>(input);
    if (FAILED(input_->CreateDevice(GUID_SysKeyboard, &device_, nullptr)) || device_ == nullptr) {
      device_ = nullptr;
      Close();
      return;
    }
    if (FAILED(device_->SetDataFormat(&c_dfDIKeyboard)) || FAILED(device_->Acquire())) {
      Close();
    }
  }

  void Close() noexcept override {
    if (device_ != nullptr) {
      device_->Unacquire();
      device_->Release();
      device_ = nullptr;
    }
    if (input_ != nullptr) {
      input_->Release();
      input_ = nullptr;
    }
  }

  bool Read(KeyState& keys) noexcept override {
    if (device_ == nullptr) return false;  // set-up failed: no watch
    return SUCCEEDED(device_->GetDeviceState(static_cast<DWORD>(keys.size()), keys.data()));
  }

  void ShowWarning() noexcept override {
    // No owner window, OK only, no icon; the answer carries nothing.
    MessageBoxW(nullptr, Wide(kWarningText), Wide(kWarningCaption), MB_OK);
  }

  void EndProcess() noexcept override { ExitProcessNow(); }

 private:
  IDirectInput8W* input_ = nullptr;
  IDirectInputDevice8W* device_ = nullptr;
};

DirectInputKeyboard g_directInputKeyboard;

}  // namespace

KeyboardPlatform& NativeKeyboardPlatform() noexcept { return g_directInputKeyboard; }

}  // namespace vorlan
