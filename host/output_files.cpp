#include "host/output_files.h"

#include <cerrno>
#include <system_error>

#if defined(_WIN32)
#include <io.h>
#else
#include <unistd.h>
#endif

namespace atshost {
namespace {

namespace fs = std::filesystem;

// Whether this process may write `path` (a file or a folder), and if not, why.
std::string Unwritable(const fs::path& path) {
#if defined(_WIN32)
  constexpr int kWrite = 2;
  if (_waccess(path.c_str(), kWrite) == 0) return {};
#else
  if (access(path.c_str(), W_OK) == 0) return {};
#endif
  return std::generic_category().message(errno);
}

bool Same(const fs::path& a, const fs::path& b) {
  std::error_code ec;
  if (fs::exists(a, ec) && fs::exists(b, ec)) {
    const bool same = fs::equivalent(a, b, ec);
    if (!ec) return same;
  }
  const fs::path ca = fs::weakly_canonical(a, ec);
  if (ec) return false;
  const fs::path cb = fs::weakly_canonical(b, ec);
  return !ec && ca == cb;
}

}  // namespace

std::string CheckOutputs(const fs::path& folder, const std::vector<fs::path>& outputs,
                         const std::vector<fs::path>& inputs) {
  std::error_code ec;
  const std::string out = "--out '" + folder.string() + "'";
  if (fs::exists(folder, ec)) {
    if (!fs::is_directory(folder, ec)) return out + " is not a folder";
    const std::string why = Unwritable(folder);
    if (!why.empty()) return out + ": the folder cannot be written (" + why + ")";
  } else {
    // It will be created inside the nearest folder that exists.
    fs::path parent = fs::absolute(folder, ec).parent_path();
    while (!parent.empty() && !fs::exists(parent, ec) && parent != parent.parent_path()) {
      parent = parent.parent_path();
    }
    if (!fs::is_directory(parent, ec)) {
      return out + " cannot be created: '" + parent.string() + "' is not a folder";
    }
    const std::string why = Unwritable(parent);
    if (!why.empty()) {
      return out + " cannot be created in '" + parent.string() + "' (" + why + ")";
    }
  }
  for (const fs::path& file : outputs) {
    const std::string named = "output '" + file.string() + "'";
    for (const fs::path& input : inputs) {
      if (Same(file, input)) {
        return named + " would overwrite the input '" + input.string() +
               "'; give another --out folder";
      }
    }
    if (!fs::exists(file, ec)) continue;  // the folder's check covers it
    if (!fs::is_regular_file(file, ec)) return named + " exists and is not a file";
    const std::string why = Unwritable(file);
    if (!why.empty()) return named + " cannot be written (" + why + ")";
  }
  return {};
}

std::string LastSystemError() {
  const int e = errno;
  return e != 0 ? std::generic_category().message(e) : "an error of the file system";
}

}  // namespace atshost
