#include "host/io/input_file.h"

#include <filesystem>
#include <fstream>
#include <system_error>

namespace atshost {
namespace {

namespace fs = std::filesystem;

constexpr std::size_t kReadChunk = 1 << 16;

Parsed<std::string> Refused(std::string message) {
  Parsed<std::string> result;
  result.error = std::move(message);
  return result;
}

}  // namespace

Parsed<std::string> ReadFile(const std::string& path) {
  std::error_code ec;
  const fs::file_status status = fs::status(fs::path(path), ec);
  if (ec) return Refused(path + ": cannot be read (" + ec.message() + ")");
  switch (status.type()) {
    case fs::file_type::directory:
      return Refused(path + ": is a folder, not a file");
    case fs::file_type::block:
    case fs::file_type::character:
      return Refused(path + ": is a device, not a file");
    case fs::file_type::socket:
      return Refused(path + ": is a socket, not a file");
    default:
      break;  // a regular file, or a pipe: read up to the limit
  }
  if (status.type() == fs::file_type::regular) {
    const std::uintmax_t size = fs::file_size(fs::path(path), ec);
    if (!ec && size > kMaxInputBytes) return Refused(TooLargeMessage(path));
  }
  std::ifstream in(path, std::ios::binary);
  if (!in) return Refused(path + ": cannot be read");
  Parsed<std::string> result;
  std::string& text = result.value;
  char chunk[kReadChunk];
  while (in) {
    in.read(chunk, sizeof chunk);
    text.append(chunk, static_cast<std::size_t>(in.gcount()));
    if (text.size() > kMaxInputBytes) return Refused(TooLargeMessage(path));
  }
  if (in.bad()) return Refused(path + ": cannot be read");
  return result;
}

}  // namespace atshost
