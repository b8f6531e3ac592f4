// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
#include "book_builder.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "atomic_file.h"
#include "block_filter_writer.h"
#include "book_format.h"
#include "book_reader.h"
#include "byte_order.h"
#include "record_markup.h"
#include "text_case.h"
#include "unicode_text.h"
#include "user_texts.h"

namespace ql {

namespace {

constexpr char kCR = '\r';
constexpr char kLF = '\n';
constexpr char kSpace = ' ';
constexpr char kTab = '\t';
constexpr char kTagOpen = '<';
constexpr std::string_view kNewTagRest = "new>";  // after the "<"
constexpr int64_t kMaxStreamOffset = INT32_MAX;
constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

inline bool IsEntrySpace(int c) {
  return c == kSpace || c == kCR || c == kLF;
}

// Where the centre tags let either of two letters stand.
constexpr size_t kCentreFreeFirst = 5;       // "<cent" then two of e/r, for "<center>"
constexpr size_t kCentreFreeFirstClose = 6;  // "</cent" then two of e/r

// Does text begin with the canonical form of code (letters in either case)?
bool MatchCanonical(std::string_view text, uint8_t code, size_t& length) {
  std::string_view form = kMarkupTags[code].canonical;
  if (text.size() < form.size()) return false;
  size_t freeFirst = code == kTagCentreOn    ? kCentreFreeFirst
                     : code == kTagCentreOff ? kCentreFreeFirstClose
                                             : form.size();
  for (size_t i = 0; i < form.size(); ++i) {
    char want = form[i];
    char got = FoldAscii(text[i]);
    if (i == freeFirst || i == freeFirst + 1) {
      if (got != 'e' && got != 'r') return false;
    } else if (code == kTagLinkStart && i == 2) {
      if (got != ':' && got != '>') return false;  // "<a>" opens a link too
    } else if (got != want) {
      return false;
    }
  }
  length = form.size();
  return true;
}

// Appends raw text to out as stored text: tags become TAB and their code;
// with lineBreaks, CR LF, a lone CR and a lone LF each become a line break.
// Runs of ordinary bytes are copied whole.
void AppendStoredText(std::string_view raw, bool lineBreaks, std::string& out) {
  const size_t n = raw.size();
  size_t i = 0;
  while (i < n) {
    size_t run = i;
    while (run < n && raw[run] != kTagOpen && !(lineBreaks && (raw[run] == kCR || raw[run] == kLF)))
      ++run;
    out.append(raw.data() + i, run - i);
    i = run;
    if (i == n) break;
    const char b = raw[i];
    if (b == kCR || b == kLF) {
      out.push_back(kTab);
      out.push_back(char(kTagLineBreak));
      ++i;
      if (b == kCR && i < n && raw[i] == kLF) ++i;
      continue;
    }
    size_t length = 0;
    if (uint8_t code = MatchImportTag(raw.substr(i), length)) {
      out.push_back(kTab);
      out.push_back(char(code));
      i += length;
    } else {
      out.push_back(kTagOpen);
      ++i;
    }
  }
}

}  // namespace

std::string BuildResultText(BuildResult code) {
  switch (code) {
    case BuildResult::kOk:
      return translate("messages", "no error");
    case BuildResult::kNoEntry:
      break;
    case BuildResult::kNoMemory:
      return translate("messages", "out of memory for the block buffers");
    case BuildResult::kCompressFailed:
      return translate("messages", "out of memory for the block coder");
    case BuildResult::kIoFailed:
      return translate("messages", "a file could not be read or written");
    case BuildResult::kTooLarge:
      return translate("messages",
                       "the book would be larger than its format allows (2 GiB of text)");
  }
  return translate("messages", "unknown failure");
}

uint8_t MatchImportTag(std::string_view text, size_t& length) {
  if (text.size() < 3 || text[0] != kTagOpen) return 0;
  const char second = FoldAscii(text[1]);
  for (uint8_t code = kTagFirst; code <= kTagLast; ++code)
    if (kMarkupTags[code].canonical[1] == second && MatchCanonical(text, code, length)) return code;
  return 0;
}

BookBuilder::BookBuilder() {
  iIndexFile = OpenWorkFile();
  iSubjectStreamFile = OpenWorkFile();
  iRecordStreamFile = OpenWorkFile();
  iSubjectSectionFile = OpenWorkFile();
  iRecordSectionFile = OpenWorkFile();
  if (!iIndexFile || !iSubjectStreamFile || !iRecordStreamFile || !iSubjectSectionFile ||
      !iRecordSectionFile)
    Fail(BuildResult::kIoFailed);
}

BookBuilder::~BookBuilder() {
  for (std::FILE* f : {iIndexFile, iSubjectStreamFile, iRecordStreamFile, iSubjectSectionFile,
                       iRecordSectionFile, iFilterFile})
    if (f) std::fclose(f);
  std::free(iLine);  // getdelim's buffer
}

void BookBuilder::SetUnicode(bool unicode) {
  iUnicode = unicode;
  if (!unicode || iFilter) return;
  iFilterFile = OpenWorkFile();
  if (!iFilterFile) Fail(BuildResult::kIoFailed);
  iFilter = std::make_unique<BlockFilterWriter>(kBlockFilterBytesWritten, iFilterFile);
}

BuildResult BookBuilder::FilterText(std::string_view text, bool ended) {
  // Entries are written one after the other: the block the next one starts
  // in is where its texts go.
  if (iFilter) iFilter->Text(iSubjectStreamOffset / kUnicodeSubjectBlockSize, text, ended);
  return BuildResult::kOk;
}

BuildResult BookBuilder::Failed(BuildResult code) {
  iLastFailure = {code, code == BuildResult::kIoFailed ? errno : 0, iWritePath};
  return code;
}

BuildResult BookBuilder::Fail(BuildResult code) {
  if (iError == BuildResult::kOk) iError = Failed(code);
  return iError;
}

bool BookBuilder::Put(std::FILE* file, const void* bytes, size_t count) {
  if (count == 0) return true;
  if (std::fwrite(bytes, 1, count, file) == count) return true;
  Fail(BuildResult::kIoFailed);
  return false;
}

void BookBuilder::Attach(std::FILE* input) {
  if (input == iInput) return;
  iInput = input;
  iInputOffset = 0;
  iNewTagTaken = false;
  iLineEnd = LineEnd::kUnknown;
  iFirstEntry = true;
}

int BookBuilder::ReadByte() {
  int c = getc_unlocked(iInput);
  if (c != EOF) ++iInputOffset;
  return c;
}

void BookBuilder::UnreadByte(int c) {
  if (c == EOF) return;
  std::ungetc(c, iInput);
  --iInputOffset;
}

int BookBuilder::ReadUntil(char delimiter, std::string& out) {
  ssize_t got = getdelim(&iLine, &iLineCapacity, delimiter, iInput);
  if (got <= 0) return EOF;
  iInputOffset += got;
  size_t n = size_t(got);
  if (iLine[n - 1] != delimiter) {
    out.append(iLine, n);
    return EOF;
  }
  out.append(iLine, n - 1);
  return delimiter;
}

bool BookBuilder::InputFailed() {
  return std::ferror(iInput) != 0;
}

bool BookBuilder::MatchNewTag(std::string* matched) {
  for (char want : kNewTagRest) {
    int c = ReadByte();
    if (c == EOF) return false;
    char got = char(c);
    if (want == '>' ? got != want : FoldAscii(got) != want) {
      // Scanning goes on after the "<"; the letters taken cannot start a new
      // tag, but the mismatching character can.
      UnreadByte(c);
      return false;
    }
    if (matched) matched->push_back(got);
  }
  return true;
}

BuildResult BookBuilder::ImportTaggedText(std::FILE* input, ProgressSink* bar) {
  if (!IsReady()) return iError;
  Attach(input);
  BuildResult r;
  while ((r = ReadTaggedEntry(input)) == BuildResult::kOk)
    if (bar) bar->SetPos(iInputOffset);
  return r == BuildResult::kNoEntry ? BuildResult::kOk : r;
}

BuildResult BookBuilder::ImportTabText(std::FILE* input, ProgressSink* bar, bool stepMode) {
  if (!IsReady()) return iError;
  Attach(input);
  BuildResult r;
  while ((r = ReadTabEntry(input)) == BuildResult::kOk) {
    if (!bar) continue;
    if (stepMode)
      bar->Step();
    else
      bar->SetPos(iInputOffset);
  }
  return r == BuildResult::kNoEntry ? BuildResult::kOk : r;
}

BuildResult BookBuilder::ReadTaggedEntry(std::FILE* input) {
  if (!IsReady()) return iError;
  Attach(input);
  auto end = [&] { return InputFailed() ? Fail(BuildResult::kIoFailed) : BuildResult::kNoEntry; };
  int c;
  if (!iNewTagTaken) {
    // Whatever stands before the first "<new>" is ignored.
    for (;;) {
      c = ReadByte();
      if (c == EOF) return end();
      if (c == kTagOpen && MatchNewTag(nullptr)) break;
    }
  }
  iNewTagTaken = false;

  do c = ReadByte();
  while (IsEntrySpace(c));
  iSubject.clear();
  while (c != EOF && c != kCR && c != kLF) {
    iSubject.push_back(char(c));
    c = ReadByte();
  }
  while (IsEntrySpace(c)) c = ReadByte();
  if (c == EOF) return end();  // a subject without text at the end is dropped

  // The raw text runs to the next "<new>" or the end of the input.
  iRaw.clear();
  UnreadByte(c);
  while (ReadUntil(kTagOpen, iRaw) == kTagOpen) {
    size_t at = iRaw.size();
    iRaw.push_back(kTagOpen);
    if (MatchNewTag(&iRaw)) {
      iRaw.resize(at);
      iNewTagTaken = true;
      break;
    }
    if (std::feof(iInput)) break;  // cut off inside "<new": those characters are text
  }
  if (InputFailed()) return Fail(BuildResult::kIoFailed);
  // Trailing spaces and line ends go. A text cut off inside "<new" ends in
  // its characters, so it keeps everything, the spaces before them too.
  while (!iRaw.empty() && IsEntrySpace(iRaw.back())) iRaw.pop_back();

  iText.clear();
  AppendStoredText(iRaw, true, iText);
  return AddEntry(iSubject, iText);
}

int BookBuilder::ReadFirstLine(std::string& out) {
  for (;;) {
    const int c = ReadByte();
    if (c == EOF) return EOF;
    if (c == kLF) {
      iLineEnd = LineEnd::kLf;
      return c;
    }
    if (c == kCR) {
      const int next = ReadByte();
      iLineEnd = next == kLF ? LineEnd::kCrLf : LineEnd::kCr;
      UnreadByte(next);
      return c;
    }
    out.push_back(char(c));
  }
}

BuildResult BookBuilder::ReadTabEntry(std::FILE* input) {
  if (!IsReady()) return iError;
  Attach(input);
  auto end = [&] { return InputFailed() ? Fail(BuildResult::kIoFailed) : BuildResult::kNoEntry; };
  // The subject runs to the next TAB, across line ends if need be; the raw
  // text from there to the next line end.
  iSubject.clear();
  iRaw.clear();
  int c = ReadUntil(kTab, iSubject);
  if (iFirstEntry && iSubject.compare(0, kByteOrderMark.size(), kByteOrderMark) == 0)
    iSubject.erase(0, kByteOrderMark.size());
  iFirstEntry = false;
  if (iLineEnd == LineEnd::kUnknown) {
    // The first line may end inside the first subject.
    const size_t at = iSubject.find_first_of("\r\n");
    if (at != std::string::npos) {
      if (iSubject[at] == kLF)
        iLineEnd = LineEnd::kLf;
      else
        iLineEnd =
            at + 1 < iSubject.size() && iSubject[at + 1] == kLF ? LineEnd::kCrLf : LineEnd::kCr;
    }
  }
  if (c == kTab) {
    if (iLineEnd == LineEnd::kUnknown)
      c = ReadFirstLine(iRaw);
    else
      c = ReadUntil(iLineEnd == LineEnd::kLf ? kLF : kCR, iRaw);
  }
  if (InputFailed()) return Fail(BuildResult::kIoFailed);
  // An empty subject or text ends the import here, and so does an empty
  // line: a subject that would start with a line end.
  if (iSubject.empty() || iSubject.front() == kCR || iSubject.front() == kLF || iRaw.empty())
    return end();
  if (c == kCR && iLineEnd == LineEnd::kCrLf) ReadByte();  // the character after the CR
  iText.clear();
  AppendStoredText(iRaw, false, iText);
  return AddEntry(iSubject, iText);
}

BuildResult BookBuilder::AddEntry(std::string_view subject, std::string_view text) {
  if (!IsReady()) return iError;
  std::string subjectKept, textKept;
  if (std::memchr(subject.data(), 0, subject.size())) {
    for (char b : subject)
      if (b) subjectKept.push_back(b);
    subject = subjectKept;
  }
  if (std::memchr(text.data(), 0, text.size())) {
    for (char b : text)
      if (b) textKept.push_back(b);
    text = textKept;
  }
  if (iUnicode) return AddUnicodeEntry(subject, text, nullptr);
  const size_t s = subject.size();
  const size_t length = text.size();
  const bool hasTail = length > size_t(kRecordHeadMax);
  const size_t head = hasTail ? size_t(kRecordHeadMax) : length;
  const int64_t entrySize = 1 + (hasTail ? 4 : 0) + int64_t(s) + 1 + int64_t(head) + 1;
  const int64_t tailSize = hasTail ? int64_t(length - head) + 1 : 0;
  if (iSubjectStreamOffset + entrySize > kMaxStreamOffset ||
      iRecordStreamOffset + tailSize > kMaxStreamOffset || iSubjectCount == INT32_MAX)
    return Fail(BuildResult::kTooLarge);
  // The tail goes to the record stream first; the entry's zero ends it.
  if (hasTail && !Put(iRecordStreamFile, text.data() + head, length - head)) return iError;
  return WriteEntry(subject, text.substr(0, head), int64_t(length));
}

BuildResult BookBuilder::WriteEntry(std::string_view subject, std::string_view head,
                                    int64_t length) {
  const size_t s = subject.size();
  const bool hasTail = length > kRecordHeadMax;
  const int64_t entrySize = 1 + (hasTail ? 4 : 0) + int64_t(s) + 1 + int64_t(head.size()) + 1;
  const int64_t tailSize = hasTail ? length - kRecordHeadMax + 1 : 0;
  iSubjectLength = int32_t(s);
  iTextLength = int32_t(length);
  if (iSorted == 1) {
    if (CompareSubjects(subject, iPreviousSubject) < 0) iSorted = 0;
    iPreviousSubject.assign(subject);
  }
  uint8_t word[4];
  WriteLE32(word, uint32_t(iSubjectStreamOffset));
  if (!Put(iIndexFile, word, sizeof word)) return iError;
  const char zero = 0;
  const uint8_t flags = hasTail ? kSubjectFlagsHasTail : kSubjectFlagsNoTail;
  bool ok = Put(iSubjectStreamFile, &flags, 1);
  if (hasTail) {
    WriteLE32(word, uint32_t(iRecordStreamOffset));
    ok = ok && Put(iSubjectStreamFile, word, sizeof word);
  }
  ok = ok && Put(iSubjectStreamFile, subject.data(), s) && Put(iSubjectStreamFile, &zero, 1) &&
       Put(iSubjectStreamFile, head.data(), head.size()) && Put(iSubjectStreamFile, &zero, 1);
  if (ok && hasTail) ok = Put(iRecordStreamFile, &zero, 1);
  if (!ok) return iError;
  iSubjectStreamOffset += entrySize;
  iRecordStreamOffset += tailSize;
  ++iSubjectCount;
  return BuildResult::kOk;
}

BuildResult BookBuilder::AddUnicodeEntry(std::string_view subject, std::string_view text,
                                         int64_t* stored) {
  if (text.size() > size_t{INT32_MAX} || iSubjectCount == INT32_MAX)
    return Fail(BuildResult::kTooLarge);
  if (text.size() <= size_t(kRecordHeadMax)) return WriteUnicodeEntry(subject, text, {});
  if (FilterText(text, true) != BuildResult::kOk) return iError;
  const int64_t at = iRecordStreamOffset;
  if (!Put(iRecordStreamFile, text.data(), text.size())) return iError;
  iRecordStreamOffset += int64_t(text.size());
  if (stored) *stored = at;
  return WriteUnicodeEntry(subject, {}, {{at, int64_t(text.size())}});
}

BuildResult BookBuilder::AddSharedEntry(std::string_view subject, std::string_view text,
                                        int64_t sourceOffset, int64_t sourceLength) {
  if (!IsReady()) return iError;
  if (!iUnicode || text.size() <= size_t(kRecordHeadMax) ||
      std::memchr(text.data(), 0, text.size()))
    return AddEntry(subject, text);
  const std::pair<int64_t, int64_t> key{sourceOffset, sourceLength};
  if (auto found = iShared.find(key);
      found != iShared.end() && found->second.piece.second == int64_t(text.size())) {
    TakeShared(found->second);
    std::string subjectKept;
    for (char b : subject)
      if (b) subjectKept.push_back(b);
    if (FilterText(text, true) != BuildResult::kOk) return iError;
    return WriteUnicodeEntry(subjectKept, {}, {found->second.piece});
  }
  int64_t stored = -1;
  std::string subjectKept;
  for (char b : subject)
    if (b) subjectKept.push_back(b);
  const BuildResult r = AddUnicodeEntry(subjectKept, text, &stored);
  if (r == BuildResult::kOk && stored >= 0) {
    try {
      iShared.emplace(key, StoredText{{stored, int64_t(text.size())}});
    } catch (const std::bad_alloc&) {
      // Not kept for sharing: later entries store their text again.
    }
  }
  return r;
}

void BookBuilder::TakeShared(StoredText& found) {
  if (!found.shared) ++iSharedTexts;
  found.shared = true;
  iSharedBytes += found.piece.second;
}

BuildResult BookBuilder::AppendSharedText(std::string_view text, int64_t sourceOffset,
                                          int64_t sourceLength) {
  // A piece taken from elsewhere may start one more after it, and an entry
  // has kUnicodeMaxPieces at most: the last ones are stored as they come,
  // and run on as one piece.
  if (!iUnicode || text.empty() || std::memchr(text.data(), 0, text.size()) ||
      iPieces.size() + 1 >= size_t(kUnicodeMaxPieces))
    return AppendEntryText(text);
  if (!IsReady()) return iError;
  if (int64_t(text.size()) > EntryRoom()) return Failed(BuildResult::kTooLarge);
  const std::pair<int64_t, int64_t> key{sourceOffset, sourceLength};
  if (auto found = iShared.find(key);
      found != iShared.end() && found->second.piece.second == int64_t(text.size())) {
    TakeShared(found->second);
    return AddPiece(text, found->second.piece.first, found->second.piece.second);
  }
  const int64_t at = iRecordStreamOffset;
  const BuildResult r = AddPiece(text, -1, 0);
  if (r == BuildResult::kOk) {
    try {
      iShared.emplace(key, StoredText{{at, int64_t(text.size())}});
    } catch (const std::bad_alloc&) {
    }
  }
  return r;
}

BuildResult BookBuilder::AddPiece(std::string_view text, int64_t offset, int64_t length) {
  if (FilterText(text, false) != BuildResult::kOk) return iError;
  if (iPieceHead.size() < size_t(kRecordHeadMax) + 1)
    iPieceHead.append(text.substr(0, size_t(kRecordHeadMax) + 1 - iPieceHead.size()));
  if (offset < 0) {
    offset = iRecordStreamOffset;
    length = int64_t(text.size());
    if (!Put(iRecordStreamFile, text.data(), text.size())) return iError;
    iRecordStreamOffset += length;
  }
  iPieceLength += length;
  // A piece that goes on where the last one ends makes it longer.
  if (!iPieces.empty() && iPieces.back().first + iPieces.back().second == offset)
    iPieces.back().second += length;
  else if (length > 0)
    iPieces.emplace_back(offset, length);
  return BuildResult::kOk;
}

BuildResult BookBuilder::WriteUnicodeEntry(std::string_view subject, std::string_view inlineText,
                                           const Pieces& pieces) {
  const bool inRecords = !pieces.empty();
  int64_t textLength = 0;
  for (const auto& piece : pieces) textLength += piece.second;
  const size_t s = std::min<size_t>(subject.size(), kUnicodeMaxEntryString);
  subject = subject.substr(0, s);
  // A text given in pieces ends here; the subject and an inline text are
  // texts of their own.
  if (FilterText({}, true) != BuildResult::kOk || FilterText(subject, true) != BuildResult::kOk ||
      FilterText(inlineText, true) != BuildResult::kOk)
    return iError;
  iSubjectLength = int32_t(s);
  iTextLength = int32_t(inRecords ? textLength : int64_t(inlineText.size()));
  if (iSorted == 1) {
    if (CompareFoldedUtf8(subject, iPreviousSubject) < 0) iSorted = 0;
    iPreviousSubject.assign(subject);
  }
  uint8_t word[8];
  WriteLE64(word, uint64_t(iSubjectStreamOffset));
  if (!Put(iIndexFile, word, 8)) return iError;
  const char zero = 0;
  const uint8_t flags = inRecords ? kSubjectFlagsHasTail : kSubjectFlagsNoTail;
  bool ok = Put(iSubjectStreamFile, &flags, 1);
  int64_t entrySize = 1 + int64_t(s) + 1;
  if (inRecords) {
    uint8_t count[4];
    WriteLE32(count, uint32_t(pieces.size()));
    ok = ok && Put(iSubjectStreamFile, count, sizeof count);
    for (const auto& [offset, length] : pieces) {
      uint8_t ref[kUnicodePieceSize];
      WriteLE64(ref, uint64_t(offset));
      WriteLE32(ref + 8, uint32_t(length));
      ok = ok && Put(iSubjectStreamFile, ref, sizeof ref);
    }
    entrySize += 4 + kUnicodePieceSize * int64_t(pieces.size());
  }
  ok = ok && Put(iSubjectStreamFile, subject.data(), s) && Put(iSubjectStreamFile, &zero, 1);
  if (!inRecords) {
    ok = ok && Put(iSubjectStreamFile, inlineText.data(), inlineText.size()) &&
         Put(iSubjectStreamFile, &zero, 1);
    entrySize += int64_t(inlineText.size()) + 1;
  }
  if (!ok) return iError;
  iSubjectStreamOffset += entrySize;
  ++iSubjectCount;
  return BuildResult::kOk;
}

BuildResult BookBuilder::BeginEntry(std::string_view subject) {
  if (!IsReady()) return iError;
  iPieceSubject.clear();
  for (char b : subject)
    if (b) iPieceSubject.push_back(b);
  // The subject's entry is checked with the longest head it can have; the
  // tail is checked piece by piece.
  const int64_t entryMax = 1 + 4 + int64_t(iPieceSubject.size()) + 1 + kRecordHeadMax + 1;
  if ((!iUnicode && iSubjectStreamOffset + entryMax > kMaxStreamOffset) ||
      iSubjectCount == INT32_MAX)
    return Fail(BuildResult::kTooLarge);
  iPieceHead.clear();
  iPieceLength = 0;
  iPieces.clear();
  return BuildResult::kOk;
}

int64_t BookBuilder::EntryRoom() const {
  // A version 2002 text may be as long as a record's length word allows.
  if (iUnicode) return std::max<int64_t>(0, int64_t{INT32_MAX} - iPieceLength);
  // The tail and its zero byte go into the record stream.
  const int64_t streamRoom = kMaxStreamOffset - iRecordStreamOffset - 1 + kRecordHeadMax;
  return std::max<int64_t>(0, std::min<int64_t>(streamRoom, INT32_MAX) - iPieceLength);
}

BuildResult BookBuilder::AppendEntryText(std::string_view text) {
  if (!IsReady()) return iError;
  std::string kept;
  if (std::memchr(text.data(), 0, text.size())) {
    for (char b : text)
      if (b) kept.push_back(b);
    text = kept;
  }
  if (int64_t(text.size()) > EntryRoom()) return Failed(BuildResult::kTooLarge);
  if (iUnicode) return AddPiece(text, -1, 0);
  const size_t headRoom = size_t(kRecordHeadMax) - iPieceHead.size();
  const size_t head = std::min(headRoom, text.size());
  iPieceHead.append(text.data(), head);
  // Whatever passes the head is tail: it goes to the record stream at once.
  if (head < text.size() && !Put(iRecordStreamFile, text.data() + head, text.size() - head))
    return iError;
  iPieceLength += int64_t(text.size());
  return BuildResult::kOk;
}

BuildResult BookBuilder::EndEntry() {
  if (!IsReady()) return iError;
  if (iUnicode) {
    // A short text goes into its entry, whatever pieces it was made of.
    const BuildResult r = iPieceLength > kRecordHeadMax
                              ? WriteUnicodeEntry(iPieceSubject, {}, iPieces)
                              : WriteUnicodeEntry(iPieceSubject, iPieceHead, {});
    iPieces.clear();
    return r;
  }
  return WriteEntry(iPieceSubject, iPieceHead, iPieceLength);
}

}  // namespace ql
