// Whole dictionaries made into books: the order, the merged headwords, the
// links, the characters Windows-1252 lacks, and the files that are missing,
// damaged or disagree with one another. The Debian dictionaries are imported
// too when they are installed.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "book_fixture.h"
#include "book_reader.h"
#include "dict_fixture.h"
#include "dict_import.h"
#include "test_helpers.h"

namespace {

using qltest::DictItem;
using qltest::DictText;
using qltest::Pairs;
using testing::HasSubstr;

class DictImportTest : public testing::Test {
 protected:
  // Imports source into a book and opens it; false with the reason when the
  // import failed.
  bool Import(const std::string& source, ql::DictFormat format) {
    if (!import.OpenSource(source, format) || !import.Read(nullptr) || !import.WriteBook(book))
      return false;
    return reader.Open(book, ql::kOpenReadOnly) == ql::kOpenOk;
  }
  std::string Failure() const { return import.Failure(); }

  qltest::TempDir dir;
  std::string base = dir.File("words");
  std::string book = dir.File("words.ql");
  ql::DictImport import;
  ql::BookReader reader;
};

// A progress bar that remembers where it was set.
class Positions : public ql::ProgressSink {
 public:
  void SetRange(int64_t, int64_t) override {}
  void SetPos(int64_t pos) override { positions.push_back(pos); }
  void Step() override {}
  std::vector<int64_t> positions;
};

TEST_F(DictImportTest, DictdEntriesAreSortedMergedAndLinked) {
  for (DictText kind : {DictText::kPlain, DictText::kDictzip, DictText::kGzip}) {
    SCOPED_TRACE(int(kind));
    qltest::WriteDictd(base,
                       {{"Zebra", "Zebra\n  striped; see {horse}\n"},
                        {"horse", "horse\n  an animal\n"},
                        {"apple", "apple\n  first sense\n"},
                        {"Apple", "Apple\n  a company\n"},
                        {"apple", "apple\n  second sense\n"}},
                       kind, true, 16);
    const std::string kept = kind == DictText::kPlain     ? ".dict"
                             : kind == DictText::kDictzip ? ".dict.dz"
                                                          : ".dict.gz";
    for (std::string extension : {".dict", ".dict.dz", ".dict.gz"})
      if (extension != kept) std::filesystem::remove(base + extension);
    ql::DictImport fresh;
    ASSERT_TRUE(fresh.OpenSource(base + ".index", ql::DictFormat::kDictd)) << fresh.Failure();
    EXPECT_EQ(fresh.EntryCount(), 5);  // the two metadata entries left out
    EXPECT_TRUE(fresh.IsUtf8());
    Positions bar;
    ASSERT_TRUE(fresh.Read(&bar)) << fresh.Failure();
    EXPECT_EQ(bar.positions, (std::vector<int64_t>{1, 3, 4, 5}));
    ASSERT_TRUE(fresh.WriteBook(book)) << fresh.Failure();
    EXPECT_EQ(fresh.Merged(), 1);
    EXPECT_EQ(fresh.NotesText(), "Entries merged into the record of the same headword:\t1");
    EXPECT_EQ(fresh.Builder().iSorted, 1);
    ql::BookReader r;
    ASSERT_EQ(r.Open(book, ql::kOpenReadOnly), ql::kOpenOk);
    EXPECT_EQ(r.GetSorted(), 1);
    // Equal but for case: two subjects, in byte order; the same bytes: one
    // record, the texts in index order.
    EXPECT_EQ(qltest::ReadEntries(r), (Pairs{{"Apple", "Apple\t\x08  a company"},
                                             {"apple",
                                              "apple\t\x08  first sense\t\x09"
                                              "apple\t\x08  second sense"},
                                             {"horse", "horse\t\x08  an animal"},
                                             {"Zebra",
                                              "Zebra\t\x08  striped; see \t\x11"
                                              "horse\t\x12"}}));
    // The link's target is a subject of the book.
    EXPECT_EQ(r.FindSubject(0, "horse"), 2);
  }
}

TEST_F(DictImportTest, TextInAnotherOrderThanTheBooksGivesTheSameBook) {
  // 300 entries whose texts lie in the reverse of the book's order, in
  // chunks of 16 bytes: the import inflates the text once instead.
  std::vector<DictItem> items;
  Pairs expected;
  for (int i = 299; i >= 0; --i) {
    char word[8];
    std::snprintf(word, sizeof word, "w%03d", i);
    items.push_back({word, std::string(word) + " means " + std::to_string(i * 7)});
  }
  for (int i = 0; i < 300; ++i) expected.push_back({items[299 - i].headword, items[299 - i].text});
  qltest::WriteDictd(base, items, DictText::kDictzip, true, 16);
  ASSERT_TRUE(Import(base + ".index", ql::DictFormat::kDictd)) << Failure();
  EXPECT_EQ(qltest::ReadEntries(reader), expected);
}

TEST_F(DictImportTest, CharactersWindows1252LacksAreCountedInHeadwordsAndTexts) {
  qltest::WriteDictd(base, {{"caf\xC3\xA9", "caf\xC3\xA9 \xE2\x82\xAC 5, \xE2\x98\x83"},
                            {"\xE4\xB8\xAD", "\xE4\xB8\xAD\xE6\x96\x87"}});
  ASSERT_TRUE(Import(base + ".index", ql::DictFormat::kDictd)) << Failure();
  EXPECT_EQ(import.Replaced(), 4);
  EXPECT_EQ(qltest::ReadEntries(reader), (Pairs{{"?", "??"}, {"caf\xE9", "caf\xE9 \x80 5, ?"}}));
}

TEST_F(DictImportTest, DictdWithoutTheUtf8MarkKeepsItsBytes) {
  qltest::WriteDictd(base, {{"caf\xE9", "caf\xE9 \xE2\x82\xAC"}}, DictText::kPlain, false);
  ASSERT_TRUE(Import(base + ".index", ql::DictFormat::kDictd)) << Failure();
  EXPECT_FALSE(import.IsUtf8());
  EXPECT_EQ(import.Replaced(), 0);
  EXPECT_EQ(qltest::ReadEntries(reader), (Pairs{{"caf\xE9", "caf\xE9 \xE2\x82\xAC"}}));
}

TEST_F(DictImportTest, MissingAndDamagedDictdFiles) {
  EXPECT_FALSE(import.OpenSource(base + ".index", ql::DictFormat::kDictd));
  EXPECT_THAT(Failure(), HasSubstr("No such file or directory"));

  qltest::WriteFileBytes(base + ".index", qltest::DictdIndexLine("a", 0, 4));
  ql::DictImport noText;
  EXPECT_FALSE(noText.OpenSource(base + ".index", ql::DictFormat::kDictd));
  EXPECT_EQ(noText.Failure(), base + ".index: the dictionary's text is missing: no " + base +
                                  ".dict.dz, " + base + ".dict or " + base + ".dict.gz");

  qltest::WriteFileBytes(base + ".dict", "abc");
  ql::DictImport shortText;
  EXPECT_FALSE(shortText.OpenSource(base + ".index", ql::DictFormat::kDictd));
  EXPECT_EQ(shortText.Failure(), base +
                                     ".index: line 1: the entry runs past the end of the "
                                     "dictionary's text (the index is damaged, or is not " +
                                     base + ".dict's)");

  // A dictzip text whose chunk is damaged fails the read, naming the chunk.
  std::string dz = qltest::Dictzip(std::string(200, 'x'), 64);
  ql::GzipHeader header;
  std::string reason;
  ASSERT_TRUE(ql::ParseGzipHeader({reinterpret_cast<const uint8_t*>(dz.data()), dz.size()}, header,
                                  reason));
  ASSERT_EQ(header.chunkSizes.size(), 4u);
  // A block of the reserved type starts the last chunk.
  dz[header.dataStart + header.chunkSizes[0] + header.chunkSizes[1] + header.chunkSizes[2]] =
      char(0xFF);
  std::filesystem::remove(base + ".dict");
  qltest::WriteFileBytes(base + ".dict.dz", dz);
  qltest::WriteFileBytes(base + ".index", qltest::DictdIndexLine("a", 190, 10));
  ql::DictImport damaged;
  ASSERT_TRUE(damaged.OpenSource(base + ".index", ql::DictFormat::kDictd)) << damaged.Failure();
  EXPECT_FALSE(damaged.Read(nullptr));
  EXPECT_THAT(damaged.Failure(), HasSubstr("chunk 3 of the dictzip data is damaged"));
  EXPECT_THAT(damaged.Failure(), HasSubstr("no book was written"));
}

TEST_F(DictImportTest, StarDictPlainAndHtmlEntries) {
  qltest::WriteStarDict(base, {{"b", "line one\nline two"}, {"a", "see b"}}, "m");
  ASSERT_TRUE(Import(base + ".ifo", ql::DictFormat::kStarDict)) << Failure();
  EXPECT_TRUE(import.IsUtf8());
  EXPECT_EQ(qltest::ReadEntries(reader), (Pairs{{"a", "see b"}, {"b", "line one\t\x08line two"}}));

  // Each field names its type: text, HTML, a picture (left out, counted).
  std::string data = std::string("mplain\0h<i>html</i>\0P", 22);
  for (int b : {0, 0, 0, 3}) data.push_back(char(b));
  data += "PNG";
  qltest::WriteStarDict(base, {{"x", data}}, "");
  ql::DictImport mixed;
  ASSERT_TRUE(mixed.OpenSource(base + ".ifo", ql::DictFormat::kStarDict)) << mixed.Failure();
  ASSERT_TRUE(mixed.Read(nullptr));
  ASSERT_TRUE(mixed.WriteBook(book));
  EXPECT_EQ(mixed.SkippedFields(), 1);
  EXPECT_THAT(mixed.NotesText(), HasSubstr("Fields left out"));
  ql::BookReader r;
  ASSERT_EQ(r.Open(book, ql::kOpenReadOnly), ql::kOpenOk);
  EXPECT_EQ(qltest::ReadEntries(r), (Pairs{{"x", "plain\t\x09\t\x03html\t\x04"}}));
}

TEST_F(DictImportTest, StarDictFilesThatDisagree) {
  const std::string idx = qltest::WriteStarDict(base, {{"a", "one"}, {"b", "two"}}, "m");
  const auto fails = [&](std::string_view why) {
    ql::DictImport attempt;
    EXPECT_FALSE(attempt.OpenSource(base + ".ifo", ql::DictFormat::kStarDict));
    EXPECT_THAT(attempt.Failure(), HasSubstr(why));
  };
  qltest::WriteFileBytes(base + ".ifo", qltest::StarDictIfo(3, idx.size(), "m"));
  fails(base + ".idx: holds 2 entries, but the .ifo gives wordcount 3");
  qltest::WriteFileBytes(base + ".ifo", qltest::StarDictIfo(2, idx.size() + 1, "m"));
  fails(base + ".idx: holds " + std::to_string(idx.size()) +
        " bytes, but the .ifo gives idxfilesize " + std::to_string(idx.size() + 1));
  qltest::WriteFileBytes(base + ".ifo", qltest::StarDictIfo(2, idx.size(), "m"));
  qltest::WriteFileBytes(base + ".dict", "onetw");
  fails(base + ".idx: record 2: the entry runs past the end of the dictionary's text");
  qltest::WriteFileBytes(base + ".idx", idx.substr(0, idx.size() - 3));
  qltest::WriteFileBytes(base + ".ifo", qltest::StarDictIfo(2, idx.size() - 3, "m"));
  fails("record 2: the record is cut off");
  qltest::WriteFileBytes(base + ".ifo", "[dictionary]\nwordcount=2\n");
  fails(base + ".ifo: not a StarDict .ifo file: the first line is not");

  // A gzipped index is read to the size the .ifo gives, and no further.
  qltest::WriteFileBytes(base + ".ifo", qltest::StarDictIfo(2, idx.size(), "m"));
  qltest::WriteFileBytes(base + ".dict", "onetwo");
  std::filesystem::remove(base + ".idx");
  fails("the dictionary's index is missing: neither " + base + ".idx nor " + base +
        ".idx.gz is there");
  qltest::WriteFileBytes(base + ".idx.gz", qltest::Gzip(idx));
  ASSERT_TRUE(Import(base + ".ifo", ql::DictFormat::kStarDict)) << Failure();
  EXPECT_EQ(qltest::ReadEntries(reader), (Pairs{{"a", "one"}, {"b", "two"}}));
  qltest::WriteFileBytes(base + ".ifo", qltest::StarDictIfo(2, idx.size() - 1, "m"));
  fails("holds more bytes than the .ifo gives as idxfilesize");
  qltest::WriteFileBytes(base + ".ifo", qltest::StarDictIfo(2, 1u << 30, "m"));
  fails("cannot hold the 1073741824 bytes the .ifo gives as idxfilesize");
}

TEST(DictFormatFromExtension, NamesTheFormat) {
  EXPECT_EQ(ql::DictFormatFromExtension("/a/wn.index"), ql::DictFormat::kDictd);
  EXPECT_EQ(ql::DictFormatFromExtension("WN.INDEX"), ql::DictFormat::kDictd);
  EXPECT_EQ(ql::DictFormatFromExtension("x.ifo"), ql::DictFormat::kStarDict);
  EXPECT_EQ(ql::DictFormatFromExtension("x.idx"), std::nullopt);
  EXPECT_EQ(ql::DictFormatFromExtension("x.txt"), std::nullopt);
}

// The dictionaries Debian ships, where they are installed: every index line
// but the metadata becomes an entry or is merged into one, the book is sorted,
// and links mostly find their subject.
TEST(DebianDictionaries, ImportWhole) {
  const std::string dir = "/usr/share/dictd";
  bool any = false;
  for (const char* name : {"devil", "jargon"}) {
    const std::string index = dir + "/" + name + ".index";
    if (!std::filesystem::exists(index)) continue;
    any = true;
    SCOPED_TRACE(name);
    int64_t lines = 0, metadata = 0;
    std::ifstream in(index);
    for (std::string line; std::getline(in, line);) {
      ++lines;
      if (ql::IsDictdMetadata(line.substr(0, line.find('\t')))) ++metadata;
    }
    qltest::TempDir out;
    ql::DictImport import;
    ASSERT_TRUE(import.OpenSource(index, ql::DictFormat::kDictd)) << import.Failure();
    ASSERT_TRUE(import.Read(nullptr)) << import.Failure();
    ASSERT_TRUE(import.WriteBook(out.File("d.ql"))) << import.Failure();
    ql::BookReader reader;
    ASSERT_EQ(reader.Open(out.File("d.ql"), ql::kOpenReadOnly), ql::kOpenOk);
    EXPECT_EQ(reader.GetSorted(), 1);
    EXPECT_EQ(reader.GetSubjectCount() + import.Merged(), lines - metadata);
    int links = 0, found = 0;
    for (int i = 0; i < reader.GetSubjectCount(); ++i) {
      ASSERT_EQ(reader.LoadRecord(i), 1);
      const std::string text(reader.CurrentRecordText());
      for (size_t at = text.find("\t\x11"); at != std::string::npos;
           at = text.find("\t\x11", at + 2)) {
        const size_t end = text.find('\t', at + 2);
        ++links;
        if (reader.FindSubject(0, text.substr(at + 2, end - at - 2)) >= 0) ++found;
      }
    }
    std::printf("%s: %d links, %d found\n", name, links, found);
    EXPECT_GT(links, 0);
    EXPECT_GT(found, links * 9 / 10) << found << " of " << links;
  }
  if (!any) GTEST_SKIP() << "no Debian dictionary under " << dir;
}

}  // namespace
