// qlbook import of dictionaries, run as a program: the format from the
// extension or --format, the results text byte for byte, and the exit codes
// and messages when a file is missing or damaged.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

#include "book_fixture.h"
#include "book_reader.h"
#include "dict_fixture.h"
#include "qlbook_runner.h"

namespace {

using testing::HasSubstr;

TEST(CliDictImport, FormatFromTheExtensionAndTheResultsText) {
  qltest::TempDir dir;
  qltest::WriteDictd(dir.File("d"),
                     {{"pear", "pear\n  {apple}\n"}, {"apple", "\xE2\x98\x83"}, {"pear", "2"}},
                     qltest::DictText::kDictzip);
  const std::string book = dir.File("d.ql");
  qltest::QlbookRun run = qltest::RunQlbook({"import", dir.File("d.index"), book});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out,
            "Number of subjects:   \t2\nFile sorted status:       \tYes\n"
            "Characters without a Windows-1252 form (written as ?):\t1\n"
            "Entries merged into the record of the same headword:\t1\n");
  ql::BookReader reader;
  ASSERT_EQ(reader.Open(book, ql::kOpenReadOnly), ql::kOpenOk);
  EXPECT_EQ(reader.GetSubject(0), "apple");
  EXPECT_EQ(reader.GetSorted(), 1);

  qltest::WriteStarDict(dir.File("s"), {{"b", "two"}, {"a", "one"}}, "m");
  run = qltest::RunQlbook({"import", dir.File("s.ifo"), book});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out,
            "Number of subjects:   \t2\nFile sorted status:       \tYes\n"
            "Characters without a Windows-1252 form (written as ?):\t0\n");

  // --format names the kind whatever the name.
  qltest::WriteFileBytes(dir.File("plain.txt"), qltest::ReadFileBytes(dir.File("d.index")));
  run = qltest::RunQlbook({"import", dir.File("plain.txt"), book, "--format", "dictd"});
  EXPECT_EQ(run.status, 1);
  EXPECT_THAT(run.err, HasSubstr("the dictionary's text is missing: no " + dir.File("plain.txt") +
                                 ".dict.dz, "));
}

TEST(CliDictImport, MissingOrDamagedFilesFailAndKeepTheBook) {
  qltest::TempDir dir;
  const std::string book = dir.File("b.ql");
  qltest::WriteFileBytes(book, "stands here");
  qltest::WriteStarDict(dir.File("s"), {{"a", "one"}}, "m");
  qltest::WriteFileBytes(dir.File("s.ifo"), qltest::StarDictIfo(2, 10, "m"));
  qltest::QlbookRun run = qltest::RunQlbook({"import", dir.File("s.ifo"), book});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, "");
  EXPECT_THAT(run.err, HasSubstr("s.idx: holds 1 entry, but the .ifo gives wordcount 2"));
  EXPECT_EQ(qltest::ReadFileBytes(book), "stands here");

  // A dictionary of metadata alone has no entry: the book is kept.
  qltest::WriteDictd(dir.File("d"), {});
  run = qltest::RunQlbook({"import", dir.File("d.index"), book});
  EXPECT_EQ(run.status, 1);
  EXPECT_THAT(run.err, HasSubstr("the dictionary holds no entry; " + book + " was left as it was"));
  EXPECT_EQ(qltest::ReadFileBytes(book), "stands here");

  run = qltest::RunQlbook({"import", dir.File("d.index"), book, "--format", "epub"});
  EXPECT_EQ(run.status, 2);
}

}  // namespace
