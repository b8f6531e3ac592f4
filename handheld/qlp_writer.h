// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// QLPWriter: turns one book into one handheld database in a single run. It
// reads the book only through the BookSource operations below, which a reader
// class (ExportBookReader) implements; the run itself, the markup conversion
// and the file layout live here.
//
// The run writes into a temporary file beside the target and puts it in place
// only when everything has been written, so a failed run never leaves a file
// that looks complete (and never costs a file that stood there before).
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "failure.h"
#include "messages.h"
#include "progress.h"

namespace ql {

// Results of ExportToHandheld; messages name an unknown one by its number.
enum class HandheldResult : int {
  kOk = 0,
  kMissingArgument = 1,  // no path or no name
  kCannotCreate = 2,
  kWriteFailed = 4,
  kNoMemory = 6,      // a buffer could not be allocated (after its message)
  kSourceFailed = 8,  // the book could not be read through the run
  kTooLarge = 16,     // the book does not fit the data header addressing
};

// How a run failed: the code, the errno of the create or write that failed
// (0 when none did) and the database's path.
using HandheldFailure = Failure<HandheldResult>;

// What a result of ExportToHandheld means, for messages, in the user's
// language; for a failure, a file that could not be created or written says
// why.
std::string QLPResultText(HandheldResult code);
std::string QLPResultText(const HandheldFailure& failure);
// The reason for a failed file operation, in the words a message uses
// ("disk full" for ENOSPC).
std::string FileErrorText(int error);

// Results of the BookSource operations that read (OpenSource,
// GetSourceSubject, GetSourceRecord): kOk, or what failed. The numbers are
// the source protocol's.
enum class SourceResult : int {
  kOk = 0,
  kNullBuffer = 1,
  kCannotOpen = 2,
  kShortRead = 3,
  kSeekFailed = 5,
  kNoMemory = 6,
  kNotABook = 9,
  kUnsupported = 10,
  kIndexOutOfRange = 12,
  kNotOpen = 13,
  kRecordTooLong = 15,
  kEntriesOverlap = 16,  // an entry starts inside one before it
  // GetSourceRecord: the record is damaged; the buffer holds what could be read.
  kDamaged = 17,
  // OpenSource: the book holds more text than a handheld database can.
  kTooLarge = 18,
};

// The piece value a source returns once the record text is complete.
inline constexpr int32_t kSourcePieceComplete = 0xFFFF;

// Room the conversion needs beyond its cap: one link expansion is TAB, 17,
// up to 10 digits, '>' and up to 253 bytes of target.
inline constexpr int kLinkTargetMax = 1022;
inline constexpr int kLinkEchoMax = 253;
inline constexpr int kLinkExpansionMax = 2 + 10 + 1 + kLinkEchoMax;  // 266
inline constexpr int kConversionCapMargin = 20;

struct QLPDataHeaderEntry {
  uint16_t location = 0;  // data record << 7 | block within it
  uint16_t offset = 0;    // where the subject's entry starts in that block
};

// A compressed block; its bytes live in the writer's block store.
struct QLPDataBlock {
  uint16_t length = 0;
  size_t data = 0;  // offset of the bytes in the block store
};

class QLPWriter {
 public:
  QLPWriter() = default;
  virtual ~QLPWriter();
  QLPWriter(const QLPWriter&) = delete;
  QLPWriter& operator=(const QLPWriter&) = delete;

  // The BookSource operations (1 to 7 and 10), in this order.
  virtual SourceResult OpenSource(const std::string& path) = 0;
  virtual void CloseSource() = 0;
  virtual int GetSourceSubjectCount() = 0;
  virtual int GetMaxSubjectLength() = 0;
  virtual int GetMaxRecordLength() = 0;
  // Copies subject index, NUL-terminated, into buffer (capacity + 1 bytes).
  virtual SourceResult GetSourceSubject(int index, char* buffer, int capacity) = 0;
  // Copies the record text of subject index, NUL-terminated, into buffer;
  // piece comes back as kSourcePieceComplete once the text is whole.
  virtual SourceResult GetSourceRecord(int index, int32_t& piece, char* buffer, int capacity) = 0;
  // The whole run (WriteQLPTextV2). pdbPath and dbName must be non-empty.
  // progress, when given, is stepped 2n + 2 times.
  virtual HandheldResult ExportToHandheld(const char* pdbPath, const char* dbName,
                                          ProgressSink* progress);
  virtual bool IsSourceOpen() const { return iSourceOpen; }
  virtual int GetSourceSorted() { return 0; }

  // Records of the last run the source could not give (each written as "~"
  // after what could be read), and up to five of their subjects.
  int UnreadableRecordCount() const { return iUnreadableCount; }
  const std::vector<std::string>& UnreadableSubjects() const { return iUnreadableSubjects; }
  // How the last run ended (code HandheldResult::kOk when it did not fail), with the
  // errno of the create or write that failed it.
  const HandheldFailure& LastFailure() const { return iLastFailure; }

  // Where allocation messages go; none means they are dropped.
  void SetMessageSink(MessageSink* messages) { iMessages = messages; }
  // The Unix time used for the two dates of the database header; without it
  // the run uses the current time.
  void SetExportTime(int64_t unixTime) {
    iExportTime = unixTime;
    iExportTimeSet = true;
  }
  // Test seam: allocations of the run above this many bytes fail as if memory
  // were exhausted (0 = no limit).
  void SetAllocationLimit(size_t bytes) { iAllocationLimit = bytes; }

  // The markup conversion of one record text for the handheld: tags it keeps,
  // tags it turns into line feeds, links resolved to subject indices. Writes
  // into out (at least capacity + kLinkExpansionMax bytes) and returns the
  // length; stops once capacity - 20 bytes have been written.
  size_t WriteQLPTextV2ClearTags(const uint8_t* text, size_t length, int capacity, uint8_t* out);

 protected:
  std::string iPath;           // the book path given to OpenSource
  std::FILE* iFile = nullptr;  // the open book file, owned by the source
  bool iSourceOpen = false;

  // Closes iFile if it is open (sources call it from CloseSource).
  void CloseSourceFile();

  // The subjects of the run, back to back in one buffer without NULs
  // (subject i ends at iSubjectEnds[i]), and their sorted index for link
  // resolution. A run sets them up; SetSubjects does it for subclasses and
  // tests. Comparisons fold A-Z as they go, so no folded copies are kept.
  std::vector<char> iSubjectBytes;
  std::vector<uint32_t> iSubjectEnds;
  std::vector<int32_t> iSortedSubjectIndex;
  std::string_view SubjectAt(size_t index) const;
  // Sets up the subjects and sorts their index; false when memory ran out.
  bool SetSubjects(const std::vector<std::string>& subjects);
  void SortSubjectIndex();
  int FindLinkTarget(const uint8_t* target, size_t length) const;

 private:
  HandheldResult WriteQLPTextV2(const char* pdbPath, const char* dbName, ProgressSink* progress);
  HandheldResult WriteQLPTextV2FinalizeWrite(std::FILE* out);
  bool WriteOut(std::FILE* out, const void* data, size_t size);
  // Puts subject index's bytes after those before it; false when the
  // buffer cannot grow.
  bool StoreSubject(size_t index, std::string_view subject);
  HandheldResult CutBlocks(size_t& pending, size_t& consumed, bool lastSubject,
                           size_t subjectIndex);
  bool Allocate(std::unique_ptr<uint8_t[]>& buffer, size_t size, std::string_view what,
                std::string_view where = "WriteQLPTextV2");
  void Message(std::string_view text);
  void Step();
  void FreeRun();

  std::string iPdbPath;
  std::string iDbName;
  int iUnreadableCount = 0;
  int iWriteError = 0;
  HandheldFailure iLastFailure;
  std::vector<std::string> iUnreadableSubjects;
  MessageSink* iMessages = nullptr;
  ProgressSink* iProgress = nullptr;
  int64_t iExportTime = 0;
  bool iExportTimeSet = false;
  size_t iAllocationLimit = 0;

  std::vector<QLPDataHeaderEntry> iQLPDataHeaderArray;
  std::vector<QLPDataBlock> iQLPDataBlockArray;
  std::vector<uint8_t> iBlockStore;
  int iDataRecordCount = 0;
  int iBlockInRecord = 0;
  int iBytesInRecord = 0;
  std::unique_ptr<uint8_t[]> iUnpacked;  // 'unpackeddata'
  std::unique_ptr<uint8_t[]> iData;      // 'data', compressor output
};

}  // namespace ql
