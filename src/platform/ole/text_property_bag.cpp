#include "platform/ole/text_property_bag.h"

#include <cstdio>

#include "platform/file.h"
#include "platform/text_encoding.h"

namespace pelmor::ole {

namespace {

constexpr size_t kLargestFile = size_t{16} << 20;
constexpr size_t kDeepestNesting = 16;
constexpr int64_t kFixedScale = 10000;

bool IsNameStart(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_'; }
bool IsNameChar(char c) { return IsNameStart(c) || (c >= '0' && c <= '9'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool IsPlainName(std::string_view name) {
  if (name.empty() || !IsNameStart(name[0])) return false;
  for (char c : name) {
    if (!IsNameChar(c)) return false;
  }
  return true;
}

// Reads one file line by line into a stack of open objects.
class TextBagParser {
 public:
  std::optional<MemoryPropertyBag> Parse(std::string_view text, TextBagError* error) {
    stack_.push_back({});
    size_t start = 0;
    while (start <= text.size()) {
      size_t end = text.find('\n', start);
      if (end == std::string_view::npos) end = text.size();
      std::string_view line = text.substr(start, end - start);
      if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
      ++line_;
      if (!ParseLine(line)) return Failed(error);
      start = end + 1;
    }
    if (stack_.size() > 1) {
      Fail("the object '" + stack_.back().name + "' opened on line " +
           std::to_string(stack_.back().line) + " is not closed");
      return Failed(error);
    }
    return std::move(stack_.front().bag);
  }

 private:
  struct Level {
    MemoryPropertyBag bag;
    std::string name;
    size_t line = 0;
  };

  std::optional<MemoryPropertyBag> Failed(TextBagError* error) {
    if (error != nullptr) *error = error_;
    return std::nullopt;
  }

  bool Fail(std::string message) {
    error_.line = line_;
    error_.message = std::move(message);
    return false;
  }

  static void SkipSpace(std::string_view& s) {
    while (!s.empty() && (s[0] == ' ' || s[0] == '\t')) s.remove_prefix(1);
  }

  // True when only spaces or a comment remain.
  static bool AtLineEnd(std::string_view s) {
    SkipSpace(s);
    return s.empty() || s[0] == '#';
  }

  bool ParseLine(std::string_view s) {
    SkipSpace(s);
    if (s.empty() || s[0] == '#') return true;
    if (s[0] == '}') {
      s.remove_prefix(1);
      if (!AtLineEnd(s)) return Fail("unexpected text after '}'");
      if (stack_.size() == 1) return Fail("'}' without an open object");
      Level done = std::move(stack_.back());
      stack_.pop_back();
      stack_.back().bag.Write(done.name, PropValue::Object(std::move(done.bag)));
      return true;
    }
    std::string name;
    if (!ParseName(s, name)) return false;
    if (stack_.back().bag.Read(name) != nullptr) return Fail("'" + name + "' is given twice");
    SkipSpace(s);
    if (s.empty() || s[0] != '=') return Fail("expected '=' after '" + name + "'");
    s.remove_prefix(1);
    SkipSpace(s);
    if (!s.empty() && s[0] == '{') {
      s.remove_prefix(1);
      if (!AtLineEnd(s)) return Fail("an object's values start on the next line");
      if (stack_.size() > kDeepestNesting) return Fail("objects nest too deep");
      stack_.push_back({MemoryPropertyBag(), std::move(name), line_});
      return true;
    }
    std::optional<PropValue> value = ParseValue(s);
    if (!value) return false;
    if (!AtLineEnd(s)) return Fail("unexpected text after the value of '" + name + "'");
    stack_.back().bag.Write(name, std::move(*value));
    return true;
  }

  bool ParseName(std::string_view& s, std::string& name) {
    if (s[0] == '"') return ParseQuoted(s, name);
    if (!IsNameStart(s[0])) return Fail("expected a name");
    size_t n = 1;
    while (n < s.size() && IsNameChar(s[n])) ++n;
    name.assign(s.substr(0, n));
    s.remove_prefix(n);
    return true;
  }

  std::optional<PropValue> ParseValue(std::string_view& s) {
    if (s.empty()) {
      Fail("expected a value");
      return std::nullopt;
    }
    if (s[0] == '"') {
      std::string text;
      if (!ParseQuoted(s, text)) return std::nullopt;
      return PropValue::Text(std::move(text));
    }
    for (bool b : {true, false}) {
      const std::string_view word = b ? "true" : "false";
      if (s.substr(0, word.size()) == word &&
          (s.size() == word.size() || !IsNameChar(s[word.size()]))) {
        s.remove_prefix(word.size());
        return PropValue::Boolean(b);
      }
    }
    if (s[0] == '-' || IsDigit(s[0])) return ParseNumber(s);
    Fail("expected a value");
    return std::nullopt;
  }

  // Integers, hexadecimal integers and numbers with up to four decimal places, all within int64.
  std::optional<PropValue> ParseNumber(std::string_view& s) {
    const bool negative = s[0] == '-';
    if (negative) s.remove_prefix(1);
    const uint64_t limit = negative ? uint64_t{1} << 63 : (uint64_t{1} << 63) - 1;
    uint64_t magnitude = 0;
    auto push = [&](uint64_t base, uint64_t digit) {
      return !__builtin_mul_overflow(magnitude, base, &magnitude) &&
             !__builtin_add_overflow(magnitude, digit, &magnitude) && magnitude <= limit;
    };
    auto value = [&](uint64_t m) {
      return negative ? static_cast<int64_t>(0 - m) : static_cast<int64_t>(m);
    };
    if (s.size() >= 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
      s.remove_prefix(2);
      size_t n = 0;
      for (; n < s.size() && HexDigit(s[n]) >= 0; ++n) {
        if (!push(16, static_cast<uint64_t>(HexDigit(s[n])))) return NumberFail("too large");
      }
      if (n == 0) return NumberFail("expected hexadecimal digits");
      s.remove_prefix(n);
      return PropValue::HexInteger(value(magnitude));
    }
    size_t n = 0;
    for (; n < s.size() && IsDigit(s[n]); ++n) {
      if (!push(10, static_cast<uint64_t>(s[n] - '0'))) return NumberFail("too large");
    }
    if (n == 0) return NumberFail("expected digits");
    s.remove_prefix(n);
    if (s.empty() || s[0] != '.') return PropValue::Integer(value(magnitude));
    s.remove_prefix(1);
    size_t places = 0;
    for (; places < s.size() && IsDigit(s[places]); ++places) {
      if (places == 4) return NumberFail("more than four decimal places");
      if (!push(10, static_cast<uint64_t>(s[places] - '0'))) return NumberFail("too large");
    }
    if (places == 0) return NumberFail("expected digits after '.'");
    for (size_t k = places; k < 4; ++k) {
      if (!push(10, 0)) return NumberFail("too large");
    }
    s.remove_prefix(places);
    return PropValue::Fixed(value(magnitude));
  }

  std::optional<PropValue> NumberFail(const char* why) {
    Fail(std::string("bad number: ") + why);
    return std::nullopt;
  }

  // Text in double quotes with the escapes the writer uses.
  bool ParseQuoted(std::string_view& s, std::string& out) {
    s.remove_prefix(1);
    out.clear();
    while (true) {
      if (s.empty()) return Fail("the text has no closing '\"'");
      const char c = s[0];
      s.remove_prefix(1);
      if (c == '"') return true;
      if (static_cast<unsigned char>(c) < 0x20 && c != '\t') {
        return Fail("a control character in text (write it as \\xHH)");
      }
      if (c != '\\') {
        out.push_back(c);
        continue;
      }
      if (s.empty()) return Fail("the text has no closing '\"'");
      const char e = s[0];
      s.remove_prefix(1);
      switch (e) {
        case '"':
        case '\\':
          out.push_back(e);
          break;
        case 'n':
          out.push_back('\n');
          break;
        case 'r':
          out.push_back('\r');
          break;
        case 't':
          out.push_back('\t');
          break;
        case 'x': {
          if (s.size() < 2 || HexDigit(s[0]) < 0 || HexDigit(s[1]) < 0) {
            return Fail("\\x needs two hexadecimal digits");
          }
          out.push_back(static_cast<char>(HexDigit(s[0]) << 4 | HexDigit(s[1])));
          s.remove_prefix(2);
          break;
        }
        default:
          return Fail(std::string("unknown escape \\") + e);
      }
    }
  }

  std::vector<Level> stack_;
  size_t line_ = 0;
  TextBagError error_;
};

void AppendQuoted(std::string& out, std::string_view text) {
  // Bytes that are not UTF-8 are escaped so that the file stays UTF-8 for editors.
  const bool utf8 = platform::IsValidUtf8(text);
  out.push_back('"');
  for (char c : text) {
    const auto b = static_cast<unsigned char>(c);
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        if (b < 0x20 || b == 0x7F || (b >= 0x80 && !utf8)) {
          char hex[8];
          std::snprintf(hex, sizeof hex, "\\x%02X", b);
          out += hex;
        } else {
          out.push_back(c);
        }
    }
  }
  out.push_back('"');
}

void AppendFixed(std::string& out, int64_t v) {
  const uint64_t m = v < 0 ? 0 - static_cast<uint64_t>(v) : static_cast<uint64_t>(v);
  std::string frac = std::to_string(m % kFixedScale);
  frac.insert(0, 4 - frac.size(), '0');
  while (frac.size() > 1 && frac.back() == '0') frac.pop_back();
  if (v < 0) out.push_back('-');
  out += std::to_string(m / kFixedScale) + "." + frac;
}

void AppendBag(std::string& out, const MemoryPropertyBag& bag, int depth) {
  const std::string indent(static_cast<size_t>(depth) * 2, ' ');
  for (const auto& [name, value] : bag.Entries()) {
    out += indent;
    if (IsPlainName(name)) {
      out += name;
    } else {
      AppendQuoted(out, name);
    }
    out += " = ";
    switch (value.GetKind()) {
      case PropValue::Kind::kInteger:
        if (value.IsHex() && value.Number() >= 0) {
          char hex[24];
          std::snprintf(hex, sizeof hex, "0x%08llX",
                        static_cast<unsigned long long>(value.Number()));
          out += hex;
        } else {
          out += std::to_string(value.Number());
        }
        break;
      case PropValue::Kind::kBoolean:
        out += value.Number() != 0 ? "true" : "false";
        break;
      case PropValue::Kind::kFixed:
        AppendFixed(out, value.Number());
        break;
      case PropValue::Kind::kText:
        AppendQuoted(out, value.GetText());
        break;
      case PropValue::Kind::kObject:
        out += "{\n";
        AppendBag(out, *value.GetObject(), depth + 1);
        out += indent + "}";
        break;
    }
    out += "\n";
  }
}

}  // namespace

std::string TextBagError::ToString() const {
  return line == 0 ? message : "line " + std::to_string(line) + ": " + message;
}

std::optional<MemoryPropertyBag> ParsePropertyText(std::string_view text, TextBagError* error) {
  return TextBagParser().Parse(text, error);
}

std::string FormatPropertyText(const MemoryPropertyBag& bag) {
  std::string out;
  AppendBag(out, bag, 0);
  return out;
}

bool TextFilePropertyBag::Load(TextBagError* error) {
  std::string text;
  const platform::FileReadStatus read = platform::ReadWholeFile(path_.c_str(), text, kLargestFile);
  if (read != platform::FileReadStatus::kOk) {
    if (error != nullptr) {
      const bool tooLarge = read == platform::FileReadStatus::kTooLarge;
      *error = {0, tooLarge ? "the file is larger than 16 MiB" : "the file cannot be read",
                !tooLarge};
    }
    return false;
  }
  std::optional<MemoryPropertyBag> bag = ParsePropertyText(text, error);
  if (!bag) return false;
  static_cast<MemoryPropertyBag&>(*this) = std::move(*bag);
  return true;
}

bool TextFilePropertyBag::Save() const {
  const std::string text = "# Pelmor control properties\n" + FormatPropertyText(*this);
  platform::File f = platform::File::Create(path_.c_str());
  return f && f.Write(text.data(), text.size()) && f.Close();
}

}  // namespace pelmor::ole
