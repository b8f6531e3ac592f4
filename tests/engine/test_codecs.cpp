// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// The two decoders: golden units, the limited mode and the first-line limits,
// and damaged input that must stay inside the caller's buffers.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "book_fixture.h"
#include "codecs.h"

namespace {

using Bytes = std::vector<uint8_t>;

std::string Decompress(const Bytes& unit, size_t capacity, bool limited = false) {
  std::vector<uint8_t> out(capacity);
  size_t n = ql::DecompressBlock(unit, out, limited);
  EXPECT_LE(n, capacity);
  return std::string(out.begin(), out.begin() + static_cast<long>(n));
}

std::string Nibble(const Bytes& coded, ql::NibbleForm form, size_t capacity = 1024) {
  std::vector<uint8_t> out(capacity);
  size_t n = ql::DecodeNibbleText(coded, out, form);
  return std::string(out.begin(), out.begin() + static_cast<long>(n));
}

Bytes ToBytes(std::string_view s) {
  return Bytes(s.begin(), s.end());
}

TEST(DecompressBlock, GoldenUnits) {
  EXPECT_EQ(Decompress({0x00, 0x61, 0x62, 0x63, 0x64, 0x65, 0x66, 0x67, 0x68}, 64), "abcdefgh");
  // Three literals, then length 6 at distance 3 over its own output; the
  // decoder stops where item 4 would start.
  EXPECT_EQ(Decompress({0x11, 0x61, 0x62, 0x63, 0x40, 0x03}, 64), "abcabcabc");
  // Length 17 (high nibble 15) at distance 1 repeats the last byte.
  EXPECT_EQ(Decompress({0x41, 'x', 0xF0, 0x01}, 64), std::string(18, 'x'));
  // A short group of literals only carries control byte 0x01.
  EXPECT_EQ(Decompress({0x01, 'q', 'r'}, 64), "qr");
  EXPECT_EQ(Decompress({}, 64), "");
}

TEST(DecompressBlock, LimitedModeStopsAtFirstGroupBoundaryPast2000) {
  // 25000 bytes of literal groups: 2008 is the first group boundary past 2000.
  std::string text(25000, 'a');
  for (size_t i = 0; i < text.size(); ++i) text[i] = static_cast<char>('a' + i % 26);
  Bytes unit = ToBytes(qltest::EncodeLiteralBlock(text));
  std::string full = Decompress(unit, 25000);
  EXPECT_EQ(full, text);
  std::string limited = Decompress(unit, 2136, true);
  EXPECT_EQ(limited.size(), 2008u);
  EXPECT_EQ(limited, text.substr(0, 2008));

  // Groups of references: 120 bytes, then 136 a group; 2024 is the boundary.
  Bytes runs = {0x7F, 'z'};
  for (int k = 0; k < 7; ++k) runs.insert(runs.end(), {0xF0, 0x01});
  for (int g = 0; g < 200; ++g) {
    runs.push_back(0xFF);
    for (int k = 0; k < 8; ++k) runs.insert(runs.end(), {0xF0, 0x01});
  }
  EXPECT_EQ(Decompress(runs, 2136, true), std::string(2024, 'z'));
  EXPECT_EQ(Decompress(runs, 30000).size(), 120u + 200u * 136u);
}

TEST(DecompressBlock, DamagedUnitsStayInsideTheBuffers) {
  // A distance reaching before the output, a cut reference, a short literal
  // group, and output larger than the destination.
  EXPECT_EQ(Decompress({0x41, 'a', 0x00, 0x05}, 64), "a");
  EXPECT_EQ(Decompress({0x80, 0x00, 0x00}, 64), "");
  EXPECT_EQ(Decompress({0x41, 'a', 0xF0}, 64), "a");
  EXPECT_EQ(Decompress({0x00, 'a', 'b', 'c'}, 64), "abc");
  EXPECT_EQ(Decompress({0x00, 'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h'}, 5), "abcde");
  EXPECT_EQ(Decompress({0x41, 'a', 0xF0, 0x01}, 7), std::string(7, 'a'));

  // Random units into a destination with guard bytes behind it.
  std::mt19937 rng(7);
  for (int round = 0; round < 2000; ++round) {
    Bytes unit(rng() % 300);
    for (auto& b : unit) b = static_cast<uint8_t>(rng());
    size_t capacity = rng() % 400;
    std::vector<uint8_t> out(capacity + 16, 0xAB);
    size_t n = ql::DecompressBlock(unit, std::span<uint8_t>(out.data(), capacity), round % 2 == 0);
    ASSERT_LE(n, capacity);
    for (size_t g = capacity; g < out.size(); ++g) ASSERT_EQ(out[g], 0xAB);
  }
}

// The checked decode says whether a unit ended cleanly; its bytes are those
// of DecompressBlock.
TEST(DecompressBlock, CheckedDecodeTellsAUnitThatStopsEarly) {
  const struct {
    Bytes unit;
    size_t capacity;
    bool clean;
  } cases[] = {
      {{0x00, 'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h'}, 64, true},
      {{0x11, 0x61, 0x62, 0x63, 0x40, 0x03}, 64, true},
      {{0x01, 'q', 'r'}, 64, true},
      {{}, 64, true},
      {{0x00, 'a', 'b', 'c'}, 64, true},     // a short literal group: all input used
      {{0x41, 'a', 0xF0}, 64, false},        // a reference cut off
      {{0x41, 'a', 0x00, 0x05}, 64, false},  // reaching before the output
      {{0x80, 0x00, 0x00}, 64, false},       // distance 0
      {{0x00, 'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h'}, 5, false},  // stopped by the output
      {{0x41, 'a', 0xF0, 0x01}, 7, false},
      {{0x41, 'a', 0xF0, 0x01}, 18, true},
  };
  for (size_t k = 0; k < std::size(cases); ++k) {
    std::vector<uint8_t> out(cases[k].capacity);
    const ql::BlockDecoding decoded = ql::DecompressBlockChecked(cases[k].unit, out);
    EXPECT_EQ(decoded.clean, cases[k].clean) << "case " << k;
    EXPECT_EQ(std::string(out.begin(), out.begin() + static_cast<long>(decoded.length)),
              Decompress(cases[k].unit, cases[k].capacity))
        << "case " << k;
  }
  // A long unit through the fast loop, damaged at its end.
  Bytes unit;
  for (int g = 0; g < 400; ++g)
    unit.insert(unit.end(), {0x00, 'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h'});
  std::vector<uint8_t> out(3201);
  EXPECT_TRUE(ql::DecompressBlockChecked(unit, out).clean);
  unit.insert(unit.end(), {0x80, 0x0F, 0xFF});
  EXPECT_FALSE(ql::DecompressBlockChecked(unit, out).clean);
}

// The block coding as plainly as it can be written: one byte at a time, a
// check before every read and write. The decoder proper must give the same
// count and the same bytes for every unit and destination, damaged or not.
size_t PlainDecompress(const Bytes& src, std::span<uint8_t> dst, bool limited) {
  size_t i = 0, j = 0;
  while (i < src.size()) {
    if (limited && j > 2000) return j;
    const uint8_t control = src[i++];
    for (int k = 0; k < 8; ++k) {
      if (i >= src.size()) return j;
      if (control != 0 && (control & (0x80 >> k))) {
        if (src.size() - i < 2) return j;
        const size_t length = size_t(src[i] >> 4) + 2;
        const size_t distance = size_t(src[i] & 0x0F) << 8 | src[i + 1];
        i += 2;
        if (distance == 0 || distance > j) return j;
        for (size_t m = 0; m < length; ++m, ++j) {
          if (j >= dst.size()) return j;
          dst[j] = dst[j - distance];
        }
      } else {
        if (j >= dst.size()) return j;
        dst[j++] = src[i++];
      }
    }
  }
  return j;
}

// A random well-formed unit of about plainSize bytes: literal groups, mixed
// groups with references of every length and distance (short ones that
// repeat their own output included), and a short last group.
Bytes RandomUnit(std::mt19937& rng, size_t plainSize) {
  Bytes unit;
  size_t produced = 0;
  while (produced < plainSize) {
    if (rng() % 4 == 0) {
      unit.push_back(0x00);
      for (int k = 0; k < 8; ++k) unit.push_back(static_cast<uint8_t>('a' + rng() % 6));
      produced += 8;
      continue;
    }
    const size_t controlAt = unit.size();
    unit.push_back(0);
    uint8_t control = 0;
    const int items = produced + 136 < plainSize ? 8 : 1 + static_cast<int>(rng() % 7);
    for (int k = 0; k < items; ++k) {
      if (produced > 0 && rng() % 2 == 0) {
        const size_t length = 2 + rng() % 16;
        const size_t reach = std::min<size_t>(produced, 4095);
        const size_t distance =
            rng() % 3 == 0 ? 1 + rng() % std::min<size_t>(reach, 20) : 1 + rng() % reach;
        unit.push_back(static_cast<uint8_t>((length - 2) << 4 | distance >> 8));
        unit.push_back(static_cast<uint8_t>(distance & 0xFF));
        control = static_cast<uint8_t>(control | 0x80 >> k);
        produced += length;
      } else {
        unit.push_back(static_cast<uint8_t>(rng()));
        ++produced;
      }
    }
    if (items < 8) control |= 0x01;  // the mark of a short last group
    unit[controlAt] = control;
    if (items < 8) break;
  }
  return unit;
}

// Decodes unit with both decoders into destinations of capacity bytes with
// guard bytes behind them and expects the same result from each.
void ExpectSameAsPlain(const Bytes& unit, size_t capacity, bool limited) {
  constexpr size_t kGuard = 64;
  std::vector<uint8_t> fast(capacity + kGuard, 0xAB);
  std::vector<uint8_t> plain(capacity, 0xCD);
  const size_t n = ql::DecompressBlock(unit, std::span<uint8_t>(fast.data(), capacity), limited);
  const size_t expected = PlainDecompress(unit, plain, limited);
  ASSERT_EQ(n, expected) << "unit of " << unit.size() << " bytes into " << capacity;
  ASSERT_TRUE(std::equal(plain.begin(), plain.begin() + static_cast<long>(n), fast.begin()));
  for (size_t g = capacity; g < fast.size(); ++g) ASSERT_EQ(fast[g], 0xAB);
}

TEST(DecompressBlock, MatchesThePlainDecoder) {
  std::mt19937 rng(2024);
  for (int round = 0; round < 600; ++round) {
    const Bytes unit = RandomUnit(rng, 1 + rng() % 30000);
    std::vector<uint8_t> whole(30200);
    const size_t size = PlainDecompress(unit, whole, false);
    // Exact room, room cut short anywhere, generous room, and the spill-over
    // destination of limited mode.
    ExpectSameAsPlain(unit, size, false);
    ExpectSameAsPlain(unit, rng() % (size + 1), false);
    ExpectSameAsPlain(unit, size + rng() % 300, false);
    ExpectSameAsPlain(unit, 2136, true);
    // Garbage and valid units cut at any byte decode alike too.
    Bytes cut(unit.begin(), unit.begin() + static_cast<long>(rng() % (unit.size() + 1)));
    ExpectSameAsPlain(cut, size, round % 2 == 0);
    Bytes garbage(rng() % 3000);
    for (auto& b : garbage) b = static_cast<uint8_t>(rng() % 3 == 0 ? 0 : rng());
    ExpectSameAsPlain(garbage, rng() % 20000, round % 3 == 0);
    Bytes damaged = unit;
    for (int k = 0; k < 3; ++k) damaged[rng() % damaged.size()] = static_cast<uint8_t>(rng());
    ExpectSameAsPlain(damaged, size, false);
  }
}

// Decoded in steps, a unit gives the bytes, length and cleanness of one whole
// decoding, and a scan from any step on finds its end without decoding it.
TEST(DecompressBlock, StepsAndScansAgreeWithTheWholeDecoding) {
  std::mt19937 rng(99);
  for (int round = 0; round < 400; ++round) {
    Bytes unit = RandomUnit(rng, 1 + rng() % 30000);
    if (round % 4 == 1) unit.resize(rng() % (unit.size() + 1));  // cut anywhere
    if (round % 4 == 2)
      for (int k = 0; k < 3; ++k) unit[rng() % unit.size()] = static_cast<uint8_t>(rng());
    if (round % 4 == 3)
      for (auto& b : unit) b = static_cast<uint8_t>(rng() % 3 == 0 ? 0 : rng());
    const size_t capacity = rng() % 2 ? 25001 : rng() % 30000;
    std::vector<uint8_t> whole(capacity), stepped(capacity);
    const ql::BlockDecoding expected = ql::DecompressBlockChecked(unit, whole);

    ql::UnitProgress progress;
    bool scanned = false;
    for (size_t until = 0; !progress.ended; until += 1 + rng() % 6000) {
      ql::DecompressBlockUntil(unit, stepped, until, progress);
      ASSERT_TRUE(progress.ended || progress.out > until) << round;
      if (!scanned || rng() % 4 == 0) {
        for (bool vector : {false, true}) {
          const ql::BlockDecoding end = ql::ScanBlockEnd(unit, capacity, progress, vector);
          ASSERT_EQ(end.length, expected.length) << round << " vector " << vector;
          ASSERT_EQ(end.clean, expected.clean) << round << " vector " << vector;
        }
        scanned = true;
      }
    }
    ASSERT_EQ(progress.out, expected.length) << round;
    ASSERT_EQ(progress.clean, expected.clean) << round;
    ASSERT_TRUE(std::equal(whole.begin(), whole.begin() + static_cast<long>(expected.length),
                           stepped.begin()))
        << round;
  }
}

TEST(DecodeNibbleText, GoldenTexts) {
  // The trailing nibble after the end symbol is ignored.
  EXPECT_EQ(Nibble({0x4A, 0x10, 0xD1, 0x34, 0xC0, 0x00}, ql::NibbleForm::Record), "the cat");
  EXPECT_EQ(Nibble({0xFC}, ql::NibbleForm::Record), "\t\x08");
  EXPECT_EQ(Nibble({0xFC}, ql::NibbleForm::FirstLine), "@");
  // Every table: frequent letters, 13 x, 14 x, 15 x and a byte escape.
  Bytes all = {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xD0, 0xDF, 0xE0, 0xEF,
               0xF0, 0xF9, 0xFA, 0xFB, 0xFD, 0xFE, 0xFF, 0xC7, 0xEC, 0x00};
  EXPECT_EQ(Nibble(all, ql::NibbleForm::Record), " eoatnirslh.bzAPQZ,;'()~");
}

TEST(DecodeNibbleText, RoundTripsTheEncoder) {
  std::string text = "Zebra (n.): a striped horse; see Horse@Also 'quagga', \x80\xE9 100%";
  Bytes coded = ToBytes(qltest::EncodeNibbleText(text));
  std::string expected = text;
  expected.replace(expected.find('@'), 1, "\t\x08");
  EXPECT_EQ(Nibble(coded, ql::NibbleForm::Record), expected);
  EXPECT_EQ(Nibble(coded, ql::NibbleForm::FirstLine), text);
}

TEST(DecodeNibbleText, FirstLineLimits) {
  // One-nibble symbols: output stops once 201 bytes came out.
  Bytes es(400, 0x11);
  EXPECT_EQ(Nibble(es, ql::NibbleForm::FirstLine), std::string(201, 'e'));
  EXPECT_EQ(Nibble(es, ql::NibbleForm::Record).size(), 800u);
  // Three-nibble symbols start at 0, 3, ... 198; the one at 201 is not read.
  std::string upper;
  for (int i = 0; i < 150; ++i) upper += '\x80';
  Bytes coded = ToBytes(qltest::EncodeNibbleText(upper));
  EXPECT_EQ(Nibble(coded, ql::NibbleForm::FirstLine), std::string(67, '\x80'));
  // Two-nibble symbols start at 0, 2, ... 200: 101 of them.
  Bytes twos(200, 0xD5);
  EXPECT_EQ(Nibble(twos, ql::NibbleForm::FirstLine), std::string(101, 'j'));
}

TEST(DecodeNibbleText, ShortSourceAndSmallDestination) {
  // No end symbol: the text ends with the source; a cut escape is dropped.
  EXPECT_EQ(Nibble({0x4A, 0x1C}, ql::NibbleForm::Record), "the");
  EXPECT_EQ(Nibble({0x4A, 0xC4}, ql::NibbleForm::Record), "th");
  EXPECT_EQ(Nibble({0x4D}, ql::NibbleForm::Record), "t");
  // TAB 8 does not fit in one byte of room.
  EXPECT_EQ(Nibble({0x4F, 0xC0}, ql::NibbleForm::Record, 2), "t");
  EXPECT_EQ(Nibble({0x4F, 0xC0}, ql::NibbleForm::Record, 3), "t\t\x08");
  std::vector<uint8_t> out(3 + 8, 0xAB);
  size_t n = ql::DecodeNibbleText(Bytes(50, 0x11), std::span<uint8_t>(out.data(), 3),
                                  ql::NibbleForm::Record);
  EXPECT_EQ(n, 3u);
  for (size_t g = 3; g < out.size(); ++g) EXPECT_EQ(out[g], 0xAB);
}

}  // namespace
