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
#include <limits>
#include <memory>
#include <random>
#include <stdexcept>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "book_reader.h"
#include "fts_search.h"
#include "index_build.h"
#include "plain_text.h"
#include "unicode_text.h"
#include "word_index.h"

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

// Our own: the product's word index (fulltext/), built from the book by
// BuildIndex in the child, as the library builds it.
fs::path OwnPath(const fs::path& dir) {
  return dir / "words.qlx";
}

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
  throw std::runtime_error("no engine " + engine);
}

// The peak of this process alone: a child's ru_maxrss also counts the
// parent's pages it held between fork and exec.
long PeakKb() {
  long peakKb = -1;
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);)
    if (line.starts_with("VmHWM:")) peakKb = std::atol(line.c_str() + 6);
  return peakKb;
}

// The child: builds one index and prints the book text it read, in bytes,
// and its peak resident memory, in KiB.
int BuildChild(const std::string& engine, const std::string& bookPath, const fs::path& dir) {
  if (engine == "own") {
    fs::create_directories(dir);
    std::string reason;
    if (ql::fts::BuildIndex(bookPath, OwnPath(dir), 1, {}, reason) != ql::fts::BuildResult::kBuilt)
      throw std::runtime_error("building the word index failed: " + reason);
    std::printf("0 %ld\n", PeakKb());
    return 0;
  }
  Book book(bookPath);
  auto builder = MakeBuilder(engine, dir);
  FoldedRecord r;
  for (int i = 0; i < book.Count(); ++i) {
    if (!book.Read(i, r)) continue;
    builder->Add(i, Words(r.subject), Words(r.text));
  }
  builder->Finish();
  builder.reset();
  std::printf("%lld %ld\n", static_cast<long long>(book.TextBytes()), PeakKb());
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
  // Whether Top made the hits' snippets already (else they are made here).
  virtual bool MakesSnippets() const { return false; }
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

// The product's search over its index, snippets and all.
class OwnSearcher : public Searcher {
 public:
  OwnSearcher(const fs::path& dir, const std::string& bookPath) {
    std::string reason;
    iIndex = ql::fts::WordIndex::Open(OwnPath(dir), 1, reason);
    if (!iIndex) throw std::runtime_error("the word index: " + reason);
    if (iBook.Open(bookPath, ql::kOpenReadOnly) != ql::OpenResult::kOk)
      throw std::runtime_error("cannot open " + bookPath);
  }
  std::vector<int> Top(const std::vector<std::string>& words, size_t limit) override {
    std::vector<int> out;
    for (const auto& hit : Answer(words, limit).hits) out.push_back(hit.record);
    return out;
  }
  std::vector<int> All(const std::vector<std::string>& words) override {
    std::vector<int> out = Top(words, std::numeric_limits<size_t>::max());
    std::sort(out.begin(), out.end());
    return out;
  }
  bool MakesSnippets() const override { return true; }

 private:
  ql::fts::BookAnswer Answer(const std::vector<std::string>& words, size_t limit) {
    ql::fts::FtsQuery query;
    query.words = words;
    return ql::fts::SearchBook(iBook, iIndex.get(), query, limit);
  }
  std::unique_ptr<ql::fts::WordIndex> iIndex;
  ql::BookReader iBook;
};

std::unique_ptr<Searcher> MakeSearcher(const std::string& engine, const fs::path& dir,
                                       const std::string& bookPath) {
  if (engine.starts_with("xapian")) return std::make_unique<XapianSearcher>(dir);
  if (engine.starts_with("fts5")) return std::make_unique<Fts5Searcher>(dir);
  if (engine == "own") return std::make_unique<OwnSearcher>(dir, bookPath);
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
    auto searcher = MakeSearcher(engine, dir, bookPath);
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
            shown += searcher->MakesSnippets() ? 1 : Snippet(book, record, finders).size();
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
