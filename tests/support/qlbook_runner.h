// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// Runs the qlbook program for end-to-end tests: arguments are passed through
// the shell quoted, stdout and stderr are captured separately as raw bytes.
#pragma once

#include <string>
#include <vector>

namespace qltest {

struct QlbookRun {
  int status = -1;  // exit status, -1 when the program did not exit normally
  std::string out;
  std::string err;
};

std::string ShellQuote(const std::string& arg);

// The qlbook binary: $QL_BIN_DIR/qlbook (ctest sets it), else bin/qlbook.
std::string QlbookPath();

// Runs qlbook with args. shellPrefix is shell text put before the command,
// e.g. "ulimit -f 8; " or "export SOURCE_DATE_EPOCH=0; ".
QlbookRun RunQlbook(const std::vector<std::string>& args, const std::string& shellPrefix = "");

// The same with standard input given as shell text ("<FILE", or "" to keep
// a pipe the prefix makes) and standard output sent to stdoutPath when it is
// not empty (run.out is then empty).
QlbookRun RunQlbookStreams(const std::vector<std::string>& args, const std::string& shellPrefix,
                           const std::string& stdinRedirect, const std::string& stdoutPath = "");

}  // namespace qltest
