#include "platform/ole/archive.h"

#include <cstring>

#include "platform/text_encoding.h"

namespace pelmor::ole {

namespace {

const char* CauseText(ArchiveError cause) {
  switch (cause) {
    case ArchiveError::kGeneric:
      return "archive error";
    case ArchiveError::kEndOfFile:
      return "the stream ended early";
    case ArchiveError::kBadFormat:
      return "the stream does not hold a saved state";
  }
  return "archive error";
}

// The 64-bit count form exists for lengths the 32-bit forms cannot hold, but nothing we keep is
// that long: counts above the largest signed 32-bit number are refused.
constexpr uint64_t kLargestString = 0x7FFFFFFF;

}  // namespace

HRESULT ArchiveErrorCode(ArchiveError error) {
  switch (error) {
    case ArchiveError::kGeneric:
      return Code(0x80040201);
    case ArchiveError::kEndOfFile:
      return Code(0x80040202);
    case ArchiveError::kBadFormat:
      return Code(0x80040203);
  }
  return Code(0x80040201);
}

ArchiveException::ArchiveException(ArchiveError cause, std::string detail)
    : cause_(cause), detail_(std::move(detail)) {
  what_ = CauseText(cause);
  if (!detail_.empty()) what_ += ": " + detail_;
}

CByteReader& Archive::In() {
  // Reading from an archive made for storing is a programming error; fail as a broken stream.
  if (in_ == nullptr) throw ArchiveException(ArchiveError::kGeneric, "the archive is storing");
  return *in_;
}

std::vector<uint8_t>& Archive::Out() {
  if (out_ == nullptr) throw ArchiveException(ArchiveError::kGeneric, "the archive is loading");
  return *out_;
}

size_t Archive::Remaining() const { return in_ != nullptr ? in_->Remaining() : 0; }

const uint8_t* Archive::Take(uint64_t n) {
  CByteReader& in = In();
  if (n > in.Remaining()) throw ArchiveException(ArchiveError::kEndOfFile);
  return in.Take(static_cast<size_t>(n));
}

uint8_t Archive::ReadU8() { return *Take(1); }
uint16_t Archive::ReadU16() { return LoadU16LE(Take(2)); }
uint32_t Archive::ReadU32() { return LoadU32LE(Take(4)); }
uint64_t Archive::ReadU64() { return LoadU64LE(Take(8)); }

CByteReader Archive::ReadBlock(uint64_t n) {
  const uint8_t* p = Take(n);
  return CByteReader(p, static_cast<size_t>(n));
}

uint64_t Archive::ReadStringLength(bool& wide) {
  wide = false;
  uint8_t b = ReadU8();
  if (b < 0xFF) return b;
  uint16_t w = ReadU16();
  if (w == 0xFFFE) {
    // The 16-bit character tag; the count starts again from one byte, and a second FFFE is a
    // count, not another tag.
    wide = true;
    b = ReadU8();
    if (b < 0xFF) return b;
    w = ReadU16();
  }
  if (w < 0xFFFF) return w;
  const uint32_t d = ReadU32();
  if (d < 0xFFFFFFFF) return d;
  const uint64_t q = ReadU64();
  if (q > kLargestString) {
    throw ArchiveException(ArchiveError::kGeneric, "string length " + std::to_string(q));
  }
  return q;
}

std::string Archive::ReadString() {
  bool wide = false;
  const uint64_t n = ReadStringLength(wide);
  // n is below 2^32, so the byte count cannot wrap; Take checks it against what is left before
  // anything is allocated.
  const uint64_t bytes = wide ? n * 2 : n;
  const uint8_t* p = Take(bytes);
  if (!wide) {
    const void* nul = n != 0 ? std::memchr(p, 0, static_cast<size_t>(n)) : nullptr;
    const size_t len = nul ? static_cast<size_t>(static_cast<const uint8_t*>(nul) - p) : n;
    return std::string(reinterpret_cast<const char*>(p), len);
  }
  std::u16string text;
  text.reserve(static_cast<size_t>(n));
  for (uint64_t i = 0; i < n; ++i) {
    const char16_t c = LoadU16LE(p + 2 * i);
    if (c == 0) break;
    text.push_back(c);
  }
  return platform::BytesFromUtf16(text);
}

void Archive::WriteBytes(const void* data, size_t n) {
  std::vector<uint8_t>& out = Out();
  const auto* p = static_cast<const uint8_t*>(data);
  out.insert(out.end(), p, p + n);
}

void Archive::WriteU8(uint8_t v) { Out().push_back(v); }

void Archive::WriteU16(uint16_t v) {
  uint8_t b[2];
  StoreU16LE(b, v);
  WriteBytes(b, 2);
}

void Archive::WriteU32(uint32_t v) {
  uint8_t b[4];
  StoreU32LE(b, v);
  WriteBytes(b, 4);
}

void Archive::WriteU64(uint64_t v) {
  WriteU32(static_cast<uint32_t>(v));
  WriteU32(static_cast<uint32_t>(v >> 32));
}

void Archive::WriteStringLength(uint64_t n) {
  if (n < 0xFF) return WriteU8(static_cast<uint8_t>(n));
  WriteU8(0xFF);
  if (n < 0xFFFE) return WriteU16(static_cast<uint16_t>(n));
  WriteU16(0xFFFF);
  if (n < 0xFFFFFFFF) return WriteU32(static_cast<uint32_t>(n));
  WriteU32(0xFFFFFFFF);
  WriteU64(n);
}

void Archive::WriteString(std::string_view text) {
  WriteStringLength(text.size());
  WriteBytes(text.data(), text.size());
}

}  // namespace pelmor::ole
