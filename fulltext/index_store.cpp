// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
#include "index_store.h"

namespace ql::fts {
std::string IndexFolder() { return {}; }
std::string BookContentKey(const std::string&, std::string& reason) {
  reason = "not built yet";
  return {};
}
std::string ComputeContentKey(const std::string&, std::string& reason) {
  reason = "not built yet";
  return {};
}
std::string IndexPathForKey(const std::string& folder, const std::string& key) {
  return folder + "/" + key + ".qlx";
}
std::string IndexPathFor(const std::string&) { return {}; }
bool RemoveIndexFor(const std::string&) { return false; }
}  // namespace ql::fts
