// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// The two decoders of stored text. Both work in caller-owned buffers, keep no
// state and never read or write outside the spans they are given.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace ql {

// Block coding (LZ77, groups of eight items under one control byte).
// Decodes src into dst and returns the number of bytes written. Output stops
// when dst is full; a corrupt unit yields whatever fitted. In limited mode
// decoding stops at the first group boundary after more than 2000 bytes.
// Bytes of dst past the returned count may have been written over.
size_t DecompressBlock(std::span<const uint8_t> src, std::span<uint8_t> dst, bool limited);

// The same decoding, telling also whether the unit ended cleanly: every
// input byte used, no item cut off or reaching before the output, and the
// output not stopped by the end of dst. A block that decodes to its size
// with room to spare in dst and ends cleanly is whole.
struct BlockDecoding {
  size_t length = 0;
  bool clean = false;
};
BlockDecoding DecompressBlockChecked(std::span<const uint8_t> src, std::span<uint8_t> dst);

// The same decoding in steps, for a reader that needs only the start of a
// unit: each call goes on from where the last one stopped, and stops at the
// first group boundary with more than until bytes out, or at the unit's end
// (ended). Taken to its end with the same src and dst, the steps give the
// bytes, length (out) and clean of DecompressBlockChecked. Bytes of dst past
// out may have been written over; src and dst stay the same between steps.
struct UnitProgress {
  size_t in = 0;
  size_t out = 0;
  bool clean = true;
  bool ended = false;
};
void DecompressBlockUntil(std::span<const uint8_t> src, std::span<uint8_t> dst, size_t until,
                          UnitProgress& progress);

// Where a unit decoded so far by DecompressBlockUntil into cap bytes would
// end: the length and clean of its whole decoding, found from progress on
// without writing a byte, so a reader that needed only its start still
// knows whether it is whole. vector lets it take the processor's vector
// instructions where it has them; both ways find the same.
BlockDecoding ScanBlockEnd(std::span<const uint8_t> src, size_t cap, const UnitProgress& progress,
                           bool vector = true);

enum class NibbleForm { Record, FirstLine };

inline constexpr int kFirstLineNibbleLimit = 200;
inline constexpr int kFirstLineOutputLimit = 200;

// Nibble text coding of legacy books of versions 2 and 3. The record form
// writes TAB 8 for the line-break symbol, the first-line form "@". In the
// first-line form decoding stops before a symbol starting after nibble
// nibbleLimit and once more than outputLimit bytes came out. Output never
// exceeds dst.
size_t DecodeNibbleText(std::span<const uint8_t> src, std::span<uint8_t> dst, NibbleForm form,
                        int outputLimit = kFirstLineOutputLimit,
                        int nibbleLimit = kFirstLineNibbleLimit);

}  // namespace ql
