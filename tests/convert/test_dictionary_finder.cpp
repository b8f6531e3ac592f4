// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <atomic>
#include <filesystem>
#include <functional>
#include <regex>

#include "book_fixture.h"
#include "book_reader.h"
#include "dict_fixture.h"
#include "dictionary_finder.h"

namespace {

using qltest::DictItem;
using qltest::WriteFileBytes;
namespace fs = std::filesystem;

const std::vector<DictItem> kItems = {{"apple", "a fruit"}, {"pear", "another fruit"}};

// A StarDict dictionary at base whose .ifo gives bookName.
void WriteNamedStarDict(const std::string& base, const std::string& bookName) {
  qltest::WriteStarDict(base, kItems, "m");
  std::string ifo = qltest::ReadFileBytes(base + ".ifo");
  ifo.replace(ifo.find("bookname=Test"), 13, "bookname=" + bookName);
  WriteFileBytes(base + ".ifo", ifo);
}

struct Tree {
  qltest::TempDir dir;
  std::string books = dir.File("books");
  ql::DictionaryRoots roots{{dir.File("dictd")}, {dir.File("sd1"), dir.File("sd2")}};
  Tree() {
    for (const char* d : {"dictd/sub", "sd1/a", "sd2"}) fs::create_directories(dir.File(d));
    qltest::WriteDictd(dir.File("dictd/wn"), kItems, qltest::DictText::kDictzip);
    qltest::WriteDictd(dir.File("dictd/sub/gcide"), kItems);
    WriteFileBytes(dir.File("dictd/lone.index"), "apple\tA\tB\n");  // no text beside it
    WriteNamedStarDict(dir.File("sd1/a/x"), "WN");
    WriteNamedStarDict(dir.File("sd1/odd"), "/../Odd \xc3\xa9 name.");
    WriteNamedStarDict(dir.File("sd2/y"), "Test");
    WriteNamedStarDict(dir.File("sd2/z"), "Test");
    fs::remove(dir.File("sd2/z.dict"));  // no text: not a dictionary
    fs::create_directory_symlink(dir.File("sd1"), dir.File("sd1/a/loop"));
  }
};

TEST(DictionaryFinder, FindsEachDictionaryOnceWithABookOfItsOwn) {
  Tree t;
  const std::vector<ql::FoundDictionary> found = ql::FindDictionaries(t.roots, t.books);
  struct Want {
    ql::DictionaryKind kind;
    std::string name, source, book;
  } want[] = {
      {ql::DictionaryKind::kDictd, "gcide", "dictd/sub/gcide.index", "gcide.ql"},
      {ql::DictionaryKind::kDictd, "wn", "dictd/wn.index", "wn.ql"},
      {ql::DictionaryKind::kStarDict, "WN", "sd1/a/x.ifo", "WN-"},
      {ql::DictionaryKind::kStarDict, "/../Odd \xc3\xa9 name.", "sd1/odd.ifo", "_.._Odd _ name.ql"},
      {ql::DictionaryKind::kStarDict, "Test", "sd2/y.ifo", "Test.ql"},
  };
  ASSERT_EQ(found.size(), std::size(want));
  for (size_t i = 0; i < found.size(); ++i) {
    EXPECT_EQ(found[i].kind, want[i].kind) << i;
    EXPECT_EQ(found[i].name, want[i].name) << i;
    EXPECT_EQ(found[i].source, t.dir.File(want[i].source)) << i;
    EXPECT_EQ(found[i].book.rfind(t.books + "/" + want[i].book, 0), 0u) << found[i].book;
  }
  EXPECT_EQ(found[1].files.back(), t.dir.File("dictd/wn.dict.dz"));
  EXPECT_EQ(found[2].files.size(), 3u);
  // The suffix comes from the source, so the same tree names the same books.
  EXPECT_EQ(ql::FindDictionaries(t.roots, t.books)[2].book, found[2].book);
}

// The user's books (bytes "mine") in the books folder.
size_t UserBooks(const std::string& books) {
  size_t n = 0;
  if (fs::exists(books))
    for (const auto& e : fs::directory_iterator(books))
      n += qltest::ReadFileBytes(e.path().string()) == "mine";
  return n;
}

TEST(DictionaryFinder, NeverReplacesABookItDidNotMake) {
  using R = ql::DictionaryResult;
  struct Case {
    const char* name;
    bool importFirst;
    std::function<void(Tree&, const ql::FoundDictionary& wn)> change;
    const char* wnBook;  // a pattern: '#' stands for the source's hash
    R result;
    size_t userBooks;
  } cases[] = {
      {"the user's wn.ql", false,
       [](Tree& t, const auto&) { WriteFileBytes(t.books + "/wn.ql", "mine"); }, "wn-#.ql",
       R::kImported, 1},
      {"its own wn.ql, the source newer", true,
       [](Tree&, const ql::FoundDictionary& wn) {
         struct stat book {};
         ASSERT_EQ(::stat(wn.book.c_str(), &book), 0);
         timespec later[2] = {{0, UTIME_OMIT}, book.st_mtim};
         later[1].tv_nsec = (later[1].tv_nsec + 1000) % 1000000000;
         later[1].tv_sec += later[1].tv_nsec < 1000;
         ASSERT_EQ(::utimensat(AT_FDCWD, wn.files[0].c_str(), later, 0), 0);
         ASSERT_TRUE(ql::NeedsImport(wn));
       },
       "wn.ql", R::kImported, 0},
      {"its own wn.ql, written over by the user", true,
       [](Tree& t, const auto&) { WriteFileBytes(t.books + "/wn.ql", "mine"); }, "wn-#.ql",
       R::kImported, 1},
      {"its own wn.ql, the record naming another source", true,
       [](Tree& t, const ql::FoundDictionary& wn) {
         const std::string file = t.books + "/" + ql::kImportRecordName;
         std::string record = qltest::ReadFileBytes(file);
         record.replace(record.find(wn.source), wn.source.size(), "/elsewhere/wn.index");
         WriteFileBytes(file, record);
       },
       "wn-#.ql", R::kImported, 0},
      {"its own wn.ql, its record line damaged", true,
       [](Tree& t, const auto&) {
         // wn's own line, each copy spoilt in one way: none is taken.
         const std::string file = t.books + "/" + ql::kImportRecordName;
         const std::string record = qltest::ReadFileBytes(file);
         const size_t start = record.find("\twn.ql\t");
         const size_t from = record.rfind('\n', start) + 1, to = record.find('\n', start);
         const std::string line = record.substr(from, to - from);
         const std::string head = line.substr(0, line.size() - 16);
         WriteFileBytes(file, std::string(ql::kImportRecordFormatLine) + "\n" + head +
                                  std::string(16, 'z') + "\n" + head + "0\n" +
                                  line.substr(0, line.rfind('\t')) + "\n" + line + "\tmore\n" +
                                  std::string(70000, 'x') + "\n" + line);
       },
       "wn-#.ql", R::kImported, 0},
      {"its own wn.ql, the source put back older", true,
       [](Tree&, const ql::FoundDictionary& wn) {
         const timespec older[2] = {{0, UTIME_OMIT}, {1000000000, 0}};
         ASSERT_EQ(::utimensat(AT_FDCWD, wn.files[1].c_str(), older, 0), 0);
       },
       "wn.ql", R::kImported, 0},
      {"the user's wn.ql and suffixed name", false,
       [](Tree& t, const auto&) {
         WriteFileBytes(t.books + "/wn.ql", "mine");
         WriteFileBytes(ql::FindDictionaries(t.roots, t.books)[1].book, "mine");
       },
       "wn-#-2.ql", R::kImported, 2},
  };
  for (const Case& c : cases) {
    Tree t;
    fs::create_directories(t.books);
    if (c.importFirst) ql::ImportDictionaries(ql::FindDictionaries(t.roots, t.books));
    c.change(t, ql::FindDictionaries(t.roots, t.books)[1]);
    std::vector<ql::FoundDictionary> found = ql::FindDictionaries(t.roots, t.books);
    const std::string pattern = std::regex_replace(c.wnBook, std::regex("#"), "[0-9a-f]{8}");
    EXPECT_TRUE(std::regex_match(found[1].book, std::regex(t.books + "/" + pattern)))
        << c.name << ": " << found[1].book;
    EXPECT_EQ(ql::ImportDictionaries(found)[1].result, c.result) << c.name;
    EXPECT_EQ(UserBooks(t.books), c.userBooks) << c.name;
    // The next search names the same books, now current; a book handed over
    // by name that the finder did not make fails and stays.
    const std::vector<ql::FoundDictionary> again = ql::FindDictionaries(t.roots, t.books);
    EXPECT_EQ(again[1].book, found[1].book) << c.name;
    EXPECT_EQ(ql::ImportDictionaries(again)[1].result, R::kCurrent) << c.name;
    if (c.userBooks == 0) continue;
    found[1].book = t.books + "/wn.ql";
    EXPECT_FALSE(ql::NeedsImport(found[1])) << c.name;
    const ql::DictionaryOutcome out = ql::ImportDictionaries(found)[1];
    EXPECT_EQ(out.result, R::kFailed) << c.name;
    EXPECT_NE(out.reason.find("was not imported from"), std::string::npos) << out.reason;
    EXPECT_EQ(UserBooks(t.books), c.userBooks) << c.name;
  }
}

class CountingBar final : public ql::ProgressSink {
 public:
  void SetRange(int64_t, int64_t upper) override { end = upper; }
  void SetPos(int64_t pos) override {
    backwards |= pos < last;
    last = pos;
    if (onPos) onPos(pos);
  }
  void Step() override {}
  int64_t end = -1, last = 0;
  bool backwards = false;
  std::function<void(int64_t)> onPos;
};

std::vector<ql::DictionaryResult> Results(const std::vector<ql::DictionaryOutcome>& outcomes) {
  std::vector<ql::DictionaryResult> r;
  for (const ql::DictionaryOutcome& o : outcomes) r.push_back(o.result);
  return r;
}

TEST(DictionaryFinder, ImportsOnceAndAgainWhenTheSourceIsNewer) {
  using R = ql::DictionaryResult;
  Tree t;
  WriteFileBytes(t.dir.File("sd2/y.idx"), "damaged");
  const std::vector<ql::FoundDictionary> found = ql::FindDictionaries(t.roots, t.books);
  CountingBar bar;
  std::vector<size_t> done;
  ql::DictionaryImportRun run{&bar, nullptr, [&](size_t i, const auto&) { done.push_back(i); }};
  std::vector<ql::DictionaryOutcome> out = ql::ImportDictionaries(found, run);
  EXPECT_EQ(Results(out),
            (std::vector{R::kImported, R::kImported, R::kImported, R::kImported, R::kFailed}));
  EXPECT_NE(out[4].reason.find("y.idx"), std::string::npos) << out[4].reason;
  EXPECT_EQ(done, (std::vector<size_t>{0, 1, 2, 3, 4}));
  EXPECT_EQ(bar.end, 5000);
  EXPECT_EQ(bar.last, 5000);
  EXPECT_FALSE(bar.backwards);
  ql::BookReader reader;
  ASSERT_EQ(reader.Open(found[1].book, ql::kOpenReadOnly), ql::OpenResult::kOk);
  EXPECT_EQ(reader.GetSubjectCount(), 2);
  // Again: nothing to do, until one file of a source is newer than its book.
  EXPECT_FALSE(ql::NeedsImport(found[2]));
  const timespec later[2] = {{0, UTIME_OMIT}, {time(nullptr) + 60, 0}};
  ASSERT_EQ(::utimensat(AT_FDCWD, found[2].files[1].c_str(), later, 0), 0);
  EXPECT_TRUE(ql::NeedsImport(found[2]));
  out = ql::ImportDictionaries(found);
  EXPECT_EQ(Results(out),
            (std::vector{R::kCurrent, R::kCurrent, R::kImported, R::kCurrent, R::kFailed}));
  EXPECT_EQ(ql::DictionaryOutcomeText(out[0]), "current");
  EXPECT_EQ(ql::DictionaryOutcomeText(out[4]), "failed: " + out[4].reason);
}

TEST(DictionaryFinder, AStopLeavesNoBookBehind) {
  using R = ql::DictionaryResult;
  Tree t;
  const std::vector<ql::FoundDictionary> found = ql::FindDictionaries(t.roots, t.books);
  struct Case {
    const char* name;
    int64_t stopAtPos;  // the bar's position that sets the stop; -1: before it starts
    std::vector<R> results;
  } cases[] = {
      {"before", -1, {R::kStopped, R::kStopped, R::kStopped, R::kStopped, R::kStopped}},
      {"within the first", 1, {R::kStopped, R::kStopped, R::kStopped, R::kStopped, R::kStopped}},
      {"after the second",
       2000,
       {R::kImported, R::kImported, R::kStopped, R::kStopped, R::kStopped}},
  };
  for (const Case& c : cases) {
    fs::remove_all(t.books);
    std::atomic<bool> stop = c.stopAtPos < 0;
    CountingBar bar;
    bar.onPos = [&](int64_t pos) {
      if (pos >= c.stopAtPos) stop = true;
    };
    const auto out = ql::ImportDictionaries(found, {&bar, &stop, nullptr});
    EXPECT_EQ(Results(out), c.results) << c.name;
    size_t books = 0;
    if (fs::exists(t.books))
      for (const auto& e : fs::directory_iterator(t.books)) books += e.path().extension() == ".ql";
    EXPECT_EQ(books,
              static_cast<size_t>(std::count(c.results.begin(), c.results.end(), R::kImported)))
        << c.name;
  }
}

}  // namespace

namespace {

// Names the import record cannot hold (a TAB or a line end in a source's
// path) must not make every later search import the dictionary again.
TEST(DictionaryFinder, AwkwardSourceNamesAreNotImportedTwice) {
  for (const char* name : {"two\nlines", "a\ttab", "cr\rname"}) {
    SCOPED_TRACE(name);
    Tree t;
    qltest::WriteDictd(t.dir.File("dictd/" + std::string(name)), kItems);
    auto books = [&] {
      std::vector<std::string> out;
      for (const auto& e : fs::directory_iterator(t.books)) out.push_back(e.path().string());
      std::sort(out.begin(), out.end());
      return out;
    };
    ql::ImportDictionaries(ql::FindDictionaries(t.roots, t.books));
    const std::vector<std::string> first = books();
    for (const ql::FoundDictionary& d : ql::FindDictionaries(t.roots, t.books))
      EXPECT_FALSE(ql::NeedsImport(d)) << d.source;
    ql::ImportDictionaries(ql::FindDictionaries(t.roots, t.books));
    EXPECT_EQ(books(), first);
  }
}

}  // namespace
