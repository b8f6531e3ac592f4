// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// One source a book is imported from, whatever its format. The import opens
// it, lets it settle what it is, lets it do the long work that comes before
// the entries, then takes the entries from it one at a time into a builder;
// afterwards the source says what it read. Each format has a class of its own
// (text_source.h, dictd_import.h, stardict_import.h), made through the table
// of formats (import_formats.h); book_import.h runs the import.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace ql {

class BookBuilder;
enum class BuildResult : int;

// How a text source's bytes are taken. Books store Windows-1252, so UTF-8 text
// is converted; kDetect takes text as UTF-8 when it begins with a byte-order
// mark or its start is UTF-8 with characters beyond ASCII.
enum class TextEncoding { kDetect, kUtf8, kCp1252 };
// Why a detected source was taken as UTF-8.
enum class Utf8Sign { kNone, kByteOrderMark, kUtf8Start };

// What the one who imports may choose; a format uses what applies to it
// (dictionaries say their encoding themselves).
struct ImportOptions {
  TextEncoding encoding = TextEncoding::kDetect;
  // The book version to write: 0 lets the source choose (a dictionary, or
  // UTF-8 text with characters Windows-1252 lacks, makes a version 2002
  // book; other text a 2001 one), or 2001 or 2002.
  int bookVersion = 0;
};

// What a source read, for the import results.
struct ImportCounts {
  // Characters written as '?' because Windows-1252 lacks them.
  int64_t replaced = 0;
  // Entries added to the record of an earlier entry of the same headword.
  int64_t merged = 0;
  // Entries of a headword whose record had reached the largest a book
  // holds, left out.
  int64_t leftOut = 0;
  // Fields of kinds a record cannot show (pictures, sounds ...), left out.
  int64_t skippedFields = 0;
  // Headwords whose line breaks became spaces.
  int64_t brokenHeadwords = 0;
};

// Lines for the import results saying what merged, leftOut, skippedFields
// and brokenHeadwords count, each only when it is not 0.
std::string ImportNotesText(const ImportCounts& counts);

// What one turn of ReadNext did.
enum class ImportStep { kAdded, kEnd, kFailed };

class ImportSource {
 public:
  ImportSource() = default;
  virtual ~ImportSource() = default;
  ImportSource(const ImportSource&) = delete;
  ImportSource& operator=(const ImportSource&) = delete;

  // Opens the source at path and reads what must be known before anything
  // is written (a dictionary's index, and the text beside it): a missing or
  // damaged file fails here. False with the reason, path first, in Failure().
  virtual bool Open(const std::string& path) = 0;
  // Settles how the source is read once the builder is made (a text's
  // encoding, from its start).
  virtual bool Examine() { return true; }
  // Of the files the source reads, the one that path names too, through
  // links or not; empty when it names none (or nothing). A book written
  // there would destroy what it is made from.
  std::string SourceFileAt(const std::string& path) const;
  // The long work that comes before the entries (a UTF-8 text converted).
  virtual bool Prepare() { return true; }
  // Reading's progress: the end of its scale, known once Prepare is done,
  // and where reading stands on it after the last ReadNext.
  virtual int64_t ProgressEnd() const = 0;
  virtual int64_t ProgressPos() const = 0;
  // Adds the next entry to builder: kEnd when there is none left, kFailed
  // with the reason in Failure().
  virtual ImportStep ReadNext(BookBuilder& builder) = 0;

  // True when the source is taken as UTF-8 (and stored as Windows-1252 in a
  // version 2001 book).
  virtual bool IsUtf8() const = 0;
  // The book version asked for (see ImportOptions); set before Open.
  void SetBookVersion(int version) { iBookVersion = version; }
  // True when the book made of the source is a version 2002 one, its text
  // UTF-8; settled once Examine is done.
  virtual bool StoresUnicode() const { return iBookVersion == 2002; }
  // Why a text source was taken as UTF-8, when that was detected.
  virtual Utf8Sign Utf8SignFound() const { return Utf8Sign::kNone; }
  const ImportCounts& Counts() const { return iCounts; }
  const std::string& Failure() const { return iFailure; }

 protected:
  bool Fail(std::string reason);
  // The reason of a builder's failure while entries were added from source;
  // error (an errno, 0 for none) says why a file could not be used.
  bool BuildFailed(const std::string& source, BuildResult code, int error = 0);
  // Notes a file the source reads, by its device and inode number.
  void NoteFileRead(const std::string& path, std::pair<uint64_t, uint64_t> id);

  ImportCounts iCounts;
  std::string iFailure;
  int iBookVersion = 0;

 private:
  std::vector<std::pair<std::string, std::pair<uint64_t, uint64_t>>> iFilesRead;
};

}  // namespace ql
