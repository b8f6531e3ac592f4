// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// Helpers of the conversion tests: feeding the builder from bytes, reading
// its temporary streams back, and taking a written book apart with the block
// decoder (so the writer is checked without the book reader).
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "book_builder.h"
#include "book_fixture.h"

namespace qltest {

// A stdio stream over bytes (zero bytes included); closed on destruction.
class MemoryInput {
 public:
  explicit MemoryInput(std::string bytes);
  ~MemoryInput();
  MemoryInput(const MemoryInput&) = delete;
  MemoryInput& operator=(const MemoryInput&) = delete;
  std::FILE* Get() const { return iFile; }

 private:
  std::string iBytes;
  std::FILE* iFile = nullptr;
};

// Everything in a temporary stream, leaving it positioned at its end.
std::string StreamBytes(std::FILE* file);

// The builder's three streams in the fixture's layout.
Streams BuilderStreams(ql::BookBuilder& builder);

// Imports input into builder (tab or tagged) and checks the result code.
void Import(ql::BookBuilder& builder, std::string_view input, bool tab);

// Expected streams of entries, as BuildStreams lays them out.
inline Streams ExpectedStreams(const std::vector<Entry>& entries) {
  return BuildStreams(entries);
}

// A written book taken apart.
struct ParsedBook {
  std::vector<int32_t> header;  // the nine header words
  std::string chunkArea;
  std::vector<int32_t> index;
  std::string subjects;                    // decoded subject stream
  std::string records;                     // decoded record stream
  std::vector<int32_t> subjectBlockSizes;  // decoded size of every block
  std::vector<int32_t> recordBlockSizes;
  bool ok = false;
};
ParsedBook ParseBook(const std::string& bytes);

// Entries as (subject, text) pairs, printed readably on failure.
void ExpectStreamsEqual(const Streams& got, const Streams& want);

}  // namespace qltest
