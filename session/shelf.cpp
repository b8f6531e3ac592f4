// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
#include "shelf.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <thread>

#include "book_text.h"
#include "byte_sink.h"
#include "cp1252.h"
#include "fts_search.h"
#include "index_build.h"
#include "index_store.h"
#include "links.h"
#include "open_failure.h"
#include "plain_text.h"
#include "record_markup.h"
#include "word_index.h"

namespace ql {

namespace {

constexpr int kMaxWorkers = 4;

// One book on the shelf: its reader and the work waiting for it. The queue
// is run by one worker at a time (scheduled tells that a worker has it or
// will take it), so the reader is only ever used by that worker.
struct Slot {
  explicit Slot(std::string p) : path(std::move(p)) {}
  const std::string path;
  std::mutex mutex;  // guards queue and scheduled
  std::deque<std::function<void(Slot&)>> queue;
  bool scheduled = false;
  // The worker's alone while it runs the queue.
  std::unique_ptr<BookReader> reader;
  std::string reason;
  // The book's word index, looked for once a while: it tells which lookups
  // need not open the book.
  std::unique_ptr<fts::WordIndex> index;
  std::chrono::steady_clock::time_point indexLooked{};
};

// A lookup in flight: what it asks and who is told.
struct Lookup {
  uint64_t generation = 0;
  std::string key;
  bool keyIsUtf8 = false;  // each book is asked with the key in its own form
  int mode = MatchWhole;
  RenderOptions render;
  std::function<void(uint64_t, LookupSection)> onSection;
  std::function<void(uint64_t)> onDone;
  size_t remaining = 0;  // guarded by the shelf's callback mutex
};

// Waits on the caller's thread for answers posted to the workers.
template <typename T>
struct Answers {
  explicit Answers(size_t n) : values(n), given(n, false) {}
  std::mutex mutex;
  std::condition_variable changed;
  std::vector<T> values;
  std::vector<bool> given;
  void Give(size_t i, T value) {
    std::lock_guard lock(mutex);
    values[i] = std::move(value);
    given[i] = true;
    changed.notify_all();
  }
};

}  // namespace

struct Shelf::Impl {
  explicit Impl(Options o) : options(std::move(o)) {
    int n = options.threads;
    if (n <= 0)
      n = std::clamp(static_cast<int>(std::thread::hardware_concurrency()), 1, kMaxWorkers);
    for (int i = 0; i < n; ++i) workers.emplace_back([this] { Work(); });
  }

  ~Impl() {
    {
      std::lock_guard lock(callbackMutex);
      ++generation;
    }
    {
      std::lock_guard lock(poolMutex);
      stopping = true;
    }
    poolChanged.notify_all();
    for (auto& t : workers) t.join();
  }

  void Post(const std::shared_ptr<Slot>& slot, std::function<void(Slot&)> work) {
    {
      std::lock_guard lock(slot->mutex);
      slot->queue.push_back(std::move(work));
      if (slot->scheduled) return;
      slot->scheduled = true;
    }
    {
      std::lock_guard lock(poolMutex);
      ready.push_back(slot);
    }
    poolChanged.notify_one();
  }

  void Work() {
    for (;;) {
      std::shared_ptr<Slot> slot;
      {
        std::unique_lock lock(poolMutex);
        poolChanged.wait(lock, [this] { return stopping || !ready.empty(); });
        if (stopping) return;
        slot = std::move(ready.front());
        ready.pop_front();
      }
      for (;;) {
        std::function<void(Slot&)> work;
        {
          std::lock_guard lock(slot->mutex);
          if (slot->queue.empty()) {
            slot->scheduled = false;
            break;
          }
          work = std::move(slot->queue.front());
          slot->queue.pop_front();
        }
        work(*slot);
      }
    }
  }

  // The slot's reader, opened read-only on first need; null when the book
  // does not open (slot.reason says why). A book that failed is tried again
  // the next time, so a book put right is found without a restart.
  BookReader* Reader(Slot& slot) {
    if (slot.reader) return slot.reader.get();
    if (options.beforeOpen) options.beforeOpen(slot.path);
    auto reader = std::make_unique<BookReader>();
    if (reader->Open(slot.path, kOpenReadOnly) != OpenResult::kOk) {
      slot.reason = OpenFailureReason(reader->LastOpenFailure());
      return nullptr;
    }
    slot.reason.clear();
    fts::AttachSubjectOrder(*reader, slot.path);
    slot.reader = std::move(reader);
    ++openReaders;
    return slot.reader.get();
  }

  // The slot's word index; looked for again a minute after it was missing,
  // so one built meanwhile is taken up.
  const fts::WordIndex* Index(Slot& slot) {
    // An index of what the book held before it changed tells nothing.
    uint64_t key = 0;
    if (slot.index &&
        !(fts::ParseKey(fts::StampedContentKey(slot.path), key) && key == slot.index->Key()))
      slot.index.reset();
    const auto now = std::chrono::steady_clock::now();
    if (!slot.index && now - slot.indexLooked > std::chrono::minutes(1)) {
      slot.index = fts::OpenIndexFor(slot.path);
      slot.indexLooked = now;
    }
    return slot.index.get();
  }

  void Close(Slot& slot) {
    if (!slot.reader) return;
    slot.reader.reset();
    --openReaders;
  }

  void Answer(const std::shared_ptr<Lookup>& lookup, Slot& slot, int book, std::string title) {
    if (generation.load() != lookup->generation) return;
    if (options.beforeLookup) options.beforeLookup(slot.path);
    LookupSection section;
    bool found = false;
    if (generation.load() == lookup->generation) {
      section.book = book;
      section.path = slot.path;
      section.title = std::move(title);
      // A book whose index shows no subject holding the key's words is not
      // opened.
      const bool absent =
          lookup->mode == MatchWhole &&
          !fts::SubjectMayBeIn(slot.path,
                               lookup->keyIsUtf8 ? lookup->key : Cp1252ToUtf8(lookup->key));
      BookReader* reader = absent ? nullptr : Reader(slot);
      if (absent) {
      } else if (!reader) {
        section.failed = true;
        section.reason = slot.reason;
        found = true;
      } else if (const std::optional<std::string> key = KeyFor(*reader, *lookup)) {
        section.unicode = reader->IsUnicode();
        if (const int index = reader->FindSubject(lookup->mode, *key); index >= 0) {
          Render(*reader, options.renderPages ? &lookup->render : nullptr, index, section);
          found = true;
        }
      }
      if (!options.keepReaders) Close(slot);
    }
    std::lock_guard lock(callbackMutex);
    if (generation.load() != lookup->generation) return;
    if (found && lookup->onSection) lookup->onSection(lookup->generation, std::move(section));
    if (--lookup->remaining == 0 && lookup->onDone) lookup->onDone(lookup->generation);
  }

  // The lookup's key as reader's book holds text; nullopt when no subject
  // of it can match.
  static std::optional<std::string> KeyFor(const BookReader& reader, const Lookup& lookup) {
    if (!lookup.keyIsUtf8) return lookup.key;
    return TextFromUtf8(lookup.key, FormOf(reader));
  }

  // The section's record, and its page unless render is null.
  static void Render(BookReader& reader, const RenderOptions* render, int index,
                     LookupSection& section) {
    section.index = index;
    section.subject = reader.GetSubject(index);
    if (render) {
      StringSink page;
      reader.RenderRecord(page, *render, index, -1, -1);
      section.html = std::move(page.Data());
    } else {
      reader.LoadRecord(index);
    }
    if (reader.CurrentRecord() == index && !reader.CurrentRecordDamaged())
      section.record = std::string(reader.CurrentRecordText());
  }

  Options options;
  std::vector<ShelfBook> books;
  std::vector<std::shared_ptr<Slot>> slots;
  RenderOptions render;

  std::mutex poolMutex;  // guards ready and stopping
  std::condition_variable poolChanged;
  std::deque<std::shared_ptr<Slot>> ready;
  bool stopping = false;
  std::vector<std::thread> workers;

  // Held while a callback runs and while a lookup is superseded, so that no
  // answer of an old lookup is given once the new one has begun.
  std::mutex callbackMutex;
  std::atomic<uint64_t> generation{0};
  std::atomic<int> openReaders{0};
};

Shelf::Shelf() : Shelf(Options()) {}

Shelf::Shelf(Options options) : iImpl(std::make_unique<Impl>(std::move(options))) {
  iImpl->render = iImpl->options.render;
}

Shelf::~Shelf() = default;

void Shelf::SetBooks(std::vector<ShelfBook> books) {
  std::multimap<std::string, std::shared_ptr<Slot>> kept;
  for (auto& slot : iImpl->slots) kept.emplace(slot->path, std::move(slot));
  std::vector<std::shared_ptr<Slot>> slots;
  slots.reserve(books.size());
  for (const ShelfBook& book : books) {
    auto it = kept.find(book.path);
    if (it != kept.end()) {
      slots.push_back(std::move(it->second));
      kept.erase(it);
    } else {
      slots.push_back(std::make_shared<Slot>(book.path));
    }
  }
  // Readers of books that left are closed on their worker, after their work.
  for (auto& [path, slot] : kept)
    iImpl->Post(slot, [impl = iImpl.get()](Slot& s) { impl->Close(s); });
  iImpl->slots = std::move(slots);
  iImpl->books = std::move(books);
}

const std::vector<ShelfBook>& Shelf::Books() const {
  return iImpl->books;
}

void Shelf::SetRenderOptions(RenderOptions options) {
  iImpl->render = std::move(options);
}

uint64_t Shelf::LookUp(std::string key, int mode,
                       std::function<void(uint64_t, LookupSection)> onSection,
                       std::function<void(uint64_t)> onDone, int first) {
  return Start(std::move(key), false, mode, std::move(onSection), std::move(onDone), first);
}

uint64_t Shelf::LookUpText(std::string text, int mode,
                           std::function<void(uint64_t, LookupSection)> onSection,
                           std::function<void(uint64_t)> onDone, int first) {
  return Start(std::move(text), true, mode, std::move(onSection), std::move(onDone), first);
}

uint64_t Shelf::Start(std::string key, bool keyIsUtf8, int mode,
                      std::function<void(uint64_t, LookupSection)> onSection,
                      std::function<void(uint64_t)> onDone, int first) {
  auto lookup = std::make_shared<Lookup>();
  {
    std::lock_guard lock(iImpl->callbackMutex);
    lookup->generation = ++iImpl->generation;
  }
  lookup->key = std::move(key);
  lookup->keyIsUtf8 = keyIsUtf8;
  lookup->mode = mode;
  lookup->render = iImpl->render;
  lookup->onSection = std::move(onSection);
  lookup->onDone = std::move(onDone);
  lookup->remaining = iImpl->slots.size();
  if (iImpl->slots.empty()) {
    if (lookup->onDone) lookup->onDone(lookup->generation);
    return lookup->generation;
  }
  const size_t n = iImpl->slots.size();
  const size_t head = first >= 0 && static_cast<size_t>(first) < n ? static_cast<size_t>(first) : 0;
  // From the first book on, and round to the ones before it.
  for (size_t k = 0; k < n; ++k) {
    const size_t i = k == 0 ? head : k <= head ? k - 1 : k;
    iImpl->Post(iImpl->slots[i], [impl = iImpl.get(), lookup, book = static_cast<int>(i),
                                  title = iImpl->books[i].title](Slot& slot) mutable {
      impl->Answer(lookup, slot, book, std::move(title));
    });
  }
  return lookup->generation;
}

void Shelf::Cancel() {
  std::lock_guard lock(iImpl->callbackMutex);
  ++iImpl->generation;
}

void Shelf::Cancel(uint64_t generation) {
  std::lock_guard lock(iImpl->callbackMutex);
  if (iImpl->generation.load() == generation) ++iImpl->generation;
}

void Shelf::Post(int book, std::function<void(BookReader* reader)> work) {
  if (book < 0 || static_cast<size_t>(book) >= iImpl->slots.size()) return;
  iImpl->Post(iImpl->slots[book], [impl = iImpl.get(), work = std::move(work)](Slot& slot) {
    work(impl->Reader(slot));
  });
}

LinkPlace Shelf::ResolveLink(std::string_view key, int fromBook) {
  return Resolve(key, false, fromBook);
}

LinkPlace Shelf::ResolveLinkText(std::string_view text, int fromBook) {
  return Resolve(text, true, fromBook);
}

LinkPlace Shelf::Resolve(std::string_view key, bool keyIsUtf8, int fromBook) {
  const int n = static_cast<int>(iImpl->slots.size());
  if (fromBook < 0 || fromBook >= n) return {};
  // Each book's whole match (-1: none), and whether it has records at all.
  struct Match {
    int index = -1;
    bool records = false;
  };
  auto answers = std::make_shared<Answers<Match>>(n);
  const std::string wanted(key);
  for (int i = 0; i < n; ++i)
    Post(i, [answers, wanted, keyIsUtf8, i](BookReader* reader) {
      Match m;
      if (reader) {
        m.records = reader->GetSubjectCount() > 0;
        const std::optional<std::string> own =
            keyIsUtf8 ? TextFromUtf8(wanted, FormOf(*reader)) : std::optional<std::string>(wanted);
        if (own) m.index = reader->FindSubject(MatchWhole, *own);
      }
      answers->Give(i, m);
    });
  // Decided as soon as the books before the first match have answered: a
  // slow book after it does not hold the link up.
  std::unique_lock lock(answers->mutex);
  for (;;) {
    if (answers->given[fromBook]) {
      const Match& own = answers->values[fromBook];
      if (own.index >= 0) return {fromBook, own.index};
      bool allBefore = true;
      for (int i = 0; i < n; ++i) {
        if (i == fromBook) continue;
        if (!answers->given[i]) {
          allBefore = false;
          break;
        }
        if (answers->values[i].index >= 0) return {i, answers->values[i].index};
      }
      if (allBefore) return own.records ? LinkPlace{fromBook, 0} : LinkPlace{};
    }
    answers->changed.wait(lock);
  }
}

LookupSection Shelf::Section(int book, int index) {
  if (book < 0 || static_cast<size_t>(book) >= iImpl->slots.size()) return {};
  auto answers = std::make_shared<Answers<LookupSection>>(1);
  LookupSection base;
  base.book = book;
  base.path = iImpl->books[book].path;
  base.title = iImpl->books[book].title;
  iImpl->Post(iImpl->slots[book], [impl = iImpl.get(), answers, base, index,
                                   render = iImpl->render](Slot& slot) mutable {
    BookReader* reader = impl->Reader(slot);
    if (!reader) {
      base.failed = true;
      base.reason = slot.reason;
    } else {
      base.unicode = reader->IsUnicode();
      if (index >= 0 && index < reader->GetSubjectCount())
        Impl::Render(*reader, &render, index, base);
    }
    answers->Give(0, std::move(base));
  });
  std::unique_lock lock(answers->mutex);
  answers->changed.wait(lock, [&] { return answers->given[0]; });
  return std::move(answers->values[0]);
}

int Shelf::OpenReaders() const {
  return iImpl->openReaders.load();
}

std::string SectionAnchor(int book) {
  return "book" + std::to_string(book);
}

namespace {

// A title (a file name, UTF-8 as a rule) on the page: on a Windows-1252 page
// the characters the code page has as its bytes and the others as
// references, on a UTF-8 page as they are; the characters markup gives
// meaning to escaped. Bytes that are no UTF-8 are taken as the code page's.
void WriteTitle(std::string& out, std::string_view title, TextForm form) {
  size_t i = 0;
  while (i < title.size()) {
    char32_t ch = 0;
    const size_t at = i;
    const bool utf8 = NextUtf8(title, i, ch);
    if (!utf8) ch = static_cast<unsigned char>(title[i++]);
    if (ch == '&')
      out += "&amp;";
    else if (ch == '<')
      out += "&lt;";
    else if (ch == '>')
      out += "&gt;";
    else if (ch == '"')
      out += "&quot;";
    else if (form == TextForm::kUtf8 && !utf8)
      AppendUtf8(out, Cp1252ToUnicode(static_cast<unsigned char>(title[at])));
    else if (form == TextForm::kUtf8 || !utf8 || i - at == 1)
      out += title.substr(at, i - at);
    else if (auto byte = Cp1252ByteFor(ch))
      out += static_cast<char>(*byte);
    else
      out += "&#" + std::to_string(static_cast<uint32_t>(ch)) + ";";
  }
}

// UTF-8 markup on a Windows-1252 page: the characters the code page lacks
// as references, stray bytes as they are.
std::string Utf8MarkupAsCp1252(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    char32_t ch = 0;
    const size_t at = i;
    if (!NextUtf8(text, i, ch)) {
      out += text[i++];
    } else if (i - at == 1) {
      out += text[at];
    } else if (auto byte = Cp1252ByteFor(ch)) {
      out += static_cast<char>(*byte);
    } else {
      out += "&#" + std::to_string(static_cast<uint32_t>(ch)) + ";";
    }
  }
  return out;
}

// A record's page without its own head and tail: the head written for its
// book's form, or any head that ends as ours do, in the font the body is
// written in.
std::string_view PageBody(std::string_view page, std::string_view head, std::string_view tail) {
  if (!page.ends_with(tail)) return page;
  if (page.starts_with(head)) {
    page.remove_prefix(head.size());
  } else {
    constexpr std::string_view kBodyStart = "</head>\r\n<body><font size=";
    constexpr std::string_view kFontEnd = ">\r\n";
    const size_t body = page.find(kBodyStart);
    const size_t end = body == std::string_view::npos ? body : page.find(kFontEnd, body);
    if (!page.starts_with("<html>") || end == std::string_view::npos) return page;
    page.remove_prefix(end + kFontEnd.size());
  }
  page.remove_suffix(tail.size());
  return page;
}

// Markup of a book of form from, or of ours (the lead), on a page of form to.
std::string OnPage(std::string_view text, TextForm from, TextForm to) {
  if (from == to) return std::string(text);
  return to == TextForm::kUtf8 ? Cp1252ToUtf8(text) : Utf8MarkupAsCp1252(text);
}

}  // namespace

std::string WriteSectionsPage(const std::vector<LookupSection>& sections,
                              const RenderOptions& options, std::string_view lead, TextForm form) {
  // The heads of the two forms' pages: the page's own is one of them.
  StringSink cpHead, utf8Head, tail;
  WritePageHead(cpHead, options.face, options.size, false);
  WritePageHead(utf8Head, options.face, options.size, true);
  WritePageTail(tail);
  std::string page = form == TextForm::kUtf8 ? utf8Head.Data() : cpHead.Data();
  if (!lead.empty()) {
    page += "<p>";
    for (char c : lead) {
      if (c == '&')
        page += "&amp;";
      else if (c == '<')
        page += "&lt;";
      else if (c == '>')
        page += "&gt;";
      else
        page += c;
    }
    page += "</p>\r\n";
  }
  for (const LookupSection& section : sections) {
    page += "<a name=\"" + SectionAnchor(section.book) + "\"></a>";
    page += kSectionBandOpen;
    WriteTitle(page, section.title, form);
    page += kSectionBandClose;
    page += "\r\n";
    if (section.failed) {
      page += "<p><i>";
      WriteTitle(page, section.reason, form);
      page += "</i></p>\r\n";
      continue;
    }
    // The section is the record's page without the page's own head and
    // tail, in the page's form.
    const std::string body = OnPage(
        PageBody(section.html, section.unicode ? utf8Head.Data() : cpHead.Data(), tail.Data()),
        section.unicode ? TextForm::kUtf8 : TextForm::kCp1252, form);
    // Its links name the section's book, where they are looked for first.
    const std::string start =
        std::string(kLinkOpenStart.substr(0, kLinkOpenStart.size() - kLinkPrefix.size())) +
        SectionLinkStart(section.book);
    size_t from = 0;
    for (size_t at; (at = body.find(kLinkOpenStart, from)) != std::string::npos;
         from = at + kLinkOpenStart.size()) {
      page += body.substr(from, at - from);
      page += start;
    }
    page += body.substr(from);
    page += "\r\n";
  }
  page += tail.Data();
  return page;
}

}  // namespace ql
