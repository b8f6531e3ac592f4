// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
#include "lasting_history.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <vector>

#include "atomic_file.h"
#include "document.h"
#include "local_files.h"
#include "user_dirs.h"

namespace ql {

namespace {

constexpr std::string_view kHeader = "quillary history 1";
constexpr std::string_view kCurrent = "current ";
// A step's line as written: a path and a subject of a few kilobytes at most.
constexpr size_t kMaxLine = 16 * 1024;
// More than any file of kLastingHistoryLimit such lines; a bigger file is
// read this far.
constexpr size_t kMaxFile = (kLastingHistoryLimit + 2) * kMaxLine;

void Escape(std::string& out, std::string_view text) {
  for (const char c : text) {
    switch (c) {
      case '\\':
        out += "\\\\";
        break;
      case '\t':
        out += "\\t";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      default:
        out += c;
    }
  }
}

std::optional<std::string> Unescape(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\') {
      out += text[i];
      continue;
    }
    if (++i == text.size()) return std::nullopt;
    switch (text[i]) {
      case '\\':
        out += '\\';
        break;
      case 't':
        out += '\t';
        break;
      case 'n':
        out += '\n';
        break;
      case 'r':
        out += '\r';
        break;
      default:
        return std::nullopt;
    }
  }
  return out;
}

std::optional<HistoryEntry> ParseStep(std::string_view line) {
  // No path or book text holds a NUL byte.
  if (line.size() > kMaxLine || line.find('\0') != std::string_view::npos) return std::nullopt;
  const size_t tab = line.find('\t');
  if (tab == std::string_view::npos) return std::nullopt;
  std::optional<std::string> path = Unescape(line.substr(0, tab));
  std::optional<std::string> subject = Unescape(line.substr(tab + 1));
  if (!path || !subject || subject->empty()) return std::nullopt;
  // A book is named by its whole path; an empty one is a lookup over the group.
  if (!path->empty() && (*path)[0] != '/') return std::nullopt;
  return HistoryEntry{std::move(*path), std::move(*subject)};
}

std::optional<size_t> ParseCount(std::string_view text) {
  if (text.empty() || text.size() > 9) return std::nullopt;
  size_t n = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    n = n * 10 + static_cast<size_t>(c - '0');
  }
  return n;
}

// The folders above file, made as needed (private to the user).
bool MakeParents(const std::string& file) {
  for (size_t slash = file.find('/', 1); slash != std::string::npos;
       slash = file.find('/', slash + 1)) {
    const std::string dir = file.substr(0, slash);
    if (::mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) return false;
  }
  return true;
}

}  // namespace

std::string HistoryFilePath() {
  return UserDataDirectory() + "/quillary/history";
}

std::string FormatHistory(const History& history) {
  std::string out(kHeader);
  out += '\n';
  out += kCurrent;
  out += std::to_string(history.Entries().empty() ? 0 : history.Current());
  out += '\n';
  for (const HistoryEntry& step : history.Entries()) {
    Escape(out, step.path);
    out += '\t';
    Escape(out, step.subject);
    out += '\n';
  }
  return out;
}

History ParseHistory(std::string_view bytes) {
  History history(kLastingHistoryLimit);
  if (bytes.size() > kMaxFile) bytes = bytes.substr(0, kMaxFile);
  std::vector<HistoryEntry> steps;
  std::optional<size_t> current;
  bool first = true;
  size_t skippedBeforeCurrent = 0;
  while (!bytes.empty()) {
    const size_t end = bytes.find('\n');
    // A last line without its line feed was cut short: it is not used.
    if (end == std::string_view::npos) break;
    std::string_view line = bytes.substr(0, end);
    bytes.remove_prefix(end + 1);
    if (first) {
      first = false;
      if (line != kHeader) return history;  // not a history file, or a newer one
      continue;
    }
    if (!current && line.substr(0, kCurrent.size()) == kCurrent) {
      current = ParseCount(line.substr(kCurrent.size()));
      if (!current) current = SIZE_MAX;
      continue;
    }
    if (std::optional<HistoryEntry> step = ParseStep(line)) {
      steps.push_back(std::move(*step));
      // Steps beyond the limit are let go as they come, so memory stays
      // bounded whatever the file holds.
      if (steps.size() > 2 * kLastingHistoryLimit) {
        steps.erase(steps.begin(), steps.begin() + kLastingHistoryLimit);
        skippedBeforeCurrent += kLastingHistoryLimit;
      }
    }
  }
  size_t at = current.value_or(SIZE_MAX);
  at = at >= skippedBeforeCurrent ? at - skippedBeforeCurrent : SIZE_MAX;
  history.Restore(std::move(steps), at);
  return history;
}

void LastingHistory::Load(History& history) {
  // Whatever stands at the path (a FIFO, a folder) never holds the start up.
  const std::string bytes = ReadSmallFile(iFile, kMaxFile).bytes;
  history = ParseHistory(bytes);
  iSavedAt = history.Changes();
}

bool LastingHistory::Save(const History& history, std::string& reason) {
  if (!Unsaved(history)) return true;
  if (!MakeParents(iFile) || !WriteFileWhole(iFile, FormatHistory(history))) {
    reason = iFile + ": " + std::strerror(errno);
    return false;
  }
  iSavedAt = history.Changes();
  return true;
}

StepTarget FindStep(Document& doc, const HistoryEntry& step,
                    const std::function<bool(const std::string&)>& open) {
  if (step.path.empty()) return {};
  if (!(doc.IsOpen() && doc.Path() == step.path) && (!open(step.path) || !doc.IsOpen())) return {};
  const int index = doc.Reader().FindSubject(MatchWhole, step.subject);
  if (index < 0) return {StepFound::kGone, -1};
  return {StepFound::kFound, index};
}

}  // namespace ql
