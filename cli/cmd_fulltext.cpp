// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// qlbook index and qlbook fts: the books' word indexes built (or removed)
// from the command line, and a full-text query answered over many books at
// once, their hits merged best first. A book without an index is searched
// by the walk; a book that does not open is named and the others go on.
#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "cli_util.h"
#include "fts_search.h"
#include "index_build.h"
#include "index_store.h"
#include "library.h"
#include "local_files.h"
#include "plain_text.h"
#include "std_streams.h"
#include "word_index.h"

namespace qlcli {

namespace {

constexpr int kDefaultLimit = 20;
constexpr int kMostLimit = 10000;

struct IndexArgs {
  std::vector<std::string> books;
  bool remove = false;
};

struct FtsArgs {
  std::string query;
  std::vector<std::string> books;
  int limit = kDefaultLimit;
  bool json = false;
};

void SayNoBooks() {
  std::fputs("qlbook: no books: name them, or add them to the library\n", stderr);
}

// One line on stdout at once, so that a pipe sees each book as it is done.
bool WriteLine(const std::string& line) {
  if (WriteOut(line) && FlushOut()) return true;
  FailOutput();
  return false;
}

// Which file stands at path: the same inode and change time after a call
// means the call left it as it was.
struct FileId {
  bool there = false;
  dev_t device = 0;
  ino_t inode = 0;
  struct timespec changed {};
  bool operator==(const FileId& o) const {
    return there == o.there && device == o.device && inode == o.inode &&
           changed.tv_sec == o.changed.tv_sec && changed.tv_nsec == o.changed.tv_nsec;
  }
};

FileId IdOf(const std::string& path) {
  FileId id;
  struct stat st {};
  if (path.empty() || stat(path.c_str(), &st) != 0) return id;
  id.there = true;
  id.device = st.st_dev;
  id.inode = st.st_ino;
  id.changed = st.st_ctim;
  return id;
}

// "built", "kept" or "failed: REASON" for one book.
std::string IndexBook(const std::string& path) {
  const ql::BookStatus status = ql::ProbeBook(path);
  if (status.state != ql::BookState::kOpen) return "failed: " + status.reason;
  const FileId before = IdOf(ql::fts::IndexPathFor(path));
  std::string reason;
  std::string indexPath;
  {
    TerminalProgress progress("Indexing " + Shown(std::string(ql::FileNameOf(path))));
    ql::fts::BuildOptions options;
    options.progress = &progress;
    indexPath = ql::fts::EnsureIndex(path, options, reason);
  }
  if (indexPath.empty()) return "failed: " + (reason.empty() ? "the index was not built" : reason);
  return before.there && IdOf(indexPath) == before ? "kept" : "built";
}

// "removed", "none", "kept: ..." (another book of the same content still
// reads it) or "failed: REASON" for one book.
std::string RemoveIndex(const std::string& path) {
  std::string reason;
  if (ql::fts::BookContentKey(path, reason).empty())
    return "failed: " + (reason.empty() ? "the book cannot be read" : reason);
  const std::string indexPath = ql::fts::IndexPathFor(path);
  if (ql::fts::RemoveIndexFor(path)) return "removed";
  return IdOf(indexPath).there ? "kept: a book of the same content uses it" : "none";
}

void RunIndex(const IndexArgs& args) {
  const std::vector<std::string> paths = BooksNamed(args.books);
  if (paths.empty()) SayNoBooks();
  bool failed = false;
  for (const std::string& path : paths) {
    const std::string state = args.remove ? RemoveIndex(path) : IndexBook(path);
    failed |= state.starts_with("failed: ");
    if (!WriteLine(Shown(path) + "\t" + state + "\n")) return;
  }
  ExitStatus() = failed ? kExitFailure : kExitOk;
}

// A hit with where it came from, for the merge.
struct BookHit {
  size_t book = 0;
  bool indexed = false;
  ql::fts::FtsHit hit;
};

// TAB, CR and LF as spaces, so a field stays on its line and in its column.
std::string OnOneLine(std::string text) {
  std::replace_if(
      text.begin(), text.end(), [](char c) { return c == '\t' || c == '\r' || c == '\n'; }, ' ');
  return text;
}

std::string ScoreText(double score) {
  char text[64];
  std::snprintf(text, sizeof text, "%.3f", std::isfinite(score) ? score : 0.0);
  return text;
}

std::string TextLine(const std::string& path, const ql::fts::FtsHit& hit) {
  return path + "\t" + std::to_string(hit.record) + "\t" + ScoreText(hit.score) + "\t" +
         OnOneLine(hit.subject) + "\t" + OnOneLine(ql::fts::BracketMarks(hit)) + "\n";
}

std::string JsonLine(const std::string& path, const BookHit& h) {
  std::string line = "{\"book\":";
  AppendJsonString(line, ql::LenientUtf8(path));
  line += ",\"index\":" + std::to_string(h.hit.record) + ",\"score\":" + ScoreText(h.hit.score);
  line += ",\"subject\":";
  AppendJsonString(line, h.hit.subject);
  line += ",\"snippet\":";
  AppendJsonString(line, h.hit.snippet);
  line += ",\"marks\":[";
  for (size_t i = 0; i < h.hit.marks.size(); ++i) {
    if (i > 0) line += ',';
    line += "[" + std::to_string(h.hit.marks[i].offset) + "," +
            std::to_string(h.hit.marks[i].length) + "]";
  }
  line += "],\"indexed\":";
  line += h.indexed ? "true" : "false";
  line += "}\n";
  return line;
}

// The best hits of one book, at most limit, added to hits; false (said on
// stderr) when the book could not be searched.
bool SearchOneBook(const std::string& path, size_t book, const ql::fts::FtsQuery& query,
                   size_t limit, std::vector<BookHit>& hits) {
  ql::BookReader reader;
  if (!OpenBook(reader, path, ql::kOpenReadOnly)) return false;
  const std::unique_ptr<ql::fts::WordIndex> index = ql::fts::OpenIndexFor(path, true);
  ql::fts::BookAnswer answer = ql::fts::SearchBook(reader, index.get(), query, limit);
  if (!answer.reason.empty()) {
    Fail(path + ": " + answer.reason);
    return false;
  }
  if (!answer.indexed)
    std::fprintf(stderr, "qlbook: %s: not indexed, searched by the walk\n", Shown(path).c_str());
  // The search gives a Windows-1252 book's subject in UTF-8 already; a
  // UTF-8 book's stored bytes are made sure of.
  for (ql::fts::FtsHit& hit : answer.hits) {
    hit.subject = ql::LenientUtf8(hit.subject);
    hits.push_back({book, answer.indexed, std::move(hit)});
  }
  return true;
}

void RunFts(const FtsArgs& args) {
  if (args.limit < 1 || args.limit > kMostLimit) {
    UsageError("--limit must be 1 to " + std::to_string(kMostLimit));
    return;
  }
  ql::fts::FtsQuery query;
  std::string reason;
  if (!ql::fts::ParseFtsQuery(args.query, query, reason)) {
    UsageError(reason.empty() ? "the query finds nothing" : reason);
    return;
  }
  const std::vector<std::string> paths = BooksNamed(args.books);
  if (paths.empty()) SayNoBooks();
  const auto limit = static_cast<size_t>(args.limit);
  // Best first; ties in the order the books were named, then the records'.
  // Only the best limit are kept from one book to the next.
  const auto best = [limit](std::vector<BookHit>& hits) {
    std::stable_sort(hits.begin(), hits.end(), [](const BookHit& a, const BookHit& b) {
      if (a.hit.score != b.hit.score) return a.hit.score > b.hit.score;
      if (a.book != b.book) return a.book < b.book;
      return a.hit.record < b.hit.record;
    });
    if (hits.size() > limit) hits.resize(limit);
  };
  std::vector<BookHit> hits;
  for (size_t book = 0; book < paths.size(); ++book) {
    SearchOneBook(paths[book], book, query, limit, hits);
    best(hits);
  }
  std::string out;
  for (const BookHit& h : hits) {
    const std::string path = Shown(paths[h.book]);
    out += args.json ? JsonLine(path, h) : TextLine(path, h.hit);
  }
  if (!WriteOut(out)) {
    FailOutput();
    return;
  }
  ExitStatus() = hits.empty() ? kExitFailure : kExitOk;
}

}  // namespace

void AddFulltextCommands(CLI::App& app) {
  auto index = std::make_shared<IndexArgs>();
  CLI::App* indexCommand = app.add_subcommand(
      "index",
      "Build the full-text index of each book: the books and folders (their .ql files) named, or "
      "the library's books when none is named. An index already built and sound is kept. One "
      "line a book: PATH<TAB>STATE, STATE being \"built\", \"kept\" or \"failed: REASON\". The "
      "indexes live in $XDG_CACHE_HOME/quillary/index; a build that was stopped goes on from "
      "where it was at the next run. Exits 1 when a book could not be indexed");
  indexCommand->add_option("BOOK", index->books, "Books (.ql) and folders of books")
      ->transform(StdinFile());
  indexCommand->add_flag("--remove", index->remove,
                         "Remove the books' indexes instead: PATH<TAB>removed, PATH<TAB>none "
                         "when the book had none, or PATH<TAB>kept: REASON when another book "
                         "of the same content uses it");
  indexCommand->callback([index] { RunIndex(*index); });

  auto fts = std::make_shared<FtsArgs>();
  CLI::App* ftsCommand = app.add_subcommand(
      "fts",
      "Search the text of many books for QUERY: the books and folders named, or the library's "
      "books when none is named. QUERY's words must all be in the record's subject or text; "
      "\"a phrase\" must be there as it stands, word* is any word that begins so, -word must "
      "not be there. Prints the best hits of all the books first, one a line: "
      "PATH<TAB>INDEX<TAB>SCORE<TAB>SUBJECT<TAB>SNIPPET, in UTF-8, the query's words marked "
      "[like this] in the snippet. A book without an index is searched by the walk, and said "
      "so on stderr. Exits 1 when nothing was found; a book that does not open is named on "
      "stderr and the others go on");
  ftsCommand->add_option("QUERY", fts->query, "The words to find")->required();
  ftsCommand->add_option("BOOK", fts->books, "Books (.ql) and folders of books")
      ->transform(StdinFile());
  ftsCommand->add_option("--limit", fts->limit, "Print at most N hits, 1 to 10000 (default 20)")
      ->type_name("N");
  ftsCommand->add_flag("--json", fts->json,
                       "Write one JSON object a line per hit (UTF-8): book, index, score, "
                       "subject, snippet, marks (the [offset,length] in bytes of each word "
                       "marked in the snippet) and indexed (false: searched by the walk)");
  ftsCommand->callback([fts] { RunFts(*fts); });
}

}  // namespace qlcli
