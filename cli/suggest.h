// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// Names for a mistyped command or option: the nearest of the names there
// are, so that "qlbook exprot-text" can say what was meant.
#pragma once

#include <CLI/CLI.hpp>
#include <string>
#include <string_view>
#include <vector>

namespace qlcli {

// The edit distance between a and b (insertions, deletions, substitutions
// and swaps of two neighbours), counted up to limit + 1 at most.
size_t EditDistance(std::string_view a, std::string_view b, size_t limit);

// The name nearest to given: the first that begins with it, else the one
// fewest edits away when that is close enough to be a slip (about a third of
// its length); "" when none is.
std::string NearestName(std::string_view given, const std::vector<std::string>& names);

// After a failed parse: when the arguments name a command or an option that
// does not exist, says so on stderr ("qlbook: unknown command ...", with the
// nearest name) and returns true. False when every name is known, so that
// the parser's own message stands.
bool ReportUnknownName(CLI::App& app, int argc, const char* const* argv);

}  // namespace qlcli
