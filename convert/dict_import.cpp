#include "dict_import.h"

#include <sys/stat.h>
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>

#include "book_reader.h"
#include "file_closer.h"
#include "open_failure.h"
#include "record_markup.h"
#include "text_case.h"
#include "text_encoding.h"

namespace ql {

namespace {

constexpr std::string_view kDictdIndexExtension = ".index";
constexpr std::string_view kStarDictIfoExtension = ".ifo";
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

bool Exists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0;
}

// The path without the extension given (when it has it).
std::string Base(const std::string& source, std::string_view extension) {
  return EndsWithFolded(source, extension) ? source.substr(0, source.size() - extension.size())
                                           : source;
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

std::optional<DictFormat> DictFormatFromExtension(const std::string& path) {
  if (EndsWithFolded(path, kDictdIndexExtension)) return DictFormat::kDictd;
  if (EndsWithFolded(path, kStarDictIfoExtension)) return DictFormat::kStarDict;
  return std::nullopt;
}

std::string DictImport::NotesText() const {
  std::string text;
  const auto line = [&](int64_t count, std::string_view what) {
    if (count == 0) return;
    if (!text.empty()) text += "\n";
    text += std::string(what) + ":\t" + std::to_string(count);
  };
  line(iMerged, "Entries merged into the record of the same headword");
  line(iLeftOut, "Entries left out of a record that reached the largest size a book allows");
  line(iSkippedFields, "Fields left out (pictures, sounds and other kinds a record cannot show)");
  line(iBrokenHeadwords, "Headwords whose line breaks became spaces");
  return text;
}

std::string DictImport::SourceFileAt(const std::string& path) const {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return {};
  const std::pair<uint64_t, uint64_t> id{uint64_t(st.st_dev), uint64_t(st.st_ino)};
  for (const auto& [read, readId] : iFilesRead)
    if (readId == id) return read;
  return {};
}

bool DictImport::ReadWholeFile(const std::string& path, uint64_t limit, std::string& bytes) {
  OwnedFile file(std::fopen(path.c_str(), "rb"));
  if (!file) return Fail(path + ": " + SystemErrorText(errno));
  struct stat st {};
  if (::fstat(::fileno(file.get()), &st) != 0) return Fail(path + ": " + SystemErrorText(errno));
  if (!S_ISREG(st.st_mode)) return Fail(path + ": is not a regular file");
  iFilesRead.push_back({path, {uint64_t(st.st_dev), uint64_t(st.st_ino)}});
  if (uint64_t(st.st_size) > limit) return Fail(path + ": is too large to be what it is named");
  bytes.resize(size_t(st.st_size));
  if (std::fread(bytes.data(), 1, bytes.size(), file.get()) != bytes.size())
    return Fail(path + ": " + (std::ferror(file.get()) ? SystemErrorText(errno) : "cut off"));
  return true;
}

bool DictImport::ReadGzipFile(const std::string& path, uint64_t expected, std::string& bytes) {
  std::string compressed;
  if (!ReadWholeFile(path, UINT64_MAX, compressed)) return false;
  if (expected > compressed.size() * kMaxInflateRatio)
    return Fail(path + ": cannot hold the " + std::to_string(expected) +
                " bytes the .ifo gives as idxfilesize");
  bytes.resize(size_t(expected) + 1);  // one more, to find text beyond the size given
  z_stream z{};
  if (inflateInit2(&z, 15 + 16) != Z_OK) return Fail(path + ": cannot inflate: out of memory");
  z.next_in = reinterpret_cast<Bytef*>(compressed.data());
  z.avail_in = uInt(compressed.size());
  z.next_out = reinterpret_cast<Bytef*>(bytes.data());
  z.avail_out = uInt(bytes.size());
  int r = Z_OK;
  while (r == Z_OK && z.avail_out > 0) r = inflate(&z, Z_NO_FLUSH);
  const uint64_t produced = bytes.size() - z.avail_out;
  inflateEnd(&z);
  if (r != Z_STREAM_END && !(r == Z_OK && z.avail_out == 0))
    return Fail(path + ": the gzip data is damaged or cut off");
  if (produced != expected)
    return Fail(path + ": holds " + (produced > expected ? "more" : "fewer") +
                " bytes than the .ifo gives as idxfilesize (" + std::to_string(expected) + ")");
  bytes.resize(size_t(produced));
  return true;
}

bool DictImport::OpenData(const std::string& base) {
  for (const char* extension : {".dict.dz", ".dict", ".dict.gz"}) {
    const std::string path = base + extension;
    if (!Exists(path)) continue;
    iDataPath = path;
    if (!iData.Open(path)) return Fail(iData.Failure());
    iFilesRead.push_back({path, iData.FileId()});
    return true;
  }
  return Fail(iSource + ": the dictionary's text is missing: no " + base + ".dict.dz, " + base +
              ".dict or " + base + ".dict.gz");
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
    if (LineBreaksToSpaces(ref.headword)) ++iBrokenHeadwords;
    if (iUtf8)
      AppendUtf8AsCp1252(ref.headword, entry.subject, iReplaced);
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

bool DictImport::InflateAsFarAs(const std::vector<DictEntryRef>& refs, bool& reached) {
  // The parse kept every entry inside the bound, so the sums do not wrap.
  uint64_t end = 0;
  for (const DictEntryRef& r : refs) end = std::max(end, r.offset + r.length);
  if (!iData.InflateUpTo(end)) return Fail(iData.Failure());
  reached = iData.Size() >= end;
  return true;
}

bool DictImport::OpenDictd(const std::string& source) {
  const std::string base = Base(source, kDictdIndexExtension);
  if (!OpenData(base)) return false;
  std::string text;
  if (!ReadWholeFile(source, UINT64_MAX, text)) return false;
  std::vector<DictEntryRef> refs;
  std::string reason;
  const auto damaged = [&] {
    return Fail(source + ": " + reason + " (the index is damaged, or is not " + iDataPath + "'s)");
  };
  // A plain gzip text is inflated as far as the index reaches; the entries
  // are checked against that once it is known.
  const bool inflate = iData.AwaitsInflating();
  if (!ParseDictdIndex(text, iData.SizeBound(), refs, reason)) return damaged();
  bool reached = true;
  if (inflate && !InflateAsFarAs(refs, reached)) return false;
  // Parsed again only to name the line that reaches past the text.
  if (!reached && !ParseDictdIndex(text, iData.Size(), refs, reason)) return damaged();
  text.clear();
  text.shrink_to_fit();
  iUtf8 = std::any_of(refs.begin(), refs.end(),
                      [](const DictEntryRef& r) { return IsDictdUtf8Mark(r.headword); });
  TakeEntries(refs, true);
  return true;
}

bool DictImport::OpenStarDict(const std::string& source) {
  const std::string base = Base(source, kStarDictIfoExtension);
  std::string ifo;
  if (!ReadWholeFile(source, kStarDictIfoMax, ifo)) return false;
  std::string reason;
  if (!ParseStarDictIfo(ifo, iInfo, reason))
    return Fail(source + ": not a StarDict .ifo file: " + reason);
  std::string idx;
  if (Exists(base + ".idx")) {
    if (!ReadWholeFile(base + ".idx", UINT64_MAX, idx)) return false;
    if (uint64_t(iInfo.idxFileSize) != idx.size())
      return Fail(base + ".idx: holds " + std::to_string(idx.size()) +
                  " bytes, but the .ifo gives idxfilesize " + std::to_string(iInfo.idxFileSize));
  } else if (Exists(base + ".idx.gz")) {
    if (!ReadGzipFile(base + ".idx.gz", uint64_t(iInfo.idxFileSize), idx)) return false;
  } else {
    return Fail(source + ": the dictionary's index is missing: neither " + base + ".idx nor " +
                base + ".idx.gz is there");
  }
  if (!OpenData(base)) return false;
  std::vector<DictEntryRef> refs;
  const auto damaged = [&] {
    return Fail(base + ".idx: " + reason + " (the index is damaged, or is not " + iDataPath +
                "'s)");
  };
  const bool inflate = iData.AwaitsInflating();
  if (!ParseStarDictIdx(idx, iInfo.offsetBits, iData.SizeBound(), refs, reason)) return damaged();
  bool reached = true;
  if (inflate && !InflateAsFarAs(refs, reached)) return false;
  if (!reached && !ParseStarDictIdx(idx, iInfo.offsetBits, iData.Size(), refs, reason))
    return damaged();
  if (uint64_t(iInfo.wordCount) != refs.size())
    return Fail(base + ".idx: holds " + std::to_string(refs.size()) +
                (refs.size() == 1 ? " entry" : " entries") + ", but the .ifo gives wordcount " +
                std::to_string(iInfo.wordCount) + " (one of the two is damaged)");
  iUtf8 = true;
  TakeEntries(refs, false);
  return true;
}

bool DictImport::OpenSource(const std::string& source, DictFormat format) {
  iSource = source;
  iFormat = format;
  struct stat st {};
  if (::stat(source.c_str(), &st) != 0) return Fail(source + ": " + SystemErrorText(errno));
  if (S_ISDIR(st.st_mode)) return Fail(source + ": is a directory");
  if (!(format == DictFormat::kDictd ? OpenDictd(source) : OpenStarDict(source))) return false;
  return MakeBuilder();
}

void DictImport::EntryText(std::string_view body, std::string& text) {
  text.clear();
  if (iFormat == DictFormat::kDictd && !iUtf8) {
    // Bytes kept as they are: the markup is the record's text.
    PlainTextToMarkup(body, true, text);
    return;
  }
  iMarkup.clear();
  if (iFormat == DictFormat::kDictd) {
    PlainTextToMarkup(body, true, iMarkup);
  } else {
    // A damaged entry keeps the fields read before the damage. Fields are
    // separated by a paragraph; one that adds nothing takes its separator
    // away again.
    SplitStarDictFields(body, iInfo.sameTypeSequence, iFields);
    for (const StarDictField& field : iFields) {
      const size_t before = iMarkup.size();
      if (before > 0) {
        iMarkup.push_back(char(kTagByte));
        iMarkup.push_back(char(kTagParagraph));
      }
      if (field.type == 'm')
        PlainTextToMarkup(field.data, false, iMarkup);
      else if (field.type == 'h')
        HtmlToMarkup(field.data, iMarkup);
      else
        ++iSkippedFields;
      if (iMarkup.size() == before + (before > 0 ? 2 : 0)) iMarkup.resize(before);
    }
  }
  AppendUtf8AsCp1252(iMarkup, text, iReplaced);
}

// Adds the record of the entries first to end, which share a headword: their
// texts one after another, a paragraph between two, handed to the builder
// as they come so that the record is never held whole. Once the record has
// grown as large as a book allows, the texts left are left out (and
// counted); the first text alone too large fails, as any entry would.
bool DictImport::AddRecord(size_t first, size_t end, ReadAhead& reader) {
  const auto failed = [&](int r) {
    return Fail(iSource + ": the import failed: " + BuildResultText(r) + "; no book was written");
  };
  int r = iBuilder->BeginEntry(iEntries[first].subject);
  if (r != kBuildOk) return failed(r);
  static constexpr char kParagraph[] = {char(kTagByte), char(kTagParagraph)};
  bool any = false;  // text added so far
  bool full = false;
  int64_t leftOut = 0;
  for (size_t k = first; k < end; ++k) {
    if (!reader.Next(iBody)) return Fail(reader.Failure() + "; no book was written");
    if (full) {
      ++leftOut;
      continue;
    }
    // Counted only for texts that go into the book.
    const int64_t replaced = iReplaced, skipped = iSkippedFields;
    EntryText(iBody, iText);
    if (iText.empty()) continue;
    const size_t separator = any ? sizeof kParagraph : 0;
    if (int64_t(separator + iText.size()) > iBuilder->EntryRoom()) {
      if (k == first) return failed(kBuildTooLarge);
      iReplaced = replaced;
      iSkippedFields = skipped;
      full = true;
      ++leftOut;
      continue;
    }
    r = iBuilder->AppendEntryText(std::string_view(kParagraph, separator));
    if (r == kBuildOk) r = iBuilder->AppendEntryText(iText);
    if (r != kBuildOk) return failed(r);
    any = true;
  }
  iMerged += int64_t(end - first - 1) - leftOut;
  iLeftOut += leftOut;
  r = iBuilder->EndEntry();
  if (r != kBuildOk) return failed(r);
  return true;
}

bool DictImport::Read(ProgressSink* bar) {
  // The book's order; equal headwords stay together, in index order. Most
  // indexes are in that order already, which costs one pass to find.
  const auto before = [](const Entry& a, const Entry& b) {
    const int c = CompareSubjects(a.subject, b.subject);
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
      return Fail(iData.Failure() + "; no book was written");
  }
  ReadAhead reader(iData, iEntries);
  size_t k = 0;
  while (k < iEntries.size()) {
    size_t next = k + 1;
    while (next < iEntries.size() && iEntries[next].subject == iEntries[k].subject) ++next;
    if (!AddRecord(k, next, reader)) return false;
    k = next;
    if (bar) bar->SetPos(int64_t(k));
  }
  return true;
}

}  // namespace ql
