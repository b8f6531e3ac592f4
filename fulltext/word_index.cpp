// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
#include "word_index.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

#include <xxhash.h>

#include "index_codec.h"

namespace ql::fts {

std::vector<std::string_view> SplitWords(std::string_view text) {
  std::vector<std::string_view> out;
  ForEachWord(text, [&](std::string_view w) { out.push_back(w); });
  return out;
}

std::unique_ptr<WordIndex> WordIndex::Open(const std::string& path, uint64_t expectedKey,
                                           std::string& reason) {
  std::string bytes;
  if (!ReadWholeFile(path, bytes, kIndexFileLimit, reason)) return nullptr;
  return FromBytes(std::move(bytes), expectedKey, reason);
}

std::unique_ptr<WordIndex> WordIndex::FromBytes(std::string bytes, uint64_t expectedKey,
                                                std::string& reason, bool checked) {
  std::unique_ptr<WordIndex> index(new WordIndex);
  index->iBytes = std::move(bytes);
  if (!index->Load(expectedKey, checked, reason)) return nullptr;
  return index;
}

namespace {

struct Header {
  uint64_t records, texts, terms, orderCount, key, postingsAt, tablesAt, orderAt, dictionaryAt,
      fileSize, orderCheck;
};

// The header of an index file, and whether its sections lie in order, each
// at least as long as its counts need; false with the reason.
bool ReadHeader(std::string_view b, uint64_t size, uint64_t expectedKey, Header& h,
                std::string& reason) {
  if (b.size() < kIndexHeaderSize || b.compare(0, 8, std::string_view(kIndexMagic, 8)) != 0) {
    reason = "it is no index of this version";
    return false;
  }
  h = {LoadLE(b, 8, 4),  LoadLE(b, 12, 4), LoadLE(b, 16, 4), LoadLE(b, 20, 4),
       LoadLE(b, 24, 8), LoadLE(b, 32, 8), LoadLE(b, 40, 8), LoadLE(b, 48, 8),
       LoadLE(b, 56, 8), LoadLE(b, 64, 8), LoadLE(b, 72, 8)};
  if (expectedKey != 0 && h.key != expectedKey) {
    reason = "the index is of another book";
    return false;
  }
  reason = "the index is damaged";
  return h.fileSize == size && size >= kIndexHeaderSize + 8 &&
         h.postingsAt == kIndexHeaderSize && h.tablesAt >= h.postingsAt &&
         h.orderAt >= h.tablesAt && h.dictionaryAt >= h.orderAt && h.dictionaryAt <= size - 8 &&
         h.records <= (h.orderAt - h.tablesAt) / 3 && h.texts <= h.records &&
         (h.orderCount == 0 || h.orderCount == h.records) &&
         h.orderAt + 4 * h.orderCount == h.dictionaryAt &&
         h.terms <= (size - 8 - h.dictionaryAt) / 7;
}

bool ReadOrder(std::string_view section, uint64_t records, const uint64_t* check,
               std::vector<uint32_t>& order) {
  if (check && XXH3_64bits(section.data(), section.size()) != *check) return false;
  order.resize(section.size() / 4);
  for (size_t i = 0; i < order.size(); ++i) {
    const uint64_t r = LoadLE(section, 4 * i, 4);
    if (r >= records) return false;
    order[i] = static_cast<uint32_t>(r);
  }
  return true;
}

}  // namespace

bool WordIndex::ReadSubjectOrder(const std::string& path, uint64_t expectedKey,
                                 std::vector<uint32_t>& order, std::string& reason) {
  order.clear();
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) {
    reason = std::strerror(errno);
    return false;
  }
  std::string head(kIndexHeaderSize, '\0');
  Header h{};
  bool ok = std::fread(head.data(), 1, head.size(), f) == head.size() &&
            std::fseek(f, 0, SEEK_END) == 0;
  const long size = ok ? std::ftell(f) : -1;
  ok = ok && size > 0 && ReadHeader(head, static_cast<uint64_t>(size), expectedKey, h, reason);
  std::string section;
  if (ok) {
    section.resize(4 * h.orderCount);
    ok = std::fseek(f, static_cast<long>(h.orderAt), SEEK_SET) == 0 &&
         std::fread(section.data(), 1, section.size(), f) == section.size() &&
         ReadOrder(section, h.records, &h.orderCheck, order);
    if (!ok) reason = "the index is damaged";
  }
  std::fclose(f);
  if (!ok) order.clear();
  return ok;
}

bool WordIndex::Load(uint64_t expectedKey, bool checked, std::string& reason) {
  const std::string_view b(iBytes);
  Header h{};
  if (!ReadHeader(b, b.size(), expectedKey, h, reason)) return false;
  if (checked && IndexCheck(b.substr(0, kIndexHeaderSize),
                            XXH3_64bits(b.data() + kIndexHeaderSize,
                                        b.size() - 8 - kIndexHeaderSize)) !=
                     LoadLE(b, b.size() - 8, 8))
    return false;
  const uint64_t records = h.records, texts = h.texts, terms = h.terms;
  const uint64_t orderCount = h.orderCount, postingsAt = h.postingsAt, tablesAt = h.tablesAt,
                 orderAt = h.orderAt, dictionaryAt = h.dictionaryAt;
  iKey = h.key;
  iTextCount = static_cast<uint32_t>(texts);

  Cursor tables{b, static_cast<size_t>(tablesAt), static_cast<size_t>(orderAt)};
  iTextOf.resize(records);
  iLengths.resize(records);
  iSubjectLengths.resize(records);
  double total = 0;
  for (uint64_t r = 0; r < records; ++r) {
    uint64_t text = 0, words = 0, subjectWords = 0;
    if (!tables.Varint(text) || !tables.Varint(words) || !tables.Varint(subjectWords) ||
        text >= texts || words > kWordCountLimit || subjectWords > words)
      return false;
    iTextOf[r] = static_cast<uint32_t>(text);
    iLengths[r] = static_cast<uint32_t>(words);
    iSubjectLengths[r] = static_cast<uint32_t>(subjectWords);
    total += static_cast<double>(words);
  }
  if (tables.at != tables.end) return false;
  iAverage = records ? std::max(1.0, total / static_cast<double>(records)) : 1.0;
  // The records of each text, by a counting sort.
  iFirstRecord.assign(iTextCount + size_t{1}, 0);
  for (uint32_t t : iTextOf) ++iFirstRecord[t + size_t{1}];
  for (size_t t = 0; t < iTextCount; ++t) iFirstRecord[t + 1] += iFirstRecord[t];
  iRecordsOf.resize(records);
  {
    std::vector<uint32_t> fill(iFirstRecord.begin(), iFirstRecord.end() - 1);
    for (size_t r = 0; r < records; ++r) iRecordsOf[fill[iTextOf[r]]++] = static_cast<uint32_t>(r);
  }

  if (!ReadOrder(b.substr(orderAt, 4 * orderCount), records, checked ? &h.orderCheck : nullptr,
                 iOrder))
    return false;

  Cursor dict{b, static_cast<size_t>(dictionaryAt), b.size() - 8};
  uint64_t postingAt = postingsAt;
  const uint64_t bitmapBytes = (texts + 7) / 8;
  iTerms.reserve(terms);
  iTermNames.reserve(terms);
  std::string term;
  for (uint64_t i = 0; i < terms; ++i) {
    uint64_t shared = 0, rest = 0, textCount = 0, field = 0, subjectCount = 0, subjectLength = 0;
    if (!dict.Varint(shared) || !dict.Varint(rest) || shared > term.size() ||
        rest > kLongestWord || shared + rest == 0 || rest > dict.end - dict.at)
      return false;
    term.resize(shared);
    term.append(b.substr(dict.at, rest));
    dict.at += rest;
    if (!dict.Varint(textCount) || !dict.Varint(field) || !dict.Varint(subjectCount) ||
        !dict.Varint(subjectLength))
      return false;
    const uint64_t length = field >> 1;
    const bool bitmap = field & 1;
    if (length > tablesAt - postingAt || subjectLength > tablesAt - postingAt - length ||
        textCount > texts || subjectCount > records || subjectCount > subjectLength ||
        (bitmap ? length != bitmapBytes : textCount > length) ||
        (!iTermNames.empty() && term <= iTermNames.back()))
      return false;
    iTerms.push_back({postingAt, length, postingAt + length, subjectLength,
                      static_cast<uint32_t>(textCount), static_cast<uint32_t>(subjectCount),
                      bitmap});
    iTermNames.push_back(term);
    postingAt += length + subjectLength;
  }
  if (dict.at != dict.end || postingAt != tablesAt) return false;
  reason.clear();
  return true;
}

// The count numbers below limit, coded as distances in [at, at + length).
// A list that does not add up gives what it held up to there: the lists
// were not checked at open (that would read the whole file), so a damaged
// one is cut short, never read past.
static void Deltas(std::string_view b, uint64_t at, uint64_t length, uint32_t count,
                   uint64_t limit, std::vector<uint32_t>& out) {
  out.clear();
  out.reserve(count);
  Cursor c{b, static_cast<size_t>(at), static_cast<size_t>(at + length)};
  uint64_t next = 0;  // the number + 1: the first distance counts from -1
  for (uint32_t i = 0; i < count; ++i) {
    uint64_t v = 0;
    if (!c.Varint(v) || v == 0 || v > limit - next) return;
    next += v;
    out.push_back(static_cast<uint32_t>(next - 1));
  }
}

void WordIndex::TextsOf(const Term& t, std::vector<uint32_t>& out) const {
  if (!t.bitmap) {
    Deltas(iBytes, t.at, t.length, t.texts, iTextCount, out);
    return;
  }
  out.clear();
  out.reserve(t.texts);
  const auto* bits = reinterpret_cast<const uint8_t*>(iBytes.data() + t.at);
  for (uint32_t byte = 0; byte < t.length; ++byte) {
    unsigned v = bits[byte];
    while (v) {
      const unsigned bit = static_cast<unsigned>(__builtin_ctz(v));
      const uint32_t text = byte * 8 + bit;
      if (text >= iTextCount) break;
      out.push_back(text);
      v &= v - 1;
    }
  }
}

void WordIndex::SubjectsOf(const Term& t, std::vector<uint32_t>& out) const {
  Deltas(iBytes, t.subjectAt, t.subjectLength, t.subjects, iTextOf.size(), out);
}

WordIndex::Postings WordIndex::Find(std::string_view foldedWord) const {
  Postings p;
  const auto it = std::lower_bound(iTermNames.begin(), iTermNames.end(), foldedWord);
  if (it == iTermNames.end() || *it != foldedWord) return p;
  const Term& t = iTerms[static_cast<size_t>(it - iTermNames.begin())];
  TextsOf(t, p.texts);
  SubjectsOf(t, p.subjects);
  return p;
}

WordIndex::Postings WordIndex::FindPrefix(std::string_view foldedPrefix, size_t maxTerms,
                                          bool& truncated) const {
  truncated = false;
  Postings p;
  auto it = std::lower_bound(iTermNames.begin(), iTermNames.end(), foldedPrefix);
  std::vector<uint8_t> texts, subjects;
  std::vector<uint32_t> list;
  size_t taken = 0;
  for (; it != iTermNames.end() && it->starts_with(foldedPrefix); ++it) {
    if (taken++ == maxTerms) {
      truncated = true;
      break;
    }
    if (texts.empty()) {
      texts.assign(iTextCount, 0);
      subjects.assign(iTextOf.size(), 0);
    }
    const Term& t = iTerms[static_cast<size_t>(it - iTermNames.begin())];
    TextsOf(t, list);
    for (uint32_t v : list) texts[v] = 1;
    SubjectsOf(t, list);
    for (uint32_t v : list) subjects[v] = 1;
  }
  for (size_t i = 0; i < texts.size(); ++i)
    if (texts[i]) p.texts.push_back(static_cast<uint32_t>(i));
  for (size_t i = 0; i < subjects.size(); ++i)
    if (subjects[i]) p.subjects.push_back(static_cast<uint32_t>(i));
  return p;
}

}  // namespace ql::fts
