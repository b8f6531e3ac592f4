// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// A StarDict dictionary made into a book: NAME.ifo, with NAME.idx or
// NAME.idx.gz and NAME.dict or NAME.dict.dz beside it. The text is UTF-8;
// plain and HTML fields are kept, fields of other kinds left out (and
// counted).
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "dict_import.h"
#include "stardict_format.h"

namespace ql {

class StarDictImport final : public DictImport {
 public:
  static constexpr std::string_view kExtension = ".ifo";

 private:
  bool OpenIndex(const std::string& source) override;
  void EntryText(std::string_view body, std::string& text) override;
  bool ReadGzipFile(const std::string& path, uint64_t expected, std::string& bytes);

  StarDictInfo iInfo;
  std::vector<StarDictField> iFields;
  std::string iMarkup;
};

}  // namespace ql
