// A dictionary made into a book: dictd (NAME.index with NAME.dict or
// NAME.dict.dz) or StarDict (NAME.ifo with NAME.idx or NAME.idx.gz, and
// NAME.dict or NAME.dict.dz). qlbook and the window share it.
//
// The import streams: it holds the headword list with each entry's offset and
// length, sorts that list into the book's subject order, then reads each
// entry's text by its offset, so memory is the list plus the largest entry.
// The book comes out sorted. Entries whose headwords are the same bytes make
// one record: their texts in index order, a paragraph between them, handed to
// the book a text at a time; the results count them. A record cannot pass
// the largest a book holds: the texts that would take it further are left
// out, and counted. Line breaks in headwords become spaces (a subject is one
// line), and are counted too.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "dict_data.h"
#include "dict_markup.h"
#include "dictd_format.h"
#include "stardict_format.h"
#include "text_files.h"

namespace ql {

enum class DictFormat { kDictd, kStarDict };

// The format a source's extension names: .index dictd, .ifo StarDict.
std::optional<DictFormat> DictFormatFromExtension(const std::string& path);

class DictImport : public BookImport {
 public:
  // Reads the index (source is the .index or the .ifo), opens the text file
  // found beside it and makes the builder's temporary files. A missing or
  // damaged file fails here, before anything is written.
  bool OpenSource(const std::string& source, DictFormat format);
  // The entries the index names, metadata left out.
  int64_t EntryCount() const { return int64_t(iEntries.size()); }
  // True when the text is UTF-8 (stored as Windows-1252).
  bool IsUtf8() const { return iUtf8; }
  // The file the entries' texts are read from.
  const std::string& DataPath() const { return iDataPath; }
  // Of the files the import reads (the index, the .ifo, the text), the one
  // that path names too, through links or not; empty when it names none
  // (or nothing). A book written there would destroy what it is made from.
  std::string SourceFileAt(const std::string& path) const;

  // Sorts the entries and adds each with its text; the bar follows the
  // entries done, from 0 to EntryCount().
  bool Read(ProgressSink* bar);

  // Entries added to the record of an earlier entry of the same headword.
  int64_t Merged() const { return iMerged; }
  // Entries of a headword whose record had reached the largest a book
  // holds, left out.
  int64_t LeftOut() const { return iLeftOut; }
  // StarDict fields of kinds a record cannot show (pictures, sounds ...),
  // left out.
  int64_t SkippedFields() const { return iSkippedFields; }
  // Headwords whose line breaks became spaces.
  int64_t BrokenHeadwords() const { return iBrokenHeadwords; }
  // Lines for the import results saying what Merged, LeftOut, SkippedFields
  // and BrokenHeadwords count, each only when it is not 0.
  std::string NotesText() const;

 private:
  class ReadAhead;
  struct Entry {
    std::string subject;  // as stored: Windows-1252, no zero bytes
    uint64_t offset = 0;
    uint64_t length = 0;
    uint32_t order = 0;  // place in the index
  };
  bool OpenDictd(const std::string& source);
  bool OpenStarDict(const std::string& source);
  bool OpenData(const std::string& base);
  bool ReadWholeFile(const std::string& path, uint64_t limit, std::string& bytes);
  bool ReadGzipFile(const std::string& path, uint64_t expected, std::string& bytes);
  bool InflateAsFarAs(const std::vector<DictEntryRef>& refs, bool& reached);
  void TakeEntries(std::vector<DictEntryRef>& refs, bool dropMetadata);
  void EntryText(std::string_view body, std::string& text);
  bool AddRecord(size_t first, size_t end, ReadAhead& reader);

  DictFormat iFormat = DictFormat::kDictd;
  std::string iSource;
  std::string iDataPath;
  DictData iData;
  StarDictInfo iInfo;
  bool iUtf8 = false;
  std::vector<Entry> iEntries;
  int64_t iMerged = 0;
  int64_t iLeftOut = 0;
  int64_t iSkippedFields = 0;
  int64_t iBrokenHeadwords = 0;
  std::vector<StarDictField> iFields;
  std::string iMarkup;
  std::string iBody;
  std::string iText;
  // Every file read, with its device and inode number.
  std::vector<std::pair<std::string, std::pair<uint64_t, uint64_t>>> iFilesRead;
};

}  // namespace ql
