// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// The dictionary readers on their own: dictd numbers and index lines, the
// dictzip chunk reader against the text it was made from, StarDict .ifo,
// .idx and fields on damaged files, and the texts turned into markup.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "book_fixture.h"
#include "dict_data.h"
#include "dict_fixture.h"
#include "dict_markup.h"
#include "dictd_format.h"
#include "stardict_format.h"

namespace {

using testing::HasSubstr;
using testing::StartsWith;

// Words of varied length, so that entries fall across chunk boundaries.
std::string SampleText(size_t size) {
  std::string text;
  uint32_t seed = 7;
  while (text.size() < size) {
    seed = seed * 1103515245u + 12345u;
    const int length = 1 + int((seed >> 16) % 9);
    for (int i = 0; i < length; ++i) text += char('a' + (seed >> (i + 3)) % 26);
    text += (seed & 0x100) ? '\n' : ' ';
  }
  text.resize(size);
  return text;
}

TEST(DictdNumber, DecodesBase64DigitsMostSignificantFirst) {
  uint64_t v = 99;
  ASSERT_TRUE(ql::DecodeDictdNumber("A", v));
  EXPECT_EQ(v, 0u);
  ASSERT_TRUE(ql::DecodeDictdNumber("/", v));
  EXPECT_EQ(v, 63u);
  ASSERT_TRUE(ql::DecodeDictdNumber("BA", v));
  EXPECT_EQ(v, 64u);
  ASSERT_TRUE(ql::DecodeDictdNumber("za+", v));
  EXPECT_EQ(v, 51u * 4096 + 26 * 64 + 62);
  ASSERT_TRUE(ql::DecodeDictdNumber("AAAB", v));  // leading zeros
  EXPECT_EQ(v, 1u);
  // Eleven digits: the first may carry 4 bits and no more.
  ASSERT_TRUE(ql::DecodeDictdNumber("P//////////", v));
  EXPECT_EQ(v, UINT64_MAX);
  for (uint64_t n : {uint64_t(0), uint64_t(1), uint64_t(4095), uint64_t(1) << 40}) {
    ASSERT_TRUE(ql::DecodeDictdNumber(qltest::DictdNumber(n), v));
    EXPECT_EQ(v, n);
  }

  ASSERT_TRUE(ql::DecodeDictdNumber("AAAAAAAAAAAAAAAAB", v));  // zeros never overflow
  EXPECT_EQ(v, 1u);

  v = 5;
  EXPECT_FALSE(ql::DecodeDictdNumber("", v));
  EXPECT_FALSE(ql::DecodeDictdNumber("Q//////////", v));   // 65 bits
  EXPECT_FALSE(ql::DecodeDictdNumber("BAAAAAAAAAAA", v));  // 2^66
  EXPECT_FALSE(ql::DecodeDictdNumber("A-", v));
  EXPECT_FALSE(ql::DecodeDictdNumber("A=", v));
  EXPECT_FALSE(ql::DecodeDictdNumber(" A", v));
  EXPECT_EQ(v, 5u);  // failures leave the value
}

TEST(DictdIndex, LinesAreCheckedAgainstTheTextsSize) {
  std::vector<ql::DictEntryRef> refs;
  std::string reason;
  ASSERT_TRUE(ql::ParseDictdIndex("a\tA\tK\r\n\nb b\tK\tF\tB B\nc\tP\tA", 15, refs, reason));
  ASSERT_EQ(refs.size(), 3u);
  EXPECT_EQ(refs[0].headword, "a");
  EXPECT_EQ(refs[0].length, 10u);
  EXPECT_EQ(refs[1].headword, "B B");  // the headword as first written
  EXPECT_EQ(refs[1].offset + refs[1].length, 15u);
  EXPECT_EQ(refs[2].offset, 15u);  // empty, at the very end
  EXPECT_EQ(refs[2].length, 0u);

  const auto fails = [&](std::string_view text, std::string_view why) {
    EXPECT_FALSE(ql::ParseDictdIndex(text, 15, refs, reason)) << text;
    EXPECT_EQ(reason, why) << text;
  };
  fails("a\tA\tQ\n", "line 1: the entry runs past the end of the dictionary's text");
  fails("a\tA\tA\nb\tQ\tA\n", "line 2: the entry runs past the end of the dictionary's text");
  fails("a\tA\n", "line 1: not \"headword TAB offset TAB length\"");
  fails("a\t\tB\n", "line 1: the offset is not a base-64 number");
  fails("a\tA\tB!\n", "line 1: the length is not a base-64 number");
  fails("a\t//////////\t/\n", "line 1: the entry runs past the end of the dictionary's text");
  // Offset and length that overflow when added.
  fails("a\tP//////////\tP//////////\n",
        "line 1: the entry runs past the end of the dictionary's text");
}

TEST(DictdIndex, MetadataHeadwords) {
  for (const char* meta : {"00databaseinfo", "00databaseshort", "00databaseurl", "00databaseutf8",
                           "00-database-info", "00-database-allchars"})
    EXPECT_TRUE(ql::IsDictdMetadata(meta)) << meta;
  EXPECT_FALSE(ql::IsDictdMetadata("007"));
  EXPECT_FALSE(ql::IsDictdMetadata("0database"));
  EXPECT_TRUE(ql::IsDictdUtf8Mark("00databaseutf8"));
  EXPECT_TRUE(ql::IsDictdUtf8Mark("00-database-utf8"));
  EXPECT_FALSE(ql::IsDictdUtf8Mark("00-database-info"));
}

class DictDataTest : public testing::Test {
 protected:
  bool Open(const std::string& bytes) {
    qltest::WriteFileBytes(path, bytes);
    return data.Open(path);
  }
  qltest::TempDir dir;
  std::string path = dir.File("t.dict.dz");
  ql::DictData data;
};

TEST_F(DictDataTest, ChunksReadBackTheTextAtAnyOffset) {
  // 1000 bytes in chunks of 64: the last chunk is short (40 bytes).
  const std::string text = SampleText(1000);
  ASSERT_TRUE(Open(qltest::Dictzip(text, 64))) << data.Failure();
  EXPECT_TRUE(data.IsDictzip());
  EXPECT_EQ(data.Size(), 1000u);
  std::string out;
  // Backwards, so the cache turns over; ranges inside one chunk, across a
  // boundary, over many chunks, in the short last chunk, up to the end.
  for (uint64_t length : {uint64_t(1), uint64_t(10), uint64_t(64), uint64_t(200)})
    for (uint64_t offset = 1000 - length + 1; offset-- > 0;) {
      ASSERT_TRUE(data.Read(offset, length, out)) << offset << " " << data.Failure();
      ASSERT_EQ(out, text.substr(offset, length)) << offset << " " << length;
    }
  ASSERT_TRUE(data.Read(0, 1000, out));
  EXPECT_EQ(out, text);
  ASSERT_TRUE(data.Read(1000, 0, out));
  EXPECT_EQ(out, "");

  EXPECT_FALSE(data.Read(990, 11, out));
  EXPECT_THAT(data.Failure(), HasSubstr("runs past the end of the text"));
  EXPECT_FALSE(data.Read(1001, 0, out));
  EXPECT_FALSE(data.Read(UINT64_MAX, 2, out));
}

TEST_F(DictDataTest, TextOfWholeChunksAndTheEmptyText) {
  const std::string text = SampleText(256);
  ASSERT_TRUE(Open(qltest::Dictzip(text, 64))) << data.Failure();
  std::string out;
  ASSERT_TRUE(data.Read(190, 66, out));
  EXPECT_EQ(out, text.substr(190));
}

TEST_F(DictDataTest, ChunkTableThatDisagreesWithTheFileIsRefused) {
  const std::string good = qltest::Dictzip(SampleText(1000), 64);
  // The gzip trailer's length outside the last chunk.
  std::string bytes = good;
  bytes[bytes.size() - 4] = char(0xE8 - 64);  // 936: the table's 16 chunks hold 961 to 1024
  EXPECT_FALSE(Open(bytes));
  EXPECT_THAT(data.Failure(), HasSubstr("does not agree with the length of the text"));

  // A chunk's compressed size larger than the file holds. The first chunk's
  // size is the 16-bit word after the RA field's six bytes.
  ql::DictData second;
  bytes = good;
  const size_t firstSize = 10 + 2 + 4 + 6;
  bytes[firstSize + 1] = char(0x7F);
  qltest::WriteFileBytes(path, bytes);
  EXPECT_FALSE(second.Open(path));
  EXPECT_THAT(second.Failure(), HasSubstr("chunk table does not fit the file"));

  // Cut off: the table no longer fits.
  ql::DictData third;
  qltest::WriteFileBytes(path, good.substr(0, good.size() - 20));
  EXPECT_FALSE(third.Open(path));
  EXPECT_THAT(third.Failure(), HasSubstr("chunk table does not fit the file"));

  // Cut off inside the header.
  ql::DictData fourth;
  qltest::WriteFileBytes(path, good.substr(0, 20));
  EXPECT_FALSE(fourth.Open(path));
  EXPECT_THAT(fourth.Failure(), HasSubstr("cut off"));

  // A table that claims more chunks than its field holds.
  ql::DictData fifth;
  bytes = good;
  bytes[10 + 2 + 4 + 4] = char(0x30);
  qltest::WriteFileBytes(path, bytes);
  EXPECT_FALSE(fifth.Open(path));
  EXPECT_THAT(fifth.Failure(), HasSubstr("chunk table is damaged"));
}

TEST_F(DictDataTest, DamagedChunkFailsOnlyTheReadsThatNeedIt) {
  const std::string text = SampleText(1000);
  std::string bytes = qltest::Dictzip(text, 64);
  // Every chunk of the same size: the third one's bytes are swapped for noise.
  ql::GzipHeader header;
  std::string reason;
  ASSERT_TRUE(ql::ParseGzipHeader({reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()},
                                  header, reason));
  ASSERT_EQ(header.chunkSizes.size(), 16u);
  const size_t third = header.dataStart + header.chunkSizes[0] + header.chunkSizes[1];
  for (size_t k = 0; k < header.chunkSizes[2]; ++k) bytes[third + k] = char(0xFF - k);
  ASSERT_TRUE(Open(bytes));
  std::string out;
  ASSERT_TRUE(data.Read(0, 128, out));
  EXPECT_EQ(out, text.substr(0, 128));
  EXPECT_FALSE(data.Read(120, 20, out));
  EXPECT_THAT(data.Failure(), HasSubstr("chunk 2 of the dictzip data is damaged"));
  // The failed chunk is not kept as if it had been read.
  EXPECT_FALSE(data.Read(130, 2, out));
  ASSERT_TRUE(data.Read(192, 100, out));
  EXPECT_EQ(out, text.substr(192, 100));
}

TEST_F(DictDataTest, ReadsThatJumpAboutAreCountedAndTheWholeTextInflatedOnce) {
  // 40 chunks of 64 bytes; the reader keeps 16 inflated.
  const std::string text = SampleText(40 * 64);
  ASSERT_TRUE(Open(qltest::Dictzip(text, 64))) << data.Failure();
  EXPECT_EQ(data.ChunkCount(), 40u);
  std::vector<std::pair<uint64_t, uint64_t>> inOrder, jumping;
  for (uint64_t c = 0; c < 40; ++c) inOrder.emplace_back(c * 64 + 10, 60);  // two chunks each
  for (int round = 0; round < 3; ++round)
    for (uint64_t c = 0; c < 40; c += 2) jumping.emplace_back(c * 64, 1);
  EXPECT_EQ(data.ChunksInflatedFor(inOrder), 40u);
  EXPECT_EQ(data.ChunksInflatedFor(jumping), 60u);  // 20 chunks a round, never kept
  EXPECT_EQ(data.ChunksInflatedFor({{2500, 0}, {5000, 3}}), 0u);

  ASSERT_TRUE(data.InflateWhole()) << data.Failure();
  EXPECT_FALSE(data.IsDictzip());
  EXPECT_EQ(data.Size(), text.size());
  std::string out;
  ASSERT_TRUE(data.Read(63, 2000, out));
  EXPECT_EQ(out, text.substr(63, 2000));
  EXPECT_FALSE(data.Read(2559, 2, out));
}

TEST_F(DictDataTest, PlainGzipIsInflatedAsFarAsAskedAndPlainTextReadAsItIs) {
  const std::string text = SampleText(5000);
  const std::string gz = qltest::Gzip(text);
  ASSERT_TRUE(Open(gz)) << data.Failure();
  EXPECT_TRUE(data.IsGzip());
  EXPECT_FALSE(data.IsDictzip());
  EXPECT_TRUE(data.AwaitsInflating());
  EXPECT_EQ(data.SizeBound(), gz.size() * ql::kMaxInflateRatio);
  ASSERT_TRUE(data.InflateUpTo(6000)) << data.Failure();  // past the end: all of it
  EXPECT_FALSE(data.AwaitsInflating());
  EXPECT_EQ(data.Size(), 5000u);
  std::string out;
  ASSERT_TRUE(data.Read(4000, 1000, out));
  EXPECT_EQ(out, text.substr(4000));

  // Asked for less, it stops there: what lies beyond is not there to read.
  ql::DictData part;
  ASSERT_TRUE(part.Open(path));
  ASSERT_TRUE(part.InflateUpTo(1000)) << part.Failure();
  EXPECT_EQ(part.Size(), 1000u);
  ASSERT_TRUE(part.Read(990, 10, out));
  EXPECT_EQ(out, text.substr(990, 10));
  EXPECT_FALSE(part.Read(995, 10, out));

  ql::DictData cut;
  qltest::WriteFileBytes(path, gz.substr(0, gz.size() / 2));
  ASSERT_TRUE(cut.Open(path));
  EXPECT_FALSE(cut.InflateUpTo(5000));
  EXPECT_THAT(cut.Failure(), HasSubstr("cut off"));

  ql::DictData plain;
  qltest::WriteFileBytes(path, text);
  ASSERT_TRUE(plain.Open(path));
  EXPECT_FALSE(plain.IsGzip());
  ASSERT_TRUE(plain.Read(17, 5, out));
  EXPECT_EQ(out, text.substr(17, 5));
}

TEST(StarDictIfo, KeysAndDamagedFiles) {
  ql::StarDictInfo info;
  std::string reason;
  ASSERT_TRUE(ql::ParseStarDictIfo(
      "StarDict's dict ifo file\r\nversion=3.0.0\r\nwordcount=2\r\nidxfilesize=30\r\n"
      "bookname=Words = many\r\nidxoffsetbits=64\r\nsametypesequence=m\r\nauthor\r\n",
      info, reason))
      << reason;
  EXPECT_EQ(info.wordCount, 2);
  EXPECT_EQ(info.idxFileSize, 30);
  EXPECT_EQ(info.offsetBits, 64);
  EXPECT_EQ(info.bookName, "Words = many");
  EXPECT_EQ(info.sameTypeSequence, "m");

  const auto fails = [&](std::string_view text, std::string_view why) {
    EXPECT_FALSE(ql::ParseStarDictIfo(text, info, reason)) << text;
    EXPECT_EQ(reason, why);
  };
  fails("", "the file is empty");
  fails("StarDict dict ifo\nwordcount=1\nidxfilesize=9\n",
        "the first line is not \"StarDict's dict ifo file\"");
  fails("StarDict's dict ifo file\nidxfilesize=9\n", "it gives no wordcount");
  fails("StarDict's dict ifo file\nwordcount=1\n", "it gives no idxfilesize");
  fails("StarDict's dict ifo file\nwordcount=1x\nidxfilesize=9\n", "wordcount is not a number");
  fails("StarDict's dict ifo file\nwordcount=-1\nidxfilesize=9\n", "wordcount is not a number");
  fails("StarDict's dict ifo file\nwordcount=1\nidxfilesize=9\nidxoffsetbits=48\n",
        "idxoffsetbits is neither 32 nor 64");
}

TEST(StarDictIdx, RecordsAndDamagedRecords) {
  std::vector<ql::DictEntryRef> refs;
  std::string reason;
  const std::string two =
      qltest::StarDictIdxRecord("a", 0, 5) + qltest::StarDictIdxRecord("", 5, 0);
  ASSERT_TRUE(ql::ParseStarDictIdx(two, 32, 5, refs, reason)) << reason;
  ASSERT_EQ(refs.size(), 2u);
  EXPECT_EQ(refs[0].length, 5u);
  EXPECT_EQ(refs[1].headword, "");
  EXPECT_EQ(refs[1].offset, 5u);

  std::string wide = "b";
  wide.push_back('\0');
  for (int b : {0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 3}) wide.push_back(char(b));
  ASSERT_TRUE(ql::ParseStarDictIdx(wide, 64, (uint64_t(1) << 32) + 3, refs, reason)) << reason;
  EXPECT_EQ(refs[0].offset, uint64_t(1) << 32);
  EXPECT_FALSE(ql::ParseStarDictIdx(wide, 64, (uint64_t(1) << 32) + 2, refs, reason));

  const auto fails = [&](std::string_view bytes, std::string_view why) {
    EXPECT_FALSE(ql::ParseStarDictIdx(bytes, 32, 5, refs, reason));
    EXPECT_EQ(reason, why);
  };
  fails(two.substr(0, two.size() - 1), "record 2: the record is cut off");
  fails(two + "c", "record 3: the headword has no end (no zero byte)");
  fails(qltest::StarDictIdxRecord("a", 3, 3),
        "record 1: the entry runs past the end of the "
        "dictionary's text");
  fails(qltest::StarDictIdxRecord("a", 0xFFFFFFFF, 0xFFFFFFFF),
        "record 1: the entry runs past the end of the dictionary's text");
}

TEST(StarDictFields, BySequenceAndByTypeLetters) {
  std::vector<ql::StarDictField> fields;
  // With a sequence the last field runs to the end, zero bytes and all.
  const std::string withZeros("ipa\0text\0more", 13);
  ASSERT_TRUE(ql::SplitStarDictFields(withZeros, "tm", fields));
  ASSERT_EQ(fields.size(), 2u);
  EXPECT_EQ(fields[0].type, 't');
  EXPECT_EQ(fields[0].data, "ipa");
  EXPECT_EQ(fields[1].data, std::string("text\0more", 9));

  // Without one each field names its type; upper case ones have a size.
  std::string data = std::string("mone\0W", 6);
  for (int b : {0, 0, 0, 2}) data.push_back(char(b));
  data += "\x01\x02htwo";
  data.push_back('\0');
  ASSERT_TRUE(ql::SplitStarDictFields(data, "", fields));
  ASSERT_EQ(fields.size(), 3u);
  EXPECT_EQ(fields[0].data, "one");
  EXPECT_EQ(fields[1].type, 'W');
  EXPECT_EQ(fields[1].data, "\x01\x02");
  EXPECT_EQ(fields[2].type, 'h');
  EXPECT_EQ(fields[2].data, "two");

  // Damage: a size past the end, a cut-off size, a string without its end.
  data = "mone";
  data.push_back('\0');
  data += "W";
  for (int b : {0x7F, 0, 0, 0}) data.push_back(char(b));
  EXPECT_FALSE(ql::SplitStarDictFields(data, "", fields));
  ASSERT_EQ(fields.size(), 1u);  // what came before the damage
  EXPECT_FALSE(ql::SplitStarDictFields("W\x01", "", fields));
  EXPECT_FALSE(ql::SplitStarDictFields("mopen", "", fields));
  ASSERT_EQ(fields.size(), 1u);
  EXPECT_EQ(fields[0].data, "open");
  EXPECT_FALSE(ql::SplitStarDictFields("ab", "Wm", fields));
}

std::string Plain(std::string_view text, bool links = true) {
  std::string out;
  ql::PlainTextToMarkup(text, links, out);
  return out;
}

TEST(PlainTextMarkup, LineBreaksParagraphsLinksAndAngles) {
  EXPECT_EQ(Plain("\nword\n  one\r\n\n \n  two\n\n"),
            "word\t\x08\xC2\xA0\xC2\xA0one\t\x09\xC2\xA0\xC2\xA0two");
  EXPECT_EQ(Plain("see {cat}, {big\n    dog} and {}"),
            "see \t\x11"
            "cat\t\x12, \t\x11"
            "big dog\t\x12 and {}");
  EXPECT_EQ(Plain("{Harkat-ul-\n      Mujahidin} {a -\n b}"),
            "\t\x11"
            "Harkat-ul-Mujahidin\t\x12 \t\x11"
            "a - b\t\x12");
  EXPECT_EQ(Plain("see {man pages\n (http://x.org/man)}."), "see man pages (http://x.org/man).");
  // Braces that make no link stay text.
  EXPECT_EQ(Plain("a { b"), "a { b");
  EXPECT_EQ(Plain("{a {b} c}"),
            "{a \t\x11"
            "b\t\x12 c}");
  EXPECT_EQ(Plain("{x>y}"), "{x>y}");
  EXPECT_EQ(Plain("{" + std::string(300, 'a') + "}"), "{" + std::string(300, 'a') + "}");
  EXPECT_EQ(Plain("{cat}", false), "{cat}");
  EXPECT_EQ(Plain("a<b>\tc"), "a&lt;b> c");
}

std::string Html(std::string_view text) {
  std::string out;
  ql::HtmlToMarkup(text, out);
  return out;
}

TEST(HtmlMarkup, KeptTagsLinksEntitiesAndWhiteSpace) {
  EXPECT_EQ(Html("<B>bold</b> <i>it</I> <u>u</u><sup>2</sup><sub>x</sub><s>no</s>"),
            "\t\x01"
            "bold\t\x02 \t\x03it\t\x04 \t\x05u\t\x06\t\x15"
            "2\t\x16\t\x17x\t\x18\t\x13no\t\x14");
  EXPECT_EQ(Html("<p>one<br/>two<p>three</p><hr>four"),
            "one\t\x08two\t\x09three\t\x07"
            "four");
  EXPECT_EQ(Html("<ul><li>a</li><li>b</li></ul>"),
            "\t\x0d\t\x0a"
            "a\t\x0a"
            "b\t\x0e");
  EXPECT_EQ(Html("<div>a</div><div>b</div>"),
            "a\t\x08"
            "b");
  EXPECT_EQ(Html("see <a href=\"bword://big%20cat\">the cat</a>, <a href='dog'>dog</a>"),
            "see \t\x11"
            "big cat>the cat\t\x12, \t\x11"
            "dog>dog\t\x12");
  // Links out of the book keep only their text; an open link is closed.
  EXPECT_EQ(Html("<a href=\"http://x.org/\">site</a> <a>bare</a>"), "site bare");
  EXPECT_EQ(Html("<a href=\"bword://a\">open"),
            "\t\x11"
            "a>open\t\x12");
  EXPECT_EQ(Html("<a href=\"bword://a\"><a href=\"bword://b\">x</a></a>"),
            "\t\x11"
            "a>x\t\x12");
  EXPECT_EQ(Html("&lt;tag&gt; &amp; &quot;q&quot; &#233;&#xE9; &eacute; &bogus; & x"),
            "&lt;tag> & \"q\" \xC3\xA9\xC3\xA9 \xC3\xA9 &bogus; & x");
  EXPECT_EQ(Html("  a \n\t b  <span class=x>c</span>  "), "a b c");
  EXPECT_EQ(Html("a<script>if (a<b) x();</script>b<style>p{}</style>c<!-- <b> -->d"), "abcd");
  EXPECT_EQ(Html("1 < 2 <3"), "1 &lt; 2 &lt;3");
  EXPECT_EQ(Html("<font"), "&lt;font");
}

}  // namespace
