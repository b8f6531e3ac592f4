// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// Spelling suggestions on a book of 1,000,000 subjects: the time to the first
// list (what the lookup line shows at once) and to the final one, for a few
// misspelt texts, the final one both from a new suggester (which decodes the
// book) and from one that has scanned before (which reads the subjects it
// kept), beside a plain walk of every subject with GetSubject and
// FindSubject's prefix lookup, measured in the same run.
// Usage: bench_spelling WORKDIR [benchmark flags]
// The book is generated once with the builder and kept in WORKDIR.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <mutex>
#include <random>
#include <string>
#include <vector>

#include "book_builder.h"
#include "book_reader.h"
#include "spelling.h"

namespace {

constexpr int kSubjects = 1000000;

std::string gBook;
std::vector<std::string> gQueries;

// Pseudo-words of two to five syllables, some closed by a consonant, in
// subject order and distinct, each with a text of about two hundred bytes
// (so that the subject stream carries the usual 150-byte heads).
bool BuildBook(const std::string& path) {
  std::mt19937 rng(11);
  const std::string onsets = "bcdfghjklmnprstvwz";
  const std::string vowels = "aeiouy";
  const std::string codas = "nrstlm";
  auto pick = [&](const std::string& from) {
    return from[std::uniform_int_distribution<size_t>(0, from.size() - 1)(rng)];
  };
  std::vector<std::string> words;
  words.reserve(kSubjects * 5 / 4);
  while (words.size() < kSubjects * 5 / 4) {
    std::string w;
    for (int s = std::uniform_int_distribution<int>(2, 5)(rng); s > 0; --s) {
      w += pick(onsets);
      w += pick(vowels);
      if (rng() % 4 == 0) w += pick(codas);
    }
    if (rng() % 8 == 0) w[0] = static_cast<char>(w[0] - 'a' + 'A');
    words.push_back(std::move(w));
  }
  auto less = [](const std::string& a, const std::string& b) {
    return ql::CompareSubjects(a, b) < 0;
  };
  auto same = [](const std::string& a, const std::string& b) {
    return ql::CompareSubjects(a, b) == 0;
  };
  std::sort(words.begin(), words.end(), less);
  words.erase(std::unique(words.begin(), words.end(), same), words.end());
  if (words.size() < kSubjects) return false;
  // Every n-th word, so the book spans the whole alphabet.
  ql::BookBuilder builder;
  if (!builder.IsReady()) return false;
  const double step = static_cast<double>(words.size()) / kSubjects;
  for (int i = 0; i < kSubjects; ++i) {
    const std::string& w = words[static_cast<size_t>(i * step)];
    std::string text = "noun\t\x08    1: ";
    while (text.size() < 200) text += words[rng() % words.size()] + " ";
    if (builder.AddEntry(w, text) != ql::BuildResult::kOk) return false;
  }
  return builder.WriteBookFile(path) == ql::BuildResult::kOk;
}

// Misspellings of subjects across the book: a swap, a wrong letter, a letter
// left out, one too many, and a wrong first letter; each checked to begin no
// subject, as the lookup line asks for suggestions only then.
std::vector<std::string> MakeQueries(ql::BookReader& reader) {
  const int count = reader.GetSubjectCount();
  std::vector<std::string> queries;
  const int places[] = {count / 7, count / 3, count / 2, count * 4 / 5, count * 9 / 10};
  for (int k = 0; k < 5; ++k) {
    std::string w = reader.GetSubject(places[k]);
    const size_t mid = w.size() / 2;
    switch (k) {
      case 0:
        std::swap(w[mid - 1], w[mid]);
        break;
      case 1:
        w[mid] = w[mid] == 'x' ? 'q' : 'x';
        break;
      case 2:
        w.erase(mid, 1);
        break;
      case 3:
        w.insert(mid, 1, 'q');
        break;
      default:
        w[0] = w[0] == 'q' ? 'x' : 'q';
        break;
    }
    while (reader.FindSubject(ql::MatchPrefix, w) >= 0) w += 'q';
    queries.push_back(w);
  }
  return queries;
}

std::unique_ptr<ql::BookReader> OpenBook() {
  auto reader = std::make_unique<ql::BookReader>();
  if (reader->Open(gBook, ql::kOpenReadOnly) != ql::OpenResult::kOk) reader.reset();
  return reader;
}

// The final list: waits for the worker's last publish.
class Waiter {
 public:
  void Notify() {
    std::lock_guard lock(iMutex);
    ++iUpdates;
    iChanged.notify_all();
  }
  void WaitUntilDone(const ql::SpellingSuggester& s) {
    std::unique_lock lock(iMutex);
    iChanged.wait(lock, [&] { return !s.Current().running; });
  }

 private:
  std::mutex iMutex;
  std::condition_variable iChanged;
  int iUpdates = 0;
};

// Start alone, with the suggester's scan reader already open (every text
// after the first) and the window's reader having last looked elsewhere.
// With scanning, the previous text's scan is still running, as when a
// letter is typed while the drop-down fills, and Start first stops it.
void FirstList(benchmark::State& state, int query, bool scanning) {
  auto ui = OpenBook();
  if (!ui) return state.SkipWithError("open");
  ql::SpellingSuggester suggester(OpenBook);
  suggester.Start("warm", *ui);
  const std::string& text = gQueries[static_cast<size_t>(query)];
  const std::string& other = gQueries[static_cast<size_t>(query + 1) % gQueries.size()];
  size_t found = 0;
  for (auto _ : state) {
    if (scanning)
      suggester.Start(other, *ui);
    else
      suggester.Cancel();
    ui->GetSubject(0);
    const auto t0 = std::chrono::steady_clock::now();
    const ql::SpellingSnapshot first = suggester.Start(text, *ui);
    const auto t1 = std::chrono::steady_clock::now();
    state.SetIterationTime(std::chrono::duration<double>(t1 - t0).count());
    found = first.suggestions.size();
  }
  state.counters["suggestions"] = static_cast<double>(found);
}

// The first Start of a new suggester, which also opens its scan reader.
void FirstListFresh(benchmark::State& state) {
  auto ui = OpenBook();
  if (!ui) return state.SkipWithError("open");
  for (auto _ : state) {
    ui->GetSubject(0);
    const auto t0 = std::chrono::steady_clock::now();
    ql::SpellingSuggester suggester(OpenBook);
    suggester.Start(gQueries[0], *ui);
    const auto t1 = std::chrono::steady_clock::now();
    state.SetIterationTime(std::chrono::duration<double>(t1 - t0).count());
  }
}

void FinalList(benchmark::State& state, int query) {
  auto ui = OpenBook();
  if (!ui) return state.SkipWithError("open");
  Waiter waiter;
  ql::SpellingSuggester suggester(OpenBook, [&] { waiter.Notify(); });
  suggester.Start("warm", *ui);
  waiter.WaitUntilDone(suggester);
  ql::SpellingSnapshot last;
  for (auto _ : state) {
    suggester.Start(gQueries[static_cast<size_t>(query)], *ui);
    waiter.WaitUntilDone(suggester);
    last = suggester.Current();
  }
  if (!last.complete) return state.SkipWithError("scan did not complete");
  state.counters["best_distance"] =
      last.suggestions.empty() ? -1 : static_cast<double>(last.suggestions[0].distance);
}

// The first scan of a new suggester, which decodes the whole subject
// stream; later scans read the subjects it kept in memory.
void FinalListFresh(benchmark::State& state, int query) {
  auto ui = OpenBook();
  if (!ui) return state.SkipWithError("open");
  bool complete = true;
  for (auto _ : state) {
    Waiter waiter;
    ql::SpellingSuggester suggester(OpenBook, [&] { waiter.Notify(); });
    suggester.Start(gQueries[static_cast<size_t>(query)], *ui);
    waiter.WaitUntilDone(suggester);
    complete &= suggester.Current().complete;
  }
  if (!complete) state.SkipWithError("scan did not complete");
}

// Peers: every subject read in order, and the prefix lookup the window does
// before it asks for suggestions.
void WalkAllSubjects(benchmark::State& state) {
  auto reader = OpenBook();
  if (!reader) return state.SkipWithError("open");
  for (auto _ : state) {
    size_t bytes = 0;
    for (int i = 0; i < reader->GetSubjectCount(); ++i) bytes += reader->GetSubject(i).size();
    benchmark::DoNotOptimize(bytes);
  }
}

void FindSubjectPrefix(benchmark::State& state) {
  auto reader = OpenBook();
  if (!reader) return state.SkipWithError("open");
  size_t k = 0;
  for (auto _ : state) {
    reader->GetSubject(0);
    benchmark::DoNotOptimize(reader->FindSubject(ql::MatchPrefix, gQueries[k++ % gQueries.size()]));
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: bench_spelling WORKDIR [benchmark flags]\n");
    return 2;
  }
  gBook = std::string(argv[1]) + "/spelling-1m.ql";
  if (!std::filesystem::exists(gBook)) {
    std::fprintf(stderr, "bench_spelling: building %s\n", gBook.c_str());
    if (!BuildBook(gBook)) {
      std::fprintf(stderr, "bench_spelling: cannot build %s\n", gBook.c_str());
      return 1;
    }
  }
  {
    auto reader = OpenBook();
    if (!reader || reader->GetSubjectCount() != kSubjects) {
      std::fprintf(stderr, "bench_spelling: %s is not the generated book\n", gBook.c_str());
      return 1;
    }
    gQueries = MakeQueries(*reader);
    // What the lists hold, so the figures can be read against them.
    Waiter waiter;
    ql::SpellingSuggester suggester(OpenBook, [&] { waiter.Notify(); });
    auto print = [](const char* what, const ql::SpellingSnapshot& list) {
      std::fprintf(stderr, " %s:", what);
      for (size_t i = 0; i < list.suggestions.size() && i < 3; ++i)
        std::fprintf(stderr, " %s(%d)", list.suggestions[i].subject.c_str(),
                     list.suggestions[i].distance);
    };
    for (const std::string& q : gQueries) {
      std::fprintf(stderr, "%-12s", q.c_str());
      print("first", suggester.Start(q, *reader));
      waiter.WaitUntilDone(suggester);
      print(" final", suggester.Current());
      std::fprintf(stderr, "\n");
    }
  }
  argv[1] = argv[0];
  int rest = argc - 1;
  for (size_t q = 0; q < gQueries.size(); ++q)
    benchmark::RegisterBenchmark(("first_list/" + gQueries[q]).c_str(), FirstList,
                                 static_cast<int>(q), false)
        ->UseManualTime()
        ->Iterations(20)
        ->Unit(benchmark::kMillisecond);
  for (size_t q = 0; q < gQueries.size(); ++q)
    benchmark::RegisterBenchmark(("first_list_while_scanning/" + gQueries[q]).c_str(), FirstList,
                                 static_cast<int>(q), true)
        ->UseManualTime()
        ->Iterations(20)
        ->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("first_list_new_suggester", FirstListFresh)
      ->UseManualTime()
      ->Iterations(10)
      ->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("find_subject_prefix", FindSubjectPrefix)
      ->Unit(benchmark::kMillisecond);
  for (size_t q = 0; q < gQueries.size(); ++q)
    benchmark::RegisterBenchmark(("final_list/" + gQueries[q]).c_str(), FinalList,
                                 static_cast<int>(q))
        ->UseRealTime()
        ->Iterations(3)
        ->Unit(benchmark::kMillisecond);
  for (size_t q = 0; q < 2; ++q)
    benchmark::RegisterBenchmark(("final_list_new_suggester/" + gQueries[q]).c_str(),
                                 FinalListFresh, static_cast<int>(q))
        ->UseRealTime()
        ->Iterations(3)
        ->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("walk_all_subjects", WalkAllSubjects)
      ->Iterations(3)
      ->Unit(benchmark::kMillisecond);
  benchmark::Initialize(&rest, argv + 1);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
