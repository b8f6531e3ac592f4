// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// A dictd index and an entry's text from arbitrary bytes: the index parser
// with the text's size taken from the first eight bytes, then the rest as
// plain text with brace links, as HTML, and as UTF-8 to convert. Every entry
// the parser accepts must lie inside the size it was given; any crash, hang
// or out-of-bounds access is a finding too.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "byte_order.h"
#include "dict_markup.h"
#include "dictd_format.h"
#include "text_encoding.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 8) return 0;
  const uint64_t dataSize = ql::ReadBE64(data) >> (data[7] & 63);
  const std::string_view text(reinterpret_cast<const char*>(data + 8), size - 8);
  std::vector<ql::DictEntryRef> refs;
  std::string reason;
  if (ql::ParseDictdIndex(text, dataSize, refs, reason)) {
    for (const ql::DictEntryRef& ref : refs)
      if (ref.offset > dataSize || ref.length > dataSize - ref.offset) std::abort();
  } else if (reason.empty()) {
    std::abort();  // a failure always says why
  }
  std::string markup;
  ql::PlainTextToMarkup(text, true, markup);
  ql::HtmlToMarkup(text, markup);
  std::string converted;
  int64_t replaced = 0;
  ql::AppendUtf8AsCp1252(markup, converted, replaced);
  if (replaced < 0 || converted.size() > markup.size()) std::abort();
  return 0;
}
