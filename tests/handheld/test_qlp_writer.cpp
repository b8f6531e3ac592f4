// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// QLPWriter over a source made of vectors: the file layout byte for byte on
// the smallest books, the record splits and packing limits, the data header
// addressing, the markup conversion, progress, messages and failed runs.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <optional>
#include <random>

#include "book_fixture.h"
#include "file_size_limit.h"
#include "handheld_test_util.h"
#include "pdb_format.h"

using hhtest::CountingProgress;
using hhtest::ExportedBook;
using hhtest::FakeSource;
using hhtest::Hex;
using hhtest::ReadExport;
using hhtest::RecordingMessages;
using qltest::ReadFileBytes;
using qltest::TempDir;

namespace {

using Entries = std::vector<std::pair<std::string, std::string>>;
constexpr int64_t kTime = 1700000000;

struct ExportRun {
  ql::HandheldResult result = static_cast<ql::HandheldResult>(-1);
  std::string file;
  ExportedBook book;
};

ExportRun Export(FakeSource& source, const TempDir& dir, ql::ProgressSink* progress = nullptr,
                 ql::MessageSink* messages = nullptr) {
  ExportRun run;
  std::string path = dir.File("out.pdb");
  source.OpenSource("book.ql");
  source.SetExportTime(kTime);
  source.SetMessageSink(messages);
  run.result = source.ExportToHandheld(path.c_str(), "Book", progress);
  run.file = ReadFileBytes(path);
  if (run.result == ql::HandheldResult::kOk) run.book = ReadExport(run.file);
  return run;
}

// The converted text of entry i, from the exported stream.
std::vector<std::string> Texts(const ExportedBook& b) {
  std::vector<std::string> out;
  size_t at = 0;
  while (at < b.stream.size()) {
    size_t s = b.stream.find('\0', at);
    size_t t = b.stream.find('\0', s + 1);
    out.push_back(b.stream.substr(s + 1, t - s - 1));
    at = t + 1;
  }
  return out;
}

TEST(QLPWriterLayout, EmptyBookIs490Bytes) {
  TempDir dir;
  FakeSource s;
  ExportRun run = Export(s, dir);
  ASSERT_EQ(run.result, ql::HandheldResult::kOk);
  ASSERT_EQ(run.file.size(), 490u);
  std::string expected("Book", 4);
  expected.resize(32, '\0');
  expected += hhtest::Unhex("00 00 00 01");
  uint32_t palm = static_cast<uint32_t>(kTime + 2082844800);
  std::string date = {static_cast<char>(palm >> 24), static_cast<char>(palm >> 16),
                      static_cast<char>(palm >> 8), static_cast<char>(palm)};
  expected += date + date;
  expected += std::string(16, '\0') + "QlryQLPW" + std::string(8, '\0');
  expected += hhtest::Unhex("00 01 00 00 00 58 00 00 00 00 99 99");
  expected += hhtest::Unhex("00 07 00 00 00 00 00 00 0F FF F0 00 00 02 00 00 00 00");
  expected += std::string(384, '\0');
  EXPECT_EQ(Hex(run.file), Hex(expected));
}

TEST(QLPWriterLayout, OneSubjectBookIs525Bytes) {
  TempDir dir;
  FakeSource s(Entries{{"a", "b"}});
  s.sorted = 1;
  ExportRun run = Export(s, dir);
  ASSERT_EQ(run.result, ql::HandheldResult::kOk);
  ASSERT_EQ(run.file.size(), 525u);
  hhtest::ParsedPdb p = hhtest::ParsePdb(run.file);
  ASSERT_TRUE(p.ok) << p.error;
  EXPECT_EQ(p.numRecords, 4);
  EXPECT_EQ(p.offsets, (std::vector<uint32_t>{112, 514, 515, 519}));
  EXPECT_EQ(Hex(p.records[1]), "61");
  EXPECT_EQ(Hex(p.records[2]), "00 00 00 00");
  EXPECT_EQ(Hex(p.records[3]), "80 04 61 00 62 00");
  EXPECT_EQ(Hex(p.records[0].substr(16, 2)), "00 01");  // sorted, from the source
  EXPECT_EQ(p.type, "Qlry");
  EXPECT_EQ(p.creator, "QLPW");
  EXPECT_EQ(run.file.substr(60, 8), "QlryQLPW");
}

TEST(QLPWriterLayout, NameIsCutTo32BytesAndPadded) {
  TempDir dir;
  FakeSource s;
  s.OpenSource("x");
  std::string path = dir.File("n.pdb");
  std::string longName(40, 'N');
  longName[31] = 'Z';
  ASSERT_EQ(s.ExportToHandheld(path.c_str(), longName.c_str(), nullptr), ql::HandheldResult::kOk);
  std::string file = ReadFileBytes(path);
  EXPECT_EQ(file.substr(0, 32), longName.substr(0, 32));
  EXPECT_EQ(file.substr(32, 2), std::string(2, '\0'));
}

// Table records split at 15359 entries (data headers) and 61439 bytes (first
// characters); the stream is checked entry by entry against its addressing.
TEST(QLPWriterLayout, TableRecordSplits) {
  struct Case {
    size_t n;
    std::vector<size_t> firstChar, header;
  };
  const Case cases[] = {{15359, {15359}, {61436}},
                        {15360, {15360}, {61436, 4}},
                        {61439, {61439}, {61436, 61436, 61436, 61436, 12}},
                        {61440, {61439, 1}, {61436, 61436, 61436, 61436, 16}}};
  for (const Case& c : cases) {
    TempDir dir;
    FakeSource s;
    for (size_t i = 0; i < c.n; ++i) {
      s.subjects.push_back(std::to_string(i));
      s.texts.push_back("");
    }
    ExportRun run = Export(s, dir);
    ASSERT_EQ(run.result, ql::HandheldResult::kOk);
    ASSERT_TRUE(run.book.ok) << run.book.error;
    hhtest::ParsedPdb p = hhtest::ParsePdb(run.file);
    std::vector<size_t> fc, dh;
    for (size_t r = 0; r < c.firstChar.size(); ++r) fc.push_back(p.records[1 + r].size());
    for (size_t r = 0; r < c.header.size(); ++r)
      dh.push_back(p.records[1 + c.firstChar.size() + r].size());
    EXPECT_EQ(fc, c.firstChar) << c.n << " subjects";
    EXPECT_EQ(dh, c.header) << c.n << " subjects";
    EXPECT_EQ(p.numRecords, 1 + c.firstChar.size() + c.header.size() + run.book.dataRecords.size());
    EXPECT_EQ(run.book.stream.size(), [&] {
      size_t total = 0;
      for (size_t i = 0; i < c.n; ++i) total += std::to_string(i).size() + 2;
      return total;
    }());
  }
}

// Fourteen incompressible 4095-byte blocks take 14 x 4097 = 57358 bytes of a
// record; a last block of 4080 bytes fills it to exactly 61440, one of 4081
// starts the next record.
TEST(QLPWriterLayout, PackingLimits) {
  for (size_t last : {size_t{4080}, size_t{4081}}) {
    TempDir dir;
    const size_t stream = 14 * 4095 + last;
    FakeSource s(Entries{{"s", hhtest::Incompressible(stream - 3, 7, "s")}});
    ExportRun run = Export(s, dir);
    ASSERT_EQ(run.result, ql::HandheldResult::kOk);
    ASSERT_TRUE(run.book.ok) << run.book.error;
    size_t blocks = 0;
    for (auto& r : run.book.blocks) blocks += r.size();
    ASSERT_EQ(blocks, 15u);
    for (auto& r : run.book.blocks)
      for (auto& b : r) ASSERT_EQ(hhtest::Decompress(b.coded).size(), b.coded.size());
    if (last == 4080) {
      ASSERT_EQ(run.book.dataRecords.size(), 1u);
      EXPECT_EQ(run.book.dataRecords[0].size(), 61440u);
    } else {
      ASSERT_EQ(run.book.dataRecords.size(), 2u);
      EXPECT_EQ(run.book.dataRecords[0].size(), 57358u);
      EXPECT_EQ(run.book.blocks[0].size(), 14u);
      EXPECT_TRUE(run.book.blocks[0].back().lastFlag);
      EXPECT_EQ(run.book.dataRecords[1].size(), 4083u);
    }
  }
}

// Subjects that begin in the block that opens a new record are addressed as
// block 0 of that record, not as block 14 of the one before.
TEST(QLPWriterLayout, LocationFollowsABlockIntoTheNextRecord) {
  TempDir dir;
  std::string big = hhtest::Incompressible(14 * 4095 + 7, 11, "A");
  FakeSource s(Entries{{"A", big},
                       {"b1", "x"},
                       {"b2", "y"},
                       {"b3", "z"},
                       {"C", hhtest::Incompressible(5000, 12, big)}});
  ExportRun run = Export(s, dir);
  ASSERT_EQ(run.result, ql::HandheldResult::kOk);
  ASSERT_TRUE(run.book.ok) << run.book.error;
  ASSERT_EQ(run.book.dataRecords.size(), 2u);
  EXPECT_EQ(run.book.blocks[0].size(), 14u);
  EXPECT_EQ(run.book.locations[0], 0);
  for (size_t i = 1; i <= 4; ++i) EXPECT_EQ(run.book.locations[i], 1 << 7) << "subject " << i;
  EXPECT_EQ(run.book.offsets[1], 10);
  EXPECT_EQ(run.book.offsets[2], 15);
  EXPECT_EQ(run.book.offsets[4], 25);
}

TEST(QLPWriterLayout, StreamIsSubjectAndTextForEveryEntryAcrossBlocks) {
  TempDir dir;
  std::vector<std::pair<std::string, std::string>> entries;
  for (int i = 0; i < 400; ++i)
    entries.push_back(
        {"subject " + std::to_string(i),
         std::string(static_cast<size_t>(i * 37 % 900), static_cast<char>('a' + i % 26)) +
             " the end of entry " + std::to_string(i)});
  FakeSource s(entries);
  ExportRun run = Export(s, dir);
  ASSERT_EQ(run.result, ql::HandheldResult::kOk);
  ASSERT_TRUE(run.book.ok) << run.book.error;
  EXPECT_EQ(run.book.stream, hhtest::StreamOf(entries));
  EXPECT_EQ(run.book.subjectCount, 400u);
}

TEST(QLPWriterConversion, TagsAndLinks) {
  TempDir dir;
  std::vector<std::pair<std::string, std::string>> entries;
  for (int i = 0; i < 20; ++i) entries.push_back({"s" + std::to_string(100 + i), "t"});
  // Index 12 is "Zebra"; the others sort around it.
  entries[12].first = "Zebra";
  entries[3].first = "apple";
  const std::string T = "\t";
  auto tag = [](int code) { return std::string("\t") + static_cast<char>(code); };
  struct Case {
    std::string in, out;
  };
  const Case cases[] = {
      {tag(17) + "Zebra" + tag(18), tag(17) + "12>Zebra" + tag(18)},
      {tag(17) + "zEBRA>the stripes" + tag(18), tag(17) + "12>the stripes" + tag(18)},
      {"see " + tag(17) + "APPLE" + tag(18) + ".", "see " + tag(17) + "3>APPLE" + tag(18) + "."},
      {tag(17) + "nothing>shown" + tag(18) + " after", "nothing>shown after"},
      {tag(17) + "nothing" + tag(18), "nothing"},
      {"a" + tag(9) + " b", "a\n\nb"},
      {"a" + tag(8) + " b" + tag(10) + " c" + tag(8) + "d", "a\nb\nc\nd"},
      {tag(1) + "bold" + tag(2) + tag(3) + "it" + tag(4) + tag(19) + "s" + tag(20) + tag(24),
       "boldits"},
      {tag(5) + "u" + tag(6) + tag(7) + tag(15) + "c" + tag(16),
       tag(5) + "u" + tag(6) + tag(7) + tag(15) + "c" + tag(16)},
      {"end" + tag(15), "end" + tag(15)},
      {"tab at end\t", "tab at end"},
      {"stray" + tag(18) + " end", "stray end"},
      {tag(17) + "Zebra>in" + tag(17) + "apple" + tag(18),
       tag(17) + "12>in" + tag(17) + "3>apple" + tag(18)},
      {tag(17) + "Zebra>" + tag(17) + "nope>x" + tag(18),
       tag(17) + "12>" + tag(17) + "nope>x" + tag(18)},
      {tag(0x63) + "unknown", "unknown"},
  };
  std::vector<std::pair<std::string, std::string>> book = entries;
  for (const Case& c : cases) book.push_back({"case", c.in});
  FakeSource s(book);
  ExportRun run = Export(s, dir);
  ASSERT_EQ(run.result, ql::HandheldResult::kOk);
  ASSERT_TRUE(run.book.ok) << run.book.error;
  std::vector<std::string> texts = Texts(run.book);
  for (size_t k = 0; k < std::size(cases); ++k)
    EXPECT_EQ(Hex(texts[entries.size() + k]), Hex(cases[k].out))
        << "case " << k << ": " << cases[k].in;
}

// A link target without '>' is echoed cut to 253 bytes; one over 1022 bytes
// is read only that far.
TEST(QLPWriterConversion, LongLinkTargets) {
  TempDir dir;
  std::string target(300, 'q');
  std::string huge(1100, 'h');
  FakeSource s(Entries{{target, "x"},
                       {huge.substr(0, 1022), "y"},
                       {"l1", "\t\x11" + target + "\t\x12"},
                       {"l2", "\t\x11" + huge + "\t\x12"}});
  ExportRun run = Export(s, dir);
  ASSERT_EQ(run.result, ql::HandheldResult::kOk);
  ASSERT_TRUE(run.book.ok) << run.book.error;
  std::vector<std::string> texts = Texts(run.book);
  EXPECT_EQ(texts[2],
            "\t\x11"
            "0>" +
                target.substr(0, 253) + "\t\x12");
  EXPECT_EQ(texts[3],
            "\t\x11"
            "1>" +
                huge.substr(0, 253) + huge.substr(1022) + "\t\x12");
}

// Equal subjects (ignoring case) resolve to the one the Shell sort leaves
// where the binary search lands first; ties are not resolved by book order.
TEST(QLPWriterConversion, SortIsCaseInsensitiveAndKeepsItsTieOrder) {
  TempDir dir;
  FakeSource s(Entries{{"b",
                        "\t\x11"
                        "B\t\x12"},
                       {"B", ""},
                       {"a",
                        "\t\x11"
                        "A\t\x12"},
                       {"c",
                        "\t\x11"
                        "\xC9\t\x12"},
                       {"\xC9", ""}});
  ExportRun run = Export(s, dir);
  ASSERT_EQ(run.result, ql::HandheldResult::kOk);
  std::vector<std::string> texts = Texts(run.book);
  // Sorted index of {b, B, a, c, \xC9}: the gap-2 pass moves "a" before "b",
  // leaving a, B, b, c, \xC9; the search for "B" probes position 2 first and
  // finds subject 0 there (a stable sort would have given subject 1).
  EXPECT_EQ(texts[0],
            "\t\x11"
            "0>B\t\x12");
  EXPECT_EQ(texts[2],
            "\t\x11"
            "2>A\t\x12");
  EXPECT_EQ(texts[3],
            "\t\x11"
            "4>\xC9\t\x12");  // bytes above 0x7F are not folded
}

// The halving-gap Shell sort the database's link order is defined by,
// written out plainly: gapped insertion sorts, then one plain one.
std::vector<int32_t> ReferenceShellOrder(const std::vector<std::string>& subjects) {
  const size_t n = subjects.size();
  std::vector<std::string> folded(subjects);
  for (std::string& s : folded)
    for (char& c : s)
      if (c >= 'A' && c <= 'Z') c = char(c + 32);
  std::vector<int32_t> a(n);
  for (size_t i = 0; i < n; ++i) a[i] = int32_t(i);
  auto pass = [&](size_t gap) {
    for (size_t s = 0; s < gap; ++s)
      for (size_t j = s + gap; j < n; j += gap) {
        int32_t v = a[j];
        size_t k = j;
        while (k >= gap && folded[size_t(v)] < folded[size_t(a[k - gap])]) {
          a[k] = a[k - gap];
          k -= gap;
        }
        a[k] = v;
      }
  };
  for (size_t gap = n / 2; gap > 1; gap /= 2) pass(gap);
  pass(1);
  return a;
}

TEST(QLPWriterLinks, SortOrderOfEqualSubjectsIsTheShellSorts) {
  std::mt19937 rng(7);
  const char* words[] = {"a", "A", "b", "B", "ab", "Ab", "aB", "ba", "c", "", "a b", "\xe9"};
  for (int round = 0; round < 300; ++round) {
    FakeSource s;
    const size_t n = rng() % 200;
    for (size_t i = 0; i < n; ++i) s.subjects.push_back(words[rng() % std::size(words)]);
    s.PrepareLinks();
    ASSERT_EQ(s.SortedIndex(), ReferenceShellOrder(s.subjects)) << "round " << round;
  }
}

TEST(QLPWriterLinks, SortTakesNoQuadraticTime) {
  // Two sorted runs interleaved, the larger values on even places: with a
  // power-of-two count no gap before the last mixes them. Equal pairs too.
  const size_t n = size_t{1} << 17;
  // A long shared start makes each comparison cost what long subjects do.
  const std::string prefix(300, 'p');
  FakeSource s;
  char name[32];
  for (size_t i = 0; i < n; ++i) {
    const size_t v = (i % 2 == 0 ? n / 2 + i / 2 : i / 2) / 2;
    std::snprintf(name, sizeof name, "%08zu", v);
    s.subjects.push_back(prefix + name);
  }
  // A sort that went quadratic on this input would take hours: the suite's
  // time limit per test ends it, so nothing here reads a clock.
  s.PrepareLinks();
  for (size_t i = 1; i < n; ++i)
    ASSERT_LE(s.subjects[size_t(s.SortedIndex()[i - 1])], s.subjects[size_t(s.SortedIndex()[i])]);
}

TEST(QLPWriterConversion, StopsAtTheCapAndStaysInsideItsBuffer) {
  // Capacity 400: the cap is 380 bytes, tested before each input byte.
  TempDir dir;
  FakeSource s(Entries{{"p", "x"}, {"long", std::string(400, 'p')}});
  s.maxRecord = 400;
  ExportRun run = Export(s, dir);
  ASSERT_EQ(run.result, ql::HandheldResult::kOk);
  EXPECT_EQ(Texts(run.book)[1], std::string(380, 'p'));

  // A link whose expansion starts one byte below the cap writes all of it
  // (TAB, 17, the index, '>' and 253 bytes of target), and nothing after.
  // The buffer is exactly capacity + the margin, so ASan sees any overrun.
  std::string target(260, 't');
  FakeSource links(Entries{{target, "x"}, {"other", "y"}});
  links.PrepareLinks();
  std::string text = std::string(379, 'p') + "\t\x11" + target + "\t\x12" + "after";
  std::vector<uint8_t> out(400 + ql::kLinkExpansionMax);
  size_t n = links.WriteQLPTextV2ClearTags(reinterpret_cast<const uint8_t*>(text.data()),
                                           text.size(), 400, out.data());
  EXPECT_EQ(std::string(out.begin(), out.begin() + static_cast<long>(n)),
            std::string(379, 'p') +
                "\t\x11"
                "0>" +
                target.substr(0, 253));
  // Tiny and negative capacities write nothing.
  EXPECT_EQ(links.WriteQLPTextV2ClearTags(reinterpret_cast<const uint8_t*>(text.data()),
                                          text.size(), 5, out.data()),
            0u);
}

TEST(QLPWriterRun, ProgressStepsAndSourceCallOrder) {
  for (int n : {0, 1, 7}) {
    TempDir dir;
    FakeSource s;
    for (int i = 0; i < n; ++i) {
      s.subjects.push_back("s" + std::to_string(i));
      s.texts.push_back(std::string(3000, 'a' + static_cast<char>(i)));
    }
    s.logCalls = true;
    CountingProgress progress;
    ExportRun run = Export(s, dir, &progress);
    ASSERT_EQ(run.result, ql::HandheldResult::kOk);
    EXPECT_EQ(progress.steps, 2 * n + 2);
    std::vector<std::string> expected = {"count", "maxRecord", "maxSubject"};
    for (int i = 0; i < n; ++i) expected.push_back("subject " + std::to_string(i));
    for (int i = 0; i < n; ++i) expected.push_back("record " + std::to_string(i));
    expected.push_back("count");
    expected.push_back("sorted");
    EXPECT_EQ(s.calls, expected);
  }
}

TEST(QLPWriterRun, UnreadableRecordBecomesTildeAndTheRunGoesOn) {
  TempDir dir;
  FakeSource s(Entries{{"a", "one"}, {"b", "two"}, {"c", "three"}});
  s.failRecordAt = 1;
  ExportRun run = Export(s, dir);
  ASSERT_EQ(run.result, ql::HandheldResult::kOk);
  EXPECT_EQ(run.book.stream, hhtest::StreamOf({{"a", "one"}, {"b", "~"}, {"c", "three"}}));
}

TEST(QLPWriterRun, MissingArgumentsAndUncreatableFile) {
  TempDir dir;
  FakeSource s(Entries{{"a", "b"}});
  s.OpenSource("x");
  std::string path = dir.File("o.pdb");
  EXPECT_EQ(s.ExportToHandheld(nullptr, "n", nullptr), ql::HandheldResult::kMissingArgument);
  EXPECT_EQ(s.ExportToHandheld(path.c_str(), nullptr, nullptr),
            ql::HandheldResult::kMissingArgument);
  EXPECT_EQ(s.ExportToHandheld(path.c_str(), "", nullptr), ql::HandheldResult::kMissingArgument);
  EXPECT_FALSE(std::filesystem::exists(path));
  std::string missingDir = dir.File("no/such/dir/o.pdb");
  EXPECT_EQ(s.ExportToHandheld(missingDir.c_str(), "n", nullptr),
            ql::HandheldResult::kCannotCreate);
  EXPECT_EQ(s.ExportToHandheld(dir.Path().c_str(), "n", nullptr),
            ql::HandheldResult::kCannotCreate);
}

// A source that loses its book, or cannot give a subject, fails the run and
// leaves no file behind; a good file that stood at the target stays.
TEST(QLPWriterRun, FailingSourceLeavesNoCompleteLookingFile) {
  for (int mode = 0; mode < 2; ++mode) {
    TempDir dir;
    FakeSource s(Entries{{"a", "one"}, {"b", "two"}, {"c", "three"}});
    if (mode == 0) s.closeAtRecord = 1;
    if (mode == 1) s.failSubjectAt = 2;
    ExportRun run = Export(s, dir);
    EXPECT_EQ(run.result, ql::HandheldResult::kSourceFailed) << "mode " << mode;
    EXPECT_FALSE(std::filesystem::exists(dir.File("out.pdb")));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()),
                            std::filesystem::directory_iterator()),
              0)
        << "no temporary file left";

    qltest::WriteFileBytes(dir.File("out.pdb"), "good file");
    FakeSource again(Entries{{"a", "one"}, {"b", "two"}, {"c", "three"}});
    again.closeAtRecord = 2;
    ExportRun second = Export(again, dir);
    EXPECT_EQ(second.result, ql::HandheldResult::kSourceFailed);
    EXPECT_EQ(second.file, "good file");
  }
}

// A write that fails while finishing gives 4 and leaves no file; the limit
// on file size makes the 525-byte database fail part way.
TEST(QLPWriterRun, FailedWriteGivesFourAndNoFile) {
  TempDir dir;
  FakeSource s(Entries{{"a", "b"}});
  struct rlimit saved {};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
  struct rlimit small = saved;
  small.rlim_cur = 300;
  auto previous = std::signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  ExportRun run = Export(s, dir);
  setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, previous);
  EXPECT_EQ(run.result, ql::HandheldResult::kWriteFailed);
  EXPECT_FALSE(std::filesystem::exists(dir.File("out.pdb")));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()),
                          std::filesystem::directory_iterator()),
            0);
}

// A write that fails says why: the run keeps the errno of the failed write
// and the result's text names it. The book is larger than each limit.
TEST(QLPWriterRun, FailedWriteKeepsTheSystemsReason) {
  struct Case {
    std::string name, path;
    bool sizeLimit;
    int error;
    std::string text;
  };
  TempDir dir;
  std::vector<Case> cases = {{"file size limit", dir.File("out.pdb"), true, EFBIG,
                              "writing the file failed: file too large"}};
  if (access("/dev/full", W_OK) == 0)
    cases.push_back(
        {"/dev/full", "/dev/full", false, ENOSPC, "writing the file failed: disk full"});
  for (const Case& c : cases) {
    FakeSource s(Entries{{"s", hhtest::Incompressible(40000, 3, "s")}});
    s.OpenSource("book.ql");
    ql::HandheldResult result;
    {
      std::optional<qltest::FileSizeLimit> limit;
      if (c.sizeLimit) limit.emplace(300);
      result = s.ExportToHandheld(c.path.c_str(), "Book", nullptr);
    }
    EXPECT_EQ(result, ql::HandheldResult::kWriteFailed) << c.name;
    EXPECT_EQ(s.LastFailure().code, result) << c.name;
    EXPECT_EQ(s.LastFailure().error, c.error)
        << c.name << ": " << std::strerror(s.LastFailure().error);
    EXPECT_EQ(s.LastFailure().path, c.path) << c.name;
    EXPECT_EQ(ql::QLPResultText(s.LastFailure()), c.text) << c.name;
  }
  EXPECT_FALSE(std::filesystem::exists(dir.File("out.pdb")));

  // A run that succeeds has no reason left from the one before.
  FakeSource s(Entries{{"s", hhtest::Incompressible(40000, 3, "s")}});
  s.OpenSource("book.ql");
  {
    qltest::FileSizeLimit limit(300);
    ASSERT_EQ(s.ExportToHandheld(dir.File("good.pdb").c_str(), "Book", nullptr),
              ql::HandheldResult::kWriteFailed);
  }
  ASSERT_EQ(s.ExportToHandheld(dir.File("good.pdb").c_str(), "Book", nullptr),
            ql::HandheldResult::kOk);
  EXPECT_EQ(s.LastFailure().error, 0);
}

// A file system that fills up while the database is written, part way or
// only when the last buffered bytes go out as the file is finished.
TEST(QLPWriterRun, FullFileSystemSaysDiskFull) {
  TempDir dir;
  qltest::SmallFileSystem small(dir.File("small"), 16384);
  if (!small.Mounted()) GTEST_SKIP() << "cannot mount a small tmpfs (needs root)";
  for (size_t size : {size_t{40000}, size_t{16500}}) {
    FakeSource s(Entries{{"s", hhtest::Incompressible(size, 3, "s")}});
    s.OpenSource("book.ql");
    const std::string path = small.Path() + "/out.pdb";
    EXPECT_EQ(s.ExportToHandheld(path.c_str(), "Book", nullptr), ql::HandheldResult::kWriteFailed)
        << size;
    EXPECT_EQ(ql::QLPResultText(s.LastFailure()), "writing the file failed: disk full") << size;
    EXPECT_FALSE(std::filesystem::exists(path));
    EXPECT_TRUE(std::filesystem::is_empty(small.Path())) << "no temporary file left";
  }
}

// A subject that would start in data record 512 cannot be addressed: 16,
// and nothing is written. Escaped random bytes take about 4600 bytes a
// block, so some 6700 blocks fill the 512 records.
TEST(QLPWriterRun, BookBeyond512DataRecordsGivesSixteen) {
  TempDir dir;
  std::mt19937 rng(5);
  std::string text(100000, '\0');
  for (char& c : text) c = static_cast<char>(0x80 | (rng() & 0x7F));
  FakeSource s;
  for (int i = 0; i < 300; ++i) {
    s.subjects.push_back("s" + std::to_string(i));
    s.texts.push_back(text);
  }
  CountingProgress progress;
  ExportRun run = Export(s, dir, &progress);
  EXPECT_EQ(run.result, ql::HandheldResult::kTooLarge);
  EXPECT_FALSE(std::filesystem::exists(dir.File("out.pdb")));
  // The run stopped at the subject that no longer fits, well before the end.
  EXPECT_GT(progress.steps, 400);
  EXPECT_LT(progress.steps, 600);
}

TEST(QLPWriterRun, AllocationFailuresShowTheirMessageAndWriteNothing) {
  struct Case {
    size_t limit;
    const char* message;
  };
  // The record capacity is 1920000: 'text' takes 1920002 bytes, the
  // conversion buffer 1920266, 'unpackeddata' about 2.97 MB.
  const Case cases[] = {
      {100, "WriteQLPTextV2: Cannot Allocate memory - 'iQLPDataHeaderArray'"},
      {1100000, "WriteQLPTextV2: Cannot Allocate memory - 'text'"},
      {1920002, "WriteQLPTextV2: Cannot Allocate memory - 'unpackeddata'"},
  };
  for (const Case& c : cases) {
    TempDir dir;
    FakeSource s;
    for (int i = 0; i < 200; ++i) {
      s.subjects.push_back("s" + std::to_string(i));
      s.texts.push_back("t");
    }
    s.SetAllocationLimit(c.limit);
    RecordingMessages messages;
    ExportRun run = Export(s, dir, nullptr, &messages);
    EXPECT_EQ(run.result, ql::HandheldResult::kNoMemory) << c.message;
    EXPECT_EQ(messages.texts, std::vector<std::string>{c.message});
    EXPECT_FALSE(std::filesystem::exists(dir.File("out.pdb")));
  }
}

TEST(QLPWriterRun, SameInputSameBytes) {
  TempDir dir;
  std::vector<std::pair<std::string, std::string>> entries;
  for (int i = 0; i < 50; ++i)
    entries.push_back({"w" + std::to_string(i), "some text about w" + std::to_string(i)});
  FakeSource a(entries), b(entries);
  ExportRun first = Export(a, dir);
  ExportRun second = Export(b, dir);
  ASSERT_EQ(first.result, ql::HandheldResult::kOk);
  EXPECT_EQ(first.file, second.file);
}

}  // namespace
