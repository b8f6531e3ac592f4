// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// LegacyBookFile: the open file of a book in the legacy format (version word
// below 2000), held by a BookReader while such a book is open. It keeps the
// whole legacy header (the offset table and every subject entry) in memory
// and reads records from the file on demand.
//
// Bounds contract: the header size, the offset table, subject lengths,
// record positions and coded lengths are all checked against the header and
// the file before use; a damaged entry reads as empty text.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace ql {

class LegacyBookFile {
 public:
  LegacyBookFile() = default;
  ~LegacyBookFile();
  LegacyBookFile(const LegacyBookFile&) = delete;
  LegacyBookFile& operator=(const LegacyBookFile&) = delete;

  // Takes over fd (already opened, for writing in the writer role, with the
  // version word locked against readers; see book_lock.h). When
  // writable, marks the book as opened (version word +1000, 88 reserved zero
  // bytes) and gives it a bookmark block (+500, 4743 zero bytes) the first
  // time; an append that fails is cut off again, so the file is as it was
  // (errno says why). Returns the subject count, -1 when the book cannot be
  // read or marked, -2 when its version is not supported.
  int Open(int fd, bool readOnly);
  // A read-only copy of owner's open book on a duplicate of its descriptor,
  // for a reader on another thread; never marks or writes the file. False
  // when owner has nothing open or the descriptor cannot be duplicated.
  bool OpenView(const LegacyBookFile& owner);
  // True when the book carries a bookmark block that really is its own: the
  // last 4743 bytes of the file, marked (+500) and behind the header and
  // every record. A block that is claimed but overlaps the text is not used,
  // so writing bookmarks never overwrites a record.
  bool HasBookmarkBlock() const { return iHasBookmarkBlock; }
  // True when Open failed because the marks could not be written.
  bool MarkFailed() const { return iMarkFailed; }

  int LegacyVersion() const { return iLegacyVersion; }
  int Descriptor() const { return iFile; }
  int64_t FileSize() const { return iFileSize; }
  int SubjectCount() const { return iSubjectCount; }
  int HeaderSize() const { return iHeaderSize; }

  std::string GetSubject(int index) const;
  // The record's first line: at most 250 plain bytes or 201 decoded bytes,
  // cut before the first "@".
  std::string GetRecordHead(int index);
  // The whole decoded record (line breaks as TAB 8 for nibble-coded books),
  // followed by one zero byte. False when memory ran out. damaged, when
  // given, tells whether the record could not be read whole (its entry or
  // its bytes are not in the file).
  // A record is damaged also when its entry or its bytes do not end where
  // the next subject's start: entries and records lie back to back.
  bool ReadRecord(int index, std::vector<uint8_t>& text, bool* damaged = nullptr);
  // True when the entry of index can be read and ends where the next one starts.
  bool SubjectWhole(int index) const;

  // Where the entry of index lies in the header and its record in the file
  // (record ends as its length word says); false, with all -1, when the
  // entry cannot be read.
  bool Extent(int index, int64_t& entryStart, int64_t& entryEnd, int64_t& recordStart,
              int64_t& recordEnd) const;

  bool ReadAt(int64_t offset, uint8_t* bytes, size_t count) const;
  bool WriteAt(int64_t offset, const uint8_t* bytes, size_t count);

 private:
  // The subject bytes of index inside iHeader, and the record position.
  bool Entry(int index, size_t& subjectAt, size_t& subjectLength, int64_t& recordPos) const;
  // Reads the coded length of the record at recordPos; false when the record
  // does not lie inside the file.
  bool RecordLength(int64_t recordPos, int64_t& codedLength) const;
  // Where the record after index starts; -1 when there is none or its entry
  // cannot be read.
  int64_t NextRecordStart(int index) const;
  // Where the header and the records end: the bookmark block must not start
  // before this.
  int64_t DataEnd() const;

  int iFile = -1;
  int64_t iFileSize = 0;
  int iHeaderSize = 0;
  std::vector<uint8_t> iHeader;
  int iLegacyVersion = 0;
  int iSubjectCount = 0;
  bool iHasBookmarkBlock = false;
  bool iMarkFailed = false;
  uint8_t iFirstLine[252] = {};
};

}  // namespace ql
