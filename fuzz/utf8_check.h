// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// What the text targets assert of text they are given out.
#pragma once

#include <cstdlib>
#include <string_view>

#include "plain_text.h"

namespace qlfuzz {

inline bool IsUtf8(std::string_view text) {
  size_t i = 0;
  char32_t c = 0;
  while (i < text.size())
    if (!ql::NextUtf8(text, i, c)) return false;
  return true;
}

inline void Require(bool holds) {
  if (!holds) std::abort();
}

}  // namespace qlfuzz
