// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
#include "qlbook_runner.h"

#include <sys/wait.h>

#include <cstdlib>

#include "book_fixture.h"

namespace qltest {

std::string ShellQuote(const std::string& arg) {
  std::string q = "'";
  for (char c : arg) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

std::string QlbookPath() {
  const char* dir = std::getenv("QL_BIN_DIR");
  return std::string(dir ? dir : "bin") + "/qlbook";
}

QlbookRun RunQlbook(const std::vector<std::string>& args, const std::string& shellPrefix) {
  return RunQlbookStreams(args, shellPrefix, "</dev/null");
}

QlbookRun RunQlbookStreams(const std::vector<std::string>& args, const std::string& shellPrefix,
                           const std::string& stdinRedirect, const std::string& stdoutPath) {
  TempDir scratch;
  std::string command = ShellQuote(QlbookPath());
  for (const std::string& a : args) command += " " + ShellQuote(a);
  const std::string outPath = scratch.File("out"), errPath = scratch.File("err");
  command = shellPrefix + "exec " + command + " >" +
            ShellQuote(stdoutPath.empty() ? outPath : stdoutPath) + " 2>" + ShellQuote(errPath) +
            " " + stdinRedirect;
  const int status = std::system(("sh -c " + ShellQuote(command)).c_str());
  QlbookRun run;
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  if (stdoutPath.empty()) run.out = ReadFileBytes(outPath);
  run.err = ReadFileBytes(errPath);
  return run;
}

}  // namespace qltest
