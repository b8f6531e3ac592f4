// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
#include "word_index.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#include <xxhash.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "index_codec.h"

namespace ql::fts {

std::vector<std::string_view> SplitWords(std::string_view text) {
  std::vector<std::string_view> out;
  ForEachWord(text, [&](std::string_view w) { out.push_back(w); });
  return out;
}

namespace {

struct Header {
  uint64_t records, texts, terms, orderCount, key, tablesAt, postingsAt, orderAt, dictionaryAt,
      dictIndexAt, fileSize, orderCheck, totalWords;
};

uint64_t TablesSize(uint64_t records, uint64_t texts) {
  return records * (4 + 2 + 1 + 4) + (texts + 1) * 4;
}

// The header of an index file, and whether its sections lie in order, each
// as long as its counts need; false with the reason.
bool ReadHeader(std::string_view b, uint64_t size, uint64_t expectedKey, Header& h,
                std::string& reason) {
  if (b.size() < kIndexHeaderSize || b.compare(0, 8, std::string_view(kIndexMagic, 8)) != 0) {
    reason = "it is no index of this version";
    return false;
  }
  h = {LoadLE(b, 8, 4),  LoadLE(b, 12, 4), LoadLE(b, 16, 4), LoadLE(b, 20, 4), LoadLE(b, 24, 8),
       LoadLE(b, 32, 8), LoadLE(b, 40, 8), LoadLE(b, 48, 8), LoadLE(b, 56, 8), LoadLE(b, 64, 8),
       LoadLE(b, 72, 8), LoadLE(b, 80, 8), LoadLE(b, 88, 8)};
  if (expectedKey != 0 && h.key != expectedKey) {
    reason = "the index is of another book";
    return false;
  }
  reason = "the index is damaged";
  const uint64_t blocks = (h.terms + kTermsPerBlock - 1) / kTermsPerBlock;
  return h.fileSize == size && size >= kIndexHeaderSize + 8 && h.tablesAt == kIndexHeaderSize &&
         h.texts <= h.records && h.postingsAt - h.tablesAt == TablesSize(h.records, h.texts) &&
         h.postingsAt <= size && h.orderAt >= h.postingsAt && h.orderAt <= size &&
         (h.orderCount == 0 || h.orderCount == h.records) &&
         h.orderAt + 4 * h.orderCount == h.dictionaryAt && h.dictIndexAt >= h.dictionaryAt &&
         h.dictIndexAt - h.dictionaryAt <= uint64_t{UINT32_MAX} && h.dictIndexAt <= size - 8 &&
         blocks * 4 == size - 8 - h.dictIndexAt && h.terms <= h.dictIndexAt - h.dictionaryAt;
}

bool ReadOrder(std::string_view section, uint64_t records, const uint64_t* check,
               std::vector<uint32_t>& order) {
  if (check && XXH3_64bits(section.data(), section.size()) != *check) return false;
  order.resize(section.size() / 4);
  for (size_t i = 0; i < order.size(); ++i) {
    const uint64_t r = LoadLE(section, 4 * i, 4);
    if (r >= records) {
      order.clear();
      return false;
    }
    order[i] = static_cast<uint32_t>(r);
  }
  return true;
}

}  // namespace

WordIndex::~WordIndex() {
  if (iMap) ::munmap(iMap, iMapSize);
}

std::unique_ptr<WordIndex> WordIndex::Open(const std::string& path, uint64_t expectedKey,
                                           std::string& reason, bool checked) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    reason = std::strerror(errno);
    return nullptr;
  }
  struct stat st {};
  std::unique_ptr<WordIndex> index(new WordIndex);
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size < 0 ||
      st.st_size > kIndexFileLimit) {
    reason = "it is no index of this version";
    ::close(fd);
    return nullptr;
  }
  const auto size = static_cast<size_t>(st.st_size);
  if (size > 0) {
    void* map = ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
    if (map != MAP_FAILED) {
      index->iMap = map;
      index->iMapSize = size;
      index->iBytes = std::string_view(static_cast<const char*>(map), size);
    }
  }
  ::close(fd);
  if (size > 0 && !index->iMap) {
    reason = std::strerror(errno);
    return nullptr;
  }
  if (!index->Load(expectedKey, checked, reason)) return nullptr;
  return index;
}

std::unique_ptr<WordIndex> WordIndex::FromBytes(std::string bytes, uint64_t expectedKey,
                                                std::string& reason, bool checked) {
  std::unique_ptr<WordIndex> index(new WordIndex);
  index->iOwned = std::move(bytes);
  index->iBytes = index->iOwned;
  if (!index->Load(expectedKey, checked, reason)) return nullptr;
  return index;
}

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
  bool ok =
      std::fread(head.data(), 1, head.size(), f) == head.size() && std::fseek(f, 0, SEEK_END) == 0;
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
  const std::string_view b = iBytes;
  Header h{};
  if (!ReadHeader(b, b.size(), expectedKey, h, reason)) return false;
  if (checked &&
      IndexCheck(b.substr(0, kIndexHeaderSize),
                 XXH3_64bits(b.data() + kIndexHeaderSize, b.size() - 8 - kIndexHeaderSize)) !=
          LoadLE(b, b.size() - 8, 8))
    return false;
  iKey = h.key;
  iRecords = static_cast<uint32_t>(h.records);
  iTexts = static_cast<uint32_t>(h.texts);
  iTerms = static_cast<uint32_t>(h.terms);
  iOrderCount = static_cast<uint32_t>(h.orderCount);
  iBlocks = static_cast<uint32_t>((h.terms + kTermsPerBlock - 1) / kTermsPerBlock);
  iTablesAt = h.tablesAt;
  iPostingsAt = h.postingsAt;
  iOrderAt = h.orderAt;
  iDictionaryAt = h.dictionaryAt;
  iDictIndexAt = h.dictIndexAt;
  iAverage = iRecords ? std::max(1.0, static_cast<double>(h.totalWords) / iRecords) : 1.0;
  if (checked) {
    std::vector<uint32_t> order;
    if (!ReadOrder(b.substr(iOrderAt, 4 * iOrderCount), iRecords, &h.orderCheck, order))
      return false;
  }
  reason.clear();
  return true;
}

uint32_t WordIndex::Fixed32(uint64_t at) const {
  return static_cast<uint32_t>(LoadLE(iBytes, static_cast<size_t>(at), 4));
}

uint32_t WordIndex::TextOf(uint32_t record) const {
  if (record >= iRecords) return iTexts;
  const uint32_t t = Fixed32(iTablesAt + 4 * uint64_t{record});
  return t < iTexts ? t : iTexts;
}

uint32_t WordIndex::WordsOf(uint32_t record) const {
  if (record >= iRecords) return 0;
  return static_cast<uint32_t>(
      LoadLE(iBytes, static_cast<size_t>(iTablesAt + 4 * uint64_t{iRecords} + 2 * record), 2));
}

uint32_t WordIndex::SubjectWordsOf(uint32_t record) const {
  if (record >= iRecords) return 0;
  return static_cast<uint8_t>(iBytes[iTablesAt + 6 * uint64_t{iRecords} + record]);
}

void WordIndex::RecordsOf(uint32_t t, std::vector<uint32_t>& out) const {
  if (t >= iTexts) return;
  const uint64_t starts = iTablesAt + 7 * uint64_t{iRecords};
  const uint64_t byText = starts + 4 * (uint64_t{iTexts} + 1);
  const uint32_t first = Fixed32(starts + 4 * uint64_t{t}), end = Fixed32(starts + 4 * (t + 1));
  if (first > end || end > iRecords) return;
  for (uint32_t i = first; i < end; ++i) {
    const uint32_t r = Fixed32(byText + 4 * uint64_t{i});
    if (r < iRecords) out.push_back(r);
  }
}

std::vector<uint32_t> WordIndex::SubjectOrder() const {
  std::vector<uint32_t> order;
  ReadOrder(iBytes.substr(iOrderAt, 4 * iOrderCount), iRecords, nullptr, order);
  return order;
}

// Reads the terms of the dictionary from a block's start, one after the
// other, within the dictionary; stops (false) at its end or at a term that
// does not add up.
class WordIndex::TermCursor {
 public:
  TermCursor(const WordIndex& index, uint32_t block) : iIndex(index), iBlock(block) { Seek(block); }
  bool Next() {
    if (iTaken == iIndex.iTerms || (iInBlock == kTermsPerBlock && !Seek(iBlock + 1))) return false;
    uint64_t shared = 0, rest = 0, texts = 0, field = 0, subjects = 0, subjectLength = 0;
    std::string_view bytes;
    if (!iCursor.Varint(shared) || !iCursor.Varint(rest) || shared > term.size() ||
        (iInBlock == 0 && shared != 0) || rest > kLongestWord || !iCursor.Bytes(rest, bytes))
      return Stop();
    term.resize(shared);
    term.append(bytes);
    if (!iCursor.Varint(texts) || !iCursor.Varint(field) || !iCursor.Varint(subjects) ||
        !iCursor.Varint(subjectLength))
      return Stop();
    if (iInBlock == 0) {
      uint64_t at = 0;
      if (!iCursor.Varint(at) || at > iIndex.iOrderAt - iIndex.iPostingsAt) return Stop();
      iAt = iIndex.iPostingsAt + at;
    }
    const uint64_t length = field >> 1;
    const bool bitmap = field & 1;
    const uint64_t room = iIndex.iOrderAt - iAt;
    if (length > room || subjectLength > room - length || texts > iIndex.iTexts ||
        subjects > iIndex.iRecords || subjects > subjectLength ||
        (bitmap ? length != (uint64_t{iIndex.iTexts} + 7) / 8 : texts > length))
      return Stop();
    found = {iAt,
             length,
             iAt + length,
             subjectLength,
             static_cast<uint32_t>(texts),
             static_cast<uint32_t>(subjects),
             bitmap};
    iAt += length + subjectLength;
    ++iInBlock;
    ++iTaken;
    return true;
  }
  std::string term;
  Term found;

 private:
  bool Seek(uint32_t block) {
    if (block >= iIndex.iBlocks) return Stop();
    const uint64_t at =
        iIndex.iDictionaryAt + iIndex.Fixed32(iIndex.iDictIndexAt + 4 * uint64_t{block});
    if (at >= iIndex.iDictIndexAt) return Stop();
    iCursor =
        Cursor{iIndex.iBytes, static_cast<size_t>(at), static_cast<size_t>(iIndex.iDictIndexAt)};
    iBlock = block;
    iInBlock = 0;
    iTaken = uint64_t{block} * kTermsPerBlock;
    term.clear();
    return true;
  }
  bool Stop() {
    iTaken = iIndex.iTerms;
    return false;
  }
  const WordIndex& iIndex;
  uint32_t iBlock;
  uint32_t iInBlock = 0;
  uint64_t iTaken = 0;
  uint64_t iAt = 0;
  Cursor iCursor;
};

uint32_t WordIndex::BlockFor(std::string_view word) const {
  uint32_t lo = 0, hi = iBlocks;  // the answer lies in [lo, hi)
  while (hi - lo > 1) {
    const uint32_t mid = lo + (hi - lo) / 2;
    TermCursor c(*this, mid);
    if (c.Next() && c.term <= word)
      lo = mid;
    else
      hi = mid;
  }
  return lo;
}

// The count numbers below limit, coded as distances in [at, at + length).
// A list that does not add up gives what it held up to there: the lists
// are not checked at open (that would read the whole file), so a damaged
// one is cut short, never read past.
static void Deltas(std::string_view b, uint64_t at, uint64_t length, uint32_t count, uint64_t limit,
                   std::vector<uint32_t>& out) {
  out.clear();
  out.reserve(std::min<uint64_t>(count, length));
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
    Deltas(iBytes, t.at, t.length, t.texts, iTexts, out);
    return;
  }
  out.clear();
  out.reserve(t.texts);
  const auto* bits = reinterpret_cast<const uint8_t*>(iBytes.data() + t.at);
  for (uint32_t byte = 0; byte < t.length; ++byte) {
    unsigned v = bits[byte];
    while (v) {
      const uint32_t text = byte * 8 + static_cast<uint32_t>(__builtin_ctz(v));
      if (text >= iTexts) break;
      out.push_back(text);
      v &= v - 1;
    }
  }
}

void WordIndex::SubjectsOf(const Term& t, std::vector<uint32_t>& out) const {
  Deltas(iBytes, t.subjectAt, t.subjectLength, t.subjects, iRecords, out);
}

WordIndex::Postings WordIndex::Find(std::string_view foldedWord) const {
  Postings p;
  if (iBlocks == 0) return p;
  TermCursor c(*this, BlockFor(foldedWord));
  for (uint32_t n = 0; n <= kTermsPerBlock && c.Next(); ++n) {
    if (c.term < foldedWord) continue;
    if (c.term == foldedWord) {
      TextsOf(c.found, p.texts);
      SubjectsOf(c.found, p.subjects);
    }
    break;
  }
  return p;
}

WordIndex::Postings WordIndex::FindPrefix(std::string_view foldedPrefix, size_t maxTerms,
                                          bool& truncated) const {
  truncated = false;
  Postings p;
  if (iBlocks == 0) return p;
  std::vector<uint8_t> texts, subjects;
  std::vector<uint32_t> list;
  size_t taken = 0;
  TermCursor c(*this, BlockFor(foldedPrefix));
  while (c.Next()) {
    if (c.term < foldedPrefix) continue;
    if (!std::string_view(c.term).starts_with(foldedPrefix)) break;
    if (taken++ == maxTerms) {
      truncated = true;
      break;
    }
    if (texts.empty()) {
      texts.assign(iTexts, 0);
      subjects.assign(iRecords, 0);
    }
    TextsOf(c.found, list);
    for (uint32_t v : list) texts[v] = 1;
    SubjectsOf(c.found, list);
    for (uint32_t v : list) subjects[v] = 1;
  }
  for (size_t i = 0; i < texts.size(); ++i)
    if (texts[i]) p.texts.push_back(static_cast<uint32_t>(i));
  for (size_t i = 0; i < subjects.size(); ++i)
    if (subjects[i]) p.subjects.push_back(static_cast<uint32_t>(i));
  return p;
}

}  // namespace ql::fts
