#include "emu/pe_image.h"

#include <cstring>
#include <fstream>
#include <iterator>

namespace atsemu {
namespace {

// Header fields and constants of the PE32 format.
constexpr uint16_t kDosMagic = 0x5A4D;          // "MZ"
constexpr uint32_t kDosNewHeaderOffset = 0x3C;  // e_lfanew
constexpr uint32_t kPeSignature = 0x00004550;   // "PE\0\0"
constexpr uint16_t kMachineI386 = 0x014C;
constexpr uint16_t kCharacteristicDll = 0x2000;
constexpr uint16_t kOptionalMagicPe32 = 0x010B;
constexpr uint32_t kCoffHeaderSize = 20;
constexpr uint32_t kSectionHeaderSize = 40;
constexpr uint32_t kDirectoryExport = 0;
constexpr uint32_t kDirectoryImport = 1;
constexpr uint32_t kDirectoryRelocation = 5;
constexpr uint32_t kDirectoryTls = 9;
constexpr uint32_t kImportDescriptorSize = 20;
constexpr uint32_t kImportByOrdinal = 0x80000000u;
constexpr uint16_t kRelocAbsolute = 0;  // padding entry, no fix-up
constexpr uint16_t kRelocHighLow = 3;   // a 32-bit absolute address
// Far more than any plug-in needs; a larger claim marks a damaged file.
constexpr uint32_t kMaxImageSize = 256u << 20;
constexpr uint32_t kMaxNameLength = 4096;

uint16_t Get16(const std::vector<uint8_t>& b, uint64_t at, const char* what) {
  if (at + 2 > b.size()) throw EmuError(std::string("PE image truncated at ") + what);
  return static_cast<uint16_t>(b[at] | (b[at + 1] << 8));
}

uint32_t Get32(const std::vector<uint8_t>& b, uint64_t at, const char* what) {
  if (at + 4 > b.size()) throw EmuError(std::string("PE image truncated at ") + what);
  return static_cast<uint32_t>(b[at]) | (static_cast<uint32_t>(b[at + 1]) << 8) |
         (static_cast<uint32_t>(b[at + 2]) << 16) | (static_cast<uint32_t>(b[at + 3]) << 24);
}

std::string GetName(const std::vector<uint8_t>& b, uint64_t at, const char* what) {
  std::string name;
  for (uint64_t i = at; i < b.size(); ++i) {
    if (b[i] == 0) return name;
    if (name.size() == kMaxNameLength) break;
    name.push_back(static_cast<char>(b[i]));
  }
  throw EmuError(std::string("PE image has an unterminated name in ") + what);
}

}  // namespace

bool PeImage::LooksLikePe(const std::vector<uint8_t>& head) {
  return head.size() >= 2 && head[0] == 'M' && head[1] == 'Z';
}

PeImage PeImage::Load(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw EmuError("cannot open '" + path + "'");
  std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                             std::istreambuf_iterator<char>());
  return Parse(std::move(bytes));
}

PeImage PeImage::Parse(std::vector<uint8_t> file) {
  PeImage pe;
  if (Get16(file, 0, "DOS header") != kDosMagic) throw EmuError("not a PE image: no MZ header");
  const uint32_t pe0 = Get32(file, kDosNewHeaderOffset, "DOS header");
  if (Get32(file, pe0, "PE signature") != kPeSignature) {
    throw EmuError("not a PE image: no PE signature");
  }
  const uint64_t coff = uint64_t{pe0} + 4;
  if (Get16(file, coff, "COFF header") != kMachineI386) {
    throw EmuError("not a 32-bit x86 image");
  }
  const uint16_t sectionCount = Get16(file, coff + 2, "COFF header");
  const uint16_t optionalSize = Get16(file, coff + 16, "COFF header");
  pe.isDll_ = (Get16(file, coff + 18, "COFF header") & kCharacteristicDll) != 0;
  const uint64_t opt = coff + kCoffHeaderSize;
  if (Get16(file, opt, "optional header") != kOptionalMagicPe32) {
    throw EmuError("not a PE32 image (a 64-bit or foreign optional header)");
  }
  pe.entryRva_ = Get32(file, opt + 16, "optional header");
  pe.imageBase_ = Get32(file, opt + 28, "optional header");
  pe.imageSize_ = Get32(file, opt + 56, "optional header");
  pe.headersSize_ = Get32(file, opt + 60, "optional header");
  const uint32_t directoryCount = Get32(file, opt + 92, "optional header");
  if (pe.imageSize_ == 0 || pe.imageSize_ > kMaxImageSize) {
    throw EmuError("PE image claims an implausible size");
  }
  if (pe.headersSize_ > pe.imageSize_ || pe.headersSize_ > file.size()) {
    throw EmuError("PE image headers exceed the image");
  }
  auto directory = [&](uint32_t index) {
    Directory d;
    if (index < directoryCount) {
      d.rva = Get32(file, opt + 96 + 8 * uint64_t{index}, "data directory");
      d.size = Get32(file, opt + 100 + 8 * uint64_t{index}, "data directory");
    }
    return d;
  };
  pe.MapSections(file, opt + optionalSize, sectionCount);
  pe.ReadExports(directory(kDirectoryExport));
  pe.ReadImports(directory(kDirectoryImport));
  pe.ReadRelocations(directory(kDirectoryRelocation));
  pe.ReadTls(directory(kDirectoryTls));
  return pe;
}

// The memory image at the preferred base: headers, then each section's raw
// bytes; what a section does not cover in the file stays zero.
void PeImage::MapSections(const std::vector<uint8_t>& file, uint64_t sectionTable, uint16_t count) {
  std::vector<uint8_t>& mem = file_;
  mem.assign(imageSize_, 0);
  std::memcpy(mem.data(), file.data(), headersSize_);
  for (uint32_t i = 0; i < count; ++i) {
    const uint64_t h = sectionTable + uint64_t{i} * kSectionHeaderSize;
    if (h + kSectionHeaderSize > file.size()) throw EmuError("PE section table truncated");
    PeSection s;
    s.name.assign(reinterpret_cast<const char*>(&file[h]), 8);
    s.name.resize(std::strlen(s.name.c_str()));
    s.virtualSize = Get32(file, h + 8, "section header");
    s.rva = Get32(file, h + 12, "section header");
    s.rawSize = Get32(file, h + 16, "section header");
    s.rawOffset = Get32(file, h + 20, "section header");
    s.characteristics = Get32(file, h + 36, "section header");
    uint64_t copy = s.rawSize;
    if (s.virtualSize != 0 && s.virtualSize < copy) copy = s.virtualSize;
    if (uint64_t{s.rva} + copy > imageSize_ || uint64_t{s.rawOffset} + copy > file.size()) {
      throw EmuError("PE section '" + s.name + "' lies outside the image or the file");
    }
    if (copy > 0) std::memcpy(&mem[s.rva], &file[s.rawOffset], copy);
    sections_.push_back(s);
  }
}

// Exports: the DLL's own name and every named function.
void PeImage::ReadExports(Directory d) {
  if (d.rva == 0) return;
  const std::vector<uint8_t>& mem = file_;
  exportName_ = GetName(mem, Get32(mem, d.rva + 12, "export directory"), "exports");
  const uint32_t functionCount = Get32(mem, d.rva + 20, "export directory");
  const uint32_t nameCount = Get32(mem, d.rva + 24, "export directory");
  const uint32_t functions = Get32(mem, d.rva + 28, "export directory");
  const uint32_t names = Get32(mem, d.rva + 32, "export directory");
  const uint32_t ordinals = Get32(mem, d.rva + 36, "export directory");
  for (uint32_t i = 0; i < nameCount; ++i) {
    const std::string name =
        GetName(mem, Get32(mem, names + 4 * uint64_t{i}, "export names"), "export names");
    const uint16_t index = Get16(mem, ordinals + 2 * uint64_t{i}, "export ordinals");
    if (index >= functionCount) throw EmuError("export '" + name + "' has no function");
    const uint32_t rva = Get32(mem, functions + 4 * uint64_t{index}, "export functions");
    if (rva >= d.rva && rva < uint64_t{d.rva} + d.size) {
      throw EmuError("export '" + name + "' is forwarded to another DLL");
    }
    exports_[name] = rva;
  }
}

// Imports: one slot of the address table per function.
void PeImage::ReadImports(Directory d) {
  if (d.rva == 0) return;
  const std::vector<uint8_t>& mem = file_;
  for (uint64_t desc = d.rva;; desc += kImportDescriptorSize) {
    const uint32_t lookup = Get32(mem, desc, "import directory");
    const uint32_t dllName = Get32(mem, desc + 12, "import directory");
    const uint32_t iat = Get32(mem, desc + 16, "import directory");
    if (lookup == 0 && dllName == 0 && iat == 0) break;
    const std::string dll = GetName(mem, dllName, "imports");
    const uint32_t table = lookup != 0 ? lookup : iat;
    for (uint64_t k = 0;; ++k) {
      const uint32_t thunk = Get32(mem, table + 4 * k, "import lookup table");
      if (thunk == 0) break;
      PeImport imp;
      imp.dll = dll;
      imp.iatRva = static_cast<uint32_t>(iat + 4 * k);
      if (imp.iatRva + uint64_t{4} > mem.size()) throw EmuError("import table truncated");
      if ((thunk & kImportByOrdinal) != 0) {
        imp.name = "#" + std::to_string(thunk & 0xFFFF);
      } else {
        imp.name = GetName(mem, uint64_t{thunk} + 2, "import names");  // after the hint
      }
      imports_.push_back(imp);
    }
  }
}

// Base relocations: blocks of 16-bit entries, each a type and a page offset.
void PeImage::ReadRelocations(Directory d) {
  if (d.rva == 0) return;
  const std::vector<uint8_t>& mem = file_;
  uint64_t block = d.rva;
  const uint64_t end = uint64_t{d.rva} + d.size;
  while (block + 8 <= end) {
    const uint32_t page = Get32(mem, block, "relocations");
    const uint32_t size = Get32(mem, block + 4, "relocations");
    if (size < 8 || block + size > end) throw EmuError("PE relocation block damaged");
    for (uint64_t e = block + 8; e + 2 <= block + size; e += 2) {
      const uint16_t entry = Get16(mem, e, "relocations");
      const uint16_t type = entry >> 12;
      if (type == kRelocAbsolute) continue;
      if (type != kRelocHighLow) {
        throw EmuError("PE relocation of type " + std::to_string(type) + " is not supported");
      }
      const uint64_t at = uint64_t{page} + (entry & 0x0FFF);
      if (at + 4 > mem.size()) throw EmuError("PE relocation outside the image");
      relocations_.push_back(static_cast<uint32_t>(at));
    }
    block += size;
  }
}

void PeImage::ReadTls(Directory d) {
  if (d.rva == 0) return;
  PeTls t;
  t.rawDataStart = Get32(file_, d.rva, "thread-storage directory");
  t.rawDataEnd = Get32(file_, d.rva + 4, "thread-storage directory");
  t.indexAddress = Get32(file_, d.rva + 8, "thread-storage directory");
  t.callbacksAddress = Get32(file_, d.rva + 12, "thread-storage directory");
  t.zeroFill = Get32(file_, d.rva + 16, "thread-storage directory");
  tls_ = t;
}

std::vector<uint8_t> PeImage::Layout(uint32_t base) const {
  std::vector<uint8_t> mem = file_;
  const uint32_t delta = base - imageBase_;  // modulo 2^32, as the loader adds it
  if (delta != 0) {
    for (uint32_t at : relocations_) {
      uint32_t value;
      std::memcpy(&value, &mem[at], 4);
      value += delta;
      std::memcpy(&mem[at], &value, 4);
    }
  }
  return mem;
}

}  // namespace atsemu
