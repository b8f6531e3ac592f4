// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// Opens arbitrary bytes as a book, read-only and read-write, and walks it:
// every subject, head and record (capped), FindSubject in both modes, the
// damage check, a search and a page, and the bookmark table. Any crash, hang or out-of-bounds
// access is a finding.
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>

#include "book_reader.h"
#include "memory_file.h"

namespace {

constexpr int kWalkCap = 2000;

using qlfuzz::MemoryFile;

void Walk(ql::BookReader& reader, std::string_view key) {
  const int count = std::min(reader.GetSubjectCount(), kWalkCap);
  for (int i = 0; i < count; ++i) {
    reader.GetSubject(i);
    reader.GetRecordHead(i);
    if (reader.LoadRecord(i) == 1) (void)reader.CurrentRecordText().size();
  }
  // Lookups scan the whole book when it is unsorted: keep that to small books.
  if (reader.GetSubjectCount() <= kWalkCap) {
    reader.FindSubject(ql::MatchWhole, key);
    reader.FindSubject(ql::MatchPrefix, key);
    if (count > 0) reader.FindSubject(ql::MatchWhole, reader.GetSubject(count / 2));
    // The damage check reads every block and record; a search collects the
    // damaged records it met; a damaged record's page says so.
    (void)reader.CheckBook().size();
    ql::SearchQuery query;
    query.term1 = "e";
    int record = 0, pos = -1;
    reader.FindMatch(query, record, pos);
    (void)reader.TakeDamagedRecords().size();
    ql::StringSink page;
    reader.RenderRecord(page, ql::RenderOptions{}, 0, 0, 1);
  }
  for (int slot = 0; slot <= 51; ++slot) (void)reader.GetBookmark(slot).text.size();
  reader.SetBookmark(1, 3, 0, 0, "key");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view key(reinterpret_cast<const char*>(data), std::min<size_t>(size, 3));
  for (int mode : {ql::kOpenReadOnly, ql::kOpenReadWrite}) {
    const int fd = MemoryFile(data, size);
    if (fd < 0) return 0;
    const std::string path = "/proc/self/fd/" + std::to_string(fd);
    {
      ql::BookReader reader;
      if (reader.Open(path, mode) == ql::OpenResult::kOk) {
        Walk(reader, key);
        // Reopening writes the bookmarks back and reads them again.
        if (reader.Open(path, mode) == ql::OpenResult::kOk) Walk(reader, key);
      }
    }
    close(fd);
  }
  return 0;
}
