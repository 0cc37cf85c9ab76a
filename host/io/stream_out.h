// The core's text sinks writing to a stream (a file, the terminal).
#ifndef ATSHOST_IO_STREAM_OUT_H
#define ATSHOST_IO_STREAM_OUT_H

#include <ostream>
#include <string_view>

#include "host/sim/text_out.h"

namespace atshost {

class StreamOut final : public TextOut {
 public:
  explicit StreamOut(std::ostream& out) : out_(out) {}
  void Write(std::string_view text) override { out_ << text; }
  void Flush() override { out_.flush(); }

 private:
  std::ostream& out_;
};

}  // namespace atshost

#endif  // ATSHOST_IO_STREAM_OUT_H
