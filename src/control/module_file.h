// The module's own file: which file a piece of loaded code came from, and the bytes of a named
// section of that file (the build keeps the version block in one). The file is read as found on
// disk, so a damaged or foreign file gives nothing, never a crash or a huge allocation.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pelmor {

// The section the build puts the module's version block in.
inline constexpr const char* kVersionSectionName = ".pelmor_version";
// A version block larger than this is refused.
inline constexpr size_t kMaxVersionBlockSize = 64 * 1024;

// The path of the loaded file (shared library or program) that holds address; nothing when the
// loader cannot say.
std::optional<std::string> ModuleFileName(const void* address);

// The contents of the section called name in the ELF file at path (32- or 64-bit,
// little-endian). Nothing when the file cannot be read, is not such a file, is damaged, has no
// such section, or the section is larger than maxSize.
std::optional<std::vector<uint8_t>> ReadElfSection(const std::string& path, std::string_view name,
                                                   size_t maxSize);

// The version block of the module that holds address: ModuleFileName, then its version section.
std::optional<std::vector<uint8_t>> ReadModuleVersionBlock(const void* address);

}  // namespace pelmor
