#include "host/web/page_keyboard.h"

#include <cstdint>

#include "host/web/page_api.h"

namespace atshost {

bool PageKeyboard::Read(vorlan::KeyState& keys) noexcept {
  keys.fill(0);
  if (f7_down_ || f7_unread_) keys[vorlan::kScanCodeF7] = vorlan::kKeyDownBit;
  f7_unread_ = false;
  return true;
}

void PageKeyboard::ShowWarning() noexcept {
  // The script reads the UTF-16 code units straight from the module's memory.
  page_warning_box(reinterpret_cast<const uint16_t*>(vorlan::kWarningCaption),
                   reinterpret_cast<const uint16_t*>(vorlan::kWarningText));
}

}  // namespace atshost
