// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// The small codings the index files share: little-endian numbers, varints
// read against the end of their section, whole files read up to a limit.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace ql::fts {

// An index file larger than this is refused (no book's index comes near).
inline constexpr int64_t kIndexFileLimit = int64_t{4} << 30;
// More words than this in one record is no record of a book.
inline constexpr uint64_t kWordCountLimit = uint64_t{1} << 30;

inline uint64_t LoadLE(std::string_view b, size_t at, int bytes) {
  uint64_t v = 0;
  for (int i = 0; i < bytes; ++i)
    v |= uint64_t{static_cast<uint8_t>(b[at + static_cast<size_t>(i)])} << (8 * i);
  return v;
}

inline void PutLE(std::string& out, uint64_t v, int bytes) {
  for (int i = 0; i < bytes; ++i) out += static_cast<char>(v >> (8 * i));
}

inline void PutVarint(std::string& out, uint64_t v) {
  while (v >= 0x80) {
    out += static_cast<char>(v | 0x80);
    v >>= 7;
  }
  out += static_cast<char>(v);
}

// Reads varints from b[at, end).
struct Cursor {
  std::string_view b;
  size_t at = 0, end = 0;
  bool Varint(uint64_t& v) {
    v = 0;
    for (int shift = 0; shift < 64; shift += 7) {
      if (at >= end) return false;
      const auto byte = static_cast<uint8_t>(b[at++]);
      v |= uint64_t{byte & 0x7Fu} << shift;
      if (byte < 0x80) return true;
    }
    return false;
  }
  bool Bytes(size_t n, std::string_view& out) {
    if (n > end - at) return false;
    out = b.substr(at, n);
    at += n;
    return true;
  }
};

// The check an index file ends with: the XXH3 of its head (which is
// written last) mixed with that of its body, so both are checked and the
// body's is had as it is written.
uint64_t IndexCheck(std::string_view head, uint64_t bodyCheck);

// The whole file at path into out; false with the reason when it cannot be
// read or is larger than limit.
bool ReadWholeFile(const std::string& path, std::string& out, int64_t limit, std::string& reason);

// Writes bytes to path by a file beside it renamed into place; false with
// the reason.
bool WriteFileAtomically(const std::string& path, std::string_view bytes, std::string& reason);

}  // namespace ql::fts
