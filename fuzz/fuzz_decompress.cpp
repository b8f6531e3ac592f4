// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// Feeds arbitrary units to both decoders (the block one also in steps and
// by its scan) with destinations sized from the input, each in a heap buffer of exactly that size
// so that any write or read past it is caught.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "codecs.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 3) return 0;
  const size_t capacity = (size_t{data[0]} << 8 | data[1]) % 30000;
  const uint8_t flags = data[2];
  const std::span<const uint8_t> src(data + 3, size - 3);

  std::vector<uint8_t> out(capacity);
  const size_t n = ql::DecompressBlock(src, out, (flags & 1) != 0);
  if (n > capacity) __builtin_trap();
  const size_t limited = ql::DecompressBlock(src, out, true);
  if (limited > capacity) __builtin_trap();

  // Decoded in two steps and scanned from the first, the unit ends as one
  // whole checked decoding does.
  std::vector<uint8_t> stepped(capacity);
  const ql::BlockDecoding checked = ql::DecompressBlockChecked(src, out);
  ql::UnitProgress progress;
  ql::DecompressBlockUntil(src, stepped, size_t{data[1]} * 64, progress);
  for (bool vector : {false, true}) {
    const ql::BlockDecoding end = ql::ScanBlockEnd(src, capacity, progress, vector);
    if (end.length != checked.length || end.clean != checked.clean) __builtin_trap();
  }
  ql::DecompressBlockUntil(src, stepped, static_cast<size_t>(-1), progress);
  if (progress.out != checked.length || progress.clean != checked.clean ||
      !std::equal(out.begin(), out.begin() + static_cast<long>(checked.length), stepped.begin()))
    __builtin_trap();

  const ql::NibbleForm form = (flags & 2) ? ql::NibbleForm::FirstLine : ql::NibbleForm::Record;
  const size_t m = ql::DecodeNibbleText(src, out, form, flags >> 2, data[1]);
  if (m > capacity) __builtin_trap();
  std::vector<uint8_t> whole(src.size() * 2);
  const size_t r = ql::DecodeNibbleText(src, whole, ql::NibbleForm::Record);
  if (r > whole.size()) __builtin_trap();
  return 0;
}
