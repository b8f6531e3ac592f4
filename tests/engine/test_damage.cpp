// Damaged books: every record the reader can tell is damaged says so, reads
// no further than it can, and renders as a page that says it is damaged; the
// records around it read as built.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "book_fixture.h"
#include "book_reader.h"
#include "parallel_search.h"

namespace {

constexpr std::string_view kDamagedPage = "This entry is damaged";

std::string Render(ql::BookReader& reader, int index) {
  ql::StringSink sink;
  reader.RenderRecord(sink, index, -1, -1);
  return sink.Data();
}

// The records that LoadRecord reports damaged, each checked against what was
// built for the others.
std::vector<int> DamagedRecords(ql::BookReader& reader, const std::vector<qltest::Entry>& entries,
                                const std::string& name) {
  std::vector<int> damaged;
  for (int i = 0; i < reader.GetSubjectCount(); ++i) {
    EXPECT_EQ(reader.LoadRecord(i), 1) << name << " record " << i;
    if (reader.CurrentRecordDamaged()) {
      damaged.push_back(i);
      continue;
    }
    const qltest::Entry& built = entries[static_cast<size_t>(i)];
    EXPECT_EQ(reader.CurrentRecordText(), built.text) << name << " record " << i;
    EXPECT_EQ(reader.GetSubject(i), built.subject) << name << " record " << i;
  }
  return damaged;
}

TEST(DamagedBook, UndamagedBookReadsWhole) {
  qltest::TempDir dir;
  const std::string path = dir.File("good.ql");
  const std::vector<qltest::Entry> entries = qltest::DamageTestEntries();
  qltest::WriteFileBytes(path, qltest::BuildBookBytes(entries, qltest::DamageTestOptions()));
  ql::BookReader reader;
  ASSERT_EQ(reader.Open(path, ql::kOpenReadOnly), ql::kOpenOk);
  EXPECT_EQ(DamagedRecords(reader, entries, "good"), std::vector<int>{});
  for (int i = 0; i < reader.GetSubjectCount(); ++i)
    EXPECT_EQ(Render(reader, i).find(kDamagedPage), std::string::npos) << i;
}

TEST(DamagedBook, EachKindOfDamageIsTold) {
  for (const qltest::DamagedBook& book : qltest::DamagedBooks()) {
    qltest::TempDir dir;
    const std::string path = dir.File("damaged.ql");
    qltest::WriteFileBytes(path, book.bytes);
    ql::BookReader reader;
    ASSERT_EQ(reader.Open(path, ql::kOpenReadOnly), ql::kOpenOk) << book.name;
    ASSERT_FALSE(book.damaged.empty()) << book.name;
    EXPECT_EQ(DamagedRecords(reader, book.entries, book.name), book.damaged) << book.name;
    // The window's page says so instead of showing what could be read.
    for (int i = 0; i < reader.GetSubjectCount(); ++i) {
      const bool damaged =
          std::find(book.damaged.begin(), book.damaged.end(), i) != book.damaged.end();
      const std::string page = Render(reader, i);
      EXPECT_EQ(page.find(kDamagedPage) != std::string::npos, damaged) << book.name << " " << i;
      if (damaged) {
        EXPECT_EQ(page.find(book.entries[static_cast<size_t>(i)].text.substr(30, 40)),
                  std::string::npos)
            << book.name << " " << i;
      }
    }
  }
}

}  // namespace
