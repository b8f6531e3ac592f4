// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// The UTF-8 folded finder beside the Windows-1252 one over the same bytes:
// about 30 MB of generated text, mostly ASCII words in mixed case with one
// word in twenty Cyrillic, searched for a term that does not occur (the
// whole-book search of the benchmarks), for a common one and for a Cyrillic
// one. The Windows-1252 finder sees the Cyrillic bytes as accented letters,
// which costs it nothing; it is the speed to match.
// Usage: bench_unicode [--write-text FILE] [benchmark flags]
//   --write-text FILE  writes the text to FILE (for grep beside it) and exits
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <random>
#include <string>

#include "text_case.h"
#include "unicode_text.h"

namespace {

constexpr size_t kTextBytes = 30 * 1000 * 1000;

const std::string& Text() {
  static const std::string text = [] {
    std::mt19937 rng(5);
    const char* syllables[] = {"the", "an", "ing", "tion", "er",  "qu",  "st", "ro",
                               "ma",  "li", "de",  "ver",  "con", "pro", "al", "es"};
    const char* cyrillic[] = {"дом", "Дом", "слово", "СЛОВАРЬ", "книга", "Язык", "перевод"};
    std::string out;
    out.reserve(kTextBytes + 64);
    while (out.size() < kTextBytes) {
      if (rng() % 20 == 0) {
        out += cyrillic[rng() % std::size(cyrillic)];
      } else {
        const size_t start = out.size();
        for (unsigned n = 1 + rng() % 3; n > 0; --n) out += syllables[rng() % std::size(syllables)];
        if (rng() % 8 == 0) out[start] = static_cast<char>(out[start] - 'a' + 'A');
        if (rng() % 50 == 0)
          for (size_t k = start; k < out.size(); ++k) out[k] = static_cast<char>(out[k] & ~0x20);
      }
      out += rng() % 12 == 0 ? ".\n" : " ";
    }
    return out;
  }();
  return text;
}

void Utf8Finder(benchmark::State& state, const char* term) {
  const std::string& text = Text();
  const std::string folded = ql::FoldTermUtf8(term);
  const ql::Utf8FoldedFinder finder(folded);
  size_t hits = 0;
  for (auto _ : state) {
    ql::Utf8FoldedFinder::Scan scan(finder, text, 0);
    while (scan.Next()) ++hits;
  }
  state.counters["hits"] = static_cast<double>(hits) / static_cast<double>(state.iterations());
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}

void Cp1252Finder(benchmark::State& state, const char* term) {
  const std::string& text = Text();
  const std::string lower = ql::LowerCaseCp1252(term);
  const ql::FoldedFinder finder(lower);
  size_t hits = 0;
  for (auto _ : state) {
    ql::FoldedFinder::Scan scan(finder, text, 0);
    while (scan.Next() != ql::FoldedFinder::kNotFound) ++hits;
  }
  state.counters["hits"] = static_cast<double>(hits) / static_cast<double>(state.iterations());
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 2 && std::strcmp(argv[1], "--write-text") == 0) {
    FILE* f = std::fopen(argv[2], "wb");
    if (!f) return 1;
    const std::string& text = Text();
    const bool ok = std::fwrite(text.data(), 1, text.size(), f) == text.size();
    return std::fclose(f) == 0 && ok ? 0 : 1;
  }
  Text();  // made before the timing starts
  struct Term {
    const char* name;
    const char* text;
  };
  const Term terms[] = {{"absent", "qqxqzz"}, {"common", "tion"}, {"cyrillic", "словарь"}};
  for (const Term& t : terms) {
    benchmark::RegisterBenchmark((std::string("utf8_finder/") + t.name).c_str(), Utf8Finder, t.text)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark((std::string("cp1252_finder/") + t.name).c_str(), Cp1252Finder,
                                 t.text)
        ->Unit(benchmark::kMillisecond);
  }
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
