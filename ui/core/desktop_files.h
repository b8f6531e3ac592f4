// The desktop's knowledge of books: the book type, the desktop entry and the
// icon in the user's data directory, and the reader as the default for books.
// Files the user already has are left alone; the default is claimed only
// when none is set or it is already ours.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace ql {

inline constexpr const char* kBookMimeType = "application/x-quillary";
inline constexpr const char* kDesktopEntryName = "quillary.desktop";

struct UserDirectories {
  std::string dataHome;    // $XDG_DATA_HOME or ~/.local/share
  std::string configHome;  // $XDG_CONFIG_HOME or ~/.config
};
UserDirectories UserDirectoriesFromEnvironment();

struct IntegrationFiles {
  std::string_view mimeXml;
  std::string_view desktopEntry;  // its Exec line is pointed at program
  std::string_view icon;
};

// Writes the files that are missing (mime/packages/quillary.xml,
// applications/quillary.desktop, the 64x64 icon); returns the paths written.
std::vector<std::string> InstallUserFiles(const UserDirectories& dirs,
                                          const IntegrationFiles& files,
                                          const std::string& program);

// The desktop entry with its Exec line running program.
std::string DesktopEntryFor(std::string_view entry, const std::string& program);

// mimeapps.list text with the reader as the default for books, when no
// default is set or it is already ours; the text unchanged otherwise.
std::string ClaimDefault(std::string_view mimeapps);
// Applies ClaimDefault to configHome/mimeapps.list; true when it changed.
bool ClaimDefaultApplication(const UserDirectories& dirs);

}  // namespace ql
