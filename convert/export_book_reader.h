// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// ExportBookReader: the reader the handheld export pulls subjects and records
// from. It is separate from BookReader: plain buffered reads of the book file,
// small caches of its own sized for walking the book in index order, and
// every failure reported as a small code.
//
// Bounds contract: every count, block table entry, index value, tail offset,
// legacy offset and length read from the file is checked against the file
// size and the buffers before use; allocations never exceed what the file
// size justifies. A damaged book gives a failure code or damaged text, never
// a read or write outside a buffer or an unbounded loop.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "book_format.h"
#include "book_reader.h"
#include "qlp_writer.h"
#include "unicode_book_file.h"

namespace ql {

// The reader's operations answer in SourceResult (qlp_writer.h).

// Why OpenSource failed, for messages, in the user's language.
std::string ExportOpenFailureText(SourceResult code);

inline constexpr int kExportMaxSubjectLength = 0xFFFFF;  // 1048575
inline constexpr int kExportMaxRecordLength = 1920000;
inline constexpr std::string_view kTooLongMark = " <TOO LONG>";
inline constexpr int kTooLongMargin = 20;

class ExportBookReader : public QLPWriter {
 public:
  ExportBookReader() = default;
  ~ExportBookReader() override;

  SourceResult OpenSource(const std::string& path) override;
  void CloseSource() override;
  int GetSourceSubjectCount() override;
  int GetMaxSubjectLength() override;
  int GetMaxRecordLength() override;
  SourceResult GetSourceSubject(int index, char* buffer, int capacity) override;
  SourceResult GetSourceRecord(int index, int32_t& piece, char* buffer, int capacity) override;
  int GetSourceSorted() override;
  // True when entries read in index order were found to overlap: the book
  // was closed then, so that a run stops instead of writing one entry over
  // and over (see OverlapCheck).
  bool EntriesOverlap() const { return iOverlapFound; }
  // A UTF-8 book is exported in Windows-1252: the characters it lacks
  // become '?', counted here with up to five of their records' subjects
  // (as the book has them, in UTF-8).
  int64_t ReplacedCharacters() const { return iReplaced; }
  const std::vector<std::string>& ReplacedSubjects() const { return iReplacedSubjects; }

 private:
  // A place in the subject stream: a block and a position in the subject
  // buffer while that block is loaded (positions past the block itself lie
  // in the read-on from the next one).
  struct StreamCursor {
    int32_t block = 0;
    size_t pos = 0;
  };

  bool IsLegacy() const { return !iUnicode && iHeader[4] < kVersion2Min; }
  SourceResult OpenUnicode();
  // Hands iRecordText out into buffer as the handheld writer takes it.
  SourceResult HandOut(char* buffer, int capacity, bool damaged);
  // The UTF-8 text as Windows-1252, counting what it lacks for index.
  void Store(std::string_view utf8, int index, std::string& out);
  std::unique_ptr<UnicodeBookFile> iUnicode;
  int64_t iReplaced = 0;
  std::vector<std::string> iReplacedSubjects;
  int iReplacedLast = -1;
  std::vector<uint8_t> iUnicodeText;
  SourceResult Seek(int64_t position);
  SourceResult ReadExact(void* into, size_t size);
  SourceResult ReadWord(int32_t& value);
  SourceResult OpenVersion2();
  SourceResult ReadSection(int64_t sectionStart, int32_t& blockSize, int32_t& blockCount,
                           std::vector<BlockTableEntry>& table, int64_t& dataOffset,
                           int32_t& sectionLength);
  SourceResult WindowIndex(int index);
  SourceResult LoadSubjectBlock(int32_t block);
  SourceResult LoadRecordBlock(int32_t block);
  // Reads block's compressed bytes into iCompressedBuffer after checking its
  // table entry against the file; length receives their count.
  SourceResult ReadCompressedBlock(const std::vector<BlockTableEntry>& table, int32_t blockCount,
                                   int64_t dataOffset, int32_t block, size_t& length);
  // Places cursor on the entry of index and reads its flags and tail offset.
  SourceResult FindSubjectEntry(int index, StreamCursor& cursor, bool& hasTail,
                                int32_t& tailOffset);
  // Makes the byte at cursor available, moving into the following blocks as
  // the stream runs on; SourceResult::kShortRead at the end of the stream.
  SourceResult SubjectByteAt(StreamCursor& cursor);
  // Passes the string at cursor and the zero byte after it, keeping its
  // first keep bytes in out (when given); SourceResult::kShortRead when the stream
  // ends before the zero byte.
  SourceResult ReadSubjectString(StreamCursor& cursor, std::string* out, size_t keep);
  // The place of cursor in the subject stream.
  int64_t StreamOffset(const StreamCursor& cursor) const;
  size_t SubjectBufferEnd() const;
  SourceResult LegacySeekEntry(int index, int64_t& entryPosition, int32_t& subjectLength);
  SourceResult LegacyRecordPosition(int index, int64_t& recordPosition);
  // Where the entry after index starts in the subject stream; -1 for the
  // last one, or when its index value cannot be read or points outside the
  // stream.
  int64_t NextEntryStart(int index);

  // Entries asked for in index order, from 0 on, are checked to lie one
  // behind the other; asking out of order stops the check until 0 again.
  struct OrderCheck {
    int next = -1;
    OverlapCheck check;
  };
  SourceResult CheckOrder(OrderCheck& order, int index, const EntryExtent& extent);

  std::array<int32_t, 5> iHeader{};
  OrderCheck iSubjectOrder, iRecordOrder;
  bool iOverlapFound = false;
  int32_t iSubjectCount = 0;
  int32_t iHeaderSize = 0;
  int32_t iSorted = 0;
  int64_t iFileSize = 0;
  int64_t iSubjectIndexOffset = 0;
  int64_t iSubjectDataOffset = 0;
  int64_t iRecordDataOffset = 0;
  int32_t iIndexWindowStart = -1;
  int32_t iIndexWindowSize = kIndexWindowSize;
  int32_t iIndexWindowValid = 0;  // values of the window inside the index
  std::vector<int32_t> iIndexWindow;
  int32_t iSubjectBlockSize = 0;
  int32_t iSubjectBlockCount = 0;
  std::vector<BlockTableEntry> iSubjectBlockTable;
  int32_t iRecordBlockSize = 0;
  int32_t iRecordBlockCount = 0;
  std::vector<BlockTableEntry> iRecordBlockTable;
  int32_t iSubjectBlockCached = -1;
  std::vector<uint8_t> iSubjectBlockBuffer;
  size_t iSubjectBlockLength = 0;  // bytes decoded from the block itself
  size_t iSubjectSpillLength = 0;  // bytes decoded from the next block, at iSubjectBlockSize
  bool iSubjectBlockWhole = false;
  // Set when the entry being read touched a subject block that is not whole.
  bool iSubjectDamageSeen = false;
  int32_t iRecordBlockCached = -1;
  std::vector<uint8_t> iRecordBlockBuffer;
  size_t iRecordBlockLength = 0;
  bool iRecordBlockWhole = false;
  std::vector<uint8_t> iCompressedBuffer;
  std::vector<uint8_t> iSpillBuffer;
  std::string iRecordText;
  std::string iSubjectText;
};

}  // namespace ql
