// The two decoders: golden units, the limited mode and the first-line limits,
// and damaged input that must stay inside the caller's buffers.
#include <gtest/gtest.h>

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
