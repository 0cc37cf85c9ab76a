// The files a run writes, checked before it runs: a run that cannot write
// its results should not be run at all, and no result may overwrite a file
// the run reads. Each is written whole or not at all: into a temporary file
// beside it, renamed into place once complete.
#ifndef ATSHOST_IO_OUTPUT_FILES_H
#define ATSHOST_IO_OUTPUT_FILES_H

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace atshost {

// What is wrong with writing `outputs` (all inside `folder`, which may not
// exist yet) while reading `inputs`; empty if nothing. Creates nothing.
std::string CheckOutputs(const std::filesystem::path& folder,
                         const std::vector<std::filesystem::path>& outputs,
                         const std::vector<std::filesystem::path>& inputs);

// This process's id, which names a run's temporary files and scratch
// folders apart from another run's.
int ProcessId();

// The reason the last file operation failed, in words ("No space left on
// device"), for a message after a write failed.
std::string LastSystemError();

// One output file, replaced only when its new text is complete: until
// Commit() the text goes to a temporary file in the same folder (so that the
// rename is atomic), and a run that fails or is stopped leaves the previous
// file exactly as it was. A name that is a symbolic link is replaced by the
// new file, never written through. An interrupted run (SIGINT, SIGTERM,
// SIGHUP) removes its temporary files on the way out; those of a run killed
// outright are removed by the next run that writes the same output.
class OutputFile {
 public:
  explicit OutputFile(std::filesystem::path path);
  ~OutputFile();  // removes the temporary file unless committed
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  // Whether the temporary file could be created; if not, LastSystemError()
  // says why.
  bool is_open() const { return out_.is_open(); }
  std::ostream& stream() { return out_; }
  // Closes the temporary file and checks that all of it was written; empty
  // if it was, or why not.
  std::string Close();
  // Renames the closed file into place; empty, or why it failed.
  std::string Commit();
  // Removes the temporary file: the previous output stays.
  void Discard();

  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
  std::filesystem::path temporary_;
  std::ofstream out_;
  int slot_ = -1;  // in the table of files removed on a signal
  bool committed_ = false;
};

}  // namespace atshost

#endif  // ATSHOST_IO_OUTPUT_FILES_H
