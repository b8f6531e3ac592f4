// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// Books of both text forms side by side: conversions between the forms,
// cuts on character boundaries, Find terms folded for a UTF-8 book, bookmark
// texts, spelling distances on characters, and a lookup over a shelf whose
// books hold text in different forms.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "book_builder.h"
#include "book_text.h"
#include "bookmarks.h"
#include "find.h"
#include "links.h"
#include "open_document.h"
#include "shelf.h"
#include "shelf_page.h"
#include "spelling.h"
#include "unicode_text.h"

namespace {

using ql::TextForm;

// A UTF-8 book: ordered by folded bytes (h < Greek < Cyrillic < Arabic).
std::vector<qltest::Entry> UnicodeEntries() {
  return {
      {"holiday", "/\xcb\x88h\xc9\x92l\xc9\xaa\x64\x65\xc9\xaa/ a day off"},
      {"\xce\xb3\xce\xac\xcf\x84\xce\xb1", "\xce\x93\xce\xac\xcf\x84\xce\xb1: a cat"},  // γάτα
      {"\xd0\xb4\xd0\xbe\xd0\xbc",                                                      // дом
       "A house. See \t\x11\xd0\xba\xd0\xbd\xd0\xb8\xd0\xb3\xd0\xb0>book\t\x12."},
      {"\xd0\xba\xd0\xbd\xd0\xb8\xd0\xb3\xd0\xb0",                  // книга
       "\xd0\x91\xd0\xbe\xd0\xbb\xd1\x8c\xd1\x88\xd0\xb0\xd1\x8f "  // Большая
       "\xd0\xba\xd0\xbd\xd0\xb8\xd0\xb3\xd0\xb0 is a big book"},
      {"\xd9\x83\xd8\xaa\xd8\xa7\xd8\xa8", "\xd9\x83\xd8\xaa\xd8\xa7\xd8\xa8 book"},  // كتاب
  };
}

// A Windows-1252 book with a subject beyond ASCII.
std::vector<qltest::Entry> Cp1252Entries() {
  return {{"caf\xe9", "A small restaurant."}, {"dog", "An animal."}};
}

void WriteBook(const std::string& path, const std::vector<qltest::Entry>& entries, bool unicode) {
  ql::BookBuilder builder;
  builder.SetUnicode(unicode);
  ASSERT_TRUE(builder.IsReady());
  for (const qltest::Entry& e : entries)
    ASSERT_EQ(builder.AddEntry(e.subject, e.text), ql::BuildResult::kOk) << e.subject;
  ASSERT_EQ(builder.WriteBookFile(path), ql::BuildResult::kOk);
}

TEST(BookText, ConvertsBetweenTheForms) {
  struct Case {
    std::string text;
    TextForm from, to;
    std::string want;
  };
  const std::vector<Case> cases = {
      {"caf\xe9 \x93q\x94", TextForm::kCp1252, TextForm::kUtf8,
       "caf\xc3\xa9 \xe2\x80\x9cq\xe2\x80\x9d"},
      {"caf\xc3\xa9 \xe2\x80\x9cq\xe2\x80\x9d", TextForm::kUtf8, TextForm::kCp1252,
       "caf\xe9 \x93q\x94"},
      // Characters the code page lacks become '?'; stray bytes stay bytes.
      {"\xd0\xb4\xd0\xbe\xd0\xbc", TextForm::kUtf8, TextForm::kCp1252, "???"},
      {"a\xe9z", TextForm::kUtf8, TextForm::kCp1252, "a\xe9z"},
      {"plain", TextForm::kUtf8, TextForm::kUtf8, "plain"},
      {"\xe9", TextForm::kCp1252, TextForm::kCp1252, "\xe9"},
  };
  for (const Case& c : cases) EXPECT_EQ(ql::ConvertText(c.text, c.from, c.to), c.want) << c.text;

  struct Typed {
    std::string utf8;
    TextForm form;
    std::optional<std::string> want;
  };
  const std::vector<Typed> typed = {
      {"caf\xc3\xa9", TextForm::kCp1252, "caf\xe9"},
      {"caf\xc3\xa9", TextForm::kUtf8, "caf\xc3\xa9"},
      {"\xd0\xb4\xd0\xbe\xd0\xbc", TextForm::kCp1252, std::nullopt},
      {"\xd0\xb4\xd0\xbe\xd0\xbc", TextForm::kUtf8, "\xd0\xb4\xd0\xbe\xd0\xbc"},
      {"\xe9", TextForm::kCp1252, std::nullopt},  // no UTF-8
  };
  for (const Typed& t : typed) EXPECT_EQ(ql::TextFromUtf8(t.utf8, t.form), t.want) << t.utf8;
  EXPECT_EQ(ql::TextToUtf8("\x80", TextForm::kCp1252), "\xe2\x82\xac");
  EXPECT_EQ(ql::TextToUtf8("\x80", TextForm::kUtf8), "\x80");
}

TEST(BookText, CutsOnCharacterBoundaries) {
  std::string forty;  // 40 Cyrillic letters, 80 bytes
  for (int i = 0; i < 40; ++i) forty += "\xd0\xb4";
  struct Case {
    std::string text;
    size_t max;
    TextForm form;
    size_t want;
  };
  const std::vector<Case> cases = {
      {forty + "\xd0\xb4", 81, TextForm::kUtf8, 80},  // the 41st letter would not fit whole
      {"a" + forty, 81, TextForm::kUtf8, 81},
      {"ab" + forty, 81, TextForm::kUtf8, 80},
      {forty + "\xd0\xb4", 81, TextForm::kCp1252, 81},
      {"ab\xe2\x94\x8c", 4, TextForm::kUtf8, 2},  // a box corner of three bytes
      {"ab\xe2\x94\x8c", 5, TextForm::kUtf8, 5},
      {"ab\x80\x80", 3, TextForm::kUtf8, 3},  // stray bytes are units of one byte
      {"\xf0\x9f\x98\x80z", 3, TextForm::kUtf8, 0},
      {"short", 81, TextForm::kUtf8, 5},
  };
  for (const Case& c : cases)
    EXPECT_EQ(ql::CharacterCut(c.text, c.max, c.form), c.want) << c.text << " " << c.max;

  struct Trim {
    std::string text;
    TextForm form;
    std::string want;
  };
  const std::vector<Trim> trims = {
      {"\xd0\xb4\xd0", TextForm::kUtf8, "\xd0\xb4"},
      {"ab\xe2\x94", TextForm::kUtf8, "ab"},
      {"ab\xe2\x94\x8c", TextForm::kUtf8, "ab\xe2\x94\x8c"},
      {"ab\xf0\x9f\x98", TextForm::kUtf8, "ab"},
      {"ab\x80", TextForm::kUtf8, "ab\x80"},  // a stray byte is no cut character
      {"caf\xe9", TextForm::kUtf8, "caf"},    // in UTF-8, 0xE9 starts a character of three bytes
      {"ab\xd0", TextForm::kCp1252, "ab\xd0"},
      {"", TextForm::kUtf8, ""},
  };
  for (const Trim& t : trims) EXPECT_EQ(ql::WithoutCutCharacter(t.text, t.form), t.want) << t.text;
}

TEST(SpellingOnCharacters, DistancesCountCharactersNotBytes) {
  struct Case {
    std::string a, b;
    bool unicode;
    int want;
  };
  const std::vector<Case> cases = {
      // дом / дым: one letter apart, two bytes apart.
      {"\xd0\xb4\xd0\xbe\xd0\xbc", "\xd0\xb4\xd1\x8b\xd0\xbc", true, 1},
      {"\xd0\xb4\xd0\xbe\xd0\xbc", "\xd0\xb4\xd1\x8b\xd0\xbc", false, 2},
      // ДОМ / дом: the same by case folding.
      {"\xd0\x94\xd0\x9e\xd0\x9c", "\xd0\xb4\xd0\xbe\xd0\xbc", true, 0},
      {"\xd0\x94\xd0\x9e\xd0\x9c", "\xd0\xb4\xd0\xbe\xd0\xbc", false, 3},
      // дмо / дом: one swap of two letters.
      {"\xd0\xb4\xd0\xbc\xd0\xbe", "\xd0\xb4\xd0\xbe\xd0\xbc", true, 1},
      // γάτα / γατα: one accented letter.
      {"\xce\xb3\xce\xac\xcf\x84\xce\xb1", "\xce\xb3\xce\xb1\xcf\x84\xce\xb1", true, 1},
      {"", "\xd0\xb4\xd0\xbe\xd0\xbc", true, 3},
      {"Cat", "cAT", true, 0},
      {"teh", "the", true, 1},
      // Stray bytes: units of their own, equal only to themselves.
      {"a\x80", "a\x81", true, 1},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ql::SpellingDistance(c.a, c.b, 10, c.unicode), c.want) << c.a << " " << c.b;
    EXPECT_EQ(ql::SpellingDistance(c.b, c.a, 10, c.unicode), c.want) << "symmetric";
  }
  // Over the bound, a long subject is refused before it is decoded.
  std::string longSubject;
  for (int i = 0; i < 30; ++i) longSubject += "\xd0\xb4";
  EXPECT_EQ(ql::SpellingDistance("\xd0\xb4", longSubject, 3, true), 4);
}

class UnicodeBookTest : public qltest::OpenDocumentTest {
 protected:
  void OpenBook(const std::vector<qltest::Entry>& entries, bool unicode, const char* name) {
    path = dir.File(name);
    WriteBook(path, entries, unicode);
    ASSERT_EQ(doc.Open(path, ql::kOpenReadWrite, path), ql::OpenResult::kOk);
    ASSERT_EQ(doc.Reader().IsUnicode(), unicode);
    doc.SetInitialised(true);
  }
  std::vector<std::string> Shown() {
    std::vector<std::string> out;
    for (const std::string& line : desktop.Calls("ShowRecord"))
      out.push_back(line.substr(std::string("ShowRecord ").size()));
    return out;
  }
  ql::FindState state;
};

TEST_F(UnicodeBookTest, FindFoldsCapitalTermsToTheLowerCaseText) {
  OpenBook(UnicodeEntries(), true, "u.ql");
  struct Case {
    std::string term;
    bool subjectOnly;
    int record;
  };
  const std::vector<Case> cases = {
      {"\xd0\x91\xd0\x9e\xd0\x9b\xd0\xac\xd0\xa8\xd0\x90\xd0\xaf", false, 3},  // БОЛЬШАЯ
      {"\xd0\x9a\xd0\x9d\xd0\x98\xd0\x93\xd0\x90", true, 3},  // КНИГА, subject
      {"\xce\x93\xce\x86\xce\xa4\xce\x91", true, 1},          // ΓΆΤΑ
      {"\xc9\x92L\xc9\xaa", false, 0},                        // IPA inside a word, whole words off
      {"HOLIDAY", true, 0},
  };
  for (const Case& c : cases) {
    desktop.log.clear();
    desktop.mark = 0;
    state = {};
    ql::FindDialogValues values;
    values.term1 = c.term;
    values.subjectOnly = c.subjectOnly;
    values.wholeWords = false;
    desktop.finds = {values};
    desktop.answers = {ql::Answer::kNo};  // the restart offer, should it not be found
    ql::RunFind(doc, desktop, state);
    const std::vector<std::string> shown = Shown();
    desktop.answers.clear();
    EXPECT_EQ(shown.size(), 1u) << c.term;
    if (shown.size() != 1) continue;
    EXPECT_THAT(shown[0], testing::StartsWith(std::to_string(c.record) + " ")) << c.term;
    EXPECT_EQ(state.iForm, TextForm::kUtf8);
    EXPECT_EQ(state.iQuery.term1, ql::FoldUtf8(c.term));
  }
}

TEST_F(UnicodeBookTest, FindTermsFollowTheBookIntoItsForm) {
  // Searched in a UTF-8 book, then Find Next in a Windows-1252 one.
  OpenBook(UnicodeEntries(), true, "u.ql");
  ql::FindDialogValues values;
  values.term1 = "CAF\xc3\x89";  // nowhere in this book
  desktop.finds = {values};
  desktop.answers = {ql::Answer::kNo};
  ql::RunFind(doc, desktop, state);
  EXPECT_TRUE(Shown().empty());
  EXPECT_EQ(state.iQuery.term1, "caf\xc3\xa9");

  OpenBook(Cp1252Entries(), false, "c.ql");
  desktop.log.clear();
  desktop.mark = 0;
  ql::RunFindNext(doc, desktop, state);
  EXPECT_THAT(Shown(), testing::ElementsAre(testing::StartsWith("0 ")));
  EXPECT_EQ(state.iQuery.term1, "caf\xe9");
  EXPECT_EQ(state.iForm, TextForm::kCp1252);

  // The dialog opened in a UTF-8 book shows the term in UTF-8 again.
  OpenBook(UnicodeEntries(), true, "u2.ql");
  desktop.finds = {std::nullopt};
  ql::RunFind(doc, desktop, state);
  ASSERT_EQ(desktop.findShown.size(), 2u);
  EXPECT_EQ(desktop.findShown.back().term1, "caf\xc3\xa9");
}

TEST_F(UnicodeBookTest, BookmarksKeepWholeCharacters) {
  std::string forty;
  for (int i = 0; i < 40; ++i) forty += "\xd0\xb4";
  struct Case {
    std::string subject;
    std::string kept;
  };
  // In book order.
  const std::vector<Case> cases = {
      {"a" + forty + "\xd0\xb4", "a" + forty},  // 83 bytes: 81 would cut a letter
      {"ab" + forty, "ab" + forty.substr(0, 78)},
      {"b" + forty, "b" + forty},  // 81 bytes exactly
      {"c\xd0\xb4", "c\xd0\xb4"},
  };
  std::vector<qltest::Entry> entries;
  for (const Case& c : cases) entries.push_back({c.subject, "text"});
  OpenBook(entries, true, "marks.ql");
  for (size_t i = 0; i < cases.size(); ++i) {
    desktop.mark = static_cast<int>(i);
    ql::NewBookmark(doc, desktop);
  }
  const std::vector<ql::BookmarkItem> items = ql::BookmarksInUse(doc);
  ASSERT_EQ(items.size(), cases.size());
  for (size_t i = 0; i < cases.size(); ++i) {
    EXPECT_EQ(items[i].text, cases[i].kept) << i;
    EXPECT_EQ(doc.Reader().GetBookmark(items[i].slot).recordIndex, static_cast<int>(i));
  }
}

TEST_F(UnicodeBookTest, BookmarksOfACp1252BookKeepTheirBytes) {
  const std::string longSubject = std::string(79, 'a') + "\xe9\xe9\xe9";
  OpenBook({{longSubject, "x"}}, false, "c.ql");
  desktop.mark = 0;
  ql::NewBookmark(doc, desktop);
  const std::vector<ql::BookmarkItem> items = ql::BookmarksInUse(doc);
  ASSERT_EQ(items.size(), 1u);
  EXPECT_EQ(items[0].text, longSubject.substr(0, 81));
}

TEST_F(UnicodeBookTest, NearestSubjectsByCharacters) {
  OpenBook(UnicodeEntries(), true, "u.ql");
  std::atomic<bool> stop{false};
  struct Case {
    std::string text;
    int first;
    int distance;
  };
  const std::vector<Case> cases = {
      {"\xd0\xba\xd0\xbd\xd0\xb0\xd0\xb3\xd0\xb0", 3, 1},  // кнага
      {"\xd0\x94\xd1\x8b\xd0\xbc", 2, 1},                  // Дым
      {"holyday", 0, 1},
  };
  for (const Case& c : cases) {
    const std::vector<ql::Suggestion> got = ql::NearestSubjects(doc.Reader(), c.text, stop);
    ASSERT_FALSE(got.empty()) << c.text;
    EXPECT_EQ(got[0].record, c.first) << c.text;
    EXPECT_EQ(got[0].distance, c.distance) << c.text;
  }
  // The lookup line's suggester gives the same first offer.
  ql::SpellingSuggester suggester([] { return std::unique_ptr<ql::BookReader>(); });
  const ql::SpellingSnapshot first =
      suggester.Start("\xd0\xba\xd0\xbd\xd0\xb0\xd0\xb3\xd0\xb0", doc.Reader());
  ASSERT_FALSE(first.suggestions.empty());
  EXPECT_EQ(first.suggestions[0].record, 3);
}

// A shelf of a Windows-1252 book and a UTF-8 one.
class MixedShelfTest : public testing::Test {
 protected:
  void SetUp() override {
    WriteBook(dir.File("c.ql"), Cp1252Entries(), false);
    WriteBook(dir.File("u.ql"), UnicodeEntries(), true);
    shelf.SetBooks({{dir.File("c.ql"), "c.ql"}, {dir.File("u.ql"), "u.ql"}});
  }
  // The sections a lookup of text gives, once every book answered.
  std::vector<ql::LookupSection> LookUp(const std::string& text, int mode) {
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<ql::LookupSection> sections;
    bool done = false;
    shelf.LookUpText(
        text, mode,
        [&](uint64_t, ql::LookupSection s) {
          std::lock_guard lock(mutex);
          sections.push_back(std::move(s));
        },
        [&](uint64_t) {
          std::lock_guard lock(mutex);
          done = true;
          changed.notify_all();
        });
    std::unique_lock lock(mutex);
    changed.wait(lock, [&] { return done; });
    std::sort(sections.begin(), sections.end(),
              [](const auto& a, const auto& b) { return a.book < b.book; });
    return sections;
  }

  qltest::TempDir dir;
  ql::Shelf shelf;
};

TEST_F(MixedShelfTest, EachBookIsAskedInItsOwnForm) {
  struct Case {
    std::string text;
    int mode;
    std::vector<std::pair<int, int>> found;  // book, record
  };
  const std::vector<Case> cases = {
      {"\xd0\xb4\xd0\xbe\xd0\xbc", ql::MatchWhole, {{1, 2}}},  // дом
      {"\xd0\x94\xd0\x9e\xd0\x9c", ql::MatchWhole, {{1, 2}}},  // ДОМ
      {"\xd0\xba\xd0\xbd", ql::MatchPrefix, {{1, 3}}},         // кн
      {"caf\xc3\xa9", ql::MatchWhole, {{0, 0}}},               // café, stored as Windows-1252
      {"CAF\xc3\xa9", ql::MatchWhole, {{0, 0}}},  // ASCII letters folded, as the book orders them
      {"CAF\xc3\x89", ql::MatchWhole, {}},        // and only those, as before
      {"\xd9\x83\xd8\xaa\xd8\xa7\xd8\xa8", ql::MatchWhole, {{1, 4}}},
      {"do", ql::MatchPrefix, {{0, 1}}},  // dog; no Cyrillic subject starts so
      {"\xe2\x94\x8c", ql::MatchPrefix, {}},
  };
  for (const Case& c : cases) {
    std::vector<std::pair<int, int>> got;
    for (const ql::LookupSection& s : LookUp(c.text, c.mode)) {
      got.emplace_back(s.book, s.index);
      EXPECT_EQ(s.unicode, s.book == 1);
    }
    EXPECT_EQ(got, c.found) << c.text;
  }
}

TEST_F(MixedShelfTest, LinksAndPagesOfSections) {
  // A link key in UTF-8 is looked for in each book's form.
  struct Link {
    std::string key;
    int from;
    ql::LinkPlace want;
  };
  const std::vector<Link> links = {
      {"\xd0\xba\xd0\xbd\xd0\xb8\xd0\xb3\xd0\xb0", 0, {1, 3}},  // книга from the other book
      {"\xd0\xba\xd0\xbd\xd0\xb8\xd0\xb3\xd0\xb0", 1, {1, 3}},
      {"caf\xc3\xa9", 1, {0, 0}},
      {"nowhere", 1, {1, 0}},  // as in one book: its first record
  };
  for (const Link& l : links) {
    const ql::LinkPlace got = shelf.ResolveLinkText(l.key, l.from);
    EXPECT_EQ(got.book, l.want.book) << l.key;
    EXPECT_EQ(got.index, l.want.index) << l.key;
  }

  std::vector<ql::LookupSection> sections = {shelf.Section(0, 0), shelf.Section(1, 2)};
  ASSERT_FALSE(sections[0].unicode);
  ASSERT_TRUE(sections[1].unicode);
  const std::string utf8 = ql::WriteSectionsPage(sections, {}, {}, TextForm::kUtf8);
  EXPECT_NE(utf8.find("charset=utf-8"), std::string::npos);
  EXPECT_EQ(utf8.find("charset=windows-1252"), std::string::npos);
  // The Windows-1252 section turned into UTF-8, the UTF-8 one as stored,
  // each once, without a page head of its own.
  EXPECT_NE(utf8.find("<h2>caf\xc3\xa9</h2>"), std::string::npos);
  EXPECT_NE(utf8.find("<h2>\xd0\xb4\xd0\xbe\xd0\xbc</h2>"), std::string::npos);
  EXPECT_NE(utf8.find("quill-in:1:\xd0\xba\xd0\xbd\xd0\xb8\xd0\xb3\xd0\xb0\""), std::string::npos);
  EXPECT_EQ(utf8.find("<html>", 1), std::string::npos);
  // The key of that section link resolves as a UTF-8 key.
  const auto link = ql::SectionLinkKey("quill-in:1:\xd0\xba\xd0\xbd\xd0\xb8\xd0\xb3\xd0\xb0");
  ASSERT_TRUE(link);
  EXPECT_EQ(shelf.ResolveLinkText(link->key, link->book).index, 3);

  // A Windows-1252 page holds the characters it lacks as references.
  const std::string cp = ql::WriteSectionsPage(sections, {});
  EXPECT_NE(cp.find("<h2>caf\xe9</h2>"), std::string::npos);
  EXPECT_NE(cp.find("<h2>&#1076;&#1086;&#1084;</h2>"), std::string::npos);
  EXPECT_EQ(cp.find("<html>", 1), std::string::npos);

  // The lead of a page that found nothing, in the page's form.
  ql::ShelfAnswers none;
  none.Start(1);
  none.Finish(1);
  EXPECT_EQ(ql::NoneFoundLead(none, "\xd0\xb4", TextForm::kUtf8),
            "\xe2\x80\x9c\xd0\xb4\xe2\x80\x9d is in none of the books that answered.");
  EXPECT_EQ(ql::NoneFoundLead(none, "x"), "\x93x\x94 is in none of the books that answered.");
}

TEST_F(MixedShelfTest, SpellingOffersFromBothForms) {
  ql::ShelfSpelling spelling(shelf);
  struct Case {
    std::string text;
    std::string firstOffer;
    int book;
  };
  const std::vector<Case> cases = {
      {"\xd0\xba\xd0\xbd\xd0\xb0\xd0\xb3\xd0\xb0", "\xd0\xba\xd0\xbd\xd0\xb8\xd0\xb3\xd0\xb0", 1},
      {"cafe", "caf\xc3\xa9", 0},  // shown in UTF-8 though stored in the code page
  };
  for (const Case& c : cases) {
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<ql::ShelfSuggestion> got;
    bool done = false;
    spelling.Start(c.text, [&](uint64_t, auto list) {
      std::lock_guard lock(mutex);
      got = std::move(list);
      done = true;
      changed.notify_all();
    });
    std::unique_lock lock(mutex);
    changed.wait(lock, [&] { return done; });
    ASSERT_FALSE(got.empty()) << c.text;
    EXPECT_EQ(got[0].text, c.firstOffer) << c.text;
    EXPECT_EQ(got[0].book, c.book) << c.text;
  }
}

}  // namespace
