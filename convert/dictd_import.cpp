// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
#include "dictd_import.h"

#include <algorithm>

#include "dict_markup.h"
#include "dictd_format.h"
#include "text_encoding.h"
#include "user_texts.h"

namespace ql {

bool DictdImport::OpenIndex(const std::string& source) {
  const std::string base = Base(source, kExtension);
  if (!OpenData(base)) return false;
  std::string text;
  if (!ReadWholeFile(source, UINT64_MAX, text)) return false;
  std::vector<DictEntryRef> refs;
  std::string reason;
  const auto damaged = [&] {
    return Fail(Fill(translate("messages", "%1: %2 (the index is damaged, or is not %3's)"),
                     {source, reason, iDataPath}));
  };
  // A plain gzip text is inflated as far as the index reaches; the entries
  // are checked against that once it is known.
  const bool inflate = iData.AwaitsInflating();
  if (!ParseDictdIndex(text, iData.SizeBound(), refs, reason)) return damaged();
  bool reached = true;
  if (inflate && !InflateAsFarAs(refs, reached)) return false;
  // Parsed again only to name the line that reaches past the text.
  if (!reached && !ParseDictdIndex(text, iData.Size(), refs, reason)) return damaged();
  text.clear();
  text.shrink_to_fit();
  iUtf8 = std::any_of(refs.begin(), refs.end(),
                      [](const DictEntryRef& r) { return IsDictdUtf8Mark(r.headword); });
  TakeEntries(refs, true);
  iBodyIsText = true;
  return true;
}

void DictdImport::EntryText(std::string_view body, std::string& text) {
  text.clear();
  const MarkupCharset charset = iUtf8 ? MarkupCharset::kUtf8 : MarkupCharset::kCp1252;
  if (iUtf8 == StoresUnicode()) {
    // Bytes kept as they are: the markup is the record's text.
    PlainTextToMarkup(body, true, text, charset);
    return;
  }
  iMarkup.clear();
  PlainTextToMarkup(body, true, iMarkup, charset);
  StoreMarkup(iMarkup, text);
}

}  // namespace ql
