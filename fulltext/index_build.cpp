// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
#include "index_build.h"

#include <xxhash.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <unordered_map>
#include <utility>
#include <vector>

#include "atomic_file.h"
#include "book_reader.h"
#include "index_codec.h"
#include "index_store.h"
#include "plain_text.h"
#include "progress.h"
#include "unicode_text.h"
#include "word_index.h"

namespace fs = std::filesystem;

namespace ql::fts {

bool ParseKey(const std::string& key, uint64_t& out) {
  if (key.size() != 16) return false;
  out = 0;
  for (char c : key) {
    const int d = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
    if (d < 0) return false;
    out = out << 4 | static_cast<uint64_t>(d);
  }
  return true;
}

// The words of a record, as the index and its search take them.
std::string IndexText(BookReader& book, std::string_view stored) {
  std::string plain = RecordPlainText(stored);
  return FoldUtf8(book.IsUnicode() ? plain : Cp1252ToUtf8(plain));
}

std::string IndexSubject(BookReader& book, std::string_view subject) {
  return FoldUtf8(book.IsUnicode() ? std::string(subject) : Cp1252ToUtf8(subject));
}

namespace {

// A run: the words of the records [firstRecord, endRecord), whose new
// texts are [firstText, endText). Its file (little-endian):
//   "QLWRUN01", u64 key, u32 firstRecord, u32 endRecord, u32 firstText,
//   u32 endText, u32 terms, u32 order entries
//   per new text: varint (stored start + 1, or 0 when not looked up),
//                 varint stored length
//   per record:   varint text, varint words, varint subject words
//   per term, in byte order: varint length, the bytes, varint texts,
//                 varint list bytes, the list, varint subject records,
//                 varint list bytes, the list (distances, the first from -1)
//   per order entry, in the book's subject order: varint subject length,
//                 the subject as stored, varint record
//   u64 XXH3 of every byte before it
// A run is written aside and renamed, so one that is there is whole.
constexpr char kRunMagic[8] = {'Q', 'L', 'W', 'R', 'U', 'N', '0', '1'};
constexpr size_t kRunHeaderSize = 40;
// A subject longer than this is ordered by its start alone.
constexpr size_t kOrderSubjectLimit = 4096;

struct RunHead {
  uint64_t key = 0;
  uint32_t firstRecord = 0, endRecord = 0, firstText = 0, endText = 0, terms = 0, order = 0;
};

std::string RunName(int n) {
  char name[32];
  std::snprintf(name, sizeof name, "run-%06d", n);
  return name;
}

// One stored text met before, by where it lies.
struct KnownText {
  int64_t start;
  uint32_t length;
  uint32_t text;
};

class Gatherer {
 public:
  Gatherer(uint64_t key, bool ordered) : iKey(key), iOrdered(ordered) {}

  void Begin(uint32_t firstRecord, uint32_t firstText) {
    iFirstRecord = iEndRecord = firstRecord;
    iFirstText = iEndText = firstText;
  }
  // Adds a record; text is its text's number, fresh when it is a text not
  // met before (whose words are then noted).
  void AddRecord(uint32_t record, std::string_view subject, std::string_view storedSubject,
                 uint32_t text, bool fresh, int64_t lookupStart, uint32_t storedLength,
                 std::string_view words, uint64_t textWords) {
    uint64_t subjectWords = 0;
    ForEachWord(subject, [&](std::string_view w) {
      Note(w, record, true);
      ++subjectWords;
    });
    if (fresh) {
      PutVarint(iNewTexts, static_cast<uint64_t>(lookupStart + 1));
      PutVarint(iNewTexts, storedLength);
      ForEachWord(words, [&](std::string_view w) { Note(w, text, false); });
      iEndText = text + 1;
    }
    PutVarint(iRecords, text);
    PutVarint(iRecords, subjectWords + textWords);
    PutVarint(iRecords, subjectWords);
    if (!iOrdered) {
      iOrder.emplace_back(std::string(storedSubject.substr(0, kOrderSubjectLimit)), record);
      iBytes += storedSubject.size() + 48;
    }
    iEndRecord = record + 1;
  }
  size_t Bytes() const { return iBytes + iRecords.size() + iNewTexts.size(); }
  bool Empty() const { return iEndRecord == iFirstRecord; }

  // The run's bytes; the gatherer is empty again after.
  std::string Take(BookReader& book) {
    std::string out(kRunMagic, sizeof kRunMagic);
    PutLE(out, iKey, 8);
    std::vector<std::pair<std::string_view, Posting*>> terms;
    terms.reserve(iTerms.size());
    for (auto& [term, posting] : iTerms) terms.emplace_back(term, &posting);
    std::sort(terms.begin(), terms.end(),
              [](const auto& a, const auto& b) { return a.first < b.first; });
    std::stable_sort(iOrder.begin(), iOrder.end(), [&](const auto& a, const auto& b) {
      return book.CompareBookSubjects(a.first, b.first) < 0;
    });
    for (uint64_t v : {iFirstRecord, iEndRecord, iFirstText, iEndText}) PutLE(out, v, 4);
    PutLE(out, terms.size(), 4);
    PutLE(out, iOrder.size(), 4);
    out += iNewTexts;
    out += iRecords;
    for (const auto& [term, p] : terms) {
      PutVarint(out, term.size());
      out += term;
      PutVarint(out, p->texts);
      PutVarint(out, p->text.size());
      out += p->text;
      PutVarint(out, p->subjects);
      PutVarint(out, p->subject.size());
      out += p->subject;
    }
    for (const auto& [subject, record] : iOrder) {
      PutVarint(out, subject.size());
      out += subject;
      PutVarint(out, record);
    }
    PutLE(out, XXH3_64bits(out.data(), out.size()), 8);
    iTerms.clear();
    iOrder.clear();
    iRecords.clear();
    iNewTexts.clear();
    iBytes = 0;
    iFirstRecord = iEndRecord;
    iFirstText = iEndText;
    return out;
  }

 private:
  struct Posting {
    std::string text, subject;
    int64_t lastText = -1, lastSubject = -1;
    uint32_t texts = 0, subjects = 0;
  };
  // Notes w in text number at, or in the subject of record number at.
  void Note(std::string_view w, uint32_t at, bool inSubject) {
    auto it = iTerms.find(w);
    if (it == iTerms.end()) {
      it = iTerms.emplace(std::string(w), Posting{}).first;
      iBytes += w.size() + 160;
    }
    Posting& p = it->second;
    std::string& list = inSubject ? p.subject : p.text;
    int64_t& last = inSubject ? p.lastSubject : p.lastText;
    if (last == at) return;
    const size_t before = list.capacity();
    PutVarint(list, static_cast<uint64_t>(at - last));
    iBytes += list.capacity() - before;
    last = at;
    ++(inSubject ? p.subjects : p.texts);
  }
  struct Hash {
    using is_transparent = void;
    size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
  };

  uint64_t iKey;
  bool iOrdered;
  uint64_t iFirstRecord = 0, iEndRecord = 0, iFirstText = 0, iEndText = 0;
  std::unordered_map<std::string, Posting, Hash, std::equal_to<>> iTerms;
  std::vector<std::pair<std::string, uint32_t>> iOrder;
  std::string iRecords, iNewTexts;
  size_t iBytes = 0;
};

// Reads a file from its start through a buffer, as varints and byte runs,
// up to an end set at open; every read is checked against it.
class FileCursor {
 public:
  ~FileCursor() {
    if (iFile) std::fclose(iFile);
  }
  bool Open(const std::string& path, uint64_t trailer) {
    iFile = std::fopen(path.c_str(), "rb");
    if (!iFile || std::fseek(iFile, 0, SEEK_END) != 0) return false;
    const long size = std::ftell(iFile);
    if (size < 0 || static_cast<uint64_t>(size) < trailer || std::fseek(iFile, 0, SEEK_SET) != 0)
      return false;
    iEnd = static_cast<uint64_t>(size) - trailer;
    return true;
  }
  uint64_t End() const { return iEnd; }
  uint64_t Pos() const { return iPos; }
  bool Byte(uint8_t& b) {
    if (iPos >= iEnd || (iAt == iHave && !Fill())) return false;
    b = static_cast<uint8_t>(iBuffer[iAt++]);
    ++iPos;
    return true;
  }
  bool Varint(uint64_t& v) {
    v = 0;
    for (int shift = 0; shift < 64; shift += 7) {
      uint8_t b = 0;
      if (!Byte(b)) return false;
      v |= uint64_t{b & 0x7Fu} << shift;
      if (b < 0x80) return true;
    }
    return false;
  }
  bool Fixed(uint64_t& v, int bytes) {
    v = 0;
    for (int i = 0; i < bytes; ++i) {
      uint8_t b = 0;
      if (!Byte(b)) return false;
      v |= uint64_t{b} << (8 * i);
    }
    return true;
  }
  bool Bytes(uint64_t n, std::string& out) {
    if (n > iEnd - iPos) return false;
    out.clear();
    while (out.size() < n) {
      if (iAt == iHave && !Fill()) return false;
      const size_t take = std::min<size_t>(n - out.size(), iHave - iAt);
      out.append(iBuffer.data() + iAt, take);
      iAt += take;
      iPos += take;
    }
    return true;
  }
  // The XXH3 of the bytes [0, End()), read from the start; the cursor is at
  // the start again after. False when the file cannot be read.
  bool Check(uint64_t& check) {
    XXH3_state_t* state = XXH3_createState();
    if (!state) return false;
    XXH3_64bits_reset(state);
    std::rewind(iFile);
    uint64_t left = iEnd;
    std::string chunk(size_t{1} << 16, '\0');
    bool ok = true;
    while (ok && left > 0) {
      const size_t n = std::fread(chunk.data(), 1, std::min<uint64_t>(left, chunk.size()), iFile);
      ok = n > 0;
      XXH3_64bits_update(state, chunk.data(), n);
      left -= n;
    }
    check = XXH3_64bits_digest(state);
    XXH3_freeState(state);
    iPos = iAt = iHave = 0;
    std::rewind(iFile);
    return ok;
  }
  // The 8 bytes that follow End(), as a number.
  bool Trailer(uint64_t& v) {
    unsigned char b[8];
    if (std::fseek(iFile, static_cast<long>(iEnd), SEEK_SET) != 0 ||
        std::fread(b, 1, 8, iFile) != 8)
      return false;
    v = 0;
    for (int i = 0; i < 8; ++i) v |= uint64_t{b[i]} << (8 * i);
    iPos = iAt = iHave = 0;
    std::rewind(iFile);
    return true;
  }

 private:
  bool Fill() {
    if (iBuffer.empty()) iBuffer.resize(size_t{1} << 16);
    iAt = 0;
    iHave = std::fread(iBuffer.data(), 1, iBuffer.size(), iFile);
    return iHave > 0;
  }
  std::FILE* iFile = nullptr;
  std::string iBuffer;
  size_t iAt = 0, iHave = 0;
  uint64_t iPos = 0, iEnd = 0;
};

// A run file read back: its head checked, then its sections in order.
class Run {
 public:
  bool Load(const std::string& path, uint64_t key, std::string& reason) {
    reason = "a run of the build is damaged";
    uint64_t check = 0, trailer = 0, magic = 0;
    if (!c.Open(path, 8) || !c.Trailer(trailer) || !c.Check(check) || check != trailer ||
        c.End() < kRunHeaderSize || !c.Fixed(magic, 8) ||
        magic != LoadLE(std::string_view(kRunMagic, 8), 0, 8))
      return false;
    uint64_t v[7];
    if (!c.Fixed(v[0], 8)) return false;
    for (int i = 1; i < 7; ++i)
      if (!c.Fixed(v[i], 4)) return false;
    head = {v[0],
            static_cast<uint32_t>(v[1]),
            static_cast<uint32_t>(v[2]),
            static_cast<uint32_t>(v[3]),
            static_cast<uint32_t>(v[4]),
            static_cast<uint32_t>(v[5]),
            static_cast<uint32_t>(v[6])};
    return head.key == key && head.endRecord >= head.firstRecord &&
           head.endText >= head.firstText &&
           head.endText - head.firstText <= head.endRecord - head.firstRecord;
  }
  RunHead head;
  FileCursor c;
};

// The numbers of a list of count distances in the next bytes of c, appended
// to out; false when it does not add up (past limit, or not its length).
bool AppendList(FileCursor& c, uint64_t count, uint64_t bytes, uint64_t limit,
                std::vector<uint32_t>& out) {
  const uint64_t end = c.Pos() + bytes;
  if (bytes > c.End() - c.Pos() || count > bytes) return false;
  uint64_t next = 0;
  for (uint64_t i = 0; i < count; ++i) {
    uint64_t v = 0;
    if (!c.Varint(v) || v == 0 || v > limit - next) return false;
    next += v;
    out.push_back(static_cast<uint32_t>(next - 1));
  }
  return c.Pos() == end;
}

// Writes the index file in order, keeping the check of what it wrote.
class HashedWriter {
 public:
  HashedWriter() : iState(XXH3_createState()) {
    if (iState) XXH3_64bits_reset(iState);
  }
  ~HashedWriter() {
    if (iState) XXH3_freeState(iState);
  }
  bool Open(const std::string& path) { return iState && iFile.Open(path); }
  // Room for the head, written by Finish.
  void Reserve(size_t n) {
    const std::string blank(n, '\0');
    if (std::fwrite(blank.data(), 1, n, iFile.Stream()) != n) iOk = false;
  }
  void Write(std::string_view bytes) {
    if (bytes.empty()) return;
    if (std::fwrite(bytes.data(), 1, bytes.size(), iFile.Stream()) != bytes.size()) iOk = false;
    XXH3_64bits_update(iState, bytes.data(), bytes.size());
    iWritten += bytes.size();
  }
  uint64_t Written() const { return iWritten; }
  uint64_t Digest() const { return XXH3_64bits_digest(iState); }
  // Puts head at the file's start (it is not in the running check), the
  // trailer at its end, and commits.
  bool Finish(std::string_view head, uint64_t trailer) {
    std::string tail;
    PutLE(tail, trailer, 8);
    std::FILE* f = iFile.Stream();
    iOk = iOk && std::fwrite(tail.data(), 1, 8, f) == 8 && std::fseek(f, 0, SEEK_SET) == 0 &&
          std::fwrite(head.data(), 1, head.size(), f) == head.size();
    if (!iOk) {
      iFile.Discard();
      return false;
    }
    return iFile.Commit();
  }

 private:
  AtomicFile iFile;
  XXH3_state_t* iState;
  uint64_t iWritten = 0;
  bool iOk = true;
};

void EncodeList(const std::vector<uint32_t>& list, std::string& out) {
  int64_t last = -1;
  for (uint32_t v : list) {
    PutVarint(out, static_cast<uint64_t>(v - last));
    last = v;
  }
}

class Builder {
 public:
  Builder(const std::string& bookPath, const std::string& indexPath, uint64_t key,
          const BuildOptions& options)
      : iBookPath(bookPath),
        iIndexPath(indexPath),
        iWork(indexPath + ".work"),
        iKey(key),
        iOptions(options) {}

  BuildResult Run(std::string& reason) {
    if (iBook.Open(iBookPath, kOpenReadOnly) != OpenResult::kOk) {
      reason = "the book does not open";
      return BuildResult::kFailed;
    }
    const uint32_t records = static_cast<uint32_t>(std::max(iBook.GetSubjectCount(), 0));
    iOrdered = iBook.IsVersion2() && iBook.GetSorted() != 0;
    std::error_code ec;
    fs::create_directories(iWork, ec);
    if (ec) {
      reason = ec.message();
      return BuildResult::kFailed;
    }
    uint32_t next = Resume();
    if (iOptions.progress) {
      iOptions.progress->SetRange(0, records);
      iOptions.progress->SetPos(next);
    }
    Gatherer gather(iKey, iOrdered);
    gather.Begin(next, static_cast<uint32_t>(iTextWords.size()));
    for (uint32_t r = next; r < records; ++r) {
      if (iOptions.cancel && (r & 255) == 0 && iOptions.cancel->load()) {
        if (!gather.Empty() && !WriteRun(gather.Take(iBook), reason)) return BuildResult::kFailed;
        return BuildResult::kCancelled;
      }
      AddRecord(gather, r);
      if (iOptions.progress && (r & 1023) == 0) iOptions.progress->SetPos(r);
      if (gather.Bytes() >= iOptions.runBytes) {
        if (!WriteRun(gather.Take(iBook), reason)) return BuildResult::kFailed;
        if (iOptions.stopAfterRuns && iRunCount >= iOptions.stopAfterRuns)
          return BuildResult::kCancelled;
      }
    }
    if (!gather.Empty() && !WriteRun(gather.Take(iBook), reason)) return BuildResult::kFailed;
    if (iOptions.progress) iOptions.progress->SetPos(records);
    iKnown = {};  // the merge needs the counts alone
    if (!Merge(records, reason)) {
      fs::remove_all(iWork, ec);
      return BuildResult::kFailed;
    }
    fs::remove_all(iWork, ec);
    // The one reading of the whole index against its check.
    if (!WordIndex::Open(iIndexPath, iKey, reason, true)) {
      fs::remove(iIndexPath, ec);
      return BuildResult::kFailed;
    }
    reason.clear();
    return BuildResult::kBuilt;
  }

 private:
  // Takes up the runs a stopped build left, in order, as long as they are
  // whole and follow each other; the rest go. Returns the next record.
  uint32_t Resume() {
    uint32_t next = 0;
    for (int n = 0;; ++n) {
      const std::string path = (fs::path(iWork) / RunName(n)).string();
      std::error_code ec;
      if (!fs::exists(path, ec)) break;
      const size_t textsBefore = iTextWords.size(), knownBefore = iKnown.size();
      fts::Run run;
      std::string why;
      bool ok = run.Load(path, iKey, why) && run.head.firstRecord == next &&
                run.head.firstText == iTextWords.size();
      // Its new texts and records, to go on with the sharing and the counts.
      for (uint32_t t = run.head.firstText; ok && t < run.head.endText; ++t) {
        uint64_t start = 0, length = 0;
        ok = run.c.Varint(start) && run.c.Varint(length);
        if (ok) Know(start == 0 ? -1 : static_cast<int64_t>(start - 1), length, t);
      }
      std::vector<uint64_t> words;
      for (uint32_t r = run.head.firstRecord; ok && r < run.head.endRecord; ++r) {
        uint64_t text = 0, all = 0, subject = 0;
        ok = run.c.Varint(text) && run.c.Varint(all) && run.c.Varint(subject) &&
             text < run.head.endText && subject <= all;
        if (ok && text >= run.head.firstText) {
          iTextWords.resize(std::max<size_t>(iTextWords.size(), text + 1), 0);
          iTextWords[text] =
              static_cast<uint32_t>(std::min<uint64_t>(all - subject, kWordCountLimit));
        }
      }
      if (!ok || iTextWords.size() != run.head.endText) {
        iTextWords.resize(textsBefore);
        iKnown.resize(knownBefore);
        fs::remove(path, ec);
        break;
      }
      next = run.head.endRecord;
      iRunCount = n + 1;
    }
    // Whatever lies past the runs taken is dropped.
    for (int n = iRunCount;; ++n) {
      std::error_code ec;
      if (!fs::remove((fs::path(iWork) / RunName(n)), ec)) break;
    }
    return next;
  }

  void Know(int64_t start, uint64_t length, uint32_t text) {
    if (start >= 0 && (iKnown.empty() || iKnown.back().start < start))
      iKnown.push_back({start, static_cast<uint32_t>(length), text});
  }

  void AddRecord(Gatherer& gather, uint32_t r) {
    const std::string stored = iBook.GetSubject(static_cast<int>(r));
    const std::string subject = IndexSubject(iBook, stored);
    std::string words;
    int64_t start = -1;
    uint64_t length = 0;
    if (iBook.LoadRecord(static_cast<int>(r)) == 1 && !iBook.CurrentRecordDamaged()) {
      int64_t offset = 0, size = 0;
      if (iBook.SharedTextPlace(static_cast<int>(r), offset, size) && offset >= 0 && size >= 0) {
        start = offset;
        length = static_cast<uint64_t>(size);
      }
      // A text stored once for many records is indexed once.
      if (start >= 0) {
        const auto it = std::lower_bound(iKnown.begin(), iKnown.end(), start,
                                         [](const KnownText& k, int64_t s) { return k.start < s; });
        if (it != iKnown.end() && it->start == start && it->length == length) {
          gather.AddRecord(r, subject, stored, it->text, false, -1, 0, {}, iTextWords[it->text]);
          return;
        }
      }
      words = IndexText(iBook, iBook.CurrentRecordText());
    } else {
      start = -1;
    }
    const auto text = static_cast<uint32_t>(iTextWords.size());
    uint64_t count = 0;
    ForEachWord(words, [&](std::string_view) { ++count; });
    iTextWords.push_back(static_cast<uint32_t>(std::min<uint64_t>(count, kWordCountLimit)));
    const size_t knownBefore = iKnown.size();
    Know(start, length, text);
    gather.AddRecord(r, subject, stored, text, true, iKnown.size() > knownBefore ? start : -1,
                     static_cast<uint32_t>(length), words, count);
  }

  bool WriteRun(const std::string& bytes, std::string& reason) {
    const std::string path = (fs::path(iWork) / RunName(iRunCount)).string();
    if (!WriteFileAtomically(path, bytes, reason)) return false;
    ++iRunCount;
    return true;
  }

  // Merges the runs into the index file: the tables and the postings are
  // written as they are read and merged; the dictionary is kept until the end.
  bool Merge(uint32_t records, std::string& reason) {
    std::vector<fts::Run> runs(static_cast<size_t>(iRunCount));
    for (int n = 0; n < iRunCount; ++n)
      if (!runs[static_cast<size_t>(n)].Load((fs::path(iWork) / RunName(n)).string(), iKey, reason))
        return false;
    const uint32_t texts = static_cast<uint32_t>(iTextWords.size());
    reason = "a run of the build is damaged";
    HashedWriter out;
    if (!out.Open(iIndexPath)) {
      reason = std::strerror(errno ? errno : EIO);
      return false;
    }
    out.Reserve(kIndexHeaderSize);
    // The tables: each record's text and words, and the records of each text.
    std::vector<uint32_t> textOf;
    std::string words, subjectWords;
    textOf.reserve(records);
    uint64_t totalWords = 0;
    for (auto& run : runs) {
      for (uint32_t t = run.head.firstText; t < run.head.endText; ++t) {
        uint64_t a = 0, b = 0;
        if (!run.c.Varint(a) || !run.c.Varint(b)) return false;
      }
      for (uint32_t r = run.head.firstRecord; r < run.head.endRecord; ++r) {
        uint64_t text = 0, all = 0, subject = 0;
        if (!run.c.Varint(text) || !run.c.Varint(all) || !run.c.Varint(subject) || text >= texts ||
            subject > all)
          return false;
        textOf.push_back(static_cast<uint32_t>(text));
        totalWords += all;
        PutLE(words, std::min<uint64_t>(all, 0xFFFF), 2);
        subjectWords += static_cast<char>(std::min<uint64_t>(subject, 0xFF));
      }
    }
    if (textOf.size() != records) return false;
    {
      // Written 64 KiB at a time: the tables are as long as the book has records.
      std::string table;
      auto put = [&](uint64_t v, int bytes) {
        PutLE(table, v, bytes);
        if (table.size() >= (size_t{1} << 16)) {
          out.Write(table);
          table.clear();
        }
      };
      for (uint32_t t : textOf) put(t, 4);
      out.Write(table);
      table.clear();
      out.Write(words);
      out.Write(subjectWords);
      words = subjectWords = {};
      // The records of each text, by a counting sort.
      std::vector<uint32_t> first(uint64_t{texts} + 1, 0);
      for (uint32_t t : textOf) ++first[t + 1];
      for (size_t t = 0; t < texts; ++t) first[t + 1] += first[t];
      for (uint32_t v : first) put(v, 4);
      std::vector<uint32_t> byText(textOf.size());
      for (size_t r = 0; r < textOf.size(); ++r)
        byText[first[textOf[r]]++] = static_cast<uint32_t>(r);
      first = {};
      textOf = {};
      for (uint32_t v : byText) put(v, 4);
      out.Write(table);
    }
    textOf = {};
    const uint64_t postingsAt = kIndexHeaderSize + out.Written();
    // The terms, merged in byte order; each run's lists follow those of the
    // run before, as its records and texts do.
    std::vector<std::string> current(runs.size());
    std::vector<uint32_t> termsLeft(runs.size());
    for (size_t i = 0; i < runs.size(); ++i) termsLeft[i] = runs[i].head.terms;
    auto nextTerm = [&](size_t i) {
      current[i].clear();
      if (termsLeft[i] == 0) return true;
      --termsLeft[i];
      uint64_t n = 0;
      return runs[i].c.Varint(n) && n > 0 && n <= kLongestWord && runs[i].c.Bytes(n, current[i]);
    };
    for (size_t i = 0; i < runs.size(); ++i)
      if (!nextTerm(i)) return false;
    // The dictionary waits in a work file: a book can have as many words as
    // records.
    const std::unique_ptr<std::FILE, int (*)(std::FILE*)> dictFile(OpenWorkFile(), std::fclose);
    if (!dictFile) {
      reason = std::strerror(errno ? errno : EIO);
      return false;
    }
    uint64_t dictFlushed = 0;
    bool dictOk = true;
    std::string dictionary, before, term, list, dictIndex;
    std::vector<uint32_t> textList, subjectList;
    uint64_t terms = 0;
    const uint64_t bitmapBytes = (uint64_t{texts} + 7) / 8;
    for (;;) {
      const std::string* least = nullptr;
      for (const auto& t : current)
        if (!t.empty() && (!least || t < *least)) least = &t;
      if (!least) break;
      term = *least;
      if (!before.empty() && term <= before) return false;
      textList.clear();
      subjectList.clear();
      for (size_t i = 0; i < runs.size(); ++i) {
        if (current[i] != term) continue;
        uint64_t count = 0, bytes = 0;
        FileCursor& c = runs[i].c;
        const size_t textsBefore = textList.size(), subjectsBefore = subjectList.size();
        if (!c.Varint(count) || !c.Varint(bytes) || !AppendList(c, count, bytes, texts, textList) ||
            !c.Varint(count) || !c.Varint(bytes) ||
            !AppendList(c, count, bytes, records, subjectList) || !nextTerm(i) ||
            (textsBefore > 0 && textsBefore < textList.size() &&
             textList[textsBefore - 1] >= textList[textsBefore]) ||
            (subjectsBefore > 0 && subjectsBefore < subjectList.size() &&
             subjectList[subjectsBefore - 1] >= subjectList[subjectsBefore]))
          return false;
      }
      list.clear();
      EncodeList(textList, list);
      bool bitmap = false;
      if (list.size() > bitmapBytes) {
        list.assign(bitmapBytes, '\0');
        for (uint32_t t : textList) list[t / 8] = static_cast<char>(list[t / 8] | (1 << (t % 8)));
        bitmap = true;
      }
      const size_t textBytes = list.size();
      EncodeList(subjectList, list);
      const uint64_t listAt = kIndexHeaderSize + out.Written() - postingsAt;
      out.Write(list);
      const bool blockStart = terms % kTermsPerBlock == 0;
      if (blockStart) {
        if (dictFlushed + dictionary.size() > UINT32_MAX) {
          reason = "the book has too many words";
          return false;
        }
        PutLE(dictIndex, dictFlushed + dictionary.size(), 4);
      }
      size_t shared = 0;
      while (!blockStart && shared < before.size() && shared < term.size() &&
             before[shared] == term[shared])
        ++shared;
      PutVarint(dictionary, shared);
      PutVarint(dictionary, term.size() - shared);
      dictionary.append(term, shared);
      PutVarint(dictionary, textList.size());
      PutVarint(dictionary, textBytes << 1 | (bitmap ? 1 : 0));
      PutVarint(dictionary, subjectList.size());
      PutVarint(dictionary, list.size() - textBytes);
      if (blockStart) PutVarint(dictionary, listAt);
      if (dictionary.size() >= (size_t{1} << 16)) {
        dictOk = dictOk && std::fwrite(dictionary.data(), 1, dictionary.size(), dictFile.get()) ==
                               dictionary.size();
        dictFlushed += dictionary.size();
        dictionary.clear();
      }
      before.swap(term);
      ++terms;
    }
    const uint64_t orderAt = kIndexHeaderSize + out.Written();
    uint64_t orderCount = 0, orderCheck = XXH3_64bits(nullptr, 0);
    if (!iOrdered && !MergeOrder(runs, records, out, orderCount, orderCheck)) return false;
    const uint64_t dictionaryAt = kIndexHeaderSize + out.Written();
    dictOk =
        dictOk &&
        std::fwrite(dictionary.data(), 1, dictionary.size(), dictFile.get()) == dictionary.size() &&
        std::fflush(dictFile.get()) == 0;
    std::rewind(dictFile.get());
    std::string chunk(size_t{1} << 16, '\0');
    for (size_t n = 0;
         dictOk && (n = std::fread(chunk.data(), 1, chunk.size(), dictFile.get())) > 0;)
      out.Write(std::string_view(chunk.data(), n));
    if (!dictOk || std::ferror(dictFile.get())) {
      reason = "the work file of the dictionary could not be written";
      return false;
    }
    const uint64_t dictIndexAt = kIndexHeaderSize + out.Written();
    out.Write(dictIndex);
    const uint64_t size = kIndexHeaderSize + out.Written() + 8;
    std::string head(kIndexMagic, sizeof kIndexMagic);
    for (uint64_t v : {uint64_t{records}, uint64_t{texts}, terms, orderCount}) PutLE(head, v, 4);
    for (uint64_t v : {iKey, uint64_t{kIndexHeaderSize}, postingsAt, orderAt, dictionaryAt,
                       dictIndexAt, size, orderCheck, totalWords})
      PutLE(head, v, 8);
    if (!out.Finish(head, IndexCheck(head, out.Digest()))) {
      reason = std::strerror(errno ? errno : EIO);
      return false;
    }
    return true;
  }

  // The runs' subjects merged into the book's subject order (ties: the
  // record's order), as record numbers.
  bool MergeOrder(std::vector<fts::Run>& runs, uint32_t records, HashedWriter& out, uint64_t& count,
                  uint64_t& check) {
    const std::unique_ptr<XXH3_state_t, XXH_errorcode (*)(XXH3_state_t*)> state(XXH3_createState(),
                                                                                XXH3_freeState);
    if (!state) return false;
    XXH3_64bits_reset(state.get());
    std::string chunk;
    struct Head {
      std::string subject;
      uint64_t record = 0;
      uint32_t left = 0;
      bool live = false;
    };
    std::vector<Head> heads(runs.size());
    auto advance = [&](size_t i) {
      Head& h = heads[i];
      h.live = false;
      if (h.left == 0) return true;
      --h.left;
      uint64_t n = 0;
      if (!runs[i].c.Varint(n) || !runs[i].c.Bytes(n, h.subject) || !runs[i].c.Varint(h.record) ||
          h.record >= records)
        return false;
      h.live = true;
      return true;
    };
    for (size_t i = 0; i < runs.size(); ++i) {
      heads[i].left = runs[i].head.order;
      if (!advance(i)) return false;
    }
    for (;;) {
      int best = -1;
      for (size_t i = 0; i < heads.size(); ++i) {
        if (!heads[i].live) continue;
        if (best < 0) {
          best = static_cast<int>(i);
          continue;
        }
        const Head& b = heads[static_cast<size_t>(best)];
        const int c = iBook.CompareBookSubjects(heads[i].subject, b.subject);
        if (c < 0 || (c == 0 && heads[i].record < b.record)) best = static_cast<int>(i);
      }
      if (best < 0) break;
      PutLE(chunk, heads[static_cast<size_t>(best)].record, 4);
      ++count;
      if (chunk.size() >= (size_t{1} << 16)) {
        XXH3_64bits_update(state.get(), chunk.data(), chunk.size());
        out.Write(chunk);
        chunk.clear();
      }
      if (!advance(static_cast<size_t>(best))) return false;
    }
    XXH3_64bits_update(state.get(), chunk.data(), chunk.size());
    out.Write(chunk);
    check = XXH3_64bits_digest(state.get());
    return count == records;
  }

  std::string iBookPath, iIndexPath, iWork;
  uint64_t iKey;
  BuildOptions iOptions;
  BookReader iBook;
  bool iOrdered = true;
  int iRunCount = 0;
  std::vector<KnownText> iKnown;
  std::vector<uint32_t> iTextWords;  // per text: its words
};

}  // namespace

BuildResult BuildIndex(const std::string& bookPath, const std::string& indexPath, uint64_t key,
                       const BuildOptions& options, std::string& reason) {
  Builder builder(bookPath, indexPath, key, options);
  return builder.Run(reason);
}

std::string EnsureIndex(const std::string& bookPath, const BuildOptions& options,
                        std::string& reason, BuildResult* result) {
  BuildResult got = BuildResult::kFailed;
  std::string path;
  const std::string key = BookContentKey(bookPath, reason);
  uint64_t number = 0;
  if (!key.empty() && ParseKey(key, number)) {
    const std::string folder = IndexFolder();
    std::error_code ec;
    fs::create_directories(folder, ec);
    path = IndexPathForKey(folder, key);
    // The header is checked, and every read after it: an index is checked
    // whole once, as its build's last step, not at every start.
    std::string why;
    if (WordIndex::Open(path, number, why, false)) {
      got = BuildResult::kBuilt;
    } else {
      got = BuildIndex(bookPath, path, number, options, reason);
    }
    if (got != BuildResult::kBuilt) path.clear();
  }
  if (result) *result = got;
  return path;
}

}  // namespace ql::fts
