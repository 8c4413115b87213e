#include "control/module_file.h"

#include <dlfcn.h>
#include <link.h>
#include <unistd.h>

#include <cstring>

#include "platform/byte_reader.h"
#include "platform/checked_size.h"
#include "platform/file.h"

namespace pelmor {

namespace {

constexpr uint32_t kSectionNoBits = 8;       // SHT_NOBITS: takes no room in the file
constexpr uint32_t kSectionIndexEscape = 0xFFFF;  // SHN_XINDEX
// Limits for the tables read on the way to a section.
constexpr uint64_t kMaxSectionTable = 4u << 20;
constexpr uint64_t kMaxNameTable = 1u << 20;

struct Section {
  uint32_t name = 0;
  uint32_t type = 0;
  uint64_t offset = 0;
  uint64_t size = 0;
  uint32_t link = 0;
};

bool ReadU64LE(CByteReader& r, uint64_t& v) {
  uint32_t lo = 0, hi = 0;
  if (!r.ReadU32LE(lo) || !r.ReadU32LE(hi)) return false;
  v = uint64_t{hi} << 32 | lo;
  return true;
}

// A file offset or size of the file's class (32 or 64 bits).
bool ReadWord(CByteReader& r, bool wide, uint64_t& v) {
  if (wide) return ReadU64LE(r, v);
  uint32_t w = 0;
  if (!r.ReadU32LE(w)) return false;
  v = w;
  return true;
}

bool ReadSectionHeader(CByteReader r, bool wide, Section& s) {
  uint64_t flags = 0, address = 0;
  return r.ReadU32LE(s.name) && r.ReadU32LE(s.type) && ReadWord(r, wide, flags) &&
         ReadWord(r, wide, address) && ReadWord(r, wide, s.offset) && ReadWord(r, wide, s.size) &&
         r.ReadU32LE(s.link);
}

// size bytes at offset of a file of fileSize bytes; nothing when they are not all there.
std::optional<std::vector<uint8_t>> ReadRange(platform::File& file, int64_t fileSize, uint64_t offset,
                                              uint64_t size) {
  const CheckedSize end = CheckedSize(offset) + size;
  if (!end.AtMost(static_cast<uint64_t>(fileSize))) return std::nullopt;
  std::vector<uint8_t> bytes(static_cast<size_t>(size));
  if (!file.Seek(static_cast<int64_t>(offset)) || !file.ReadExact(bytes.data(), bytes.size())) {
    return std::nullopt;
  }
  return bytes;
}

}  // namespace

std::optional<std::string> ModuleFileName(const void* address) {
  Dl_info info{};
  link_map* map = nullptr;
  if (dladdr1(address, &info, reinterpret_cast<void**>(&map), RTLD_DL_LINKMAP) == 0) {
    return std::nullopt;
  }
  // The program itself has no name in the loader's list; the system knows its file.
  if (map == nullptr || map->l_name == nullptr || map->l_name[0] == '\0') {
    std::string path(4096, '\0');
    const ssize_t n = readlink("/proc/self/exe", path.data(), path.size());
    if (n <= 0 || static_cast<size_t>(n) >= path.size()) return std::nullopt;
    path.resize(static_cast<size_t>(n));
    return path;
  }
  return std::string(map->l_name);
}

std::optional<std::vector<uint8_t>> ReadElfSection(const std::string& path, std::string_view name,
                                                   size_t maxSize) {
  platform::File file = platform::File::OpenRead(path.c_str());
  const int64_t fileSize = file ? file.Size() : -1;
  if (fileSize < 0) return std::nullopt;
  // The file header: 52 bytes for 32-bit files, 64 for 64-bit ones.
  uint8_t header[64] = {};
  const size_t headerSize = fileSize >= 64 ? 64 : 52;
  if (fileSize < 52 || !file.ReadExact(header, headerSize)) return std::nullopt;
  if (std::memcmp(header, "\x7F" "ELF", 4) != 0 || header[5] != 1 /* little-endian */) {
    return std::nullopt;
  }
  const bool wide = header[4] == 2;
  if (!wide && header[4] != 1) return std::nullopt;
  CByteReader r(header, headerSize);
  uint64_t tableOffset = 0;
  uint16_t entrySize = 0, count = 0, namesIndex = 0;
  if (!r.Seek(wide ? 0x28 : 0x20) || !ReadWord(r, wide, tableOffset) || !r.Seek(wide ? 0x3A : 0x2E) ||
      !r.ReadU16LE(entrySize) || !r.ReadU16LE(count) || !r.ReadU16LE(namesIndex)) {
    return std::nullopt;
  }
  if (tableOffset == 0 || entrySize < (wide ? 64 : 40)) return std::nullopt;

  // Section 0 holds the real count and the name table's index when the header's fields overflow.
  const auto first = ReadRange(file, fileSize, tableOffset, entrySize);
  Section zero;
  if (!first || !ReadSectionHeader(CByteReader(first->data(), first->size()), wide, zero)) {
    return std::nullopt;
  }
  const uint64_t sections = count != 0 ? count : zero.size;
  const uint64_t names = namesIndex != kSectionIndexEscape ? namesIndex : zero.link;
  const CheckedSize tableSize = CheckedSize(sections) * entrySize;
  if (!tableSize.AtMost(kMaxSectionTable) || names >= sections) return std::nullopt;
  const auto table = ReadRange(file, fileSize, tableOffset, tableSize.Value());
  if (!table) return std::nullopt;
  auto sectionAt = [&](uint64_t index, Section& s) {
    return ReadSectionHeader(CByteReader(table->data() + index * entrySize, entrySize), wide, s);
  };

  Section nameTable;
  if (!sectionAt(names, nameTable) || nameTable.type == kSectionNoBits ||
      nameTable.size > kMaxNameTable) {
    return std::nullopt;
  }
  const auto nameBytes = ReadRange(file, fileSize, nameTable.offset, nameTable.size);
  if (!nameBytes) return std::nullopt;
  for (uint64_t i = 1; i < sections; ++i) {
    Section s;
    if (!sectionAt(i, s)) return std::nullopt;
    if (s.name >= nameBytes->size()) continue;
    const char* text = reinterpret_cast<const char*>(nameBytes->data() + s.name);
    const size_t length = strnlen(text, nameBytes->size() - s.name);
    if (std::string_view(text, length) != name) continue;
    if (s.type == kSectionNoBits || s.size > maxSize) return std::nullopt;
    return ReadRange(file, fileSize, s.offset, s.size);
  }
  return std::nullopt;
}

std::optional<std::vector<uint8_t>> ReadModuleVersionBlock(const void* address) {
  const std::optional<std::string> path = ModuleFileName(address);
  if (!path) return std::nullopt;
  return ReadElfSection(*path, kVersionSectionName, kMaxVersionBlockSize);
}

}  // namespace pelmor
