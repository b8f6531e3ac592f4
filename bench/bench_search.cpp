// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// In-process figures for search: the walk that loads every record (the floor
// set by block decoding), a whole-book search for a term that does not occur,
// and a subject-only search. Usage: bench_search BOOK [TERM] [benchmark flags]
//        bench_search BOOK --record-bytes   (prints the total record text size)
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "book_reader.h"
#include "parallel_search.h"

namespace {

std::string gBook;
std::string gTerm = "qqxqzz";
int64_t gRecordBytes = 0;

int64_t RecordBytes(ql::BookReader& reader) {
  int64_t total = 0;
  for (int i = 0; i < reader.GetSubjectCount(); ++i)
    if (reader.LoadRecord(i) == 1) total += static_cast<int64_t>(reader.CurrentRecordText().size());
  return total;
}

void LoadEveryRecord(benchmark::State& state) {
  ql::BookReader reader;
  if (reader.Open(gBook, ql::kOpenReadOnly) != ql::OpenResult::kOk)
    return state.SkipWithError("open");
  for (auto _ : state) benchmark::DoNotOptimize(RecordBytes(reader));
  state.SetBytesProcessed(state.iterations() * gRecordBytes);
}

void SearchBook(benchmark::State& state, int mode) {
  ql::BookReader reader;
  if (reader.Open(gBook, ql::kOpenReadOnly) != ql::OpenResult::kOk)
    return state.SkipWithError("open");
  int64_t hits = 0;
  const ql::ReaderStats before = reader.Stats();
  for (auto _ : state) {
    int record = 0, pos = -1;
    hits += reader.Search(mode, gTerm, record, pos, false, false) == ql::kSearchHit;
  }
  // Block decodings per search: each block of a stream should be decoded once.
  const double runs = static_cast<double>(state.iterations());
  state.counters["hits"] = static_cast<double>(hits) / runs;
  state.counters["subject_blocks"] =
      static_cast<double>(reader.Stats().subjectBlockLoads - before.subjectBlockLoads) / runs;
  state.counters["record_blocks"] =
      static_cast<double>(reader.Stats().recordBlockLoads - before.recordBlockLoads) / runs;
  if (mode == ql::SearchSubjectsAndText) state.SetBytesProcessed(state.iterations() * gRecordBytes);
}

// The whole-book search on state.range(0) threads, as the window starts it.
void ParallelSearchBook(benchmark::State& state) {
  ql::BookReader reader;
  if (reader.Open(gBook, ql::kOpenReadOnly) != ql::OpenResult::kOk)
    return state.SkipWithError("open");
  ql::SearchQuery query;
  query.term1 = gTerm;
  for (auto _ : state) {
    ql::ParallelSearch search;
    search.Start(reader, query, 0, -1, static_cast<int>(state.range(0)));
    benchmark::DoNotOptimize(search.Wait().result);
  }
  state.SetBytesProcessed(state.iterations() * gRecordBytes);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: bench_search BOOK [TERM|--record-bytes] [benchmark flags]\n");
    return 2;
  }
  gBook = argv[1];
  {
    // Closed again before the benchmarks: a book is held for exclusive use.
    ql::BookReader reader;
    if (reader.Open(gBook, ql::kOpenReadOnly) != ql::OpenResult::kOk) {
      std::fprintf(stderr, "bench_search: cannot open %s\n", gBook.c_str());
      return 1;
    }
    gRecordBytes = RecordBytes(reader);
  }
  if (argc > 2 && std::strcmp(argv[2], "--record-bytes") == 0) {
    std::printf("%lld\n", static_cast<long long>(gRecordBytes));
    return 0;
  }
  int first = 2;
  if (argc > 2 && argv[2][0] != '-') gTerm = argv[first++];
  argv[first - 1] = argv[0];
  int rest = argc - first + 1;
  benchmark::RegisterBenchmark("load_every_record", LoadEveryRecord)->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("search_whole_book", SearchBook, ql::SearchSubjectsAndText)
      ->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("search_subjects_only", SearchBook, ql::SearchSubjects)
      ->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("parallel_search_whole_book", ParallelSearchBook)
      ->Arg(1)
      ->Arg(2)
      ->Arg(ql::DefaultSearchThreads())
      ->UseRealTime()
      ->Unit(benchmark::kMillisecond);
  benchmark::Initialize(&rest, argv + first - 1);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
