// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
#include "dictd_format.h"

#include "user_texts.h"

namespace ql {

namespace {

constexpr char kTab = '\t';
constexpr char kLF = '\n';
constexpr char kCR = '\r';

int Base64Digit(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

}  // namespace

bool DecodeDictdNumber(std::string_view digits, uint64_t& value) {
  if (digits.empty()) return false;
  uint64_t v = 0;
  for (char c : digits) {
    const int d = Base64Digit(c);
    if (d < 0 || v > (UINT64_MAX >> 6)) return false;
    v = (v << 6) | uint64_t(d);
  }
  value = v;
  return true;
}

bool IsDictdMetadata(std::string_view headword) {
  return headword.starts_with("00database") || headword.starts_with("00-database");
}

bool IsDictdUtf8Mark(std::string_view headword) {
  return headword == "00databaseutf8" || headword == "00-database-utf8";
}

bool ParseDictdIndex(std::string_view text, uint64_t dataSize, std::vector<DictEntryRef>& entries,
                     std::string& reason) {
  entries.clear();
  size_t at = 0;
  int64_t line = 0;
  while (at < text.size()) {
    ++line;
    size_t end = text.find(kLF, at);
    if (end == std::string_view::npos) end = text.size();
    std::string_view row = text.substr(at, end - at);
    at = end + 1;
    if (!row.empty() && row.back() == kCR) row.remove_suffix(1);
    if (row.empty()) continue;
    const auto fail = [&](const char* what) {
      reason = Fill(translate("messages", "line %1: %2"),
                    {std::to_string(line), translate("messages", what)});
      return false;
    };
    std::string_view fields[4];
    size_t count = 0;
    for (size_t from = 0; count < 4;) {
      const size_t tab = row.find(kTab, from);
      fields[count++] = row.substr(from, tab == std::string_view::npos ? row.npos : tab - from);
      if (tab == std::string_view::npos) break;
      from = tab + 1;
    }
    if (count < 3) return fail(QL_TEXT("messages", "not \"headword TAB offset TAB length\""));
    DictEntryRef ref;
    if (!DecodeDictdNumber(fields[1], ref.offset))
      return fail(QL_TEXT("messages", "the offset is not a base-64 number"));
    if (!DecodeDictdNumber(fields[2], ref.length))
      return fail(QL_TEXT("messages", "the length is not a base-64 number"));
    if (ref.offset > dataSize || ref.length > dataSize - ref.offset)
      return fail(QL_TEXT("messages", "the entry runs past the end of the dictionary's text"));
    ref.headword.assign(count == 4 && !fields[3].empty() ? fields[3] : fields[0]);
    entries.push_back(std::move(ref));
  }
  return true;
}
}  // namespace ql
