// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// Shared pieces of the qlbook commands: exit codes, raw output, errors,
// progress on a terminal, and opening a book with a clear message.
#pragma once

#include <CLI/CLI.hpp>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "book_reader.h"
#include "messages.h"
#include "progress.h"
#include "text_files.h"

namespace qlcli {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;

// The exit status the command's callback decided on.
int& ExitStatus();

// Prints "qlbook: message" on stderr and returns kExitFailure.
int Fail(std::string_view message);
// Same for usage errors (exit status 2).
int UsageError(std::string_view message);

// Raw bytes to stdout; false when stdout failed (a closed pipe, a full disk).
bool WriteOut(std::string_view bytes);
// Flushes stdout; false when that failed.
bool FlushOut();
// "cannot write the output" with the reason the last failed write gave;
// returns kExitFailure.
int FailOutput();

// Opens path with reader in mode; on failure prints why and returns false.
bool OpenBook(ql::BookReader& reader, const std::string& path, int mode);

// When output names the file input names (the same path, a link to it, or
// another path of it), prints why and returns true: writing would destroy
// the input before it was read.
bool RefuseSameFile(const std::string& input, const std::string& output);

// The window's text export names lost entries in the same words.
using ql::CountAndNames;

// Parses a decimal index argument and checks it against the book; prints the
// error and returns false when it is not a valid index.
bool CheckIndex(const ql::BookReader& reader, long long index);

// The books a command over many books works on: each BOOK named, and the
// .ql files directly in each folder named (in name order); the library's
// books that are on when none is named.
std::vector<std::string> BooksNamed(const std::vector<std::string>& args);

// utf8 as a JSON string, quoted and escaped, appended to out.
void AppendJsonString(std::string& out, std::string_view utf8);

// Shows progress on stderr, only when stderr is a terminal.
class TerminalProgress final : public ql::ProgressSink {
 public:
  explicit TerminalProgress(std::string label);
  ~TerminalProgress() override;
  void SetRange(int64_t lower, int64_t upper) override;
  void SetPos(int64_t pos) override;
  void Step() override;

 private:
  void Show();
  std::string iLabel;
  bool iEnabled;
  int64_t iLower = 0, iUpper = 100, iPos = 0;
  int iShownPercent = -1;
};

// Messages from the libraries go to stderr.
class StderrMessages final : public ql::MessageSink {
 public:
  void ShowMessage(std::string_view text, std::string_view caption) override;
};

// Registration of each group of subcommands.
void AddReadCommands(CLI::App& app);          // info subjects head record lookup bookmarks
void AddMakeCommands(CLI::App& app);          // import export-text upgrade
void AddRenderSearchCommands(CLI::App& app);  // render search
void AddExportCommands(CLI::App& app);        // export-pdb
void AddDefineCommand(CLI::App& app);         // define
void AddLibraryCommands(CLI::App& app);       // library
void AddFulltextCommands(CLI::App& app);      // index fts
void AddServeCommand(CLI::App& app);          // serve

}  // namespace qlcli
