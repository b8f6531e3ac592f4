// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// Round trips. Bytes imported as tagged or tab-separated text (the first
// byte chooses) are written as a book and read back; the book written out as
// tab-separated text and imported again must give the same subjects whenever
// the export said every entry was carried. The rest of the bytes,
// compressed with the book writer's coder, must decompress to themselves.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>
#include <string>
#include <vector>

#include "book_builder.h"
#include "book_reader.h"
#include "byte_sink.h"
#include "codecs.h"
#include "compress_block.h"
#include "memory_file.h"

namespace {

struct Book {
  bool ok = false;
  std::vector<std::pair<std::string, std::string>> entries;
  std::string text;  // the export as tab-separated text
  ql::TabTextReport report;
};

// Imports bytes, writes the book into a memory file, reads it back whole and
// exports it as text.
Book ImportWriteRead(const std::string& bytes, bool tab) {
  Book book;
  std::FILE* input = fmemopen(const_cast<char*>(bytes.data()), bytes.size(), "rb");
  if (!input) return book;
  ql::BookBuilder builder;
  const ql::BuildResult r =
      tab ? builder.ImportTabText(input, nullptr, false) : builder.ImportTaggedText(input, nullptr);
  std::fclose(input);
  if (r != ql::BuildResult::kOk) return book;
  const int fd = qlfuzz::MemoryFile(nullptr, 0);
  if (fd < 0) return book;
  std::FILE* output = fdopen(dup(fd), "w+b");
  if (!output || builder.WriteBook(output) != ql::BuildResult::kOk) std::abort();
  std::fclose(output);
  ql::BookReader reader;
  if (reader.Open("/proc/self/fd/" + std::to_string(fd), ql::kOpenReadOnly) !=
          ql::OpenResult::kOk ||
      reader.GetSubjectCount() != builder.iSubjectCount)
    std::abort();
  for (int i = 0; i < reader.GetSubjectCount(); ++i) {
    std::string subject = reader.GetSubject(i);
    if (reader.LoadRecord(i) != 1 || reader.CurrentRecordDamaged()) std::abort();
    book.entries.emplace_back(std::move(subject), std::string(reader.CurrentRecordText()));
  }
  ql::StringSink sink;
  if (reader.WriteTabText(sink, nullptr, &book.report) != reader.GetSubjectCount() ||
      book.report.damaged != 0 || book.report.overlapAt >= 0)
    std::abort();
  book.text = sink.Data();
  reader.Close();
  close(fd);
  book.ok = true;
  return book;
}

void CompressRoundTrip(const uint8_t* data, size_t size) {
  if (size == 0) return;
  std::vector<uint8_t> coded(ql::CompressBound(size));
  const size_t n = ql::CompressBlock(data, coded.data(), size);
  if (n == 0 || n > coded.size()) std::abort();
  std::vector<uint8_t> back(size);
  const size_t m = ql::DecompressBlock(std::span<const uint8_t>(coded.data(), n), back, false);
  if (m != size || !std::equal(back.begin(), back.end(), data)) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const bool tab = (data[0] & 1) != 0;
  const std::string input(reinterpret_cast<const char*>(data + 1), size - 1);
  const Book first = ImportWriteRead(input, tab);
  if (first.ok) {
    // Every entry the export said it carried comes back.
    const Book second = ImportWriteRead(first.text, true);
    if (!second.ok) std::abort();
    if (first.report.notCarried == 0 && second.entries.size() != first.entries.size()) std::abort();
    // Subjects come back as they were (texts may come back in another
    // spelling of the same markup: a link gets its ">").
    if (first.report.notCarried == 0)
      for (size_t i = 0; i < first.entries.size(); ++i)
        if (first.entries[i].first != second.entries[i].first) std::abort();
  }
  CompressRoundTrip(data + 1, size - 1);
  return 0;
}
