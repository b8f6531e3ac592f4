// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// Opens arbitrary bytes as a version 2002 book and walks it. The input's
// identifying words, version and encoding words are set first, so that the
// fuzzer spends its time in the layout, the dictionary chunk, the 64-bit
// tables, the pieces of shared texts and the zstd blocks rather than in
// finding the header. Every subject, head and record (capped), lookups, a
// folded search, the damage check, the text export and a page. Any crash,
// hang or out-of-bounds access is a finding.
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "book_format.h"
#include "book_reader.h"
#include "byte_order.h"
#include "byte_sink.h"
#include "memory_file.h"

namespace {

constexpr int kWalkCap = 2000;

void Walk(ql::BookReader& reader) {
  const int count = std::min(reader.GetSubjectCount(), kWalkCap);
  for (int i = 0; i < count; ++i) {
    reader.GetSubject(i);
    reader.GetRecordHead(i);
    if (reader.LoadRecord(i) == 1) (void)reader.CurrentRecordText().size();
  }
  if (reader.GetSubjectCount() > kWalkCap) return;
  reader.FindSubject(ql::MatchWhole, "\xCE\xA3");
  reader.FindSubject(ql::MatchPrefix, "a");
  if (count > 0) reader.FindSubject(ql::MatchWhole, reader.GetSubject(count / 2));
  (void)reader.CheckBook().size();
  ql::SearchQuery query;
  query.term1 = reader.FoldTerm("\xC3\x89");
  int record = 0, pos = -1;
  reader.FindMatch(query, record, pos);
  (void)reader.TakeDamagedRecords().size();
  ql::StringSink text;
  reader.WriteTabText(text, nullptr);
  ql::StringSink page;
  reader.RenderRecord(page, ql::RenderOptions{}, 0, 0, 1);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<uint8_t> bytes(data, data + size);
  if (bytes.size() < size_t(ql::kUnicodeHeaderSize)) bytes.resize(ql::kUnicodeHeaderSize);
  uint8_t* p = bytes.data();
  ql::WriteLE32(p, ql::kBookUid1);
  ql::WriteLE32(p + 4, ql::kBookUid2);
  ql::WriteLE32(p + 8, ql::kBookUid3);
  ql::WriteLE32(p + 12, ql::kBookUidChecksum);
  ql::WriteLE32(p + ql::kHeaderOffsetVersion, uint32_t(ql::kVersionUnicode));
  ql::WriteLE32(p + ql::kHeaderOffsetTextEncoding, uint32_t(ql::kTextEncodingUtf8));
  ql::WriteLE32(p + ql::kHeaderOffsetBlockCoding, uint32_t(ql::kBlockCodingZstd));
  const int fd = qlfuzz::MemoryFile(bytes.data(), bytes.size());
  if (fd < 0) return 0;
  const std::string path = "/proc/self/fd/" + std::to_string(fd);
  {
    ql::BookReader reader;
    if (reader.Open(path, ql::kOpenReadOnly) == ql::OpenResult::kOk) Walk(reader);
  }
  close(fd);
  return 0;
}
