// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// Byte order helpers: book files store 32-bit little-endian words, handheld
// databases big-endian ones. Every read takes a span and an offset and never
// reads outside it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace ql {

inline uint32_t ReadLE32(const uint8_t* p) {
  return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}
inline int32_t ReadLE32s(const uint8_t* p) {
  return static_cast<int32_t>(ReadLE32(p));
}

// Bounds-checked form: false when [offset, offset + 4) is not inside bytes.
inline bool ReadLE32At(std::span<const uint8_t> bytes, size_t offset, int32_t& value) {
  if (offset > bytes.size() || bytes.size() - offset < 4) return false;
  value = ReadLE32s(bytes.data() + offset);
  return true;
}

inline void WriteLE32(uint8_t* p, uint32_t v) {
  p[0] = uint8_t(v);
  p[1] = uint8_t(v >> 8);
  p[2] = uint8_t(v >> 16);
  p[3] = uint8_t(v >> 24);
}
inline void AppendLE32(std::string& out, uint32_t v) {
  uint8_t b[4];
  WriteLE32(b, v);
  out.append(reinterpret_cast<const char*>(b), 4);
}

inline uint64_t ReadLE64(const uint8_t* p) {
  return uint64_t(ReadLE32(p)) | (uint64_t(ReadLE32(p + 4)) << 32);
}
inline int64_t ReadLE64s(const uint8_t* p) {
  return static_cast<int64_t>(ReadLE64(p));
}
inline void WriteLE64(uint8_t* p, uint64_t v) {
  WriteLE32(p, static_cast<uint32_t>(v));
  WriteLE32(p + 4, static_cast<uint32_t>(v >> 32));
}

inline uint16_t ReadLE16(const uint8_t* p) {
  return uint16_t(p[0] | (p[1] << 8));
}

inline uint16_t ReadBE16(const uint8_t* p) {
  return uint16_t((p[0] << 8) | p[1]);
}
inline uint32_t ReadBE32(const uint8_t* p) {
  return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | uint32_t(p[3]);
}
inline uint64_t ReadBE64(const uint8_t* p) {
  return (uint64_t(ReadBE32(p)) << 32) | ReadBE32(p + 4);
}
inline void WriteBE16(uint8_t* p, uint16_t v) {
  p[0] = uint8_t(v >> 8);
  p[1] = uint8_t(v);
}
inline void WriteBE32(uint8_t* p, uint32_t v) {
  p[0] = uint8_t(v >> 24);
  p[1] = uint8_t(v >> 16);
  p[2] = uint8_t(v >> 8);
  p[3] = uint8_t(v);
}
inline void AppendBE16(std::string& out, uint16_t v) {
  uint8_t b[2];
  WriteBE16(b, v);
  out.append(reinterpret_cast<const char*>(b), 2);
}
inline void AppendBE32(std::string& out, uint32_t v) {
  uint8_t b[4];
  WriteBE32(b, v);
  out.append(reinterpret_cast<const char*>(b), 4);
}

}  // namespace ql
