// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
#include "handheld_reference.h"

#include <cstdint>
#include <cstring>
#include <vector>

namespace qltest {

std::string ReferenceCompressHandheld(std::string_view src) {
  const size_t n = src.size();
  std::vector<uint8_t> out;
  bool pending = false;
  auto literal = [&](uint8_t c) {
    bool esc = (c >= 1 && c <= 8) || c >= 0x80;
    if (!pending) {
      if (c == 0x20)
        pending = true;
      else if (esc)
        out.insert(out.end(), {0x01, c});
      else
        out.push_back(c);
    } else {
      pending = false;
      if (c >= 0x40 && c <= 0x7F)
        out.push_back(c ^ 0x80);
      else if (esc)
        out.insert(out.end(), {0x20, 0x01, c});
      else
        out.insert(out.end(), {0x20, c});
    }
  };
  size_t p = 0, q = 0, r = 1;
  while (p < n) {
    if (p - q > 2047) q = p - 2047;
    size_t size = r - p;
    size_t s = q;
    while (std::memcmp(src.data() + s, src.data() + p, size) != 0) ++s;
    if (s == p || size > 10 || r == n) {
      if (size >= 4) {
        if (pending) {
          out.push_back(0x20);
          pending = false;
        }
        size_t v = 8 * (p - q) + (size - 1 - 3);
        out.push_back(static_cast<uint8_t>(0x80 + (v >> 8)));
        out.push_back(static_cast<uint8_t>(v & 0xFF));
        p = r - 1;
      } else {
        literal(static_cast<uint8_t>(src[p]));
        p = p + 1;
      }
      q = 0;
    } else {
      q = s;
    }
    if (r < n) ++r;
  }
  if (pending) out.push_back(0x20);
  // Pass 2, in place.
  size_t in = 0, w = 0;
  while (in < out.size()) {
    uint8_t c = out[in];
    if (c >= 0x80 && c <= 0xBF) {
      out[w++] = out[in++];
      out[w++] = out[in++];
    } else if (c == 0x01) {
      size_t countAt = w;
      out[w++] = 1;
      out[w++] = out[in + 1];
      in += 2;
      while (in < out.size() && out[in] == 0x01 && out[countAt] < 8) {
        ++out[countAt];
        out[w++] = out[in + 1];
        in += 2;
      }
    } else {
      out[w++] = out[in++];
    }
  }
  return std::string(out.begin(), out.begin() + static_cast<long>(w));
}

}  // namespace qltest
