// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// BookBuilder: one import or upgrade in progress. It reads tagged or
// tab-separated text entry by entry, turns each text into stored markup,
// keeps the sorted check, and appends every entry to temporary streams
// (subject index, subject stream, record stream); WriteBook then turns those
// streams into a version 2 book. Only the entry being read is held in memory,
// so inputs larger than memory import.
#pragma once

#include <cstdint>
#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "compress_block.h"
#include "failure.h"
#include "progress.h"

namespace ql {

// Results of the reading functions, WriteSection and WriteBook.
enum class BuildResult : int {
  kOk = 0,
  kNoEntry = 1,          // Read*Entry: no entry was added (not a failure)
  kNoMemory = 5,         // WriteSection: block buffers not had
  kCompressFailed = 10,  // CompressBlock had no working memory
  kIoFailed = 20,        // a temporary, input or output file failed
  kTooLarge = 21,        // the streams outgrew a book's 32-bit offsets
};

// A failure of the builder: the code, the errno of a file that failed
// (BuildResult::kIoFailed; 0 when the system left none) and the book's path when
// WriteBookFile was writing one.
using BuildFailure = Failure<BuildResult>;

// Text of a result code, for messages, in the user's language.
std::string BuildResultText(BuildResult code);

// Turns "<" + tag at the start of text into its code; 0 when text does not
// begin with a tag of the vocabulary. length receives the characters the tag
// takes ("<a>" and "<a:" both take three).
uint8_t MatchImportTag(std::string_view text, size_t& length);

class BookBuilder {
 public:
  BookBuilder();
  ~BookBuilder();
  BookBuilder(const BookBuilder&) = delete;
  BookBuilder& operator=(const BookBuilder&) = delete;

  // False when the temporary files could not be created; nothing else works then.
  bool IsReady() const { return iError == BuildResult::kOk; }
  // The first failure (BuildResult::kIoFailed, BuildResult::kTooLarge), BuildResult::kOk when none.
  BuildResult Error() const { return iError; }
  // The last failure any call returned, with its errno and path (code
  // BuildResult::kOk when none failed yet). Unlike Error() it also holds the
  // failures that leave the builder working (a full disk under WriteBook).
  const BuildFailure& LastFailure() const { return iLastFailure; }

  // Read entries until the input ends; the bar (if any) follows the input
  // offset, or in step mode steps once per entry. 0, or the failure code.
  // A UTF-8 byte-order mark at the start is passed over. Tab-separated text
  // has the line ends its first line has: a first line ending in CR LF reads
  // as CR-ended lines with the character after each CR passed over (so an
  // LF inside a text stays content), one ending in a bare LF or CR reads
  // with that line end.
  BuildResult ImportTaggedText(std::FILE* input, ProgressSink* bar);
  BuildResult ImportTabText(std::FILE* input, ProgressSink* bar, bool stepMode);

  // Read and add one entry: BuildResult::kOk when one was added, BuildResult::kNoEntry when
  // there is none, a failure code when a file failed.
  BuildResult ReadTaggedEntry(std::FILE* input);
  BuildResult ReadTabEntry(std::FILE* input);

  // Adds one entry (stored text). Zero bytes would end a subject or text
  // early in every reader, so they are dropped here.
  BuildResult AddEntry(std::string_view subject, std::string_view text);

  // Writes a version 2002 book (UTF-8 text, zstd blocks, 64-bit offsets,
  // shared texts) instead of a 2001 one. Set before the first entry.
  void SetUnicode(bool unicode);
  bool Unicode() const { return iUnicode; }
  // The zstd level of a version 2002 book's blocks.
  void SetCodingLevel(int level) { iCodingLevel = level; }
  // AddEntry for a text that other entries may have too: entries given the
  // same source (where their raw text lies in the input, and how long it
  // is, after all narrowing) share one stored text in a version 2002
  // book. The text must be what the source turns into, the same each time.
  BuildResult AddSharedEntry(std::string_view subject, std::string_view text, int64_t sourceOffset,
                             int64_t sourceLength);
  // AppendEntryText for a piece of text that other entries may have too,
  // with a source as AddSharedEntry's (in a version 2001 book the same as
  // AppendEntryText).
  BuildResult AppendSharedText(std::string_view text, int64_t sourceOffset, int64_t sourceLength);
  // Texts stored once for several entries so far, and the bytes that saved.
  int64_t SharedTexts() const { return iSharedTexts; }
  int64_t SharedBytes() const { return iSharedBytes; }

  // One entry whose text comes in pieces, so that a large text is never
  // held whole: BeginEntry, AppendEntryText for each piece, EndEntry. No
  // other entry may be added in between. Zero bytes are dropped as in
  // AddEntry.
  BuildResult BeginEntry(std::string_view subject);
  // The most bytes the text of the entry begun may still take: a record's
  // length and the record stream's offsets stay below 2^31.
  int64_t EntryRoom() const;
  // Appends a piece; BuildResult::kTooLarge, with nothing appended and the builder
  // still working, when the piece would pass EntryRoom().
  BuildResult AppendEntryText(std::string_view text);
  BuildResult EndEntry();
  // The bytes of the input read so far.
  int64_t InputOffset() const { return iInputOffset; }

  // Writes the whole book to output (book_writer.cpp): 0 or a failure code.
  BuildResult WriteBook(std::FILE* output);
  // A bar the writing moves, block by block, over the bytes it compresses:
  // the writing is the longest quiet stretch of an import.
  void SetWriteProgress(ProgressSink* bar) { iWriteBar = bar; }
  // Writes the book to path through a temporary file beside it, which
  // replaces path only when complete; 0 or a failure code (LastFailure()
  // tells why).
  BuildResult WriteBookFile(const std::string& path);
  BuildResult WriteSection(std::FILE* stream, std::FILE* section);

  std::string iPreviousSubject;  // the subject before, or the first out of order
  int32_t iSorted = 1;
  int32_t iSubjectLength = 0;
  int32_t iTextLength = 0;
  int32_t iSubjectCount = 0;
  int64_t iSubjectStreamOffset = 0;
  int64_t iRecordStreamOffset = 0;
  std::FILE* iIndexFile = nullptr;
  std::FILE* iSubjectStreamFile = nullptr;
  std::FILE* iRecordStreamFile = nullptr;
  std::FILE* iSubjectSectionFile = nullptr;
  std::FILE* iRecordSectionFile = nullptr;
  // Version 2002: the search filters of the subject blocks before the one
  // the next entry starts in, and that block's filter so far.
  std::FILE* iFilterFile = nullptr;
  std::unique_ptr<class BlockFilterWriter> iFilter;

 private:
  // Fail keeps code as the builder's first failure (nothing works after
  // it); Failed only reports it. Both record errno and the path written.
  BuildResult Fail(BuildResult code);
  BuildResult Failed(BuildResult code);
  bool Put(std::FILE* file, const void* bytes, size_t count);
  // Starts reading input when it is not the one being read.
  void Attach(std::FILE* input);
  int ReadByte();
  void UnreadByte(int c);
  // Having read "<", reads the rest of "<new>": true when it matched; else
  // matched receives the characters taken (all of them at the end of the
  // input) and the first mismatching character is put back.
  bool MatchNewTag(std::string* matched);
  bool InputFailed();
  // Appends input up to the delimiter to out (the delimiter is consumed, not
  // appended); returns the delimiter, or EOF when the input ended first.
  int ReadUntil(char delimiter, std::string& out);

  // The line ends of tab-separated text, taken from its first line.
  enum class LineEnd { kUnknown, kCrLf, kLf, kCr };
  // Reads the rest of the first line into out and learns its line end
  // from it; returns the CR or LF that ended it (left for the caller to
  // pass over), or EOF.
  int ReadFirstLine(std::string& out);

  BuildResult iError = BuildResult::kOk;
  BuildFailure iLastFailure;
  std::string iWritePath;  // the book WriteBookFile is writing
  ProgressSink* iWriteBar = nullptr;
  int64_t iWriteDone = 0;  // stream bytes compressed so far by WriteBook
  LineEnd iLineEnd = LineEnd::kUnknown;
  bool iFirstEntry = true;  // no entry of this input was read yet
  BlockCompressor iCompressor;
  std::FILE* iInput = nullptr;
  int64_t iInputOffset = 0;   // bytes consumed since the import began
  bool iNewTagTaken = false;  // the "<new>" before the next entry is already read
  std::string iSubject;       // working buffers of the current entry
  // Writes an entry's index word, subject entry and the zero ending its
  // tail; the tail's bytes (those past the head) are already written.
  BuildResult WriteEntry(std::string_view subject, std::string_view head, int64_t length);
  // The version 2002 forms: an entry whose text lies in the record stream at
  // textOffset (inline empty), or is inline (textOffset -1).
  using Pieces = std::vector<std::pair<int64_t, int64_t>>;
  BuildResult WriteUnicodeEntry(std::string_view subject, std::string_view inlineText,
                                const Pieces& pieces);
  // Appends text to the record stream as a piece of the entry begun, or
  // the stored piece at (offset, length) when offset is not -1.
  BuildResult AddPiece(std::string_view text, int64_t offset, int64_t length);
  Pieces iPieces;
  BuildResult AddUnicodeEntry(std::string_view subject, std::string_view text, int64_t* stored);
  BuildResult WriteUnicodeBook(std::FILE* output);
  // Adds text (a piece of a text, when more follow) to the search filter of
  // the subject block the next entry starts in; ended marks its end.
  BuildResult FilterText(std::string_view text, bool ended);
  BuildResult WriteUnicodeSection(std::FILE* stream, int32_t blockSize, class ZstdBlockCoder& coder,
                                  std::FILE* section);
  bool iUnicode = false;
  // Level 5 codes WordNet and GCIDE 10 and 4 per cent below the size of
  // their dictd files, on two threads still faster than a version 2001
  // book is written; level 3 leaves GCIDE at its dictd size.
  int iCodingLevel = 5;
  // Where each source's text is stored (offset, length), and whether an
  // entry took it again: SharedTexts counts each such text once.
  struct StoredText {
    std::pair<int64_t, int64_t> piece;
    bool shared = false;
  };
  std::map<std::pair<int64_t, int64_t>, StoredText> iShared;
  // Notes that found, stored before, is taken again for an entry.
  void TakeShared(StoredText& found);
  int64_t iSharedTexts = 0;
  int64_t iSharedBytes = 0;

  std::string iPieceSubject;  // the entry begun by BeginEntry
  std::string iPieceHead;
  int64_t iPieceLength = 0;  // the length of the entry begun's text so far
  std::string iRaw;
  std::string iText;
  char* iLine = nullptr;  // getdelim's buffer, grown by it, freed with free()
  size_t iLineCapacity = 0;
};

}  // namespace ql
