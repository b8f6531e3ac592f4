// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
#include "desktop_files.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <thread>

#include "atomic_file.h"
#include "user_dirs.h"

extern char** environ;

namespace ql {

namespace {

namespace fs = std::filesystem;

constexpr std::string_view kDefaultGroup = "[Default Applications]";
constexpr std::string_view kEntryGroup = "[Desktop Entry]";
constexpr const char* kMimeFile = "/mime/packages/quillary.xml";
constexpr const char* kApplicationsDirectory = "/applications/";
constexpr const char* kDefaultDataDirs[] = {"/usr/local/share", "/usr/share"};
// Characters the Exec format escapes with a backslash inside quotes.
constexpr std::string_view kQuotedEscapes = "\"`$\\";

bool ReadWhole(const std::string& path, std::string& out) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::ostringstream text;
  text << in.rdbuf();
  out = text.str();
  return true;
}

// Writes through a temporary file, so a reader never sees half of it.
bool WriteWhole(const std::string& path, std::string_view bytes) {
  std::error_code error;
  fs::create_directories(fs::path(path).parent_path(), error);
  return WriteFileWhole(path, bytes);
}

std::string Trim(std::string_view s) {
  size_t a = 0, b = s.size();
  while (a < b && (s[a] == ' ' || s[a] == '\t' || s[a] == '\r')) ++a;
  while (b > a && (s[b - 1] == ' ' || s[b - 1] == '\t' || s[b - 1] == '\r')) --b;
  return std::string(s.substr(a, b - a));
}

bool Exists(const std::string& path) {
  std::error_code error;
  return fs::exists(fs::symlink_status(path, error));
}

// The string escapes of a desktop entry value undone: \s \n \t \r \\ (any
// other backslash stays as it is, for the Exec rules to judge).
std::string UnescapeString(std::string_view value) {
  std::string out;
  for (size_t i = 0; i < value.size(); ++i) {
    if (value[i] != '\\' || i + 1 == value.size()) {
      out += value[i];
      continue;
    }
    switch (value[i + 1]) {
      case 's':
        out += ' ';
        break;
      case 'n':
        out += '\n';
        break;
      case 't':
        out += '\t';
        break;
      case 'r':
        out += '\r';
        break;
      case '\\':
        out += '\\';
        break;
      default:
        out += value[i];
        continue;
    }
    ++i;
  }
  return out;
}

// The value of key in the [Desktop Entry] group of entry, if there.
std::optional<std::string> EntryValue(std::string_view entry, std::string_view key) {
  std::istringstream lines{std::string(entry)};
  std::string line;
  bool inGroup = false;
  while (std::getline(lines, line)) {
    const std::string trimmed = Trim(line);
    if (!trimmed.empty() && trimmed.front() == '[') {
      inGroup = trimmed == kEntryGroup;
      continue;
    }
    const size_t eq = trimmed.find('=');
    if (inGroup && eq != std::string::npos && Trim(trimmed.substr(0, eq)) == key)
      return Trim(trimmed.substr(eq + 1));
  }
  return std::nullopt;
}

bool SameProgram(const std::string& a, const std::string& b) {
  if (a == b) return true;
  std::error_code error;
  return fs::equivalent(a, b, error) && !error;
}

// Whether the desktop entry at path should be written (again) for program:
// when there is none, or it is a file of ours whose Exec runs another program
// or is what earlier starts wrote, one book per process ("%f").
bool EntryWanted(const std::string& path, const std::string& program) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0) return errno == ENOENT;
  if (!S_ISREG(st.st_mode)) return false;
  std::string text;
  if (!ReadWhole(path, text)) return false;
  const std::optional<std::string> exec = EntryValue(text, "Exec");
  if (!exec) return false;
  const std::string runs = DesktopExecProgram(*exec);
  if (runs.empty()) return false;
  std::string oneBook = DesktopExecFor(program);
  oneBook.back() = 'f';
  return !SameProgram(runs, program) || *exec == oneBook;
}

// Whether the entry at path is one an earlier build wrote under the old
// name: a file (a link is the user's own) whose Exec runs a program named
// quillary and that opens books.
bool OldEntryOfOurs(const std::string& path) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
  std::string text;
  if (!ReadWhole(path, text)) return false;
  const std::optional<std::string> exec = EntryValue(text, "Exec");
  const std::optional<std::string> types = EntryValue(text, "MimeType");
  return exec && types && fs::path(DesktopExecProgram(*exec)).filename() == "quillary" &&
         (";" + *types).find(std::string(";") + kBookMimeType + ";") != std::string::npos;
}

// The list of desktop entries value names with the old name of ours taken
// out, the id put where it stood unless the list has it already.
std::string RenamedOldEntry(std::string_view value) {
  std::vector<std::string> items;
  std::istringstream parts{std::string(value)};
  std::string item;
  while (std::getline(parts, item, ';')) items.push_back(Trim(item));
  const bool hasId = std::find(items.begin(), items.end(), kDesktopEntryName) != items.end();
  std::string out;
  for (const std::string& name : items) {
    if (name == kOldDesktopEntryName && hasId) continue;
    if (!out.empty()) out += ';';
    out += name == kOldDesktopEntryName ? kDesktopEntryName : name;
  }
  if (!value.empty() && value.back() == ';') out += ';';
  return out;
}

}  // namespace

UserDirectories UserDirectoriesFromEnvironment() {
  UserDirectories dirs{UserDataDirectory(), BaseDirectory("XDG_CONFIG_HOME", "/.config"), {}};
  if (const char* list = std::getenv("XDG_DATA_DIRS")) {
    std::istringstream parts{std::string(list)};
    std::string dir;
    // Only absolute paths count, as the base directory rules say.
    while (std::getline(parts, dir, ':'))
      if (!dir.empty() && dir.front() == '/') dirs.dataDirs.push_back(dir);
  }
  if (dirs.dataDirs.empty())
    dirs.dataDirs.assign(std::begin(kDefaultDataDirs), std::end(kDefaultDataDirs));
  return dirs;
}

std::string DesktopExecFor(const std::string& program) {
  // Inside the quotes '"', '`', '$' and '\' take a backslash and '%' is
  // doubled; then the value's own string escapes apply on top, doubling
  // every backslash (so a literal backslash ends up as four).
  std::string quoted = "\"";
  for (char c : program) {
    if (kQuotedEscapes.find(c) != std::string_view::npos) quoted += '\\';
    quoted += c;
    if (c == '%') quoted += '%';
  }
  quoted += '"';
  std::string out;
  for (char c : quoted) {
    switch (c) {
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\t':
        out += "\\t";
        break;
      case '\r':
        out += "\\r";
        break;
      default:
        out += c;
    }
  }
  return out + " %F";
}

std::string DesktopExecProgram(std::string_view exec) {
  const std::string value = UnescapeString(exec);
  size_t i = 0;
  while (i < value.size() && (value[i] == ' ' || value[i] == '\t')) ++i;
  std::string program;
  if (i < value.size() && value[i] == '"') {
    for (++i;; ++i) {
      if (i >= value.size()) return {};  // no closing quote
      const char c = value[i];
      if (c == '"') break;
      if (c == '\\') {
        if (i + 1 >= value.size() || kQuotedEscapes.find(value[i + 1]) == std::string_view::npos)
          return {};
        program += value[++i];
      } else {
        program += c;
      }
    }
  } else {
    while (i < value.size() && value[i] != ' ' && value[i] != '\t' && value[i] != '\n')
      program += value[i++];
  }
  // A literal '%' is written doubled.
  std::string out;
  for (size_t k = 0; k < program.size(); ++k) {
    out += program[k];
    if (program[k] == '%' && k + 1 < program.size() && program[k + 1] == '%') ++k;
  }
  return out;
}

namespace {

// Whether any system data directory holds relative (the user's own copies
// are not the system's).
bool InSystemDirectory(const UserDirectories& dirs, const std::string& relative) {
  return std::any_of(dirs.dataDirs.begin(), dirs.dataDirs.end(), [&](const std::string& dir) {
    return dir != dirs.dataHome && Exists(dir + relative);
  });
}

}  // namespace

bool EntryInstalledSystemWide(const UserDirectories& dirs) {
  return InSystemDirectory(dirs, std::string(kApplicationsDirectory) + kDesktopEntryName);
}

bool InstalledSystemWide(const UserDirectories& dirs) {
  return InSystemDirectory(dirs, kMimeFile) && EntryInstalledSystemWide(dirs);
}

std::vector<std::vector<std::string>> CacheRefreshCommands(
    const UserDirectories& dirs, const std::vector<std::string>& written) {
  auto wrote = [&](const std::string& path) {
    return std::find(written.begin(), written.end(), path) != written.end();
  };
  std::vector<std::vector<std::string>> commands;
  if (wrote(dirs.dataHome + kMimeFile))
    commands.push_back({"update-mime-database", dirs.dataHome + "/mime"});
  if (wrote(dirs.dataHome + kApplicationsDirectory + kDesktopEntryName) ||
      wrote(dirs.dataHome + kApplicationsDirectory + kOldDesktopEntryName))
    commands.push_back({"update-desktop-database", "-q", dirs.dataHome + "/applications"});
  return commands;
}

bool StartDetached(const std::vector<std::string>& command) {
  if (command.empty()) return false;
  std::vector<std::string> args = command;
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  if (posix_spawn_file_actions_init(&actions) != 0) return false;
  for (int fd : {0, 1, 2})
    posix_spawn_file_actions_addopen(&actions, fd, "/dev/null", fd == 0 ? O_RDONLY : O_WRONLY, 0);
  pid_t pid = 0;
  const int r = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (r != 0) return false;
  // Nobody waits for the tool; a thread of its own collects it when done.
  std::thread([pid] {
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
  }).detach();
  return true;
}

std::string DesktopEntryFor(std::string_view entry, const std::string& program) {
  std::string out;
  std::istringstream lines{std::string(entry)};
  std::string line;
  while (std::getline(lines, line)) {
    if (line.rfind("Exec=", 0) == 0) line = "Exec=" + DesktopExecFor(program);
    out += line;
    out += '\n';
  }
  return out;
}

std::vector<std::string> InstallUserFiles(const UserDirectories& dirs,
                                          const IntegrationFiles& files,
                                          const std::string& program) {
  const std::pair<std::string, std::string> wanted[] = {
      {dirs.dataHome + "/mime/packages/quillary.xml", std::string(files.mimeXml)},
      {dirs.dataHome + "/applications/" + kDesktopEntryName,
       DesktopEntryFor(files.desktopEntry, program)},
      {dirs.dataHome + kUserIconPath, std::string(files.icon)},
  };
  std::vector<std::string> written;
  // Beside the entry under the id it would show the reader twice.
  const std::string old = dirs.dataHome + kApplicationsDirectory + kOldDesktopEntryName;
  if (OldEntryOfOurs(old) && std::remove(old.c_str()) == 0) written.push_back(old);
  if (InstalledSystemWide(dirs)) return written;
  const std::string& entry = wanted[1].first;
  const bool systemEntry = EntryInstalledSystemWide(dirs);
  for (const auto& [path, bytes] : wanted) {
    if (bytes.empty()) continue;
    if (path == entry ? systemEntry || !EntryWanted(path, program) : Exists(path)) continue;
    if (WriteWhole(path, bytes)) written.push_back(path);
  }
  return written;
}

std::string ClaimDefault(std::string_view mimeapps) {
  const std::string key = kBookMimeType;
  std::string out;
  bool inGroup = false, sawGroup = false, claimed = false;
  std::istringstream lines{std::string(mimeapps)};
  std::string line;
  std::vector<std::string> all;
  while (std::getline(lines, line)) all.push_back(line);
  for (size_t i = 0; i < all.size(); ++i) {
    const std::string trimmed = Trim(all[i]);
    if (!trimmed.empty() && trimmed.front() == '[') {
      // Leaving the group without a default for books: add ours at its end.
      if (inGroup && !claimed) {
        out += key + "=" + kDesktopEntryName + "\n";
        claimed = true;
      }
      inGroup = trimmed == kDefaultGroup;
      sawGroup = sawGroup || inGroup;
    } else if (inGroup) {
      const size_t eq = trimmed.find('=');
      if (eq != std::string::npos && Trim(trimmed.substr(0, eq)) == key) {
        // A default is set: someone else's stays; ours is already there,
        // perhaps under its old name, which the id replaces.
        const std::string value = Trim(trimmed.substr(eq + 1));
        const std::string renamed = RenamedOldEntry(value);
        if (renamed == value) return std::string(mimeapps);
        all[i] = key + "=" + renamed;
        claimed = true;
      }
    }
    out += all[i];
    out += '\n';
  }
  if (inGroup && !claimed) {
    out += key + "=" + kDesktopEntryName + "\n";
  } else if (!sawGroup) {
    if (!out.empty() && out.back() != '\n') out += '\n';
    out += std::string(kDefaultGroup) + "\n" + key + "=" + kDesktopEntryName + "\n";
  }
  return out;
}

bool ClaimDefaultApplication(const UserDirectories& dirs) {
  const std::string path = dirs.configHome + "/mimeapps.list";
  std::string text;
  ReadWhole(path, text);
  const std::string claimed = ClaimDefault(text);
  if (claimed == text) return false;
  return WriteWhole(path, claimed);
}

}  // namespace ql
