// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// The recent-file list: five paths, newest first, no duplicates.
#pragma once

#include <string>
#include <vector>

namespace ql {

inline constexpr int kRecentFileCount = 5;
inline constexpr const char* kRecentFileSection = "Recent File List";
inline constexpr const char* kRecentFileEntry = "File%d";  // numbered from 1

class RecentFileList {
 public:
  // Puts path first, dropping an older entry of the same path and the oldest
  // beyond five.
  void Add(const std::string& path);
  void Remove(const std::string& path);
  const std::vector<std::string>& Paths() const { return iPaths; }
  void SetPaths(std::vector<std::string> paths);  // as loaded; blanks dropped, cut to five
  // The menu label of entry i (0-based): "&1 path", shortened in the middle
  // when long.
  static std::string MenuLabel(int i, const std::string& path);

 private:
  std::vector<std::string> iPaths;
};

}  // namespace ql
