// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// Text made into a book: tagged text (each entry begins with "<new>", its
// subject on that line) and tab-separated text (a line per entry, the subject,
// a TAB, the text). Both read the file as a stream, settle its encoding from
// its start, and convert UTF-8 to Windows-1252 in a work file first.
#pragma once

#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

#include "file_closer.h"
#include "import_source.h"

namespace ql {

class TextSource : public ImportSource {
 public:
  explicit TextSource(TextEncoding encoding) : iEncoding(encoding) {}

  // Opens the file for reading.
  bool Open(const std::string& path) override;
  // Settles whether the source is UTF-8. Detecting reads the source's start,
  // so a source that is not a regular file (a pipe) is first copied to a
  // work file that can be read again.
  bool Examine() override;
  // Converts a UTF-8 source to Windows-1252 in a work file (nothing to do for
  // any other); the counts then hold the characters written as '?'.
  bool Prepare() override;
  // The length in bytes of what is read (0 when it cannot be measured), and
  // the bytes read so far.
  int64_t ProgressEnd() const override;
  int64_t ProgressPos() const override { return iPos; }
  bool IsUtf8() const override { return iUtf8; }
  Utf8Sign Utf8SignFound() const override { return iSign; }
  // Asked for, or UTF-8 text with characters Windows-1252 lacks (found by
  // Examine reading the whole source).
  bool StoresUnicode() const override {
    return iBookVersion == 2002 || (iBookVersion == 0 && iUtf8 && !iFitsCp1252);
  }

 protected:
  // Turns what the builder's reading of one entry gave into a step.
  ImportStep Step(BuildResult result, const BookBuilder& builder);
  std::FILE* Input() const { return iInput.get(); }

 private:
  bool MakeRewindable();
  // Settles iFitsCp1252 for a UTF-8 source whose book version is not given.
  bool CheckFit();

  TextEncoding iEncoding;
  std::string iSource;
  OwnedFile iInput;
  bool iUtf8 = false;
  bool iFitsCp1252 = true;
  Utf8Sign iSign = Utf8Sign::kNone;
  int64_t iPos = 0;
};

class TaggedTextSource final : public TextSource {
 public:
  using TextSource::TextSource;
  static constexpr std::string_view kExtension = ".txt";
  ImportStep ReadNext(BookBuilder& builder) override;
};

class TabTextSource final : public TextSource {
 public:
  using TextSource::TextSource;
  static constexpr std::string_view kExtension = ".tab";
  static constexpr std::string_view kOtherExtension = ".tsv";
  ImportStep ReadNext(BookBuilder& builder) override;
};

}  // namespace ql
