// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// The word index file: any bytes are refused or read within themselves, and
// what a read index answers holds together: its lists ascending and inside
// the book's texts and records, each text's records its own.
#include <cstdint>
#include <string>

#include "utf8_check.h"
#include "word_index.h"

using qlfuzz::Require;

namespace {

void CheckList(const std::vector<uint32_t>& list, uint32_t limit) {
  for (size_t i = 0; i < list.size(); ++i) {
    Require(list[i] < limit);
    Require(i == 0 || list[i - 1] < list[i]);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string reason;
  // Unchecked, so the fuzzer reaches past the file's check.
  const auto index = ql::fts::WordIndex::FromBytes(
      std::string(reinterpret_cast<const char*>(data), size), 0, reason, false);
  if (!index) return 0;
  std::vector<uint32_t> records;
  for (uint32_t t = 0; t < index->Texts() && t < 4096; ++t) {
    records.clear();
    index->RecordsOf(t, records);
    for (uint32_t r : records) Require(r < index->Records());
  }
  for (uint32_t r = 0; r < index->Records() && r < 4096; ++r)
    Require(index->TextOf(r) <= index->Texts());
  for (const uint32_t r : index->SubjectOrder()) Require(r < index->Records());
  const std::string probes[] = {"a", "e", "the", "red", "wine", std::string(1, char(size % 256))};
  for (const std::string& word : probes) {
    const auto p = index->Find(word);
    CheckList(p.texts, index->Texts());
    CheckList(p.subjects, index->Records());
    bool cut = false;
    const auto q = index->FindPrefix(word.substr(0, 1), 1000, cut);
    CheckList(q.texts, index->Texts());
    CheckList(q.subjects, index->Records());
  }
  return 0;
}
