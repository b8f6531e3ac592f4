// A text file made into a book file, and a book written out as a text file:
// the steps and the failure texts that qlbook and the window share. Both
// write through a temporary file beside the target, so a failure never costs
// the file that stood there.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "atomic_file.h"
#include "book_builder.h"
#include "book_reader.h"
#include "file_closer.h"
#include "progress.h"

namespace ql {

// The results of an import: "Number of subjects:   \t" and the count, then
// "\nFile sorted status:       \t" and "Yes", or "No\nSorted check failed at
// subject: " with the first subject out of order.
std::string ImportResultsText(const BookBuilder& builder);

// The line added to the results of an import that converted UTF-8:
// "Characters without a Windows-1252 form (written as ?):\t" and the count.
std::string ReplacedCharactersText(int64_t replaced);

// "OUT: is the same file as IN; nothing was written", when a command would
// write over the file it reads.
std::string SameFileText(const std::string& out, const std::string& in);

// "3 records: a, b, c" for a count and the first few names (", ..." when
// there are more than named); one and many are the noun's two forms.
std::string CountAndNames(int count, const std::vector<std::string>& names, std::string_view one,
                          std::string_view many);

// "BOOK: 3 records: a, b, c (damaged; written as far as they could be
// read)", for records written only in part.
std::string DamagedRecordsText(const std::string& bookPath, int count,
                               const std::vector<std::string>& subjects);

// How the source's bytes are taken. Books store Windows-1252, so UTF-8 text
// is converted; kDetect takes text as UTF-8 when it begins with a byte-order
// mark or its start is UTF-8 with characters beyond ASCII.
enum class TextEncoding { kDetect, kUtf8, kCp1252 };
// Why a detected source was taken as UTF-8.
enum class Utf8Sign { kNone, kByteOrderMark, kUtf8Start };

// What every import shares once its source is read into a builder: the
// check that an empty result must not replace a file, the writing of the
// book, the count of characters written as '?', and the reason of the first
// failure, path first.
class BookImport {
 public:
  BookImport() = default;
  virtual ~BookImport() = default;
  BookImport(const BookImport&) = delete;
  BookImport& operator=(const BookImport&) = delete;

  // Characters written as '?' because Windows-1252 lacks them.
  int64_t Replaced() const { return iReplaced; }
  // True when the source held no entry and a file stands at path: the most
  // likely cause is the wrong format, and an empty book must not replace it.
  bool KeepsTarget(const std::string& path) const;
  // Writes the book; the bar, if any, then follows the writing.
  bool WriteBook(const std::string& path, ProgressSink* bar = nullptr);

  const BookBuilder& Builder() const { return *iBuilder; }
  const std::string& Failure() const { return iFailure; }

 protected:
  bool Fail(std::string reason);
  // Makes the builder's temporary files.
  bool MakeBuilder();

  std::optional<BookBuilder> iBuilder;  // made once the source opens
  int64_t iReplaced = 0;
  std::string iFailure;
};

// One import of text: open the source, settle its encoding, convert it, read
// it into a builder, write the book. Each step returns false with the reason,
// path first, in Failure().
class TextImport : public BookImport {
 public:
  TextImport() = default;

  // Opens source for reading and makes the builder's temporary files.
  bool OpenSource(const std::string& source);
  // Settles whether the source is UTF-8. Detecting reads the source's start,
  // so a source that is not a regular file (a pipe) is first copied to a
  // work file that can be read again.
  bool ChooseEncoding(TextEncoding encoding);
  // True when the source is taken as UTF-8; Utf8SignFound says why when it
  // was detected.
  bool IsUtf8() const { return iUtf8; }
  Utf8Sign Utf8SignFound() const { return iSign; }
  // Converts a UTF-8 source to Windows-1252 in a work file (nothing to do for
  // any other); Replaced() then counts the characters written as '?'.
  bool Convert();
  // The length in bytes of what Read reads (0 when it could not be measured).
  int64_t SourceSize() const;
  // Reads every entry; the bar follows the source offset.
  bool Read(bool tabSeparated, ProgressSink* bar);

 private:
  bool MakeRewindable();

  std::string iSource;
  OwnedFile iInput;
  bool iUtf8 = false;
  Utf8Sign iSign = Utf8Sign::kNone;
};

// One text export: open the target, write the book open in a reader to it.
// Each step returns false with the reason, path first, in Failure(); the
// target is then as it was.
class TextExport {
 public:
  bool Open(const std::string& out);
  // Writes the book (found at bookPath) as tab-separated text; the bar steps
  // once per subject. A success may still have lost entries: see Report().
  bool Write(BookReader& reader, const std::string& bookPath, ProgressSink* bar);
  const std::string& Failure() const { return iFailure; }

  // What the written text lacks: damaged records and entries the
  // tab-separated form cannot carry.
  const TabTextReport& Report() const { return iReport; }
  // "OUT: N entries: ... (the tab-separated form cannot carry ...)", or
  // empty when every entry was carried.
  std::string NotCarriedText() const;

 private:
  bool Fail(std::string reason);

  AtomicFile iFile;
  std::string iOut;
  TabTextReport iReport;
  std::string iFailure;
};

}  // namespace ql
