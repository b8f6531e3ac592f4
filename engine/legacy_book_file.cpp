// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
#include "legacy_book_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <limits>
#include <new>

#include "book_format.h"
#include "byte_order.h"
#include "codecs.h"
#include "same_file.h"

namespace ql {

namespace {

constexpr int kCodingPlain = 1;
constexpr int kLegacyVersionMax = 3;  // 4 and above are not supported
constexpr size_t kHeadPlainMax = 250;
constexpr size_t kHeadDecodedMax = kFirstLineOutputLimit + 1;  // 201
constexpr int kNibbleOutputPerByte = 3;
constexpr char kLineBreakMark = '@';

}  // namespace

LegacyBookFile::~LegacyBookFile() {
  if (iFile >= 0) ::close(iFile);
}

bool LegacyBookFile::ReadAt(int64_t offset, uint8_t* bytes, size_t count) const {
  return offset >= 0 && ReadFileAt(iFile, offset, bytes, count) == count;
}

bool LegacyBookFile::WriteAt(int64_t offset, const uint8_t* bytes, size_t count) {
  if (offset < 0) return false;
  size_t done = 0;
  while (done < count) {
    ssize_t n = ::pwrite(iFile, bytes + done, count - done,
                         static_cast<off_t>(offset) + static_cast<off_t>(done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  if (offset + static_cast<int64_t>(count) > iFileSize)
    iFileSize = offset + static_cast<int64_t>(count);
  return true;
}

bool LegacyBookFile::OpenView(const LegacyBookFile& owner) {
  if (owner.iFile < 0 || iFile >= 0) return false;
  try {
    iHeader = owner.iHeader;
  } catch (const std::bad_alloc&) {
    return false;
  }
  // The same file opened anew: no lock of owner's is shared or dropped.
  iFile = OpenSameFileReadOnly(owner.iFile);
  if (iFile < 0) return false;
  iFileSize = owner.iFileSize;
  iHeaderSize = owner.iHeaderSize;
  iLegacyVersion = owner.iLegacyVersion;
  iSubjectCount = owner.iSubjectCount;
  iHasBookmarkBlock = false;
  return true;
}

int LegacyBookFile::Open(int fd, bool readOnly) {
  iFile = fd;
  struct stat st {};
  if (::fstat(iFile, &st) != 0) return -1;
  iFileSize = st.st_size;

  uint8_t word[4];
  if (!ReadAt(kLegacyOffsetHeaderSize, word, sizeof word)) return -1;
  const int32_t headerSize = ReadLE32s(word);
  // The header holds at least the fixed words; it can never be larger than the file.
  if (headerSize < kLegacyOffsetTable || headerSize > iFileSize) return -1;
  try {
    iHeader.assign(static_cast<size_t>(headerSize), 0);
  } catch (const std::bad_alloc&) {
    return -1;
  }
  if (!ReadAt(0, iHeader.data(), iHeader.size())) return -1;
  iHeaderSize = headerSize;
  const int32_t count = ReadLE32s(iHeader.data() + kLegacyOffsetSubjectCount);
  if (count < 0 || (int64_t{count} * 4 + kLegacyOffsetTable) > headerSize) return -1;
  iSubjectCount = count;

  // The version word carries two marks: +1000 once the book was opened for
  // writing (88 reserved bytes appended), +500 once it carries a bookmark
  // block. Work out the plain version first, so that a book we refuse is
  // never changed.
  const int32_t word16 = ReadLE32s(iHeader.data() + kHeaderOffsetVersion);
  int32_t v = word16;
  const bool opened = v > kLegacyOpenedMark;
  if (opened) v -= kLegacyOpenedMark;
  const bool hasBookmarks = v > kLegacyBookmarkMark;
  if (hasBookmarks) v -= kLegacyBookmarkMark;
  if (v > kLegacyVersionMax || v < kCodingPlain) return -2;
  iLegacyVersion = v;

  if (!readOnly && (!opened || !hasBookmarks)) {
    // Append first, mark afterwards: a failed append leaves the word as it
    // was, and the bytes it did write are cut off again.
    const int64_t originalSize = iFileSize;
    auto undo = [&] {
      const int saved = errno;
      iMarkFailed = true;
      if (::ftruncate(iFile, static_cast<off_t>(originalSize)) == 0) iFileSize = originalSize;
      errno = saved;
      return -1;
    };
    std::vector<uint8_t> zeros(kBookmarkBlockSize, 0);
    if (!opened && !WriteAt(iFileSize, zeros.data(), kLegacyReservedTail)) return undo();
    if (!hasBookmarks && !WriteAt(iFileSize, zeros.data(), kBookmarkBlockSize)) return undo();
    const int32_t marked = v + kLegacyOpenedMark + kLegacyBookmarkMark;
    WriteLE32(word, static_cast<uint32_t>(marked));
    if (!WriteAt(kHeaderOffsetVersion, word, sizeof word)) return undo();
    WriteLE32(iHeader.data() + kHeaderOffsetVersion, static_cast<uint32_t>(marked));
    if (!hasBookmarks) iHasBookmarkBlock = true;
  }
  if (hasBookmarks) {
    const int64_t block = iFileSize - kBookmarkBlockSize;
    iHasBookmarkBlock = block >= 0 && block >= DataEnd();
  }
  return iSubjectCount;
}

int64_t LegacyBookFile::DataEnd() const {
  int64_t end = iHeaderSize;
  for (int i = 0; i < iSubjectCount; ++i) {
    size_t at = 0, length = 0;
    int64_t pos = 0;
    if (!Entry(i, at, length, pos)) continue;
    uint8_t word[4];
    // A record that starts past the end, or runs past it, leaves no room.
    if (pos < 0 || pos > iFileSize - 4 || !ReadAt(pos, word, sizeof word))
      return std::numeric_limits<int64_t>::max();
    end = std::max(end, pos + 4 + std::max<int64_t>(ReadLE32s(word), 0));
  }
  return end;
}

bool LegacyBookFile::Entry(int index, size_t& subjectAt, size_t& subjectLength,
                           int64_t& recordPos) const {
  if (index < 0 || index >= iSubjectCount) return false;
  const size_t header = iHeader.size();
  int32_t entry = 0;
  if (!ReadLE32At(iHeader, kLegacyOffsetTable + 4 * static_cast<size_t>(index), entry))
    return false;
  int32_t length = 0;
  if (entry < 0 || !ReadLE32At(iHeader, static_cast<size_t>(entry), length) || length < 0)
    return false;
  const size_t at = static_cast<size_t>(entry) + 4;
  if (static_cast<size_t>(length) > header - at) return false;
  int32_t pos = 0;
  if (!ReadLE32At(iHeader, at + static_cast<size_t>(length), pos)) return false;
  subjectAt = at;
  subjectLength = static_cast<size_t>(length);
  recordPos = pos;
  return true;
}

bool LegacyBookFile::RecordLength(int64_t recordPos, int64_t& codedLength) const {
  uint8_t word[4];
  if (recordPos < 0 || recordPos > iFileSize - 4 || !ReadAt(recordPos, word, sizeof word))
    return false;
  const int32_t n = ReadLE32s(word);
  if (n < 0) return false;
  // A short file gives what is there.
  codedLength = std::min<int64_t>(n, iFileSize - recordPos - 4);
  return true;
}

int64_t LegacyBookFile::NextRecordStart(int index) const {
  size_t at = 0, length = 0;
  int64_t next = -1;
  if (!Entry(index + 1, at, length, next)) return -1;
  return next;
}

bool LegacyBookFile::Extent(int index, int64_t& entryStart, int64_t& entryEnd, int64_t& recordStart,
                            int64_t& recordEnd) const {
  entryStart = entryEnd = recordStart = recordEnd = -1;
  size_t at = 0, length = 0;
  int64_t pos = 0;
  if (!Entry(index, at, length, pos)) return false;
  entryStart = static_cast<int64_t>(at) - 4;
  entryEnd = static_cast<int64_t>(at + length) + 4;
  uint8_t word[4];
  if (pos >= 0 && pos <= iFileSize - 4 && ReadAt(pos, word, sizeof word)) {
    recordStart = pos;
    recordEnd = pos + 4 + std::max<int64_t>(ReadLE32s(word), 0);
    // As ReadRecord reads it: a record that runs on into the next one ends there.
    const int64_t next = NextRecordStart(index);
    if (next > pos && recordEnd > next) recordEnd = next;
  }
  return true;
}

bool LegacyBookFile::SubjectWhole(int index) const {
  size_t at = 0, length = 0;
  int64_t pos = 0;
  if (!Entry(index, at, length, pos)) return false;
  int32_t next = 0;
  if (index + 1 >= iSubjectCount ||
      !ReadLE32At(iHeader, kLegacyOffsetTable + 4 * static_cast<size_t>(index + 1), next))
    return true;
  return static_cast<int64_t>(at + length) + 4 == next;
}

std::string LegacyBookFile::GetSubject(int index) const {
  size_t at = 0, length = 0;
  int64_t pos = 0;
  if (!Entry(index, at, length, pos)) return {};
  return std::string(reinterpret_cast<const char*>(iHeader.data() + at), length);
}

std::string LegacyBookFile::GetRecordHead(int index) {
  size_t at = 0, length = 0;
  int64_t pos = 0, coded = 0;
  if (!Entry(index, at, length, pos) || !RecordLength(pos, coded)) return {};
  uint8_t raw[kHeadPlainMax];
  const size_t n = static_cast<size_t>(std::min<int64_t>(coded, kHeadPlainMax));
  if (!ReadAt(pos + 4, raw, n)) return {};
  std::string line;
  if (iLegacyVersion == kCodingPlain) {
    line.assign(reinterpret_cast<const char*>(raw), n);
  } else {
    const size_t m =
        DecodeNibbleText(std::span<const uint8_t>(raw, n),
                         std::span<uint8_t>(iFirstLine, kHeadDecodedMax), NibbleForm::FirstLine);
    line.assign(reinterpret_cast<const char*>(iFirstLine), m);
  }
  // The line ends at its first line break, and a zero byte ends any text.
  const char stops[] = {kLineBreakMark, '\0'};
  const size_t cut = line.find_first_of(std::string_view(stops, sizeof stops));
  if (cut != std::string::npos) line.resize(cut);
  return line;
}

bool LegacyBookFile::ReadRecord(int index, std::vector<uint8_t>& text, bool* damaged) {
  text.clear();
  size_t at = 0, length = 0;
  int64_t pos = 0, coded = 0;
  bool whole = false;
  try {
    if (!Entry(index, at, length, pos) || !RecordLength(pos, coded)) {
      text.push_back(0);
      if (damaged) *damaged = true;
      return true;
    }
    uint8_t word[4];
    // RecordLength cuts a record that runs past the end of the file.
    whole = ReadAt(pos, word, sizeof word) && ReadLE32s(word) == coded && SubjectWhole(index);
    // Records lie back to back: one that runs on into the next one is cut
    // before it, as those bytes are the next record's.
    const int64_t next = NextRecordStart(index);
    if (next > pos && pos + 4 + coded > next) {
      coded = std::max<int64_t>(next - pos - 4, 0);
      whole = false;
    }
    if (next >= 0 && pos + 4 + coded != next) whole = false;
    std::vector<uint8_t> raw(static_cast<size_t>(coded));
    if (!ReadAt(pos + 4, raw.data(), raw.size())) {
      raw.clear();
      whole = false;
    }
    if (iLegacyVersion == kCodingPlain) {
      text = std::move(raw);
    } else {
      text.assign(raw.size() * kNibbleOutputPerByte, 0);
      text.resize(DecodeNibbleText(raw, text, NibbleForm::Record));
    }
    text.push_back(0);
  } catch (const std::bad_alloc&) {
    text.clear();
    text.shrink_to_fit();
    return false;
  }
  if (damaged) *damaged = !whole;
  return true;
}

}  // namespace ql
