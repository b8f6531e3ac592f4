// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// What the dictionary imports share: the headword list with each entry's
// offset and length, taken from the format's index; the text file beside it
// (plain, dictzip or gzip, dict_data.h); the sorting into the book's subject
// order; and the records. Each format (dictd_import.h, stardict_import.h)
// reads its own index and turns its own entries' texts into markup.
//
// The import streams: it holds the headword list, sorts it, then reads each
// entry's text by its offset, so memory is the list plus the largest entry.
// The book comes out sorted. Entries whose headwords are the same bytes make
// one record: their texts in index order, a paragraph between them, handed to
// the book a text at a time; the counts say how many. A record cannot pass
// the largest a book holds: the texts that would take it further are left
// out, and counted. Line breaks in headwords become spaces (a subject is one
// line), and are counted too.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "dict_data.h"
#include "dict_index.h"
#include "import_source.h"

namespace ql {

class DictImport : public ImportSource {
 public:
  DictImport();
  ~DictImport() override;

  // Reads the index (path is the file that names the format's files), opens
  // the text file found beside it and takes the entries.
  bool Open(const std::string& path) final;
  // The entries done, of EntryCount().
  int64_t ProgressEnd() const final { return EntryCount(); }
  int64_t ProgressPos() const final { return int64_t(iNext); }
  // Adds the record of the next headword: every entry of it. The first turn
  // sorts the entries, first.
  ImportStep ReadNext(BookBuilder& builder) final;
  bool IsUtf8() const final { return iUtf8; }
  // A dictionary makes a version 2002 book unless 2001 is asked for.
  bool StoresUnicode() const final { return iBookVersion != 2001; }

  // The entries the index names, metadata left out.
  int64_t EntryCount() const { return int64_t(iEntries.size()); }
  // The file the entries' texts are read from.
  const std::string& DataPath() const { return iDataPath; }

 protected:
  // Reads the format's index from source and the files beside it, opening
  // the text with OpenData and taking the entries with TakeEntries.
  virtual bool OpenIndex(const std::string& source) = 0;
  // The record text (stored markup, Windows-1252, or UTF-8 when the book
  // StoresUnicode) of one entry's bytes.
  virtual void EntryText(std::string_view body, std::string& text) = 0;

  // For the formats: the path without extension (when it ends with it).
  static std::string Base(const std::string& path, std::string_view extension);
  static bool Exists(const std::string& path);
  // Opens the text beside the index, base + .dict.dz, .dict or .dict.gz.
  bool OpenData(const std::string& base);
  // Reads a whole regular file of at most limit bytes.
  bool ReadWholeFile(const std::string& path, uint64_t limit, std::string& bytes);
  // Inflates a plain gzip text as far as the entries reach; reached is
  // false when it ends before.
  bool InflateAsFarAs(const std::vector<DictEntryRef>& refs, bool& reached);
  // Takes the index's entries, as the book's subjects, leaving out the
  // metadata entries when asked. The headwords must be UTF-8 when iUtf8 is.
  void TakeEntries(std::vector<DictEntryRef>& refs, bool dropMetadata);

  std::string iDataPath;
  DictData iData;
  bool iUtf8 = false;
  // Markup in the dictionary's encoding appended to text as the book
  // stores it.
  void StoreMarkup(std::string_view markup, std::string& text);
  // An entry's bytes are its text as it stands (not fields around it): a
  // first line that only repeats the headword is left out of them.
  bool iBodyIsText = false;

 private:
  class ReadAhead;
  struct Entry {
    std::string subject;  // as stored: Windows-1252, no zero bytes
    uint64_t offset = 0;
    uint64_t length = 0;
    uint32_t order = 0;  // place in the index
  };
  bool StartReading();
  bool AddRecord(BookBuilder& builder, size_t first, size_t end);

  std::string iSource;
  std::vector<Entry> iEntries;
  size_t iNext = 0;  // the first entry not added yet
  bool iStarted = false;
  std::string iBody;
  std::string iText;
  std::string iHeadword;  // the record's headword in the text's encoding
  // Last: it reads iEntries' texts from iData on a thread of its own.
  std::unique_ptr<ReadAhead> iReader;
};

}  // namespace ql
