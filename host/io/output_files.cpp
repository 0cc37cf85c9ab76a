#include "host/io/output_files.h"

#include <array>
#include <atomic>
#include <cerrno>
#include <charconv>
#include <csignal>
#include <cstring>
#include <system_error>

#if defined(_WIN32)
#include <io.h>
#include <process.h>
#else
#include <signal.h>
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

// The temporary files being written, for a signal handler to remove: plain
// characters in fixed slots, as only async-signal-safe calls may be made
// there. A run writes three outputs.
constexpr std::size_t kSlots = 8;
constexpr std::size_t kSlotPath = 4096;
std::array<std::array<char, kSlotPath>, kSlots> g_temporaries{};
std::array<std::atomic<bool>, kSlots> g_used{};

#if !defined(_WIN32)
extern "C" void RemoveTemporariesAndStop(int signal) {
  for (std::size_t i = 0; i < kSlots; ++i) {
    if (g_used[i].load()) unlink(g_temporaries[i].data());
  }
  std::signal(signal, SIG_DFL);
  std::raise(signal);
}
#endif

int Register(const fs::path& temporary) {
  const std::string text = temporary.string();
  if (text.size() >= kSlotPath) return -1;
  for (std::size_t i = 0; i < kSlots; ++i) {
    if (g_used[i].load()) continue;
    std::memcpy(g_temporaries[i].data(), text.c_str(), text.size() + 1);
    g_used[i].store(true);
#if !defined(_WIN32)
    static const bool handlers = [] {
      // A signal the run was started ignoring (nohup) stays ignored.
      for (int s : {SIGINT, SIGTERM, SIGHUP}) {
        if (std::signal(s, RemoveTemporariesAndStop) == SIG_IGN) std::signal(s, SIG_IGN);
      }
      return true;
    }();
    (void)handlers;
#endif
    return static_cast<int>(i);
  }
  return -1;
}

void Unregister(int slot) {
  if (slot >= 0) g_used[static_cast<std::size_t>(slot)].store(false);
}

// Removes the temporary files `prefix` + "PID-N" in `folder` that a run
// killed outright (SIGKILL, a power cut) left behind: those of processes that
// no longer exist. Where that cannot be told, nothing is removed.
void RemoveStaleTemporaries(const fs::path& folder, const std::string& prefix) {
#if !defined(_WIN32)
  std::error_code ec;
  for (fs::directory_iterator it(folder.empty() ? "." : folder, ec), end; !ec && it != end;
       it.increment(ec)) {
    const std::string name = it->path().filename().string();
    if (name.rfind(prefix, 0) != 0) continue;
    int pid = 0;
    const char* digits = name.c_str() + prefix.size();
    const auto [rest, error] = std::from_chars(digits, name.c_str() + name.size(), pid);
    if (error != std::errc() || *rest != '-' || pid <= 0) continue;
    if (kill(pid, 0) != 0 && errno == ESRCH) {
      std::error_code ignored;
      fs::remove(it->path(), ignored);
    }
  }
#else
  (void)folder;
  (void)prefix;
#endif
}

}  // namespace

int ProcessId() {
#if defined(_WIN32)
  return _getpid();
#else
  return static_cast<int>(getpid());
#endif
}

OutputFile::OutputFile(fs::path path) : path_(std::move(path)) {
  // Hidden, and named after the output and this process, so that it is
  // plain whose it is; a stale one of the same name is replaced.
  static int count = 0;
  const std::string prefix = "." + path_.filename().string() + ".tmp-";
  RemoveStaleTemporaries(path_.parent_path(), prefix);
  temporary_ =
      path_.parent_path() / (prefix + std::to_string(ProcessId()) + "-" + std::to_string(count++));
  std::error_code ec;
  fs::remove(temporary_, ec);
  slot_ = Register(temporary_);
  // Binary mode: the same '\n' line ends on every platform.
  out_.open(temporary_, std::ios::binary | std::ios::trunc);
}

OutputFile::~OutputFile() { Discard(); }

void OutputFile::Discard() {
  if (committed_) return;
  if (out_.is_open()) out_.close();
  std::error_code ec;
  fs::remove(temporary_, ec);
  Unregister(slot_);
  slot_ = -1;
}

std::string OutputFile::Close() {
  out_.close();
  return out_ ? std::string() : LastSystemError();
}

std::string OutputFile::Commit() {
  if (out_.is_open()) {
    const std::string why = Close();
    if (!why.empty()) return why;
  }
  std::error_code ec;
  fs::rename(temporary_, path_, ec);
  if (ec) return ec.message();
  committed_ = true;
  Unregister(slot_);
  return {};
}

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
    // A link is replaced, whatever it points to; the folder's check covers
    // that, and a name that is not there yet.
    const fs::file_status own = fs::symlink_status(file, ec);
    if (ec || !fs::exists(own) || fs::is_symlink(own)) continue;
    if (!fs::is_regular_file(own)) return named + " exists and is not a file";
    // A file made read-only is kept so, although the folder would let it be
    // replaced.
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
