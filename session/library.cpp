// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
#include "library.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <set>
#include <utility>

#include "atomic_file.h"
#include "book_reader.h"
#include "local_files.h"
#include "open_failure.h"
#include "user_dirs.h"

namespace ql {

namespace {

constexpr std::string_view kBookOn = "on";
constexpr std::string_view kBookOff = "off";
constexpr std::string_view kFromAdded = "added";
constexpr std::string_view kFromFolder = "found";
constexpr std::string_view kFromOpened = "opened";
// A folder search stops taking books beyond this many.
constexpr size_t kScanBookLimit = 100000;

bool FitsAField(std::string_view text) {
  return text.find_first_of(std::string_view("\t\n\r\0", 4)) == std::string_view::npos;
}

std::vector<std::string_view> SplitFields(std::string_view line) {
  std::vector<std::string_view> fields;
  size_t start = 0;
  for (;;) {
    const size_t tab = line.find('\t', start);
    fields.push_back(line.substr(start, tab == std::string_view::npos ? tab : tab - start));
    if (tab == std::string_view::npos) return fields;
    start = tab + 1;
  }
}

bool HasBookExtension(std::string_view name) {
  if (name.size() <= 3) return false;
  const std::string_view ext = name.substr(name.size() - 3);
  return ext[0] == '.' && (ext[1] == 'q' || ext[1] == 'Q') && (ext[2] == 'l' || ext[2] == 'L');
}

// A book a folder search takes: a .ql file whose path fits the library file.
bool IsFolderBook(std::string_view path) {
  return FitsAField(path) && HasBookExtension(FileNameOf(path));
}

bool MakeFolders(const std::string& dir) {
  if (dir.empty()) return true;
  struct stat st {};
  if (::stat(dir.c_str(), &st) == 0) return S_ISDIR(st.st_mode) || (errno = ENOTDIR, false);
  const size_t slash = dir.rfind('/');
  if (slash != std::string::npos && slash > 0 && !MakeFolders(dir.substr(0, slash))) return false;
  return ::mkdir(dir.c_str(), 0755) == 0 || errno == EEXIST;
}

}  // namespace

std::string LibraryFilePath() {
  return BaseDirectory("XDG_CONFIG_HOME", "/.config") + "/quillary/library";
}

std::string BooksFolder() {
  return UserDataDirectory() + "/quillary/books";
}

std::string NormalisePath(std::string_view path) {
  std::string whole;
  if (path.empty() || path[0] != '/') {
    char cwd[4096];
    if (::getcwd(cwd, sizeof cwd)) whole = cwd;
    whole += '/';
  }
  whole += path;
  std::vector<std::string_view> steps;
  std::string_view rest(whole);
  while (!rest.empty()) {
    const size_t slash = rest.find('/');
    const std::string_view step = rest.substr(0, slash);
    rest = slash == std::string_view::npos ? std::string_view() : rest.substr(slash + 1);
    if (step.empty() || step == ".") continue;
    if (step == "..") {
      if (!steps.empty()) steps.pop_back();
      continue;
    }
    steps.push_back(step);
  }
  std::string out;
  for (std::string_view step : steps) (out += '/') += step;
  return out.empty() ? "/" : out;
}

BookStatus ProbeBook(const std::string& path) {
  BookStatus status;
  status.title = std::string(FileNameOf(path));
  status.state = BookState::kFailed;
  try {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
      status.reason = OpenFailureReason(SystemOpenFailure(path, errno));
      return status;
    }
    if (S_ISDIR(st.st_mode)) {
      status.reason = OpenFailureReason(SystemOpenFailure(path, EISDIR));
      return status;
    }
    if (!S_ISREG(st.st_mode)) {  // a FIFO or a device would hold the open up, or never end
      OpenFailureInfo failure;
      failure.kind = OpenFailureKind::kNotABook;
      failure.path = path;
      status.reason = OpenFailureReason(failure);
      return status;
    }
    status.size = static_cast<int64_t>(st.st_size);
    BookReader reader;
    if (reader.Open(path, kOpenReadOnly) != OpenResult::kOk) {
      status.reason = OpenFailureReason(reader.LastOpenFailure());
      return status;
    }
    status.subjects = reader.GetSubjectCount();
    status.state = BookState::kOpen;
  } catch (const std::exception& e) {
    status.reason = e.what();
  }
  return status;
}

std::string BookStateText(const BookStatus& status) {
  switch (status.state) {
    case BookState::kOpen:
      return "open";
    case BookState::kOff:
      return "off";
    case BookState::kFailed:
      return "failed: " + status.reason;
    case BookState::kUnknown:
      break;
  }
  return "unknown";
}

Library Library::Load(const std::string& file) {
  Library lib;
  SmallFile read = ReadSmallFile(file, static_cast<size_t>(kLibraryReadLimit));
  switch (read.state) {
    case SmallFileState::kRead:
      break;
    case SmallFileState::kMissing:
      return lib;
    case SmallFileState::kDirectory:
      lib.iLoadFailure = "is a directory";
      return lib;
    case SmallFileState::kNotRegular:
      lib.iLoadFailure = "not a regular file";
      return lib;
    case SmallFileState::kFailed:
      lib.iLoadFailure = SystemErrorText(read.error);
      return lib;
  }
  std::string& bytes = read.bytes;
  // A file longer than what is read ends in a line cut off: it is not taken.
  if (read.cut) {
    const size_t lastEnd = bytes.rfind('\n');
    bytes.resize(lastEnd == std::string::npos ? 0 : lastEnd + 1);
  }
  Library parsed = Parse(bytes);
  parsed.iSkipped += read.cut ? 1 : 0;
  return parsed;
}

Library Library::Parse(std::string_view bytes) {
  Library lib;
  std::string_view rest = bytes;
  bool first = true;
  while (!rest.empty()) {
    const size_t end = rest.find('\n');
    std::string_view line = rest.substr(0, end);
    rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (first) {
      first = false;
      // A later format keeps this one's records: what is known is taken.
      if (line.substr(0, 17) != "quillary-library ") {
        lib.iLoadFailure = "not a Quillary library file";
        return lib;
      }
      continue;
    }
    if (line.empty()) continue;
    if (line.size() > kLibraryLineLimit || line.find('\0') != std::string_view::npos)
      ++lib.iSkipped;
    else
      lib.ParseLine(line);
  }
  // Group records may name books the file does not hold.
  for (Group& g : lib.iGroups) {
    const size_t before = g.paths.size();
    std::erase_if(g.paths, [&](const std::string& p) { return !lib.iPaths.count(p); });
    lib.iSkipped += static_cast<int>(before - g.paths.size());
  }
  return lib;
}

void Library::ParseLine(std::string_view line) {
  const std::vector<std::string_view> f = SplitFields(line);
  auto path = [&](size_t i) {
    // A carriage return inside a path would not survive the next save.
    return i < f.size() && !f[i].empty() && f[i][0] == '/' && FitsAField(f[i]) ? NormalisePath(f[i])
                                                                               : std::string();
  };
  const std::string_view kind = f[0];
  const std::string first = kind == "group" ? std::string() : path(1);
  if (kind == "folder" && f.size() == 2 && !first.empty()) {
    if (AddFolder(first)) return;
  } else if (kind == "removed" && f.size() == 2 && !first.empty()) {
    if (iRemoved.insert(first).second) return;
  } else if (kind == "book" && f.size() == 4 && !first.empty() &&
             (f[2] == kBookOn || f[2] == kBookOff) &&
             (f[3] == kFromAdded || f[3] == kFromFolder || f[3] == kFromOpened)) {
    if (iPaths.insert(first).second) {
      iBooks.push_back({first, f[2] == kBookOn, f[3] == kFromFolder, f[3] == kFromOpened});
      return;
    }
  } else if (kind == "group" && (f.size() == 2 || f.size() == 3)) {
    const std::string name(f[1]);
    if (f.size() == 2 && AddGroup(name)) return;
    const std::string book = path(2);
    if (f.size() == 3 && !book.empty()) {
      if (!FindGroup(name) && !AddGroup(name)) {
        ++iSkipped;
        return;
      }
      if (FindGroup(name)->paths.insert(book).second) return;
    }
  }
  ++iSkipped;
}

bool Library::Save(const std::string& file, std::string& reason) const {
  const size_t slash = file.rfind('/');
  if (slash != std::string::npos && slash > 0 && !MakeFolders(file.substr(0, slash))) {
    reason = file.substr(0, slash) + ": " + SystemErrorText(errno);
    return false;
  }
  const std::string text = Text();
  if (!WriteFileWhole(file, text)) {
    reason = file + ": " + SystemErrorText(errno);
    return false;
  }
  return true;
}

std::string Library::Text() const {
  std::string text = std::string(kLibraryFormatLine) + "\n";
  for (const std::string& dir : iFolders) text += "folder\t" + dir + "\n";
  for (const LibraryBook& b : iBooks) {
    text += "book\t" + b.path + "\t" + std::string(b.enabled ? kBookOn : kBookOff) + "\t";
    text += std::string(b.fromFolder ? kFromFolder : b.opened ? kFromOpened : kFromAdded) + "\n";
  }
  for (const std::string& p : iRemoved) text += "removed\t" + p + "\n";
  for (const Group& g : iGroups) {
    text += "group\t" + g.name + "\n";
    for (const std::string& p : g.paths) text += "group\t" + g.name + "\t" + p + "\n";
  }
  return text;
}

void Library::Rescan() {
  Rescan(BooksFolder());
}

void Library::Rescan(const std::string& booksFolder) {
  FolderSeen seen;
  std::vector<std::string> found;
  ListFilesUnder(NormalisePath(booksFolder), kFolderDepthLimit, kScanBookLimit, IsFolderBook, seen,
                 found);
  for (const std::string& dir : iFolders)
    ListFilesUnder(dir, kFolderDepthLimit, kScanBookLimit, IsFolderBook, seen, found);
  const std::set<std::string> here(found.begin(), found.end());
  // The books that went, dropped in one pass: a file may list many.
  struct stat st {};
  std::set<std::string> gone;
  std::erase_if(iBooks, [&](const LibraryBook& b) {
    if ((b.fromFolder && !here.count(b.path)) ||
        (b.opened && ::stat(b.path.c_str(), &st) != 0 && errno == ENOENT)) {
      gone.insert(b.path);
      return true;
    }
    return false;
  });
  for (const std::string& p : gone) iPaths.erase(p);
  for (Group& g : iGroups)
    std::erase_if(g.paths, [&](const std::string& p) { return gone.count(p); });
  // A removed book's mark goes with its file.
  std::erase_if(iRemoved, [&](const std::string& p) { return !here.count(p); });
  std::vector<std::string> fresh;
  for (const std::string& p : here)
    if (!iPaths.count(p) && !iRemoved.count(p)) fresh.push_back(p);
  std::stable_sort(fresh.begin(), fresh.end(), [](const std::string& a, const std::string& b) {
    return FileNameOf(a) < FileNameOf(b);
  });
  for (std::string& p : fresh) {
    iPaths.insert(p);
    iBooks.push_back({std::move(p), true, true, false});
  }
}

const LibraryBook* Library::Find(const std::string& path) const {
  const int i = IndexOf(NormalisePath(path));
  return i < 0 ? nullptr : &iBooks[static_cast<size_t>(i)];
}

int Library::IndexOf(const std::string& path) const {
  if (!iPaths.count(path)) return -1;
  for (size_t i = 0; i < iBooks.size(); ++i)
    if (iBooks[i].path == path) return static_cast<int>(i);
  return -1;
}

void Library::Drop(size_t index) {
  const std::string path = iBooks[index].path;
  iBooks.erase(iBooks.begin() + static_cast<std::ptrdiff_t>(index));
  iPaths.erase(path);
  for (Group& g : iGroups) g.paths.erase(path);
}

bool Library::AddFolder(const std::string& dir) {
  if (!FitsAField(dir)) return false;
  const std::string p = NormalisePath(dir);
  if (iFolders.size() >= kLibraryFolderLimit ||
      std::find(iFolders.begin(), iFolders.end(), p) != iFolders.end())
    return false;
  iFolders.push_back(p);
  return true;
}

bool Library::RemoveFolder(const std::string& dir) {
  const auto it = std::find(iFolders.begin(), iFolders.end(), NormalisePath(dir));
  if (it == iFolders.end()) return false;
  iFolders.erase(it);
  return true;
}

bool Library::AddBook(const std::string& path) {
  if (!FitsAField(path)) return false;
  const std::string p = NormalisePath(path);
  iRemoved.erase(p);
  const int i = IndexOf(p);
  if (i < 0) {
    iPaths.insert(p);
    iBooks.push_back({p, true, false, false});
    return true;
  }
  LibraryBook& b = iBooks[static_cast<size_t>(i)];
  if (!b.fromFolder && !b.opened) return false;
  b.fromFolder = b.opened = false;
  return true;
}

bool Library::RemoveBook(const std::string& path) {
  const std::string p = NormalisePath(path);
  const int i = IndexOf(p);
  if (i < 0) return false;
  iRemoved.insert(p);
  Drop(static_cast<size_t>(i));
  return true;
}

void Library::AddOpened(const std::string& path) {
  if (!FitsAField(path)) return;
  const std::string p = NormalisePath(path);
  iRemoved.erase(p);
  if (iPaths.insert(p).second) iBooks.push_back({p, true, false, true});
}

bool Library::SetEnabled(const std::string& path, bool on) {
  const int i = IndexOf(NormalisePath(path));
  if (i < 0 || iBooks[static_cast<size_t>(i)].enabled == on) return false;
  iBooks[static_cast<size_t>(i)].enabled = on;
  return true;
}

bool Library::Move(const std::string& path, int steps) {
  const int i = IndexOf(NormalisePath(path));
  if (i < 0) return false;
  const int64_t last = static_cast<int64_t>(iBooks.size()) - 1;
  const int to = static_cast<int>(std::clamp<int64_t>(int64_t{i} + steps, 0, last));
  if (to == i) return false;
  LibraryBook b = std::move(iBooks[static_cast<size_t>(i)]);
  iBooks.erase(iBooks.begin() + i);
  iBooks.insert(iBooks.begin() + to, std::move(b));
  return true;
}

std::vector<std::string> Library::GroupNames() const {
  std::vector<std::string> names{kAllBooks};
  for (const Group& g : iGroups) names.push_back(g.name);
  return names;
}

bool Library::AddGroup(const std::string& name) {
  if (name.empty() || name.size() > kLibraryLineLimit || !FitsAField(name) || name == kAllBooks ||
      iGroups.size() >= kLibraryGroupLimit || FindGroup(name))
    return false;
  iGroups.push_back({name, {}});
  return true;
}

bool Library::RemoveGroup(const std::string& name) {
  const auto it =
      std::find_if(iGroups.begin(), iGroups.end(), [&](const Group& g) { return g.name == name; });
  if (it == iGroups.end()) return false;
  iGroups.erase(it);
  return true;
}

bool Library::SetInGroup(const std::string& group, const std::string& path, bool in) {
  Group* g = FindGroup(group);
  const std::string p = NormalisePath(path);
  if (!g || IndexOf(p) < 0) return false;
  return in ? g->paths.insert(p).second : g->paths.erase(p) > 0;
}

bool Library::InGroup(std::string_view group, const std::string& path) const {
  const std::string p = NormalisePath(path);
  if (IndexOf(p) < 0) return false;
  if (group == kAllBooks) return true;
  const Group* g = FindGroup(group);
  return g && g->paths.count(p);
}

std::vector<std::string> Library::BooksOf(std::string_view group) const {
  const Group* g = group == kAllBooks ? nullptr : FindGroup(group);
  std::vector<std::string> out;
  if (group != kAllBooks && !g) return out;
  for (const LibraryBook& b : iBooks)
    if (b.enabled && (!g || g->paths.count(b.path))) out.push_back(b.path);
  return out;
}

Library::Group* Library::FindGroup(std::string_view name) {
  for (Group& g : iGroups)
    if (g.name == name) return &g;
  return nullptr;
}

const Library::Group* Library::FindGroup(std::string_view name) const {
  for (const Group& g : iGroups)
    if (g.name == name) return &g;
  return nullptr;
}

}  // namespace ql
