// A reader over bytes already in memory that cannot move past its end: every read either succeeds
// completely or fails and leaves the position where it was.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>

namespace pelmor {

inline uint16_t LoadU16LE(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
inline uint16_t LoadU16BE(const uint8_t* p) { return static_cast<uint16_t>(p[0] << 8 | p[1]); }
inline uint32_t LoadU32LE(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
         static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}
inline uint32_t LoadU32BE(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 |
         static_cast<uint32_t>(p[2]) << 8 | static_cast<uint32_t>(p[3]);
}
inline uint64_t LoadU64LE(const uint8_t* p) {
  return static_cast<uint64_t>(LoadU32LE(p)) | static_cast<uint64_t>(LoadU32LE(p + 4)) << 32;
}
inline void StoreU16LE(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
inline void StoreU32LE(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

class CByteReader {
 public:
  CByteReader() = default;
  CByteReader(const uint8_t* data, size_t size) : data_(data), size_(data ? size : 0) {}

  size_t Size() const { return size_; }
  size_t Pos() const { return pos_; }
  size_t Remaining() const { return size_ - pos_; }
  bool AtEnd() const { return pos_ >= size_; }
  const uint8_t* Data() const { return data_; }

  // Moves to an absolute position; the end itself is a valid position.
  bool Seek(size_t pos) {
    if (pos > size_) return false;
    pos_ = pos;
    return true;
  }
  bool Skip(size_t n) {
    if (n > Remaining()) return false;
    pos_ += n;
    return true;
  }

  bool ReadU8(uint8_t& v) {
    if (Remaining() < 1) return false;
    v = data_[pos_++];
    return true;
  }
  bool ReadU16LE(uint16_t& v) { return ReadWith<2>(v, LoadU16LE); }
  bool ReadU16BE(uint16_t& v) { return ReadWith<2>(v, LoadU16BE); }
  bool ReadU32LE(uint32_t& v) { return ReadWith<4>(v, LoadU32LE); }
  bool ReadU32BE(uint32_t& v) { return ReadWith<4>(v, LoadU32BE); }
  bool ReadU64LE(uint64_t& v) { return ReadWith<8>(v, LoadU64LE); }

  bool ReadBytes(void* dst, size_t n) {
    const uint8_t* p = Take(n);
    if (p == nullptr) return false;
    if (n != 0) std::memcpy(dst, p, n);
    return true;
  }

  // A pointer to the next n bytes, moving past them, or null (position unchanged) when fewer
  // remain. For n = 0 the result is the current position (possibly the end).
  const uint8_t* Take(size_t n) {
    if (n > Remaining()) return nullptr;
    const uint8_t* p = data_ + pos_;
    pos_ += n;
    return p;
  }

  // A reader over the next n bytes, moving past them.
  std::optional<CByteReader> SubReader(size_t n) {
    const uint8_t* p = Take(n);
    if (p == nullptr) return std::nullopt;
    return CByteReader(p, n);
  }

 private:
  template <size_t N, class T, class F>
  bool ReadWith(T& v, F load) {
    if (Remaining() < N) return false;
    v = load(data_ + pos_);
    pos_ += N;
    return true;
  }

  const uint8_t* data_ = nullptr;
  size_t size_ = 0;
  size_t pos_ = 0;
};

}  // namespace pelmor
