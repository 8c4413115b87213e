#include "platform/ole/property_bag.h"

namespace pelmor::ole {

PropValue PropValue::Integer(int64_t v) { return PropValue(Kind::kInteger, v); }

PropValue PropValue::HexInteger(int64_t v) {
  PropValue p(Kind::kInteger, v);
  p.hex_ = true;
  return p;
}

PropValue PropValue::Boolean(bool v) { return PropValue(Kind::kBoolean, v ? 1 : 0); }

PropValue PropValue::Fixed(int64_t tenThousandths) {
  return PropValue(Kind::kFixed, tenThousandths);
}

PropValue PropValue::Text(std::string v) {
  PropValue p(Kind::kText, 0);
  p.text_ = std::move(v);
  return p;
}

PropValue PropValue::Object(MemoryPropertyBag bag) {
  PropValue p(Kind::kObject, 0);
  p.object_ = std::make_shared<const MemoryPropertyBag>(std::move(bag));
  return p;
}

bool PropValue::operator==(const PropValue& other) const {
  if (kind_ != other.kind_ || number_ != other.number_ || text_ != other.text_) return false;
  if (kind_ != Kind::kObject) return true;
  return *object_ == *other.object_;
}

bool SamePropertyName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

const PropValue* MemoryPropertyBag::Read(std::string_view name) const {
  for (const Entry& e : entries_) {
    if (SamePropertyName(e.first, name)) return &e.second;
  }
  return nullptr;
}

void MemoryPropertyBag::Write(std::string_view name, PropValue value) {
  for (Entry& e : entries_) {
    if (SamePropertyName(e.first, name)) {
      e.second = std::move(value);
      return;
    }
  }
  entries_.emplace_back(std::string(name), std::move(value));
}

}  // namespace pelmor::ole
