#include "host/io/library_file.h"

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <vector>

namespace atshost {
namespace {

// ELF: identification, classes, little-endian data, the segment types and
// the machine of this build.
constexpr char kElfMagic[] =
    "\x7f"
    "ELF";
constexpr int kElfClass = 4;  // e_ident[EI_CLASS]
constexpr int kElfData = 5;   // e_ident[EI_DATA]
constexpr uint8_t kElf32 = 1;
constexpr uint8_t kElf64 = 2;
constexpr uint8_t kElfLittleEndian = 1;
constexpr uint16_t kElfSharedObject = 3;  // ET_DYN
#if defined(__x86_64__)
constexpr uint16_t kElfMachine = 62;  // EM_X86_64
#elif defined(__i386__)
constexpr uint16_t kElfMachine = 3;  // EM_386
#elif defined(__aarch64__)
constexpr uint16_t kElfMachine = 183;  // EM_AARCH64
#else
constexpr uint16_t kElfMachine = 0;  // not checked
#endif
constexpr uint8_t kHostElfClass = sizeof(void*) == 8 ? kElf64 : kElf32;

// PE: the DOS stub's pointer to the PE header, its signature, the file header
// and the section table.
constexpr uint32_t kPeOffsetAt = 0x3C;
constexpr char kPeSignature[] = "PE\0\0";
constexpr uint32_t kPeFileHeaderSize = 24;  // signature and COFF file header
constexpr uint32_t kPeSectionSize = 40;
constexpr uint16_t kPeMachineI386 = 0x14C;
constexpr uint16_t kPeMachineAmd64 = 0x8664;
constexpr uint16_t kPeDll = 0x2000;  // IMAGE_FILE_DLL

class File {
 public:
  explicit File(const std::string& path) : in_(path, std::ios::binary) {
    std::error_code ec;
    size_ = std::filesystem::file_size(std::filesystem::path(path), ec);
    if (ec) size_ = 0;
  }
  bool open() const { return static_cast<bool>(in_); }
  uint64_t size() const { return size_; }
  // Whether [offset, offset + length) lies within the file, without overflow.
  bool Holds(uint64_t offset, uint64_t length) const {
    return offset <= size_ && length <= size_ - offset;
  }
  // `length` bytes at `offset`, or empty if the file does not hold them.
  std::vector<uint8_t> Read(uint64_t offset, uint64_t length) {
    if (!Holds(offset, length)) return {};
    std::vector<uint8_t> bytes(static_cast<std::size_t>(length));
    in_.clear();
    in_.seekg(static_cast<std::streamoff>(offset));
    in_.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(length));
    if (!in_) return {};
    return bytes;
  }

 private:
  std::ifstream in_;
  uint64_t size_ = 0;
};

// Little-endian fields of a header read into memory.
uint64_t Field(const std::vector<uint8_t>& b, std::size_t at, int bytes) {
  uint64_t v = 0;
  for (int i = bytes - 1; i >= 0; --i) v = (v << 8) | b[at + static_cast<std::size_t>(i)];
  return v;
}

std::string Cut(uint64_t size, const std::string& what, uint64_t end) {
  return "the file is cut short: it has " + std::to_string(size) + " bytes, but its " + what +
         " reaches to byte " + std::to_string(end);
}

std::string CheckElf(File& f) {
  const std::vector<uint8_t> h = f.Read(0, 64);
  if (h.size() < 52) return Cut(f.size(), "ELF header", 52);
  if (h[kElfData] != kElfLittleEndian) return "an ELF file for a big-endian machine";
  const bool is64 = h[kElfClass] == kElf64;
  if (h[kElfClass] != kElf32 && !is64) return "an ELF file of an unknown class";
  if (h[kElfClass] != kHostElfClass) {
    return std::string("a ") + (is64 ? "64" : "32") + "-bit ELF file; this atshost is " +
           (kHostElfClass == kElf64 ? "64" : "32") + "-bit";
  }
  if (is64 && h.size() < 64) return Cut(f.size(), "ELF header", 64);
  if (Field(h, 16, 2) != kElfSharedObject) return "an ELF file, but not a shared library";
  if (kElfMachine != 0 && Field(h, 18, 2) != kElfMachine) {
    return "an ELF shared library for another processor";
  }
  const uint64_t phoff = is64 ? Field(h, 32, 8) : Field(h, 28, 4);
  const uint64_t shoff = is64 ? Field(h, 40, 8) : Field(h, 32, 4);
  const uint64_t phentsize = Field(h, is64 ? 54 : 42, 2);
  const uint64_t phnum = Field(h, is64 ? 56 : 44, 2);
  const uint64_t shentsize = Field(h, is64 ? 58 : 46, 2);
  const uint64_t shnum = Field(h, is64 ? 60 : 48, 2);
  const uint64_t phdr_size = is64 ? 56 : 32;
  if (phnum == 0 || phentsize != phdr_size)
    return "an ELF file without a valid program header table";
  if (!f.Holds(phoff, phnum * phentsize)) {
    return Cut(f.size(), "program header table", phoff + phnum * phentsize);
  }
  if (shoff != 0 && !f.Holds(shoff, shnum * shentsize)) {
    return Cut(f.size(), "section header table", shoff + shnum * shentsize);
  }
  const std::vector<uint8_t> ph = f.Read(phoff, phnum * phentsize);
  if (ph.empty()) return "its program header table cannot be read";
  for (uint64_t i = 0; i < phnum; ++i) {
    const std::size_t at = static_cast<std::size_t>(i * phentsize);
    const uint64_t offset = is64 ? Field(ph, at + 8, 8) : Field(ph, at + 4, 4);
    const uint64_t filesz = is64 ? Field(ph, at + 32, 8) : Field(ph, at + 16, 4);
    if (!f.Holds(offset, filesz)) {
      return Cut(f.size(), "segment " + std::to_string(i), offset + filesz);
    }
  }
  return {};
}

std::string CheckPe(File& f, LibraryKind& kind) {
  const std::vector<uint8_t> dos = f.Read(0, kPeOffsetAt + 4);
  if (dos.empty()) return Cut(f.size(), "DOS header", kPeOffsetAt + 4);
  const uint64_t pe = Field(dos, kPeOffsetAt, 4);
  const std::vector<uint8_t> h = f.Read(pe, kPeFileHeaderSize);
  if (h.empty()) return Cut(f.size(), "PE header", pe + kPeFileHeaderSize);
  if (!std::equal(kPeSignature, kPeSignature + 4, h.begin())) {
    return "an MZ file without a PE header (an old DOS program?)";
  }
  const uint64_t machine = Field(h, 4, 2);
  const uint64_t sections = Field(h, 6, 2);
  const uint64_t optional_size = Field(h, 20, 2);
  const uint64_t characteristics = Field(h, 22, 2);
  if ((characteristics & kPeDll) == 0) return "a Windows program, not a DLL";
  if (machine == kPeMachineI386) {
    kind = LibraryKind::kWindowsDll32;
  } else if (machine == kPeMachineAmd64) {
    kind = LibraryKind::kWindowsDll64;
  } else {
    return "a Windows DLL for another processor";
  }
  const uint64_t table = pe + kPeFileHeaderSize + optional_size;
  if (!f.Holds(table, sections * kPeSectionSize)) {
    return Cut(f.size(), "section table", table + sections * kPeSectionSize);
  }
  const std::vector<uint8_t> s = f.Read(table, sections * kPeSectionSize);
  if (s.empty() && sections != 0) return "its section table cannot be read";
  for (uint64_t i = 0; i < sections; ++i) {
    const std::size_t at = static_cast<std::size_t>(i * kPeSectionSize);
    const uint64_t raw_size = Field(s, at + 16, 4);
    const uint64_t raw_at = Field(s, at + 20, 4);
    if (raw_size != 0 && !f.Holds(raw_at, raw_size)) {
      return Cut(f.size(), "section " + std::to_string(i), raw_at + raw_size);
    }
  }
  return {};
}

}  // namespace

LibraryCheck CheckLibraryFile(const std::string& path) {
  LibraryCheck check;
  File f(path);
  if (!f.open()) {
    check.problem = "it cannot be read";
    return check;
  }
  const std::vector<uint8_t> magic = f.Read(0, 4);
  if (magic.size() == 4 && std::equal(kElfMagic, kElfMagic + 4, magic.begin())) {
    check.problem = CheckElf(f);
  } else if (magic.size() >= 2 && magic[0] == 'M' && magic[1] == 'Z') {
    check.problem = CheckPe(f, check.kind);
  } else {
    check.problem = "it is neither an ELF shared library nor a Windows DLL";
  }
  return check;
}

}  // namespace atshost
