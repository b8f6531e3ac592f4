// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// Test helpers for the handheld export: a plain reference coder written the
// way the coding is defined (forward scans, two passes), a decoder of the
// token code, a parser of exported databases, and a book source made of
// vectors with failures to order.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "progress.h"
#include "qlp_writer.h"

namespace hhtest {

// The coder as defined: grow a candidate, scan the window for its lowest
// occurrence, emit on failure; then a second pass that folds escapes into runs.
std::string ReferenceCompress(std::string_view source);

// Our coder on a string.
std::string Compress(std::string_view source);

// Decodes the token code; failed is set on a token that reaches outside
// the output or the input.
std::string Decompress(std::string_view coded, bool* failed = nullptr);

struct ParsedPdb {
  bool ok = false;
  std::string error;
  std::string name;  // NULs stripped
  uint16_t numRecords = 0;
  uint32_t created = 0, modified = 0;
  std::string type, creator;
  std::vector<uint32_t> offsets;
  std::vector<std::string> records;
};
ParsedPdb ParsePdb(std::string_view file);

struct DataBlock {
  std::string coded;
  bool lastFlag = false;
};
// Splits a data record into its stored blocks; false when the lengths do not
// tile the record or bit 15 is not on exactly the last block.
bool SplitDataRecord(std::string_view record, std::vector<DataBlock>& blocks);

struct ExportedBook {
  bool ok = false;
  std::string error;
  uint32_t subjectCount = 0;
  uint16_t sorted = 0;
  std::vector<std::string> dataRecords;
  std::vector<std::vector<DataBlock>> blocks;  // per data record
  std::vector<uint16_t> locations, offsets;
  std::string firstChars;
  std::string stream;  // every block decoded, in order
};
// Parses an exported database down to its text stream, checking the fixed
// fields and that every subject's entry is where its data header says.
ExportedBook ReadExport(std::string_view file);

// subject NUL text NUL for every pair.
std::string StreamOf(const std::vector<std::pair<std::string, std::string>>& entries);

// A book source over vectors.
class FakeSource : public ql::QLPWriter {
 public:
  FakeSource() = default;
  explicit FakeSource(const std::vector<std::pair<std::string, std::string>>& entries) {
    for (const auto& [subject, text] : entries) {
      subjects.push_back(subject);
      texts.push_back(text);
    }
  }
  std::vector<std::string> subjects;
  std::vector<std::string> texts;
  int sorted = 0;
  int maxSubject = 1048575;
  int maxRecord = 1920000;
  int failSubjectAt = -1;  // GetSourceSubject fails from this index on
  int failRecordAt = -1;   // GetSourceRecord fails for this index
  int closeAtRecord = -1;  // the source loses its book when this record is asked for
  std::vector<std::string> calls;
  bool logCalls = false;
  // When not negative, the book is this many entries made as they are asked
  // for (subject: generatedSubjectLength bytes 'x', text empty) instead of
  // the vectors.
  int generatedCount = -1;
  int generatedSubjectLength = 0;
  int subjectReads = 0;
  int recordReads = 0;

  ql::SourceResult OpenSource(const std::string& path) override;
  void CloseSource() override;
  int GetSourceSubjectCount() override;
  int GetMaxSubjectLength() override;
  int GetMaxRecordLength() override;
  ql::SourceResult GetSourceSubject(int index, char* buffer, int capacity) override;
  ql::SourceResult GetSourceRecord(int index, int32_t& piece, char* buffer, int capacity) override;
  int GetSourceSorted() override;
  // Loads the subjects for link resolution, as a run does before converting.
  void PrepareLinks();
  // The subject indices in the order the run sorted them.
  const std::vector<int32_t>& SortedIndex() const { return iSortedSubjectIndex; }
};

class CountingProgress : public ql::ProgressSink {
 public:
  int steps = 0;
  void SetRange(int64_t, int64_t) override {}
  void SetPos(int64_t) override {}
  void Step() override { ++steps; }
};

class RecordingMessages : public ql::MessageSink {
 public:
  std::vector<std::string> texts;
  void ShowMessage(std::string_view text, std::string_view) override { texts.emplace_back(text); }
};

// Bytes from 0x21..0x7E with no three-byte sequence repeated anywhere in the
// result (nor with the bytes of avoid), so they compress to themselves.
std::string Incompressible(size_t length, uint32_t seed, std::string_view avoid = {});

std::string Hex(std::string_view bytes);
std::string Unhex(std::string_view hex);

}  // namespace hhtest
