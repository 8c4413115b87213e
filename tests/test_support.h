// Shared helpers for the unit tests: temporary folders, byte-level fixture building, running the
// independent encoders, and locating the shared corpus.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "model/dib.h"
#include "model/image_doc.h"

namespace pelmor::test {

using Bytes = std::vector<uint8_t>;

// A fresh folder removed with everything in it when the object goes away.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::filesystem::path& Path() const { return path_; }
  // Path of a file name inside the folder.
  std::string File(const std::string& name) const { return (path_ / name).string(); }

 private:
  std::filesystem::path path_;
};

void WriteFile(const std::string& path, const Bytes& bytes);
// n bytes counting up from `start` by `step` (wrapping at 256).
Bytes Ramp(size_t n, uint8_t start = 0, uint8_t step = 1);
Bytes ReadFile(const std::string& path);

// Appends little- and big-endian values and raw bytes to a fixture.
class ByteWriter {
 public:
  ByteWriter& U8(uint32_t v);
  ByteWriter& U16(uint32_t v);  // little-endian
  ByteWriter& U32(uint32_t v);  // little-endian
  ByteWriter& U16BE(uint32_t v);
  ByteWriter& U32BE(uint32_t v);
  ByteWriter& Append(const Bytes& b);
  ByteWriter& Fill(size_t n, uint8_t v);
  ByteWriter& Text(const std::string& s);  // without the NUL
  size_t Size() const { return bytes_.size(); }
  Bytes& Get() { return bytes_; }
  Bytes Take() { return std::move(bytes_); }

 private:
  Bytes bytes_;
};

// A picture as blue, green, red bytes, rows from the top, no padding: the form tests compare in.
struct Rgb {
  int width = 0;
  int height = 0;
  Bytes bgr;
  bool operator==(const Rgb&) const = default;
};

// The document's current image in that form: colour tables applied, 16-bit pixels widened as
// 5-5-5, rows put top first whatever the DIB's orientation. Uncompressed DIBs only.
Rgb DocumentPixels(const CImageDoc& doc);

// The document's codec for a format, as its own class.
template <class T>
T& CodecOf(const CImageDoc& doc, CodecId id) {
  return *static_cast<T*>(doc.Codec(id));
}

// Runs a shell command; true when it exits with status 0.
bool RunCommand(const std::string& command);
// True when a program is on the PATH.
bool HaveProgram(const std::string& name);

// A file of the project's samples/ folder.
std::string SamplePath(const std::string& name);

// The shared corpus folder, when it is there (PELMOR_SHARED, or a shared/ folder beside the
// checkout or its parent).
std::optional<std::filesystem::path> SharedCorpus();

}  // namespace pelmor::test
