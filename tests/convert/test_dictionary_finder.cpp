#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <atomic>
#include <filesystem>

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
