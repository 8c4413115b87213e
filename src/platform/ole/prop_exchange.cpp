#include "platform/ole/prop_exchange.h"

#include <cmath>
#include <limits>

namespace pelmor::ole {

namespace {

constexpr uint32_t Major(uint32_t version) { return version >> 16; }

std::string UpToNul(std::string_view text) { return std::string(text.substr(0, text.find('\0'))); }

// Font sizes as stored: ten-thousandths of a point. Sizes beyond what an int64 holds (no font
// object takes them) are stored as 0, which no loader takes either.
int64_t StoredFontSize(double points) {
  const double v = std::round(points * 10000);
  return v > -9e18 && v < 9e18 ? static_cast<int64_t>(v) : 0;
}
double FontSizeFromStored(int64_t v) { return static_cast<double>(v) / 10000; }

void CheckMajor(uint32_t stored, uint32_t current) {
  if (Major(stored) != Major(current)) {
    throw ArchiveException(ArchiveError::kBadFormat,
                           "layout version " + std::to_string(Major(stored)) + "." +
                               std::to_string(stored & 0xFFFF) + " is not one this reader knows");
  }
}

[[noreturn]] void BadValue(std::string_view name, const std::string& why) {
  throw ArchiveException(ArchiveError::kBadFormat, std::string(name) + ": " + why);
}

}  // namespace

// ---- archive ----

ArchivePropExchange::ArchivePropExchange(Archive& ar) : outer_(ar) {}

uint32_t ArchivePropExchange::Version(uint32_t current) {
  started_ = true;
  if (!IsLoading()) {
    outer_.WriteU32(current);
    return current;
  }
  const uint32_t stored = outer_.ReadU32();
  CheckMajor(stored, current);
  const uint32_t size = outer_.ReadU32();
  block_ = outer_.ReadBlock(size);
  return stored;
}

void ArchivePropExchange::Finish() {
  if (!started_ || IsLoading()) return;
  if (body_.size() > std::numeric_limits<uint32_t>::max()) {
    throw ArchiveException(ArchiveError::kGeneric, "the block is larger than 4 GiB");
  }
  outer_.WriteU32(static_cast<uint32_t>(body_.size()));
  outer_.WriteBytes(body_.data(), body_.size());
}

Archive& ArchivePropExchange::Values() {
  if (!started_) throw ArchiveException(ArchiveError::kGeneric, "a value before the version");
  return IsLoading() ? blockReader_ : bodyWriter_;
}

bool ArchivePropExchange::Absent() { return Values().Remaining() == 0; }

template <class T>
void ArchivePropExchange::Number(T& v, T def) {
  if (!IsLoading()) {
    Values() << v;
  } else if (Absent()) {
    v = def;
  } else {
    Values() >> v;
  }
}

void ArchivePropExchange::Int16(std::string_view, int16_t& v, int16_t def) { Number(v, def); }

void ArchivePropExchange::Int32(std::string_view, int32_t& v, int32_t def) { Number(v, def); }

void ArchivePropExchange::UInt32(std::string_view, uint32_t& v, uint32_t def) { Number(v, def); }

void ArchivePropExchange::Color(std::string_view name, uint32_t& v, uint32_t def) {
  UInt32(name, v, def);
}

void ArchivePropExchange::Bool(std::string_view, bool& v, bool def) {
  if (!IsLoading()) {
    Values().WriteU8(v ? 1 : 0);
  } else if (Absent()) {
    v = def;
  } else {
    v = Values().ReadU8() != 0;
  }
}

void ArchivePropExchange::Text(std::string_view, std::string& v, const std::string& def) {
  if (!IsLoading()) {
    Values().WriteString(UpToNul(v));
  } else if (Absent()) {
    v = def;
  } else {
    v = Values().ReadString();
  }
}

// A font is its name, size (int64), weight (int16), italic, underline and strikethrough (one byte
// each) and character set (int16), all or nothing.
void ArchivePropExchange::Font(std::string_view, FontDesc& v, const FontDesc& def) {
  Archive& ar = Values();
  if (!IsLoading()) {
    ar << std::string_view(UpToNul(v.name)) << StoredFontSize(v.size) << v.weight;
    ar << uint8_t{v.italic} << uint8_t{v.underline} << uint8_t{v.strikethrough} << v.charset;
    return;
  }
  if (Absent()) {
    v = def;
    return;
  }
  FontDesc f;
  int64_t size = 0;
  ar >> f.name >> size >> f.weight;
  f.size = FontSizeFromStored(size);
  f.italic = ar.ReadU8() != 0;
  f.underline = ar.ReadU8() != 0;
  f.strikethrough = ar.ReadU8() != 0;
  ar >> f.charset;
  v = std::move(f);
}

// ---- property bag ----

uint32_t BagPropExchange::Version(uint32_t current) {
  if (!IsLoading()) {
    out_->Write("_Version", PropValue::Integer(current));
    return current;
  }
  const auto stored = static_cast<uint32_t>(Integer("_Version", current, 0, UINT32_MAX));
  CheckMajor(stored, current);
  return stored;
}

int64_t BagPropExchange::Integer(std::string_view name, int64_t def, int64_t lo, int64_t hi) {
  const PropValue* p = in_->Read(name);
  if (p == nullptr) return def;
  if (p->GetKind() != PropValue::Kind::kInteger) BadValue(name, "expected a whole number");
  if (p->Number() < lo || p->Number() > hi) {
    BadValue(name, std::to_string(p->Number()) + " is outside " + std::to_string(lo) + ".." +
                       std::to_string(hi));
  }
  return p->Number();
}

void BagPropExchange::Int16(std::string_view name, int16_t& v, int16_t def) {
  if (!IsLoading()) return out_->Write(name, PropValue::Integer(v));
  v = static_cast<int16_t>(Integer(name, def, INT16_MIN, INT16_MAX));
}

void BagPropExchange::Int32(std::string_view name, int32_t& v, int32_t def) {
  if (!IsLoading()) return out_->Write(name, PropValue::Integer(v));
  v = static_cast<int32_t>(Integer(name, def, INT32_MIN, INT32_MAX));
}

void BagPropExchange::UInt32(std::string_view name, uint32_t& v, uint32_t def) {
  if (!IsLoading()) return out_->Write(name, PropValue::Integer(v));
  v = static_cast<uint32_t>(Integer(name, def, 0, UINT32_MAX));
}

void BagPropExchange::Color(std::string_view name, uint32_t& v, uint32_t def) {
  if (!IsLoading()) return out_->Write(name, PropValue::HexInteger(v));
  v = static_cast<uint32_t>(Integer(name, def, 0, UINT32_MAX));
}

void BagPropExchange::Bool(std::string_view name, bool& v, bool def) {
  if (!IsLoading()) return out_->Write(name, PropValue::Boolean(v));
  const PropValue* p = in_->Read(name);
  if (p == nullptr) {
    v = def;
  } else if (p->GetKind() == PropValue::Kind::kBoolean ||
             p->GetKind() == PropValue::Kind::kInteger) {
    v = p->Number() != 0;
  } else {
    BadValue(name, "expected true or false");
  }
}

void BagPropExchange::Text(std::string_view name, std::string& v, const std::string& def) {
  if (!IsLoading()) return out_->Write(name, PropValue::Text(UpToNul(v)));
  const PropValue* p = in_->Read(name);
  if (p == nullptr) {
    v = def;
  } else if (p->GetKind() == PropValue::Kind::kText) {
    v = UpToNul(p->GetText());
  } else {
    BadValue(name, "expected text in quotes");
  }
}

void BagPropExchange::Font(std::string_view name, FontDesc& v, const FontDesc& def) {
  if (!IsLoading()) {
    MemoryPropertyBag font;
    font.Write("Name", PropValue::Text(UpToNul(v.name)));
    font.Write("Size", PropValue::Fixed(StoredFontSize(v.size)));
    font.Write("Weight", PropValue::Integer(v.weight));
    font.Write("Italic", PropValue::Boolean(v.italic));
    font.Write("Underline", PropValue::Boolean(v.underline));
    font.Write("Strikethrough", PropValue::Boolean(v.strikethrough));
    font.Write("Charset", PropValue::Integer(v.charset));
    out_->Write(name, PropValue::Object(std::move(font)));
    return;
  }
  const PropValue* p = in_->Read(name);
  if (p == nullptr) {
    v = def;
    return;
  }
  if (p->GetKind() != PropValue::Kind::kObject) BadValue(name, "expected an object");
  // Each part the object leaves out keeps its default.
  const MemoryPropertyBag& bag = *p->GetObject();
  BagPropExchange inner(static_cast<const PropertyBag&>(bag));
  FontDesc f;
  try {
    inner.Text("Name", f.name, def.name);
    f.size = def.size;
    if (const PropValue* size = bag.Read("Size")) {
      int64_t stored = 0;
      if (size->GetKind() == PropValue::Kind::kFixed) {
        stored = size->Number();
      } else if (size->GetKind() != PropValue::Kind::kInteger ||
                 __builtin_mul_overflow(size->Number(), int64_t{10000}, &stored)) {
        BadValue("Size", "expected a number of points");
      }
      f.size = FontSizeFromStored(stored);
    }
    inner.Int16("Weight", f.weight, def.weight);
    inner.Bool("Italic", f.italic, def.italic);
    inner.Bool("Underline", f.underline, def.underline);
    inner.Bool("Strikethrough", f.strikethrough, def.strikethrough);
    inner.Int16("Charset", f.charset, def.charset);
  } catch (const ArchiveException& e) {
    throw ArchiveException(e.Cause(), std::string(name) + "." + e.Detail());
  }
  v = std::move(f);
}

}  // namespace pelmor::ole
