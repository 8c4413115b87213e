// The formats the document knows, in one table: each codec's id, name, file-name extensions and
// the function that makes one for a document. The document builds its codecs from it and picks
// them by extension through it.
#pragma once

#include <array>
#include <memory>
#include <optional>
#include <span>

#include "model/image_codec.h"

namespace pelmor {

struct CodecEntry {
  CodecId id;
  const char* name;  // short and lower-case: "bmp", "jpeg", "gif", "tiff", "png", "tga"
  // Extensions in the order they are tried; unused places are null. Opening compares each over
  // its own length only ("x.bmpx" is bmp, "x.tiff" is tif); saving compares the whole extension.
  std::array<const char*, 2> extensions;
  bool writes;  // a target name with one of the extensions is written by this codec
  std::unique_ptr<CImageCodec> (*make)(CImageDoc* owner);
};

// Every codec, in member order.
std::span<const CodecEntry> Codecs();

// Short lower-case name of a format.
const char* CodecName(CodecId id);

// The reader a file name asks for first: the text after its last dot compared with every
// extension of the table in order, over that extension's length, case-insensitively. Nothing when
// there is no dot or no match.
std::optional<CodecId> CodecForExtension(const char* fileName);

// The writer for a target name: a codec that writes, one of whose extensions is the whole text
// after the last dot.
std::optional<CodecId> WriterForExtension(const char* fileName);

}  // namespace pelmor
