// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// The table of import formats, row by row: the extension, the Import
// dialog's filter and qlbook's --format name each lead to the format, and the
// source the format makes imports a small file of that format. Then the
// import run itself: where a host stops it, and the bar it is given.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "book_fixture.h"
#include "book_import.h"
#include "book_reader.h"
#include "dict_fixture.h"
#include "import_formats.h"
#include "test_helpers.h"

namespace {

using qltest::Pairs;
using testing::ElementsAre;

const Pairs kEntries = {{"fig", "Sweet"}, {"grape", "Round"}};

struct FormatCase {
  std::string name;
  int filterIndex;
  std::string filterText;          // the filter's description and pattern
  std::vector<std::string> files;  // names whose extension chooses the format
  // Writes a source of the format holding kEntries into dir; returns its path.
  std::function<std::string(const qltest::TempDir& dir)> write;
};

std::string WriteText(const qltest::TempDir& dir, const std::string& name,
                      const std::string& bytes) {
  qltest::WriteFileBytes(dir.File(name), bytes);
  return dir.File(name);
}

const std::vector<FormatCase>& Cases() {
  static const std::vector<FormatCase> cases = {
      {"tagged",
       0,
       "Tagged text files (*.txt)|*.txt",
       {"in.txt", "IN.TXT", "in", "a.idx", "b.dict"},
       [](const qltest::TempDir& dir) {
         return WriteText(dir, "in.txt", "<new>fig\r\nSweet\r\n<new>grape\r\nRound\r\n");
       }},
      {"tab",
       1,
       "Tab seperated files (*.tab)|*.tab",
       {"in.tab", "in.TSV", "/a.b/in.Tab"},
       [](const qltest::TempDir& dir) {
         return WriteText(dir, "in.tab", "fig\tSweet\r\ngrape\tRound\r\n");
       }},
      {"dictd",
       2,
       "dictd dictionaries (*.index)|*.index",
       {"/a/wn.index", "WN.INDEX"},
       [](const qltest::TempDir& dir) {
         qltest::WriteDictd(dir.File("d"), {{"grape", "Round"}, {"fig", "Sweet"}},
                            qltest::DictText::kDictzip);
         return dir.File("d.index");
       }},
      {"stardict",
       3,
       "StarDict dictionaries (*.ifo)|*.ifo",
       {"x.ifo", "X.IFO"},
       [](const qltest::TempDir& dir) {
         qltest::WriteStarDict(dir.File("s"), {{"fig", "Sweet"}, {"grape", "Round"}}, "m");
         return dir.File("s.ifo");
       }},
  };
  return cases;
}

// The filters of the dialog's filter string, each "description|pattern".
std::vector<std::string> DialogFilters(const std::string& filter) {
  std::vector<std::string> parts;
  size_t at = 0;
  for (size_t bar; (bar = filter.find('|', at)) != std::string::npos; at = bar + 1)
    parts.push_back(filter.substr(at, bar - at));
  std::vector<std::string> filters;
  for (size_t i = 0; i + 1 < parts.size() && !parts[i].empty(); i += 2)
    filters.push_back(parts[i] + "|" + parts[i + 1]);
  return filters;
}

TEST(ImportFormats, EachRowLeadsToItsFormatAndImports) {
  ASSERT_EQ(ql::ImportFormats().size(), Cases().size());
  const std::vector<std::string> filters = DialogFilters(ql::ImportDialogFilter());
  ASSERT_EQ(filters.size(), Cases().size());
  for (const FormatCase& c : Cases()) {
    SCOPED_TRACE(c.name);
    const ql::ImportFormat* format = ql::FindImportFormat(c.name);
    ASSERT_NE(format, nullptr);
    EXPECT_EQ(format->name, c.name);
    for (const std::string& file : c.files)
      EXPECT_EQ(&ql::ImportFormatForPath(file), format) << file;
    EXPECT_EQ(ql::ImportFilterIndex(c.name), c.filterIndex);
    EXPECT_EQ(&ql::ImportFormatAtFilterIndex(c.filterIndex), format);
    EXPECT_EQ(filters[size_t(c.filterIndex)], c.filterText);

    qltest::TempDir dir;
    const std::string source = c.write(dir);
    EXPECT_EQ(&ql::ImportFormatForPath(source), format);
    ql::BookImport import(*format);
    ASSERT_TRUE(import.Open(source)) << import.Failure();
    ASSERT_TRUE(import.Prepare()) << import.Failure();
    ASSERT_TRUE(import.Read(nullptr)) << import.Failure();
    ASSERT_TRUE(import.WriteBook(dir.File("out.ql"))) << import.Failure();
    ql::BookReader reader;
    ASSERT_EQ(reader.Open(dir.File("out.ql"), ql::kOpenReadOnly), ql::OpenResult::kOk);
    EXPECT_EQ(qltest::ReadEntries(reader), kEntries);
  }
}

TEST(ImportFormats, UnknownNamesAndFilterIndexesAndTheTextsBuiltFromTheTable) {
  EXPECT_EQ(ql::FindImportFormat("epub"), nullptr);
  EXPECT_EQ(ql::FindImportFormat(""), nullptr);
  EXPECT_EQ(ql::FindImportFormat("Tab"), nullptr);  // names are exact
  EXPECT_EQ(ql::ImportFilterIndex("epub"), -1);
  for (int index : {-1, 4, 100}) EXPECT_EQ(ql::ImportFormatAtFilterIndex(index).name, "tagged");
  // The window's dialog and qlbook's help, as they have always read.
  EXPECT_EQ(ql::ImportDialogFilter(),
            "Tagged text files (*.txt)|*.txt|Tab seperated files (*.tab)|*.tab|"
            "dictd dictionaries (*.index)|*.index|StarDict dictionaries (*.ifo)|*.ifo||");
  EXPECT_EQ(ql::ImportFormatNames(), "tagged, tab, dictd or stardict");
  EXPECT_EQ(ql::ImportExtensionRule(),
            "tab for .tab and .tsv, dictd for .index, stardict for .ifo, else tagged");
}

// A host that records what the run asked of it.
class RecordingHost : public ql::ImportHost {
 public:
  class Bar : public ql::ProgressSink {
   public:
    explicit Bar(RecordingHost& host) : iHost(host) {}
    ~Bar() override { iHost.log.push_back("bar gone"); }
    void SetRange(int64_t, int64_t) override {}
    void SetPos(int64_t pos) override { iHost.positions.push_back(pos); }
    void Step() override {}

   private:
    RecordingHost& iHost;
  };

  bool BeforeReading(const ql::BookImport&) override {
    log.push_back("before reading");
    return go;
  }
  std::unique_ptr<ql::ProgressSink> StartProgress(int64_t end) override {
    log.push_back("bar to " + std::to_string(end));
    return std::make_unique<Bar>(*this);
  }
  bool ShowsWriting() const override { return showsWriting; }

  bool go = true;
  bool showsWriting = false;
  std::vector<std::string> log;
  std::vector<int64_t> positions;
};

TEST(RunBookImport, TheHostStopsItOrFollowsItAndTheTargetIsRefusedOrKept) {
  qltest::TempDir dir;
  const std::string tab = dir.File("in.tab");
  const std::string text = "fig\tSweet\r\ngrape\tRound\r\n";
  qltest::WriteFileBytes(tab, text);
  const std::string book = dir.File("out.ql");
  const ql::ImportFormat& format = *ql::FindImportFormat("tab");
  {
    RecordingHost host;
    host.go = false;
    ql::BookImport import(format);
    EXPECT_EQ(ql::RunBookImport(import, tab, book, host), ql::ImportEnd::kStopped);
    EXPECT_THAT(host.log, ElementsAre("before reading"));
    EXPECT_THAT(qltest::DirectoryNames(dir.Path()), ElementsAre("in.tab"));
  }
  {
    // The bar runs one beyond the source's bytes, and is gone before the
    // book is written when it does not follow the writing.
    RecordingHost host;
    ql::BookImport import(format);
    EXPECT_EQ(ql::RunBookImport(import, tab, book, host), ql::ImportEnd::kWritten);
    EXPECT_THAT(host.log, ElementsAre("before reading", "bar to " + std::to_string(text.size() + 1),
                                      "bar gone"));
    ASSERT_EQ(host.positions.size(), 2u);  // once an entry
    EXPECT_EQ(host.positions.back(), int64_t(text.size()));
    EXPECT_EQ(import.Builder().iSubjectCount, 2);
  }
  {
    // The source named as the target, through another path.
    RecordingHost host;
    ql::BookImport import(format);
    EXPECT_EQ(ql::RunBookImport(import, tab, dir.Path() + "/./in.tab", host),
              ql::ImportEnd::kFailed);
    EXPECT_EQ(import.Failure(),
              dir.Path() + "/./in.tab: is the same file as " + tab + "; nothing was written");
    EXPECT_TRUE(host.log.empty());
  }
  {
    // Read as tagged text it holds no entry: the book that stands is kept.
    const std::string before = qltest::ReadFileBytes(book);
    RecordingHost host;
    host.showsWriting = true;
    ql::BookImport import(*ql::FindImportFormat("tagged"));
    EXPECT_EQ(ql::RunBookImport(import, tab, book, host), ql::ImportEnd::kKeptTarget);
    EXPECT_EQ(qltest::ReadFileBytes(book), before);
  }
}

}  // namespace
