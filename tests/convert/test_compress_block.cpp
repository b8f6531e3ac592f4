// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// The block coder: its worked examples, the fast coder against a plain
// rendering of the algorithm byte for byte, and round trips through the
// decoder for every kind of input of many sizes up to a whole block.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "codecs.h"
#include "compress_block.h"

namespace {

using Bytes = std::vector<uint8_t>;

// The algorithm as written down: pair table walked by value, every candidate
// of a pair visited from the oldest, no shortcuts.
Bytes ReferenceCompress(const Bytes& in) {
  const int n = int(in.size());
  std::vector<int> count(65536, 0), start(65536, 0), pos(size_t(n) + 1, 0);
  auto pair = [&](int p) { return (in[size_t(p)] << 8) | in[size_t(p) + 1]; };
  for (int p = 0; p + 1 < n; ++p) ++count[size_t(pair(p))];
  int sum = 0;
  for (int v = 0; v < 65536; ++v) {
    start[size_t(v)] = sum;
    sum += count[size_t(v)];
    count[size_t(v)] = 0;
  }
  auto enter = [&](int p) {
    int v = pair(p);
    pos[size_t(start[size_t(v)] + count[size_t(v)]++)] = p;
  };
  Bytes out;
  std::vector<std::pair<bool, std::pair<int, int>>> items;  // (match, (length|byte, distance))
  int a = 0;
  while (a < n) {
    int best = 0, distance = 0;
    if (a + 1 < n) {
      int v = pair(a);
      for (int k = 0; k < count[size_t(v)]; ++k) {
        if (best >= 17) break;
        int p = pos[size_t(start[size_t(v)] + k)];
        if (p < a - 4095) continue;
        int cap = std::min({17, a - p - 1, n - a});
        int length = 0;
        while (length < cap && in[size_t(p + length)] == in[size_t(a + length)]) ++length;
        if (length > best) {
          best = length;
          distance = a - p;
        }
      }
    }
    if (best >= 3) {
      items.push_back({true, {best, distance}});
      for (int s = 0; s < best; ++s) {
        ++a;
        if (a >= 2) enter(a - 2);
      }
    } else {
      items.push_back({false, {in[size_t(a)], 0}});
      ++a;
      if (a >= 2) enter(a - 2);
    }
  }
  for (size_t g = 0; g < items.size(); g += 8) {
    size_t end = std::min(items.size(), g + 8);
    int control = 0;
    for (size_t k = g; k < end; ++k)
      if (items[k].first) control |= 0x80 >> (k - g);
    if (end - g < 8) control += 1;
    out.push_back(uint8_t(control));
    for (size_t k = g; k < end; ++k) {
      if (items[k].first) {
        int length = items[k].second.first, dist = items[k].second.second;
        out.push_back(uint8_t(((length - 2) << 4) + (dist >> 8)));
        out.push_back(uint8_t(dist & 0xFF));
      } else {
        out.push_back(uint8_t(items[k].second.first));
      }
    }
  }
  return out;
}

Bytes Compress(ql::BlockCompressor& coder, const uint8_t* in, size_t n) {
  Bytes out(ql::CompressBound(n));
  size_t got = coder.Compress(in, out.data(), n);
  out.resize(got);
  return out;
}

Bytes Decompress(const Bytes& coded, size_t n) {
  Bytes out(n + 64);
  size_t got = ql::DecompressBlock(coded, out, false);
  out.resize(got);
  return out;
}

Bytes FromString(std::string_view s) {
  return Bytes(s.begin(), s.end());
}

// Input kinds: any byte values; few values in runs and repeats; word text.
Bytes RandomBytes(size_t n, uint32_t seed) {
  std::mt19937 rng(seed);
  Bytes b(n);
  for (auto& x : b) x = uint8_t(rng());
  return b;
}

Bytes Repetitive(size_t n, uint32_t seed) {
  std::mt19937 rng(seed);
  Bytes b;
  while (b.size() < n) {
    switch (rng() % 4) {
      case 0:  // a run of one byte
        b.insert(b.end(), 1 + rng() % 40, uint8_t('a' + rng() % 3));
        break;
      case 1:  // a copy from somewhere before, near or far
        if (!b.empty()) {
          size_t from = rng() % b.size();
          size_t len = 1 + rng() % 30;
          for (size_t k = 0; k < len && b.size() < n + 30; ++k) b.push_back(b[from + k]);
        }
        break;
      default:
        b.push_back(uint8_t('a' + rng() % 4));
    }
  }
  b.resize(n);
  return b;
}

Bytes WordText(size_t n, uint32_t seed) {
  static const char* kWords[] = {"the ",   "cat ",   "sat ",       "on ",   "mat. ", "\t\x01",
                                 "\t\x02", "feline", "catalogue ", "cats ", "\r\n",  "at "};
  std::mt19937 rng(seed);
  std::string s;
  while (s.size() < n) s += kWords[rng() % std::size(kWords)];
  s.resize(n);
  return FromString(s);
}

TEST(CompressBlock, WorkedExamplesGiveTheirBytes) {
  EXPECT_EQ(ql::CompressBound(25000), 28141u);
  Bytes abc = FromString("abc");
  Bytes out(ql::CompressBound(3));
  ASSERT_EQ(ql::CompressBlock(abc.data(), out.data(), 3), 4u);
  out.resize(4);
  EXPECT_EQ(out, (Bytes{0x01, 0x61, 0x62, 0x63}));

  Bytes eight(8, 'a');
  out.assign(ql::CompressBound(8), 0);
  ASSERT_EQ(ql::CompressBlock(eight.data(), out.data(), 8), 8u);
  out.resize(8);
  EXPECT_EQ(out, (Bytes{0x09, 0x61, 0x61, 0x61, 0x61, 0x10, 0x04, 0x61}));
}

TEST(CompressBlock, GroupsAndLimitsOfTheCoding) {
  ql::BlockCompressor coder;
  // Eight literals make a full group under control byte 0, with no extra byte.
  Bytes eight = FromString("abcdefgh");
  EXPECT_EQ(Compress(coder, eight.data(), 8), (Bytes{0, 'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h'}));
  // A ninth literal opens a short group of its own: control 0 + 1.
  Bytes nine = FromString("abcdefghi");
  EXPECT_EQ(Compress(coder, nine.data(), 9),
            (Bytes{0, 'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h', 1, 'i'}));
  // One byte of 'x' repeated: matches are capped at 17 and never nearer than 4.
  Bytes run(200, 'x');
  Bytes coded = Compress(coder, run.data(), run.size());
  EXPECT_EQ(Decompress(coded, run.size()), run);
  EXPECT_EQ(coded[5], 0x10);  // first match: length 3 at distance 4
  EXPECT_EQ(coded[6], 0x04);
  // A match longer than 17 is never emitted, and distances stay in 4..4095.
  Bytes far = RandomBytes(5000, 7);
  std::copy(far.begin(), far.begin() + 40, far.begin() + 4090);         // 4090 back: reachable
  std::copy(far.begin() + 100, far.begin() + 140, far.begin() + 4300);  // 4200 back: not
  coded = Compress(coder, far.data(), far.size());
  EXPECT_EQ(Decompress(coded, far.size()), far);
  EXPECT_EQ(coded, ReferenceCompress(far));
  size_t matches = 0;
  for (size_t i = 0; i < coded.size();) {
    uint8_t control = coded[i++];
    for (int k = 0; k < 8 && i < coded.size(); ++k) {
      if (control & (0x80 >> k)) {
        int length = (coded[i] >> 4) + 2;
        int distance = ((coded[i] & 0x0F) << 8) | coded[i + 1];
        EXPECT_GE(length, 3);
        EXPECT_GE(distance, 4);
        if (distance == 4090) ++matches;
        i += 2;
      } else {
        ++i;
      }
      if (control == 0 && k == 7) break;
    }
  }
  EXPECT_EQ(matches, 3u);  // 17 + 17 + 6 bytes of the reachable copy
}

TEST(CompressBlock, OldestOfEquallyLongCandidatesWins) {
  // At the third "abc" both earlier ones give 3 bytes; the older (distance
  // 10) must be chosen over the nearer (distance 5).
  Bytes in = FromString("abcQ1abcR2abcS");
  ql::BlockCompressor coder;
  Bytes coded = Compress(coder, in.data(), in.size());
  EXPECT_EQ(coded, ReferenceCompress(in));
  // a b c Q 1 (3 at 5) R 2 | (3 at 10) S
  EXPECT_EQ(coded, (Bytes{0x04, 'a', 'b', 'c', 'Q', '1', 0x10, 0x05, 'R', '2',  //
                          0x81, 0x10, 0x0A, 'S'}));
}

TEST(CompressBlock, FastCoderEqualsTheReference) {
  ql::BlockCompressor coder;  // reused across blocks, as the writer does
  std::vector<size_t> sizes;
  for (size_t n = 1; n <= 200; ++n) sizes.push_back(n);
  for (size_t n = 201; n < 25000; n += 1999) sizes.push_back(n);
  sizes.push_back(25000);
  for (size_t n : sizes) {
    for (uint32_t kind = 0; kind < 3; ++kind) {
      Bytes in = kind == 0   ? RandomBytes(n, uint32_t(n))
                 : kind == 1 ? Repetitive(n, uint32_t(n))
                             : WordText(n, uint32_t(n));
      ASSERT_EQ(Compress(coder, in.data(), n), ReferenceCompress(in))
          << "size " << n << " kind " << kind;
    }
  }
}

TEST(CompressBlock, RoundTripsThroughTheDecoder) {
  ql::BlockCompressor coder;
  std::vector<size_t> sizes;
  for (size_t n = 1; n <= 400; ++n) sizes.push_back(n);
  for (size_t n = 401; n < 25000; n += 157) sizes.push_back(n);
  for (size_t n = 24990; n <= 25000; ++n) sizes.push_back(n);
  for (size_t n : sizes) {
    for (uint32_t kind = 0; kind < 4; ++kind) {
      Bytes in = kind == 0   ? RandomBytes(n, uint32_t(n) * 3 + 1)
                 : kind == 1 ? Repetitive(n, uint32_t(n) * 5 + 2)
                 : kind == 2 ? WordText(n, uint32_t(n))
                             : Bytes(n, uint8_t(n));
      Bytes coded = Compress(coder, in.data(), n);
      ASSERT_GT(coded.size(), 0u);
      ASSERT_LE(coded.size(), ql::CompressBound(n));
      ASSERT_EQ(Decompress(coded, n), in) << "size " << n << " kind " << kind;
    }
  }
}

}  // namespace
