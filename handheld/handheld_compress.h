// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// Block compression of the handheld text stream: a greedy LZ77 coder with a
// 2047-byte window and matches of 3 to 10 bytes, in the token code that the
// handheld reader decodes. The coder is exact: a given block always gives the
// same bytes, so exported files are reproducible byte for byte.
#pragma once

#include <cstddef>
#include <cstdint>

namespace ql {

inline constexpr int kHandheldWindow = 2047;
inline constexpr int kHandheldMinMatch = 3;
inline constexpr int kHandheldMaxMatch = 10;
inline constexpr int kHandheldMaxRun = 8;  // escaped bytes under one count byte

// Compresses source[0..sourceLength) into destination, which must hold
// 2 * sourceLength bytes, and returns the compressed length (0 for an empty
// block). Blocks are at most 4095 bytes in use; larger ones are accepted and
// coded the same way, the window still being 2047 bytes.
size_t CompressHandheldBlock(const uint8_t* source, size_t sourceLength, uint8_t* destination);

}  // namespace ql
