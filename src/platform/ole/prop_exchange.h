// One description of what a control persists, carried out in either direction over either of two
// media: the archive (the values in a fixed order in one block of bytes) or a property bag (the
// values by name). A control lists its values once, each with its name and default, and the
// exchange decides what happens to them.
//
// In an archive the values form one block: the version as uint32, the byte count of the values as
// uint32, then the values in the order they are exchanged. A reader reads the values it knows and
// skips the rest of the block; a value the block ends before takes its default, a value the block
// ends inside is an end-of-file error. Later versions of a layout only append values and keep the
// upper 16 bits of the version (its major part); a stored version with another major part is
// refused. docs/persistence.md has the whole layout.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/ole/archive.h"
#include "platform/ole/ole_font.h"
#include "platform/ole/property_bag.h"

namespace pelmor::ole {

class PropertyExchange {
 public:
  virtual ~PropertyExchange() = default;
  virtual bool IsLoading() const = 0;

  // The version of the layout; exchanged before any value. Saving stores `current` and returns it;
  // loading returns the stored version (`current` when none is stored) and refuses one whose major
  // part differs from that of `current`.
  virtual uint32_t Version(uint32_t current) = 0;

  // Saving stores v. Loading sets v from the stored value, or to def when none is stored; a stored
  // value of the wrong kind or out of range raises ArchiveException(kBadFormat), and a value cut
  // short raises ArchiveException(kEndOfFile).
  virtual void Int16(std::string_view name, int16_t& v, int16_t def) = 0;
  virtual void Int32(std::string_view name, int32_t& v, int32_t def) = 0;
  virtual void UInt32(std::string_view name, uint32_t& v, uint32_t def) = 0;
  // A colour: a uint32 that bags show in hexadecimal.
  virtual void Color(std::string_view name, uint32_t& v, uint32_t def) = 0;
  virtual void Bool(std::string_view name, bool& v, bool def) = 0;
  // Text ends at its first NUL.
  virtual void Text(std::string_view name, std::string& v, const std::string& def) = 0;
  // A font's size is kept in ten-thousandths of a point.
  virtual void Font(std::string_view name, FontDesc& v, const FontDesc& def) = 0;
};

// The values as one block of an archive.
class ArchivePropExchange : public PropertyExchange {
 public:
  explicit ArchivePropExchange(Archive& ar);

  // Ends the exchange; when saving, this writes the block's byte count and values.
  void Finish();

  bool IsLoading() const override { return outer_.IsLoading(); }
  uint32_t Version(uint32_t current) override;
  void Int16(std::string_view name, int16_t& v, int16_t def) override;
  void Int32(std::string_view name, int32_t& v, int32_t def) override;
  void UInt32(std::string_view name, uint32_t& v, uint32_t def) override;
  void Color(std::string_view name, uint32_t& v, uint32_t def) override;
  void Bool(std::string_view name, bool& v, bool def) override;
  void Text(std::string_view name, std::string& v, const std::string& def) override;
  void Font(std::string_view name, FontDesc& v, const FontDesc& def) override;

 private:
  // The archive the values go to or come from; only after the version.
  Archive& Values();
  // Loading: true when the block has ended, so the next value takes its default.
  bool Absent();
  // A number written as it is, or read back (the default when the block ends first).
  template <class T>
  void Number(T& v, T def);

  Archive& outer_;
  bool started_ = false;
  std::vector<uint8_t> body_;
  Archive bodyWriter_{body_};
  CByteReader block_;
  Archive blockReader_{block_};
};

// The values by name in a property bag.
class BagPropExchange : public PropertyExchange {
 public:
  // Loading from `bag`.
  explicit BagPropExchange(const PropertyBag& bag) : in_(&bag) {}
  // Saving into `bag`.
  explicit BagPropExchange(PropertyBag& bag) : out_(&bag) {}

  bool IsLoading() const override { return in_ != nullptr; }
  uint32_t Version(uint32_t current) override;
  void Int16(std::string_view name, int16_t& v, int16_t def) override;
  void Int32(std::string_view name, int32_t& v, int32_t def) override;
  void UInt32(std::string_view name, uint32_t& v, uint32_t def) override;
  void Color(std::string_view name, uint32_t& v, uint32_t def) override;
  void Bool(std::string_view name, bool& v, bool def) override;
  void Text(std::string_view name, std::string& v, const std::string& def) override;
  void Font(std::string_view name, FontDesc& v, const FontDesc& def) override;

 private:
  // Loading: an integer value within [lo, hi], or def when the bag has none.
  int64_t Integer(std::string_view name, int64_t def, int64_t lo, int64_t hi);

  const PropertyBag* in_ = nullptr;
  PropertyBag* out_ = nullptr;
};

}  // namespace pelmor::ole
