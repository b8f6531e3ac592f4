// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// CheckBook: every block of a book decoded and every record read, to tell
// what is damaged (qlbook info --check).
#include <algorithm>
#include <limits>
#include <new>
#include <utility>

#include "book_reader.h"
#include "unicode_book_file.h"

namespace ql {

namespace {

// Where each record's bytes start in a stream, in index order.
using Spans = std::vector<std::pair<int64_t, int>>;

// The first and last record whose bytes overlap [from, to): each runs from its
// start to the next one's (the last to the stream's end); -1 when none does.
void Holding(const Spans& spans, int64_t from, int64_t to, int& first, int& last) {
  first = last = -1;
  for (size_t k = 0; k < spans.size(); ++k) {
    const int64_t start = spans[k].first;
    int64_t end = k + 1 < spans.size() ? spans[k + 1].first : std::numeric_limits<int64_t>::max();
    end = std::max(end, start + 1);  // a damaged index may run backwards
    if (start >= to || end <= from) continue;
    const int record = spans[k].second;
    first = first < 0 ? record : std::min(first, record);
    last = std::max(last, record);
  }
}

}  // namespace

std::vector<BookReader::DamagedPart> BookReader::CheckBook() {
  std::vector<DamagedPart> damaged;
  if (!iOpen) return damaged;
  try {
    if (iUnicode) {
      for (const bool subjects : {true, false}) {
        for (int k : iUnicode->DamagedBlocks(subjects)) {
          DamagedPart part;
          part.kind = subjects ? DamagedPart::Kind::kSubjectBlock : DamagedPart::Kind::kRecordBlock;
          part.number = k;
          iUnicode->RecordsInBlock(subjects, k, part.first, part.last);
          damaged.push_back(part);
        }
      }
    } else if (!iLegacy) {
      std::vector<int> subjectBlocks, recordBlocks;
      for (int k = 0; k < iSubjectBlockCount; ++k)
        if (!LoadSubjectBlock(k) || !SubjectBlockWhole()) subjectBlocks.push_back(k);
      for (int k = 0; k < iRecordBlockCount; ++k)
        if (!LoadRecordBlock(k) || !RecordBlockWhole()) recordBlocks.push_back(k);
      Spans entries, tails;
      for (int i = 0; i < iSubjectCount && !(subjectBlocks.empty() && recordBlocks.empty()); ++i) {
        if (!subjectBlocks.empty() && WindowIndex(i)) {
          const int32_t at = iIndexWindow[static_cast<size_t>(i - iIndexWindowStart)];
          if (at >= 0) entries.emplace_back(at, i);
        }
        if (!recordBlocks.empty()) {
          const int32_t tail = ReadSubjectEntry(i, false).tailOffset;
          if (tail >= 0) tails.emplace_back(tail, i);
        }
      }
      auto add = [&](DamagedPart::Kind kind, const std::vector<int>& blocks, const Spans& spans,
                     int blockSize) {
        for (int k : blocks) {
          DamagedPart part;
          part.kind = kind;
          part.number = k;
          Holding(spans, int64_t{k} * blockSize, (int64_t{k} + 1) * blockSize, part.first,
                  part.last);
          damaged.push_back(part);
        }
      };
      add(DamagedPart::Kind::kSubjectBlock, subjectBlocks, entries, iSubjectBlockSize);
      add(DamagedPart::Kind::kRecordBlock, recordBlocks, tails, iRecordBlockSize);
    }
    const size_t blocks = damaged.size();
    for (int i = 0; i < iSubjectCount; ++i) {
      if (LoadRecord(i) == 1 && !iRecordDamaged) continue;
      const bool held =
          std::any_of(damaged.begin(), damaged.begin() + static_cast<long>(blocks),
                      [i](const DamagedPart& p) { return p.first <= i && i <= p.last; });
      if (!held) damaged.push_back({DamagedPart::Kind::kRecord, i, i, i});
    }
  } catch (const std::bad_alloc&) {
    // What was found so far is told; the check itself could not go on.
  }
  return damaged;
}

}  // namespace ql
