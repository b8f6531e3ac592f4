// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
#include "lock_keys.h"

#include <filesystem>
#include <fstream>

namespace ql {

namespace {

bool EndsWith(const std::string& s, const std::string& tail) {
  return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

bool IsLit(const std::filesystem::path& led) {
  std::ifstream in(led / "brightness");
  int brightness = 0;
  return in >> brightness && brightness > 0;
}

}  // namespace

std::optional<LockStates> ReadLockStates(const std::string& ledDirectory) {
  std::error_code error;
  std::filesystem::directory_iterator it(ledDirectory, error);
  if (error) return std::nullopt;
  LockStates states;
  bool found = false;
  // Every keyboard has its own LEDs; a lock is on when any of them is lit.
  for (const auto& entry : it) {
    const std::string name = entry.path().filename().string();
    bool* state = EndsWith(name, "::capslock")     ? &states.caps
                  : EndsWith(name, "::numlock")    ? &states.num
                  : EndsWith(name, "::scrolllock") ? &states.scroll
                                                   : nullptr;
    if (!state) continue;
    found = true;
    if (IsLit(entry.path())) *state = true;
  }
  if (!found) return std::nullopt;
  return states;
}

}  // namespace ql
