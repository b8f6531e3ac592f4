// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// BookReader: the object behind one open book. It reads version 2 books
// directly and legacy books (version word below 2000) through a
// LegacyBookFile, gives subjects, record heads and whole records by index,
// looks subjects up, keeps the bookmark table and writes it back, renders
// records as pages and searches the book.
//
// Bounds contract: every value read from the file (counts, block tables,
// index values, tail offsets, lengths) is checked against the file and the
// buffers before use. A damaged book gives -1/-2 at Open or damaged text,
// never a read or write outside a buffer, an unbounded loop or an allocation
// larger than the file justifies.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "book_format.h"
#include "byte_sink.h"
#include "codecs.h"
#include "progress.h"
#include "text_case.h"

namespace ql {

class LegacyBookFile;
class UnicodeBookFile;

// The typeface and size a record's page is written in; the size is a font
// size of the page's markup (1 to 7), 3 the ordinary one.
struct RenderOptions {
  std::string face = "Arial";
  int size = 3;
};

struct BookmarkEntry {
  int32_t textLength = 0;  // 0 = slot empty
  int32_t recordIndex = 0;
  int32_t reserved = 0;
  std::string text;  // at most kBookmarkTextSize bytes
};

// Open modes: kOpenReadOnly opens read-only, any other value read-write.
inline constexpr int kOpenReadWrite = 0;
inline constexpr int kOpenReadOnly = 2;

// Results of Open and OpenView.
enum class OpenResult : int {
  kOk = 1,
  kFailed = -1,
  kUnsupported = -2,  // a newer version or an unknown chunk
};

// Why the last Open failed, beyond its result: the kind, the system's error
// number where one caused it, and the path that was opened.
enum class OpenFailureKind {
  kNone,
  kSystem,       // the file could not be opened, examined or read: see error
  kInUse,        // another Quillary has the book open for writing
  kNotABook,     // not a regular file, or without the identifying words of a book
  kDamaged,      // the layout does not fit the file
  kUnsupported,  // a newer version or an unknown chunk: see version
  kWriteFailed,  // a legacy book could not be marked for writing: see error
};
struct OpenFailureInfo {
  OpenFailureKind kind = OpenFailureKind::kNone;
  int error = 0;    // errno for kSystem and kWriteFailed
  int version = 0;  // the version word, for kUnsupported
  std::string path;
};

// FindSubject modes.
inline constexpr int MatchWhole = 0;
inline constexpr int MatchPrefix = 1;

// Search modes and results.
inline constexpr int SearchSubjects = 2;
inline constexpr int SearchSubjectsAndText = 3;
inline constexpr int kSearchHit = 1;
inline constexpr int kSearchNone = -1;
inline constexpr int kSearchLeftRecord = -5;
// A search stopped before its end: by its SearchWatch (SearchUpTo), or
// cancelled by its caller (ParallelSearch).
inline constexpr int kSearchCancelled = -6;

// The path callers open to release a book without opening another.
inline constexpr const char* kNoFilePath = "c:\\nofilehere.qlt";

// Counters of block decompressions, for tests and benchmarks that check how
// much of the file an operation touched.
struct ReaderStats {
  int64_t subjectBlockLoads = 0;
  int64_t recordBlockLoads = 0;
  // Record text the search's scans and link tests have passed over: it
  // grows with the text searched, not with its hits.
  int64_t searchTextPassed = 0;
};

struct SearchQuery {
  std::string term1;  // never empty; all terms already lower case
  std::string term2;
  bool exclude2 = false;
  std::string term3;
  bool exclude3 = false;
  bool wholeWord = false;
  int mode = SearchSubjectsAndText;
};

// Asked by a bounded search (SearchUpTo, FindMatchUpTo) each time it takes
// up a record, before reading it: false stops the search there. A search
// that goes on within one record (Find Next after a hit) asks again for
// that record. Called on the searching thread.
class SearchWatch {
 public:
  virtual bool Continue(int record) = 0;

 protected:
  ~SearchWatch() = default;
};

// What WriteTabText found on the way: records written as far as they could
// be read, and entries the text form does not carry back (an empty subject or
// text, which ends the import there; a TAB in the subject; a CR in the text, a
// subject starting with a line end, or any line end in the first entry, which
// the import would take for the file's, or a first subject starting with the
// bytes of a byte-order mark, which it would pass over; a TAB and a byte that
// is no tag's code, which is left out). Up to kReportNames subjects each.
struct TabTextReport {
  static constexpr size_t kReportNames = 5;
  int damaged = 0;
  std::vector<std::string> damagedSubjects;
  int notCarried = 0;
  std::vector<std::string> notCarriedSubjects;
  int overlapAt = -1;  // the entry that starts inside one before it; -1: none
};

// Where a record's entry and its text lie: for a version 2 book the entry in
// the subject stream and the tail in the record stream, for a legacy book the
// entry in the header and the record in the file; -1 where there is none or
// it could not be read.
struct EntryExtent {
  int64_t entryStart = -1, entryEnd = -1;
  int64_t textStart = -1, textEnd = -1;
};

// A book is written entry after entry, so each entry, taken in index order,
// lies behind the one before it. A hostile book can point many index values
// at one long entry, which an export would then write many times over;
// exports check each entry with this and refuse such a book.
class OverlapCheck {
 public:
  // False when extent starts inside an entry or text taken before.
  bool Follows(const EntryExtent& extent);

 private:
  int64_t iEntryEnd = 0;
  int64_t iTextEnd = 0;
};

// How messages name a record: its subject, or "#INDEX" where that is empty
// (as a damaged record's may read).
std::string RecordName(std::string_view subject, int index);

// Comparison of subjects: bytes after folding ASCII A-Z to a-z, unsigned; a
// proper prefix is smaller. Returns <0, 0, >0.
int CompareSubjects(std::string_view a, std::string_view b);

class BookReader {
 public:
  BookReader();
  ~BookReader();
  BookReader(const BookReader&) = delete;
  BookReader& operator=(const BookReader&) = delete;

  // Opens the book at path. Any number of readers (kOpenReadOnly) and one
  // writer share a book, across programs: only a second writer is refused
  // (OpenResult::kFailed, OpenFailureKind::kInUse).
  OpenResult Open(const std::string& path, int mode);
  // Opens a read-only view of the book owner has open, for a search on
  // another thread: the same file opened anew through owner's descriptor (so
  // it cannot be another file that took the path meanwhile), with copies of
  // the tables owner parsed and caches of its own. It takes and drops no
  // lock: owner's lock stays owner's, closing the view leaves it in place,
  // and once owner closes the book it can be opened and locked again while
  // a view still reads it. Nothing is ever written through a view (it has no
  // bookmark block). Call it on owner's thread; afterwards the two share
  // nothing that changes. Returns OpenResult::kOk, or OpenResult::kFailed when owner has no
  // book open or the file cannot be opened again (LastOpenFailure says why).
  OpenResult OpenView(const BookReader& owner);
  bool IsVersion2() const { return iIsVersion2; }
  // True for a version 2002 book: its subjects and texts are UTF-8, ordered
  // and compared by Unicode case folding (CompareBookSubjects).
  bool IsUnicode() const { return iUnicode != nullptr; }
  // A version 2002 book's coding: the size of the dictionary its blocks
  // were coded with (0: none), and its streams' lengths and block counts.
  struct UnicodeLayout {
    size_t dictionary = 0;
    int64_t subjectBytes = 0, recordBytes = 0;
    int subjectBlocks = 0, recordBlocks = 0;
  };
  UnicodeLayout GetUnicodeLayout() const;
  // Subjects compared as this book orders them: CompareSubjects for a
  // Windows-1252 book, Unicode simple case folding for a UTF-8 one.
  int CompareBookSubjects(std::string_view a, std::string_view b) const;
  // A search term as the search of this book takes it: lowered with the
  // Windows-1252 mapping, or folded by Unicode simple case folding.
  std::string FoldTerm(std::string_view term) const;
  int GetSubjectCount() const { return iSubjectCount; }
  std::string GetSubject(int index);
  std::string GetRecordHead(int index);
  int LoadRecord(int index);
  int FindSubject(int mode, std::string_view key);
  // The records in the order CompareBookSubjects gives their subjects (ties
  // in record order), as a book's word index keeps them for a book that is
  // not sorted: FindSubject then searches it instead of walking the book,
  // with the same answers. One of another length is not taken; null drops it.
  class SubjectOrder {
   public:
    virtual ~SubjectOrder() = default;
    virtual size_t Size() const = 0;
    // The record at place i; one not below the book's count is not believed.
    virtual uint32_t At(size_t i) const = 0;
  };
  void SetSubjectOrder(std::shared_ptr<const SubjectOrder> order);
  bool HasSubjectOrder() const { return iSubjectOrder != nullptr; }
  BookmarkEntry GetBookmark(int slot) const;
  void SetBookmark(int slot, int textLength, int recordIndex, int reserved, std::string_view text);
  // Both give false when the bookmark block could not be written
  // (LastWriteError says why). The table is written and
  // loaded whole under a lock on its bytes: a reader loading it while the
  // writer saves it gets the old table or the new one.
  bool SaveBookmarks();
  void LoadBookmarks();
  bool Close();
  // Reads the stored bookmark table where Open leaves it unread (a legacy
  // book opened read-only), without changing the file.
  void LoadStoredBookmarks();
  // True when the open book has a bookmark block to keep bookmarks in.
  bool HasBookmarkBlock() const { return iOpen && iBookmarkOffset >= 0; }
  // Where the bookmark block (kBookmarkBlockSize bytes) lies in the file;
  // -1 when there is none.
  int64_t BookmarkBlockAt() const { return HasBookmarkBlock() ? iBookmarkOffset : -1; }
  // True when the file system offered no locks (ENOLCK) and the book was
  // opened without them: a second writer is not kept out, and a reader may
  // meet a bookmark table half written. Callers may warn of it.
  bool OpenedWithoutLock() const { return iOpen && iWithoutLock; }
  // Why the last Open failed (kNone after a successful one).
  const OpenFailureInfo& LastOpenFailure() const { return iOpenFailure; }
  // errno of the last failed bookmark write, 0 when none failed.
  int LastWriteError() const { return iWriteError; }

  // Writes the page for record index in the typeface and size options give
  // (see record_render.cpp). foundPos and foundLength of -1 mean no hit to
  // mark.
  void RenderRecord(ByteSink& sink, const RenderOptions& options, int index, int foundPos,
                    int foundLength);

  // Search from (record, pos); see search.cpp.
  int Search(int mode, std::string_view term, int& record, int& pos, bool wholeWord,
             bool sameRecordOnly);
  int FindMatch(const SearchQuery& query, int& record, int& pos);
  // The same walks, ending before record endRecord instead of the book's end
  // (then with kSearchNone and record at endRecord), and stopped with
  // kSearchCancelled when watch (if given) says so. Only a walk that reaches
  // the book's end loads again the record that was current before it; one
  // that ends earlier leaves the last record it read. Search and FindMatch
  // are these with the book's end and no watch.
  int SearchUpTo(int mode, std::string_view term, int& record, int& pos, bool wholeWord,
                 bool sameRecordOnly, int endRecord, SearchWatch* watch);
  int FindMatchUpTo(const SearchQuery& query, int& record, int& pos, int endRecord,
                    SearchWatch* watch);
  // Splits the records from first to the book's end into at most parts
  // ranges for searching them side by side, and returns where each starts
  // (first is the first). In a version 2 book every later range starts with
  // the first record whose entry opens a new subject block, so that no
  // subject block is decoded for two ranges; the ranges are of about the
  // same number of records. Reads only the subject index (a few values per
  // range). Empty when first is not a record of the book.
  std::vector<int> SplitForSearch(int first, int parts) const;

  // The records the searches since the last call found damaged (their entry
  // or text could not be read whole), in index order, each once; clears the
  // list. A record is taken as found damaged when a search read the part of
  // it that it searches (subjects only: the subject) and that part told of
  // damage.
  std::vector<int> TakeDamagedRecords();

  // Reads every block of the book and every record, and gives what is
  // damaged: each block that does not decode whole (with the subjects or
  // records it holds), then each record found damaged that no such block
  // holds. A legacy book has no blocks: its damaged records. An allocation
  // that fails ends the check with what was found.
  struct DamagedPart {
    enum class Kind { kSubjectBlock, kRecordBlock, kRecord };
    Kind kind = Kind::kRecord;
    int number = 0;             // the block's, or the record's
    int first = -1, last = -1;  // the subjects or records it holds; -1: none
  };
  std::vector<DamagedPart> CheckBook();

  // Writes the whole book as tab-separated tagged text; returns the number of
  // subjects written. With report, also counts the records that could not be
  // read whole and the entries the text form cannot carry.
  int WriteTabText(ByteSink& out, ProgressSink* bar);
  int WriteTabText(ByteSink& out, ProgressSink* bar, struct TabTextReport* report);

  // Read-only views of the state the desktop and qlbook show.
  bool IsOpen() const { return iOpen; }
  bool IsReadOnly() const { return iReadOnly; }
  int GetVersion() const { return iVersion; }
  int GetSorted() const { return iSorted; }
  int GetLegacyVersion() const;  // 1, 2 or 3 while a legacy book is open, else 0
  int CurrentRecord() const { return iCurrentRecord; }
  const ReaderStats& Stats() const { return iStats; }
  // True when the current record could not be read whole (its entry or tail
  // runs off the end of its stream, or its bytes are not in the file): the
  // text is what could be read.
  bool CurrentRecordDamaged() const { return iRecordDamaged; }
  // Where the current record's entry and text lie in the book.
  const EntryExtent& CurrentRecordExtent() const { return iRecordExtent; }
  // When the text of index is stored once for every record that has it
  // (one piece of a version 2002 book's record stream), where it lies: two
  // records with the same place have the same text. False otherwise.
  bool SharedTextPlace(int index, int64_t& offset, int64_t& length);
  std::string_view CurrentRecordText() const {
    return std::string_view(reinterpret_cast<const char*>(iRecordText.data()), iRecordLength);
  }

 private:
  // Loads the index window holding index; false when it cannot be read.
  bool WindowIndex(int index);
  // Makes block the cached subject block: its coded bytes read, the block
  // decoded only as far as SubjectBytesTo asks, and the spill-over only
  // once an entry runs on past the block.
  bool LoadSubjectBlock(int block);
  // Decodes the cached subject block on past upto bytes (or to its end) and
  // returns iSubjectBlockFill, the bytes there are so far: from upto at the
  // block's size on, the spill-over's too.
  size_t SubjectBytesTo(size_t upto);
  // Whether SubjectBytesTo has no more to give: the block decoded to its
  // end and its spill-over read, where it has one.
  bool SubjectBytesAllThere() const;
  // Whether the cached subject block is whole (see DecodeSectionBlock),
  // told once from as far as it was decoded by a scan of the rest.
  bool SubjectBlockWhole();
  // iSubjectDamageSeen, with the verdict of a subject block the entry being
  // read touched taken in.
  bool SubjectDamageSeen();
  // Makes block the cached record block, its coded bytes read and decoded
  // only as far as DecodeRecordBlockTo asks: a record needs the block up to
  // its tail's end, and damage past that does not touch it.
  bool LoadRecordBlock(int block);
  // Decodes the cached record block on past upto bytes (or to its end), and
  // sets iRecordBlockFill.
  void DecodeRecordBlockTo(size_t upto);
  // Whether the cached record block is whole, told as SubjectBlockWhole.
  bool RecordBlockWhole();
  // For the sorted search between lo and hi: the subject of the first entry
  // that starts in the subject block holding mid's entry, decoded from as
  // little of that block as holds it. mid becomes that entry, which lies
  // strictly between lo and hi. False (nothing changed) when the block is
  // the loaded one or the entry cannot be told that cheaply: the search then
  // reads mid as ever.
  bool PeekFirstSubjectOfBlock(int lo, int hi, int& mid, std::string& subject);
  // The parsed SubjectEntry of index, read on into the following block(s)
  // as far as the entry runs.
  struct SubjectEntryParts {
    int32_t tailOffset = -1;  // -1: the record has no tail
    std::string subject;
    std::string head;
    bool damaged = false;  // the entry could not be read to its end
    int64_t start = -1;    // the entry's place in the subject stream
    int64_t end = -1;      // just past its head, -1 until that is read
  };
  // Parses the entry of index into iEntry and returns its parts (all empty
  // when the entry cannot be read). The last entry parsed is kept: search
  // asks for a record's subject and then for its head and tail.
  const SubjectEntryParts& ReadSubjectEntry(int index, bool wantHead);
  // Appends the subject stream's bytes from (block, pos) up to the next zero
  // byte (which is passed over) or the end of the stream, moving into the
  // following blocks as the bytes run on. False when no zero byte ended it.
  bool ReadEntryString(int& block, size_t& pos, std::string& out);
  // The subject of index, from the entry cache or the legacy file (then in
  // scratch); valid until the next read of the book. damaged tells that it
  // could not be read whole.
  std::string_view PeekSubject(int index, std::string& scratch, bool& damaged);
  // Keeps record in the list TakeDamagedRecords gives.
  void NoteDamaged(int record);
  // The checks of an entry read to its end at (block, pos): a head as long
  // as the tail flag says, ending where the next entry starts (the last
  // where the stream ends, when that block is loaded).
  // next is NextEntryStart(index).
  bool EntryEndsWhereIndexSays(int index, const SubjectEntryParts& parts, int block, size_t pos,
                               int64_t next);
  // Where the entry after index starts; -1 for the last entry, or when its
  // index value cannot be read or points outside the subject stream. Read
  // for every entry, so the value in the window is taken here.
  int64_t NextEntryStart(int index) {
    const int64_t at = int64_t{index} + 1 - iIndexWindowStart;
    if (index + 1 >= iSubjectCount || iIndexWindowStart < 0 || at < 0 || at >= iIndexWindowSize)
      return NextEntryStartLoaded(index);
    return EntryStartInStream(iIndexWindow[static_cast<size_t>(at)]);
  }
  int64_t NextEntryStartLoaded(int index);
  int64_t EntryStartInStream(int32_t value) const {
    return value < 0 || value >= int64_t{iSubjectBlockCount} * iSubjectBlockSize ? -1 : value;
  }
  // An entry read on into the next one, which starts at next (its subject,
  // or its head when headRead), is cut before it, as those bytes are the
  // next entry's: exports then never write the same bytes for two entries.
  // True when it was cut (parts.end is then next).
  bool KeepBeforeNextEntry(SubjectEntryParts& parts, bool headRead, int64_t next) {
    if (next <= parts.start) return false;
    // What was read: flags, the tail offset if any, subject, zero, head.
    const int64_t readEnd = parts.start + 1 + (parts.tailOffset >= 0 ? 4 : 0) +
                            static_cast<int64_t>(parts.subject.size()) +
                            (headRead ? 1 + static_cast<int64_t>(parts.head.size()) : 0);
    return readEnd >= next && CutBeforeNextEntry(parts, next);
  }
  bool CutBeforeNextEntry(SubjectEntryParts& parts, int64_t next);
  // The tail offset (-1: none) of the entry starting at start in the subject
  // stream, read from the loaded subject block; false when it is not there.
  bool PeekTailOffset(int64_t start, int64_t& tail);
  void ReleaseBuffers();
  void ReadBookmarkTable() const;
  void TakePendingBookmarks() const {
    if (iBookmarksPending) ReadBookmarkTable();
  }
  OpenResult OpenVersion2();
  // Reads a section header and its block table at offset; false when they
  // do not fit the file.
  bool ReadSection(int64_t offset, int& blockSize, int& blockCount,
                   std::vector<BlockTableEntry>& table, int& dataOffset, int64_t& sectionEnd);
  // pread/pwrite that carry on after short transfers; ReadFile returns the
  // bytes read (fewer at the end of the file).
  size_t ReadFile(int64_t offset, uint8_t* bytes, size_t count) const;
  // The same read of the book's parts that never change once it is written
  // (header, chunk headers, section tables, subject index; never the
  // bookmark block), through a few pages kept from earlier reads: the many
  // small reads of a lookup become a few.
  size_t ReadFixed(int64_t offset, uint8_t* bytes, size_t count);
  bool WriteFile(int64_t offset, const uint8_t* bytes, size_t count);
  // The descriptor of the open book, the legacy file's for a legacy book.
  int BookFile() const;

  bool iReadOnly = false;
  int iSorted = 0;
  std::unique_ptr<LegacyBookFile> iLegacy;
  std::unique_ptr<UnicodeBookFile> iUnicode;
  std::shared_ptr<const SubjectOrder> iSubjectOrder;
  int FindInSubjectOrder(int mode, std::string_view key);
  OpenResult OpenUnicode();
  // Takes in the unicode file's block counts.
  void UnicodeStats();
  bool BeginsWith(std::string_view subject, std::string_view key) const;
  int iFile = -1;  // descriptor of the open version 2 book
  int iVersion = 0;
  int iSubjectCount = 0;
  int64_t iFileSize = 0;
  int iSubjectIndexOffset = 0;
  int iSubjectDataOffset = 0;
  int iRecordDataOffset = 0;
  int iBookmarkOffset = 0;
  // A version 2 book's table is read when first asked for: a lookup in many
  // books reads none of theirs.
  mutable BookmarkEntry iBookmarks[kBookmarkSlots];
  mutable bool iBookmarksPending = false;
  int iIndexWindowStart = -1;
  int iIndexWindowSize = kIndexWindowSize;
  std::vector<int32_t> iIndexWindow;
  int iSubjectBlockSize = 0;
  int iSubjectBlockCount = 0;
  std::vector<BlockTableEntry> iSubjectBlockTable;
  int iSubjectBlockCached = -1;
  std::vector<uint8_t> iSubjectBlockBuffer;
  size_t iSubjectBlockFill = 0;  // valid bytes in iSubjectBlockBuffer
  bool iSubjectBlockWhole = false;
  bool iSubjectVerdictKnown = false;
  UnitProgress iSubjectProgress;
  size_t iSubjectCodedLength = 0;  // the block's coded bytes, in iCompressedBuffer
  size_t iSubjectSpillLength = 0;
  bool iSubjectSpillRead = false;
  // Set when the entry being read touched bytes of a subject block that are
  // not sound.
  bool iSubjectDamageSeen = false;
  // The entry being read touched the cached subject block, whose verdict is
  // taken in when asked for or when another block is loaded.
  bool iSubjectTouched = false;
  int iRecordBlockSize = 0;
  int iRecordBlockCount = 0;
  std::vector<BlockTableEntry> iRecordBlockTable;
  int iRecordBlockCached = -1;
  std::vector<uint8_t> iRecordBlockBuffer;
  size_t iRecordBlockFill = 0;  // bytes decoded so far
  bool iRecordBlockWhole = false;
  bool iRecordVerdictKnown = false;
  std::vector<uint8_t> iRecordCoded;  // the cached record block's coded bytes
  size_t iRecordCodedLength = 0;
  UnitProgress iRecordProgress;
  std::vector<uint8_t> iCompressedBuffer;
  // The last entry ReadSubjectEntry parsed. An entry read without its head
  // keeps where the head starts, to go on from there while that block is
  // still the cached one.
  struct EntryCache {
    int index = -1;  // -1: nothing cached
    bool hasHead = false;
    int headBlock = -1;
    size_t headPos = 0;
    SubjectEntryParts parts;
  };
  EntryCache iEntry;
  int iCurrentRecord = -1;
  std::vector<uint8_t> iRecordText;  // zero-terminated
  int iRecordLength = 0;
  bool iRecordDamaged = false;
  EntryExtent iRecordExtent;
  bool iIsVersion2 = false;
  bool iOpen = false;
  ReaderStats iStats;
  struct FixedPage {
    int64_t offset = -1;  // -1: empty
    size_t fill = 0;
    uint64_t used = 0;
    std::unique_ptr<uint8_t[]> bytes;
  };
  static constexpr size_t kFixedPageSize = 4096;
  static constexpr int kFixedPages = 4;
  FixedPage iFixedPages[kFixedPages];
  uint64_t iFixedUse = 0;
  OpenFailureInfo iOpenFailure;
  bool iWithoutLock = false;
  // Search: how far the link test has walked through which record's text,
  // and whether FindMatch's further terms occur in the record of its last hit.
  int iLinkScanRecord = -1;
  LinkScanState iLinkScan;
  struct TermInRecord {
    int record = -1;
    std::string term;
    int mode = 0;
    bool wholeWord = false;
    bool occurs = false;
  };
  TermInRecord iTermInRecord[2];
  std::vector<int> iDamageSeen;  // see NoteDamaged
  uint64_t iSearchWalks = 0;
  int iWriteError = 0;
};

}  // namespace ql
