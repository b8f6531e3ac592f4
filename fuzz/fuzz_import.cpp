// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// Imports arbitrary bytes as tagged text and as tab-separated text, writes
// each book and reads it back: the book must open and hold exactly the
// entries the builder counted. Any crash, hang, leak or out-of-bounds access
// is a finding too.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "book_builder.h"
#include "book_reader.h"
#include "memory_file.h"

namespace {

constexpr int kWalkCap = 500;

void ImportAndReadBack(const uint8_t* data, size_t size, bool tab) {
  std::FILE* input = fmemopen(const_cast<uint8_t*>(data), size, "rb");
  if (!input) return;
  ql::BookBuilder builder;
  const ql::BuildResult r =
      tab ? builder.ImportTabText(input, nullptr, false) : builder.ImportTaggedText(input, nullptr);
  std::fclose(input);
  if (r != ql::BuildResult::kOk) return;

  const int fd = qlfuzz::MemoryFile(nullptr, 0);
  if (fd < 0) return;
  std::FILE* output = fdopen(dup(fd), "w+b");
  if (!output) {
    close(fd);
    return;
  }
  const ql::BuildResult written = builder.WriteBook(output);
  std::fclose(output);
  if (written == ql::BuildResult::kOk) {
    ql::BookReader reader;
    const std::string path = "/proc/self/fd/" + std::to_string(fd);
    if (reader.Open(path, ql::kOpenReadOnly) != ql::OpenResult::kOk) std::abort();
    if (reader.GetSubjectCount() != builder.iSubjectCount) std::abort();
    for (int i = 0; i < reader.GetSubjectCount() && i < kWalkCap; ++i) {
      reader.GetSubject(i);
      if (reader.LoadRecord(i) != 1) std::abort();
    }
  }
  close(fd);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  ImportAndReadBack(data, size, false);
  ImportAndReadBack(data, size, true);
  return 0;
}
