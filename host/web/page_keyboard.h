// The driving page's keyboard under the plug-in's keyboard watch: F7 as the
// page's script reports it, the warning box shown by the script, and the end
// of the process as a flag that the page's session watches. A page has no
// process to end: the frame in which the plug-in ends it is abandoned, and
// the session is over.
#ifndef ATSHOST_WEB_PAGE_KEYBOARD_H
#define ATSHOST_WEB_PAGE_KEYBOARD_H

#include "plugin/keyboard_platform.h"

namespace atshost {

class PageKeyboard final : public vorlan::KeyboardPlatform {
 public:
  void Open() noexcept override {}
  void Close() noexcept override {}
  bool Read(vorlan::KeyState& keys) noexcept override;
  void ShowWarning() noexcept override;
  void EndProcess() noexcept override { process_ended_ = true; }

  // A press is seen at the next reading even if let go before it: the page
  // reads the key once a frame, and a tap may be shorter than a frame.
  void set_f7(bool down) {
    f7_down_ = down;
    if (down) f7_unread_ = true;
  }
  // A new process, which has not ended; F7 stays as the keyboard has it.
  void Restart() { process_ended_ = false; }
  // Set once the plug-in has ended the process; the session watches it.
  const bool& process_ended() const { return process_ended_; }

 private:
  bool f7_down_ = false;
  bool f7_unread_ = false;  // pressed since the last reading
  bool process_ended_ = false;
};

}  // namespace atshost

#endif  // ATSHOST_WEB_PAGE_KEYBOARD_H
