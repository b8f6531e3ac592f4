#include "desktop_files.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "atomic_file.h"

namespace ql {

namespace {

namespace fs = std::filesystem;

constexpr std::string_view kDefaultGroup = "[Default Applications]";

std::string FromEnvironment(const char* name, const char* fallbackUnderHome) {
  if (const char* value = std::getenv(name); value && *value == '/') return value;
  const char* home = std::getenv("HOME");
  return std::string(home && *home ? home : "") + fallbackUnderHome;
}

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
  AtomicFile file;
  if (!file.Open(path)) return false;
  if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), file.Stream()) != bytes.size())
    return false;
  return file.Commit();
}

std::string Trim(std::string_view s) {
  size_t a = 0, b = s.size();
  while (a < b && (s[a] == ' ' || s[a] == '\t' || s[a] == '\r')) ++a;
  while (b > a && (s[b - 1] == ' ' || s[b - 1] == '\t' || s[b - 1] == '\r')) --b;
  return std::string(s.substr(a, b - a));
}

}  // namespace

UserDirectories UserDirectoriesFromEnvironment() {
  return {FromEnvironment("XDG_DATA_HOME", "/.local/share"),
          FromEnvironment("XDG_CONFIG_HOME", "/.config")};
}

std::string DesktopEntryFor(std::string_view entry, const std::string& program) {
  std::string out;
  std::istringstream lines{std::string(entry)};
  std::string line;
  while (std::getline(lines, line)) {
    if (line.rfind("Exec=", 0) == 0) line = "Exec=\"" + program + "\" %f";
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
      {dirs.dataHome + "/icons/hicolor/64x64/apps/quillary.png", std::string(files.icon)},
  };
  std::vector<std::string> written;
  for (const auto& [path, bytes] : wanted) {
    std::error_code error;
    if (bytes.empty() || fs::exists(fs::symlink_status(path, error))) continue;
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
        // A default is set: someone else's stays; ours is already there.
        return std::string(mimeapps);
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
