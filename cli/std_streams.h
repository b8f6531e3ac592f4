// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// "-" as a file name: standard input as a book or source, standard output as
// the file a command writes. A book is read at offsets, so standard input that
// is not a regular file is first copied to a private file; what a command
// writes for "-" goes to a private file too (writers replace their target
// only once it is whole) and is copied to standard output when the command
// is done. The private files live in one 0700 directory that is removed on
// exit.
#pragma once

#include <CLI/CLI.hpp>
#include <string>

namespace qlcli {

inline constexpr const char* kStdStream = "-";

// CLI11 transforms for file arguments: "-" becomes the path standard input
// is read from, or the private file standard output gets.
CLI::Validator StdinFile();
CLI::Validator StdoutFile();

// Whether path is what StdinFile / StdoutFile made of "-".
bool IsStdin(const std::string& path);
bool IsStdout(const std::string& path);

// text with every private path named "-", for messages.
std::string Shown(std::string text);

// Copies the private file written for "-" (when the command wrote one) to
// standard output; false, with the reason on stderr, when that failed.
bool CopyOutToStdout();

}  // namespace qlcli
