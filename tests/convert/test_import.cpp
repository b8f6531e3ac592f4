// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// Import of tagged and tab-separated text: what each format makes of line
// ends, tags, whitespace and its end conditions, checked on the streams the
// builder writes (laid out as the fixture lays out the same entries).
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <random>
#include <string>
#include <vector>

#include "book_builder.h"
#include "convert_test_util.h"
#include "progress.h"

namespace {

using qltest::Entry;
using namespace std::string_literals;

const std::string kBr = "\t\x08";

// Imports input, takes the entries back apart from the builder's streams,
// and checks the streams against the fixture's layout of the same entries.
std::vector<Entry> ImportAs(std::string_view input, bool tab) {
  ql::BookBuilder builder;
  qltest::Import(builder, input, tab);
  qltest::Streams got = qltest::BuilderStreams(builder);
  std::vector<Entry> entries;
  for (int32_t at : got.index) {
    size_t p = size_t(at);
    bool tail = uint8_t(got.subjects[p]) & 0x80;
    size_t tailAt = tail ? size_t(qltest::WordAt(got.subjects, p + 1)) : 0;
    p += tail ? 5 : 1;
    Entry e;
    e.subject = got.subjects.c_str() + p;
    p += e.subject.size() + 1;
    e.text = got.subjects.c_str() + p;
    if (tail) e.text += got.records.c_str() + tailAt;
    entries.push_back(e);
  }
  qltest::ExpectStreamsEqual(got, qltest::ExpectedStreams(entries));
  EXPECT_EQ(builder.iSubjectCount, int32_t(entries.size()));
  return entries;
}

std::vector<Entry> ImportTagged(std::string_view input) {
  return ImportAs(input, false);
}
std::vector<Entry> ImportTab(std::string_view input) {
  return ImportAs(input, true);
}

void ExpectEntries(const std::vector<Entry>& got, const std::vector<Entry>& want) {
  ASSERT_EQ(got.size(), want.size());
  for (size_t i = 0; i < got.size(); ++i) {
    EXPECT_EQ(got[i].subject, want[i].subject) << "entry " << i;
    EXPECT_EQ(got[i].text, want[i].text) << "entry " << i;
  }
}

TEST(TaggedImport, EntriesSubjectsAndLineEnds) {
  // Preamble ignored, "<NEW>" in capitals, the subject keeps its trailing
  // space, "<bR>" is a break, trailing blank lines go, the last text runs to
  // the end of the file.
  ExpectEntries(ImportTagged("preamble line\r\n<NEW>\r\n  Cat \r\nfeline<bR>animal \r\n\r\n\r\n"
                             "<new>Dog\r\ncanine friend"),
                {{"Cat ", "feline" + kBr + "animal"}, {"Dog", "canine friend"}});
  // A subject followed directly by "<new>" has an empty text.
  ExpectEntries(ImportTagged("<new>a\r\n<new>b\r\ntext\r\n"), {{"a", ""}, {"b", "text"}});
  // CR LF, lone CR and lone LF are one break each; LF CR is two.
  ExpectEntries(ImportTagged("<new>s\r\nl1\r\n\r\nl3\r\n"), {{"s", "l1" + kBr + kBr + "l3"}});
  ExpectEntries(ImportTagged("<new>s\nx\n\ry\rz\n"), {{"s", "x" + kBr + kBr + "y" + kBr + "z"}});
  // Spaces, CRs and LFs before the subject and the text are skipped; TABs
  // inside the subject stay.
  ExpectEntries(ImportTagged("<new> \r\n \ta\tb \n\n  \r\n  text  \n"), {{"\ta\tb ", "text"}});
}

TEST(TaggedImport, EndOfInputCases) {
  // A last entry cut inside "<new" keeps everything, its spaces included.
  ExpectEntries(ImportTagged("<new>s\r\nword <ne"), {{"s", "word <ne"}});
  ExpectEntries(ImportTagged("<new>s\r\nword \r\n<NEW"), {{"s", "word " + kBr + "<NEW"}});
  ExpectEntries(ImportTagged("<new>s\r\nword  <"), {{"s", "word  <"}});
  // "<ne" followed by something else is text, and the "<" after it may start "<new>".
  ExpectEntries(ImportTagged("<new>s\r\na<ne<new>t\r\nu<nex"), {{"s", "a<ne"}, {"t", "u<nex"}});
  // A subject without text at the end of the file is dropped.
  ExpectEntries(ImportTagged("<new>a\r\ntext\r\n<new>b\r\n  \r\n"), {{"a", "text"}});
  ExpectEntries(ImportTagged("<new>a\r\ntext<new>b"), {{"a", "text"}});
  ExpectEntries(ImportTagged("no entries at all\r\n"), {});
  ExpectEntries(ImportTagged(""), {});
}

TEST(TaggedImport, ReadTaggedEntryStepsOneEntryAtATime) {
  ql::BookBuilder builder;
  qltest::MemoryInput in("<new>a\r\none\r\n<new>b\r\ntwo\r\n<new>c\r\n");
  EXPECT_EQ(builder.ReadTaggedEntry(in.Get()), ql::BuildResult::kOk);
  EXPECT_EQ(builder.iSubjectCount, 1);
  EXPECT_EQ(builder.ReadTaggedEntry(in.Get()), ql::BuildResult::kOk);
  EXPECT_EQ(builder.ReadTaggedEntry(in.Get()), ql::BuildResult::kNoEntry);  // c has no text
  EXPECT_EQ(builder.ReadTaggedEntry(in.Get()), ql::BuildResult::kNoEntry);
  EXPECT_EQ(builder.iSubjectCount, 2);
}

TEST(TagVocabulary, EveryTagInEitherCase) {
  const std::vector<std::pair<std::string, int>> tags = {
      {"<b>", 1},        {"</B>", 2},       {"<I>", 3},       {"</i>", 4},      {"<u>", 5},
      {"</U>", 6},       {"<Hr>", 7},       {"<bR>", 8},      {"<P>", 9},       {"<LI>", 10},
      {"<ol>", 11},      {"</oL>", 12},     {"<UL>", 13},     {"</ul>", 14},    {"<center>", 15},
      {"<Centre>", 15},  {"<CENTER>", 15},  {"<centee>", 15}, {"<centrr>", 15}, {"</center>", 16},
      {"</CENTRE>", 16}, {"<a:", 17},       {"<A:", 17},      {"<a>", 17},      {"</a>", 18},
      {"<strike>", 19},  {"</STRIKE>", 20}, {"<Sup>", 21},    {"</sup>", 22},   {"<sub>", 23},
      {"</SUB>", 24}};
  for (const auto& [tag, code] : tags) {
    size_t length = 0;
    EXPECT_EQ(ql::MatchImportTag(tag + "rest", length), code) << tag;
    EXPECT_EQ(length, tag.size()) << tag;
  }
  // Not tags: the "<" stays text.
  for (std::string text : {"<center >", "<centar>", "<a href", "< b>", "<b >", "<bx>", "<br", "<a;",
                           "<\\b>", "<sup", "<cente>", "<new>"}) {
    size_t length = 0;
    EXPECT_EQ(ql::MatchImportTag(text, length), 0) << text;
  }
}

TEST(TagVocabulary, TagsInBothFormats) {
  std::string want =
      "<\t\x01x\t\x02 \t\x11"
      "cat>the cat\t\x12 \t\x11"
      "dog\t\x12 <a href>"
      " \t\x0f"
      "c\t\x10 <center >";
  ExpectEntries(ImportTagged("<new>s\r\n<<b>x</B> <a:cat>the cat</a> <a>dog</a> <a href>"
                             " <Centre>c</CENTER> <center >"),
                {{"s", want}});
  ExpectEntries(ImportTab("s\t<<b>x</B> <a:cat>the cat</a> <a>dog</a> <a href> <Centre>c</CENTER>"
                          " <center >\r\n"),
                {{"s", want}});
  // Tags in a subject are not converted.
  ExpectEntries(ImportTagged("<new><b>s</b>\r\nt"), {{"<b>s</b>", "t"}});
}

TEST(TabImport, LinesAndEndConditions) {
  ExpectEntries(ImportTab("a\tone\r\nb\ttwo\r\n"), {{"a", "one"}, {"b", "two"}});
  // The last line needs no line end; an LF inside a line stays an LF byte,
  // while "<br>" is a break.
  ExpectEntries(ImportTab("a\t1\r\nb\tx\ny<br>z\r\nc\tlast"),
                {{"a", "1"}, {"b", "x\ny" + kBr + "z"}, {"c", "last"}});
  // A third line that begins with a TAB ends the import after two entries.
  ExpectEntries(ImportTab("a\t1\r\nb\t2\r\n\tc\r\nd\t4\r\n"), {{"a", "1"}, {"b", "2"}});
  // An empty text ends it too, and so does an empty line.
  ExpectEntries(ImportTab("a\t1\r\nb\t\r\nc\t3\r\n"), {{"a", "1"}});
  ExpectEntries(ImportTab("a\t1\r\n\r\nc\t3\r\n"), {{"a", "1"}});
  // A line without a TAB runs on into the next one.
  ExpectEntries(ImportTab("ab\r\nc\td\r\n"), {{"ab\r\nc", "d"}});
  // In a file whose first line ends in CR LF, the CR and the character
  // after it are skipped, whatever it is.
  ExpectEntries(ImportTab("a\t1\r\nb\t2\rXc\t3\r\n"), {{"a", "1"}, {"b", "2"}, {"c", "3"}});
  ExpectEntries(ImportTab(""), {});
  ExpectEntries(ImportTab("\r\n"), {});
}

TEST(TabImport, LineEndsFollowTheFirstLine) {
  // LF line ends, as text written on Linux has them.
  ExpectEntries(ImportTab("a\tone\nb\ttwo\nc\tthree"),
                {{"a", "one"}, {"b", "two"}, {"c", "three"}});
  ExpectEntries(ImportTab("a\t1\n\nc\t3\n"), {{"a", "1"}});
  // A CR inside an LF file's text stays content, as an LF does in a CR LF file.
  ExpectEntries(ImportTab("a\t1\nb\tx\ry\n"), {{"a", "1"}, {"b", "x\ry"}});
  // Bare CR line ends keep every subject whole.
  ExpectEntries(ImportTab("apple\tred\rbanana\tyellow\rcherry\tdark\r"),
                {{"apple", "red"}, {"banana", "yellow"}, {"cherry", "dark"}});
  // The first line end decides, even inside a first subject without a TAB.
  ExpectEntries(ImportTab("title\nx\t1\ny\t2\n"), {{"title\nx", "1"}, {"y", "2"}});
  // CR LF files read as before: an LF inside a text stays content.
  ExpectEntries(ImportTab("a\t1\r\nb\tx\ny\r\n"), {{"a", "1"}, {"b", "x\ny"}});
}

TEST(Import, ByteOrderMarkIsSkipped) {
  ExpectEntries(ImportTab("\xEF\xBB\xBF"
                          "a\t1\r\nb\t2\r\n"),
                {{"a", "1"}, {"b", "2"}});
  ExpectEntries(ImportTagged("\xEF\xBB\xBF<new>a\r\n1\r\n"), {{"a", "1"}});
  // Only at the very start.
  ExpectEntries(ImportTab("a\t1\r\n\xEF\xBB\xBF"
                          "b\t2\r\n"),
                {{"a", "1"},
                 {"\xEF\xBB\xBF"
                  "b",
                  "2"}});
}

TEST(ImportMends, ZeroBytesAreDropped) {
  ExpectEntries(ImportTagged("<new>a\0b\r\nx\0y\0"s), {{"ab", "xy"}});
  ExpectEntries(ImportTab("a\0b\tx\0y\r\n"s), {{"ab", "xy"}});
  ql::BookBuilder builder;
  EXPECT_EQ(builder.AddEntry(std::string("s\0", 2), std::string("\0\0t", 3)), ql::BuildResult::kOk);
  EXPECT_EQ(qltest::BuilderStreams(builder).subjects, std::string("\x60s\0t\0", 5));
}

TEST(ImportMends, LongSubjectsImportWholeAndSortWhole) {
  std::string longA(6000, 'k'), longB(6000, 'k');
  longA += "b";
  longB += "a";
  ExpectEntries(ImportTab(longA + "\ttext\r\n"), {{longA, "text"}});
  ql::BookBuilder builder;
  builder.AddEntry(longA, "1");
  builder.AddEntry(longB, "2");  // differs from longA only after 6000 bytes
  EXPECT_EQ(builder.iSorted, 0);
  EXPECT_EQ(builder.iPreviousSubject, longB);
}

TEST(AddEntry, HeadAndTailSplitAt150Bytes) {
  ql::BookBuilder builder;
  std::string t150(150, 'x'), t151(150, 'x');
  t151 += 'y';
  builder.AddEntry("a", t150);
  builder.AddEntry("b", t151);
  builder.AddEntry("c", "");
  qltest::Streams s = qltest::BuilderStreams(builder);
  EXPECT_EQ(uint8_t(s.subjects[0]), 0x60);
  EXPECT_EQ(s.index, (std::vector<int32_t>{0, 154, 312}));
  EXPECT_EQ(uint8_t(s.subjects[154]), 0xE0);
  EXPECT_EQ(qltest::WordAt(s.subjects, 155), 0);
  EXPECT_EQ(s.records, std::string("y\0", 2));
  EXPECT_EQ(s.subjects.substr(312), std::string("\x60"
                                                "c\0\0",
                                                4));
  EXPECT_EQ(builder.iSubjectStreamOffset, int64_t(s.subjects.size()));
  EXPECT_EQ(builder.iRecordStreamOffset, 2);
}

TEST(AddEntry, TextInPiecesLaysOutAsTextWhole) {
  // Texts on either side of the 150-byte head, cut into pieces of several
  // lengths (zero bytes among them, dropped), give the streams AddEntry gives.
  const std::string t = std::string(149, 'h') + "xyz" + std::string(300, 't');
  for (size_t length : {size_t(0), size_t(1), size_t(150), size_t(151), size_t(452)}) {
    for (size_t piece : {size_t(1), size_t(7), size_t(150), size_t(500)}) {
      SCOPED_TRACE(std::to_string(length) + " in pieces of " + std::to_string(piece));
      ql::BookBuilder whole, pieces;
      std::string text = t.substr(0, length);
      ASSERT_EQ(whole.AddEntry("a", text), ql::BuildResult::kOk);
      ASSERT_EQ(whole.AddEntry("b\0c"s, "after"), ql::BuildResult::kOk);
      ASSERT_EQ(pieces.BeginEntry("a"), ql::BuildResult::kOk);
      for (size_t at = 0; at < length; at += piece) {
        ASSERT_EQ(pieces.AppendEntryText(text.substr(at, piece)), ql::BuildResult::kOk);
        ASSERT_EQ(pieces.AppendEntryText("\0"s), ql::BuildResult::kOk);
      }
      ASSERT_EQ(pieces.EndEntry(), ql::BuildResult::kOk);
      ASSERT_EQ(pieces.BeginEntry("b\0c"s), ql::BuildResult::kOk);
      ASSERT_EQ(pieces.AppendEntryText("after"), ql::BuildResult::kOk);
      ASSERT_EQ(pieces.EndEntry(), ql::BuildResult::kOk);
      qltest::ExpectStreamsEqual(qltest::BuilderStreams(pieces), qltest::BuilderStreams(whole));
      EXPECT_EQ(pieces.iSubjectCount, 2);
      EXPECT_EQ(pieces.iRecordStreamOffset, whole.iRecordStreamOffset);
      EXPECT_EQ(pieces.iSubjectStreamOffset, whole.iSubjectStreamOffset);
    }
  }
}

TEST(AddEntry, RoomOfAnEntryInPieces) {
  // A record's length stays below 2^31, whatever the record stream holds.
  ql::BookBuilder builder;
  ASSERT_EQ(builder.BeginEntry("a"), ql::BuildResult::kOk);
  EXPECT_EQ(builder.EntryRoom(), INT32_MAX);
  ASSERT_EQ(builder.AppendEntryText(std::string(200, 'x')), ql::BuildResult::kOk);
  EXPECT_EQ(builder.EntryRoom(), INT32_MAX - 200);
  ASSERT_EQ(builder.EndEntry(), ql::BuildResult::kOk);
  // Then the record stream's room: its offsets stay below 2^31 too, the
  // tail's zero byte counted, and the next record's head takes no room there.
  builder.iRecordStreamOffset = INT32_MAX - 1000;
  ASSERT_EQ(builder.BeginEntry("b"), ql::BuildResult::kOk);
  EXPECT_EQ(builder.EntryRoom(), 1000 - 1 + 150);
}

TEST(AddEntry, SortedCheck) {
  {
    ql::BookBuilder builder;
    for (const char* s : {"apple", "Apple", "banana", "Banana", "bananas"})
      builder.AddEntry(s, "t");
    EXPECT_EQ(builder.iSorted, 1);
    EXPECT_EQ(builder.iPreviousSubject, "bananas");
  }
  {
    ql::BookBuilder builder;
    for (const char* s : {"banana", "apple", "cherry", "aardvark"}) builder.AddEntry(s, "t");
    EXPECT_EQ(builder.iSorted, 0);
    EXPECT_EQ(builder.iPreviousSubject, "apple");  // the first out of order, kept
  }
  {
    ql::BookBuilder builder;  // bytes above 127 compare unsigned, after all ASCII
    builder.AddEntry("zebra", "t");
    builder.AddEntry("\xe9t\xe9", "t");
    builder.AddEntry("Z", "t");
    EXPECT_EQ(builder.iSorted, 0);
    EXPECT_EQ(builder.iPreviousSubject, "Z");
  }
}

class CountingProgress final : public ql::ProgressSink {
 public:
  void SetRange(int64_t, int64_t) override {}
  void SetPos(int64_t pos) override { positions.push_back(pos); }
  void Step() override { ++steps; }
  std::vector<int64_t> positions;
  int steps = 0;
};

TEST(Import, ProgressFollowsEntries) {
  std::string tab = "a\t1\r\nb\t2\r\nc\t3\r\n";
  {
    ql::BookBuilder builder;
    CountingProgress bar;
    qltest::MemoryInput in(tab);
    EXPECT_EQ(builder.ImportTabText(in.Get(), &bar, true), ql::BuildResult::kOk);
    EXPECT_EQ(bar.steps, 3);
    EXPECT_TRUE(bar.positions.empty());
  }
  {
    ql::BookBuilder builder;
    CountingProgress bar;
    qltest::MemoryInput in(tab);
    EXPECT_EQ(builder.ImportTabText(in.Get(), &bar, false), ql::BuildResult::kOk);
    EXPECT_EQ(bar.positions, (std::vector<int64_t>{5, 10, 15}));
  }
  {
    ql::BookBuilder builder;
    CountingProgress bar;
    qltest::MemoryInput in("<new>a\r\nx\r\n<new>b\r\ny");
    EXPECT_EQ(builder.ImportTaggedText(in.Get(), &bar), ql::BuildResult::kOk);
    ASSERT_EQ(bar.positions.size(), 2u);
    EXPECT_LT(bar.positions[0], bar.positions[1]);
    EXPECT_EQ(bar.positions[0], 16);  // just past the second "<new>"
    EXPECT_EQ(bar.positions[1], 20);
  }
}

}  // namespace

namespace {

// Both formats written out plainly over a whole string, for comparison with
// the streaming parser on many random inputs made of the pieces that matter.
std::string ReferenceConvert(std::string_view raw, bool lineBreaks) {
  std::string out;
  for (size_t i = 0; i < raw.size();) {
    size_t length = 0;
    uint8_t code = 0;
    if (lineBreaks && (raw[i] == '\r' || raw[i] == '\n')) {
      out += kBr;
      i += raw[i] == '\r' && i + 1 < raw.size() && raw[i + 1] == '\n' ? 2 : 1;
    } else if ((code = ql::MatchImportTag(raw.substr(i), length)) != 0) {
      out += '\t';
      out += char(code);
      i += length;
    } else {
      out += raw[i++];
    }
  }
  return out;
}

// 1: "<new>" at at; 0: something else; -1: the input ends inside it.
int ReferenceNewTag(std::string_view in, size_t at) {
  for (size_t k = 0; k < 4; ++k) {
    if (at + 1 + k >= in.size()) return -1;
    char c = in[at + 1 + k];
    if (k < 3 ? char(std::tolower(c)) != "new"[k] : c != '>') return 0;
  }
  return 1;
}

std::vector<Entry> ReferenceTagged(std::string_view in) {
  std::vector<Entry> entries;
  const size_t n = in.size();
  auto isSpace = [](char c) { return c == ' ' || c == '\r' || c == '\n'; };
  size_t pos = 0;
  for (;;) {
    bool found = false;
    while (pos < n && !found) {
      if (in[pos] == '<' && ReferenceNewTag(in, pos) == 1) {
        pos += 5;
        found = true;
      } else {
        ++pos;
      }
    }
    if (!found) return entries;
    while (pos < n && isSpace(in[pos])) ++pos;
    size_t start = pos;
    while (pos < n && in[pos] != '\r' && in[pos] != '\n') ++pos;
    std::string subject(in.substr(start, pos - start));
    while (pos < n && isSpace(in[pos])) ++pos;
    if (pos == n) return entries;
    start = pos;
    size_t end = n;
    bool partial = false;
    for (; pos < n; ++pos) {
      if (in[pos] != '<') continue;
      int r = ReferenceNewTag(in, pos);
      if (r == 1) {
        end = pos;
        break;
      }
      if (r < 0) {
        partial = true;
        pos = n;
        break;
      }
    }
    std::string_view raw = in.substr(start, end - start);
    while (!partial && !raw.empty() && isSpace(raw.back())) raw.remove_suffix(1);
    entries.push_back({subject, ReferenceConvert(raw, true)});
  }
}

std::vector<Entry> ReferenceTab(std::string_view in) {
  std::vector<Entry> entries;
  // The first line end of the input says which line ends the file has.
  const size_t first = in.find_first_of("\r\n");
  const bool lf = first != std::string_view::npos && in[first] == '\n';
  const bool crlf =
      !lf && first != std::string_view::npos && first + 1 < in.size() && in[first + 1] == '\n';
  const char end = lf ? '\n' : '\r';
  size_t pos = 0;
  for (;;) {
    size_t tab = in.find('\t', pos);
    if (tab == std::string_view::npos) return entries;
    size_t cr = std::min(in.find(end, tab + 1), in.size());
    if (tab == pos || cr == tab + 1 || in[pos] == '\r' || in[pos] == '\n') return entries;
    entries.push_back({std::string(in.substr(pos, tab - pos)),
                       ReferenceConvert(in.substr(tab + 1, cr - tab - 1), false)});
    pos = std::min(cr + (crlf ? 2 : 1), in.size());
  }
}

std::string RandomInput(std::mt19937& rng, const std::vector<std::string>& pieces) {
  std::string s;
  for (size_t k = rng() % 24; k > 0; --k) s += pieces[rng() % pieces.size()];
  return s;
}

TEST(Import, StreamingParserAgreesWithAPlainOneOnRandomInputs) {
  std::mt19937 rng(2024);
  const std::vector<std::string> tagged = {"<new>", "<NeW>", "<ne", "<n",   "<",  "new>",
                                           "\r\n",  "\n",    "\r",  " ",    "x",  "y z",
                                           "<b>",   "<br>",  "\t",  "<new", "<<", ">"};
  const std::vector<std::string> tab = {"\t",  "\r\n", "\r", "\n", "a",   "b c",
                                        "<b>", "<br>", "<",  "x",  "\t\t"};
  for (int round = 0; round < 3000; ++round) {
    std::string in = RandomInput(rng, tagged);
    ExpectEntries(ImportTagged(in), ReferenceTagged(in));
    in = RandomInput(rng, tab);
    ExpectEntries(ImportTab(in), ReferenceTab(in));
    if (HasFailure()) {
      ADD_FAILURE() << "round " << round;
      return;
    }
  }
}

}  // namespace
