// Property bags kept as text files that people can read and edit, one value per line:
//
//   # Pelmor control
//   _Version = 65536
//   Caption = "Front door"
//   ForeColor = 0x80000012
//   Enabled = true
//   Font = {
//     Name = "DejaVu Sans"
//     Size = 9.75
//   }
//
// A name is letters, digits and underscores, not starting with a digit; each name appears once per
// level. Values are integers (-12, or hexadecimal 0x8000000F), true or false, numbers with up to
// four decimal places (9.75), text in double quotes (UTF-8; \" \\ \n \r \t and \xHH stand for
// themselves, and a NUL is refused), or an object: "{" ending the line, its values on the lines
// below, and a line holding "}". Blank lines and everything after a "#" outside quotes are
// ignored. Files are read up to 16 MiB and objects nest up to 16 deep.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "platform/ole/property_bag.h"

namespace pelmor::ole {

struct TextBagError {
  size_t line = 0;  // 1-based; 0 when the whole file is at fault
  std::string message;
  bool unreadable = false;  // the file could not be opened or read (not a fault of its text)
  std::string ToString() const;
};

// The bag a text holds, or nothing (and `error`, when given, says why).
std::optional<MemoryPropertyBag> ParsePropertyText(std::string_view text, TextBagError* error);

// The text of a bag; ParsePropertyText gives the same bag back.
std::string FormatPropertyText(const MemoryPropertyBag& bag);

// A bag read from and written to one text file.
class TextFilePropertyBag : public MemoryPropertyBag {
 public:
  explicit TextFilePropertyBag(std::string path) : path_(std::move(path)) {}

  const std::string& Path() const { return path_; }
  // Replaces the values with those of the file; on failure the bag is left as it was.
  bool Load(TextBagError* error);
  // Writes the values to the file, replacing it.
  bool Save() const;

 private:
  std::string path_;
};

}  // namespace pelmor::ole
