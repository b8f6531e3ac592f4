// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
#include "index_store.h"

#include <sys/stat.h>
#include <xxhash.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string_view>
#include <vector>

#include "book_format.h"
#include "book_reader.h"
#include "index_build.h"
#include "index_codec.h"
#include "local_files.h"
#include "user_dirs.h"

namespace fs = std::filesystem;

namespace ql::fts {

namespace {

// Goes into every key: an index of another format or folding is another
// book's, and is built again.
constexpr uint64_t kKeyVersion = 0x514c574944583031;  // "QLWIDX01"
// The stamps kept; the oldest go first.
constexpr size_t kStampLimit = 4096;
constexpr size_t kStampFileLimit = size_t{4} << 20;

struct Stamp {
  uint64_t device = 0, inode = 0, size = 0, changed = 0;
  std::string key, path;
  bool Same(const Stamp& o) const {
    return device == o.device && inode == o.inode && size == o.size && changed == o.changed;
  }
};

bool StampOf(const std::string& path, Stamp& stamp) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
  stamp.device = static_cast<uint64_t>(st.st_dev);
  stamp.inode = static_cast<uint64_t>(st.st_ino);
  stamp.size = static_cast<uint64_t>(st.st_size);
  stamp.changed = static_cast<uint64_t>(st.st_mtim.tv_sec) * 1000000000u +
                  static_cast<uint64_t>(st.st_mtim.tv_nsec);
  stamp.path = path;
  return true;
}

std::string StampsPath() {
  return IndexFolder() + "/stamps";
}

// The stamps file: one stamp a line, "DEVICE INODE SIZE CHANGED KEY<TAB>PATH".
// A line that does not read so is passed over.
std::vector<Stamp> ParseStamps(const SmallFile& file) {
  std::vector<Stamp> out;
  if (file.state != SmallFileState::kRead) return out;
  std::string_view rest(file.bytes);
  while (!rest.empty()) {
    const size_t end = rest.find('\n');
    std::string line(rest.substr(0, end));
    rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
    const size_t tab = line.find('\t');
    if (tab == std::string::npos) continue;
    Stamp s;
    char key[17] = {};
    unsigned long long d = 0, i = 0, z = 0, c = 0;
    if (std::sscanf(line.substr(0, tab).c_str(), "%llu %llu %llu %llu %16s", &d, &i, &z, &c, key) !=
        5)
      continue;
    s.device = d;
    s.inode = i;
    s.size = z;
    s.changed = c;
    s.key = key;
    s.path = line.substr(tab + 1);
    uint64_t number = 0;
    if (ParseKey(s.key, number) && !s.path.empty()) out.push_back(std::move(s));
  }
  return out;
}

// The stamps, read again only when the file has changed: a search over a
// library asks for every book's key.
std::shared_ptr<const std::vector<Stamp>> SharedStamps() {
  static std::mutex lock;
  static Stamp seen;
  static std::shared_ptr<const std::vector<Stamp>> cached;
  const std::string path = StampsPath();
  Stamp now;
  const std::lock_guard<std::mutex> hold(lock);
  if (cached && StampOf(path, now) && now.Same(seen) && now.path == seen.path) return cached;
  cached =
      std::make_shared<const std::vector<Stamp>>(ParseStamps(ReadSmallFile(path, kStampFileLimit)));
  seen = now;
  return cached;
}

std::vector<Stamp> ReadStamps() {
  return *SharedStamps();
}

void WriteStamps(const std::vector<Stamp>& stamps) {
  std::string text;
  const size_t first = stamps.size() > kStampLimit ? stamps.size() - kStampLimit : 0;
  for (size_t n = first; n < stamps.size(); ++n) {
    const Stamp& s = stamps[n];
    char head[128];
    std::snprintf(head, sizeof head, "%llu %llu %llu %llu %s\t",
                  static_cast<unsigned long long>(s.device),
                  static_cast<unsigned long long>(s.inode), static_cast<unsigned long long>(s.size),
                  static_cast<unsigned long long>(s.changed), s.key.c_str());
    text += head;
    text += s.path;
    text += '\n';
  }
  std::error_code ec;
  fs::create_directories(IndexFolder(), ec);
  std::string reason;
  WriteFileAtomically(StampsPath(), text, reason);  // a stamp lost costs a reading again
}

std::string Hex(uint64_t v) {
  char out[17];
  std::snprintf(out, sizeof out, "%016llx", static_cast<unsigned long long>(v));
  return out;
}

}  // namespace

std::string IndexFolder() {
  return BaseDirectory("XDG_CACHE_HOME", "/.cache") + "/quillary/index";
}

std::string ComputeContentKey(const std::string& bookPath, std::string& reason) {
  // Where the bookmark table lies, to leave it out.
  int64_t bookmarks = -1;
  {
    BookReader book;
    if (book.Open(bookPath, kOpenReadOnly) != OpenResult::kOk) {
      reason = "the book does not open";
      return {};
    }
    bookmarks = book.BookmarkBlockAt();
  }
  std::FILE* f = std::fopen(bookPath.c_str(), "rb");
  if (!f) {
    reason = std::strerror(errno);
    return {};
  }
  const std::unique_ptr<XXH3_state_t, XXH_errorcode (*)(XXH3_state_t*)> state(XXH3_createState(),
                                                                              XXH3_freeState);
  XXH3_64bits_reset_withSeed(state.get(), kKeyVersion);
  std::string chunk(size_t{1} << 20, '\0');
  int64_t at = 0;
  bool ok = true;
  for (;;) {
    const size_t n = std::fread(chunk.data(), 1, chunk.size(), f);
    if (n == 0) {
      ok = !std::ferror(f);
      break;
    }
    // The bytes of the bookmark table count as zero.
    if (bookmarks >= 0 && bookmarks < at + static_cast<int64_t>(n) &&
        bookmarks + kBookmarkBlockSize > at) {
      const int64_t from = std::max<int64_t>(bookmarks - at, 0);
      const int64_t to =
          std::min<int64_t>(bookmarks + kBookmarkBlockSize - at, static_cast<int64_t>(n));
      std::memset(chunk.data() + from, 0, static_cast<size_t>(to - from));
    }
    XXH3_64bits_update(state.get(), chunk.data(), n);
    at += static_cast<int64_t>(n);
  }
  std::fclose(f);
  if (!ok) {
    reason = "the book cannot be read";
    return {};
  }
  return Hex(XXH3_64bits_digest(state.get()));
}

std::string StampedContentKey(const std::string& bookPath) {
  Stamp now;
  if (!StampOf(bookPath, now)) return {};
  const auto stamps = SharedStamps();
  for (const Stamp& s : *stamps)
    if (s.Same(now)) return s.key;
  return {};
}

std::string BookContentKey(const std::string& bookPath, std::string& reason) {
  Stamp now;
  if (!StampOf(bookPath, now)) {
    reason = "the book cannot be read";
    return {};
  }
  std::vector<Stamp> stamps = ReadStamps();
  for (const Stamp& s : stamps)
    if (s.Same(now)) return s.key;
  now.key = ComputeContentKey(bookPath, reason);
  if (now.key.empty()) return {};
  // The file's stamp replaces any it had before, and any the path had.
  std::erase_if(stamps, [&](const Stamp& s) {
    return (s.device == now.device && s.inode == now.inode) || s.path == now.path;
  });
  stamps.push_back(now);
  WriteStamps(stamps);
  return now.key;
}

std::string IndexPathForKey(const std::string& folder, const std::string& key) {
  return folder + "/" + key + ".qlx";
}

std::string IndexPathFor(const std::string& bookPath) {
  std::string reason;
  const std::string key = BookContentKey(bookPath, reason);
  return key.empty() ? std::string() : IndexPathForKey(IndexFolder(), key);
}

bool RemoveIndexFor(const std::string& bookPath) {
  std::vector<Stamp> stamps = ReadStamps();
  std::string key;
  Stamp now;
  if (StampOf(bookPath, now)) {
    std::string reason;
    key = BookContentKey(bookPath, reason);
    stamps = ReadStamps();
  } else {
    for (const Stamp& s : stamps)
      if (s.path == bookPath) key = s.key;
  }
  if (key.empty()) return false;
  // Another book of the same content keeps the index.
  bool shared = false;
  for (const Stamp& s : stamps) {
    Stamp other;
    if (s.key == key && s.path != bookPath && StampOf(s.path, other) && other.Same(s))
      shared = true;
  }
  std::erase_if(stamps, [&](const Stamp& s) { return s.path == bookPath; });
  WriteStamps(stamps);
  if (shared) return false;
  const std::string path = IndexPathForKey(IndexFolder(), key);
  std::error_code ec;
  const bool removed = fs::remove(path, ec);
  const bool work = fs::remove_all(path + ".work", ec) > 0;
  return removed || work;
}

}  // namespace ql::fts
