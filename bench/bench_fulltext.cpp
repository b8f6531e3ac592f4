// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// The candidates for the full-text index, measured on one book: each builds,
// in a folder of its own, an index of every record (one document a record,
// the subject weighted above the text), in a child process of this program
// so that its peak resident memory is its own. Then, in this process: the
// index's size, the time of a two-word query answering its first 20 hits
// with snippets read from the book, whether every query finds exactly the
// records a plain walk over the book's text finds, and the first hits of a
// few fixed queries.
//
// The words are the book's own, as its search folds them: the record's text
// without its markup (RecordPlainText), folded with FoldUtf8, cut into runs
// of letters, marks and digits (IsWordCodePoint). Every candidate is given
// the same words, so the walk checks what each index keeps and answers.
//
// Usage: bench_fulltext BOOK WORKDIR [--queries N] [--checks N]
//          [--engines E,E...]   (default: all of them; see kEngines)
//        bench_fulltext --build ENGINE BOOK DIR     (the child: builds one index)
#include <sqlite3.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <xapian.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <random>
#include <stdexcept>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "book_reader.h"
#include "plain_text.h"
#include "unicode_text.h"

namespace fs = std::filesystem;

namespace {

// Longer runs are no words anyone looks for; no candidate keeps them.
constexpr size_t kLongestWord = 64;
// A word of the subject counts as this many in the text.
constexpr unsigned kSubjectWeight = 4;
constexpr size_t kHitsShown = 20;

using Clock = std::chrono::steady_clock;
double Since(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// Calls f(word) for every word of folded text.
template <class F>
void ForEachWord(std::string_view text, F&& f) {
  size_t p = 0;
  while (p < text.size()) {
    char32_t cp = 0;
    size_t n = ql::DecodeUtf8(text, p, cp);
    if (!ql::IsWordCodePoint(cp)) {
      p += n;
      continue;
    }
    const size_t start = p;
    while (p < text.size() && ql::IsWordCodePoint(cp)) {
      p += n;
      n = ql::DecodeUtf8(text, p, cp);
    }
    if (p - start <= kLongestWord) f(text.substr(start, p - start));
  }
}

std::vector<std::string_view> Words(std::string_view text) {
  std::vector<std::string_view> out;
  ForEachWord(text, [&](std::string_view w) { out.push_back(w); });
  return out;
}

// One record as the index takes it: its subject and its plain text, folded.
struct FoldedRecord {
  std::string subject, text;
};

class Book {
 public:
  explicit Book(const std::string& path) {
    if (iReader.Open(path, ql::kOpenReadOnly) != ql::OpenResult::kOk)
      throw std::runtime_error("cannot open " + path);
    if (!iReader.IsUnicode()) throw std::runtime_error(path + " is no version 2002 book");
  }
  int Count() const { return iReader.GetSubjectCount(); }
  // Record index folded; false when it cannot be read.
  bool Read(int index, FoldedRecord& out) {
    if (iReader.LoadRecord(index) != 1) return false;
    iTextBytes += static_cast<int64_t>(iReader.CurrentRecordText().size());
    out.subject = ql::FoldUtf8(iReader.GetSubject(index));
    out.text = ql::FoldUtf8(ql::RecordPlainText(iReader.CurrentRecordText()));
    return true;
  }
  // The record's text as shown, not folded, and its subject.
  std::string PlainText(int index) {
    if (iReader.LoadRecord(index) != 1) return {};
    return ql::RecordPlainText(iReader.CurrentRecordText());
  }
  std::string Subject(int index) { return iReader.GetSubject(index); }
  int64_t TextBytes() const { return iTextBytes; }

 private:
  ql::BookReader iReader;
  int64_t iTextBytes = 0;
};

// ---------------------------------------------------------------- builders

class Builder {
 public:
  virtual ~Builder() = default;
  virtual void Add(int record, const std::vector<std::string_view>& subject,
                   const std::vector<std::string_view>& text) = 0;
  virtual void Finish() = 0;
};

// Reads the book and nothing more: the floor every build stands on.
class NoIndex : public Builder {
 public:
  void Add(int, const std::vector<std::string_view>&,
           const std::vector<std::string_view>&) override {}
  void Finish() override {}
};

class XapianBuilder : public Builder {
 public:
  // compact: the database compacted into one file in the end, and only that kept.
  XapianBuilder(const fs::path& dir, bool positions, bool compact = false)
      : iDir((fs::create_directories(dir), dir)),
        iDb((compact ? dir / "build" : dir).string(),
            Xapian::DB_CREATE_OR_OVERWRITE | Xapian::DB_BACKEND_GLASS),
        iPositions(positions),
        iCompact(compact) {}
  void Add(int, const std::vector<std::string_view>& subject,
           const std::vector<std::string_view>& text) override {
    Xapian::Document doc;
    Xapian::termpos pos = 1;
    auto add = [&](std::string_view w, unsigned weight) {
      if (iPositions)
        doc.add_posting(std::string(w), pos++, weight);
      else
        doc.add_term(std::string(w), weight);
    };
    for (std::string_view w : subject) add(w, kSubjectWeight);
    pos += 100;  // no phrase runs from the subject into the text
    for (std::string_view w : text) add(w, 1);
    iDb.add_document(doc);  // document ids run from 1: record + 1
  }
  void Finish() override {
    iDb.commit();
    iDb.close();
    if (!iCompact) return;
    Xapian::Database(iDir / "build")
        .compact((iDir / "compact").string(), Xapian::DBCOMPACT_SINGLE_FILE);
    fs::remove_all(iDir / "build");
  }

 private:
  fs::path iDir;
  Xapian::WritableDatabase iDb;
  bool iPositions, iCompact;
};

void Exec(sqlite3* db, const char* sql) {
  char* error = nullptr;
  if (sqlite3_exec(db, sql, nullptr, nullptr, &error) != SQLITE_OK) {
    std::string message = error ? error : "?";
    sqlite3_free(error);
    throw std::runtime_error(std::string("sqlite: ") + message + " in " + sql);
  }
}

fs::path SqlitePath(const fs::path& dir) {
  return dir / "index.db";
}

// A contentless table: the text stays in the book, the index keeps the words.
class Fts5Builder : public Builder {
 public:
  Fts5Builder(const fs::path& dir, const char* detail) {
    fs::create_directories(dir);
    if (sqlite3_open(SqlitePath(dir).c_str(), &iDb) != SQLITE_OK)
      throw std::runtime_error("sqlite: cannot create the index");
    Exec(iDb, "PRAGMA journal_mode=OFF; PRAGMA synchronous=OFF;");
    // The words come folded and cut: joined by spaces, the ascii tokenizer
    // gives them back as they are (it keeps every byte from 0x80 on in a word).
    const std::string create =
        std::string(
            "CREATE VIRTUAL TABLE t USING fts5(subject, text, content='', tokenize='ascii', "
            "detail=") +
        detail + ")";
    Exec(iDb, create.c_str());
    Exec(iDb, "BEGIN");
    if (sqlite3_prepare_v2(iDb, "INSERT INTO t(rowid, subject, text) VALUES(?1, ?2, ?3)", -1,
                           &iInsert, nullptr) != SQLITE_OK)
      throw std::runtime_error("sqlite: prepare");
  }
  ~Fts5Builder() override {
    sqlite3_finalize(iInsert);
    sqlite3_close(iDb);
  }
  void Add(int record, const std::vector<std::string_view>& subject,
           const std::vector<std::string_view>& text) override {
    Join(subject, iSubject);
    Join(text, iText);
    sqlite3_bind_int64(iInsert, 1, record + 1);
    sqlite3_bind_text(iInsert, 2, iSubject.data(), static_cast<int>(iSubject.size()),
                      SQLITE_STATIC);
    sqlite3_bind_text(iInsert, 3, iText.data(), static_cast<int>(iText.size()), SQLITE_STATIC);
    if (sqlite3_step(iInsert) != SQLITE_DONE) throw std::runtime_error("sqlite: insert");
    sqlite3_reset(iInsert);
  }
  void Finish() override {
    Exec(iDb, "COMMIT");
    Exec(iDb, "INSERT INTO t(t) VALUES('optimize')");
    const std::string rank =
        "INSERT INTO t(t, rank) VALUES('rank', 'bm25(" + std::to_string(kSubjectWeight) + ", 1)')";
    Exec(iDb, rank.c_str());
  }

 private:
  static void Join(const std::vector<std::string_view>& words, std::string& out) {
    out.clear();
    for (std::string_view w : words) {
      if (!out.empty()) out += ' ';
      out += w;
    }
  }
  sqlite3* iDb = nullptr;
  sqlite3_stmt* iInsert = nullptr;
  std::string iSubject, iText;
};

// Our own. Records with the same words in their text (the book shares one
// text among many subjects) are one text here. For every word: the texts
// holding it, as varints of the distance from the text before (the first
// from -1), or as a bitmap of every text where that is smaller; then the
// records holding it in their subject, as distances again. A sorted,
// front-coded dictionary; every record's text and number of words. One file:
//   "QLWORDS3", u32 records, u32 terms, u32 texts, u32 0, u64 tables offset,
//   u64 dictionary offset; the postings; the tables (per record: varint
//   text, then per record: varint words); the dictionary (per term: varint
//   bytes shared with the term before, varint rest, the rest's bytes, varint
//   texts, varint (list bytes << 1 | bitmap), varint subject records,
//   varint subject list bytes).
constexpr char kOwnMagic[8] = {'Q', 'L', 'W', 'O', 'R', 'D', 'S', '3'};
constexpr size_t kOwnHeader = 40;

void PutVarint(std::string& out, uint64_t v) {
  while (v >= 0x80) {
    out += static_cast<char>(v | 0x80);
    v >>= 7;
  }
  out += static_cast<char>(v);
}

void PutFixed(std::string& out, uint64_t v, int bytes) {
  for (int i = 0; i < bytes; ++i) out += static_cast<char>(v >> (8 * i));
}

fs::path OwnPath(const fs::path& dir) {
  return dir / "words.idx";
}

class OwnBuilder : public Builder {
 public:
  explicit OwnBuilder(const fs::path& dir) : iPath(OwnPath(dir)) { fs::create_directories(dir); }
  void Add(int record, const std::vector<std::string_view>& subject,
           const std::vector<std::string_view>& text) override {
    for (std::string_view w : subject) Note(w, record, true);
    // Two hashes of the words in order name the text; a new one is indexed.
    uint64_t a = 14695981039346656037u, b = 0;
    for (std::string_view w : text) {
      for (char c : w) a = (a ^ static_cast<uint8_t>(c)) * 1099511628211u;
      a = (a ^ ' ') * 1099511628211u;
      b = b * 31 + std::hash<std::string_view>{}(w);
    }
    const auto [it, added] = iTexts.try_emplace({a, b}, static_cast<int>(iTexts.size()));
    if (added)
      for (std::string_view w : text) Note(w, it->second, false);
    iTextOf.resize(static_cast<size_t>(record) + 1, 0);
    iTextOf[static_cast<size_t>(record)] = static_cast<uint32_t>(it->second);
    iLengths.resize(static_cast<size_t>(record) + 1, 0);
    iLengths[static_cast<size_t>(record)] = static_cast<uint32_t>(subject.size() + text.size());
  }
  void Finish() override {
    std::vector<std::pair<std::string_view, const Posting*>> terms;
    terms.reserve(iTerms.size());
    for (const auto& [term, posting] : iTerms) terms.emplace_back(term, &posting);
    std::sort(terms.begin(), terms.end());
    std::string out(kOwnHeader, '\0');
    const size_t bitmapBytes = (iTexts.size() + 7) / 8;
    std::vector<bool> bitmap(terms.size());
    for (size_t i = 0; i < terms.size(); ++i) {
      const Posting& posting = *terms[i].second;
      bitmap[i] = bitmapBytes < posting.text.size();
      if (bitmap[i]) {
        std::string bits(bitmapBytes, '\0');
        int64_t at = -1;
        for (size_t p = 0; p < posting.text.size();) {
          uint64_t v = 0;
          for (int shift = 0;; shift += 7) {
            const auto byte = static_cast<uint8_t>(posting.text[p++]);
            v |= uint64_t{byte & 0x7Fu} << shift;
            if (byte < 0x80) break;
          }
          at += static_cast<int64_t>(v);
          bits[static_cast<size_t>(at) / 8] |= static_cast<char>(1 << (at % 8));
        }
        out += bits;
      } else {
        out += posting.text;
      }
      out += posting.subject;
    }
    const uint64_t tablesAt = out.size();
    for (uint32_t t : iTextOf) PutVarint(out, t);
    for (uint32_t n : iLengths) PutVarint(out, n);
    const uint64_t dictionaryAt = out.size();
    std::string_view before;
    for (size_t i = 0; i < terms.size(); ++i) {
      const auto& [term, posting] = terms[i];
      size_t shared = 0;
      while (shared < before.size() && shared < term.size() && before[shared] == term[shared])
        ++shared;
      PutVarint(out, shared);
      PutVarint(out, term.size() - shared);
      out.append(term.substr(shared));
      PutVarint(out, posting->texts);
      PutVarint(out, (bitmap[i] ? bitmapBytes : posting->text.size()) << 1 | bitmap[i]);
      PutVarint(out, posting->subjects);
      PutVarint(out, posting->subject.size());
      before = term;
    }
    std::string head(kOwnMagic, sizeof kOwnMagic);
    PutFixed(head, iLengths.size(), 4);
    PutFixed(head, terms.size(), 4);
    PutFixed(head, iTexts.size(), 4);
    PutFixed(head, 0, 4);
    PutFixed(head, tablesAt, 8);
    PutFixed(head, dictionaryAt, 8);
    out.replace(0, kOwnHeader, head);
    // Written aside and renamed: no half-written index where a good one stood.
    const fs::path part = iPath.string() + ".part";
    {
      std::ofstream file(part, std::ios::binary | std::ios::trunc);
      file.write(out.data(), static_cast<std::streamsize>(out.size()));
      if (!file.flush()) throw std::runtime_error("cannot write " + part.string());
    }
    fs::rename(part, iPath);
  }

 private:
  struct Posting {
    std::string text, subject;
    int lastText = -1, lastSubject = -1;
    uint32_t texts = 0, subjects = 0;
  };
  // Notes w in text number at, or in the subject of record number at.
  void Note(std::string_view w, int at, bool inSubject) {
    auto it = iTerms.find(w);
    if (it == iTerms.end()) it = iTerms.emplace(std::string(w), Posting{}).first;
    Posting& p = it->second;
    std::string& list = inSubject ? p.subject : p.text;
    int& last = inSubject ? p.lastSubject : p.lastText;
    if (last == at) return;
    PutVarint(list, static_cast<uint64_t>(at - last));
    last = at;
    ++(inSubject ? p.subjects : p.texts);
  }
  struct Hash {
    using is_transparent = void;
    size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
    size_t operator()(const std::pair<uint64_t, uint64_t>& p) const { return p.first ^ p.second; }
  };
  fs::path iPath;
  std::unordered_map<std::string, Posting, Hash, std::equal_to<>> iTerms;
  std::unordered_map<std::pair<uint64_t, uint64_t>, int, Hash> iTexts;
  std::vector<uint32_t> iTextOf, iLengths;
};

const std::vector<std::string> kEngines = {
    "read",      "xapian-positions", "xapian",    "xapian-compact",
    "fts5-full", "fts5-column",      "fts5-none", "own"};

std::unique_ptr<Builder> MakeBuilder(const std::string& engine, const fs::path& dir) {
  if (engine == "read") return std::make_unique<NoIndex>();
  if (engine == "xapian-positions") return std::make_unique<XapianBuilder>(dir, true);
  if (engine == "xapian") return std::make_unique<XapianBuilder>(dir, false);
  if (engine == "xapian-compact") return std::make_unique<XapianBuilder>(dir, false, true);
  if (engine == "fts5-full") return std::make_unique<Fts5Builder>(dir, "full");
  if (engine == "fts5-column") return std::make_unique<Fts5Builder>(dir, "column");
  if (engine == "fts5-none") return std::make_unique<Fts5Builder>(dir, "none");
  if (engine == "own") return std::make_unique<OwnBuilder>(dir);
  throw std::runtime_error("no engine " + engine);
}

// The child: builds one index and prints the book text it read, in bytes,
// and its peak resident memory, in KiB.
int BuildChild(const std::string& engine, const std::string& bookPath, const fs::path& dir) {
  Book book(bookPath);
  auto builder = MakeBuilder(engine, dir);
  FoldedRecord r;
  for (int i = 0; i < book.Count(); ++i) {
    if (!book.Read(i, r)) continue;
    builder->Add(i, Words(r.subject), Words(r.text));
  }
  builder->Finish();
  builder.reset();
  // The peak of this process alone: a child's ru_maxrss also counts the
  // parent's pages it held between fork and exec.
  long peakKb = -1;
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);)
    if (line.starts_with("VmHWM:")) peakKb = std::atol(line.c_str() + 6);
  std::printf("%lld %ld\n", static_cast<long long>(book.TextBytes()), peakKb);
  return 0;
}

// ---------------------------------------------------------------- searchers

class Searcher {
 public:
  virtual ~Searcher() = default;
  // The records holding every word, best first, at most limit of them.
  virtual std::vector<int> Top(const std::vector<std::string>& words, size_t limit) = 0;
  // Every record holding every word, in order.
  virtual std::vector<int> All(const std::vector<std::string>& words) = 0;
};

class XapianSearcher : public Searcher {
 public:
  explicit XapianSearcher(const fs::path& dir)
      : iDb((fs::exists(dir / "compact") ? dir / "compact" : dir).string()) {}
  std::vector<int> Top(const std::vector<std::string>& words, size_t limit) override {
    Xapian::Enquire enquire(iDb);
    enquire.set_query(Query(words));
    enquire.set_weighting_scheme(Xapian::BM25Weight());
    return Ids(enquire.get_mset(0, static_cast<Xapian::doccount>(limit)));
  }
  std::vector<int> All(const std::vector<std::string>& words) override {
    Xapian::Enquire enquire(iDb);
    enquire.set_query(Query(words));
    enquire.set_weighting_scheme(Xapian::BoolWeight());
    enquire.set_docid_order(Xapian::Enquire::ASCENDING);
    return Ids(enquire.get_mset(0, iDb.get_doccount()));
  }

 private:
  static Xapian::Query Query(const std::vector<std::string>& words) {
    return Xapian::Query(Xapian::Query::OP_AND, words.begin(), words.end());
  }
  static std::vector<int> Ids(const Xapian::MSet& mset) {
    std::vector<int> out;
    for (auto it = mset.begin(); it != mset.end(); ++it) out.push_back(static_cast<int>(*it) - 1);
    return out;
  }
  Xapian::Database iDb;
};

class Fts5Searcher : public Searcher {
 public:
  explicit Fts5Searcher(const fs::path& dir) {
    if (sqlite3_open_v2(SqlitePath(dir).c_str(), &iDb, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK)
      throw std::runtime_error("sqlite: cannot open the index");
    if (sqlite3_prepare_v2(iDb, "SELECT rowid FROM t WHERE t MATCH ?1 ORDER BY rank LIMIT ?2", -1,
                           &iTop, nullptr) != SQLITE_OK ||
        sqlite3_prepare_v2(iDb, "SELECT rowid FROM t WHERE t MATCH ?1", -1, &iAll, nullptr) !=
            SQLITE_OK)
      throw std::runtime_error(std::string("sqlite: ") + sqlite3_errmsg(iDb));
  }
  ~Fts5Searcher() override {
    sqlite3_finalize(iTop);
    sqlite3_finalize(iAll);
    sqlite3_close(iDb);
  }
  std::vector<int> Top(const std::vector<std::string>& words, size_t limit) override {
    sqlite3_bind_int64(iTop, 2, static_cast<sqlite3_int64>(limit));
    return Run(iTop, words);
  }
  std::vector<int> All(const std::vector<std::string>& words) override {
    std::vector<int> out = Run(iAll, words);
    std::sort(out.begin(), out.end());
    return out;
  }

 private:
  std::vector<int> Run(sqlite3_stmt* st, const std::vector<std::string>& words) {
    // Each word a string of its own: "a" "b" asks for both.
    std::string match;
    for (const std::string& w : words) {
      if (!match.empty()) match += ' ';
      match += '"';
      for (char c : w) match.append(c == '"' ? 2 : 1, c);
      match += '"';
    }
    sqlite3_bind_text(st, 1, match.data(), static_cast<int>(match.size()), SQLITE_TRANSIENT);
    std::vector<int> out;
    int rc = 0;
    while ((rc = sqlite3_step(st)) == SQLITE_ROW)
      out.push_back(static_cast<int>(sqlite3_column_int64(st, 0)) - 1);
    sqlite3_reset(st);
    if (rc != SQLITE_DONE) throw std::runtime_error(std::string("sqlite: ") + sqlite3_errmsg(iDb));
    return out;
  }
  sqlite3* iDb = nullptr;
  sqlite3_stmt* iTop = nullptr;
  sqlite3_stmt* iAll = nullptr;
};

// Reads the file of OwnBuilder; every value is checked against the file, so
// a damaged index is refused (an exception) and never read outside its bytes.
class OwnSearcher : public Searcher {
 public:
  explicit OwnSearcher(const fs::path& dir) {
    std::ifstream file(OwnPath(dir), std::ios::binary);
    iBytes.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    if (iBytes.size() < kOwnHeader || iBytes.compare(0, 8, kOwnMagic, 8) != 0) Damaged();
    const uint64_t records = Fixed(8, 4), terms = Fixed(12, 4);
    iTextCount = Fixed(16, 4);
    const uint64_t tablesAt = Fixed(24, 8), dictionaryAt = Fixed(32, 8);
    if (tablesAt < kOwnHeader || tablesAt > dictionaryAt || dictionaryAt > iBytes.size() ||
        records > (dictionaryAt - tablesAt) / 2 || terms > iBytes.size() - dictionaryAt ||
        iTextCount > records)
      Damaged();
    size_t p = tablesAt;
    iTextOf.reserve(records);
    for (uint64_t i = 0; i < records; ++i) {
      iTextOf.push_back(static_cast<uint32_t>(Varint(p, dictionaryAt)));
      if (iTextOf.back() >= iTextCount) Damaged();
    }
    // The records of each text, by a counting sort.
    iFirstRecord.assign(iTextCount + 1, 0);
    for (uint32_t t : iTextOf) ++iFirstRecord[t + 1];
    for (size_t t = 0; t < iTextCount; ++t) iFirstRecord[t + 1] += iFirstRecord[t];
    iRecordsOf.resize(records);
    std::vector<uint32_t> fill(iFirstRecord.begin(), iFirstRecord.end() - 1);
    for (size_t r = 0; r < records; ++r) iRecordsOf[fill[iTextOf[r]]++] = static_cast<uint32_t>(r);
    iLengths.reserve(records);
    double total = 0;
    for (uint64_t i = 0; i < records; ++i) {
      iLengths.push_back(
          static_cast<uint32_t>(std::min<uint64_t>(Varint(p, dictionaryAt), 1u << 30)));
      total += iLengths.back();
    }
    iAverage = records ? std::max(1.0, total / static_cast<double>(records)) : 1.0;
    p = dictionaryAt;
    uint64_t postingAt = kOwnHeader;
    std::string term;
    iTerms.reserve(terms);
    for (uint64_t i = 0; i < terms; ++i) {
      const uint64_t shared = Varint(p, iBytes.size()), rest = Varint(p, iBytes.size());
      if (shared > term.size() || rest > iBytes.size() - p) Damaged();
      term.resize(shared);
      term.append(iBytes, p, rest);
      p += rest;
      const uint64_t texts = Varint(p, iBytes.size()), field = Varint(p, iBytes.size());
      const uint64_t subjects = Varint(p, iBytes.size()), subjectLength = Varint(p, iBytes.size());
      const uint64_t length = field >> 1;
      const bool bitmap = field & 1;
      if (length > tablesAt - postingAt || subjectLength > tablesAt - postingAt - length ||
          texts > iTextCount || subjects > records || subjects > subjectLength ||
          (bitmap ? length != (iTextCount + 7) / 8 : texts > length) ||
          (!iTerms.empty() && term <= iTerms.back().term))
        Damaged();
      iTerms.push_back({term, postingAt, length, postingAt + length, subjectLength,
                        static_cast<uint32_t>(texts), static_cast<uint32_t>(subjects), bitmap});
      postingAt += length + subjectLength;
    }
  }
  std::vector<int> Top(const std::vector<std::string>& words, size_t limit) override {
    std::vector<Word> lists;
    std::vector<std::pair<double, int>> scored;
    for (const auto& [record, inSubject] : Match(words, lists))
      scored.emplace_back(-Score(lists, record, inSubject), record);
    const size_t n = std::min(limit, scored.size());
    std::partial_sort(scored.begin(), scored.begin() + static_cast<std::ptrdiff_t>(n),
                      scored.end());
    std::vector<int> out;
    for (size_t i = 0; i < n; ++i) out.push_back(scored[i].second);
    return out;
  }
  std::vector<int> All(const std::vector<std::string>& words) override {
    std::vector<Word> lists;
    std::vector<int> out;
    for (const auto& hit : Match(words, lists)) out.push_back(hit.first);
    return out;
  }

 private:
  struct Term {
    std::string term;
    uint64_t at, length, subjectAt, subjectLength;
    uint32_t texts, subjects;
    bool bitmap;
  };
  // One query word: the texts holding it and the records holding it in their subject.
  struct Word {
    std::vector<uint32_t> texts, subjects;
    double idf = 0;
  };
  using Hit = std::pair<int, std::vector<bool>>;  // a record, and each word in its subject
  [[noreturn]] static void Damaged() { throw std::runtime_error("the word index is damaged"); }
  uint64_t Fixed(size_t at, int bytes) const {
    uint64_t v = 0;
    for (int i = 0; i < bytes; ++i)
      v |= uint64_t{static_cast<uint8_t>(iBytes[at + static_cast<size_t>(i)])} << (8 * i);
    return v;
  }
  uint64_t Varint(size_t& p, size_t end) const {
    uint64_t v = 0;
    for (int shift = 0; shift < 64; shift += 7) {
      if (p >= end) Damaged();
      const auto b = static_cast<uint8_t>(iBytes[p++]);
      v |= uint64_t{b & 0x7Fu} << shift;
      if (b < 0x80) return v;
    }
    Damaged();
  }
  // The count numbers below limit coded as distances in the length bytes at at.
  std::vector<uint32_t> Deltas(size_t at, size_t length, uint32_t count, uint64_t limit) const {
    std::vector<uint32_t> out;
    out.reserve(count);
    const size_t end = at + length;
    uint64_t next = 0;  // number + 1: the first distance counts from -1
    for (uint32_t i = 0; i < count; ++i) {
      const uint64_t v = Varint(at, end);
      if (v == 0 || v > limit - next) Damaged();
      next += v;
      out.push_back(static_cast<uint32_t>(next - 1));
    }
    return out;
  }
  static bool Has(const std::vector<uint32_t>& sorted, uint32_t v) {
    return std::binary_search(sorted.begin(), sorted.end(), v);
  }
  // Every record holding every word in its text or its subject, in order;
  // lists gets the words' lists.
  std::vector<Hit> Match(const std::vector<std::string>& words, std::vector<Word>& lists) const {
    const double n = static_cast<double>(iTextOf.size());
    for (const std::string& w : words) {
      auto it = std::lower_bound(iTerms.begin(), iTerms.end(), w,
                                 [](const Term& t, const std::string& s) { return t.term < s; });
      if (it == iTerms.end() || it->term != w) return {};
      Word word;
      if (it->bitmap) {
        for (uint32_t t = 0; t < iTextCount; ++t)
          if (static_cast<uint8_t>(iBytes[it->at + t / 8]) >> (t % 8) & 1) word.texts.push_back(t);
      } else {
        word.texts = Deltas(it->at, it->length, it->texts, iTextCount);
      }
      word.subjects = Deltas(it->subjectAt, it->subjectLength, it->subjects, iTextOf.size());
      const double count = static_cast<double>(word.texts.size() + word.subjects.size());
      word.idf = std::log(1 + (n - count + 0.5) / (count + 0.5));
      lists.push_back(std::move(word));
    }
    if (lists.empty()) return {};
    // The texts holding every word, then their records; and the records with
    // a word in the subject, that hold the others in the one or the other.
    std::vector<uint32_t> texts = lists[0].texts, both;
    for (size_t k = 1; k < lists.size(); ++k) {
      both.clear();
      std::set_intersection(texts.begin(), texts.end(), lists[k].texts.begin(),
                            lists[k].texts.end(), std::back_inserter(both));
      texts.swap(both);
    }
    std::vector<uint32_t> records;
    for (uint32_t t : texts)
      records.insert(records.end(), iRecordsOf.begin() + iFirstRecord[t],
                     iRecordsOf.begin() + iFirstRecord[t + 1]);
    for (const Word& word : lists)
      for (uint32_t r : word.subjects)
        if (std::all_of(lists.begin(), lists.end(), [&](const Word& other) {
              return Has(other.subjects, r) || Has(other.texts, iTextOf[r]);
            }))
          records.push_back(r);
    std::sort(records.begin(), records.end());
    records.erase(std::unique(records.begin(), records.end()), records.end());
    std::vector<Hit> hits;
    for (uint32_t r : records) {
      std::vector<bool> inSubject;
      for (const Word& word : lists) inSubject.push_back(Has(word.subjects, r));
      hits.emplace_back(static_cast<int>(r), std::move(inSubject));
    }
    return hits;
  }
  // BM25 with the word counted once in the text and kSubjectWeight more
  // times when it is in the subject (the index keeps no counts).
  double Score(const std::vector<Word>& lists, int record,
               const std::vector<bool>& inSubject) const {
    constexpr double k1 = 1.2, b = 0.75;
    const double norm = 1 - b + b * iLengths[static_cast<size_t>(record)] / iAverage;
    double score = 0;
    for (size_t k = 0; k < lists.size(); ++k) {
      const double tf = 1 + (inSubject[k] ? kSubjectWeight : 0);
      score += lists[k].idf * tf * (k1 + 1) / (tf + k1 * norm);
    }
    return score;
  }
  std::string iBytes;
  uint64_t iTextCount = 0;
  std::vector<uint32_t> iTextOf, iFirstRecord, iRecordsOf, iLengths;
  double iAverage = 1;
  std::vector<Term> iTerms;
};

std::unique_ptr<Searcher> MakeSearcher(const std::string& engine, const fs::path& dir) {
  if (engine.starts_with("xapian")) return std::make_unique<XapianSearcher>(dir);
  if (engine.starts_with("fts5")) return std::make_unique<Fts5Searcher>(dir);
  if (engine == "own") return std::make_unique<OwnSearcher>(dir);
  return nullptr;
}

// ---------------------------------------------------------------- the walk

// Whether folded text holds word as a whole word.
// Whether text[at, end) stands as a word of its own: no word character
// right before or after it. at must be where a unit starts.
bool WholeWordAt(std::string_view text, size_t at, size_t end) {
  char32_t cp = 0;
  if (at > 0) {
    size_t back = at - 1;
    while (back > 0 && at - back < 4 && (static_cast<uint8_t>(text[back]) & 0xC0) == 0x80) --back;
    if (ql::DecodeUtf8(text, back, cp) == at - back && ql::IsWordCodePoint(cp)) return false;
  }
  return end >= text.size() || ql::DecodeUtf8(text, end, cp) == 0 || !ql::IsWordCodePoint(cp);
}

bool HoldsWord(std::string_view text, std::string_view word) {
  // A word starts with a whole character, so every at is where a unit starts.
  for (size_t at = text.find(word); at != std::string_view::npos; at = text.find(word, at + 1))
    if (WholeWordAt(text, at, at + word.size())) return true;
  return false;
}

std::vector<int> Walk(const std::vector<FoldedRecord>& records,
                      const std::vector<std::string>& words) {
  std::vector<int> out;
  for (size_t i = 0; i < records.size(); ++i) {
    bool all = true;
    for (const std::string& w : words)
      all = all && (HoldsWord(records[i].subject, w) || HoldsWord(records[i].text, w));
    if (all) out.push_back(static_cast<int>(i));
  }
  return out;
}

// ---------------------------------------------------------------- snippets

// Text on one line: every run of spaces, line ends and no-break spaces one space.
std::string Flatten(std::string_view text) {
  std::string out;
  for (size_t p = 0; p < text.size(); ++p) {
    const bool nbsp = text.substr(p, 2) == "\xC2\xA0";
    if (nbsp || text[p] == ' ' || text[p] == '\n') {
      if (!out.empty() && out.back() != ' ') out += ' ';
      p += nbsp;
    } else {
      out += text[p];
    }
  }
  return out;
}

// A snippet of the record's text around the first query word, with every
// query word in it marked [like this].
std::string Snippet(Book& book, int record, const std::vector<ql::Utf8FoldedFinder>& finders) {
  constexpr size_t kBefore = 30, kAfter = 70;
  const std::string text = Flatten(book.PlainText(record));
  std::vector<ql::Utf8FoldedFinder::Hit> hits;
  for (const auto& f : finders) {
    ql::Utf8FoldedFinder::Scan scan(f, text, 0);
    while (auto hit = scan.Next())
      if (WholeWordAt(text, hit->offset, hit->offset + hit->length)) hits.push_back(*hit);
  }
  std::sort(hits.begin(), hits.end(), [](auto& a, auto& b) { return a.offset < b.offset; });
  const size_t first = hits.empty() ? 0 : hits[0].offset;
  size_t from = first > kBefore ? first - kBefore : 0;
  size_t to = std::min(text.size(), first + kAfter);
  while (from > 0 && (static_cast<uint8_t>(text[from]) & 0xC0) == 0x80) --from;
  while (to < text.size() && (static_cast<uint8_t>(text[to]) & 0xC0) == 0x80) ++to;
  const std::string_view window(text.data() + from, to - from);
  std::string out;
  size_t p = 0;
  for (const auto& h : hits) {
    if (h.offset < from + p || h.offset + h.length > to) continue;
    const size_t at = h.offset - from;
    out.append(window.substr(p, at - p));
    out += '[';
    out.append(window.substr(at, h.length));
    out += ']';
    p = at + h.length;
  }
  out.append(window.substr(p));
  return out;
}

// ---------------------------------------------------------------- the parent

struct Built {
  double wall = 0, cpu = 0;
  long peakKb = 0;
  int64_t textBytes = 0;
  bool ok = false;
};

Built RunBuild(const std::string& engine, const std::string& bookPath, const fs::path& dir) {
  fs::remove_all(dir);
  const fs::path out = dir.string() + ".out";
  Built built;
  const auto start = Clock::now();
  const pid_t pid = fork();
  if (pid < 0) return built;
  if (pid == 0) {
    FILE* f = std::freopen(out.c_str(), "w", stdout);
    if (!f) _exit(127);
    execl("/proc/self/exe", "bench_fulltext", "--build", engine.c_str(), bookPath.c_str(),
          dir.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  int status = 0;
  rusage usage{};
  if (wait4(pid, &status, 0, &usage) != pid) return built;
  built.wall = Since(start);
  built.cpu = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
              static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
  std::ifstream result(out);
  long long bytes = 0;
  built.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0 && (result >> bytes >> built.peakKb);
  built.textBytes = bytes;
  return built;
}

uint64_t SizeOnDisk(const fs::path& dir) {
  uint64_t total = 0;
  if (!fs::exists(dir)) return 0;
  for (const auto& e : fs::recursive_directory_iterator(dir))
    if (e.is_regular_file()) total += e.file_size();
  return total;
}

// Two different words of at least three bytes from one record, drawn at random.
std::vector<std::string> RandomQuery(const std::vector<FoldedRecord>& records, std::mt19937& rng) {
  std::uniform_int_distribution<size_t> pick(0, records.size() - 1);
  for (;;) {
    const FoldedRecord& r = records[pick(rng)];
    std::vector<std::string_view> words = Words(r.text);
    std::erase_if(words, [](std::string_view w) { return w.size() < 3; });
    std::sort(words.begin(), words.end());
    words.erase(std::unique(words.begin(), words.end()), words.end());
    if (words.size() < 2) continue;
    std::shuffle(words.begin(), words.end(), rng);
    return {std::string(words[0]), std::string(words[1])};
  }
}

double Quantile(std::vector<double> v, double q) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  return v[std::min(v.size() - 1, static_cast<size_t>(q * static_cast<double>(v.size())))];
}

struct Row {
  std::string engine;
  Built built;
  uint64_t size = 0;
  double median = 0, p90 = 0;
  int exact = 0, checked = 0;
  int ranked = 0, rankable = 0;  // fixed queries whose first hit holds them in its subject
  int64_t missing = 0, extra = 0;
};

int Measure(const std::string& bookPath, const fs::path& work, int queries, int checks,
            const std::vector<std::string>& engines) {
  fs::create_directories(work);
  const uint64_t bookSize = fs::file_size(bookPath);
  Book book(bookPath);
  std::vector<FoldedRecord> records(static_cast<size_t>(book.Count()));
  for (int i = 0; i < book.Count(); ++i) book.Read(i, records[static_cast<size_t>(i)]);
  std::mt19937 rng(19);
  std::vector<std::vector<std::string>> timed, checked;
  for (int i = 0; i < queries; ++i) timed.push_back(RandomQuery(records, rng));
  for (int i = 0; i < checks; ++i) checked.push_back(RandomQuery(records, rng));
  std::vector<std::vector<int>> truth;
  std::vector<double> walkTimes;
  for (const auto& q : checked) {
    const auto start = Clock::now();
    truth.push_back(Walk(records, q));
    walkTimes.push_back(Since(start) * 1e3);
  }
  const std::vector<std::vector<std::string>> fixed = {
      {"water"}, {"horse", "race"}, {"red", "wine"}, {"musical", "instrument"}};
  std::vector<Row> rows;
  std::vector<std::string> ranking;
  for (const std::string& engine : engines) {
    Row row;
    row.engine = engine;
    const fs::path dir = work / engine;
    row.built = RunBuild(engine, bookPath, dir);
    if (!row.built.ok) {
      std::fprintf(stderr, "bench_fulltext: building %s failed\n", engine.c_str());
      rows.push_back(row);
      continue;
    }
    row.size = SizeOnDisk(dir);
    auto searcher = MakeSearcher(engine, dir);
    if (searcher) {
      for (size_t i = 0; i < checked.size(); ++i) {
        const std::vector<int> found = searcher->All(checked[i]);
        std::vector<int> missing, extra;
        std::set_difference(truth[i].begin(), truth[i].end(), found.begin(), found.end(),
                            std::back_inserter(missing));
        std::set_difference(found.begin(), found.end(), truth[i].begin(), truth[i].end(),
                            std::back_inserter(extra));
        row.missing += static_cast<int64_t>(missing.size());
        row.extra += static_cast<int64_t>(extra.size());
        row.exact += missing.empty() && extra.empty();
        ++row.checked;
      }
      std::vector<double> times;
      size_t shown = 0;
      for (int pass = 0; pass < 2; ++pass)  // the first pass brings the index into the page cache
        for (const auto& q : timed) {
          const auto start = Clock::now();
          std::vector<ql::Utf8FoldedFinder> finders(q.begin(), q.end());
          for (int record : searcher->Top(q, kHitsShown))
            shown += Snippet(book, record, finders).size();
          if (pass == 1) times.push_back(Since(start) * 1e3);
        }
      row.median = Quantile(times, 0.5);
      row.p90 = Quantile(times, 0.9);
      for (const auto& q : fixed) {
        auto inSubject = [&](size_t record) {
          return std::all_of(q.begin(), q.end(), [&](const std::string& w) {
            return HoldsWord(records[record].subject, w);
          });
        };
        bool any = false;
        for (size_t i = 0; i < records.size() && !any; ++i) any = inSubject(i);
        if (any) {
          ++row.rankable;
          const auto top = searcher->Top(q, 1);
          row.ranked += !top.empty() && inSubject(static_cast<size_t>(top[0]));
        }
        std::string line = "  " + engine + ":";
        std::vector<ql::Utf8FoldedFinder> finders(q.begin(), q.end());
        for (int record : searcher->Top(q, 3)) line += " | " + book.Subject(record);
        if (const auto top = searcher->Top(q, 1); !top.empty())
          line += "\n      " + Snippet(book, top[0], finders);
        ranking.push_back(line);
      }
      if (shown == 0)
        std::fprintf(stderr, "bench_fulltext: %s showed no snippets\n", engine.c_str());
    }
    rows.push_back(row);
  }
  const double textMb = static_cast<double>(rows[0].built.textBytes) / 1e6;
  const double bookMb = static_cast<double>(bookSize) / 1e6;
  std::printf("%s: %d records, %.1f MB of record text, book %.1f MB\n",
              fs::path(bookPath).filename().c_str(), book.Count(), textMb, bookMb);
  std::printf(
      "targets: build >= 10 MB/s of text (%.1f s here), peak <= 200 MB, size <= book "
      "(%.1f MB; aim %.1f), 20 hits + snippets <= 5 ms\n",
      textMb / 10, bookMb, bookMb / 2);
  std::printf("  %-17s %7s %7s %7s %8s %8s %6s %7s %7s %9s %5s\n", "engine", "wall s", "cpu s",
              "MB/s", "peak MB", "size MB", "x book", "q50 ms", "q90 ms", "exact", "rank");
  for (const Row& r : rows) {
    const double mbps = r.built.cpu > 0 ? textMb / r.built.cpu : 0;
    std::string exact = "-";
    if (r.checked > 0) {
      exact = std::to_string(r.exact) + "/" + std::to_string(r.checked);
      if (r.missing || r.extra)
        exact += " (-" + std::to_string(r.missing) + " +" + std::to_string(r.extra) + ")";
    }
    const double peakMb = static_cast<double>(r.built.peakKb) * 1024 / 1e6;
    std::string verdict = r.built.ok ? "" : "FAILED";
    if (r.built.ok && r.checked > 0) {
      if (mbps < 10) verdict += " build";
      if (peakMb > 200) verdict += " peak";
      if (r.size > bookSize) verdict += " size";
      if (r.median > 5) verdict += " query";
      if (r.exact < r.checked) verdict += " exact";
      if (r.ranked < r.rankable) verdict += " rank";
      verdict = verdict.empty() ? "PASS" : "MISS:" + verdict;
    }
    std::string rank = "-";
    if (r.checked > 0) rank = std::to_string(r.ranked) + "/" + std::to_string(r.rankable);
    char times[32] = "      -       -";
    if (r.checked > 0) std::snprintf(times, sizeof times, "%7.2f %7.2f", r.median, r.p90);
    std::printf("  %-17s %7.2f %7.2f %7.1f %8.1f %8.1f %6.2f %s %9s %5s  %s\n", r.engine.c_str(),
                r.built.wall, r.built.cpu, mbps, peakMb, static_cast<double>(r.size) / 1e6,
                static_cast<double>(r.size) / static_cast<double>(bookSize), times, exact.c_str(),
                rank.c_str(), verdict.c_str());
  }
  std::printf("  %-17s %7s %7s %7s %8s %8s %6s %7.2f %7.2f %9s\n", "walk (in memory)", "", "", "",
              "", "", "", Quantile(walkTimes, 0.5), Quantile(walkTimes, 0.9), "(every hit)");
  std::printf(
      "(MB/s: record text per cpu second of the build, reading the book included; "
      "q: %d random two-word queries, first %zu hits with snippets; exact: %d random "
      "queries against the walk; rank: fixed queries whose first hit holds them in its subject)\n",
      queries, kHitsShown, checks);
  std::printf("first hits (subjects) and the first snippet:\n");
  for (size_t i = 0; i < fixed.size(); ++i) {
    std::string q;
    for (const auto& w : fixed[i]) q += (q.empty() ? "" : " ") + w;
    std::printf(" %s\n", q.c_str());
    for (size_t e = 0; e * fixed.size() + i < ranking.size(); ++e)
      std::printf("%s\n", ranking[e * fixed.size() + i].c_str());
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    if (argc == 5 && std::strcmp(argv[1], "--build") == 0)
      return BuildChild(argv[2], argv[3], argv[4]);
    if (argc < 3) {
      std::fprintf(stderr,
                   "usage: bench_fulltext BOOK WORKDIR [--queries N] [--checks N]\n"
                   "       bench_fulltext --build ENGINE BOOK DIR\n");
      return 2;
    }
    int queries = 200, checks = 30;
    std::vector<std::string> engines = kEngines;
    for (int i = 3; i + 1 < argc; i += 2) {
      if (std::strcmp(argv[i], "--queries") == 0) queries = std::max(1, std::atoi(argv[i + 1]));
      if (std::strcmp(argv[i], "--checks") == 0) checks = std::max(1, std::atoi(argv[i + 1]));
      if (std::strcmp(argv[i], "--engines") == 0) {
        engines = {"read"};  // its row gives the text the others read
        std::string list = argv[i + 1];
        for (size_t at = 0; at <= list.size();) {
          const size_t comma = std::min(list.find(',', at), list.size());
          if (comma > at && list.substr(at, comma - at) != "read")
            engines.push_back(list.substr(at, comma - at));
          at = comma + 1;
        }
      }
    }
    return Measure(argv[1], argv[2], queries, checks, engines);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "bench_fulltext: %s\n", e.what());
    return 1;
  }
}
