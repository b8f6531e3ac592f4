// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// The lookup page and its two files, kept in the program itself: the page
// loads nothing from anywhere else.
#pragma once

#include <string_view>

namespace ql::serve {

struct PageAsset {
  std::string_view path;  // "/", "/app.css", "/app.js"
  std::string_view type;  // its Content-Type
  std::string_view body;
};

// The file at path; null when there is none.
const PageAsset* FindAsset(std::string_view path);

}  // namespace ql::serve
