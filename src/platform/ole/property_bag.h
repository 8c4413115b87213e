// Property bags: a control's state as named values, for hosts that keep settings by name rather
// than as a stream of bytes.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace pelmor::ole {

class MemoryPropertyBag;

// One value in a bag: a whole number, a truth value, a number with four decimal places, text, or a
// bag of its own (an object such as a font).
class PropValue {
 public:
  enum class Kind { kInteger, kBoolean, kFixed, kText, kObject };

  static PropValue Integer(int64_t v);
  // An integer that text bags write in hexadecimal (colours).
  static PropValue HexInteger(int64_t v);
  static PropValue Boolean(bool v);
  // A number held as ten-thousandths (9.75 is 97500).
  static PropValue Fixed(int64_t tenThousandths);
  static PropValue Text(std::string v);
  static PropValue Object(MemoryPropertyBag bag);

  Kind GetKind() const { return kind_; }
  bool IsHex() const { return hex_; }
  // The number of an integer, truth value (0 or 1) or fixed value.
  int64_t Number() const { return number_; }
  const std::string& GetText() const { return text_; }
  // The bag of an object; null for other kinds.
  const MemoryPropertyBag* GetObject() const { return object_.get(); }

  // Same kind and value; the hexadecimal hint does not count.
  bool operator==(const PropValue& other) const;

 private:
  PropValue(Kind kind, int64_t number) : kind_(kind), number_(number) {}

  Kind kind_ = Kind::kInteger;
  int64_t number_ = 0;
  bool hex_ = false;
  std::string text_;
  std::shared_ptr<const MemoryPropertyBag> object_;
};

// What a control reads its properties from and writes them to. Names match without regard to
// ASCII case.
class PropertyBag {
 public:
  virtual ~PropertyBag() = default;
  // The value stored under the name, or null.
  virtual const PropValue* Read(std::string_view name) const = 0;
  // Stores the value, replacing one of the same name.
  virtual void Write(std::string_view name, PropValue value) = 0;
};

// A bag in memory that keeps its values in the order they were first written.
class MemoryPropertyBag : public PropertyBag {
 public:
  using Entry = std::pair<std::string, PropValue>;

  const PropValue* Read(std::string_view name) const override;
  void Write(std::string_view name, PropValue value) override;

  const std::vector<Entry>& Entries() const { return entries_; }
  bool Empty() const { return entries_.empty(); }
  void Clear() { entries_.clear(); }
  bool operator==(const MemoryPropertyBag& other) const { return entries_ == other.entries_; }

 private:
  std::vector<Entry> entries_;
};

// True when the names are equal ignoring ASCII case.
bool SamePropertyName(std::string_view a, std::string_view b);

}  // namespace pelmor::ole
