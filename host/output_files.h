// The files a run writes, checked before it runs: a run that cannot write
// its results should not be run at all, and no result may overwrite a file
// the run reads.
#ifndef ATSHOST_OUTPUT_FILES_H
#define ATSHOST_OUTPUT_FILES_H

#include <filesystem>
#include <string>
#include <vector>

namespace atshost {

// What is wrong with writing `outputs` (all inside `folder`, which may not
// exist yet) while reading `inputs`; empty if nothing. Creates nothing.
std::string CheckOutputs(const std::filesystem::path& folder,
                         const std::vector<std::filesystem::path>& outputs,
                         const std::vector<std::filesystem::path>& inputs);

// The reason the last file operation failed, in words ("No space left on
// device"), for a message after a write failed.
std::string LastSystemError();

}  // namespace atshost

#endif  // ATSHOST_OUTPUT_FILES_H
