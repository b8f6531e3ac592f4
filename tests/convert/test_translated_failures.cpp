// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// The reasons an import, an upgrade or a handheld export failed go through
// the window's catalogue once one is handed over: each piece of a reason is
// looked up whole (a translator that marks what it was asked shows which),
// its names and numbers filled in afterwards; without one they are the
// English texts qlbook prints.
#include <gtest/gtest.h>

#include <cerrno>
#include <functional>
#include <string>

#include "book_fixture.h"
#include "book_import.h"
#include "book_reader.h"
#include "byte_sink.h"
#include "import_formats.h"
#include "qlp_writer.h"
#include "upgrade.h"
#include "user_texts.h"

namespace {

// Hands a translator over for one scope, and takes it back however the scope ends.
struct MarkingTranslator {
  MarkingTranslator() {
    ql::SetTextTranslator(
        [](const char*, const char* source) { return "<" + std::string(source) + ">"; });
  }
  ~MarkingTranslator() { ql::SetTextTranslator(nullptr); }
};

// What the page of a damaged record says in its place.
std::string DamagedPageSays(const std::string& path, int record) {
  ql::BookReader book;
  if (book.Open(path, ql::kOpenReadOnly) != ql::OpenResult::kOk) return "no book";
  ql::StringSink page;
  book.RenderRecord(page, {}, record, -1, 0);
  for (const std::string said : {"<This entry is damaged>", "This entry is damaged"})
    if (page.Data().find(said) != std::string::npos) return said;
  return "nothing";
}

std::string ImportFailure(const char* format, const std::string& source) {
  ql::BookImport import(*ql::FindImportFormat(format));
  return import.Open(source) ? std::string() : import.Failure();
}

TEST(TranslatedFailures, EachFamilyIsLookedUpWithATranslatorAndEnglishWithout) {
  qltest::TempDir dir;
  const std::string dictd = dir.File("d"), stardict = dir.File("s");
  qltest::WriteFileBytes(dictd + ".index", "a\tA\n");
  qltest::WriteFileBytes(dictd + ".dict", "text");
  qltest::WriteFileBytes(stardict + ".ifo", "not a StarDict header\n");
  ql::UpgradeFailure overlap{ql::UpgradeResult::kEntriesOverlap, {}};
  const qltest::DamagedBook damaged = qltest::DamagedBooks().front();
  const std::string damagedBook = dir.File("damaged.ql");
  qltest::WriteFileBytes(damagedBook, damaged.bytes);
  ql::UpgradeFailure full{ql::UpgradeResult::kBuildFailed, {ql::BuildResult::kTooLarge, 0, ""}};

  struct Case {
    const char* name;
    std::function<std::string()> text;
    std::string english;
    std::string marked;
  };
  const Case cases[] = {
      {"a text source that is a directory", [&] { return ImportFailure("tagged", dir.Path()); },
       dir.Path() + ": is a directory", dir.Path() + ": <is a directory>"},
      {"a dictd index line", [&] { return ImportFailure("dictd", dictd + ".index"); },
       dictd +
           ".index: line 1: not \"headword TAB offset TAB length\" (the index is damaged, or "
           "is not " +
           dictd + ".dict's)",
       "<" + dictd +
           ".index: <line 1: <not \"headword TAB offset TAB length\">> (the index is "
           "damaged, or is not " +
           dictd + ".dict's)>"},
      {"a StarDict .ifo", [&] { return ImportFailure("stardict", stardict + ".ifo"); },
       stardict + ".ifo: not a StarDict .ifo file: the first line is not \"StarDict's dict ifo "
                  "file\"",
       "<" + stardict +
           ".ifo: not a StarDict .ifo file: <the first line is not \"StarDict's dict "
           "ifo file\">>"},
      {"the handheld export",
       [] {
         return ql::QLPResultText({ql::HandheldResult::kWriteFailed, ENOSPC, "x.pdb"});
       },
       "writing the file failed: disk full", "<writing the file failed>: <disk full>"},
      {"the upgrade's result", [&] { return ql::UpgradeResultText(full); },
       "the book would be larger than its format allows (2 GiB of text)",
       "<the book would be larger than its format allows (2 GiB of text)>"},
      {"the upgrade's failure", [&] { return ql::UpgradeFailureText("old.ql", "new.ql", overlap); },
       "old.ql: the book's entries overlap (one starts inside another), so it is damaged; no book "
       "was written",
       "old.ql: <the book's entries overlap (one starts inside another), so it is "
       "damaged><; no book was written>"},
      {"a damaged record's page", [&] { return DamagedPageSays(damagedBook, damaged.damaged[0]); },
       "This entry is damaged", "<This entry is damaged>"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(c.text(), c.english);
    std::string translated;
    {
      MarkingTranslator marking;
      translated = c.text();
    }
    EXPECT_EQ(translated, c.marked);
    EXPECT_EQ(c.text(), c.english);
  }
}

}  // namespace
