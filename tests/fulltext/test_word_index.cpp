// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// The word index against the walk over random books, its build in runs and
// its resumption, the content key, damaged index files, ranking and snippets.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <random>
#include <set>

#include "book_builder.h"
#include "book_fixture.h"
#include "book_reader.h"
#include "fts_search.h"
#include "index_build.h"
#include "index_store.h"
#include "plain_text.h"
#include "unicode_text.h"
#include "word_index.h"

namespace fs = std::filesystem;
using namespace ql::fts;

namespace {

struct Entry {
  std::string subject, text;
};

// A book of entries; shared texts are stored once in a 2002 book.
std::string MakeBook(const std::string& path, const std::vector<Entry>& entries, bool unicode,
                     int shareEvery = 0) {
  ql::BookBuilder builder;
  builder.SetUnicode(unicode);
  std::string shared;
  for (int i = 0; i < 40; ++i) shared += "shared red wine ";
  for (size_t i = 0; i < entries.size(); ++i) {
    const Entry& e = entries[i];
    if (shareEvery && i % static_cast<size_t>(shareEvery) == 0) {
      // Every such entry gives the same text from one source.
      EXPECT_EQ(builder.AddSharedEntry(e.subject, shared, 0, static_cast<int64_t>(shared.size())),
                ql::BuildResult::kOk);
    } else {
      EXPECT_EQ(builder.AddEntry(e.subject, e.text), ql::BuildResult::kOk);
    }
  }
  EXPECT_EQ(builder.WriteBookFile(path), ql::BuildResult::kOk);
  return path;
}

// Sets XDG_CACHE_HOME to a folder of the test's own.
class FullText : public testing::Test {
 protected:
  void SetUp() override { setenv("XDG_CACHE_HOME", iDir.File("cache").c_str(), 1); }
  void TearDown() override { unsetenv("XDG_CACHE_HOME"); }
  std::string Index(const std::string& book, BuildOptions options = {}) {
    std::string reason;
    const std::string path = EnsureIndex(book, options, reason);
    EXPECT_FALSE(path.empty()) << reason;
    return path;
  }
  qltest::TempDir iDir;
};

const char* const kWords[] = {"red",     "wine",   "horse",  "race", "water", "lime",   "Straße",
                              "STRASSE", "éclair", "Éclair", "дом",  "ДОМ",   "kelvin", "a"};

std::vector<Entry> RandomEntries(std::mt19937& rng, int count, bool unicode) {
  std::vector<Entry> out;
  std::uniform_int_distribution<size_t> word(0, std::size(kWords) - 1), length(0, 12);
  for (int i = 0; i < count; ++i) {
    Entry e;
    // A Windows-1252 book takes the words its code page has.
    auto pick = [&] {
      for (;;)
        if (const char* w = kWords[word(rng)]; unicode || ql::Utf8ToCp1252(w)) return w;
    };
    e.subject = std::string(pick()) + " " + std::to_string(i);
    for (size_t n = length(rng); n > 0; --n) {
      e.text += pick();
      // Markup between words: a tag or an entity.
      e.text += n % 4 == 0 ? std::string("\t\x01") : n % 5 == 0 ? "&amp;" : " ";
    }
    if (!unicode) e.subject = *ql::Utf8ToCp1252(e.subject), e.text = *ql::Utf8ToCp1252(e.text);
    out.push_back(e);
  }
  return out;
}

// The records holding every word, by reading each.
std::set<int> WalkAll(ql::BookReader& book, const std::vector<std::string>& words) {
  std::set<int> out;
  for (int r = 0; r < book.GetSubjectCount(); ++r) {
    std::string subject = book.GetSubject(r), text;
    if (book.LoadRecord(r) == 1) text = ql::RecordPlainText(book.CurrentRecordText());
    if (!book.IsUnicode()) subject = ql::Cp1252ToUtf8(subject), text = ql::Cp1252ToUtf8(text);
    const std::string s = ql::FoldUtf8(subject), t = ql::FoldUtf8(text);
    const auto sw = SplitWords(s), tw = SplitWords(t);
    bool all = true;
    for (const auto& w : words)
      all = all && (std::find(sw.begin(), sw.end(), w) != sw.end() ||
                    std::find(tw.begin(), tw.end(), w) != tw.end());
    if (all) out.insert(r);
  }
  return out;
}

std::set<int> Records(const BookAnswer& a) {
  std::set<int> out;
  for (const auto& h : a.hits) out.insert(h.record);
  return out;
}

TEST_F(FullText, IndexAndWalkFindExactlyTheRecordsHoldingEveryWord) {
  struct Case {
    bool unicode;
    int shareEvery;
    size_t runBytes;
  } cases[] = {{true, 0, size_t{48} << 20}, {true, 7, 4096}, {false, 0, 2048}};
  std::mt19937 rng(7);
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.unicode << " " << c.shareEvery << " " << c.runBytes);
    const std::string path = iDir.File("random" + std::to_string(c.runBytes) + ".ql");
    MakeBook(path, RandomEntries(rng, 600, c.unicode), c.unicode, c.shareEvery);
    BuildOptions options;
    options.runBytes = c.runBytes;
    std::string reason;
    const std::unique_ptr<WordIndex> index = WordIndex::Open(Index(path, options), 0, reason);
    ASSERT_TRUE(index) << reason;
    ql::BookReader book;
    ASSERT_EQ(book.Open(path, ql::kOpenReadOnly), ql::OpenResult::kOk);
    if (c.shareEvery) {
      EXPECT_LT(index->Texts(), index->Records());
    }
    for (const char* q : {"red", "wine horse", "straße", "ÉCLAIR lime", "дом", "kelvin a red"}) {
      SCOPED_TRACE(q);
      FtsQuery query;
      ASSERT_TRUE(ParseFtsQuery(q, query, reason)) << reason;
      const std::set<int> want = WalkAll(book, query.words);
      EXPECT_TRUE(!want.empty() || (!c.unicode && std::string(q) == "дом"));
      EXPECT_EQ(Records(SearchBook(book, index.get(), query, 100000)), want);
      EXPECT_EQ(Records(SearchBook(book, nullptr, query, 100000)), want);
    }
  }
}

TEST_F(FullText, QueriesOfPhrasesPrefixesAndExclusions) {
  const std::string path = MakeBook(iDir.File("q.ql"),
                                    {{"Red wine", "A wine that is red."},
                                     {"Water", "Clear water."},
                                     {"Water lime", "Lime in water, red at times."},
                                     {"Wineglass", "A glass for \t\x01red\t\x02 wine."},
                                     {"Horse race", "A race of horses: no wine."}},
                                    true);
  Index(path);
  struct Case {
    const char* query;
    std::vector<std::string> subjects;  // best first
  } cases[] = {
      {"water", {"Water", "Water lime"}},  // the subject that is the query comes first
      {"\"red wine\"", {"Red wine", "Wineglass"}},
      {"\"wine red\"", {}},
      {"wine -red", {"Horse race"}},
      {"wine -\"red wine\"", {"Horse race"}},
      {"hors*", {"Horse race"}},
      {"wine*", {"Wineglass", "Red wine", "Horse race"}},
      {"LIME Water", {"Water lime"}},
      {"nothing", {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.query);
    FtsQuery q;
    std::string reason;
    ASSERT_TRUE(ParseFtsQuery(c.query, q, reason)) << reason;
    const BookAnswer a = SearchBookFile(path, q, 10);
    EXPECT_TRUE(a.indexed);
    std::vector<std::string> got;
    for (const auto& h : a.hits) got.push_back(h.subject);
    if (std::string(c.query) == "wine*") {
      std::sort(got.begin(), got.end());
      std::vector<std::string> want = c.subjects;
      std::sort(want.begin(), want.end());
      EXPECT_EQ(got, want);
    } else {
      EXPECT_EQ(got, c.subjects);
    }
  }
  FtsQuery q;
  std::string reason;
  for (const char* bad : {"", "  - * \"\"", "-red", "-\"red wine\""})
    EXPECT_FALSE(ParseFtsQuery(bad, q, reason)) << bad;
  // A lookup passes over a book whose subjects lack the key's words.
  for (const char* key : {"Water lime", "lime WATER", "wineglass", "..."})
    EXPECT_TRUE(SubjectMayBeIn(path, key)) << key;
  for (const char* key : {"horse wine", "glass", "red water"})
    EXPECT_FALSE(SubjectMayBeIn(path, key)) << key;
}

TEST_F(FullText, SnippetsMarkTheWordsAtTheEndsAndAcrossTags) {
  const std::string longText = std::string(300, 'x') + " middle " + std::string(300, 'y');
  std::string filler;
  for (int i = 0; i < 40; ++i) filler += "word ";
  const std::string path = MakeBook(iDir.File("s.ql"),
                                    {{"one", "Start of the text and more"},
                                     {"two", "the very end"},
                                     {"three",
                                      "a \t\x01"
                                      "bold\t\x02 word and &amp; Straße"},
                                     {"four", longText},
                                     {"five", "man of the hour, " + filler + "then a good man"}},
                                    true);
  struct Case {
    const char* query;
    const char* bracketed;
  } cases[] = {
      {"start", "[Start] of the text and more"},
      {"end", "the very [end]"},
      {"bold STRAẞE", "a [bold] word and & [Straße]"},
      {"middle", "\xE2\x80\xA6[middle]\xE2\x80\xA6"},  // no word cut in two
      // The phrase, not its first word standing alone before it.
      {"\"good man\"", "\xE2\x80\xA6word word word word word word then a [good] [man]"},
  };
  Index(path);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.query);
    FtsQuery q;
    std::string reason;
    ASSERT_TRUE(ParseFtsQuery(c.query, q, reason));
    const BookAnswer a = SearchBookFile(path, q, 10);
    ASSERT_EQ(a.hits.size(), 1u);
    EXPECT_EQ(BracketMarks(a.hits[0]), c.bracketed);
  }
}

TEST_F(FullText, AStoppedBuildGoesOnAndGivesTheSameIndex) {
  std::mt19937 rng(3);
  const std::string path = MakeBook(iDir.File("r.ql"), RandomEntries(rng, 800, true), true);
  std::string reason;
  const std::string key = BookContentKey(path, reason);
  uint64_t number = 0;
  ASSERT_TRUE(ParseKey(key, number));
  const std::string whole = iDir.File("whole.qlx"), resumed = iDir.File("resumed.qlx");
  BuildOptions options;
  options.runBytes = 4096;
  ASSERT_EQ(BuildIndex(path, whole, number, options, reason), BuildResult::kBuilt) << reason;
  options.stopAfterRuns = 2;
  ASSERT_EQ(BuildIndex(path, resumed, number, options, reason), BuildResult::kCancelled);
  EXPECT_FALSE(fs::exists(resumed));
  EXPECT_TRUE(fs::exists(resumed + ".work/run-000001"));
  // A run cut short (as by a kill while it was written by some other means)
  // is dropped and made again.
  qltest::WriteFileBytes(resumed + ".work/run-000001",
                         qltest::ReadFileBytes(resumed + ".work/run-000001").substr(0, 50));
  options.stopAfterRuns = 0;
  ASSERT_EQ(BuildIndex(path, resumed, number, options, reason), BuildResult::kBuilt) << reason;
  EXPECT_EQ(qltest::ReadFileBytes(resumed), qltest::ReadFileBytes(whole));
  EXPECT_FALSE(fs::exists(resumed + ".work"));
}

TEST_F(FullText, TheKeyFollowsTheContentNotThePathOrTheBookmarks) {
  const std::vector<Entry> entries = {{"alpha", "first"}, {"beta", "second"}};
  const std::string a = MakeBook(iDir.File("a.ql"), entries, true);
  std::string reason;
  const std::string key = BookContentKey(a, reason);
  ASSERT_EQ(key.size(), 16u) << reason;
  fs::copy_file(a, iDir.File("copy.ql"));
  EXPECT_EQ(BookContentKey(iDir.File("copy.ql"), reason), key);
  Index(a);
  {
    ql::BookReader book;
    ASSERT_EQ(book.Open(a, 0), ql::OpenResult::kOk);
    book.SetBookmark(1, 5, 1, 0, "beta!");
    ASSERT_TRUE(book.SaveBookmarks());
  }
  // The file changed, its book did not: a search still finds its index.
  FtsQuery first;
  ASSERT_TRUE(ParseFtsQuery("first", first, reason));
  EXPECT_TRUE(SearchBookFile(a, first, 10).indexed);
  EXPECT_EQ(ComputeContentKey(a, reason), key);
  EXPECT_EQ(BookContentKey(a, reason), key);
  MakeBook(a, {{"alpha", "first"}, {"beta", "changed"}}, true);
  EXPECT_NE(BookContentKey(a, reason), key);
  // The index goes with the book, and only when no copy of it is left.
  const std::string index = Index(iDir.File("copy.ql"));
  EXPECT_FALSE(RemoveIndexFor(a));
  EXPECT_TRUE(fs::exists(index));
  EXPECT_TRUE(RemoveIndexFor(iDir.File("copy.ql")));
  EXPECT_FALSE(fs::exists(index));
}

TEST_F(FullText, ADamagedIndexIsRefusedAndBuiltAgain) {
  std::mt19937 rng(5);
  const std::string path = MakeBook(iDir.File("d.ql"), RandomEntries(rng, 200, true), true);
  const std::string index = Index(path);
  const std::string good = qltest::ReadFileBytes(index);
  std::string reason;
  ASSERT_TRUE(WordIndex::FromBytes(good, 0, reason));
  EXPECT_FALSE(WordIndex::FromBytes(good, 12345, reason));
  EXPECT_EQ(reason, "the index is of another book");
  std::mt19937 flip(9);
  for (int i = 0; i < 200; ++i) {
    std::string bad = good;
    if (i % 2) {
      bad.resize(flip() % bad.size());
    } else {
      bad[flip() % bad.size()] ^= static_cast<char>(1 + flip() % 255);
    }
    EXPECT_FALSE(WordIndex::FromBytes(bad, 0, reason)) << i;
    // Unchecked, it reads only its own bytes (the sanitizers watch).
    if (auto unchecked = WordIndex::FromBytes(bad, 0, reason, false)) {
      unchecked->Find("red");
      bool cut = false;
      unchecked->FindPrefix("", 100, cut);
    }
  }
  qltest::WriteFileBytes(index, good.substr(0, good.size() / 2));
  EXPECT_FALSE(OpenIndexFor(path));
  EXPECT_FALSE(fs::exists(index));
  EXPECT_EQ(Index(path), index);
  EXPECT_EQ(qltest::ReadFileBytes(index), good);
}

TEST_F(FullText, AnUnsortedBookKeepsItsSubjectsInOrder) {
  const std::string path = iDir.File("u.ql");
  std::vector<Entry> entries;
  for (int i = 0; i < 500; ++i) entries.push_back({"s" + std::to_string((i * 7919) % 500), "t"});
  entries.push_back({"Éa", "u"});
  entries.push_back({"éa", "v"});
  MakeBook(path, entries, true);
  std::string reason;
  const std::unique_ptr<WordIndex> index = WordIndex::Open(Index(path), 0, reason);
  ASSERT_TRUE(index);
  std::vector<uint32_t> order;
  ASSERT_TRUE(WordIndex::ReadSubjectOrder(Index(path), index->Key(), order, reason)) << reason;
  EXPECT_EQ(order, index->SubjectOrder());
  ASSERT_EQ(order.size(), entries.size());
  ql::BookReader book;
  ASSERT_EQ(book.Open(path, ql::kOpenReadOnly), ql::OpenResult::kOk);
  for (size_t i = 1; i < order.size(); ++i) {
    const int c = book.CompareBookSubjects(book.GetSubject(static_cast<int>(order[i - 1])),
                                           book.GetSubject(static_cast<int>(order[i])));
    EXPECT_TRUE(c < 0 || (c == 0 && order[i - 1] < order[i])) << i;
  }
  // Lookups through the order answer as the walk does.
  ql::BookReader ordered;
  ASSERT_EQ(ordered.Open(path, ql::kOpenReadOnly), ql::OpenResult::kOk);
  ASSERT_TRUE(AttachSubjectOrder(ordered, path));
  for (const char* key : {"s1", "s12", "S499", "s", "", "éa", "ÉA", "é", "s5000", "t", "a"})
    for (int mode : {ql::MatchWhole, ql::MatchPrefix})
      EXPECT_EQ(ordered.FindSubject(mode, key), book.FindSubject(mode, key)) << key << mode;
}

}  // namespace
