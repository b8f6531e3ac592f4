// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// Text export, its round trip through the tab-separated import, and the
// upgrade of legacy books, read back with the book reader.
#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <random>

#include "book_builder.h"
#include "book_reader.h"
#include "byte_sink.h"
#include "convert_test_util.h"
#include "upgrade.h"

namespace {

using qltest::Entry;
using namespace std::string_literals;

// What an upgrade ended with: UpgradeResult::kOk, or its failure's code.
ql::UpgradeResult UpgradeCode(const std::optional<ql::UpgradeFailure>& failure) {
  return failure ? failure->code : ql::UpgradeResult::kOk;
}

std::vector<Entry> ReadBack(const std::string& path) {
  ql::BookReader reader;
  EXPECT_EQ(reader.Open(path, ql::kOpenReadOnly), ql::OpenResult::kOk);
  std::vector<Entry> entries;
  for (int i = 0; i < reader.GetSubjectCount(); ++i) {
    Entry e;
    e.subject = reader.GetSubject(i);
    EXPECT_EQ(reader.LoadRecord(i), 1);
    e.text = std::string(reader.CurrentRecordText());
    entries.push_back(e);
  }
  return entries;
}

void ExpectSameEntries(const std::vector<Entry>& got, const std::vector<Entry>& want) {
  ASSERT_EQ(got.size(), want.size());
  for (size_t i = 0; i < got.size(); ++i) {
    EXPECT_EQ(got[i].subject, want[i].subject) << "entry " << i;
    EXPECT_EQ(got[i].text, want[i].text) << "entry " << i;
  }
}

std::string ExportText(const std::string& path, int* count = nullptr) {
  ql::BookReader reader;
  EXPECT_EQ(reader.Open(path, ql::kOpenReadOnly), ql::OpenResult::kOk);
  ql::StringSink sink;
  int n = reader.WriteTabText(sink, nullptr);
  EXPECT_EQ(n, reader.GetSubjectCount());
  if (count) *count = n;
  return sink.Data();
}

TEST(WriteTabText, TagsLinksAndLineEnds) {
  qltest::TempDir dir;
  std::string path = dir.File("b.ql");
  std::string allTags;
  for (int code = 1; code <= 24; ++code)
    if (code != 17) allTags += "\t"s + char(code);
  qltest::WriteFileBytes(path, qltest::BuildBookBytes({
                                   {"all", allTags},
                                   {"links",
                                    "see \t\x11"
                                    "cat>the cat\t\x12 and \t\x11"
                                    "dog\t\x12."},
                                   {"odd",
                                    "a\t\x1e"
                                    "b\t\x00"s},  // unknown code, then a TAB before the end
                                   {"empty", ""},
                                   {"end",
                                    "x\t\x11"
                                    "target"},  // a link cut off by the end of the text
                               }));
  int count = 0;
  std::string text = ExportText(path, &count);
  EXPECT_EQ(count, 5);
  EXPECT_EQ(text,
            "all\t<b></b><i></i><u></u><hr><br><p><li><ol></ol><ul></ul><center></center></a>"
            "<strike></strike><sup></sup><sub></sub>\r\n"
            "links\tsee <a:cat>the cat</a> and <a:dog>dog</a>.\r\n"
            "odd\tab\r\n"
            "empty\t\r\n"
            "end\tx<a:target>target\r\n");

  // An empty book writes nothing; the bar steps once per subject.
  struct Steps final : ql::ProgressSink {
    void SetRange(int64_t, int64_t) override {}
    void SetPos(int64_t) override {}
    void Step() override { ++steps; }
    int steps = 0;
  } bar;
  ql::BookReader reader;
  ASSERT_EQ(reader.Open(path, ql::kOpenReadOnly), ql::OpenResult::kOk);
  ql::StringSink sink;
  EXPECT_EQ(reader.WriteTabText(sink, &bar), 5);
  EXPECT_EQ(bar.steps, 5);
  qltest::WriteFileBytes(dir.File("empty.ql"), qltest::BuildBookBytes({}));
  EXPECT_EQ(ExportText(dir.File("empty.ql")), "");
}

TEST(WriteTabText, ImportReproducesSubjectsAndTexts) {
  // Entries the tab-separated form carries: no empty subject or text, no
  // TAB/CR/LF in subjects, no CR or stray TAB in texts, no literal tags.
  std::mt19937 rng(7);
  std::vector<Entry> entries;
  const std::vector<std::string> pieces = {"word ",
                                           "\t\x01",
                                           "bold\t\x02",
                                           "\t\x08",
                                           "line\nfeed",
                                           "\t\x11"
                                           "target>shown\t\x12",
                                           "<notatag ",
                                           "\xe9t\xe9",
                                           "\t\x0f"
                                           "c\t\x10",
                                           "a > b "};
  for (int i = 0; i < 400; ++i) {
    Entry e;
    e.subject = "entry " + std::to_string(1000 + i) + (i % 3 ? " <b>x" : "");
    int n = 1 + int(rng() % 60);
    for (int k = 0; k < n; ++k) e.text += pieces[rng() % pieces.size()];
    entries.push_back(e);
  }
  qltest::TempDir dir;
  std::string original = dir.File("original.ql");
  qltest::WriteFileBytes(original, qltest::BuildBookBytes(entries));
  std::string text = ExportText(original);

  ql::BookBuilder builder;
  qltest::Import(builder, text, true);
  EXPECT_EQ(builder.iSubjectCount, 400);
  std::string copy = dir.File("copy.ql");
  ASSERT_EQ(builder.WriteBookFile(copy), ql::BuildResult::kOk);
  ExpectSameEntries(ReadBack(copy), entries);
  // And the export of the copy is the same text.
  EXPECT_EQ(ExportText(copy), text);
}

TEST(Upgrade, LegacyBooksOfEveryVersionKeepEveryEntry) {
  // Entries the text form cannot carry pass too: an empty text, an empty
  // subject, TAB, CR and LF in a subject, a literal "<b>", a lone TAB.
  const std::vector<Entry> entries = {
      {"alpha", "plain text"},
      {"empty text", ""},
      {"", "empty subject"},
      {"tab\there", "x"},
      {"line\r\nend", "y"},
      {"literal", "<b> is not bold\tand a stray TAB"},
      {"long", std::string(400, 'L') + "\t\x08" + std::string(30000, 'm')},
      {"zeta", "last"}};
  for (int32_t version : {1, 2, 3, 1001, 1503}) {
    SCOPED_TRACE(version);
    qltest::TempDir dir;
    std::string legacy = dir.File("old.ql");
    std::string legacyBytes = qltest::BuildLegacyBookBytes(entries, version);
    qltest::WriteFileBytes(legacy, legacyBytes);
    ql::BookReader reader;
    ASSERT_EQ(reader.Open(legacy, ql::kOpenReadOnly), ql::OpenResult::kOk);
    ASSERT_FALSE(reader.IsVersion2());
    std::string upgraded = dir.File("new.ql");
    EXPECT_EQ(UpgradeCode(ql::UpgradeBook(reader, upgraded, nullptr)), ql::UpgradeResult::kOk);
    reader.Close();
    EXPECT_EQ(qltest::ReadFileBytes(legacy), legacyBytes);  // the legacy book is untouched
    ExpectSameEntries(ReadBack(upgraded), ReadBack(legacy));
    ExpectSameEntries(ReadBack(upgraded), entries);
    ql::BookReader check;
    ASSERT_EQ(check.Open(upgraded, ql::kOpenReadOnly), ql::OpenResult::kOk);
    EXPECT_TRUE(check.IsVersion2());
    EXPECT_EQ(check.GetSorted(), 0);  // "" after "alpha"
  }
}

TEST(Upgrade, InPlaceOverTheOpenLegacyBook) {
  // The legacy book opened read-write (it gains its marks and bookmark
  // block), upgraded onto its own path, then opened again as version 2.
  const std::vector<Entry> entries = {{"one", "first"}, {"two", ""}, {"three", "x\t\x08y"}};
  qltest::TempDir dir;
  std::string path = dir.File("book.ql");
  qltest::WriteFileBytes(path, qltest::BuildLegacyBookBytes(entries, 3));
  ql::BookReader reader;
  ASSERT_EQ(reader.Open(path, ql::kOpenReadWrite), ql::OpenResult::kOk);
  EXPECT_EQ(UpgradeCode(ql::UpgradeBook(reader, path, nullptr)), ql::UpgradeResult::kOk);
  ASSERT_EQ(reader.Open(path, ql::kOpenReadWrite), ql::OpenResult::kOk);
  EXPECT_TRUE(reader.IsVersion2());
  reader.Close();
  ExpectSameEntries(ReadBack(path), entries);
  size_t files = 0;
  for (const auto& e : std::filesystem::directory_iterator(dir.Path()))
    files += e.is_regular_file();
  EXPECT_EQ(files, 1u);
}

TEST(Upgrade, RefusesVersion2BooksAndKeepsTheTargetOnFailure) {
  qltest::TempDir dir;
  std::string book = dir.File("v2.ql");
  qltest::WriteFileBytes(book, qltest::BuildBookBytes({{"a", "b"}}));
  ql::BookReader reader;
  ASSERT_EQ(reader.Open(book, ql::kOpenReadOnly), ql::OpenResult::kOk);
  EXPECT_EQ(UpgradeCode(ql::UpgradeBook(reader, dir.File("out.ql"), nullptr)),
            ql::UpgradeResult::kNotLegacy);
  ql::BookReader closed;
  EXPECT_EQ(UpgradeCode(ql::UpgradeBook(closed, dir.File("out.ql"), nullptr)),
            ql::UpgradeResult::kNotLegacy);
  EXPECT_FALSE(std::ifstream(dir.File("out.ql")).good());

  std::string legacy = dir.File("old.ql");
  qltest::WriteFileBytes(legacy, qltest::BuildLegacyBookBytes({{"a", "b"}}, 1));
  ql::BookReader old;
  ASSERT_EQ(old.Open(legacy, ql::kOpenReadOnly), ql::OpenResult::kOk);
  const std::optional<ql::UpgradeFailure> failure =
      ql::UpgradeBook(old, dir.File("missing/out.ql"), nullptr);
  ASSERT_TRUE(failure);
  EXPECT_EQ(failure->code, ql::UpgradeResult::kBuildFailed);
  EXPECT_EQ(failure->build.code, ql::BuildResult::kIoFailed);
  EXPECT_EQ(failure->build.error, ENOENT);
  EXPECT_EQ(failure->build.path, dir.File("missing/out.ql"));
}

TEST(ImportMends, LongSubjectsReadBack) {
  std::string subject(7000, 's');
  subject += " end";
  ql::BookBuilder builder;
  qltest::Import(builder, "<new>" + subject + "\r\ntext\r\n<new>b\r\nsecond", false);
  qltest::TempDir dir;
  ASSERT_EQ(builder.WriteBookFile(dir.File("b.ql")), ql::BuildResult::kOk);
  ExpectSameEntries(ReadBack(dir.File("b.ql")), {{subject, "text"}, {"b", "second"}});
}

}  // namespace
