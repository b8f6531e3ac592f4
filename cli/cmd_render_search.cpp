// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// qlbook render and search: the page RenderRecord writes, and a whole-book
// search that walks on from each hit as Find Next does.
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "book_reader.h"
#include "cli_util.h"
#include "parallel_search.h"
#include "std_streams.h"
#include "text_case.h"

namespace qlcli {

namespace {

// Up to two further terms may join the first one.
constexpr size_t kMaxExtraTerms = 2;

struct RenderArgs {
  std::string book;
  long long index = 0;
  std::pair<int, int> found{-1, -1};
  std::string face = "Arial";
  int size = 3;
};

struct SearchArgs {
  std::string book;
  std::string term;
  bool wholeWord = false;
  bool subjectsOnly = false;
  bool first = false;
  int threads = 0;       // 0: not given, one a core
  int excludeCount = 0;  // the order of the flags is what counts; see BuildQuery
  CLI::Option* andOption = nullptr;
  CLI::Option* excludeOption = nullptr;
};

void RunRender(const RenderArgs& args) {
  ql::BookReader reader;
  if (!OpenBook(reader, args.book, ql::kOpenReadOnly)) return;
  if (!CheckIndex(reader, args.index)) return;
  const ql::RenderOptions options{args.face, args.size};
  ql::FileSink sink(stdout);
  reader.RenderRecord(sink, options, static_cast<int>(args.index), args.found.first,
                      args.found.second);
  if (sink.Failed())
    Fail(sink.Error() != 0 ? std::string("cannot write the page: ") + std::strerror(sink.Error())
                           : std::string("cannot write the page"));
}

// Builds the query from the options in the order they were given: each
// --exclude applies to the --and term just before it.
bool BuildQuery(const CLI::App& command, const SearchArgs& args, ql::SearchQuery& query) {
  if (args.term.empty()) {
    UsageError("the search term is empty");
    return false;
  }
  // The terms are folded as the book folds its text, once it is open.
  query.term1 = args.term;
  query.wholeWord = args.wholeWord;
  query.mode = args.subjectsOnly ? ql::SearchSubjects : ql::SearchSubjectsAndText;

  const std::vector<std::string>& andTerms = args.andOption->results();
  std::vector<std::pair<std::string, bool>> extra;  // term, excluded
  size_t nextAnd = 0;
  for (const CLI::Option* option : command.parse_order()) {
    if (option == args.andOption) {
      if (nextAnd >= andTerms.size()) break;
      const std::string& term = andTerms[nextAnd++];
      if (term.empty()) {
        UsageError("an --and term is empty");
        return false;
      }
      if (extra.size() == kMaxExtraTerms) {
        UsageError("at most two --and terms may join the search term");
        return false;
      }
      extra.emplace_back(term, false);
    } else if (option == args.excludeOption) {
      if (extra.empty() || extra.back().second) {
        UsageError("--exclude must follow an --and TERM it applies to");
        return false;
      }
      extra.back().second = true;
    }
  }
  if (!extra.empty()) {
    query.term2 = extra[0].first;
    query.exclude2 = extra[0].second;
  }
  if (extra.size() > 1) {
    query.term3 = extra[1].first;
    query.exclude3 = extra[1].second;
  }
  return true;
}

// One output line a hit: INDEX TAB POS TAB SUBJECT.
bool WriteHit(std::string& line, int record, int pos, std::string_view subject) {
  line.assign(std::to_string(record));
  line += '\t';
  line += std::to_string(pos);
  line += '\t';
  line += subject;
  line += '\n';
  if (WriteOut(line)) return true;
  FailOutput();
  return false;
}

// After the hits: the records that could not be read whole are named and
// the search fails, as an export that could not carry every record does.
void TellDamaged(ql::BookReader& reader, const std::string& book, const std::vector<int>& damaged) {
  if (damaged.empty()) return;
  std::vector<std::string> names;
  for (size_t k = 0; k < damaged.size() && k < ql::TabTextReport::kReportNames; ++k)
    names.push_back(ql::RecordName(reader.GetSubject(damaged[k]), damaged[k]));
  Fail(book + ": " + CountAndNames(static_cast<int>(damaged.size()), names, "record", "records") +
       " (damaged; searched as far as they could be read)");
}

// The walk on one thread, as the window's Find and Find Next do it.
void SearchPlainly(ql::BookReader& reader, const std::string& book, const ql::SearchQuery& query,
                   bool first) {
  int record = 0;
  int pos = -1;
  int hits = 0;
  std::string line;
  while (record < reader.GetSubjectCount() &&
         reader.FindMatch(query, record, pos) == ql::kSearchHit) {
    ++hits;
    if (!WriteHit(line, record, pos, reader.GetSubject(record))) return;
    if (first) break;
    // Go on as Find Next does: in subject mode with the next subject; in
    // text mode after a text hit at p from p + 1 in the same record, and
    // after a subject hit (pos -1) in that record's text from its start.
    if (query.mode == ql::SearchSubjects) {
      ++record;
      pos = -1;
    } else {
      ++pos;
    }
  }
  ExitStatus() = hits > 0 ? kExitOk : kExitFailure;
  TellDamaged(reader, book, reader.TakeDamagedRecords());
}

// The same hits in the same order from threads threads. Where the book
// cannot be searched that way (no descriptor for a view), the plain walk.
void SearchInParallel(ql::BookReader& reader, const std::string& book, const ql::SearchQuery& query,
                      bool first, int threads) {
  std::string line;
  if (first) {
    // Only the first hit is wanted: the ranges after it are dropped.
    ql::ParallelSearch search;
    if (search.Start(reader, query, 0, -1, threads) == ql::OpenResult::kOk) {
      const ql::SearchOutcome hit = search.Wait();
      if (hit.result == ql::kSearchHit &&
          !WriteHit(line, hit.record, hit.pos, reader.GetSubject(hit.record)))
        return;
      ExitStatus() = hit.result == ql::kSearchHit ? kExitOk : kExitFailure;
      TellDamaged(reader, book, search.DamagedRecords());
      return;
    }
  } else {
    bool written = true;
    std::vector<int> damaged;
    const int64_t hits = ql::ForEachHit(
        reader, query, threads,
        [&](const ql::SearchHit& hit) {
          written = WriteHit(line, hit.record, hit.pos, hit.subject);
          return written;
        },
        &damaged);
    if (!written) return;
    if (hits >= 0) {
      ExitStatus() = hits > 0 ? kExitOk : kExitFailure;
      TellDamaged(reader, book, damaged);
      return;
    }
  }
  SearchPlainly(reader, book, query, first);
}

void RunSearch(const CLI::App& command, const SearchArgs& args) {
  if (command.count("--threads") > 0 && args.threads < 1) {
    UsageError("--threads must be at least 1");
    return;
  }
  ql::SearchQuery query;
  if (!BuildQuery(command, args, query)) return;
  ql::BookReader reader;
  if (!OpenBook(reader, args.book, ql::kOpenReadOnly)) return;
  for (std::string* term : {&query.term1, &query.term2, &query.term3})
    *term = reader.FoldTerm(*term);
  const int threads = args.threads > 0 ? args.threads : ql::DefaultSearchThreads();
  if (threads == 1)
    SearchPlainly(reader, args.book, query, args.first);
  else
    SearchInParallel(reader, args.book, query, args.first, threads);
}

}  // namespace

void AddRenderSearchCommands(CLI::App& app) {
  auto render = std::make_shared<RenderArgs>();
  CLI::App* renderCommand =
      app.add_subcommand("render", "Write the page of one record, byte for byte, to stdout");
  renderCommand->add_option("BOOK", render->book, "The book (.ql)")
      ->required()
      ->transform(StdinFile());
  renderCommand->add_option("INDEX", render->index, "Record index, from 0")->required();
  renderCommand->add_option("--found", render->found, "Mark the search hit of LEN bytes at POS")
      ->type_name("POS LEN");
  renderCommand->add_option("--face", render->face, "Font face (default Arial)");
  renderCommand->add_option("--size", render->size, "HTML font size (default 3)");
  renderCommand->callback([render] { RunRender(*render); });

  auto search = std::make_shared<SearchArgs>();
  CLI::App* searchCommand = app.add_subcommand(
      "search", "Find every record that matches, as Find and Find Next do; one line a hit");
  searchCommand->add_option("BOOK", search->book, "The book (.ql)")
      ->required()
      ->transform(StdinFile());
  searchCommand->add_option("TERM", search->term, "The term that gives the hit")->required();
  search->andOption = searchCommand
                          ->add_option("--and",
                                       "A further term the record must hold (at most "
                                       "two); --exclude after it: must not hold")
                          ->type_name("TERM")
                          ->expected(1)
                          ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
  search->excludeOption =
      searchCommand
          ->add_flag("--exclude", search->excludeCount, "The --and term just before must not occur")
          ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
  searchCommand->add_flag("--whole-word", search->wholeWord, "Match whole words only");
  searchCommand->add_flag("--subjects-only", search->subjectsOnly, "Search the subjects only");
  searchCommand->add_flag("--first", search->first, "Stop after the first hit");
  searchCommand
      ->add_option("--threads", search->threads,
                   "Search on N threads at once (default: one a core); the hits and their "
                   "order are the same for every N, and 1 walks the book on one thread")
      ->type_name("N");
  searchCommand->callback([search, searchCommand] { RunSearch(*searchCommand, *search); });
}

}  // namespace qlcli
