// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
#include "fts_search.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <iterator>
#include <optional>

#include "book_reader.h"
#include "index_build.h"
#include "index_store.h"
#include "plain_text.h"
#include "unicode_text.h"
#include "user_texts.h"
#include "word_index.h"

namespace ql::fts {

std::string IndexText(BookReader& book, std::string_view stored);
std::string IndexSubject(BookReader& book, std::string_view subject);

namespace {

// A word of the subject counts as this many in the text.
constexpr double kSubjectWeight = 4;
// What a subject that is the query itself adds: it comes first.
constexpr double kExactSubject = 1000;
// The most words a prefix stands for.
constexpr size_t kPrefixTerms = 200000;
// The most hits the walk gathers in one book before it stops.
constexpr size_t kWalkHitLimit = 100000;

void AddUnique(std::vector<std::string>& to, std::string word) {
  if (std::find(to.begin(), to.end(), word) == to.end()) to.push_back(std::move(word));
}

std::vector<std::string> FoldedWords(std::string_view text) {
  std::vector<std::string> out;
  const std::string folded = FoldUtf8(text);
  for (std::string_view w : SplitWords(folded)) out.emplace_back(w);
  return out;
}

// Every word the query asks for, each once: its words, its phrases' words.
std::vector<std::string> RequiredWords(const FtsQuery& q) {
  std::vector<std::string> out;
  for (const auto& w : q.words) AddUnique(out, w);
  for (const auto& p : q.phrases)
    for (const auto& w : p) AddUnique(out, w);
  return out;
}

bool HasRun(const std::vector<std::string_view>& words, const std::vector<std::string>& phrase) {
  if (phrase.empty() || words.size() < phrase.size()) return false;
  for (size_t i = 0; i + phrase.size() <= words.size(); ++i) {
    size_t k = 0;
    while (k < phrase.size() && words[i + k] == phrase[k]) ++k;
    if (k == phrase.size()) return true;
  }
  return false;
}

// A record's words as the index has them, for the checks an index cannot
// make (phrases) and for the walk.
struct RecordWords {
  std::string subjectText, text;
  std::vector<std::string_view> subject, body;
  bool Has(std::string_view w, bool& inSubject) const {
    inSubject = std::find(subject.begin(), subject.end(), w) != subject.end();
    return inSubject || std::find(body.begin(), body.end(), w) != body.end();
  }
  bool HasPrefix(std::string_view p, bool& inSubject) const {
    auto starts = [&](std::string_view w) { return w.starts_with(p); };
    inSubject = std::any_of(subject.begin(), subject.end(), starts);
    return inSubject || std::any_of(body.begin(), body.end(), starts);
  }
  bool HasPhrase(const std::vector<std::string>& phrase) const {
    return HasRun(subject, phrase) || HasRun(body, phrase);
  }
};

bool ReadWords(BookReader& book, int record, RecordWords& out) {
  out.subjectText = IndexSubject(book, book.GetSubject(record));
  const bool read = book.LoadRecord(record) == 1;
  out.text = read ? IndexText(book, book.CurrentRecordText()) : std::string();
  out.subject = SplitWords(out.subjectText);
  out.body = SplitWords(out.text);
  return read;
}

// Whether the phrases hold in the record and the phrases to leave out do not.
bool PhrasesHold(const FtsQuery& q, const RecordWords& words) {
  for (const auto& p : q.phrases)
    if (!words.HasPhrase(p)) return false;
  for (const auto& p : q.excludedPhrases)
    if (words.HasPhrase(p)) return false;
  return true;
}

// BM25 over the query's items, a hit in the subject counted kSubjectWeight
// more times, a subject that is the query first.
double Score(const std::vector<double>& idf, const std::vector<bool>& inSubject, double words,
             double average, bool exact) {
  constexpr double k1 = 1.2, b = 0.75;
  const double norm = 1 - b + b * words / std::max(average, 1.0);
  double score = exact ? kExactSubject : 0;
  for (size_t k = 0; k < idf.size(); ++k) {
    const double tf = 1 + (inSubject[k] ? kSubjectWeight : 0);
    score += idf[k] * tf * (k1 + 1) / (tf + k1 * norm);
  }
  return score;
}

bool Holds(const std::vector<uint32_t>& sorted, uint32_t v) {
  return std::binary_search(sorted.begin(), sorted.end(), v);
}

struct Scored {
  double score;
  uint32_t record;
};

void Rank(std::vector<Scored>& hits) {
  std::sort(hits.begin(), hits.end(), [](const Scored& a, const Scored& b) {
    return a.score != b.score ? a.score > b.score : a.record < b.record;
  });
}

// The hits of an indexed book, ranked, before the phrases are checked.
std::vector<Scored> IndexHits(const WordIndex& index, const FtsQuery& q) {
  std::vector<WordIndex::Postings> items;
  for (const auto& w : RequiredWords(q)) items.push_back(index.Find(w));
  for (const auto& p : q.prefixes) {
    bool truncated = false;
    items.push_back(index.FindPrefix(p, kPrefixTerms, truncated));
  }
  if (items.empty()) return {};
  for (const auto& item : items)
    if (item.texts.empty() && item.subjects.empty()) return {};
  // The texts that hold every item, then their records; and the records
  // with an item in the subject that hold the others in one or the other.
  std::vector<uint32_t> texts = items[0].texts, both;
  for (size_t k = 1; k < items.size(); ++k) {
    both.clear();
    std::set_intersection(texts.begin(), texts.end(), items[k].texts.begin(), items[k].texts.end(),
                          std::back_inserter(both));
    texts.swap(both);
  }
  std::vector<uint32_t> records;
  for (uint32_t t : texts) index.RecordsOf(t, records);
  for (const auto& item : items)
    for (uint32_t r : item.subjects)
      if (std::all_of(items.begin(), items.end(), [&](const WordIndex::Postings& other) {
            return Holds(other.subjects, r) || Holds(other.texts, index.TextOf(r));
          }))
        records.push_back(r);
  std::sort(records.begin(), records.end());
  records.erase(std::unique(records.begin(), records.end()), records.end());
  for (const auto& w : q.excluded) {
    const WordIndex::Postings out = index.Find(w);
    std::erase_if(records, [&](uint32_t r) {
      return Holds(out.subjects, r) || Holds(out.texts, index.TextOf(r));
    });
  }
  const double n = index.Records();
  std::vector<double> idf;
  for (const auto& item : items) {
    const double count = static_cast<double>(item.texts.size() + item.subjects.size());
    idf.push_back(std::log(1 + (n - count + 0.5) / (count + 0.5)));
  }
  std::vector<Scored> out;
  out.reserve(records.size());
  std::vector<bool> inSubject(items.size());
  for (uint32_t r : records) {
    bool all = true;
    for (size_t k = 0; k < items.size(); ++k) {
      inSubject[k] = Holds(items[k].subjects, r);
      all = all && inSubject[k];
    }
    const bool exact = all && index.SubjectWordsOf(r) == items.size();
    out.push_back({Score(idf, inSubject, index.WordsOf(r), index.AverageWords(), exact), r});
  }
  Rank(out);
  return out;
}

class CancelWatch : public SearchWatch {
 public:
  explicit CancelWatch(const std::atomic<bool>* cancel) : iCancel(cancel) {}
  bool Continue(int) override { return !(iCancel && iCancel->load(std::memory_order_relaxed)); }

 private:
  const std::atomic<bool>* iCancel;
};

// The hits of a book without an index: Find leads to the records holding
// the longest word (or prefix), which are then checked whole.
std::vector<Scored> WalkHits(BookReader& book, const FtsQuery& q, const std::atomic<bool>* cancel,
                             bool& cancelled) {
  cancelled = false;
  const std::vector<std::string> required = RequiredWords(q);
  std::string lead;
  bool whole = true;
  for (const auto& w : required)
    if (w.size() > lead.size()) lead = w;
  if (lead.empty())
    for (const auto& p : q.prefixes)
      if (p.size() > lead.size()) lead = p, whole = false;
  if (lead.empty()) return {};
  std::string term = lead;
  if (!book.IsUnicode()) {
    const std::optional<std::string> bytes = Utf8ToCp1252(lead);
    if (!bytes) return {};  // a character the book cannot hold
    term = *bytes;
  }
  term = book.FoldTerm(term);
  CancelWatch watch(cancel);
  std::vector<Scored> out;
  RecordWords words;
  const std::vector<double> idf(required.size() + q.prefixes.size(), 1.0);
  std::vector<bool> inSubject(idf.size());
  double totalWords = 0;
  std::vector<double> lengths;
  std::vector<std::vector<bool>> inSubjects;
  std::vector<bool> exacts;
  int record = 0, pos = -1;
  const int end = book.GetSubjectCount();
  while (record < end && out.size() < kWalkHitLimit) {
    const int r =
        book.SearchUpTo(SearchSubjectsAndText, term, record, pos, whole, false, end, &watch);
    if (r == kSearchCancelled) {
      cancelled = true;
      break;
    }
    if (r != kSearchHit) break;
    ReadWords(book, record, words);
    bool all = true, allInSubject = true;
    size_t k = 0;
    for (const auto& w : required) {
      bool s = false;
      all = all && words.Has(w, s);
      inSubject[k++] = s;
      allInSubject = allInSubject && s;
    }
    for (const auto& p : q.prefixes) {
      bool s = false;
      all = all && words.HasPrefix(p, s);
      inSubject[k++] = s;
      allInSubject = allInSubject && s;
    }
    for (const auto& w : q.excluded) {
      bool s = false;
      all = all && !words.Has(w, s);
    }
    if (all && PhrasesHold(q, words)) {
      const double length = static_cast<double>(words.subject.size() + words.body.size());
      const bool exact = allInSubject && words.subject.size() == idf.size();
      // The score needs the mean length of the hits: it is had at the end.
      out.push_back({0, static_cast<uint32_t>(record)});
      lengths.push_back(length);
      inSubjects.push_back(inSubject);
      exacts.push_back(exact);
      totalWords += length;
    }
    ++record;
    pos = -1;
  }
  const double average = lengths.empty() ? 1 : totalWords / static_cast<double>(lengths.size());
  for (size_t i = 0; i < out.size(); ++i)
    out[i].score = Score(idf, inSubjects[i], lengths[i], average, exacts[i]);
  Rank(out);
  return out;
}

// Text on one line: every run of spaces, line ends and no-break spaces one space.
std::string Flatten(std::string_view text) {
  std::string out;
  for (size_t p = 0; p < text.size(); ++p) {
    const bool nbsp = text.substr(p, 2) == "\xC2\xA0";
    if (nbsp || text[p] == ' ' || text[p] == '\n' || text[p] == '\t' || text[p] == '\r') {
      if (!out.empty() && out.back() != ' ') out += ' ';
      p += nbsp;
    } else {
      out += text[p];
    }
  }
  while (!out.empty() && out.back() == ' ') out.pop_back();
  return out;
}

// Whether a word character stands right before at.
bool WordBefore(std::string_view text, size_t at) {
  if (at == 0) return false;
  size_t back = at - 1;
  while (back > 0 && at - back < 4 && (static_cast<uint8_t>(text[back]) & 0xC0) == 0x80) --back;
  char32_t cp = 0;
  return DecodeUtf8(text, back, cp) == at - back && IsWordCodePoint(cp);
}

// The snippet of a record: its text around the first query word, with
// every query word in it marked.
// The finders of a query's words, made once for all its snippets (making
// one costs more than a snippet's search with it).
struct QueryFinders {
  explicit QueryFinders(const FtsQuery& q) : required(RequiredWords(q)) {
    for (const auto& w : required) words.emplace_back(w);
    for (const auto& p : q.prefixes) prefixes.emplace_back(p);
    for (const auto& phrase : q.phrases) {
      std::string joined;
      for (const auto& w : phrase) joined += (joined.empty() ? "" : " ") + w;
      phrases.emplace_back(joined);
    }
  }
  std::vector<std::string> required;
  std::vector<Utf8FoldedFinder> words, prefixes, phrases;
};

void MakeSnippet(BookReader& book, int record, const FtsQuery& q, const QueryFinders& finders,
                 FtsHit& hit) {
  constexpr size_t kBefore = 40, kAfter = 110;
  std::string plain;
  if (book.LoadRecord(record) == 1) plain = RecordPlainText(book.CurrentRecordText());
  if (!book.IsUnicode()) plain = Cp1252ToUtf8(plain);
  const std::string text = Flatten(plain);
  struct Found {
    size_t offset, length;
    const std::string* word;
  };
  std::vector<Found> found;
  auto look = [&](const Utf8FoldedFinder& finder, const std::string& word, bool prefix) {
    Utf8FoldedFinder::Scan scan(finder, text, 0);
    while (auto h = scan.Next()) {
      size_t length = h->length;
      if (prefix) {
        // A prefix marks the whole word it starts.
        if (WordBefore(text, h->offset)) continue;
        size_t end = h->offset + length;
        char32_t cp = 0;
        size_t n = 0;
        while (end < text.size() && (n = DecodeUtf8(text, end, cp)) > 0 && IsWordCodePoint(cp))
          end += n;
        length = end - h->offset;
      } else if (!IsWholeWordUtf8(text, h->offset, length)) {
        continue;
      }
      found.push_back({h->offset, length, &word});
    }
  };
  const std::vector<std::string>& required = finders.required;
  for (size_t k = 0; k < required.size(); ++k) look(finders.words[k], required[k], false);
  for (size_t k = 0; k < q.prefixes.size(); ++k) look(finders.prefixes[k], q.prefixes[k], true);
  std::sort(found.begin(), found.end(), [](const Found& a, const Found& b) {
    return a.offset != b.offset ? a.offset < b.offset : a.length > b.length;
  });
  size_t first = found.empty() ? 0 : found[0].offset;
  // A phrase's words may stand alone before it: the snippet shows the phrase.
  for (const Utf8FoldedFinder& finder : finders.phrases) {
    Utf8FoldedFinder::Scan scan(finder, text, 0);
    while (auto h = scan.Next())
      if (IsWholeWordUtf8(text, h->offset, h->length)) {
        first = h->offset;
        break;
      }
    if (first != (found.empty() ? 0 : found[0].offset)) break;
  }
  hit.firstWord =
      found.empty() ? (required.empty() ? q.prefixes.front() : required.front()) : *found[0].word;
  size_t from = first > kBefore ? first - kBefore : 0;
  size_t to = std::min(text.size(), first + kAfter);
  while (from > 0 && (static_cast<uint8_t>(text[from]) & 0xC0) == 0x80) --from;
  while (to < text.size() && (static_cast<uint8_t>(text[to]) & 0xC0) == 0x80) ++to;
  // Cut at a space where one is near, so no word is cut in two.
  if (from > 0) {
    const size_t space = text.find(' ', from);
    if (space != std::string::npos && space < first) from = space + 1;
  }
  if (to < text.size()) {
    const size_t space = text.rfind(' ', to);
    if (space != std::string::npos && space > first && space > from) to = space;
  }
  hit.snippet.clear();
  hit.marks.clear();
  if (from > 0) hit.snippet = "\xE2\x80\xA6";  // …
  const size_t shift = hit.snippet.size();
  hit.snippet.append(text, from, to - from);
  size_t done = from;
  for (const Found& f : found) {
    if (f.offset < done || f.offset + f.length > to) continue;
    hit.marks.push_back({f.offset - from + shift, f.length});
    done = f.offset + f.length;
  }
  if (to < text.size()) hit.snippet += "\xE2\x80\xA6";
}

}  // namespace

bool ParseFtsQuery(std::string_view text, FtsQuery& out, std::string& reason) {
  out = {};
  size_t p = 0;
  auto space = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; };
  while (p < text.size()) {
    if (space(text[p])) {
      ++p;
      continue;
    }
    bool exclude = false;
    if (text[p] == '-' && p + 1 < text.size() && !space(text[p + 1])) {
      exclude = true;
      ++p;
    }
    bool prefix = false;
    std::string_view token;
    if (text[p] == '"') {
      const size_t close = text.find('"', p + 1);
      const size_t end = close == std::string_view::npos ? text.size() : close;
      token = text.substr(p + 1, end - p - 1);
      p = close == std::string_view::npos ? text.size() : close + 1;
    } else {
      size_t end = p;
      while (end < text.size() && !space(text[end])) ++end;
      token = text.substr(p, end - p);
      p = end;
      if (token.ends_with('*')) {
        prefix = true;
        while (token.ends_with('*')) token.remove_suffix(1);
      }
    }
    std::vector<std::string> words = FoldedWords(token);
    if (words.empty()) continue;
    if (prefix && words.size() == 1 && !exclude) {
      AddUnique(out.prefixes, words[0]);
    } else if (words.size() == 1) {
      AddUnique(exclude ? out.excluded : out.words, words[0]);
    } else {
      (exclude ? out.excludedPhrases : out.phrases).push_back(std::move(words));
    }
  }
  if (out.Empty()) {
    reason = out.excluded.empty() && out.excludedPhrases.empty()
                 ? translate("messages", "The search holds no word to look for.")
                 : translate("messages",
                             "A search of words to leave out alone finds nothing: add a word to "
                             "look for.");
    return false;
  }
  return true;
}

std::string BracketMarks(const FtsHit& hit) {
  std::string out;
  size_t p = 0;
  for (const Mark& m : hit.marks) {
    if (m.offset < p || m.offset + m.length > hit.snippet.size()) continue;
    out.append(hit.snippet, p, m.offset - p);
    out += '[';
    out.append(hit.snippet, m.offset, m.length);
    out += ']';
    p = m.offset + m.length;
  }
  out.append(hit.snippet, p);
  return out;
}

namespace {

// SearchBook, with the index's hits when they are had already.
BookAnswer Answer(BookReader& book, const WordIndex* index, const FtsQuery& query, size_t limit,
                  const std::atomic<bool>* cancel, std::vector<Scored>* found) {
  BookAnswer answer;
  answer.indexed = index != nullptr;
  if (query.Empty() || !book.IsOpen()) return answer;
  bool cancelled = false;
  std::vector<Scored> hits = found   ? std::move(*found)
                             : index ? IndexHits(*index, query)
                                     : WalkHits(book, query, cancel, cancelled);
  if (cancelled) answer.reason = "cancelled";
  // Of the subjects made of the query's words, those in the query's order
  // come first ("red wine" before "wine-red").
  {
    const std::vector<std::string> required = RequiredWords(query);
    bool moved = false;
    for (size_t i = 0; i < hits.size() && i < 1000 && hits[i].score >= kExactSubject; ++i) {
      const std::string subject =
          IndexSubject(book, book.GetSubject(static_cast<int>(hits[i].record)));
      const std::vector<std::string_view> words = SplitWords(subject);
      if (std::equal(words.begin(), words.end(), required.begin(), required.end())) {
        hits[i].score += kExactSubject / 2;
        moved = true;
      }
    }
    if (moved) Rank(hits);
  }
  // An index cannot tell a phrase: each hit it gives is read and checked, in
  // rank order, until the page of hits is full.
  const bool check = index && (!query.phrases.empty() || !query.excludedPhrases.empty());
  RecordWords words;
  std::optional<QueryFinders> finders;
  size_t unchecked = hits.size();
  for (const Scored& s : hits) {
    if (answer.hits.size() >= limit) break;
    if (cancel && cancel->load(std::memory_order_relaxed)) break;
    --unchecked;
    const int record = static_cast<int>(s.record);
    if (check) {
      ReadWords(book, record, words);
      if (!PhrasesHold(query, words)) continue;
    }
    FtsHit hit;
    hit.record = record;
    hit.score = s.score;
    hit.subject = book.GetSubject(record);
    if (!book.IsUnicode()) hit.subject = Cp1252ToUtf8(hit.subject);
    if (!finders) finders.emplace(query);
    MakeSnippet(book, record, query, *finders, hit);
    answer.hits.push_back(std::move(hit));
  }
  answer.total = answer.hits.size() + unchecked;
  return answer;
}

}  // namespace

BookAnswer SearchBook(BookReader& book, const WordIndex* index, const FtsQuery& query, size_t limit,
                      const std::atomic<bool>* cancel) {
  return Answer(book, index, query, limit, cancel, nullptr);
}

std::unique_ptr<WordIndex> OpenIndexFor(const std::string& path, bool readBook) {
  // A book the stamps do not know (never indexed, or its file changed, as
  // a bookmark set changes it) is read whole for its key only when asked.
  std::string reason;
  std::error_code ec;
  std::string key = StampedContentKey(path);
  if (key.empty() && readBook && std::filesystem::is_directory(IndexFolder(), ec))
    key = BookContentKey(path, reason);
  uint64_t number = 0;
  if (key.empty() || !ParseKey(key, number)) return nullptr;
  const std::string file = IndexPathForKey(IndexFolder(), key);
  if (!std::filesystem::exists(file, ec)) return nullptr;
  std::unique_ptr<WordIndex> index = WordIndex::Open(file, number, reason, false);
  // A damaged index goes, so it is built again.
  if (!index) std::filesystem::remove(file, ec);
  return index;
}

bool SubjectMayBeIn(const std::string& bookPath, std::string_view key) {
  const std::unique_ptr<WordIndex> index = OpenIndexFor(bookPath);
  return !index || SubjectMayBeIn(*index, key);
}

bool SubjectMayBeIn(const WordIndex& index, std::string_view key) {
  const std::vector<std::string> words = FoldedWords(key);
  if (words.empty()) return true;
  for (const auto& w : words)
    if (w.size() > kLongestWord) return true;
  // The records holding every word of the key in their subject.
  std::vector<uint32_t> records = index.Find(words[0]).subjects, both;
  for (size_t k = 1; k < words.size() && !records.empty(); ++k) {
    const std::vector<uint32_t> next = index.Find(words[k]).subjects;
    both.clear();
    std::set_intersection(records.begin(), records.end(), next.begin(), next.end(),
                          std::back_inserter(both));
    records.swap(both);
  }
  return !records.empty();
}

namespace {

// The order an index keeps, read from its mapping as a lookup needs it.
class IndexOrder : public BookReader::SubjectOrder {
 public:
  explicit IndexOrder(std::unique_ptr<WordIndex> index) : iIndex(std::move(index)) {}
  size_t Size() const override { return iIndex->OrderEntries(); }
  uint32_t At(size_t i) const override { return iIndex->OrderAt(i); }

 private:
  std::unique_ptr<WordIndex> iIndex;
};

}  // namespace

bool AttachSubjectOrder(BookReader& book, const std::string& path) {
  if (!book.IsOpen() || (book.IsVersion2() && book.GetSorted() != 0)) return false;
  // Never the whole book read here: a book the index folder does not know
  // yet is walked until it is indexed.
  std::unique_ptr<WordIndex> index = OpenIndexFor(path);
  if (!index || index->OrderEntries() == 0) return false;
  book.SetSubjectOrder(std::make_shared<IndexOrder>(std::move(index)));
  return book.HasSubjectOrder();
}

BookAnswer SearchBookFile(const std::string& path, const FtsQuery& query, size_t limit,
                          const std::atomic<bool>* cancel) {
  BookAnswer answer;
  const std::unique_ptr<WordIndex> index = OpenIndexFor(path, true);
  // A book whose index holds no hit is not opened at all.
  std::vector<Scored> hits;
  if (index) {
    answer.indexed = true;
    hits = IndexHits(*index, query);
    if (hits.empty() || query.Empty()) return answer;
  }
  BookReader book;
  if (book.Open(path, kOpenReadOnly) != OpenResult::kOk) {
    answer.reason = translate("messages", "The book does not open.");
    return answer;
  }
  return Answer(book, index.get(), query, limit, cancel, index ? &hits : nullptr);
}

}  // namespace ql::fts
