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

#include "atomic_file.h"
#include "book_builder.h"
#include "book_reader.h"
#include "progress.h"

namespace ql {

// The results of an import: "Number of subjects:   \t" and the count, then
// "\nFile sorted status:       \t" and "Yes", or "No\nSorted check failed at
// subject: " with the first subject out of order.
std::string ImportResultsText(const BookBuilder& builder);

// One import: open the source, read it into a builder, write the book. Each
// step returns false with the reason, path first, in Failure().
class TextImport {
 public:
  TextImport() = default;
  TextImport(const TextImport&) = delete;
  TextImport& operator=(const TextImport&) = delete;

  // Opens source for reading and makes the builder's temporary files.
  bool OpenSource(const std::string& source);
  // The source's length in bytes (0 when it could not be measured).
  int64_t SourceSize() const { return iSize; }
  // Reads every entry; the bar follows the source offset.
  bool Read(bool tabSeparated, ProgressSink* bar);
  // Writes the book; the bar, if any, then follows the writing.
  bool WriteBook(const std::string& path, ProgressSink* bar = nullptr);

  const BookBuilder& Builder() const { return *iBuilder; }
  const std::string& Failure() const { return iFailure; }

 private:
  struct FileCloser {
    void operator()(std::FILE* f) const {
      if (f) std::fclose(f);
    }
  };
  bool Fail(std::string reason);

  std::string iSource;
  std::unique_ptr<std::FILE, FileCloser> iInput;
  std::optional<BookBuilder> iBuilder;  // made after the source opens
  int64_t iSize = 0;
  std::string iFailure;
};

// One text export: open the target, write the book open in a reader to it.
// Each step returns false with the reason, path first, in Failure(); the
// target is then as it was.
class TextExport {
 public:
  bool Open(const std::string& out);
  // Writes the book (found at bookPath) as tab-separated text; the bar steps
  // once per subject.
  bool Write(BookReader& reader, const std::string& bookPath, ProgressSink* bar);
  const std::string& Failure() const { return iFailure; }

 private:
  bool Fail(std::string reason);

  AtomicFile iFile;
  std::string iOut;
  std::string iFailure;
};

}  // namespace ql
