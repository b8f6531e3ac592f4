#include "dictionary_finder.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <set>
#include <system_error>

#include "book_import.h"
#include "import_formats.h"
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

// Every file under dir, to depth levels of subfolders, sorted within each
// folder; a folder reached again through a link is skipped.
void ListFiles(const std::string& dir, int depth, std::set<std::pair<dev_t, ino_t>>& seen,
               std::vector<std::string>& out) {
  struct stat st {};
  if (::stat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return;
  if (!seen.insert({st.st_dev, st.st_ino}).second) return;
  DIR* d = ::opendir(dir.c_str());
  if (!d) return;
  std::vector<std::string> names;
  while (const dirent* e = ::readdir(d)) {
    if (e->d_name[0] == '.') continue;
    if (names.size() >= kNamesLimit) break;
    names.emplace_back(e->d_name);
  }
  ::closedir(d);
  std::sort(names.begin(), names.end());
  for (const std::string& name : names) {
    if (out.size() >= kNamesLimit) return;
    const std::string path = dir + "/" + name;
    if (::stat(path.c_str(), &st) != 0) continue;
    if (S_ISREG(st.st_mode))
      out.push_back(path);
    else if (S_ISDIR(st.st_mode) && depth > 0)
      ListFiles(path, depth - 1, seen, out);
  }
}

std::string BaseName(std::string_view path) {
  const size_t slash = path.rfind('/');
  return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

// The dictionary's own name from its .ifo; "" when it cannot be read.
std::string StarDictName(const std::string& ifo) {
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> f(std::fopen(ifo.c_str(), "rbe"), std::fclose);
  if (!f) return {};
  std::string text(kStarDictIfoMax, '\0');
  text.resize(std::fread(text.data(), 1, text.size(), f.get()));
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
  std::set<std::pair<dev_t, ino_t>> seen;
  std::vector<std::string> files;
  for (const std::string& root : roots.dictd) {
    files.clear();
    ListFiles(root, kDepthLimit, seen, files);
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
    ListFiles(root, kDepthLimit, seen, files);
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
  std::set<std::string> taken;
  for (FoundDictionary& d : found) {
    std::string name = SafeName(d.name);
    if (!taken.insert(Lower(name)).second) {
      name += "-" + PathHash(d.source);
      taken.insert(Lower(name));
    }
    d.book = booksFolder + "/" + name + ".ql";
  }
  return found;
}

bool NeedsImport(const FoundDictionary& dictionary) {
  struct stat book {};
  if (::stat(dictionary.book.c_str(), &book) != 0) return true;
  struct stat st {};
  for (const std::string& f : dictionary.files)
    if (::stat(f.c_str(), &st) == 0 && Newer(st, book)) return true;
  return false;
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
  if (run.progress) run.progress->SetRange(0, kSlot * static_cast<int64_t>(dictionaries.size()));
  for (size_t i = 0; i < dictionaries.size(); ++i) {
    const FoundDictionary& d = dictionaries[i];
    DictionaryOutcome& out = outcomes[i];
    const int64_t start = kSlot * static_cast<int64_t>(i);
    if (run.stop && run.stop->load()) {
      out.result = DictionaryResult::kStopped;
    } else if (!NeedsImport(d)) {
      out.result = DictionaryResult::kCurrent;
    } else {
      std::error_code error;
      const std::filesystem::path folder = std::filesystem::path(d.book).parent_path();
      std::filesystem::create_directories(folder, error);
      if (error) {
        out.reason = folder.string() + ": " + SystemErrorText(error.value());
      } else {
        const ImportFormat* format =
            FindImportFormat(d.kind == DictionaryKind::kDictd ? "dictd" : "stardict");
        BookImport import(*format);
        import.SetStop(run.stop);
        FinderHost host(run.progress, start);
        switch (RunBookImport(import, d.source, d.book, host)) {
          case ImportEnd::kWritten:
            out.result = DictionaryResult::kImported;
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
