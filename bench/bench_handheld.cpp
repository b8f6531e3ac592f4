// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// The handheld block coder on real text: $QL_BENCH_TEXT, else
// $QL_CORPORA/wn.tsv (generated dictionary text when neither exists), cut
// into 4095-byte blocks as the writer cuts its text stream. Counters give
// the input and compressed sizes; run_export.sh sets the figure beside
// txt2pdbdoc compressing the same file. Before timing, a sample of the
// blocks (every QL_BENCH_CHECK_EVERY-th, default 50) is coded again by the
// plain forward-scan coder the format is defined by, and must come out the
// same byte for byte.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "handheld_compress.h"
#include "handheld_reference.h"
#include "pdb_format.h"

namespace {

std::string Generated() {
  std::mt19937 rng(7);
  const char* vowels = "aeiouy";
  const char* consonants = "bcdfghklmnprstvw";
  std::string text;
  for (int i = 0; i < 120000; ++i) {
    text += "word" + std::to_string(i) + "\tnoun<br>    1: ";
    int words = 20 + int(rng() % 40);
    for (int w = 0; w < words; ++w) {
      for (int s = 0, n = 1 + int(rng() % 4); s < n; ++s) {
        text += consonants[rng() % 16];
        text += vowels[rng() % 6];
      }
      text += ' ';
    }
    text += "\r\n";
  }
  return text;
}

const std::string& Text() {
  static std::string text = [] {
    std::string path;
    if (const char* t = std::getenv("QL_BENCH_TEXT")) path = t;
    if (path.empty())
      if (const char* c = std::getenv("QL_CORPORA")) path = std::string(c) + "/wn.tsv";
    std::string out;
    if (std::FILE* f = path.empty() ? nullptr : std::fopen(path.c_str(), "rb")) {
      char buffer[65536];
      size_t got;
      while ((got = std::fread(buffer, 1, sizeof buffer, f)) > 0) out.append(buffer, got);
      std::fclose(f);
    }
    return out.empty() ? Generated() : out;
  }();
  return text;
}

bool CheckAgainstReference() {
  const std::string& text = Text();
  const auto* src = reinterpret_cast<const uint8_t*>(text.data());
  size_t every = 50;
  if (const char* e = std::getenv("QL_BENCH_CHECK_EVERY")) every = std::strtoul(e, nullptr, 10);
  if (every == 0) return true;
  std::vector<uint8_t> out(2 * ql::kQLPBlockSize);
  size_t checked = 0, blocks = (text.size() + ql::kQLPBlockSize - 1) / ql::kQLPBlockSize;
  for (size_t b = 0; b < blocks; b += every) {
    size_t at = b * ql::kQLPBlockSize;
    size_t n = std::min(text.size() - at, static_cast<size_t>(ql::kQLPBlockSize));
    size_t c = ql::CompressHandheldBlock(src + at, n, out.data());
    std::string ref = qltest::ReferenceCompressHandheld(
        std::string_view(reinterpret_cast<const char*>(src + at), n));
    if (ref.size() != c || std::memcmp(ref.data(), out.data(), c) != 0) {
      std::fprintf(stderr, "block %zu differs from the reference coder\n", b);
      return false;
    }
    ++checked;
  }
  std::fprintf(stderr, "reference check: %zu of %zu blocks identical\n", checked, blocks);
  return true;
}

void BM_CompressHandheldBlock(benchmark::State& state) {
  const std::string& text = Text();
  const auto* src = reinterpret_cast<const uint8_t*>(text.data());
  std::vector<uint8_t> out(2 * ql::kQLPBlockSize);
  size_t coded = 0;
  for (auto _ : state) {
    coded = 0;
    for (size_t at = 0; at < text.size(); at += ql::kQLPBlockSize) {
      size_t n = std::min(text.size() - at, static_cast<size_t>(ql::kQLPBlockSize));
      coded += ql::CompressHandheldBlock(src + at, n, out.data());
    }
    benchmark::DoNotOptimize(coded);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
  state.counters["plain_bytes"] = static_cast<double>(text.size());
  state.counters["coded_bytes"] = static_cast<double>(coded);
}
BENCHMARK(BM_CompressHandheldBlock)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (!CheckAgainstReference()) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
