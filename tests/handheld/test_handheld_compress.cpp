// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// The handheld block coder: the worked examples byte for byte, and the fast
// coder against the plain reference on many inputs, each also decoded back.
#include <gtest/gtest.h>

#include <random>

#include "handheld_compress.h"
#include "handheld_test_util.h"

using hhtest::Compress;
using hhtest::Hex;
using hhtest::ReferenceCompress;
using hhtest::Unhex;

namespace {

TEST(HandheldCompress, WorkedExamples) {
  struct Case {
    const char* in;
    const char* out;
  };
  const Case cases[] = {
      {"61 62 63", "61 62 63"},
      {"61 20 62", "61 E2"},
      {"61 20 20 62", "61 20 20 62"},
      {"61 20 31", "61 20 31"},
      {"61 62 20", "61 62 20"},
      {"80 81 82", "03 80 81 82"},
      {"80 81 82 83 84 85 86 87 88", "08 80 81 82 83 84 85 86 87 01 88"},
      {"61 62 63 64 61 62 63 64", "61 62 63 64 80 20 64"},
      {"61 62 63 64 61 62 63 64 58", "61 62 63 64 80 21 58"},
      {"61 61 61 61 61 61 61 61 61 61 61 61", "61 80 0F 61"},
  };
  for (const Case& c : cases) {
    std::string in = Unhex(c.in);
    EXPECT_EQ(Hex(Compress(in)), c.out) << "input " << c.in;
    EXPECT_EQ(Hex(ReferenceCompress(in)), c.out) << "reference, input " << c.in;
  }
  uint8_t out[2] = {0xAA, 0xAA};
  EXPECT_EQ(ql::CompressHandheldBlock(out, 0, out), 0u);
}

// Pending spaces and escape runs meeting matches and each other.
TEST(HandheldCompress, SpacesEscapesAndMatchesInteract) {
  const char* inputs[] = {
      "20",
      "20 20",
      "20 80",
      "20 05 06",
      "41 20 41 20 41 20 41 20",
      "20 61 62 63 20 61 62 63 20",
      "01 02 03 04 05 06 07 08 09 0A",
      "00 00 00 00 00 00",
      "80 20 80 20 80 20 80 20 80",
      "20 7F 20 40 20 3F 20 C0",
  };
  for (const char* hex : inputs) {
    std::string in = Unhex(hex);
    std::string ours = Compress(in), ref = ReferenceCompress(in);
    EXPECT_EQ(Hex(ours), Hex(ref)) << "input " << hex;
    bool bad = false;
    EXPECT_EQ(hhtest::Decompress(ours, &bad), in) << "input " << hex;
    EXPECT_FALSE(bad);
  }
}

// Same bytes as the reference on random, repetitive and text-like blocks of
// every size class, with distances beyond the window and runs of long
// repeats; every output decodes back to its input and fits 2n bytes.
TEST(HandheldCompress, MatchesReferenceByteForByte) {
  std::mt19937 rng(1234);
  std::vector<std::string> inputs;
  const std::string words[] = {"the ",       "of ",  "and ",  "entry ", "noun ",
                               "\x09\x08",   "(n) ", "verb ", "See ",   "\x01",
                               "\xE9t\xE9 ", "\0",   "     ", "aaaa",   "\x80\x81\x82"};
  for (int round = 0; round < 120; ++round) {
    size_t size = (round % 4 == 0) ? 4095 : 1 + rng() % 4095;
    std::string s;
    switch (round % 5) {
      case 0:  // random bytes
        while (s.size() < size) s.push_back(static_cast<char>(rng()));
        break;
      case 1:  // small alphabet: long matches everywhere
        while (s.size() < size) s.push_back(static_cast<char>('a' + rng() % 3));
        break;
      case 2:  // words
        while (s.size() < size) s += words[rng() % std::size(words)];
        s.resize(size);
        break;
      case 3:  // a unit repeated at a distance around the window's edge
      {
        std::string unit;
        size_t period = 2040 + rng() % 16;
        while (unit.size() < period) unit.push_back(static_cast<char>(0x21 + rng() % 90));
        while (s.size() < size) s += unit;
        s.resize(size);
        break;
      }
      default:  // spaces and escapes mixed
        while (s.size() < size) {
          auto k = rng() % 6;
          s.push_back(k < 2    ? ' '
                      : k == 2 ? static_cast<char>(0x80 + rng() % 128)
                               : static_cast<char>(0x40 + rng() % 64));
        }
    }
    inputs.push_back(std::move(s));
  }
  for (size_t i = 0; i < inputs.size(); ++i) {
    const std::string& in = inputs[i];
    std::string ours = Compress(in);
    ASSERT_EQ(ours, ReferenceCompress(in)) << "input " << i << " of " << in.size() << " bytes";
    EXPECT_LE(ours.size(), 2 * in.size());
    bool bad = false;
    ASSERT_EQ(hhtest::Decompress(ours, &bad), in) << "input " << i;
    EXPECT_FALSE(bad);
  }
}

TEST(HandheldCompress, MatchesStayInsideWindowAndLength) {
  std::string in(4095, 'x');
  for (size_t i = 0; i < in.size(); i += 7) in[i] = static_cast<char>('a' + (i / 7) % 20);
  std::string out = Compress(in);
  size_t i = 0, produced = 0;
  while (i < out.size()) {
    uint8_t c = static_cast<uint8_t>(out[i]);
    if (c >= 1 && c <= 8) {
      i += 1 + c;
      produced += c;
    } else if (c >= 0x80 && c <= 0xBF) {
      unsigned v = (unsigned(c) << 8) | static_cast<uint8_t>(out[i + 1]);
      unsigned d = (v >> 3) & 0x7FF, len = (v & 7) + 3;
      EXPECT_GE(d, 1u);
      EXPECT_LE(d, produced);
      EXPECT_LE(len, 10u);
      produced += len;
      i += 2;
    } else {
      produced += c >= 0xC0 ? 2 : 1;
      ++i;
    }
  }
  EXPECT_EQ(produced, in.size());
  // The last byte of a block is never inside a match.
  EXPECT_EQ(static_cast<uint8_t>(out.back()), static_cast<uint8_t>(in.back()));
}

}  // namespace
