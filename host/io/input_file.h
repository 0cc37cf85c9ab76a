// Reading a scenario or route file whole, for the simulation core to parse.
#ifndef ATSHOST_IO_INPUT_FILE_H
#define ATSHOST_IO_INPUT_FILE_H

#include <string>

#include "host/sim/text_input.h"

namespace atshost {

// The file's bytes, or the error naming it: a folder, a device, a file that
// cannot be opened or one larger than kMaxInputBytes is refused.
Parsed<std::string> ReadFile(const std::string& path);

}  // namespace atshost

#endif  // ATSHOST_IO_INPUT_FILE_H
