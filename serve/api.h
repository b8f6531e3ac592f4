// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// The answers of the library server: a request (method, path and its
// decoded arguments) in, a response (status, type, body) out. Plain C++ over
// the shelf and the full-text search, without the HTTP, so that every route
// and every limit is tested without a socket.
//
// Routes: "/" and its two files (the lookup page), and the JSON API:
//   /api/books                    [{id, title, subjects, indexed}]
//   /api/suggest?q=               subjects that start with q, at most 20
//   /api/lookup?q=                [{book, title, index, subject, html}]
//   /api/record?book=ID&index=N   {book, title, index, subject, html}
//   /api/fts?q=                   [{book, index, subject, snippet, marks, score}]
// each narrowed by book=ID or group=NAME. Books are named by their id only
// (their place in the list), never by a path. A request the server cannot
// take gets 400 with {"error": "..."}, a path it does not have 404.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace ql {
class Shelf;
}

namespace ql::serve {

// The longest q taken, in bytes.
inline constexpr size_t kQueryLimit = 256;
// The most arguments a request may carry.
inline constexpr size_t kArgumentLimit = 16;
// The most subjects /api/suggest gives, and hits /api/fts gives.
inline constexpr size_t kSuggestLimit = 20;
inline constexpr size_t kFtsLimit = 20;

struct Request {
  std::string method;  // "GET" or "HEAD"; anything else is refused
  std::string path;    // decoded, without the query
  std::vector<std::pair<std::string, std::string>> args;  // decoded, in order
};

struct Response {
  int status = 200;
  std::string contentType;
  std::string body;
};

// A named group of the library: the paths of its books.
struct Group {
  std::string name;
  std::vector<std::string> paths;
};

class Api {
 public:
  // The books served, in this order (their ids are 0, 1, ...), and the
  // library's groups; a group's books that are not served are left out.
  // Up to parallel requests are answered at once, each on a shelf of its
  // own (made on first need), so that no lookup cancels another's.
  Api(std::vector<std::string> paths, const std::vector<Group>& groups, unsigned parallel = 1);
  ~Api();
  Api(const Api&) = delete;
  Api& operator=(const Api&) = delete;

  // Safe to call from several threads; beyond parallel at once, a request
  // waits for a shelf to come free.
  Response Handle(const Request& request);

  // Shelves made so far (at most parallel).
  size_t Shelves() const;

 private:
  struct Book {
    std::string path, title;
    int subjects = 0;
    bool indexed = false;
    bool open = false;
  };
  struct NamedGroup {
    std::string name;
    std::vector<int> books;
  };

  Shelf& Borrow();
  void GiveBack(Shelf& shelf);

  Response Route(const Request& request, Shelf& shelf) const;
  Response Books(const std::vector<int>& books) const;
  static Response Suggest(Shelf& shelf, const std::string& q, const std::vector<int>& books);
  static Response Lookup(Shelf& shelf, const std::string& q, const std::vector<int>& books);
  Response Record(Shelf& shelf, const Request& request, const std::vector<int>& books) const;
  Response Fts(const std::string& q, const std::vector<int>& books) const;

  std::vector<Book> iBooks;
  std::vector<NamedGroup> iGroups;
  unsigned iParallel = 1;
  // Every shelf made, and those no request holds now.
  std::vector<std::unique_ptr<Shelf>> iShelves;
  std::vector<Shelf*> iFree;
  mutable std::mutex iMutex;
  std::condition_variable iFreed;
};

// The JSON error body: {"error":"message"}.
Response ErrorResponse(int status, std::string_view message);

// utf8 as a JSON string, quoted and escaped, appended to out; bytes that
// are no UTF-8 become U+FFFD.
void AppendJson(std::string& out, std::string_view utf8);

// A rendered page made fit for the browser's lookup page: UTF-8, and each
// link to a subject ("quill::KEY") made a link to the lookup page's own
// address for it ("/?q=KEY", the key percent-encoded).
std::string WebPage(std::string_view utf8Page);

// text percent-encoded for a URL's query: every byte but A-Z a-z 0-9 - . _ ~.
std::string PercentEncode(std::string_view text);

}  // namespace ql::serve
