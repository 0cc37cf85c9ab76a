// A plug-in library's file checked before the system loader sees it. The
// loader maps a library's segments as its headers describe them, and a file
// cut short (a copy that stopped half-way) then faults the host process on
// first touch instead of failing. So the headers are read here, and every
// part they point to must lie within the file.
#ifndef ATSHOST_IO_LIBRARY_FILE_H
#define ATSHOST_IO_LIBRARY_FILE_H

#include <string>

namespace atshost {

enum class LibraryKind { kNative, kWindowsDll32, kWindowsDll64 };

struct LibraryCheck {
  LibraryKind kind = LibraryKind::kNative;
  std::string problem;  // why it is not a valid library; empty if it is one
};

// Reads the headers of an ELF shared object or a PE DLL. An ELF file must be
// for this machine; a PE file must be a DLL (its machine is for the caller to
// judge).
LibraryCheck CheckLibraryFile(const std::string& path);

}  // namespace atshost

#endif  // ATSHOST_IO_LIBRARY_FILE_H
