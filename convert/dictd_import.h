// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// A dictd dictionary made into a book: NAME.index, with NAME.dict,
// NAME.dict.dz or NAME.dict.gz beside it. The text is Windows-1252 unless
// the index names the UTF-8 mark; brace links become links.
#pragma once

#include <string_view>

#include "dict_import.h"

namespace ql {

class DictdImport final : public DictImport {
 public:
  static constexpr std::string_view kExtension = ".index";

 private:
  bool OpenIndex(const std::string& source) override;
  void EntryText(std::string_view body, std::string& text) override;

  std::string iMarkup;
};

}  // namespace ql
