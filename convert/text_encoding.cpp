// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
#include "text_encoding.h"

#include <optional>
#include <vector>

#include "cp1252.h"

namespace ql {

namespace {

constexpr uint8_t kReplacement = '?';
constexpr size_t kChunk = 64 * 1024;

// Length of the UTF-8 sequence led by b, 0 when b cannot lead one.
size_t SequenceLength(uint8_t b) {
  if (b < 0x80) return 1;
  if (b >= 0xC2 && b <= 0xDF) return 2;
  if (b >= 0xE0 && b <= 0xEF) return 3;
  if (b >= 0xF0 && b <= 0xF4) return 4;
  return 0;
}

// Decodes the sequence of length n at p (all of it present); false when it
// is not well formed (a bad continuation, an overlong form, a surrogate, or
// beyond U+10FFFF).
bool Decode(const uint8_t* p, size_t n, uint32_t& codePoint) {
  uint32_t c = n == 1 ? p[0] : n == 2 ? (p[0] & 0x1Fu) : n == 3 ? (p[0] & 0x0Fu) : (p[0] & 0x07u);
  for (size_t k = 1; k < n; ++k) {
    if ((p[k] & 0xC0) != 0x80) return false;
    c = (c << 6) | (p[k] & 0x3Fu);
  }
  static constexpr uint32_t kMinimum[] = {0, 0, 0x80, 0x800, 0x10000};
  if (c < kMinimum[n] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return false;
  codePoint = c;
  return true;
}

}  // namespace

bool LooksLikeUtf8(std::string_view head) {
  const auto* p = reinterpret_cast<const uint8_t*>(head.data());
  const size_t size = head.size();
  bool multiByte = false;
  for (size_t i = 0; i < size;) {
    const size_t n = SequenceLength(p[i]);
    if (n == 0) return false;
    if (n == 1) {
      ++i;
      continue;
    }
    if (i + n > size) {
      // Cut off by the end of head: the bytes there must still fit.
      for (size_t k = i + 1; k < size; ++k)
        if ((p[k] & 0xC0) != 0x80) return false;
      return multiByte;
    }
    uint32_t c = 0;
    if (!Decode(p + i, n, c)) return false;
    multiByte = true;
    i += n;
  }
  return multiByte;
}

namespace {

// The Windows-1252 byte for the UTF-8 character at p[i] (a byte that starts
// none is one character), moving i past it; '?', counted in replaced, for a
// character the code page lacks.
uint8_t NextCp1252(const uint8_t* p, size_t size, size_t& i, int64_t& replaced) {
  const uint8_t b = p[i];
  if (b < 0x80) {
    ++i;
    return b;
  }
  const size_t n = SequenceLength(b);
  uint32_t c = 0;
  std::optional<unsigned char> byte;
  if (n != 0 && i + n <= size && Decode(p + i, n, c)) {
    byte = Cp1252ByteFor(c);
    i += n;
  } else {
    ++i;  // not UTF-8: one '?' for the byte
  }
  if (!byte) {
    ++replaced;
    return kReplacement;
  }
  return *byte;
}

}  // namespace

bool ConvertUtf8ToCp1252(std::FILE* in, std::FILE* out, int64_t& replaced) {
  replaced = 0;
  std::vector<uint8_t> buffer(kChunk + 4);
  std::vector<uint8_t> converted;
  converted.reserve(kChunk + 4);
  size_t carried = 0;  // bytes of a sequence cut off at the end of the last chunk
  bool start = true;
  for (;;) {
    const size_t got = std::fread(buffer.data() + carried, 1, kChunk, in);
    if (std::ferror(in)) return false;
    const size_t size = carried + got;
    const bool last = got == 0 || std::feof(in);
    size_t i = 0;
    if (start && size >= kUtf8ByteOrderMark.size() &&
        std::string_view(reinterpret_cast<const char*>(buffer.data()), 3) == kUtf8ByteOrderMark)
      i = kUtf8ByteOrderMark.size();
    start = false;
    converted.clear();
    while (i < size) {
      const size_t n = SequenceLength(buffer[i]);
      if (n > 1 && i + n > size && !last) break;  // read the rest with the next chunk
      converted.push_back(NextCp1252(buffer.data(), size, i, replaced));
    }
    if (!converted.empty() &&
        std::fwrite(converted.data(), 1, converted.size(), out) != converted.size())
      return false;
    carried = size - i;
    for (size_t k = 0; k < carried; ++k) buffer[k] = buffer[i + k];
    if (last && carried == 0) break;
    if (got == 0) break;
  }
  return std::fflush(out) == 0;
}

void AppendUtf8AsCp1252(std::string_view in, std::string& out, int64_t& replaced) {
  const auto* p = reinterpret_cast<const uint8_t*>(in.data());
  const size_t size = in.size();
  out.reserve(out.size() + size);
  for (size_t i = 0; i < size;) out.push_back(static_cast<char>(NextCp1252(p, size, i, replaced)));
}

void AppendCp1252AsUtf8(std::string_view in, std::string& out) {
  out.reserve(out.size() + in.size());
  for (const char b : in) {
    const uint32_t c = Cp1252ToUnicode(static_cast<unsigned char>(b));
    if (c < 0x80) {
      out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (c >> 6)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xE0 | (c >> 12)));
      out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
  }
}

bool ConvertCp1252ToUtf8(std::FILE* in, std::FILE* out) {
  std::vector<char> buffer(kChunk);
  std::string converted;
  size_t got;
  while ((got = std::fread(buffer.data(), 1, buffer.size(), in)) > 0) {
    converted.clear();
    AppendCp1252AsUtf8(std::string_view(buffer.data(), got), converted);
    if (std::fwrite(converted.data(), 1, converted.size(), out) != converted.size()) return false;
  }
  return std::ferror(in) == 0 && std::fflush(out) == 0;
}

bool Utf8FitsCp1252(std::FILE* in, bool& ok) {
  std::vector<uint8_t> buffer(kChunk + 4);
  size_t carried = 0;
  bool start = true;
  ok = true;
  for (;;) {
    const size_t got = std::fread(buffer.data() + carried, 1, kChunk, in);
    if (std::ferror(in)) {
      ok = false;
      return false;
    }
    const size_t size = carried + got;
    const bool last = got == 0;
    size_t i = 0;
    // A byte-order mark is passed over by every import, not stored.
    if (start && size >= kUtf8ByteOrderMark.size() &&
        std::string_view(reinterpret_cast<const char*>(buffer.data()), 3) == kUtf8ByteOrderMark)
      i = kUtf8ByteOrderMark.size();
    start = false;
    int64_t replaced = 0;
    while (i < size) {
      if (buffer[i] < 0x80) {
        ++i;
        continue;
      }
      const size_t n = SequenceLength(buffer[i]);
      if (n > 1 && i + n > size && !last) break;
      NextCp1252(buffer.data(), size, i, replaced);
      if (replaced > 0) return false;
    }
    carried = size - i;
    for (size_t k = 0; k < carried; ++k) buffer[k] = buffer[i + k];
    if (last) return true;
  }
}

}  // namespace ql
