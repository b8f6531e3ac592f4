// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
#include "dict_import.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <mutex>
#include <thread>

#include "book_builder.h"
#include "book_reader.h"
#include "dict_markup.h"
#include "dictd_format.h"
#include "file_closer.h"
#include "import_formats.h"
#include "open_failure.h"
#include "plain_text.h"
#include "record_markup.h"
#include "text_case.h"
#include "text_encoding.h"
#include "unicode_text.h"
#include "user_texts.h"

namespace ql {

namespace {

// Sorted reads may inflate the dictzip chunks this many times over before
// the whole text is inflated once instead.
constexpr uint64_t kRereadChunks = 2;
// Texts read ahead of the conversion wait for at most this many bytes.
constexpr size_t kReadAheadBytes = 4 * 1024 * 1024;

// Replaces each line break (LF, CR, or CR LF) in text with a space; true
// when there was one.
bool LineBreaksToSpaces(std::string& text) {
  if (text.find_first_of("\r\n") == std::string::npos) return false;
  std::string spaced;
  spaced.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
      continue;  // the LF stands for both
    spaced.push_back(c == '\r' || c == '\n' ? ' ' : c);
  }
  text.swap(spaced);
  return true;
}

}  // namespace

// Reads the entries' texts, in the order given, on a thread of its own, so
// that inflating the text overlaps converting and adding the entries. Texts
// read and not yet used take at most twice kReadAheadBytes (and at least one
// text); only the thread touches the text file until the ReadAhead is gone.
class DictImport::ReadAhead {
 public:
  ReadAhead(DictData& data, const std::vector<Entry>& entries) : iData(data), iEntries(entries) {
    if (!entries.empty()) iWorker = std::thread([this] { Run(); });
  }
  ~ReadAhead() {
    {
      std::lock_guard<std::mutex> lock(iMutex);
      iStop = true;
    }
    iChanged.notify_all();
    if (iWorker.joinable()) iWorker.join();
  }
  ReadAhead(const ReadAhead&) = delete;
  ReadAhead& operator=(const ReadAhead&) = delete;

  // The next entry's text; false when it could not be read (see Failure).
  // Texts are taken over from the thread a batch at a time, so the two
  // threads meet seldom.
  bool Next(std::string& body) {
    if (iTaken.empty()) {
      std::unique_lock<std::mutex> lock(iMutex);
      iChanged.wait(lock, [this] { return !iReady.empty() || iFailed; });
      if (iReady.empty()) return false;
      iTaken.swap(iReady);
      iReadyBytes = 0;
      lock.unlock();
      iChanged.notify_all();
    }
    body.swap(iTaken.front());
    iTaken.pop_front();
    return true;
  }
  const std::string& Failure() const { return iFailure; }

 private:
  void Run() {
    std::string body;
    for (const Entry& entry : iEntries) {
      const bool read = iData.Read(entry.offset, entry.length, body);
      std::unique_lock<std::mutex> lock(iMutex);
      if (!read) {
        iFailure = iData.Failure();
        iFailed = true;
        lock.unlock();
        iChanged.notify_all();
        return;
      }
      iChanged.wait(lock,
                    [this] { return iStop || iReady.empty() || iReadyBytes < kReadAheadBytes; });
      if (iStop) return;
      const bool wasEmpty = iReady.empty();
      iReadyBytes += body.size();
      iReady.push_back(std::move(body));
      body.clear();
      lock.unlock();
      // Only a reader that found nothing waits.
      if (wasEmpty) iChanged.notify_all();
    }
  }

  DictData& iData;
  const std::vector<Entry>& iEntries;
  std::mutex iMutex;
  std::condition_variable iChanged;
  std::deque<std::string> iReady;  // read, not yet taken; guarded by iMutex
  size_t iReadyBytes = 0;
  std::deque<std::string> iTaken;  // taken over by the reader, used without the lock
  bool iFailed = false;
  bool iStop = false;
  std::string iFailure;
  std::thread iWorker;  // last: started once everything above is made
};

DictImport::DictImport() = default;
DictImport::~DictImport() = default;

bool DictImport::Exists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0;
}

std::string DictImport::Base(const std::string& path, std::string_view extension) {
  return EndsWithFolded(path, extension) ? path.substr(0, path.size() - extension.size()) : path;
}

bool DictImport::ReadWholeFile(const std::string& path, uint64_t limit, std::string& bytes) {
  OwnedFile file(std::fopen(path.c_str(), "rb"));
  if (!file) return Fail(path + ": " + SystemErrorText(errno));
  struct stat st {};
  if (::fstat(::fileno(file.get()), &st) != 0) return Fail(path + ": " + SystemErrorText(errno));
  if (!S_ISREG(st.st_mode))
    return Fail(path + ": " + translate("messages", "is not a regular file"));
  NoteFileRead(path, {uint64_t(st.st_dev), uint64_t(st.st_ino)});
  if (uint64_t(st.st_size) > limit)
    return Fail(path + ": " + translate("messages", "is too large to be what it is named"));
  bytes.resize(size_t(st.st_size));
  if (std::fread(bytes.data(), 1, bytes.size(), file.get()) != bytes.size())
    return Fail(
        path + ": " +
        (std::ferror(file.get()) ? SystemErrorText(errno) : translate("messages", "cut off")));
  return true;
}

bool DictImport::OpenData(const std::string& base) {
  for (const char* extension : {".dict.dz", ".dict", ".dict.gz"}) {
    const std::string path = base + extension;
    if (!Exists(path)) continue;
    iDataPath = path;
    if (!iData.Open(path)) return Fail(iData.Failure());
    NoteFileRead(path, iData.FileId());
    return true;
  }
  return Fail(Fill(translate("messages",
                             "%1: the dictionary's text is missing: no %2.dict.dz, %2.dict or "
                             "%2.dict.gz"),
                   {iSource, base}));
}

void DictImport::TakeEntries(std::vector<DictEntryRef>& refs, bool dropMetadata) {
  iEntries.clear();
  iEntries.reserve(refs.size());
  for (size_t k = 0; k < refs.size(); ++k) {
    DictEntryRef& ref = refs[k];
    if (dropMetadata && IsDictdMetadata(ref.headword)) continue;
    Entry entry;
    // A zero byte would end the subject in every reader; a line break
    // would split it in every list of subjects.
    std::erase(ref.headword, '\0');
    if (LineBreaksToSpaces(ref.headword)) ++iCounts.brokenHeadwords;
    if (StoresUnicode() && !iUtf8)
      AppendCp1252AsUtf8(ref.headword, entry.subject);
    else if (iUtf8 && !StoresUnicode())
      AppendUtf8AsCp1252(ref.headword, entry.subject, iCounts.replaced);
    else
      entry.subject = std::move(ref.headword);
    entry.offset = ref.offset;
    entry.length = ref.length;
    entry.order = uint32_t(k);
    iEntries.push_back(std::move(entry));
  }
  refs.clear();
  refs.shrink_to_fit();
}

void DictImport::StoreMarkup(std::string_view markup, std::string& text) {
  if (StoresUnicode() && !iUtf8)
    AppendCp1252AsUtf8(markup, text);
  else if (iUtf8 && !StoresUnicode())
    AppendUtf8AsCp1252(markup, text, iCounts.replaced);
  else
    text.append(markup);
}

bool DictImport::InflateAsFarAs(const std::vector<DictEntryRef>& refs, bool& reached) {
  // The parse kept every entry inside the bound, so the sums do not wrap.
  uint64_t end = 0;
  for (const DictEntryRef& r : refs) end = std::max(end, r.offset + r.length);
  if (!iData.InflateUpTo(end)) return Fail(iData.Failure());
  reached = iData.Size() >= end;
  return true;
}

bool DictImport::Open(const std::string& path) {
  iSource = path;
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return Fail(path + ": " + SystemErrorText(errno));
  if (S_ISDIR(st.st_mode)) return Fail(path + ": " + translate("messages", "is a directory"));
  return OpenIndex(path);
}

// Adds the record of the entries first to end, which share a headword: their
// texts one after another, a paragraph between two, handed to the builder
// as they come so that the record is never held whole. Once the record has
// grown as large as a book allows, the texts left are left out (and
// counted); the first text alone too large fails, as any entry would.
bool DictImport::AddRecord(BookBuilder& builder, size_t first, size_t end) {
  ReadAhead& reader = *iReader;
  const auto failed = [&](BuildResult r) {
    return BuildFailed(iSource, r, builder.LastFailure().error);
  };
  if (iBodyIsText) {
    // The headword in the text's own encoding. One the code page lacks a
    // character of was stored with '?': then no line of the text repeats
    // it, and every line is kept.
    const std::string& subject = iEntries[first].subject;
    const bool unicode = builder.Unicode();
    iHeadword = iUtf8 == unicode ? subject
                : iUtf8          ? Cp1252ToUtf8(subject)
                                 : Utf8ToCp1252(subject).value_or(std::string());
  }
  if (end == first + 1 && builder.Unicode()) {
    // One entry: its text may be another headword's too, stored once.
    if (!reader.Next(iBody))
      return Fail(reader.Failure() + translate("messages", "; no book was written"));
    const size_t skip = iBodyIsText ? HeadwordLineEnd(iBody, iHeadword) : 0;
    EntryText(std::string_view(iBody).substr(skip), iText);
    const Entry& entry = iEntries[first];
    const BuildResult shared = builder.AddSharedEntry(
        entry.subject, iText, int64_t(entry.offset + skip), int64_t(entry.length - skip));
    return shared == BuildResult::kOk || failed(shared);
  }
  BuildResult r = builder.BeginEntry(iEntries[first].subject);
  if (r != BuildResult::kOk) return failed(r);
  static constexpr char kParagraph[] = {char(kTagByte), char(kTagParagraph)};
  bool any = false;  // text added so far
  bool full = false;
  int64_t leftOut = 0;
  for (size_t k = first; k < end; ++k) {
    if (!reader.Next(iBody))
      return Fail(reader.Failure() + translate("messages", "; no book was written"));
    if (full) {
      ++leftOut;
      continue;
    }
    // Counted only for texts that go into the book.
    const int64_t replaced = iCounts.replaced, skipped = iCounts.skippedFields;
    // The entry's own text: its bytes from offset + skip, length - skip in
    // the dictionary's text.
    const size_t skip = iBodyIsText ? HeadwordLineEnd(iBody, iHeadword) : 0;
    EntryText(std::string_view(iBody).substr(skip), iText);
    if (iText.empty()) continue;
    const size_t separator = any ? sizeof kParagraph : 0;
    if (int64_t(separator + iText.size()) > builder.EntryRoom()) {
      if (k == first) return failed(BuildResult::kTooLarge);
      iCounts.replaced = replaced;
      iCounts.skippedFields = skipped;
      full = true;
      ++leftOut;
      continue;
    }
    // In a version 2002 book each text is stored once, whatever records
    // it is part of; the paragraph between two is stored once too.
    r = builder.AppendSharedText(std::string_view(kParagraph, separator), -1, int64_t(separator));
    if (r == BuildResult::kOk)
      r = builder.AppendSharedText(iText, int64_t(iEntries[k].offset + skip),
                                   int64_t(iEntries[k].length - skip));
    if (r != BuildResult::kOk) return failed(r);
    any = true;
  }
  iCounts.merged += int64_t(end - first - 1) - leftOut;
  iCounts.leftOut += leftOut;
  r = builder.EndEntry();
  if (r != BuildResult::kOk) return failed(r);
  return true;
}

bool DictImport::StartReading() {
  // The book's order; equal headwords stay together, in index order. Most
  // indexes are in that order already, which costs one pass to find.
  const bool unicode = StoresUnicode();
  const auto before = [unicode](const Entry& a, const Entry& b) {
    const int c =
        unicode ? CompareFoldedUtf8(a.subject, b.subject) : CompareSubjects(a.subject, b.subject);
    if (c != 0) return c < 0;
    if (a.subject != b.subject) return a.subject < b.subject;
    return a.order < b.order;
  };
  if (!std::is_sorted(iEntries.begin(), iEntries.end(), before))
    std::sort(iEntries.begin(), iEntries.end(), before);
  // Chunks are read where the entries lie. When the text is not in the
  // book's order (GCIDE's is not), sorted reads would inflate its chunks
  // over and over: then it is inflated once, in order, into a work file.
  if (iData.IsDictzip()) {
    std::vector<std::pair<uint64_t, uint64_t>> ranges;
    ranges.reserve(iEntries.size());
    for (const Entry& e : iEntries) ranges.emplace_back(e.offset, e.length);
    if (iData.ChunksInflatedFor(ranges) > kRereadChunks * iData.ChunkCount() &&
        !iData.InflateWhole())
      return Fail(iData.Failure() + translate("messages", "; no book was written"));
  }
  iReader = std::make_unique<ReadAhead>(iData, iEntries);
  return true;
}

ImportStep DictImport::ReadNext(BookBuilder& builder) {
  if (!iReader) {
    if (iStarted) return iFailure.empty() ? ImportStep::kEnd : ImportStep::kFailed;
    iStarted = true;
    if (!StartReading()) return ImportStep::kFailed;
  }
  // The reading thread and its texts go as soon as they are not needed.
  if (iNext == iEntries.size()) {
    iReader.reset();
    return ImportStep::kEnd;
  }
  size_t end = iNext + 1;
  while (end < iEntries.size() && iEntries[end].subject == iEntries[iNext].subject) ++end;
  if (!AddRecord(builder, iNext, end)) {
    iReader.reset();
    return ImportStep::kFailed;
  }
  iNext = end;
  return ImportStep::kAdded;
}

}  // namespace ql
