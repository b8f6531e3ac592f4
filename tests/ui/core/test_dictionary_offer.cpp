// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// Find Dictionaries over a tree of dictionaries the tests write, with the
// scripted desktop and a home of their own: the question, the imports on
// their worker thread, the books joining the library, and the offer at the
// first start.
#include <gtest/gtest.h>

#include <filesystem>

#include "book_fixture.h"
#include "dict_fixture.h"
#include "dictionary_offer.h"
#include "scripted_desktop.h"
#include "test_helpers.h"

namespace {

namespace fs = std::filesystem;

TEST(DictionaryOffer, TheQuestionCountsNewAndChangedDictionaries) {
  const struct {
    size_t count, changed;
    const char* starts;
    const char* asks;
  } cases[] = {
      {1, 0, "1 dictionary was found on this computer that the library does not have yet.",
       "Add them"},
      {2, 0, "2 dictionaries were found on this computer that the library does not have yet.",
       "Add them"},
      {3, 1,
       "2 dictionaries were found on this computer that the library does not have yet, "
       "and 1 has changed since it was added.",
       "Add them"},
      {1, 1, "1 dictionary on this computer has changed since it was added", "Import it again?"},
      {2, 2, "2 dictionaries on this computer have changed since", "Import them again?"},
  };
  for (const auto& c : cases) {
    const std::string text = ql::DictionaryOfferText(c.count, c.changed);
    EXPECT_TRUE(text.starts_with(c.starts)) << text;
    EXPECT_NE(text.find(c.asks), std::string::npos) << text;
  }
}

class DictionaryOfferTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(iDictd);
    qltest::WriteDictd(iDictd + "/animals", {{"cat", "A cat."}, {"dog", "A dog."}});
    qltest::WriteDictd(iDictd + "/plants", {{"fern", "A fern."}, {"oak", "A tree."}},
                       qltest::DictText::kDictzip);
    iRoots.dictd = {iDictd};
  }
  std::vector<ql::FoundDictionary> Offer(ql::Answer answer, bool quiet = false) {
    iDesktop.answers = {answer};
    std::vector<ql::FoundDictionary> wanted =
        ql::OfferDictionaries(iDesktop, iRoots, ql::BooksFolder(), quiet);
    EXPECT_FALSE(iDesktop.waitCursor);
    return wanted;
  }
  // Imports them on the job's thread and lets the library take the books.
  std::string ImportAll(std::vector<ql::FoundDictionary> wanted) {
    ql::DictionaryImportJob job(std::move(wanted));
    job.Wait();
    EXPECT_TRUE(job.Finished());
    EXPECT_EQ(job.Now().percent, 100);
    std::string status, reason;
    EXPECT_TRUE(ql::FinishDictionaryImport(job, iLibrary, ql::LibraryFilePath(), ql::BooksFolder(),
                                           status, reason))
        << reason;
    return status;
  }

  qltest::TempDir iHome;
  qltest::ScopedEnv iConfig{"XDG_CONFIG_HOME", (iHome.Path() + "/config").c_str()};
  qltest::ScopedEnv iData{"XDG_DATA_HOME", (iHome.Path() + "/data").c_str()};
  std::string iDictd = iHome.Path() + "/usr/share/dictd";
  ql::DictionaryRoots iRoots;
  qltest::ScriptedDesktop iDesktop;
  ql::Library iLibrary;
};

TEST_F(DictionaryOfferTest, NoAddsNothingAndYesImportsIntoTheLibrary) {
  EXPECT_TRUE(Offer(ql::Answer::kNo).empty());
  EXPECT_EQ(iDesktop.Calls("Ask"),
            (std::vector<std::string>{"Ask Find Dictionaries yesno icon 1 owned"}));
  EXPECT_FALSE(fs::exists(ql::BooksFolder()));

  std::vector<ql::FoundDictionary> wanted = Offer(ql::Answer::kYes);
  ASSERT_EQ(wanted.size(), 2u);
  const std::vector<std::string> books = {wanted[0].book, wanted[1].book};
  EXPECT_EQ(ImportAll(std::move(wanted)), "2 dictionaries were added to the library.");
  for (const std::string& book : books) {
    EXPECT_TRUE(fs::is_regular_file(book)) << book;
    EXPECT_EQ(fs::path(book).parent_path(), fs::path(ql::BooksFolder()));
  }
  // In the library, and in its file.
  for (const ql::Library& library : {iLibrary, ql::Library::Load(ql::LibraryFilePath())}) {
    ASSERT_EQ(library.BooksOf(ql::kAllBooks).size(), 2u);
    for (const std::string& book : books) EXPECT_TRUE(library.Find(book)) << book;
  }
  EXPECT_EQ(ql::ProbeBook(books[0]).state, ql::BookState::kOpen);

  // Once imported, nothing is offered: said from the menu, silent at start.
  iDesktop.log.clear();
  EXPECT_TRUE(Offer(ql::Answer::kYes).empty());
  EXPECT_EQ(iDesktop.Calls("ShowMessageIcon").size(), 1u);
  EXPECT_FALSE(iDesktop.Called("Ask"));
  iDesktop.log.clear();
  EXPECT_TRUE(Offer(ql::Answer::kYes, true).empty());
  EXPECT_FALSE(iDesktop.Called("ShowMessageIcon"));
  EXPECT_FALSE(iDesktop.Called("Ask"));

  // A source newer than its book is offered again, alone.
  const fs::path source = iDictd + "/plants.index";
  fs::last_write_time(source, fs::last_write_time(books[1]) + std::chrono::seconds(10));
  wanted = Offer(ql::Answer::kYes);
  ASSERT_EQ(wanted.size(), 1u);
  EXPECT_EQ(wanted[0].book, books[1]);
  EXPECT_EQ(ImportAll(std::move(wanted)), "1 dictionary was added to the library.");
  EXPECT_EQ(iLibrary.Books().size(), 2u);
}

TEST_F(DictionaryOfferTest, AFailingDictionaryNeverStopsTheOthers) {
  // An index whose entry lies past the end of its text.
  qltest::WriteFileBytes(iDictd + "/broken.index", qltest::DictdIndexLine("word", 5000, 40));
  qltest::WriteFileBytes(iDictd + "/broken.dict", "short");
  std::vector<ql::FoundDictionary> wanted = Offer(ql::Answer::kYes);
  ASSERT_EQ(wanted.size(), 3u);
  const std::string status = ImportAll(std::move(wanted));
  EXPECT_TRUE(
      status.starts_with("2 dictionaries were added to the library; 1 could not be "
                         "imported ("))
      << status;
  EXPECT_EQ(iLibrary.BooksOf(ql::kAllBooks).size(), 2u);
}

TEST_F(DictionaryOfferTest, TheFirstStartIsTheOneWithoutALibraryFile) {
  const std::string file = ql::LibraryFilePath();
  fs::create_directories(ql::BooksFolder());
  qltest::WriteFileBytes(ql::BooksFolder() + "/kept.ql", qltest::BuildBookBytes({{"a", "b"}}));
  EXPECT_TRUE(ql::FirstStart(iLibrary, file, ql::BooksFolder()));
  // Written at once with what the books folder holds, so the offer comes once.
  EXPECT_EQ(ql::Library::Load(file).Books().size(), 1u);
  EXPECT_FALSE(ql::FirstStart(iLibrary, file, ql::BooksFolder()));
}

}  // namespace
