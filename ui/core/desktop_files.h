// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// The desktop's knowledge of books: the book type, the desktop entry and the
// icon in the user's data directory, and the reader as the default for books.
// Files the user already has are left alone, but for a desktop entry that
// runs another program (this one has moved): it is written again. Nothing
// goes to the user's directory when the type and the entry are installed for
// the whole system, and no entry when the system has one (a copy in the
// user's directory would hide it). The default is claimed only when none is
// set or it is already ours. An entry earlier builds wrote under the name
// before the application's id is taken away, and a default naming it moves
// to the id.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "ql_version.h"

namespace ql {

inline constexpr const char* kBookMimeType = "application/x-quillary";
inline constexpr const char* kDesktopEntryName = QL_APP_ID ".desktop";
// The name of the desktop entry in earlier builds.
inline constexpr const char* kOldDesktopEntryName = "quillary.desktop";
inline constexpr const char* kUserIconPath = "/icons/hicolor/64x64/apps/" QL_APP_ID ".png";

struct UserDirectories {
  std::string dataHome;    // $XDG_DATA_HOME or ~/.local/share
  std::string configHome;  // $XDG_CONFIG_HOME or ~/.config
  // Where the system's data lives: $XDG_DATA_DIRS, else /usr/local/share and /usr/share.
  std::vector<std::string> dataDirs;
};
UserDirectories UserDirectoriesFromEnvironment();

struct IntegrationFiles {
  std::string_view mimeXml;
  std::string_view desktopEntry;  // its Exec line is pointed at program
  std::string_view icon;
};

// Writes the files that are missing (mime/packages/quillary.xml, the desktop
// entry under applications/, the 64x64 icon) and the desktop entry again
// when its Exec runs a program other than program (a link there is the
// user's own and stays); no entry when EntryInstalledSystemWide, nothing when
// InstalledSystemWide. An entry under kOldDesktopEntryName that runs a
// program named quillary for books is removed. Returns the paths written, and
// the old entry's when it was removed.
std::vector<std::string> InstallUserFiles(const UserDirectories& dirs,
                                          const IntegrationFiles& files,
                                          const std::string& program);

// The desktop entry with its Exec line running program.
std::string DesktopEntryFor(std::string_view entry, const std::string& program);

// The Exec value (as the file holds it) running program on the books chosen:
// the program quoted and escaped as the desktop entry format wants, then
// "%F" (one start gets all the books).
std::string DesktopExecFor(const std::string& program);
// The program an Exec value (as the file holds it) runs: its first
// argument, unescaped; empty when the value cannot be read.
std::string DesktopExecProgram(std::string_view exec);
// True when the book type and the desktop entry are both installed in the
// system's data directories (dirs.dataDirs).
bool InstalledSystemWide(const UserDirectories& dirs);
// True when a desktop entry of ours is installed in the system's data
// directories.
bool EntryInstalledSystemWide(const UserDirectories& dirs);

// The commands that rebuild the desktop's caches after InstallUserFiles wrote
// written: the mime database for the type, the desktop database for the entry.
std::vector<std::vector<std::string>> CacheRefreshCommands(const UserDirectories& dirs,
                                                           const std::vector<std::string>& written);
// Starts command (found on PATH, output discarded) without waiting for it;
// false when it could not be started, a missing tool among others.
bool StartDetached(const std::vector<std::string>& command);

// mimeapps.list text with the reader as the default for books, when no
// default is set or it is already ours (under its old name too, which takes
// the id in its place); the text unchanged otherwise.
std::string ClaimDefault(std::string_view mimeapps);
// Applies ClaimDefault to configHome/mimeapps.list; true when it changed.
bool ClaimDefaultApplication(const UserDirectories& dirs);

}  // namespace ql
