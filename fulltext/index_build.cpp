// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
#include "index_build.h"

namespace ql::fts {
BuildResult BuildIndex(const std::string&, const std::string&, uint64_t, const BuildOptions&,
                       std::string& reason) {
  reason = "not built yet";
  return BuildResult::kFailed;
}
std::string EnsureIndex(const std::string&, const BuildOptions&, std::string& reason,
                        BuildResult* result) {
  reason = "not built yet";
  if (result) *result = BuildResult::kFailed;
  return {};
}
bool ParseKey(const std::string&, uint64_t&) { return false; }
}  // namespace ql::fts
