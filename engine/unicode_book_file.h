// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// UnicodeBookFile: the open file of a version 2002 book, held by a
// BookReader (and the export's reader) while such a book is open. Subjects
// and texts are UTF-8; both streams are cut into blocks coded with zstd and
// the dictionary the book carries; stream offsets are 64-bit, and an entry
// names its text by place and length in the record stream, so that several
// entries can share one stored text.
//
// Bounds contract: the header, chunks, block tables, index values, text
// places and string lengths are checked against the file and the streams
// before use; block sizes and the dictionary are capped, and a block's
// decoding writes into a buffer of its stated size only. A damaged entry
// or text reads as what could be read, flagged damaged.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

struct ZSTD_DCtx_s;

namespace ql {

struct EntryExtent;

class UnicodeBookFile {
 public:
  UnicodeBookFile();
  ~UnicodeBookFile();
  UnicodeBookFile(const UnicodeBookFile&) = delete;
  UnicodeBookFile& operator=(const UnicodeBookFile&) = delete;

  enum class Result { kOk, kDamaged, kUnsupported, kNoMemory };
  // Reads the layout of the book open on fd (which stays the caller's) of
  // fileSize bytes.
  Result Open(int fd, int64_t fileSize);
  // A copy of owner's open book read through fd (the same file, opened anew
  // by the caller), for a reader on another thread: the tables and the
  // dictionary are shared, the caches are its own.
  Result OpenView(const UnicodeBookFile& owner, int fd);

  int SubjectCount() const { return iSubjectCount; }
  int Sorted() const { return iSorted; }
  // Where the bookmark block's 4743 bytes are, -1 when the book has none.
  int64_t BookmarkOffset() const { return iBookmarkOffset; }
  int64_t RecordStreamLength() const;
  int64_t SubjectStreamLength() const;
  int SubjectBlockCount() const;
  int RecordBlockCount() const;
  size_t DictionarySize() const;

  // The subject of index; damaged tells that its entry could not be read
  // whole. Valid until the next call.
  std::string_view Subject(int index, bool& damaged);
  // The whole text of index into text (with a zero byte behind it), and
  // where its entry and text lie; false when memory ran out.
  bool ReadRecord(int index, std::vector<uint8_t>& text, bool& damaged, EntryExtent& extent);
  // When the text of index is one piece of the record stream (as a text
  // stored once for many records is), where it lies; false otherwise.
  bool OnePiece(int index, int64_t& offset, int64_t& length);
  // The text's first bytes: at most limit, cut before a character that
  // would not fit whole.
  std::string RecordHead(int index, size_t limit);
  // The length of index's text as its entry names it (-1 when the entry
  // cannot be read), read without the text.
  int64_t RecordLength(int index);

  // The blocks of each stream that do not decode whole.
  std::vector<int> DamagedBlocks(bool subjects);
  // Records whose entry (subjects) or text (records) lies in block.
  void RecordsInBlock(bool subjects, int block, int& first, int& last);

  // True when the record of index cannot hold an occurrence of finder's
  // term: its entry (and, unless subjectsOnly, its text, stored in one
  // piece) lies whole in blocks in which the term does not occur, or the
  // search filter of the subject block its entry starts in proves it absent. A search
  // passes such records over without reading them. The term must be valid
  // UTF-8: then every occurrence in a text is one in the block too.
  bool CannotHold(int index, const class Utf8FoldedFinder& finder, uint64_t finderId,
                  bool subjectsOnly);

  // For a binary search over the subjects: an entry after lo and at most
  // index, the first of the subject block that index's entry starts in,
  // and its subject, each block's remembered once read, so that a search
  // decodes whole only the block that holds its key. False when it cannot
  // be read.
  bool FirstOfBlock(int lo, int index, int& first, std::string& subject);

  // Block decodings so far, of each stream.
  int64_t SubjectBlockLoads() const;
  int64_t RecordBlockLoads() const;

 private:
  struct Layout;
  struct Stream;
  struct Entry {
    int index = -1;
    bool inRecordStream = false;
    std::vector<std::pair<int64_t, int64_t>> pieces;  // offset, length in the record stream
    int64_t textLength = 0;
    std::string subject;
    std::string inlineText;
    int64_t start = -1, end = -1;
    bool damaged = false;
  };
  // The index value of index: the entry's place in the subject stream, -1
  // when it cannot be read or lies outside the stream.
  int64_t EntryStart(int index);
  // Parses the entry of index into iEntry (kept: a search asks for the
  // subject and then for the text).
  const Entry& ReadEntry(int index);
  // Appends stream bytes from offset up to a zero byte (not appended) to
  // out, at most max of them; returns where the zero was (past it), -1 when
  // none came first.
  int64_t ReadString(Stream& stream, int64_t offset, size_t max, std::string& out, bool& damaged);
  // Appends count stream bytes from offset; false when some could not be
  // read whole.
  bool ReadBytes(Stream& stream, int64_t offset, int64_t count, std::vector<uint8_t>& out);
  // The decoded bytes of block (cached), nullptr when it is damaged; length
  // receives how many.
  const uint8_t* Block(Stream& stream, int block, size_t& length, bool& whole);
  size_t ReadAt(int64_t offset, uint8_t* bytes, size_t count) const;
  // True when the search filter of the subject block index's entry starts
  // in proves finder's term absent from the block's records.
  bool FilterRulesOut(int index, const class Utf8FoldedFinder& finder);

  int iFile = -1;
  int iSubjectCount = 0;
  int iSorted = 0;
  int64_t iBookmarkOffset = -1;
  std::shared_ptr<const Layout> iLayout;
  struct ContextDeleter {
    void operator()(ZSTD_DCtx_s* c) const;
  };
  std::unique_ptr<ZSTD_DCtx_s, ContextDeleter> iContext;
  std::unique_ptr<Stream> iSubjects;
  std::unique_ptr<Stream> iRecords;
  Entry iEntry;
  // Per subject block, made on first need: its first entry (-1: not read)
  // and that entry's subject.
  std::vector<int> iBlockFirst;
  std::vector<std::string> iBlockFirstSubject;
  std::vector<int64_t> iIndexWindow;
  int iIndexWindowStart = -1;
};

}  // namespace ql
