// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// Opens arbitrary bytes as a book with ExportBookReader and walks it the way
// the export does (every subject, then every record, capped), with a small
// and the full capacity. The same bytes also go through the handheld coder
// in blocks. Any crash, hang or out-of-bounds access is a finding.
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "export_book_reader.h"
#include "handheld_compress.h"
#include "memory_file.h"
#include "pdb_format.h"

namespace {

constexpr int kWalkCap = 2000;
constexpr int kSmallCapacity = 64;

using qlfuzz::MemoryFile;

void Walk(ql::ExportBookReader& reader, int capacity) {
  std::vector<char> buffer(static_cast<size_t>(capacity) + 1);
  const int count = std::min(reader.GetSourceSubjectCount(), kWalkCap);
  for (int i = 0; i < count; ++i) reader.GetSourceSubject(i, buffer.data(), capacity);
  for (int i = 0; i < count; ++i) {
    int32_t piece = 0;
    reader.GetSourceRecord(i, piece, buffer.data(), capacity);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  int fd = MemoryFile(data, size);
  if (fd < 0) return 0;
  const std::string path = "/proc/self/fd/" + std::to_string(fd);
  {
    ql::ExportBookReader reader;
    if (reader.OpenSource(path) == ql::SourceResult::kOk) {
      Walk(reader, kSmallCapacity);
      Walk(reader, reader.GetMaxRecordLength());
    }
  }
  close(fd);

  std::vector<uint8_t> out(2 * ql::kQLPBlockSize);
  for (size_t at = 0; at < size; at += ql::kQLPBlockSize)
    ql::CompressHandheldBlock(data + at, std::min(size - at, size_t{ql::kQLPBlockSize}),
                              out.data());
  return 0;
}
