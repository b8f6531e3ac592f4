// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// The block codec on the blocks of a real book: the subject and record
// streams of $QL_CORPORA/wn.tsv (generated dictionary text when absent) cut
// into 25000-byte blocks as the writer cuts them. DecompressBlock is timed
// beside LZ4 and zlib decoding the same blocks, CompressBlock beside zlib
// level 6 (and LZ4) compressing them. Counters give the compressed sizes.
#include <benchmark/benchmark.h>
#include <lz4.h>
#include <zlib.h>

#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "book_builder.h"
#include "book_format.h"
#include "codecs.h"
#include "compress_block.h"

namespace {

using Block = std::vector<uint8_t>;

std::string GeneratedDictionary() {
  std::mt19937 rng(7);
  const char* vowels = "aeiouy";
  const char* consonants = "bcdfghklmnprstvw";
  std::string text;
  for (int i = 0; i < 120000; ++i) {
    char subject[16];
    std::snprintf(subject, sizeof subject, "word%06d", i);
    text += subject;
    text += "\tnoun<br>    1: ";
    int words = 20 + int(rng() % 40);
    for (int w = 0; w < words; ++w) {
      int syllables = 1 + int(rng() % 4);
      for (int s = 0; s < syllables; ++s) {
        text += consonants[rng() % 16];
        text += vowels[rng() % 6];
      }
      text += ' ';
    }
    text += "<a:word" + std::to_string(rng() % 120000) + ">see also</a>\r\n";
  }
  return text;
}

std::string Slurp(std::FILE* f) {
  std::string out;
  std::fflush(f);
  std::fseek(f, 0, SEEK_SET);
  char buffer[65536];
  size_t got;
  while ((got = std::fread(buffer, 1, sizeof buffer, f)) > 0) out.append(buffer, got);
  return out;
}

struct Corpus {
  std::string name;
  std::vector<Block> blocks;  // plain blocks of both streams
  size_t bytes = 0;
  std::vector<Block> own, lz4, zlib;  // the same blocks compressed by each coder
  size_t ownBytes = 0, lz4Bytes = 0, zlibBytes = 0;
};

void CutInto(const std::string& stream, std::vector<Block>& blocks) {
  for (size_t at = 0; at < stream.size(); at += size_t(ql::kBlockSizeWritten)) {
    size_t n = std::min(stream.size() - at, size_t(ql::kBlockSizeWritten));
    blocks.emplace_back(stream.begin() + long(at), stream.begin() + long(at + n));
  }
}

Block Lz4Compress(const Block& in) {
  Block out(size_t(LZ4_compressBound(int(in.size()))));
  int n =
      LZ4_compress_default(reinterpret_cast<const char*>(in.data()),
                           reinterpret_cast<char*>(out.data()), int(in.size()), int(out.size()));
  out.resize(size_t(n));
  return out;
}

Block ZlibCompress(const Block& in, int level) {
  uLongf n = compressBound(uLong(in.size()));
  Block out(n);
  compress2(out.data(), &n, in.data(), uLong(in.size()), level);
  out.resize(n);
  return out;
}

const Corpus& TheCorpus() {
  static Corpus corpus = [] {
    Corpus c;
    ql::BookBuilder builder;
    const char* dir = std::getenv("QL_CORPORA");
    std::string path = dir ? std::string(dir) + "/wn.tsv" : "";
    std::FILE* input = path.empty() ? nullptr : std::fopen(path.c_str(), "rb");
    if (input) {
      c.name = "wn";
      builder.ImportTabText(input, nullptr, false);
      std::fclose(input);
    } else {
      c.name = "generated";
      std::string text = GeneratedDictionary();
      std::FILE* mem = fmemopen(text.data(), text.size(), "rb");
      builder.ImportTabText(mem, nullptr, false);
      std::fclose(mem);
    }
    CutInto(Slurp(builder.iSubjectStreamFile), c.blocks);
    CutInto(Slurp(builder.iRecordStreamFile), c.blocks);
    ql::BlockCompressor coder;
    for (const Block& b : c.blocks) {
      c.bytes += b.size();
      Block own(ql::CompressBound(b.size()));
      own.resize(coder.Compress(b.data(), own.data(), b.size()));
      c.ownBytes += own.size();
      c.own.push_back(std::move(own));
      c.lz4.push_back(Lz4Compress(b));
      c.lz4Bytes += c.lz4.back().size();
      c.zlib.push_back(ZlibCompress(b, 6));
      c.zlibBytes += c.zlib.back().size();
    }
    std::fprintf(stderr, "corpus %s: %zu blocks, %zu bytes\n", c.name.c_str(), c.blocks.size(),
                 c.bytes);
    return c;
  }();
  return corpus;
}

void SetCounters(benchmark::State& state, size_t compressed) {
  const Corpus& c = TheCorpus();
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(c.bytes));
  state.counters["plain_bytes"] = double(c.bytes);
  state.counters["coded_bytes"] = double(compressed);
  state.counters["ratio"] = double(c.bytes) / double(compressed);
}

void BM_DecompressBlock(benchmark::State& state) {
  const Corpus& c = TheCorpus();
  Block out(size_t(ql::kBlockSizeWritten));
  for (auto _ : state)
    for (const Block& b : c.own) benchmark::DoNotOptimize(ql::DecompressBlock(b, out, false));
  SetCounters(state, c.ownBytes);
}

void BM_Lz4Decompress(benchmark::State& state) {
  const Corpus& c = TheCorpus();
  Block out(size_t(ql::kBlockSizeWritten));
  for (auto _ : state)
    for (const Block& b : c.lz4)
      benchmark::DoNotOptimize(LZ4_decompress_safe(reinterpret_cast<const char*>(b.data()),
                                                   reinterpret_cast<char*>(out.data()),
                                                   int(b.size()), int(out.size())));
  SetCounters(state, c.lz4Bytes);
}

void BM_ZlibDecompress(benchmark::State& state) {
  const Corpus& c = TheCorpus();
  Block out(size_t(ql::kBlockSizeWritten));
  for (auto _ : state)
    for (const Block& b : c.zlib) {
      uLongf n = uLongf(out.size());
      benchmark::DoNotOptimize(uncompress(out.data(), &n, b.data(), uLong(b.size())));
    }
  SetCounters(state, c.zlibBytes);
}

void BM_CompressBlock(benchmark::State& state) {
  const Corpus& c = TheCorpus();
  ql::BlockCompressor coder;  // as the writer uses it: working memory kept between blocks
  Block out(ql::CompressBound(size_t(ql::kBlockSizeWritten)));
  for (auto _ : state)
    for (const Block& b : c.blocks)
      benchmark::DoNotOptimize(coder.Compress(b.data(), out.data(), b.size()));
  SetCounters(state, c.ownBytes);
}

void BM_ZlibCompress6(benchmark::State& state) {
  const Corpus& c = TheCorpus();
  Block out(compressBound(uLong(ql::kBlockSizeWritten)));
  for (auto _ : state)
    for (const Block& b : c.blocks) {
      uLongf n = uLongf(out.size());
      benchmark::DoNotOptimize(compress2(out.data(), &n, b.data(), uLong(b.size()), 6));
    }
  SetCounters(state, c.zlibBytes);
}

void BM_Lz4Compress(benchmark::State& state) {
  const Corpus& c = TheCorpus();
  Block out(size_t(LZ4_compressBound(ql::kBlockSizeWritten)));
  for (auto _ : state)
    for (const Block& b : c.blocks)
      benchmark::DoNotOptimize(LZ4_compress_default(reinterpret_cast<const char*>(b.data()),
                                                    reinterpret_cast<char*>(out.data()),
                                                    int(b.size()), int(out.size())));
  SetCounters(state, c.lz4Bytes);
}

BENCHMARK(BM_DecompressBlock)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Lz4Decompress)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ZlibDecompress)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CompressBlock)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ZlibCompress6)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Lz4Compress)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
