// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
#include "stardict_format.h"

#include <charconv>

#include "byte_order.h"
#include "user_texts.h"

namespace ql {

namespace {

constexpr char kLF = '\n';
constexpr char kCR = '\r';

}  // namespace

bool ParseStarDictIfo(std::string_view text, StarDictInfo& info, std::string& reason) {
  info = StarDictInfo();
  if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
  size_t at = 0;
  bool first = true;
  bool sawCount = false, sawSize = false;
  while (at < text.size()) {
    size_t end = text.find(kLF, at);
    if (end == std::string_view::npos) end = text.size();
    std::string_view row = text.substr(at, end - at);
    at = end + 1;
    if (!row.empty() && row.back() == kCR) row.remove_suffix(1);
    if (first) {
      if (row != kStarDictIfoMagic) {
        reason = Fill(translate("messages", "the first line is not \"%1\""), {kStarDictIfoMagic});
        return false;
      }
      first = false;
      continue;
    }
    const size_t eq = row.find('=');
    if (eq == std::string_view::npos) continue;
    const std::string_view key = row.substr(0, eq);
    const std::string_view value = row.substr(eq + 1);
    const auto number = [&](int64_t& into) {
      const auto r = std::from_chars(value.data(), value.data() + value.size(), into);
      if (r.ec != std::errc() || r.ptr != value.data() + value.size() || into < 0) {
        reason = Fill(translate("messages", "%1 is not a number"), {key});
        return false;
      }
      return true;
    };
    if (key == "version") {
      info.version.assign(value);
    } else if (key == "bookname") {
      info.bookName.assign(value);
    } else if (key == "wordcount") {
      if (!number(info.wordCount)) return false;
      sawCount = true;
    } else if (key == "idxfilesize") {
      if (!number(info.idxFileSize)) return false;
      sawSize = true;
    } else if (key == "idxoffsetbits") {
      if (value == "64")
        info.offsetBits = 64;
      else if (value != "32") {
        reason = translate("messages", "idxoffsetbits is neither 32 nor 64");
        return false;
      }
    } else if (key == "sametypesequence") {
      info.sameTypeSequence.assign(value);
    }
  }
  if (first) {
    reason = translate("messages", "the file is empty");
    return false;
  }
  if (!sawCount || !sawSize) {
    reason = !sawCount ? translate("messages", "it gives no wordcount")
                       : translate("messages", "it gives no idxfilesize");
    return false;
  }
  return true;
}

bool ParseStarDictIdx(std::string_view bytes, int offsetBits, uint64_t dataSize,
                      std::vector<DictEntryRef>& entries, std::string& reason) {
  entries.clear();
  const size_t numbers = offsetBits == 64 ? 12 : 8;
  const auto* p = reinterpret_cast<const uint8_t*>(bytes.data());
  size_t at = 0;
  int64_t record = 0;
  while (at < bytes.size()) {
    ++record;
    const auto fail = [&](const char* what) {
      reason = Fill(translate("messages", "record %1: %2"),
                    {std::to_string(record), translate("messages", what)});
      return false;
    };
    const size_t zero = bytes.find('\0', at);
    if (zero == std::string_view::npos)
      return fail(QL_TEXT("messages", "the headword has no end (no zero byte)"));
    if (bytes.size() - zero - 1 < numbers)
      return fail(QL_TEXT("messages", "the record is cut off"));
    DictEntryRef ref;
    ref.headword.assign(bytes.substr(at, zero - at));
    const uint8_t* n = p + zero + 1;
    ref.offset = offsetBits == 64 ? ReadBE64(n) : ReadBE32(n);
    ref.length = ReadBE32(n + numbers - 4);
    if (ref.offset > dataSize || ref.length > dataSize - ref.offset)
      return fail(QL_TEXT("messages", "the entry runs past the end of the dictionary's text"));
    entries.push_back(std::move(ref));
    at = zero + 1 + numbers;
  }
  return true;
}

bool SplitStarDictFields(std::string_view data, std::string_view sameTypeSequence,
                         std::vector<StarDictField>& fields) {
  fields.clear();
  size_t at = 0;
  // Reads one field of the given type at at; last: it runs to the end.
  const auto take = [&](char type, bool last) {
    StarDictField field{type, {}};
    if (last) {
      field.data = data.substr(at);
      at = data.size();
    } else if (type >= 'a' && type <= 'z') {
      const size_t zero = data.find('\0', at);
      if (zero == std::string_view::npos) {
        field.data = data.substr(at);
        at = data.size();
        fields.push_back(field);
        return false;
      }
      field.data = data.substr(at, zero - at);
      at = zero + 1;
    } else {
      if (data.size() - at < 4) return false;
      const uint32_t size = ReadBE32(reinterpret_cast<const uint8_t*>(data.data()) + at);
      at += 4;
      if (data.size() - at < size) return false;
      field.data = data.substr(at, size);
      at += size;
    }
    fields.push_back(field);
    return true;
  };
  if (!sameTypeSequence.empty()) {
    for (size_t k = 0; k < sameTypeSequence.size(); ++k)
      if (!take(sameTypeSequence[k], k + 1 == sameTypeSequence.size())) return false;
    return true;
  }
  while (at < data.size()) {
    const char type = data[at++];
    if (!take(type, false)) return false;
  }
  return true;
}
}  // namespace ql
