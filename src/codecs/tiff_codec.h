// TIFF files (TIFF 6.0 baseline, both byte orders, several pages): the header, the chain of image
// file directories, the tags the reader understands, and the text tags. One page is decoded at a
// time; moving to another page decodes that page again from the file.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "model/image_codec.h"
#include "platform/file.h"  // File::Stamp

namespace pelmor {

struct TiffEntry;
struct TiffDirectory;
class CTiffFile;

class CTiffCodec : public CImageCodec {
 public:
  using CImageCodec::CImageCodec;

  // Decodes page imageIndex (0-based; a negative index means the first page).
  bool Load(int32_t imageIndex) override;
  bool LoadNext() override;
  bool GoToImage(int32_t imageIndex) override;
  bool Save(const char* fileName, float compressionRatio) override;

  // Puts an entry read from a file of the given byte order into the form TiffEntry describes.
  static void NormalizeEntry(TiffEntry& entry, bool littleEndian);
  // The text of an ASCII entry, up to its first 0 byte (the last byte counts as 0); nothing for
  // other types, an empty count, or values that cannot be read.
  static std::optional<std::string> ReadAsciiValue(CTiffFile& file, const TiffEntry& entry);

  // The longest directory chain followed; longer chains end there.
  static constexpr size_t kMaxPages = size_t{1} << 16;

  bool littleEndian = true;  // byte order of the file read last

 private:
  // The directory chain of the file read last, counted once: stepping through n pages reads the
  // chain once rather than n times. Kept while the path and the file's stamp stay the same.
  struct PageChain {
    std::string path;
    platform::File::Stamp stamp;
    uint32_t firstOffset = 0;
    std::vector<uint32_t> pages;
  };
  PageChain chain_;

  bool ReadPage(CTiffFile& file, int32_t imageIndex);
  // The directory offsets of the chain from firstOffset, in order; the chain ends at offset 0 or
  // at an offset already visited. Sets the document's imageCount as it goes.
  bool CountPages(CTiffFile& file, uint32_t firstOffset, std::vector<uint32_t>& pages);
  bool NextDirectoryOffset(CTiffFile& file, uint32_t& offset);
  bool ReadDirectory(CTiffFile& file, uint32_t offset, TiffDirectory& dir);
  bool CheckDirectory(CTiffFile& file, TiffDirectory& dir);
};

}  // namespace pelmor
