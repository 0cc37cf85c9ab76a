// Placeholder until the keyboard watch lands: no key is ever down.
#include "plugin/keyboard_watch.h"

namespace vorlan {

void StartKeyboardWatch() noexcept {}
void PollKeyboardWatch() noexcept {}
void StopKeyboardWatch() noexcept {}

}  // namespace vorlan
