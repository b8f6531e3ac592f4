// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// qlbook read commands: info, subjects, head, record, lookup and bookmarks.
// They open the book read-only, so they work on read-only files and never
// change a book; only bookmarks --add/--remove open it for writing.
#include <sys/stat.h>
#include <unistd.h>

#include <memory>
#include <string>
#include <vector>

#include "book_format.h"
#include "book_reader.h"
#include "cli_util.h"
#include "fts_search.h"
#include "open_failure.h"
#include "std_streams.h"

namespace qlcli {

namespace {

constexpr int kFirstUserSlot = 1;
constexpr int kLastUserSlot = ql::kBookmarkSlots - 1;

struct ReadArgs {
  std::string book;
  long long index = 0;
  std::string key;
  bool prefix = false;
  bool check = false;
};

struct BookmarkArgs {
  std::string book;
  long long add = -1;
  long long remove = -1;
  CLI::Option* addOption = nullptr;
  CLI::Option* removeOption = nullptr;
};

bool Out(std::string_view bytes) {
  if (WriteOut(bytes)) return true;
  FailOutput();
  return false;
}

void RunInfo(const ReadArgs& args) {
  ql::BookReader reader;
  if (!OpenBook(reader, args.book, ql::kOpenReadOnly)) return;
  reader.LoadStoredBookmarks();
  int inUse = 0;
  for (int slot = kFirstUserSlot; slot <= kLastUserSlot; ++slot)
    if (reader.GetBookmark(slot).textLength != 0) ++inUse;
  std::string text;
  text += reader.IsVersion2() ? "format: 2\n" : "format: legacy\n";
  text += "version: " + std::to_string(reader.GetVersion()) + "\n";
  text += reader.GetSorted() != 0 ? "sorted: yes\n" : "sorted: no\n";
  text += "subjects: " + std::to_string(reader.GetSubjectCount()) + "\n";
  text += "bookmarks: " + std::to_string(inUse) + "\n";
  if (reader.IsUnicode()) {
    const ql::BookReader::UnicodeLayout layout = reader.GetUnicodeLayout();
    text += "text encoding: UTF-8\n";
    text += "block coding: zstd, dictionary of " + std::to_string(layout.dictionary) + " bytes\n";
    text += "record text: " + std::to_string(layout.recordBytes) + " bytes in " +
            std::to_string(layout.recordBlocks) + " blocks\n";
  }
  if (!Out(text) || !args.check) return;
  // One line for each damaged block, with what it holds, then for each
  // damaged record no such block holds.
  using Part = ql::BookReader::DamagedPart;
  const std::vector<Part> damaged = reader.CheckBook();
  for (const Part& part : damaged) {
    std::string line = "damaged: ";
    if (part.kind == Part::Kind::kRecord) {
      line += "record " + std::to_string(part.number);
    } else {
      const bool subjects = part.kind == Part::Kind::kSubjectBlock;
      line += std::string(subjects ? "subject" : "record") + " block " +
              std::to_string(part.number) + ": ";
      const std::string held = subjects ? "subjects" : "records";
      if (part.first < 0)
        line += "no " + held;
      else if (part.first == part.last)
        line += held + " " + std::to_string(part.first);
      else
        line += held + " " + std::to_string(part.first) + "-" + std::to_string(part.last);
    }
    line += "\n";
    if (!Out(line)) return;
  }
  if (!damaged.empty()) ExitStatus() = kExitFailure;
}

void RunSubjects(const ReadArgs& args) {
  ql::BookReader reader;
  if (!OpenBook(reader, args.book, ql::kOpenReadOnly)) return;
  std::string line;
  for (int i = 0; i < reader.GetSubjectCount(); ++i) {
    line = reader.GetSubject(i);
    line += '\n';
    if (!Out(line)) return;
  }
}

void RunHead(const ReadArgs& args) {
  ql::BookReader reader;
  if (!OpenBook(reader, args.book, ql::kOpenReadOnly) || !CheckIndex(reader, args.index)) return;
  Out(reader.GetRecordHead(static_cast<int>(args.index)));
}

void RunRecord(const ReadArgs& args) {
  ql::BookReader reader;
  if (!OpenBook(reader, args.book, ql::kOpenReadOnly) || !CheckIndex(reader, args.index)) return;
  if (reader.LoadRecord(static_cast<int>(args.index)) != 1) {
    Fail("cannot load record " + std::to_string(args.index) + ": out of memory");
    return;
  }
  Out(reader.CurrentRecordText());
}

void RunLookup(const ReadArgs& args) {
  ql::BookReader reader;
  if (!OpenBook(reader, args.book, ql::kOpenReadOnly)) return;
  ql::fts::AttachSubjectOrder(reader, args.book);
  const int found = reader.FindSubject(args.prefix ? ql::MatchPrefix : ql::MatchWhole, args.key);
  if (Out(std::to_string(found) + "\n") && found < 0) ExitStatus() = kExitFailure;
}

// A book we may not write: no write permission at all (even root is kept
// from changing such a file by accident), or none for this user.
bool IsReadOnlyFile(const std::string& path) {
  struct stat st {};
  if (stat(path.c_str(), &st) != 0) return false;  // OpenBook reports it
  return (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0 || access(path.c_str(), W_OK) != 0;
}

// Makes the change asked for in reader's table; false (after the message)
// when it cannot be made.
bool ChangeBookmarks(ql::BookReader& reader, const BookmarkArgs& args, bool adding, bool removing) {
  if (adding && !CheckIndex(reader, args.add)) return false;
  if (removing) {
    const int slot = static_cast<int>(args.remove);
    if (reader.GetBookmark(slot).textLength == 0) {
      Fail("bookmark slot " + std::to_string(slot) + " is not in use");
      return false;
    }
    reader.SetBookmark(slot, 0, 0, 0, "");
  }
  if (adding) {
    int free = -1;
    for (int slot = kFirstUserSlot; slot <= kLastUserSlot && free < 0; ++slot)
      if (reader.GetBookmark(slot).textLength == 0) free = slot;
    if (free < 0) {
      Fail("all 50 bookmark slots are in use; remove one first");
      return false;
    }
    const int index = static_cast<int>(args.add);
    const std::string subject = reader.GetSubject(index);
    reader.SetBookmark(free, static_cast<int>(subject.size()), index, 0,
                       std::string_view(subject).substr(0, ql::kBookmarkTextSize));
  }
  return true;
}

void RunBookmarks(const BookmarkArgs& args) {
  const bool adding = args.addOption->count() > 0;
  const bool removing = args.removeOption->count() > 0;
  if (removing && (args.remove < kFirstUserSlot || args.remove > kLastUserSlot)) {
    UsageError("slot " + std::to_string(args.remove) + " is out of range (slots are 1 to 50)");
    return;
  }
  const bool changing = adding || removing;
  if (changing && IsStdin(args.book)) {
    UsageError("a book read from standard input cannot have its bookmarks changed");
    return;
  }
  if (changing && IsReadOnlyFile(args.book)) {
    Fail(args.book + ": the book is read-only, so its bookmarks cannot be changed");
    return;
  }
  ql::BookReader reader;
  // The change is tried on a read-only open first: opening a legacy book for
  // writing marks it, which must not happen for a change that is refused.
  if (!OpenBook(reader, args.book, ql::kOpenReadOnly)) return;
  reader.LoadStoredBookmarks();
  if (changing) {
    if (!ChangeBookmarks(reader, args, adding, removing)) return;
    reader.Close();
    if (!OpenBook(reader, args.book, ql::kOpenReadWrite)) return;
    if (!reader.HasBookmarkBlock()) {
      Fail(args.book +
           ": the book has no usable bookmark block (it is missing or damaged), so bookmarks "
           "cannot be stored");
      return;
    }
    if (!ChangeBookmarks(reader, args, adding, removing)) return;
    if (!reader.SaveBookmarks()) {
      Fail(args.book +
           ": cannot write the bookmarks: " + ql::SystemErrorText(reader.LastWriteError()));
      return;
    }
  }
  std::string line;
  for (int slot = kFirstUserSlot; slot <= kLastUserSlot; ++slot) {
    const ql::BookmarkEntry mark = reader.GetBookmark(slot);
    if (mark.textLength == 0) continue;
    line = std::to_string(slot) + "\t" + std::to_string(mark.recordIndex) + "\t" + mark.text + "\n";
    if (!Out(line)) return;
  }
  // Closing writes the table back into a book opened for writing once more.
  if (!reader.Close())
    Fail(args.book +
         ": cannot write the bookmarks: " + ql::SystemErrorText(reader.LastWriteError()));
}

CLI::App* AddBookCommand(CLI::App& app, const char* name, const char* description,
                         const std::shared_ptr<ReadArgs>& args) {
  CLI::App* command = app.add_subcommand(name, description);
  command->add_option("BOOK", args->book, "The book (.ql)")->required()->transform(StdinFile());
  return command;
}

}  // namespace

void AddReadCommands(CLI::App& app) {
  auto info = std::make_shared<ReadArgs>();
  CLI::App* infoCommand =
      AddBookCommand(app, "info",
                     "Describe a book: format (2 or legacy), version word, sorted, subject count "
                     "and bookmarks in use",
                     info);
  infoCommand->add_flag(
      "--check", info->check,
      "Then read every block and record and list what is damaged, one line each: \"damaged: "
      "subject block N: subjects A-B\", \"damaged: record block N: records A-B\" or "
      "\"damaged: record N\"; exit 1 when anything is");
  infoCommand->callback([info] { RunInfo(*info); });

  auto subjects = std::make_shared<ReadArgs>();
  AddBookCommand(app, "subjects", "Print every subject, one a line (LF), as stored", subjects)
      ->callback([subjects] { RunSubjects(*subjects); });

  auto head = std::make_shared<ReadArgs>();
  CLI::App* headCommand = AddBookCommand(
      app, "head",
      "Print the head of one record as the subject list shows it (raw, no newline added)", head);
  headCommand->add_option("INDEX", head->index, "Record index, from 0")->required();
  headCommand->callback([head] { RunHead(*head); });

  auto record = std::make_shared<ReadArgs>();
  CLI::App* recordCommand = AddBookCommand(
      app, "record", "Print the stored text of one record, markup bytes and all (raw)", record);
  recordCommand->add_option("INDEX", record->index, "Record index, from 0")->required();
  recordCommand->callback([record] { RunRecord(*record); });

  auto lookup = std::make_shared<ReadArgs>();
  CLI::App* lookupCommand = AddBookCommand(
      app, "lookup",
      "Find a subject as a link does (or as typing in the list does, with --prefix); prints "
      "its index, or -1 and exits 1 when there is none",
      lookup);
  lookupCommand->add_option("KEY", lookup->key, "The subject to find")->required();
  lookupCommand->add_flag("--prefix", lookup->prefix, "Find a subject that begins with KEY");
  lookupCommand->callback([lookup] { RunLookup(*lookup); });

  auto marks = std::make_shared<BookmarkArgs>();
  CLI::App* marksCommand = app.add_subcommand(
      "bookmarks",
      "List the bookmarks stored in a book (SLOT TAB INDEX TAB TEXT), after adding or removing "
      "one; changes are written into the book");
  marksCommand->add_option("BOOK", marks->book, "The book (.ql)")
      ->required()
      ->transform(StdinFile());
  marks->addOption = marksCommand->add_option(
      "--add", marks->add, "Bookmark record INDEX in the first free slot (1 to 50)");
  marks->addOption->type_name("INDEX");
  marks->removeOption =
      marksCommand->add_option("--remove", marks->remove, "Clear bookmark slot SLOT (1 to 50)");
  marks->removeOption->type_name("SLOT");
  marksCommand->callback([marks] { RunBookmarks(*marks); });
}

}  // namespace qlcli
