// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// A StarDict .ifo and .idx from arbitrary bytes: the first two bytes give
// the .ifo's length, the .ifo follows, the rest is the .idx, read against a
// text of 64 KiB; the .idx bytes are then split into fields by the .ifo's
// type sequence and the text and HTML fields made into markup. Accepted
// entries must lie inside the text; any crash, hang or out-of-bounds access
// is a finding too.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "byte_order.h"
#include "dict_markup.h"
#include "stardict_format.h"

namespace {
constexpr uint64_t kTextSize = 64 * 1024;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const size_t ifoLength = std::min<size_t>(ql::ReadLE16(data), size - 2);
  const std::string_view ifo(reinterpret_cast<const char*>(data + 2), ifoLength);
  const std::string_view idx(reinterpret_cast<const char*>(data + 2 + ifoLength),
                             size - 2 - ifoLength);
  ql::StarDictInfo info;
  std::string reason;
  const bool infoRead = ql::ParseStarDictIfo(ifo, info, reason);
  if (!infoRead && reason.empty()) std::abort();
  std::vector<ql::DictEntryRef> refs;
  if (ql::ParseStarDictIdx(idx, info.offsetBits, kTextSize, refs, reason)) {
    for (const ql::DictEntryRef& ref : refs)
      if (ref.offset > kTextSize || ref.length > kTextSize - ref.offset) std::abort();
  }
  std::vector<ql::StarDictField> fields;
  ql::SplitStarDictFields(idx, info.sameTypeSequence, fields);
  std::string markup;
  for (const ql::StarDictField& field : fields) {
    if (field.data.data() < idx.data() ||
        field.data.data() + field.data.size() > idx.data() + idx.size())
      std::abort();
    if (field.type == 'm') ql::PlainTextToMarkup(field.data, false, markup);
    if (field.type == 'h') ql::HtmlToMarkup(field.data, markup);
  }
  return 0;
}
