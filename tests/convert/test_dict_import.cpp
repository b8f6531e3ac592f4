// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// Whole dictionaries made into books: the order, the merged headwords, the
// links, the characters Windows-1252 lacks, and the files that are missing,
// damaged or disagree with one another. The Debian dictionaries are imported
// too when they are installed.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <string>

#include "book_fixture.h"
#include "book_import.h"
#include "book_reader.h"
#include "dict_fixture.h"
#include "dict_import.h"
#include "dictd_format.h"
#include "file_size_limit.h"
#include "handheld_export.h"
#include "memory_bound.h"
#include "test_helpers.h"

namespace {

using qltest::DictItem;
using qltest::DictText;
using qltest::Pairs;
using testing::HasSubstr;

const ql::ImportFormat& Dictd() {
  return *ql::FindImportFormat("dictd");
}
const ql::ImportFormat& StarDict() {
  return *ql::FindImportFormat("stardict");
}
// The entries a dictionary's index names, metadata left out.
int64_t EntryCount(const ql::BookImport& import) {
  return dynamic_cast<const ql::DictImport&>(import.Source()).EntryCount();
}

class DictImportTest : public testing::Test {
 protected:
  // Imports source into a book and opens it; false with the reason when the
  // import failed.
  bool Import(const std::string& source, const ql::ImportFormat& format,
              const ql::ImportOptions& options = {}) {
    import.emplace(format, options);
    if (!import->Open(source) || !import->Read(nullptr) || !import->WriteBook(book)) return false;
    return reader.Open(book, ql::kOpenReadOnly) == ql::OpenResult::kOk;
  }
  std::string Failure() const { return import->Failure(); }

  qltest::TempDir dir;
  std::string base = dir.File("words");
  std::string book = dir.File("words.ql");
  std::optional<ql::BookImport> import;
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
    ql::BookImport fresh(Dictd());
    ASSERT_TRUE(fresh.Open(base + ".index")) << fresh.Failure();
    EXPECT_EQ(EntryCount(fresh), 5);  // the two metadata entries left out
    EXPECT_TRUE(fresh.Source().IsUtf8());
    Positions bar;
    ASSERT_TRUE(fresh.Read(&bar)) << fresh.Failure();
    EXPECT_EQ(bar.positions, (std::vector<int64_t>{1, 3, 4, 5}));
    ASSERT_TRUE(fresh.WriteBook(book)) << fresh.Failure();
    EXPECT_EQ(fresh.Source().Counts().merged, 1);
    EXPECT_EQ(fresh.NotesText(), "Entries merged into the record of the same headword:\t1");
    EXPECT_EQ(fresh.Builder().iSorted, 1);
    ql::BookReader r;
    ASSERT_EQ(r.Open(book, ql::kOpenReadOnly), ql::OpenResult::kOk);
    EXPECT_EQ(r.GetSorted(), 1);
    // A dictionary makes a UTF-8 book. Equal but for case: two subjects, in
    // byte order; the same bytes: one record, the texts in index order. Each
    // text's first line, only its headword, is left out; the indent is kept
    // as no-break spaces.
    EXPECT_TRUE(r.IsUnicode());
    EXPECT_EQ(qltest::ReadEntries(r), (Pairs{{"Apple",
                                              "\xC2\xA0\xC2\xA0"
                                              "a company"},
                                             {"apple",
                                              "\xC2\xA0\xC2\xA0"
                                              "first sense\t\x09"
                                              "\xC2\xA0\xC2\xA0"
                                              "second sense"},
                                             {"horse",
                                              "\xC2\xA0\xC2\xA0"
                                              "an animal"},
                                             {"Zebra",
                                              "\xC2\xA0\xC2\xA0"
                                              "striped; see \t\x11"
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
  ASSERT_TRUE(Import(base + ".index", Dictd())) << Failure();
  EXPECT_EQ(qltest::ReadEntries(reader), expected);
}

TEST_F(DictImportTest, CharactersWindows1252LacksAreCountedInHeadwordsAndTexts) {
  qltest::WriteDictd(base, {{"caf\xC3\xA9", "caf\xC3\xA9 \xE2\x82\xAC 5, \xE2\x98\x83"},
                            {"\xE4\xB8\xAD", "\xE4\xB8\xAD\xE6\x96\x87"}});
  ASSERT_TRUE(Import(base + ".index", Dictd(), {.bookVersion = 2001})) << Failure();
  EXPECT_EQ(import->Replaced(), 4);
  EXPECT_EQ(qltest::ReadEntries(reader), (Pairs{{"?", "??"}, {"caf\xE9", "caf\xE9 \x80 5, ?"}}));
}

TEST_F(DictImportTest, DictdWithoutTheUtf8MarkKeepsItsBytes) {
  // Taken as Windows-1252: a version 2001 book keeps the bytes, a version
  // 2002 one has each byte's character in UTF-8.
  const struct {
    int version;
    Pairs entries;
  } cases[] = {
      {2001, {{"caf\xE9", "caf\xE9 \xE2\x82\xAC"}}},
      {0, {{"caf\xC3\xA9", "caf\xC3\xA9 \xC3\xA2\xE2\x80\x9A\xC2\xAC"}}},
  };
  qltest::WriteDictd(base, {{"caf\xE9", "caf\xE9 \xE2\x82\xAC"}}, DictText::kPlain, false);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.version);
    ASSERT_TRUE(Import(base + ".index", Dictd(), {.bookVersion = c.version})) << Failure();
    EXPECT_FALSE(import->Source().IsUtf8());
    EXPECT_EQ(reader.IsUnicode(), c.version != 2001);
    EXPECT_EQ(import->Replaced(), 0);
    EXPECT_EQ(qltest::ReadEntries(reader), c.entries);
  }
}

TEST_F(DictImportTest, MissingAndDamagedDictdFiles) {
  import.emplace(Dictd());
  EXPECT_FALSE(import->Open(base + ".index"));
  EXPECT_THAT(Failure(), HasSubstr("No such file or directory"));

  qltest::WriteFileBytes(base + ".index", qltest::DictdIndexLine("a", 0, 4));
  ql::BookImport noText(Dictd());
  EXPECT_FALSE(noText.Open(base + ".index"));
  EXPECT_EQ(noText.Failure(), base + ".index: the dictionary's text is missing: no " + base +
                                  ".dict.dz, " + base + ".dict or " + base + ".dict.gz");

  qltest::WriteFileBytes(base + ".dict", "abc");
  ql::BookImport shortText(Dictd());
  EXPECT_FALSE(shortText.Open(base + ".index"));
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
  ql::BookImport damaged(Dictd());
  ASSERT_TRUE(damaged.Open(base + ".index")) << damaged.Failure();
  EXPECT_FALSE(damaged.Read(nullptr));
  EXPECT_THAT(damaged.Failure(), HasSubstr("chunk 3 of the dictzip data is damaged"));
  EXPECT_THAT(damaged.Failure(), HasSubstr("no book was written"));
}

TEST_F(DictImportTest, StarDictPlainAndHtmlEntries) {
  qltest::WriteStarDict(base, {{"b", "line one\nline two"}, {"a", "see b"}}, "m");
  ASSERT_TRUE(Import(base + ".ifo", StarDict())) << Failure();
  EXPECT_TRUE(import->Source().IsUtf8());
  EXPECT_EQ(qltest::ReadEntries(reader), (Pairs{{"a", "see b"}, {"b", "line one\t\x08line two"}}));

  // Each field names its type: text, HTML, a picture (left out, counted).
  std::string data = std::string("mplain\0h<i>html</i>\0P", 22);
  for (int b : {0, 0, 0, 3}) data.push_back(char(b));
  data += "PNG";
  qltest::WriteStarDict(base, {{"x", data}}, "");
  ql::BookImport mixed(StarDict());
  ASSERT_TRUE(mixed.Open(base + ".ifo")) << mixed.Failure();
  ASSERT_TRUE(mixed.Read(nullptr));
  ASSERT_TRUE(mixed.WriteBook(book));
  EXPECT_EQ(mixed.Source().Counts().skippedFields, 1);
  EXPECT_THAT(mixed.NotesText(), HasSubstr("Fields left out"));
  ql::BookReader r;
  ASSERT_EQ(r.Open(book, ql::kOpenReadOnly), ql::OpenResult::kOk);
  EXPECT_EQ(qltest::ReadEntries(r), (Pairs{{"x", "plain\t\x09\t\x03html\t\x04"}}));
}

TEST_F(DictImportTest, StarDictFilesThatDisagree) {
  const std::string idx = qltest::WriteStarDict(base, {{"a", "one"}, {"b", "two"}}, "m");
  const auto fails = [&](std::string_view why) {
    ql::BookImport attempt(StarDict());
    EXPECT_FALSE(attempt.Open(base + ".ifo"));
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
  ASSERT_TRUE(Import(base + ".ifo", StarDict())) << Failure();
  EXPECT_EQ(qltest::ReadEntries(reader), (Pairs{{"a", "one"}, {"b", "two"}}));
  qltest::WriteFileBytes(base + ".ifo", qltest::StarDictIfo(2, idx.size() - 1, "m"));
  fails("holds more bytes than the .ifo gives as idxfilesize");
  qltest::WriteFileBytes(base + ".ifo", qltest::StarDictIfo(2, 1u << 30, "m"));
  fails("cannot hold the 1073741824 bytes the .ifo gives as idxfilesize");
}

TEST_F(DictImportTest, GzipTextReadsEveryMemberWhereverItsBoundaryFalls) {
  // The text is read 64 KiB at a time: the first member ends just before,
  // at, or just after the end of the first buffer or of a later one.
  constexpr size_t kBuffer = 64 * 1024;
  const std::string first = "fig\n  sweet\n";
  const std::string second = "plum\n  a fruit\n";
  for (size_t end :
       {kBuffer - 1, kBuffer, kBuffer + 1, 2 * kBuffer - 1, 2 * kBuffer, 2 * kBuffer + 1}) {
    SCOPED_TRACE(end);
    qltest::WriteFileBytes(base + ".dict.gz",
                           qltest::GzipMemberOfSize(first, end) + qltest::Gzip(second));
    qltest::WriteFileBytes(base + ".index",
                           qltest::DictdIndexLine("fig", 0, first.size()) +
                               qltest::DictdIndexLine("plum", first.size(), second.size()));
    ql::BookImport fresh(Dictd());
    ASSERT_TRUE(fresh.Open(base + ".index")) << fresh.Failure();
    ASSERT_TRUE(fresh.Read(nullptr)) << fresh.Failure();
    ASSERT_TRUE(fresh.WriteBook(book)) << fresh.Failure();
    ql::BookReader r;
    ASSERT_EQ(r.Open(book, ql::kOpenReadOnly), ql::OpenResult::kOk);
    EXPECT_EQ(qltest::ReadEntries(r), (Pairs{{"fig",
                                              "\xC2\xA0\xC2\xA0"
                                              "sweet"},
                                             {"plum",
                                              "\xC2\xA0\xC2\xA0"
                                              "a fruit"}}));
  }
}

TEST_F(DictImportTest, PlainGzipTextIsInflatedOnlyAsFarAsTheIndexReaches) {
  // 64 MiB that deflate to some 64 KiB, of which the index names 10 bytes:
  // with no file allowed past 1 MiB (a small work-file space), the import
  // still works.
  const std::string text = "fig  sweet" + std::string(size_t(64) << 20, ' ');
  const std::string gzip = qltest::Gzip(text);
  for (const ql::ImportFormat* format : {&Dictd(), &StarDict()}) {
    SCOPED_TRACE(format->name);
    std::string source = base + ".index";
    if (format == &Dictd()) {
      qltest::WriteFileBytes(source, qltest::DictdIndexLine("fig", 0, 10));
    } else {
      source = base + ".ifo";
      qltest::WriteStarDict(base, {{"fig", text.substr(0, 10)}}, "m");
      std::filesystem::remove(base + ".dict");
    }
    qltest::WriteFileBytes(base + ".dict.gz", gzip);
    ql::BookImport fresh(*format);
    {
      qltest::FileSizeLimit limit(1 << 20);
      ASSERT_TRUE(fresh.Open(source)) << fresh.Failure();
      ASSERT_TRUE(fresh.Read(nullptr)) << fresh.Failure();
      ASSERT_TRUE(fresh.WriteBook(book)) << fresh.Failure();
    }
    ql::BookReader r;
    ASSERT_EQ(r.Open(book, ql::kOpenReadOnly), ql::OpenResult::kOk);
    EXPECT_EQ(qltest::ReadEntries(r), (Pairs{{"fig", "fig  sweet"}}));
  }

  // What the index names past the text's end is found as in any other text:
  // past what was inflated, and past what the file could ever inflate to.
  std::filesystem::remove(base + ".ifo");
  qltest::WriteFileBytes(base + ".dict.gz", qltest::Gzip(std::string(1000, 'x')));
  for (uint64_t offset : {uint64_t(990), uint64_t(1) << 40}) {
    SCOPED_TRACE(offset);
    qltest::WriteFileBytes(base + ".index", qltest::DictdIndexLine("a", 0, 5) +
                                                qltest::DictdIndexLine("b", offset, 20));
    ql::BookImport damaged(Dictd());
    EXPECT_FALSE(damaged.Open(base + ".index"));
    EXPECT_EQ(damaged.Failure(), base +
                                     ".index: line 2: the entry runs past the end of the "
                                     "dictionary's text (the index is damaged, or is not " +
                                     base + ".dict.gz's)");
  }

  // A work file that cannot take what the index names says how much it needed.
  qltest::WriteFileBytes(base + ".dict.gz", gzip);
  qltest::WriteFileBytes(base + ".index", qltest::DictdIndexLine("a", 2 << 20, 10));
  ql::BookImport tooSmall(Dictd());
  {
    qltest::FileSizeLimit limit(1 << 20);
    EXPECT_FALSE(tooSmall.Open(base + ".index"));
  }
  EXPECT_EQ(tooSmall.Failure(), "cannot write a work file for the 2097162 bytes of " + base +
                                    ".dict.gz's text the index names: " + std::strerror(EFBIG));
}

TEST_F(DictImportTest, MergedRecordIsCutAtTheLargestRecordABookHolds) {
  if (qltest::kAddressSanitizer)
    GTEST_SKIP() << "the sanitizer's shadow memory takes no address-space bound";
  // One text of 1 MiB of "<" (4 MiB as markup, "&lt;" each) that the index
  // names 600 times under one headword: 2.4 GiB of record. A record's
  // length stays below 2^31, so 511 texts with the 510 paragraph breaks
  // between them (4194306 * 511 - 2 bytes) fit, and the 512th does not.
  // Memory stays near one text however large the record grows.
  qltest::WriteFileBytes(base + ".dict", std::string(1 << 20, '<'));
  std::string index;
  for (int i = 0; i < 600; ++i) index += qltest::DictdIndexLine("w", 0, 1 << 20);
  qltest::WriteFileBytes(base + ".index", index);
  const auto [out, ended] = qltest::RunUnderMemoryBound(size_t(512) << 20, [&] {
    ql::BookImport big(Dictd());
    if (!big.Open(base + ".index") || !big.Read(nullptr)) return big.Failure();
    return big.NotesText() + "\n" + std::to_string(big.Builder().iTextLength);
  });
  EXPECT_TRUE(ended) << out;
  EXPECT_EQ(out,
            "Entries merged into the record of the same headword:\t510\n"
            "Entries left out of a record that reached the largest size a book allows:\t89\n"
            "2143290364");
}

TEST_F(DictImportTest, AFirstLineThatOnlyRepeatsTheHeadwordIsLeftOut) {
  enum class Source { kDictdUtf8, kDictdCp1252, kStarDictText, kStarDictHtml, kStarDictFields };
  struct Case {
    const char* what;
    Source source;
    std::vector<DictItem> items;
    Pairs records;
    int version = 0;
  };
  const Case cases[] = {
      {"indented senses",
       Source::kDictdUtf8,
       {{"house", "house\n  n 1: a dwelling\n   2: a firm\n"}},
       {{"house",
         "\xC2\xA0\xC2\xA0n 1: a dwelling\t\x08\xC2\xA0\xC2\xA0\xC2\xA0"
         "2: a firm"}}},
      {"case and a letter beyond ASCII",
       Source::kDictdUtf8,
       {{"caf\xC3\xA9", "CAF\xC3\xA9\n x\n"}},
       {{"caf\xC3\xA9", "\xC2\xA0x"}}},
      {"a headword without a Windows-1252 form",
       Source::kDictdUtf8,
       {{"snow\xE2\x98\x83", "snow\xE2\x98\x83\n  cold\n"}},
       {{"snow\xE2\x98\x83",
         "\xC2\xA0\xC2\xA0"
         "cold"}}},
      {"a headword stored with '?'",
       Source::kDictdUtf8,
       {{"snow\xE2\x98\x83", "snow\xE2\x98\x83\n  cold\n"}},
       {{"snow?",
         "snow?\t\x08\xA0\xA0"
         "cold"}},
       2001},
      {"Windows-1252 text",
       Source::kDictdCp1252,
       {{"caf\xE9", "caf\xE9\n  x\n"}},
       {{"caf\xC3\xA9", "\xC2\xA0\xC2\xA0x"}}},
      {"Windows-1252 text kept so",
       Source::kDictdCp1252,
       {{"caf\xE9", "caf\xE9\n  x\n"}},
       {{"caf\xE9", "\xA0\xA0x"}},
       2001},
      {"a first line that says more",
       Source::kDictdUtf8,
       {{"abandon", "Abandon \\A*ban\\, v.\n  x\n"}},
       {{"abandon", "Abandon \\A*ban\\, v.\t\x08\xC2\xA0\xC2\xA0x"}}},
      {"an entry of the headword alone, merged",
       Source::kDictdUtf8,
       {{"a", "a\n"}, {"a", "a\n  more\n"}},
       {{"a", "\xC2\xA0\xC2\xA0more"}}},
      {"StarDict text",
       Source::kStarDictText,
       {{"fig", "fig\n  sweet"}},
       {{"fig", "\xC2\xA0\xC2\xA0sweet"}}},
      {"StarDict HTML",
       Source::kStarDictHtml,
       {{"fig", "fig<br>sweet"}},
       {{"fig", "fig\t\x08sweet"}}},
      {"StarDict fields",
       Source::kStarDictFields,
       {{"fig", std::string("mfig\n sweet\0", 12)}},
       {{"fig", "fig\t\x08\xC2\xA0sweet"}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const bool dictd = c.source == Source::kDictdUtf8 || c.source == Source::kDictdCp1252;
    if (dictd)
      qltest::WriteDictd(base, c.items, DictText::kPlain, c.source == Source::kDictdUtf8);
    else
      qltest::WriteStarDict(base, c.items,
                            c.source == Source::kStarDictText   ? "m"
                            : c.source == Source::kStarDictHtml ? "h"
                                                                : "");
    ASSERT_TRUE(Import(base + (dictd ? ".index" : ".ifo"), dictd ? Dictd() : StarDict(),
                       {.bookVersion = c.version}))
        << Failure();
    EXPECT_EQ(qltest::ReadEntries(reader), c.records);
  }
}

TEST_F(DictImportTest, LineBreaksInHeadwordsBecomeSpaces) {
  // One subject a line is how subjects are listed: a headword's line break
  // (LF, CR, or CR LF as one) becomes a space, and such headwords are counted.
  qltest::WriteStarDict(base,
                        {{"two\nlines", "a"},
                         {"cr\rhere", "b"},
                         {"crlf\r\nend", "c"},
                         {"plain", "d"},
                         {"\n\r\n", "e"}},
                        "m");
  ASSERT_TRUE(Import(base + ".ifo", StarDict())) << Failure();
  EXPECT_EQ(
      qltest::ReadEntries(reader),
      (Pairs{
          {"  ", "e"}, {"cr here", "b"}, {"crlf end", "c"}, {"plain", "d"}, {"two lines", "a"}}));
  EXPECT_EQ(import->NotesText(), "Headwords whose line breaks became spaces:\t4");

  // A dictd line ends at its LF, so only a CR can stand inside a headword.
  qltest::WriteFileBytes(base + ".dict", "onetwo");
  qltest::WriteFileBytes(base + ".index",
                         qltest::DictdIndexLine("a\rb", 0, 3) + qltest::DictdIndexLine("c", 3, 3));
  ql::BookImport dictd(Dictd());
  ASSERT_TRUE(dictd.Open(base + ".index")) << dictd.Failure();
  ASSERT_TRUE(dictd.Read(nullptr)) << dictd.Failure();
  ASSERT_TRUE(dictd.WriteBook(book)) << dictd.Failure();
  ql::BookReader r;
  ASSERT_EQ(r.Open(book, ql::kOpenReadOnly), ql::OpenResult::kOk);
  EXPECT_EQ(qltest::ReadEntries(r), (Pairs{{"a b", "one"}, {"c", "two"}}));
  EXPECT_EQ(dictd.NotesText(), "Headwords whose line breaks became spaces:\t1");
}

// The dictionaries Debian ships, where they are installed: every index line
// but the metadata becomes an entry or is merged into one, the book is sorted,
// and links mostly find their subject.
// Debian's English-Russian and German-English dictionaries keep every
// character in a version 2002 book: a Cyrillic or accented word typed in
// either case finds its entry and its text, and only the handheld export,
// which is 8-bit, writes as '?' what a 2001 import of them writes so.
TEST(DebianDictionaries, ScriptsBeyondWindows1252AreKept) {
  struct Case {
    const char* name;
    const char* subject;  // typed in another case than stored
    const char* text;     // a part of its record
    const char* term;     // searched for, in capitals
    bool handheld;        // small enough for a handheld database
  };
  const Case cases[] = {
      {"freedict-eng-rus", "HOUSE", "\xD0\xB4\xD0\xBE\xD0\xBC", "\xD0\x94\xD0\x9E\xD0\x9C", true},
      {"freedict-deu-eng",
       "\xC3\xBC"
       "bersetzung",
       "/\xCB\x8Cy\xCB\x90",
       "\xC3\x9C"
       "BERSETZUNG",
       false},
  };
  bool any = false;
  for (const Case& c : cases) {
    const std::string index = std::string("/usr/share/dictd/") + c.name + ".index";
    if (!std::filesystem::exists(index)) continue;
    any = true;
    SCOPED_TRACE(c.name);
    qltest::TempDir out;
    int64_t replaced2001 = 0;
    for (const int version : c.handheld ? std::vector<int>{2001, 2002} : std::vector<int>{2002}) {
      ql::BookImport import(Dictd(), {.bookVersion = version});
      ASSERT_TRUE(import.Open(index)) << import.Failure();
      ASSERT_TRUE(import.Read(nullptr)) << import.Failure();
      ASSERT_TRUE(import.WriteBook(out.File(std::to_string(version) + ".ql"))) << import.Failure();
      if (version == 2001) {
        replaced2001 = import.Replaced();
      } else {
        EXPECT_EQ(import.Replaced(), 0);
      }
    }
    ql::BookReader reader;
    ASSERT_EQ(reader.Open(out.File("2002.ql"), ql::kOpenReadOnly), ql::OpenResult::kOk);
    ASSERT_TRUE(reader.IsUnicode());
    const int found = reader.FindSubject(ql::MatchWhole, c.subject);
    ASSERT_GE(found, 0);
    ASSERT_EQ(reader.LoadRecord(found), 1);
    EXPECT_THAT(std::string(reader.CurrentRecordText()), HasSubstr(c.text));
    int record = 0, pos = -1;
    EXPECT_EQ(
        reader.Search(ql::SearchSubjectsAndText, reader.FoldTerm(c.term), record, pos, true, false),
        ql::kSearchHit);
    reader.Close();
    if (!c.handheld) continue;
    EXPECT_GT(replaced2001, 0);
    ql::HandheldExport exporter;
    ASSERT_TRUE(exporter.Open(out.File("2002.ql"))) << exporter.Failure();
    ASSERT_TRUE(exporter.Write(out.File("d.pdb"), "d", nullptr)) << exporter.Failure();
    EXPECT_EQ(exporter.ReplacedCharacters(), replaced2001);
    EXPECT_FALSE(exporter.ReplacedSubjects().empty());
  }
  if (!any) GTEST_SKIP() << "Debian's dict-freedict-eng-rus and dict-freedict-deu-eng are absent";
}

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
    ql::BookImport import(Dictd());
    ASSERT_TRUE(import.Open(index)) << import.Failure();
    ASSERT_TRUE(import.Read(nullptr)) << import.Failure();
    ASSERT_TRUE(import.WriteBook(out.File("d.ql"))) << import.Failure();
    ql::BookReader reader;
    ASSERT_EQ(reader.Open(out.File("d.ql"), ql::kOpenReadOnly), ql::OpenResult::kOk);
    EXPECT_EQ(reader.GetSorted(), 1);
    EXPECT_EQ(reader.GetSubjectCount() + import.Source().Counts().merged, lines - metadata);
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
