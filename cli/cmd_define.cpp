// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// qlbook define: a word looked up in many books at once (the library's, or
// the books and folders named), each book's entry printed as plain text or
// as JSON. Books open lazily and are looked up side by side; a book that
// fails is named on stderr and the others go on.
#include <langinfo.h>

#include <algorithm>
#include <clocale>
#include <condition_variable>
#include <cstring>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "book_text.h"
#include "cli_util.h"
#include "local_files.h"
#include "plain_text.h"
#include "shelf.h"
#include "std_streams.h"

namespace qlcli {

namespace {

struct DefineArgs {
  std::string word;
  std::vector<std::string> books;
  bool prefix = false;
  bool json = false;
};

std::string TitleOf(const std::string& path) {
  return std::string(ql::FileNameOf(path));
}

// A section's book text as UTF-8, whichever form its book keeps.
std::string AsUtf8(const ql::LookupSection& s, std::string_view text) {
  return s.unicode ? ql::LenientUtf8(text) : ql::Cp1252ToUtf8(text);
}

std::string JsonLine(const ql::LookupSection& s) {
  std::string line = "{\"book\":";
  AppendJsonString(line, ql::LenientUtf8(s.path));
  line += ",\"title\":";
  AppendJsonString(line, ql::LenientUtf8(s.title));
  line += ",\"index\":" + std::to_string(s.index) + ",\"subject\":";
  AppendJsonString(line, AsUtf8(s, s.subject));
  line += ",\"text\":";
  AppendJsonString(line, AsUtf8(s, ql::RecordPlainText(s.record)));
  line += ",\"html\":";
  AppendJsonString(line, AsUtf8(s, s.html));
  line += "}\n";
  return line;
}

void RunDefine(const DefineArgs& args) {
  std::setlocale(LC_CTYPE, "");
  const bool utf8 = std::strcmp(nl_langinfo(CODESET), "UTF-8") == 0;

  const std::vector<std::string> paths = BooksNamed(args.books);

  // A UTF-8 terminal's word is asked of each book in its own form (a
  // Windows-1252 book lacking one of its characters has no such subject);
  // other terminals give the bytes books store.
  const std::string key = args.word;

  std::vector<ql::ShelfBook> books;
  for (const std::string& p : paths) books.push_back({p, TitleOf(p)});
  ql::Shelf::Options options;
  options.keepReaders = false;
  options.renderPages = args.json;
  ql::Shelf shelf(options);
  shelf.SetBooks(books);

  std::mutex mutex;
  std::condition_variable doneChanged;
  bool done = false;
  std::vector<ql::LookupSection> sections;
  std::invoke(
      utf8 ? &ql::Shelf::LookUpText : &ql::Shelf::LookUp, shelf, key,
      args.prefix ? ql::MatchPrefix : ql::MatchWhole,
      [&](uint64_t, ql::LookupSection s) {
        std::lock_guard lock(mutex);
        sections.push_back(std::move(s));
      },
      [&](uint64_t) {
        std::lock_guard lock(mutex);
        done = true;
        doneChanged.notify_all();
      },
      -1);
  {
    std::unique_lock lock(mutex);
    doneChanged.wait(lock, [&] { return done; });
  }
  std::sort(sections.begin(), sections.end(),
            [](const auto& a, const auto& b) { return a.book < b.book; });

  bool any = false;
  std::string out;
  for (const ql::LookupSection& s : sections) {
    if (s.failed) {
      Fail("cannot open " + s.path + ": " + s.reason);
      continue;
    }
    if (args.json) {
      out += JsonLine(s);
    } else {
      if (any) out += '\n';
      const std::string text = ql::RecordPlainText(s.record);
      out += "== " + s.title + " ==\n";
      if (utf8)
        out += AsUtf8(s, text);
      else if (s.unicode)
        out += ql::ConvertText(text, ql::TextForm::kUtf8, ql::TextForm::kCp1252);
      else
        out += text;
    }
    any = true;
  }
  if (!WriteOut(out)) {
    FailOutput();
    return;
  }
  ExitStatus() = any ? kExitOk : kExitFailure;
}

}  // namespace

void AddDefineCommand(CLI::App& app) {
  auto args = std::make_shared<DefineArgs>();
  CLI::App* define = app.add_subcommand(
      "define",
      "Look WORD up in many books at once: the books and folders (their .ql files) named, or "
      "the library's books when none is named. For each book that has it: a line "
      "\"== TITLE ==\", then the entry as plain text, in the terminal's character set. With "
      "--json: one JSON object a line per book (UTF-8): book (its path), title, index, "
      "subject, text (the plain text) and html (the entry's page). Exits 1 when no book has "
      "WORD; a book that does not open is named on stderr and the others go on");
  define->add_option("WORD", args->word, "The subject to find")->required();
  define->add_option("BOOK", args->books, "Books (.ql) and folders of books")
      ->transform(StdinFile());
  define->add_flag("--prefix", args->prefix,
                   "Find a subject that begins with WORD, as typing in the lookup line does");
  define->add_flag("--json", args->json, "Write one JSON object a line per book");
  define->callback([args] { RunDefine(*args); });
}

}  // namespace qlcli
