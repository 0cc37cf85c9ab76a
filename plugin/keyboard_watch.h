// The keyboard watch: the physical F7 key, read directly once per frame. The
// first frame with F7 down shows a warning box; any later one ends the process.
#ifndef ATSVORLAN800_PLUGIN_KEYBOARD_WATCH_H
#define ATSVORLAN800_PLUGIN_KEYBOARD_WATCH_H

namespace vorlan {

void StartKeyboardWatch() noexcept;  // first step of atsLoad
void PollKeyboardWatch() noexcept;   // first step of every atsElapse
void StopKeyboardWatch() noexcept;   // first step of atsDispose

}  // namespace vorlan

#endif  // ATSVORLAN800_PLUGIN_KEYBOARD_WATCH_H
