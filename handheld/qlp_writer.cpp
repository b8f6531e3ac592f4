// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
#include "qlp_writer.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstring>
#include <ctime>
#include <new>
#include <stdexcept>

#include "atomic_file.h"
#include "byte_order.h"
#include "handheld_compress.h"
#include "pdb_format.h"
#include "record_markup.h"
#include "text_case.h"
#include "user_texts.h"

namespace ql {

namespace {

constexpr uint8_t kLineFeed = 0x0A;
constexpr uint8_t kSpace = 0x20;
constexpr uint8_t kTextNul = 0;
constexpr char kUnreadableMark = '~';
constexpr size_t kUnreadableNames = 5;

size_t CeilDiv(size_t a, size_t b) {
  return (a + b - 1) / b;
}

}  // namespace

QLPWriter::~QLPWriter() {
  CloseSourceFile();
}

void QLPWriter::CloseSourceFile() {
  if (iFile) {
    std::fclose(iFile);
    iFile = nullptr;
  }
}

void QLPWriter::Message(std::string_view text) {
  if (iMessages) iMessages->ShowMessage(text, kDefaultCaption);
}

void QLPWriter::Step() {
  if (iProgress) iProgress->Step();
}

namespace {

// The message of memory that could not be had for what, in where.
std::string NoMemoryText(std::string_view where, std::string_view what) {
  return Fill(translate("messages", "%1: Cannot Allocate memory - '%2'"), {where, what});
}

}  // namespace

bool QLPWriter::Allocate(std::unique_ptr<uint8_t[]>& buffer, size_t size, std::string_view what,
                         std::string_view where) {
  buffer.reset();
  if (iAllocationLimit == 0 || size <= iAllocationLimit)
    buffer.reset(new (std::nothrow) uint8_t[size == 0 ? 1 : size]);
  if (buffer) return true;
  Message(NoMemoryText(where, what));
  return false;
}

void QLPWriter::FreeRun() {
  iSubjectBytes = {};
  iSubjectEnds = {};
  iSortedSubjectIndex = {};
  iQLPDataHeaderArray = {};
  iQLPDataBlockArray = {};
  iBlockStore = {};
  iUnpacked.reset();
  iData.reset();
  iProgress = nullptr;
}

// The order is that of a Shell sort with halving gaps followed by one plain
// insertion sort: equal subjects end where that procedure leaves them, and
// link resolution depends on it. Each of its passes is an insertion sort of
// every gap-th element, which moves an element only past strictly greater
// ones, so it is a stable sort of that chain; doing each pass as a stable
// sort on the subjects' ranks gives the same order in O(n log^2 n) instead
// of the procedure's quadratic worst case. When no two subjects are equal
// the last pass alone decides the order.
void QLPWriter::SortSubjectIndex() {
  const size_t n = iSortedSubjectIndex.size();
  // Ranks: equal subjects share one, so the passes compare integers.
  std::vector<int32_t> byText(n);
  for (size_t i = 0; i < n; ++i) byText[i] = static_cast<int32_t>(i);
  std::sort(byText.begin(), byText.end(), [&](int32_t a, int32_t b) {
    return CompareFoldedAscii(SubjectAt(static_cast<size_t>(a)),
                              SubjectAt(static_cast<size_t>(b))) < 0;
  });
  std::vector<int32_t> rank(n, 0);
  bool equalSubjects = false;
  for (size_t k = 1; k < n; ++k) {
    const size_t a = static_cast<size_t>(byText[k - 1]), b = static_cast<size_t>(byText[k]);
    const bool same = CompareFoldedAscii(SubjectAt(a), SubjectAt(b)) == 0;
    equalSubjects = equalSubjects || same;
    rank[b] = rank[a] + (same ? 0 : 1);
  }
  byText = {};
  auto byRank = [&](int32_t a, int32_t b) {
    return rank[static_cast<size_t>(a)] < rank[static_cast<size_t>(b)];
  };
  if (equalSubjects) {
    std::vector<int32_t> chain;
    chain.reserve(n / 2 + 1);
    for (size_t gap = n / 2; gap > 1; gap /= 2) {
      for (size_t s = 0; s < gap; ++s) {
        chain.clear();
        for (size_t j = s; j < n; j += gap) chain.push_back(iSortedSubjectIndex[j]);
        std::stable_sort(chain.begin(), chain.end(), byRank);
        size_t k = 0;
        for (size_t j = s; j < n; j += gap) iSortedSubjectIndex[j] = chain[k++];
      }
    }
  }
  std::stable_sort(iSortedSubjectIndex.begin(), iSortedSubjectIndex.end(), byRank);
}

std::string_view QLPWriter::SubjectAt(size_t index) const {
  const size_t start = index == 0 ? 0 : iSubjectEnds[index - 1];
  return std::string_view(iSubjectBytes.data() + start, iSubjectEnds[index] - start);
}

bool QLPWriter::StoreSubject(size_t index, std::string_view subject) {
  const size_t start = iSubjectBytes.size();
  const size_t end = start + subject.size();
  // Offsets are 32-bit: the run refuses far smaller books than that.
  if (end > UINT32_MAX || index >= iSubjectEnds.size()) return false;
  if (end > iSubjectBytes.capacity()) {
    size_t want = std::max({end, 2 * iSubjectBytes.capacity(), size_t{4096}});
    if (iAllocationLimit != 0 && want > iAllocationLimit) want = end;
    if (iAllocationLimit != 0 && want > iAllocationLimit) return false;
    try {
      iSubjectBytes.reserve(want);
    } catch (const std::bad_alloc&) {
      return false;
    } catch (const std::length_error&) {
      return false;
    }
  }
  iSubjectBytes.insert(iSubjectBytes.end(), subject.begin(), subject.end());
  iSubjectEnds[index] = static_cast<uint32_t>(end);
  return true;
}

bool QLPWriter::SetSubjects(const std::vector<std::string>& subjects) {
  iSubjectBytes.clear();
  iSortedSubjectIndex.clear();
  try {
    iSubjectEnds.assign(subjects.size(), 0);
    for (size_t i = 0; i < subjects.size(); ++i) {
      if (!StoreSubject(i, subjects[i])) return false;
      iSortedSubjectIndex.push_back(static_cast<int32_t>(i));
    }
    SortSubjectIndex();
  } catch (const std::bad_alloc&) {
    return false;
  }
  return true;
}

int QLPWriter::FindLinkTarget(const uint8_t* target, size_t length) const {
  uint8_t folded[kLinkTargetMax];
  length = std::min(length, sizeof folded);
  for (size_t i = 0; i < length; ++i) folded[i] = FoldAscii(target[i]);
  const std::string_view key(reinterpret_cast<const char*>(folded), length);
  int lo = 0, hi = static_cast<int>(iSortedSubjectIndex.size()) - 1;
  while (lo <= hi) {
    int mid = lo + (hi - lo) / 2;
    int32_t k = iSortedSubjectIndex[static_cast<size_t>(mid)];
    int c = CompareFoldedAscii(key, SubjectAt(static_cast<size_t>(k)));
    if (c < 0)
      hi = mid - 1;
    else if (c > 0)
      lo = mid + 1;
    else
      return k;
  }
  return -1;
}

size_t QLPWriter::WriteQLPTextV2ClearTags(const uint8_t* text, size_t length, int capacity,
                                          uint8_t* out) {
  // The cap is tested before each input byte; the largest single growth after
  // a passed test is one link expansion, which the buffer's margin holds. Put
  // still refuses to pass the buffer, whatever the input.
  const int64_t cap = int64_t{capacity} - kConversionCapMargin;
  const size_t room = static_cast<size_t>(std::max(capacity, 0)) + kLinkExpansionMax;
  size_t j = 0;
  auto put = [&](uint8_t c) {
    if (j < room) out[j++] = c;
  };
  bool linkOpen = false;
  size_t i = 0;
  while (i < length) {
    if (static_cast<int64_t>(j) >= cap) break;
    uint8_t c = text[i];
    if (c != kTagByte) {
      put(c);
      ++i;
      continue;
    }
    if (i + 1 >= length) break;  // a TAB as the last byte is dropped
    uint8_t code = text[i + 1];
    i += 2;
    switch (code) {
      case kTagUnderlineOn:
      case kTagUnderlineOff:
      case kTagRule:
      case kTagCentreOn:
      case kTagCentreOff:
        put(kTagByte);
        put(code);
        break;
      case kTagLineBreak:
      case kTagListItem:
      case kTagParagraph:
        put(kLineFeed);
        if (code == kTagParagraph) put(kLineFeed);
        if (i < length && text[i] == kSpace) ++i;
        break;
      case kTagLinkEnd:
        if (linkOpen) {
          put(kTagByte);
          put(code);
          linkOpen = false;
        }
        break;
      case kTagLinkStart: {
        size_t mark = j;
        put(kTagByte);
        put(code);
        size_t end = i;
        while (end < length && end - i < static_cast<size_t>(kLinkTargetMax) &&
               text[end] != kLinkTargetEnd && text[end] != kTagByte)
          ++end;
        int k = FindLinkTarget(text + i, end - i);
        if (k >= 0) {
          char digits[16];
          int nd = std::snprintf(digits, sizeof digits, "%d", k);
          for (int d = 0; d < nd; ++d) put(static_cast<uint8_t>(digits[d]));
          bool endedAtArrow = end < length && text[end] == kLinkTargetEnd;
          if (!endedAtArrow) {
            put(kLinkTargetEnd);
            size_t echo = std::min(end - i, static_cast<size_t>(kLinkEchoMax));
            for (size_t e = 0; e < echo; ++e) put(text[i + e]);
          }
          i = end;
          linkOpen = true;
        } else if (!linkOpen) {
          j = mark;  // not a subject: the link comes out as its plain text
        }
        break;
      }
      default:
        break;  // bold, italic, lists, strike, super/subscript, unknown codes
    }
  }
  return j;
}

std::string QLPResultText(HandheldResult code) {
  switch (code) {
    case HandheldResult::kMissingArgument:
      return translate("messages", "no database name");
    case HandheldResult::kCannotCreate:
      return translate("messages", "cannot create the file");
    case HandheldResult::kWriteFailed:
      return translate("messages", "writing the file failed");
    case HandheldResult::kNoMemory:
      return translate("messages", "not enough memory for the export");
    case HandheldResult::kSourceFailed:
      return translate("messages", "the book could not be read to its end");
    case HandheldResult::kTooLarge:
      return translate("messages", "the book is too large for a handheld database");
    case HandheldResult::kOk:
      break;
  }
  return Fill(translate("messages", "the export failed (error %1)"),
              {std::to_string(static_cast<int>(code))});
}

std::string FileErrorText(int error) {
  switch (error) {
    case ENOSPC:
      return translate("messages", "disk full");
    case EDQUOT:
      return translate("messages", "disk quota exceeded");
    case EFBIG:
      return translate("messages", "file too large");
    case EIO:
      return translate("messages", "input/output error");
    default:
      return std::strerror(error);
  }
}

std::string QLPResultText(const HandheldFailure& failure) {
  std::string text = QLPResultText(failure.code);
  if ((failure.code == HandheldResult::kCannotCreate ||
       failure.code == HandheldResult::kWriteFailed) &&
      failure.error != 0)
    text += ": " + FileErrorText(failure.error);
  return text;
}

HandheldResult QLPWriter::ExportToHandheld(const char* pdbPath, const char* dbName,
                                           ProgressSink* progress) {
  iWriteError = 0;
  const HandheldResult result = WriteQLPTextV2(pdbPath, dbName, progress);
  iLastFailure = {result, result == HandheldResult::kOk ? 0 : iWriteError, pdbPath ? pdbPath : ""};
  FreeRun();
  return result;
}

HandheldResult QLPWriter::WriteQLPTextV2(const char* pdbPath, const char* dbName,
                                         ProgressSink* progress) {
  if (!pdbPath || !*pdbPath || !dbName || !*dbName) return HandheldResult::kMissingArgument;
  iPdbPath = pdbPath;
  iDbName = dbName;
  iProgress = progress;
  iUnreadableCount = 0;
  iUnreadableSubjects.clear();
  iWriteError = 0;

  struct stat st {};
  if (stat(iPdbPath.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
    iWriteError = EISDIR;
    return HandheldResult::kCannotCreate;
  }
  AtomicFile file;
  if (!file.Open(iPdbPath)) {
    iWriteError = errno != 0 ? errno : EIO;
    return HandheldResult::kCannotCreate;
  }

  const int n = std::max(GetSourceSubjectCount(), 0);
  const int recordCap = std::max(GetMaxRecordLength(), 0);
  const int subjectCap = std::max(GetMaxSubjectLength(), 0);
  const size_t count = static_cast<size_t>(n);
  // A book the database cannot hold by its count is refused before anything
  // is read or allocated for it; the subjects are checked as they come.
  if (n > 0 && int64_t{n - 1} * kQLPMinEntryBytes >= kQLPMaxStreamBeforeLastEntry)
    return HandheldResult::kTooLarge;

  // The arrays of the run are vectors; a count the memory cannot hold is
  // reported like any other failed allocation.
  auto reserveArray = [&](auto& array, size_t entries, std::string_view what) {
    using Elem = typename std::remove_reference_t<decltype(array)>::value_type;
    if ((iAllocationLimit == 0 || entries * sizeof(Elem) <= iAllocationLimit) &&
        entries <= array.max_size()) {
      try {
        array.assign(entries, Elem{});
        return true;
      } catch (const std::bad_alloc&) {
      }
    }
    Message(NoMemoryText("WriteQLPTextV2", what));
    return false;
  };
  if (!reserveArray(iQLPDataHeaderArray, count, "iQLPDataHeaderArray"))
    return HandheldResult::kNoMemory;
  iSubjectBytes.clear();
  if (!reserveArray(iSubjectEnds, count, "iQLPSubjectArray")) return HandheldResult::kNoMemory;
  if (!reserveArray(iSortedSubjectIndex, count, "iSortedSubjectIndex"))
    return HandheldResult::kNoMemory;
  std::unique_ptr<uint8_t[]> subject;
  if (!Allocate(subject, static_cast<size_t>(subjectCap) + 1, "subject"))
    return HandheldResult::kNoMemory;

  // The least the text stream holds before the last entry starts: the
  // subjects read so far with their NULs, two NULs for each one to come.
  // Once that passes what the database can start an entry in, the book is
  // refused before any record is read, and the subjects kept stay bounded.
  int64_t streamFloor = int64_t{std::max(n - 1, 0)} * kQLPMinEntryBytes;
  for (int i = 0; i < n; ++i) {
    subject[0] = 0;
    if (GetSourceSubject(i, reinterpret_cast<char*>(subject.get()), subjectCap) !=
        SourceResult::kOk)
      return HandheldResult::kSourceFailed;
    subject[static_cast<size_t>(subjectCap)] = 0;
    size_t len =
        strnlen(reinterpret_cast<const char*>(subject.get()), static_cast<size_t>(subjectCap));
    if (i < n - 1) {
      streamFloor += static_cast<int64_t>(len);
      if (streamFloor >= kQLPMaxStreamBeforeLastEntry) return HandheldResult::kTooLarge;
    }
    if (!StoreSubject(static_cast<size_t>(i),
                      std::string_view(reinterpret_cast<const char*>(subject.get()), len))) {
      Message(NoMemoryText("WriteQLPTextV2", "iQLPSubjectArray[index].Subject"));
      return HandheldResult::kNoMemory;
    }
    iSortedSubjectIndex[static_cast<size_t>(i)] = i;
  }
  subject.reset();
  try {
    SortSubjectIndex();
  } catch (const std::bad_alloc&) {
    Message(NoMemoryText("WriteQLPTextV2", "iSortedSubjectIndex"));
    return HandheldResult::kNoMemory;
  }
  Step();

  // 'text' takes the record plus the "~" of an unreadable one; the conversion
  // output has the margin of one link expansion; 'unpackeddata' holds what is
  // left of a block, one subject and one converted text with their NULs.
  const size_t textSize = static_cast<size_t>(recordCap) + 2;
  const size_t convertedSize = static_cast<size_t>(recordCap) + kLinkExpansionMax;
  const size_t unpackedSize =
      kQLPBlockSize + static_cast<size_t>(subjectCap) + 1 + convertedSize + 1;
  try {
    iQLPDataBlockArray.reserve(std::min(count, static_cast<size_t>(kQLPMaxBlocks)));
  } catch (const std::bad_alloc&) {
    Message(NoMemoryText("WriteQLPTextV2", "iQLPDataBlockArray"));
    return HandheldResult::kNoMemory;
  }
  std::unique_ptr<uint8_t[]> text, converted;
  if (!Allocate(text, textSize, "text")) return HandheldResult::kNoMemory;
  if (!Allocate(iUnpacked, unpackedSize, "unpackeddata")) return HandheldResult::kNoMemory;
  if (!Allocate(iData, 2 * static_cast<size_t>(kQLPBlockSize), "data"))
    return HandheldResult::kNoMemory;
  if (!Allocate(converted, convertedSize, "text", "WriteQLPTextV2ClearTags"))
    return HandheldResult::kNoMemory;
  iDataRecordCount = 0;
  iBlockInRecord = 0;
  iBytesInRecord = 0;
  size_t pending = 0;

  for (int i = 0; i < n; ++i) {
    int32_t piece = 0;
    text[0] = 0;
    const SourceResult got =
        GetSourceRecord(i, piece, reinterpret_cast<char*>(text.get()), recordCap);
    text[static_cast<size_t>(recordCap)] = 0;
    size_t len = strnlen(reinterpret_cast<const char*>(text.get()), static_cast<size_t>(recordCap));
    if (got != SourceResult::kOk) {
      // An unreadable record is marked and the run goes on, unless the
      // source itself has gone away.
      if (!IsSourceOpen()) return HandheldResult::kSourceFailed;
      ++iUnreadableCount;
      if (iUnreadableSubjects.size() < kUnreadableNames)
        iUnreadableSubjects.emplace_back(SubjectAt(static_cast<size_t>(i)));
      text[len++] = kUnreadableMark;
      text[len] = 0;
    }
    size_t convertedLength = WriteQLPTextV2ClearTags(text.get(), len, recordCap, converted.get());

    const std::string_view s = SubjectAt(static_cast<size_t>(i));
    size_t start = pending;
    std::memcpy(iUnpacked.get() + pending, s.data(), s.size());
    pending += s.size();
    iUnpacked[pending++] = kTextNul;
    std::memcpy(iUnpacked.get() + pending, converted.get(), convertedLength);
    pending += convertedLength;
    iUnpacked[pending++] = kTextNul;

    if (iDataRecordCount > kQLPMaxDataRecords - 1 || iBlockInRecord > kQLPMaxBlocksPerRecord - 1)
      return HandheldResult::kTooLarge;
    iQLPDataHeaderArray[static_cast<size_t>(i)] = {
        static_cast<uint16_t>((iDataRecordCount << kQLPLocationBlockBits) | iBlockInRecord),
        static_cast<uint16_t>(start)};

    size_t consumed = 0;
    const HandheldResult cut = CutBlocks(pending, consumed, i == n - 1, static_cast<size_t>(i));
    if (cut != HandheldResult::kOk) return cut;
    Step();
    if (pending > 0) std::memmove(iUnpacked.get(), iUnpacked.get() + consumed, pending);
    Step();
  }
  if (iBytesInRecord > 0) ++iDataRecordCount;

  const HandheldResult result = WriteQLPTextV2FinalizeWrite(file.Stream());
  if (result != HandheldResult::kOk) return result;  // the temporary file goes with `file`
  errno = 0;
  if (!file.Commit()) {
    // Buffered bytes may meet a full disk only here.
    iWriteError = errno != 0 ? errno : EIO;
    return HandheldResult::kWriteFailed;
  }
  return HandheldResult::kOk;
}

// Cuts the pending text into blocks, compresses them and assigns them to
// data records; consumed counts the bytes taken from the start of
// 'unpackeddata'. HandheldResult::kTooLarge when the book outgrows the addressing of the
// data header table.
HandheldResult QLPWriter::CutBlocks(size_t& pending, size_t& consumed, bool lastSubject,
                                    size_t subjectIndex) {
  while (pending >= kQLPBlockSize || (lastSubject && pending > 0)) {
    size_t size = std::min(pending, static_cast<size_t>(kQLPBlockSize));
    size_t c = CompressHandheldBlock(iUnpacked.get() + consumed, size, iData.get());
    if (iQLPDataBlockArray.size() >= static_cast<size_t>(kQLPMaxBlocks))
      return HandheldResult::kTooLarge;
    try {
      iQLPDataBlockArray.push_back({static_cast<uint16_t>(c), iBlockStore.size()});
    } catch (const std::bad_alloc&) {
      Message(NoMemoryText("WriteQLPTextV2", "iQLPDataBlockArray[iQLPDataBlockTotalBlocks]"));
      return HandheldResult::kNoMemory;
    }
    try {
      iBlockStore.insert(iBlockStore.end(), iData.get(), iData.get() + c);
    } catch (const std::bad_alloc&) {
      Message(NoMemoryText("WriteQLPTextV2", "iQLPDataBlockArray[iQLPDataBlockTotalBlocks]->Data"));
      return HandheldResult::kNoMemory;
    }
    const int ci = static_cast<int>(c);
    if (iBytesInRecord + ci > kQLPRecordUsedMax) {
      // The block opens the next record: subjects that begin in it are
      // addressed as block 0 of that record.
      if (iBlockInRecord < kQLPMaxBlocksPerRecord) {
        const uint16_t here =
            static_cast<uint16_t>((iDataRecordCount << kQLPLocationBlockBits) | iBlockInRecord);
        for (size_t j = subjectIndex + 1; j-- > 0;) {
          if (iQLPDataHeaderArray[j].location != here) break;
          if (iDataRecordCount + 1 > kQLPMaxDataRecords - 1) return HandheldResult::kTooLarge;
          iQLPDataHeaderArray[j].location =
              static_cast<uint16_t>((iDataRecordCount + 1) << kQLPLocationBlockBits);
        }
      }
      ++iDataRecordCount;
      iBlockInRecord = 1;
      iBytesInRecord = ci + kQLPBlockLengthFieldSize;
    } else {
      ++iBlockInRecord;
      iBytesInRecord += ci + kQLPBlockLengthFieldSize;
    }
    consumed += size;
    pending -= size;
  }
  return HandheldResult::kOk;
}

bool QLPWriter::WriteOut(std::FILE* out, const void* data, size_t size) {
  if (size == 0) return true;
  errno = 0;
  if (std::fwrite(data, 1, size, out) == size) return true;
  iWriteError = errno != 0 ? errno : EIO;
  return false;
}

HandheldResult QLPWriter::WriteQLPTextV2FinalizeWrite(std::FILE* out) {
  // A source that lost its book on the way would give a header that
  // disagrees with the records: that run fails instead.
  const int n = std::max(GetSourceSubjectCount(), 0);
  const size_t count = static_cast<size_t>(n);
  if (count != iSubjectEnds.size()) return HandheldResult::kSourceFailed;
  const size_t firstCharRecords = CeilDiv(count, kQLPFirstCharRecordSize);
  const size_t headerRecords = CeilDiv(count, kQLPDataHeaderEntriesPerRecord);

  // Data record sizes by the packing rule.
  std::vector<uint32_t> dataRecordSizes;
  std::vector<bool> lastInRecord(iQLPDataBlockArray.size(), false);
  {
    size_t used = 0;
    for (size_t b = 0; b < iQLPDataBlockArray.size(); ++b) {
      size_t c = iQLPDataBlockArray[b].length;
      if (b == 0 || used + c > kQLPRecordUsedMax) {
        if (b > 0) lastInRecord[b - 1] = true;
        dataRecordSizes.push_back(0);
        used = 0;
      }
      used += c + kQLPBlockLengthFieldSize;
      dataRecordSizes.back() = static_cast<uint32_t>(used);
    }
    if (!lastInRecord.empty()) lastInRecord.back() = true;
  }
  if (dataRecordSizes.size() != static_cast<size_t>(iDataRecordCount)) {
    Message(Fill(translate("messages", "Record Numbers not the same (%1 = %2)"),
                 {std::to_string(dataRecordSizes.size()), std::to_string(iDataRecordCount)}));
  }
  const size_t numRecords =
      1 + firstCharRecords + headerRecords + static_cast<size_t>(iDataRecordCount);
  if (numRecords > 0xFFFF) return HandheldResult::kTooLarge;

  // 1. Database header.
  std::string head;
  std::string name = iDbName.substr(0, kPdbNameSize);
  name.resize(kPdbNameSize, '\0');
  head += name;
  AppendBE16(head, 0);
  AppendBE16(head, kPdbVersion);
  int64_t now = iExportTimeSet ? iExportTime : static_cast<int64_t>(std::time(nullptr));
  uint32_t date = static_cast<uint32_t>(now + kPalmEpochOffset);
  AppendBE32(head, date);
  AppendBE32(head, date);
  for (int k = 0; k < 4; ++k) AppendBE32(head, 0);  // backup, modification no., appInfo, sortInfo
  head.append(kPdbType, 4);
  head.append(kPdbCreator, 4);
  AppendBE32(head, 0);
  AppendBE32(head, 0);
  AppendBE16(head, static_cast<uint16_t>(numRecords));

  // 2. Record list.
  uint64_t offset = kPdbHeaderSize + kPdbRecordEntrySize * numRecords + kPdbGapSize;
  auto entry = [&](uint64_t size) {
    AppendBE32(head, static_cast<uint32_t>(offset));
    AppendBE32(head, 0);  // attributes and uniqueID
    offset += size;
  };
  entry(kQLPHeaderRecordSize);
  for (size_t r = 0; r < firstCharRecords; ++r)
    entry(std::min(count - r * kQLPFirstCharRecordSize, size_t{kQLPFirstCharRecordSize}));
  for (size_t r = 0; r < headerRecords; ++r)
    entry(kQLPDataHeaderEntrySize * std::min(count - r * kQLPDataHeaderEntriesPerRecord,
                                             size_t{kQLPDataHeaderEntriesPerRecord}));
  for (size_t r = 0; r < static_cast<size_t>(iDataRecordCount); ++r)
    entry(r < dataRecordSizes.size() ? dataRecordSizes[r] : 0);
  if (offset > 0xFFFFFFFFu) return HandheldResult::kTooLarge;

  // 3. Gap bytes, 4. the header record.
  head.push_back(static_cast<char>(kPdbGapByte));
  head.push_back(static_cast<char>(kPdbGapByte));
  AppendBE16(head, kQLPFormatId);
  AppendBE16(head, 0);
  AppendBE32(head, static_cast<uint32_t>(n));
  AppendBE16(head, kQLPBlockSize);
  AppendBE16(head, static_cast<uint16_t>(kQLPRecordLimit));
  AppendBE16(head, kQLPCodingId);
  AppendBE16(head, 0);
  AppendBE16(head, static_cast<uint16_t>(GetSourceSorted()));
  if (!WriteOut(out, head.data(), head.size())) return HandheldResult::kWriteFailed;
  const uint8_t reserved[kQLPReservedEntrySize] = {};
  for (int k = 0; k < kQLPReservedEntries; ++k)
    if (!WriteOut(out, reserved, kQLPReservedEntrySize)) return HandheldResult::kWriteFailed;

  // 5. First-character table, one record's worth at a time.
  std::unique_ptr<uint8_t[]> table;
  if (!Allocate(table, std::min(count, size_t{kQLPFirstCharRecordSize}), "table",
                "WriteQLPTextV2FinalizeWrite"))
    return HandheldResult::kNoMemory;
  for (size_t at = 0; at < count; at += kQLPFirstCharRecordSize) {
    const size_t piece = std::min(count - at, size_t{kQLPFirstCharRecordSize});
    for (size_t i = 0; i < piece; ++i) {
      const std::string_view s = SubjectAt(at + i);
      table[i] = s.empty() ? 0 : static_cast<uint8_t>(s[0]);
    }
    if (!WriteOut(out, table.get(), piece)) return HandheldResult::kWriteFailed;
  }
  table.reset();
  // 6.
  Step();

  // 7. Data header table, through a small buffer.
  uint8_t headers[1024 * kQLPDataHeaderEntrySize];
  size_t used = 0;
  for (const QLPDataHeaderEntry& e : iQLPDataHeaderArray) {
    WriteBE16(headers + used, e.location);
    WriteBE16(headers + used + 2, e.offset);
    used += kQLPDataHeaderEntrySize;
    if (used == sizeof headers) {
      if (!WriteOut(out, headers, used)) return HandheldResult::kWriteFailed;
      used = 0;
    }
  }
  if (!WriteOut(out, headers, used)) return HandheldResult::kWriteFailed;

  // 8. Blocks.
  for (size_t b = 0; b < iQLPDataBlockArray.size(); ++b) {
    const QLPDataBlock& block = iQLPDataBlockArray[b];
    uint8_t length[2];
    WriteBE16(length,
              static_cast<uint16_t>(block.length | (lastInRecord[b] ? kQLPLastBlockFlag : 0)));
    if (!WriteOut(out, length, 2) || !WriteOut(out, iBlockStore.data() + block.data, block.length))
      return HandheldResult::kWriteFailed;
  }
  return HandheldResult::kOk;
}

}  // namespace ql
