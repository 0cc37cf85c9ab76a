// The trace: one CSV row a frame with the train state sent, the driver's
// handles and doors, the handles returned, the 48 panel and 8 sound values,
// and the events given before the frame. Numbers are written so that they
// read back exactly and come out byte for byte the same on every platform.
#ifndef ATSHOST_TRACE_CSV_H
#define ATSHOST_TRACE_CSV_H

#include <string>

#include "host/sim/session.h"
#include "host/sim/text_out.h"

namespace atshost {

class TraceCsv : public FrameSink {
 public:
  explicit TraceCsv(TextOut& out);
  void OnFrame(const FrameRecord& frame) override;

  static std::string Header();
  static std::string Row(const FrameRecord& frame);

 private:
  TextOut& out_;
};

}  // namespace atshost

#endif  // ATSHOST_TRACE_CSV_H
