// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
#include "recent_files.h"

#include <algorithm>

namespace ql {

namespace {

// Longest path a menu shows whole; longer ones lose their middle.
constexpr size_t kMaxLabelPath = 48;
constexpr std::string_view kEllipsis = "...";

bool IsContinuationByte(char c) {
  return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

// Keeps the start and the end (at least the file name) of a long path, cut
// only between UTF-8 characters.
std::string ShortenPath(const std::string& path) {
  if (path.size() <= kMaxLabelPath) return path;
  const size_t slash = path.find_last_of('/');
  const size_t nameLength = slash == std::string::npos ? path.size() : path.size() - slash;
  const size_t room = kMaxLabelPath - kEllipsis.size();
  size_t tail = std::max(nameLength, room - room / 3);
  size_t head = tail >= room ? 0 : room - tail;
  if (tail >= path.size()) return path;
  while (head > 0 && IsContinuationByte(path[head])) --head;
  size_t tailStart = path.size() - tail;
  while (tailStart < path.size() && IsContinuationByte(path[tailStart])) ++tailStart;
  return path.substr(0, head) + std::string(kEllipsis) + path.substr(tailStart);
}

}  // namespace

void RecentFileList::Add(const std::string& path) {
  if (path.empty()) return;
  Remove(path);
  iPaths.insert(iPaths.begin(), path);
  if (iPaths.size() > static_cast<size_t>(kRecentFileCount)) iPaths.resize(kRecentFileCount);
}

void RecentFileList::Remove(const std::string& path) {
  std::erase(iPaths, path);
}

void RecentFileList::SetPaths(std::vector<std::string> paths) {
  iPaths.clear();
  for (std::string& p : paths) {
    if (p.empty() || std::find(iPaths.begin(), iPaths.end(), p) != iPaths.end()) continue;
    iPaths.push_back(std::move(p));
    if (iPaths.size() == static_cast<size_t>(kRecentFileCount)) break;
  }
}

std::string RecentFileList::MenuLabel(int i, const std::string& path) {
  std::string label = "&" + std::to_string(i + 1) + " ";
  // A menu reads '&' as the mark of the next letter: a path's own is doubled.
  for (char c : ShortenPath(path)) {
    if (c == '&') label.push_back('&');
    label.push_back(c);
  }
  return label;
}

}  // namespace ql
