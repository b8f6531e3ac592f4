// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// Small helpers several test suites share: an environment variable set for
// one test, a directory's names, and a book's entries as pairs.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "book_fixture.h"
#include "book_reader.h"

namespace qltest {

// Sets (or with nullptr / nullopt unsets) a variable until the end of scope.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value)
      : ScopedEnv(name, value ? std::optional<std::string>(value) : std::nullopt) {}
  ScopedEnv(const char* name, std::optional<std::string> value) : iName(name) {
    if (const char* old = std::getenv(name)) iOld = old;
    if (value)
      ::setenv(name, value->c_str(), 1);
    else
      ::unsetenv(name);
  }
  ~ScopedEnv() {
    if (iOld)
      ::setenv(iName, iOld->c_str(), 1);
    else
      ::unsetenv(iName);
  }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  const char* iName;
  std::optional<std::string> iOld;
};

// The names in dir, sorted.
inline std::vector<std::string> DirectoryNames(const std::string& dir) {
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(dir))
    names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

using Pairs = std::vector<std::pair<std::string, std::string>>;

// Every subject and stored text of the open book.
inline Pairs ReadEntries(ql::BookReader& reader) {
  Pairs entries;
  for (int i = 0; i < reader.GetSubjectCount(); ++i) {
    EXPECT_EQ(reader.LoadRecord(i), 1);
    entries.emplace_back(reader.GetSubject(i), std::string(reader.CurrentRecordText()));
  }
  return entries;
}

// A small book the flow tests open, replace and convert: a bold word, a
// link and an ampersand.
inline const std::vector<Entry> kFruitEntries = {
    {"apple",
     "A red \t\x01"
     "fruit\t\x02."},
    {"banana",
     "Yellow; see \t\x11"
     "apple>the apple\t\x12."},
    {"cherry", "Small & dark."},
};

inline Pairs AsPairs(const std::vector<Entry>& entries) {
  Pairs out;
  for (const Entry& e : entries) out.emplace_back(e.subject, e.text);
  return out;
}

}  // namespace qltest
