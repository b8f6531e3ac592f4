// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
#include "shelf_page.h"

#include <algorithm>
#include <mutex>
#include <set>

#include "user_texts.h"

namespace ql {

void ShelfAnswers::Start(uint64_t generation) {
  iGeneration = generation;
  iDone = false;
  iSections.clear();
}

bool ShelfAnswers::Add(uint64_t generation, LookupSection section) {
  if (generation != iGeneration) return false;
  auto at = std::upper_bound(iSections.begin(), iSections.end(), section.book,
                             [](int book, const LookupSection& s) { return book < s.book; });
  iSections.insert(at, std::move(section));
  return true;
}

bool ShelfAnswers::Finish(uint64_t generation) {
  if (generation != iGeneration) return false;
  iDone = true;
  return true;
}

int ShelfAnswers::FoundCount() const {
  return static_cast<int>(std::count_if(iSections.begin(), iSections.end(),
                                        [](const LookupSection& s) { return !s.failed; }));
}

std::vector<std::string> ShelfAnswers::FoundInRows() const {
  std::vector<std::string> rows;
  for (const LookupSection& s : iSections)
    rows.push_back(s.failed ? s.title + " (" + s.reason + ")" : s.title);
  return rows;
}

std::string FoundNote(const ShelfAnswers& answers) {
  const int found = answers.FoundCount();
  const int failed = static_cast<int>(answers.Sections().size()) - found;
  const auto books = [](int n) {
    return n == 1 ? translate("core", "1 book")
                  : Fill(translate("core", "%1 books"), {std::to_string(n)});
  };
  if (found == 0 && failed == 0) return answers.Done() ? translate("core", "Found in no book") : "";
  std::string note = found > 0 ? Fill(translate("core", "Found in %1"), {books(found)})
                               : translate("core", "Found in no book");
  if (failed > 0) note += Fill(translate("core", "; %1 could not be asked"), {books(failed)});
  return note;
}

std::string NoneFoundLead(const ShelfAnswers& answers, std::string_view text, TextForm form) {
  if (!answers.Done() || answers.FoundCount() > 0) return {};
  // Typographic quotes, as the page's text holds them.
  const bool utf8 = form == TextForm::kUtf8;
  const std::string quoted =
      (utf8 ? "\u201c" : "\x93") + std::string(text) + (utf8 ? "\u201d" : "\x94");
  // The catalogue's text is UTF-8; the page's may be another form.
  return Fill(ConvertText(translate("core", "%1 is in none of the books that answered."),
                          TextForm::kUtf8, form),
              {quoted});
}

int64_t RepaintPacer::Changed(int64_t nowMs) {
  if (iPending) return -1;
  if (!iPainted || nowMs - iLastPaint >= iGap) return 0;
  iPending = true;
  return iGap - (nowMs - iLastPaint);
}

void RepaintPacer::Painted(int64_t nowMs, int64_t tookMs) {
  iPainted = true;
  iPending = false;
  iLastPaint = nowMs;
  iGap = std::max(iInterval, kSlowPaintFactor * std::max<int64_t>(tookMs, 0));
}

std::vector<ShelfSuggestion> MergeSuggestions(const std::vector<std::vector<Suggestion>>& perBook,
                                              const std::vector<TextForm>& forms) {
  std::vector<ShelfSuggestion> all;
  for (size_t b = 0; b < perBook.size(); ++b) {
    const TextForm form = b < forms.size() ? forms[b] : TextForm::kCp1252;
    for (size_t i = 0; i < perBook[b].size() && i < kMaxSuggestions; ++i)
      all.push_back({static_cast<int>(b), perBook[b][i], TextToUtf8(perBook[b][i].subject, form)});
  }
  // Stable: within one distance, library order and then each book's order.
  std::stable_sort(all.begin(), all.end(), [](const auto& a, const auto& b) {
    return a.suggestion.distance < b.suggestion.distance;
  });
  std::vector<ShelfSuggestion> merged;
  std::set<std::string> seen;
  for (auto& s : all) {
    if (merged.size() == kMaxSuggestions) break;
    std::string folded = s.text;
    for (char& c : folded) c = FoldAscii(c);
    if (!seen.insert(std::move(folded)).second) continue;
    merged.push_back(std::move(s));
  }
  return merged;
}

std::vector<Suggestion> NearestSubjects(BookReader& reader, std::string_view text,
                                        const std::atomic<bool>& stop) {
  std::vector<Suggestion> best;
  if (text.empty() || text.size() > kMaxSpellingText) return best;
  SpellingMatcher matcher(text, reader.IsUnicode());
  int bound = kMaxSpellingDistance;
  const int count = reader.GetSubjectCount();
  for (int i = 0; i < count && !stop.load(std::memory_order_relaxed); ++i) {
    const std::string subject = reader.GetSubject(i);
    const int d = matcher.Distance(subject, bound);
    if (d > bound) continue;
    // Ties keep book order: a later subject goes after the equal ones.
    auto at = std::upper_bound(best.begin(), best.end(), d,
                               [](int dist, const Suggestion& s) { return dist < s.distance; });
    best.insert(at, {i, subject, d});
    if (best.size() > kMaxSuggestions) best.pop_back();
    // A full list takes only subjects nearer than its last.
    if (best.size() == kMaxSuggestions) {
      if (best.back().distance == 0) break;
      bound = best.back().distance - 1;
    }
  }
  return best;
}

struct ShelfSpelling::Run {
  std::atomic<bool> stop{false};
  std::mutex mutex;
  std::vector<std::vector<Suggestion>> perBook;
  std::vector<TextForm> forms;
  size_t remaining = 0;
  uint64_t serial = 0;
  Done done;
};

ShelfSpelling::~ShelfSpelling() {
  Cancel();
}

uint64_t ShelfSpelling::Start(std::string text, Done done) {
  const uint64_t serial = iRun ? iRun->serial + 1 : 1;
  Cancel();
  auto run = std::make_shared<Run>();
  run->serial = serial;
  run->done = std::move(done);
  const size_t n = iShelf.Books().size();
  run->perBook.resize(n);
  run->forms.resize(n, TextForm::kCp1252);
  run->remaining = n;
  iRun = run;
  if (n == 0) {
    run->done(serial, {});
    return serial;
  }
  for (size_t b = 0; b < n; ++b)
    iShelf.Post(static_cast<int>(b), [run, b, text](BookReader* reader) {
      std::vector<Suggestion> found;
      const TextForm form = reader ? FormOf(*reader) : TextForm::kCp1252;
      if (reader && !run->stop.load())
        if (const std::optional<std::string> own = TextFromUtf8(text, form))
          found = NearestSubjects(*reader, *own, run->stop);
      std::lock_guard lock(run->mutex);
      run->perBook[b] = std::move(found);
      run->forms[b] = form;
      if (--run->remaining == 0 && !run->stop.load())
        run->done(run->serial, MergeSuggestions(run->perBook, run->forms));
    });
  return serial;
}

void ShelfSpelling::Cancel() {
  if (!iRun) return;
  iRun->stop = true;
  // A done callback running now finishes under the run's lock; none starts
  // after this.
  std::lock_guard lock(iRun->mutex);
}

}  // namespace ql
