// A 32-bit Windows DLL (PE32) read from its file: what a loader needs to lay
// it out in memory, resolve its imports, run its entry routine and find its
// exports. Every offset in the file is checked before it is used, so a
// damaged or foreign file is reported, never read out of bounds.
#ifndef ATSVORLAN800_EMU_PE_IMAGE_H
#define ATSVORLAN800_EMU_PE_IMAGE_H

#include <cstdint>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace atsemu {

// Anything that stops a DLL from being loaded or run under emulation; the
// message says what and where.
class EmuError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct PeSection {
  std::string name;
  uint32_t rva = 0;
  uint32_t virtualSize = 0;
  uint32_t rawOffset = 0;
  uint32_t rawSize = 0;
  uint32_t characteristics = 0;  // IMAGE_SCN_MEM_EXECUTE, _READ, _WRITE among others
};

// One imported function: the slot of the import address table that the loader
// fills with its address. An import by ordinal is named "#<ordinal>".
struct PeImport {
  std::string dll;
  std::string name;
  uint32_t iatRva = 0;
};

// The thread-storage directory, as virtual addresses for the preferred base.
struct PeTls {
  uint32_t rawDataStart = 0;
  uint32_t rawDataEnd = 0;
  uint32_t indexAddress = 0;
  uint32_t callbacksAddress = 0;
  uint32_t zeroFill = 0;
};

class PeImage {
 public:
  // Reads a PE32 image for the i386 machine; throws EmuError for anything else.
  static PeImage Parse(std::vector<uint8_t> file);
  static PeImage Load(const std::string& path);

  // Whether the bytes begin like a Windows executable ("MZ").
  static bool LooksLikePe(const std::vector<uint8_t>& head);

  // The image as the loader lays it out at base: headers and sections at their
  // RVAs, the rest zero, absolute addresses relocated when base differs from
  // the preferred one.
  std::vector<uint8_t> Layout(uint32_t base) const;

  uint32_t imageBase() const { return imageBase_; }
  uint32_t imageSize() const { return imageSize_; }
  uint32_t entryRva() const { return entryRva_; }
  bool isDll() const { return isDll_; }
  const std::vector<PeSection>& sections() const { return sections_; }
  const std::string& exportName() const { return exportName_; }
  // Export name -> RVA.
  const std::map<std::string, uint32_t>& exports() const { return exports_; }
  const std::vector<PeImport>& imports() const { return imports_; }
  // RVAs of the 32-bit absolute addresses to adjust when loaded elsewhere.
  const std::vector<uint32_t>& relocations() const { return relocations_; }
  const std::optional<PeTls>& tls() const { return tls_; }

 private:
  // Where one of the optional header's data directories lies; rva 0 where the
  // image has none.
  struct Directory {
    uint32_t rva = 0;
    uint32_t size = 0;
  };
  // The steps of Parse after the headers, in order: the memory image from the
  // sections, then the tables read from it.
  void MapSections(const std::vector<uint8_t>& file, uint64_t sectionTable, uint16_t count);
  void ReadExports(Directory d);
  void ReadImports(Directory d);
  void ReadRelocations(Directory d);
  void ReadTls(Directory d);

  std::vector<uint8_t> file_;
  uint32_t imageBase_ = 0;
  uint32_t imageSize_ = 0;
  uint32_t headersSize_ = 0;
  uint32_t entryRva_ = 0;
  bool isDll_ = false;
  std::vector<PeSection> sections_;
  std::string exportName_;
  std::map<std::string, uint32_t> exports_;
  std::vector<PeImport> imports_;
  std::vector<uint32_t> relocations_;
  std::optional<PeTls> tls_;
};

}  // namespace atsemu

#endif  // ATSVORLAN800_EMU_PE_IMAGE_H
