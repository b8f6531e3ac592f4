// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
#include "library_rows.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>

#include "user_texts.h"

namespace ql {

std::string ReadableSize(int64_t bytes) {
  if (bytes < 0) bytes = 0;
  if (bytes == 1) return translate("core", "1 byte");
  if (bytes < 1024) return Fill(translate("core", "%1 bytes"), {std::to_string(bytes)});
  static constexpr const char* kUnits[] = {"KB", "MB", "GB", "TB"};
  double value = static_cast<double>(bytes) / 1024.0;
  size_t unit = 0;
  // 1023.6 KB would read "1024 KB": it is 1.0 MB.
  while (value >= 1023.5 && unit + 1 < std::size(kUnits)) {
    value /= 1024.0;
    ++unit;
  }
  char text[32];
  // One decimal below ten, where it still says something; and 9.96 KB reads
  // "10 KB", not "10.0 KB".
  if (value < 9.95)
    std::snprintf(text, sizeof text, "%.1f %s", value, kUnits[unit]);
  else
    std::snprintf(text, sizeof text, "%.0f %s", value, kUnits[unit]);
  return text;
}

std::string GroupedCount(int64_t count) {
  const std::string digits = std::to_string(count < 0 ? 0 : count);
  std::string out;
  for (size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) out += ',';
    out += digits[i];
  }
  return out;
}

std::vector<LibraryRow> MakeLibraryRows(const std::vector<LibraryBook>& books,
                                        const std::map<std::string, BookStatus>& probed) {
  std::vector<LibraryRow> rows;
  rows.reserve(books.size());
  for (const LibraryBook& book : books) {
    LibraryRow row;
    row.path = book.path;
    row.enabled = book.enabled;
    const auto found = probed.find(book.path);
    const BookStatus* status = found == probed.end() ? nullptr : &found->second;
    row.title = status && !status->title.empty()
                    ? status->title
                    : std::filesystem::path(book.path).filename().string();
    if (status && status->state == BookState::kOpen) row.subjects = GroupedCount(status->subjects);
    if (status && status->state != BookState::kUnknown && status->size > 0)
      row.size = ReadableSize(status->size);
    if (!book.enabled) {
      row.state = translate("core", "Off");
    } else if (!status || status->state == BookState::kUnknown) {
      row.state = translate("core", "Checking...");
    } else if (status->state == BookState::kFailed) {
      row.failed = true;
      row.state = status->reason.empty() ? translate("core", "Failed")
                                         : Fill(translate("core", "Failed: %1"), {status->reason});
    } else if (status->state == BookState::kOff) {
      row.state = translate("core", "Off");
    } else {
      row.state = translate("core", "Open");
    }
    rows.push_back(std::move(row));
  }
  return rows;
}

namespace {

// The selected books' paths, in library order, each once; rows out of range
// are left out.
std::vector<std::string> SelectedPaths(const Library& library, std::vector<int> rows) {
  const std::vector<LibraryBook>& books = library.Books();
  std::sort(rows.begin(), rows.end());
  rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
  std::vector<std::string> paths;
  for (int row : rows)
    if (row >= 0 && static_cast<size_t>(row) < books.size())
      paths.push_back(books[static_cast<size_t>(row)].path);
  return paths;
}

}  // namespace

LibraryActions ActionsFor(const Library& library, const std::vector<int>& rows,
                          std::string_view group) {
  LibraryActions actions;
  const bool realGroup = !group.empty() && group != kAllBooks;
  if (realGroup) {
    const std::vector<std::string> names = library.GroupNames();
    actions.deleteGroup = std::find(names.begin(), names.end(), group) != names.end();
  }
  const std::vector<std::string> paths = SelectedPaths(library, rows);
  if (paths.empty()) return actions;
  actions.remove = true;
  for (const std::string& path : paths) {
    const LibraryBook* book = library.Find(path);
    if (book && book->enabled) actions.switchOff = true;
    if (book && !book->enabled) actions.switchOn = true;
    if (actions.deleteGroup) {
      if (library.InGroup(group, path))
        actions.takeOutOfGroup = true;
      else
        actions.putInGroup = true;
    }
  }
  if (paths.size() == 1) {
    const std::vector<LibraryBook>& books = library.Books();
    actions.moveUp = books.front().path != paths.front();
    actions.moveDown = books.back().path != paths.front();
  }
  return actions;
}

bool ToggleSelected(Library& library, const std::vector<int>& rows) {
  const LibraryActions actions = ActionsFor(library, rows, {});
  if (!actions.remove) return false;
  const bool on = !actions.switchOff;
  bool changed = false;
  for (const std::string& path : SelectedPaths(library, rows))
    changed = library.SetEnabled(path, on) || changed;
  return changed;
}

bool SetSelectedInGroup(Library& library, const std::vector<int>& rows, const std::string& group,
                        bool in) {
  bool changed = false;
  for (const std::string& path : SelectedPaths(library, rows))
    if (library.InGroup(group, path) != in)
      changed = library.SetInGroup(group, path, in) || changed;
  return changed;
}

BookProber::BookProber(Probe probe) : iProbe(std::move(probe)) {
  iThread = std::thread([this] { Work(); });
}

BookProber::~BookProber() {
  {
    std::lock_guard<std::mutex> lock(iMutex);
    iQuit = true;
  }
  iWake.notify_all();
  iThread.join();
}

void BookProber::Start(std::vector<std::string> paths) {
  {
    std::lock_guard<std::mutex> lock(iMutex);
    iQueue = std::move(paths);
    iNext = 0;
    ++iGeneration;
    iFound.clear();
  }
  iWake.notify_all();
}

std::vector<std::pair<std::string, BookStatus>> BookProber::Take() {
  std::lock_guard<std::mutex> lock(iMutex);
  std::vector<std::pair<std::string, BookStatus>> found;
  found.swap(iFound);
  return found;
}

bool BookProber::Busy() const {
  std::lock_guard<std::mutex> lock(iMutex);
  return iProbing || iNext < iQueue.size() || !iFound.empty();
}

void BookProber::Stop() {
  std::unique_lock<std::mutex> lock(iMutex);
  iQueue.clear();
  iNext = 0;
  ++iGeneration;
  iWake.wait(lock, [this] { return !iProbing; });
  iFound.clear();
}

void BookProber::Work() {
  std::unique_lock<std::mutex> lock(iMutex);
  for (;;) {
    iWake.wait(lock, [this] { return iQuit || iNext < iQueue.size(); });
    if (iQuit) return;
    const std::string path = iQueue[iNext++];
    const uint64_t generation = iGeneration;
    iProbing = true;
    lock.unlock();
    BookStatus status = iProbe(path);
    lock.lock();
    iProbing = false;
    // A result of a superseded round is dropped.
    if (generation == iGeneration) iFound.emplace_back(path, std::move(status));
    iWake.notify_all();
  }
}

}  // namespace ql
