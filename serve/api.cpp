// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
#include "api.h"

#include <sys/stat.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <optional>
#include <set>

#include "book_reader.h"
#include "book_text.h"
#include "fts_search.h"
#include "index_store.h"
#include "library.h"
#include "links.h"
#include "page_assets.h"
#include "plain_text.h"
#include "record_markup.h"
#include "shelf.h"

namespace ql::serve {

namespace {

constexpr std::string_view kJson = "application/json";
// The most subjects one book gives a suggestion from.
constexpr int kSuggestWalk = static_cast<int>(kSuggestLimit) * 4;

const std::string* Arg(const Request& r, std::string_view name) {
  for (const auto& [key, value] : r.args)
    if (key == name) return &value;
  return nullptr;
}

// A whole decimal number of at most 9 digits; nullopt for anything else.
std::optional<int> Number(std::string_view text) {
  if (text.empty() || text.size() > 9) return std::nullopt;
  int n = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), n);
  if (ec != std::errc() || end != text.data() + text.size() || n < 0) return std::nullopt;
  return n;
}

bool FileThere(const std::string& path) {
  struct stat st {};
  return !path.empty() && stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0;
}

Response Json(std::string body) {
  return {200, std::string(kJson), std::move(body)};
}

std::string SectionJson(const LookupSection& s) {
  const TextForm form = s.unicode ? TextForm::kUtf8 : TextForm::kCp1252;
  std::string out = "{\"book\":" + std::to_string(s.book) + ",\"title\":";
  AppendJson(out, LenientUtf8(s.title));
  out += ",\"index\":" + std::to_string(s.index) + ",\"subject\":";
  AppendJson(out, TextToUtf8(s.subject, form));
  out += ",\"html\":";
  AppendJson(out, WebPage(LenientUtf8(TextToUtf8(s.html, form))));
  out += '}';
  return out;
}

// Waits for answers handed over on the shelf's workers.
template <typename T>
struct Gathered {
  std::mutex mutex;
  std::condition_variable changed;
  std::vector<T> values;
  size_t pending = 0;
  void Give(T value) {
    std::lock_guard lock(mutex);
    values.push_back(std::move(value));
    --pending;
    changed.notify_all();
  }
  void Wait() {
    std::unique_lock lock(mutex);
    changed.wait(lock, [this] { return pending == 0; });
  }
};

}  // namespace

Response ErrorResponse(int status, std::string_view message) {
  std::string body = "{\"error\":";
  AppendJson(body, message);
  body += '}';
  return {status, std::string(kJson), std::move(body)};
}

void AppendJson(std::string& out, std::string_view utf8) {
  const std::string text = LenientUtf8(utf8);
  out += '"';
  for (char c : text) {
    const auto b = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (c == '\n') {
      out += "\\n";
    } else if (b < 0x20 || c == '<' || c == '>' || c == '&') {
      // Angle brackets and ampersands escaped too, so that no answer can
      // be read as markup by anything that sniffs it.
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\u%04x", b);
      out += hex;
    } else {
      out += c;
    }
  }
  out += '"';
}

std::string PercentEncode(std::string_view text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    const auto b = static_cast<unsigned char>(c);
    if ((b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z') || (b >= '0' && b <= '9') || c == '-' ||
        c == '.' || c == '_' || c == '~') {
      out += c;
    } else {
      out += '%';
      out += kHex[b >> 4];
      out += kHex[b & 15];
    }
  }
  return out;
}

std::string WebPage(std::string_view page) {
  std::string out;
  out.reserve(page.size());
  size_t at = 0;
  while (at < page.size()) {
    const size_t link = page.find(kLinkOpenStart, at);
    if (link == std::string_view::npos) break;
    const size_t targetAt = link + kLinkOpenStart.size();
    // A link's target never holds '>', so its end is the first "\">".
    const size_t end = page.find(kLinkOpenEnd, targetAt);
    if (end == std::string_view::npos) break;
    out.append(page.substr(at, link - at));
    std::string address(kLinkPrefix);
    address.append(page.substr(targetAt, end - targetAt));
    out += "<a href=\"/?q=";
    out += PercentEncode(LinkKey(address).value_or(std::string()));
    out += "\">";
    at = end + kLinkOpenEnd.size();
  }
  out.append(page.substr(std::min(at, page.size())));
  return out;
}

Api::Api(std::vector<std::string> paths, const std::vector<Group>& groups, unsigned parallel)
    : iParallel(std::max(1u, parallel)) {
  for (std::string& path : paths) {
    const BookStatus status = ProbeBook(path);
    Book book;
    book.title = status.title;
    book.subjects = status.state == BookState::kOpen ? status.subjects : 0;
    book.open = status.state == BookState::kOpen;
    book.indexed = book.open && FileThere(fts::IndexPathFor(path));
    book.path = std::move(path);
    iBooks.push_back(std::move(book));
  }
  for (const Group& g : groups) {
    NamedGroup named{g.name, {}};
    for (size_t i = 0; i < iBooks.size(); ++i)
      if (std::find(g.paths.begin(), g.paths.end(), iBooks[i].path) != g.paths.end())
        named.books.push_back(static_cast<int>(i));
    iGroups.push_back(std::move(named));
  }
}

Api::~Api() = default;

Shelf& Api::Borrow() {
  std::unique_lock lock(iMutex);
  iFreed.wait(lock, [this] { return !iFree.empty() || iShelves.size() < iParallel; });
  if (!iFree.empty()) {
    Shelf* shelf = iFree.back();
    iFree.pop_back();
    return *shelf;
  }
  // One worker a shelf when several answer at once: the requests are what
  // runs in parallel then.
  Shelf::Options options;
  options.threads = iParallel > 1 ? 1 : 2;
  auto shelf = std::make_unique<Shelf>(options);
  std::vector<ShelfBook> shelfBooks;
  for (const Book& b : iBooks) shelfBooks.push_back({b.path, b.title});
  shelf->SetBooks(std::move(shelfBooks));
  iShelves.push_back(std::move(shelf));
  return *iShelves.back();
}

void Api::GiveBack(Shelf& shelf) {
  {
    std::lock_guard lock(iMutex);
    iFree.push_back(&shelf);
  }
  iFreed.notify_one();
}

size_t Api::Shelves() const {
  std::lock_guard lock(iMutex);
  return iShelves.size();
}

Response Api::Handle(const Request& request) {
  if (request.method != "GET" && request.method != "HEAD")
    return ErrorResponse(405, "only GET and HEAD are served");
  Shelf& shelf = Borrow();
  struct Return {
    Api& api;
    Shelf& shelf;
    ~Return() { api.GiveBack(shelf); }
  } giveBack{*this, shelf};
  return Route(request, shelf);
}

Response Api::Route(const Request& request, Shelf& shelf) const {
  if (const PageAsset* asset = FindAsset(request.path))
    return {200, std::string(asset->type), std::string(asset->body)};
  static const std::set<std::string, std::less<>> kRoutes = {
      "/api/books", "/api/suggest", "/api/lookup", "/api/record", "/api/fts"};
  if (!kRoutes.contains(request.path)) return ErrorResponse(404, "no such page");
  if (request.args.size() > kArgumentLimit) return ErrorResponse(400, "too many arguments");

  // The books asked about: one, a group's, or all.
  const std::string* bookArg = Arg(request, "book");
  const std::string* groupArg = Arg(request, "group");
  if (bookArg && groupArg) return ErrorResponse(400, "give book or group, not both");
  std::vector<int> books;
  if (bookArg) {
    const std::optional<int> id = Number(*bookArg);
    if (!id || static_cast<size_t>(*id) >= iBooks.size()) return ErrorResponse(400, "no such book");
    books.push_back(*id);
  } else if (groupArg) {
    const auto g = std::find_if(iGroups.begin(), iGroups.end(),
                                [&](const NamedGroup& n) { return n.name == *groupArg; });
    if (g != iGroups.end()) {
      books = g->books;
    } else if (*groupArg == kAllBooks) {
      groupArg = nullptr;
    } else {
      return ErrorResponse(400, "no such group");
    }
  }
  if (!bookArg && !groupArg)
    for (size_t i = 0; i < iBooks.size(); ++i) books.push_back(static_cast<int>(i));

  if (request.path == "/api/books") return Books(books);
  if (request.path == "/api/record") return Record(shelf, request, books);

  const std::string* q = Arg(request, "q");
  if (!q || q->empty()) return ErrorResponse(400, "q is missing");
  if (q->size() > kQueryLimit)
    return ErrorResponse(400, "q is longer than " + std::to_string(kQueryLimit) + " bytes");
  if (LenientUtf8(*q) != *q || std::any_of(q->begin(), q->end(), [](char c) {
        return static_cast<unsigned char>(c) < 0x20;
      }))
    return ErrorResponse(400, "q is no text");
  if (request.path == "/api/suggest") return Suggest(shelf, *q, books);
  if (request.path == "/api/lookup") return Lookup(shelf, *q, books);
  return Fts(*q, books);
}

Response Api::Books(const std::vector<int>& books) const {
  std::string out = "[";
  for (int id : books) {
    const Book& b = iBooks[id];
    if (out.size() > 1) out += ',';
    out += "{\"id\":" + std::to_string(id) + ",\"title\":";
    AppendJson(out, LenientUtf8(b.title));
    out += ",\"subjects\":" + std::to_string(b.subjects);
    out += ",\"indexed\":";
    out += b.indexed ? "true" : "false";
    out += '}';
  }
  out += ']';
  return Json(std::move(out));
}

Response Api::Suggest(Shelf& shelf, const std::string& q, const std::vector<int>& books) {
  auto gathered = std::make_shared<Gathered<std::pair<int, std::vector<std::string>>>>();
  gathered->pending = books.size();
  for (int id : books) {
    shelf.Post(id, [gathered, id, q](BookReader* reader) {
      std::vector<std::string> subjects;
      const std::optional<std::string> key =
          reader ? TextFromUtf8(q, FormOf(*reader)) : std::nullopt;
      if (key) {
        const TextForm form = FormOf(*reader);
        const int count = reader->GetSubjectCount();
        int at = reader->FindSubject(MatchPrefix, *key);
        for (int walked = 0;
             at >= 0 && at < count && walked < kSuggestWalk && subjects.size() < kSuggestLimit;
             ++at, ++walked) {
          const std::string subject = reader->GetSubject(at);
          if (subject.size() < key->size() ||
              reader->CompareBookSubjects(std::string_view(subject).substr(0, key->size()), *key) !=
                  0)
            break;
          subjects.push_back(LenientUtf8(TextToUtf8(subject, form)));
        }
      }
      gathered->Give({id, std::move(subjects)});
    });
  }
  gathered->Wait();
  // In the order the books were asked, each subject once.
  std::sort(gathered->values.begin(), gathered->values.end(),
            [](const auto& a, const auto& b) { return a.first < b.first; });
  std::vector<std::string> all;
  for (const auto& [id, subjects] : gathered->values)
    for (const std::string& s : subjects)
      if (all.size() < kSuggestLimit && std::find(all.begin(), all.end(), s) == all.end())
        all.push_back(s);
  std::string out = "[";
  for (const std::string& s : all) {
    if (out.size() > 1) out += ',';
    AppendJson(out, s);
  }
  out += ']';
  return Json(std::move(out));
}

Response Api::Lookup(Shelf& shelf, const std::string& q, const std::vector<int>& books) {
  Gathered<LookupSection> gathered;
  gathered.pending = 1;
  shelf.LookUpText(
      q, MatchWhole,
      [&gathered](uint64_t, LookupSection s) {
        std::lock_guard lock(gathered.mutex);
        gathered.values.push_back(std::move(s));
      },
      [&gathered](uint64_t) {
        std::lock_guard lock(gathered.mutex);
        gathered.pending = 0;
        gathered.changed.notify_all();
      });
  gathered.Wait();
  std::sort(gathered.values.begin(), gathered.values.end(),
            [](const auto& a, const auto& b) { return a.book < b.book; });
  std::string out = "[";
  for (const LookupSection& s : gathered.values) {
    if (s.failed || std::find(books.begin(), books.end(), s.book) == books.end()) continue;
    if (out.size() > 1) out += ',';
    out += SectionJson(s);
  }
  out += ']';
  return Json(std::move(out));
}

Response Api::Record(Shelf& shelf, const Request& request, const std::vector<int>& books) const {
  if (!Arg(request, "book") || books.size() != 1) return ErrorResponse(400, "book is missing");
  const std::string* indexArg = Arg(request, "index");
  if (!indexArg) return ErrorResponse(400, "index is missing");
  const std::optional<int> index = Number(*indexArg);
  const Book& book = iBooks[books[0]];
  if (!book.open) return ErrorResponse(400, "the book does not open");
  if (!index || *index >= book.subjects) return ErrorResponse(400, "no such index");
  const LookupSection s = shelf.Section(books[0], *index);
  if (s.failed) return ErrorResponse(400, "the book does not open");
  LookupSection shown = s;
  shown.index = *index;
  return Json(SectionJson(shown));
}

Response Api::Fts(const std::string& q, const std::vector<int>& books) const {
  fts::FtsQuery query;
  std::string reason;
  if (!fts::ParseFtsQuery(q, query, reason))
    return ErrorResponse(400, reason.empty() ? "the query finds nothing" : reason);
  struct Hit {
    int book;
    fts::FtsHit hit;
  };
  std::vector<Hit> hits;
  for (int id : books) {
    if (!iBooks[id].open) continue;
    fts::BookAnswer answer = fts::SearchBookFile(iBooks[id].path, query, kFtsLimit);
    for (fts::FtsHit& h : answer.hits) hits.push_back({id, std::move(h)});
  }
  std::stable_sort(hits.begin(), hits.end(), [](const Hit& a, const Hit& b) {
    if (a.hit.score != b.hit.score) return a.hit.score > b.hit.score;
    if (a.book != b.book) return a.book < b.book;
    return a.hit.record < b.hit.record;
  });
  if (hits.size() > kFtsLimit) hits.resize(kFtsLimit);
  std::string out = "[";
  for (const Hit& h : hits) {
    if (out.size() > 1) out += ',';
    out += "{\"book\":" + std::to_string(h.book) + ",\"index\":" + std::to_string(h.hit.record);
    out += ",\"subject\":";
    AppendJson(out, h.hit.subject);
    out += ",\"snippet\":";
    AppendJson(out, h.hit.snippet);
    out += ",\"marks\":[";
    for (size_t i = 0; i < h.hit.marks.size(); ++i) {
      if (i > 0) out += ',';
      out += "[" + std::to_string(h.hit.marks[i].offset) + "," +
             std::to_string(h.hit.marks[i].length) + "]";
    }
    char score[32];
    std::snprintf(score, sizeof score, "%.3f", std::isfinite(h.hit.score) ? h.hit.score : 0.0);
    out += "],\"score\":";
    out += score;
    out += '}';
  }
  out += ']';
  return Json(std::move(out));
}

}  // namespace ql::serve
