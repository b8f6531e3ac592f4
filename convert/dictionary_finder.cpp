// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
#include "dictionary_finder.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <set>
#include <system_error>

#include "atomic_file.h"
#include "book_import.h"
#include "import_formats.h"
#include "local_files.h"
#include "open_failure.h"
#include "stardict_format.h"
#include "user_dirs.h"

namespace ql {

namespace {

// How deep the roots' subfolders are searched, and how many names a folder
// may give before the rest are left unread.
constexpr int kDepthLimit = 4;
constexpr size_t kNamesLimit = 100000;
// The longest book name made from a dictionary's name, before ".ql".
constexpr size_t kBookNameLimit = 80;
constexpr int64_t kSlot = 1000;
// What an import record is read up to, its longest line and most records.
constexpr size_t kRecordReadLimit = size_t{4} << 20;
constexpr size_t kRecordLineLimit = 16384;
constexpr size_t kRecordLimit = 100000;
// How many counted names a dictionary tries once its own and its suffixed
// one are taken.
constexpr int kCountedNames = 1000;

bool IsFile(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool EndsWith(std::string_view s, std::string_view tail) {
  return s.size() > tail.size() && s.substr(s.size() - tail.size()) == tail;
}

// The first of base + each extension that is a file; "" when none is.
std::string FirstFile(const std::string& base, std::initializer_list<const char*> extensions) {
  for (const char* ext : extensions)
    if (IsFile(base + ext)) return base + ext;
  return {};
}

std::string BaseName(std::string_view path) {
  return std::string(FileNameOf(path));
}

// The dictionary's own name from its .ifo; "" when it cannot be read.
std::string StarDictName(const std::string& ifo) {
  const std::string text = ReadSmallFile(ifo, kStarDictIfoMax).bytes;
  if (text.empty()) return {};
  StarDictInfo info;
  std::string reason;
  return ParseStarDictIfo(text, info, reason) ? info.bookName : std::string();
}

// A file name from a dictionary's name: ASCII letters, digits and a few
// marks kept, every run of other bytes one '_', no leading dot or space.
std::string SafeName(std::string_view name) {
  std::string out;
  for (const char c : name) {
    const bool keep = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                      std::string_view(" -_.,+()").find(c) != std::string_view::npos;
    if (keep)
      out += c;
    else if (out.empty() || out.back() != '_')
      out += '_';
    if (out.size() >= kBookNameLimit) break;
  }
  const size_t start = out.find_first_not_of(". ");
  out = start == std::string::npos ? std::string() : out.substr(start);
  while (!out.empty() && (out.back() == ' ' || out.back() == '.')) out.pop_back();
  return out.empty() ? "dictionary" : out;
}

std::string Lower(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return s;
}

std::string PathHash(std::string_view path) {
  uint32_t h = 2166136261u;
  for (const char c : path) h = (h ^ static_cast<unsigned char>(c)) * 16777619u;
  char hex[9];
  std::snprintf(hex, sizeof hex, "%08x", h);
  return hex;
}

bool Newer(const struct stat& a, const struct stat& b) {
  if (a.st_mtim.tv_sec != b.st_mtim.tv_sec) return a.st_mtim.tv_sec > b.st_mtim.tv_sec;
  return a.st_mtim.tv_nsec > b.st_mtim.tv_nsec;
}

int64_t MtimeNs(const struct stat& st) {
  return int64_t{st.st_mtim.tv_sec} * 1000000000 + st.st_mtim.tv_nsec;
}

bool ParseInt(std::string_view text, int64_t& out) {
  const char* end = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(text.data(), end, out);
  return !text.empty() && ec == std::errc() && ptr == end && out >= 0;
}

// A source the import record can name: no TAB or line end in its path.
bool FitsTheRecord(std::string_view path) {
  return path.find_first_of("\t\n\r") == std::string_view::npos;
}

// A name a book in the folder may have: a plain .ql file name.
bool IsBookName(std::string_view name) {
  return name.size() > 3 && name.size() <= 255 && name[0] != '.' && EndsWith(name, ".ql") &&
         name.find_first_of(std::string_view("/\t\n\r\0", 5)) == std::string_view::npos;
}

// A books folder's record of the books imported into it. Only records whose
// book is there unchanged are kept: the rest are moot.
class ImportRecord {
 public:
  explicit ImportRecord(std::string folder) : iFolder(std::move(folder)) {
    std::string_view rest;
    const std::string bytes =
        ReadSmallFile(iFolder + "/" + kImportRecordName, kRecordReadLimit).bytes;
    rest = bytes;
    const size_t first = rest.find('\n');
    if (first == std::string_view::npos || rest.substr(0, first) != kImportRecordFormatLine) return;
    rest.remove_prefix(first + 1);
    while (!rest.empty() && iByBook.size() < kRecordLimit) {
      const size_t end = rest.find('\n');
      if (end == std::string_view::npos) break;  // a line cut off is not taken
      const std::string_view line = rest.substr(0, end);
      rest.remove_prefix(end + 1);
      if (line.size() <= kRecordLineLimit) Take(line);
    }
  }

  // The source the book of that name was imported from; "" for none.
  const std::string& SourceOf(const std::string& book) const {
    static const std::string kNone;
    const auto it = iByBook.find(book);
    return it == iByBook.end() ? kNone : it->second.source;
  }
  // The name of the book imported from source; "" for none.
  std::string BookOf(const std::string& source) const {
    const auto it = iBySource.find(source);
    return it == iBySource.end() ? std::string() : it->second;
  }
  // What the source's files were when the book of that name was written
  // from it (SourceStamp); "" for none.
  std::string StampOf(const std::string& book) const {
    const auto it = iByBook.find(book);
    return it == iByBook.end() ? std::string() : it->second.stamp;
  }
  // Whether a dictionary from source may write the book of that name: none
  // is there, or the one there was imported from source.
  bool MayWrite(const std::string& book, const std::string& source) const {
    struct stat st {};
    if (::lstat((iFolder + "/" + book).c_str(), &st) != 0 && errno == ENOENT) return true;
    return SourceOf(book) == source;
  }

  // Records the book just written from source; false with the reason when
  // the record cannot be saved.
  bool Note(const std::string& book, const std::string& source, const std::string& stamp,
            std::string& reason) {
    struct stat st {};
    if (::stat((iFolder + "/" + book).c_str(), &st) != 0) {
      reason = iFolder + "/" + book + ": " + SystemErrorText(errno);
      return false;
    }
    if (const std::string old = BookOf(source); !old.empty()) iByBook.erase(old);
    if (const auto it = iByBook.find(book); it != iByBook.end()) iBySource.erase(it->second.source);
    iByBook[book] = {source, static_cast<int64_t>(st.st_size), MtimeNs(st), stamp};
    iBySource[source] = book;
    std::string text = std::string(kImportRecordFormatLine) + "\n";
    for (const auto& [name, e] : iByBook)
      text += "imported\t" + e.source + "\t" + name + "\t" + std::to_string(e.size) + "\t" +
              std::to_string(e.mtimeNs) + "\t" + e.stamp + "\n";
    const std::string file = iFolder + "/" + kImportRecordName;
    if (!WriteFileWhole(file, text)) {
      reason = file + ": " + SystemErrorText(errno);
      return false;
    }
    return true;
  }

 private:
  struct Entry {
    std::string source;
    int64_t size = 0, mtimeNs = 0;
    std::string stamp;
  };

  void Take(std::string_view line) {
    std::string_view f[7];
    size_t n = 0;
    for (size_t start = 0; n < std::size(f); ++n) {
      const size_t tab = line.find('\t', start);
      f[n] = line.substr(start, tab == std::string_view::npos ? tab : tab - start);
      if (tab == std::string_view::npos) {
        ++n;
        break;
      }
      start = tab + 1;
    }
    Entry e;
    if (n != 6 || f[0] != "imported" || f[1].empty() || f[1][0] != '/' ||
        f[1].find('\0') != std::string_view::npos || !IsBookName(f[2]) || !ParseInt(f[3], e.size) ||
        !ParseInt(f[4], e.mtimeNs) || f[5].size() != 16 ||
        f[5].find_first_not_of("0123456789abcdef") != std::string_view::npos)
      return;
    e.stamp = std::string(f[5]);
    const std::string book(f[2]);
    e.source = std::string(f[1]);
    struct stat st {};
    if (iByBook.count(book) || iBySource.count(e.source) ||
        ::lstat((iFolder + "/" + book).c_str(), &st) != 0 || !S_ISREG(st.st_mode) ||
        st.st_size != e.size || MtimeNs(st) != e.mtimeNs)
      return;
    iBySource[e.source] = book;
    iByBook[book] = std::move(e);
  }

  std::string iFolder;
  std::map<std::string, Entry> iByBook;
  std::map<std::string, std::string> iBySource;
};

// The overall bar, moved by one import's bar through its slot.
class SlotProgress final : public ProgressSink {
 public:
  SlotProgress(ProgressSink& whole, int64_t start) : iWhole(whole), iStart(start) {}
  void SetRange(int64_t lower, int64_t upper) override {
    iLower = lower;
    iUpper = upper;
  }
  void SetPos(int64_t pos) override {
    iPos = std::clamp(pos, iLower, iUpper);
    const int64_t span = iUpper - iLower;
    iWhole.SetPos(iStart + (span > 0 ? (iPos - iLower) * kSlot / span : 0));
  }
  void Step() override { SetPos(iPos + 1); }

 private:
  ProgressSink& iWhole;
  int64_t iStart;
  int64_t iLower = 0, iUpper = 0, iPos = 0;
};

class FinderHost final : public ImportHost {
 public:
  FinderHost(ProgressSink* whole, int64_t start) : iWhole(whole), iStart(start) {}
  bool BeforeReading(const BookImport&) override { return true; }
  std::unique_ptr<ProgressSink> StartProgress(int64_t end) override {
    if (!iWhole) return nullptr;
    auto bar = std::make_unique<SlotProgress>(*iWhole, iStart);
    bar->SetRange(0, end);
    return bar;
  }
  bool ShowsWriting() const override { return false; }

 private:
  ProgressSink* iWhole;
  int64_t iStart;
};

}  // namespace

DictionaryRoots DictionaryRoots::FromEnvironment() {
  DictionaryRoots roots;
  const char* dirs = std::getenv("XDG_DATA_DIRS");
  std::string_view rest = dirs && *dirs ? dirs : "/usr/local/share:/usr/share";
  while (!rest.empty()) {
    const size_t colon = rest.find(':');
    const std::string dir(rest.substr(0, colon));
    rest = colon == std::string_view::npos ? std::string_view() : rest.substr(colon + 1);
    if (dir.empty() || dir[0] != '/') continue;  // only absolute folders count
    roots.dictd.push_back(dir + "/dictd");
    roots.stardict.push_back(dir + "/stardict/dic");
  }
  if (const std::string home = HomeDirectory(); !home.empty())
    roots.stardict.push_back(home + "/.stardict/dic");
  roots.stardict.push_back(UserDataDirectory() + "/stardict/dic");
  return roots;
}

std::vector<FoundDictionary> FindDictionaries(const DictionaryRoots& roots,
                                              const std::string& booksFolder) {
  std::vector<FoundDictionary> found;
  FolderSeen seen;
  std::vector<std::string> files;
  for (const std::string& root : roots.dictd) {
    files.clear();
    ListFilesUnder(root, kDepthLimit, kNamesLimit, FitsTheRecord, seen, files);
    for (const std::string& f : files) {
      if (!EndsWith(f, ".index")) continue;
      const std::string base = f.substr(0, f.size() - 6);
      const std::string data = FirstFile(base, {".dict.dz", ".dict", ".dict.gz"});
      if (data.empty()) continue;
      found.push_back({DictionaryKind::kDictd, BaseName(base), f, {f, data}, {}});
    }
  }
  seen.clear();
  for (const std::string& root : roots.stardict) {
    files.clear();
    ListFilesUnder(root, kDepthLimit, kNamesLimit, FitsTheRecord, seen, files);
    for (const std::string& f : files) {
      if (!EndsWith(f, ".ifo")) continue;
      const std::string base = f.substr(0, f.size() - 4);
      const std::string idx = FirstFile(base, {".idx", ".idx.gz"});
      const std::string data = FirstFile(base, {".dict.dz", ".dict", ".dict.gz"});
      if (idx.empty() || data.empty()) continue;
      std::string name = StarDictName(f);
      if (name.empty()) name = BaseName(base);
      found.push_back({DictionaryKind::kStarDict, name, f, {f, idx, data}, {}});
    }
  }
  // Books imported before keep their names; the rest take the first free one.
  const ImportRecord record(booksFolder);
  std::set<std::string> taken;
  std::vector<std::string> names(found.size());
  for (size_t i = 0; i < found.size(); ++i) {
    std::string name = record.BookOf(found[i].source);
    if (!name.empty() && taken.insert(Lower(name)).second) names[i] = std::move(name);
  }
  for (size_t i = 0; i < found.size(); ++i) {
    const FoundDictionary& d = found[i];
    if (!names[i].empty()) continue;
    const std::string base = SafeName(d.name);
    const std::string suffixed = base + "-" + PathHash(d.source);
    for (int n = 0; n <= kCountedNames; ++n) {
      names[i] = (n == 0 ? base : n == 1 ? suffixed : suffixed + "-" + std::to_string(n)) + ".ql";
      if (!taken.count(Lower(names[i])) && record.MayWrite(names[i], d.source)) break;
    }
    taken.insert(Lower(names[i]));
  }
  for (size_t i = 0; i < found.size(); ++i) found[i].book = booksFolder + "/" + names[i];
  return found;
}

namespace {

std::string FolderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
}

// The size and modification time of each of the dictionary's files, hashed:
// a dictionary put back by an update changes it even when its files keep
// an older time than its book.
std::string SourceStamp(const FoundDictionary& dictionary) {
  uint64_t h = 14695981039346656037u;
  struct stat st {};
  for (const std::string& f : dictionary.files) {
    const bool there = ::stat(f.c_str(), &st) == 0;
    const std::string part =
        f +
        (there ? "\t" + std::to_string(st.st_size) + "\t" + std::to_string(MtimeNs(st)) : "\t-") +
        "\n";
    for (const char c : part) h = (h ^ static_cast<unsigned char>(c)) * 1099511628211u;
  }
  char hex[17];
  std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(h));
  return hex;
}

// Whether the book is missing, or its source changed or is newer since.
bool SourceChanged(const FoundDictionary& dictionary, const ImportRecord& record) {
  struct stat book {};
  if (::stat(dictionary.book.c_str(), &book) != 0) return true;
  if (record.StampOf(BaseName(dictionary.book)) != SourceStamp(dictionary)) return true;
  struct stat st {};
  for (const std::string& f : dictionary.files)
    if (::stat(f.c_str(), &st) == 0 && Newer(st, book)) return true;
  return false;
}

}  // namespace

bool NeedsImport(const FoundDictionary& dictionary) {
  const ImportRecord record(FolderOf(dictionary.book));
  return record.MayWrite(BaseName(dictionary.book), dictionary.source) &&
         SourceChanged(dictionary, record);
}

std::string DictionaryOutcomeText(const DictionaryOutcome& outcome) {
  switch (outcome.result) {
    case DictionaryResult::kImported:
      return "imported";
    case DictionaryResult::kCurrent:
      return "current";
    case DictionaryResult::kStopped:
      return "stopped";
    case DictionaryResult::kFailed:
      break;
  }
  return "failed: " + outcome.reason;
}

std::vector<DictionaryOutcome> ImportDictionaries(const std::vector<FoundDictionary>& dictionaries,
                                                  const DictionaryImportRun& run) {
  std::vector<DictionaryOutcome> outcomes(dictionaries.size());
  std::map<std::string, ImportRecord> records;  // by books folder
  if (run.progress) run.progress->SetRange(0, kSlot * static_cast<int64_t>(dictionaries.size()));
  for (size_t i = 0; i < dictionaries.size(); ++i) {
    const FoundDictionary& d = dictionaries[i];
    DictionaryOutcome& out = outcomes[i];
    const int64_t start = kSlot * static_cast<int64_t>(i);
    const std::string folder = FolderOf(d.book);
    if (!records.count(folder)) records.emplace(folder, ImportRecord(folder));
    ImportRecord& record = records.at(folder);
    const std::string bookName = BaseName(d.book);
    if (run.stop && run.stop->load()) {
      out.result = DictionaryResult::kStopped;
    } else if (!record.MayWrite(bookName, d.source)) {
      out.reason = d.book + ": a book of this name is there that was not imported from " +
                   d.source + "; it was left as it was";
    } else if (!SourceChanged(d, record)) {
      out.result = DictionaryResult::kCurrent;
    } else {
      std::error_code error;
      std::filesystem::create_directories(folder, error);
      if (error) {
        out.reason = folder + ": " + SystemErrorText(error.value());
      } else {
        const ImportFormat* format =
            FindImportFormat(d.kind == DictionaryKind::kDictd ? "dictd" : "stardict");
        BookImport import(*format);
        import.SetStop(run.stop);
        const std::string stamp = SourceStamp(d);  // before reading: a change while it reads counts
        FinderHost host(run.progress, start);
        switch (RunBookImport(import, d.source, d.book, host)) {
          case ImportEnd::kWritten:
            if (std::string reason; record.Note(bookName, d.source, stamp, reason))
              out.result = DictionaryResult::kImported;
            else
              out.reason = d.book + " was written, but its import could not be recorded: " + reason;
            break;
          case ImportEnd::kStopped:
            out.result = DictionaryResult::kStopped;
            break;
          case ImportEnd::kKeptTarget:
            out.reason = d.source + ": no entry was found; " + d.book + " was left as it was";
            break;
          case ImportEnd::kFailed:
            out.reason = import.Failure();
            break;
        }
      }
    }
    if (run.progress) run.progress->SetPos(start + kSlot);
    if (run.onDone) run.onDone(i, out);
  }
  return outcomes;
}

}  // namespace ql
