// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
#include "text_source.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#include "atomic_file.h"
#include "book_builder.h"
#include "open_failure.h"
#include "text_encoding.h"
#include "user_texts.h"

namespace ql {

namespace {

// How much of the source decides whether it is UTF-8.
constexpr size_t kEncodingProbe = 64 * 1024;

std::string ConvertFailedText(const std::string& source, int error) {
  return Fill(translate("messages", "%1: cannot convert the text: %2"),
              {source, SystemErrorText(error)});
}

}  // namespace

bool TextSource::Open(const std::string& path) {
  iSource = path;
  struct stat st {};
  // A directory opens for reading here and fails only at the first read.
  if (::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
    return Fail(path + ": " + translate("messages", "is a directory"));
  iInput.reset(std::fopen(path.c_str(), "rb"));
  if (!iInput) return Fail(path + ": " + std::strerror(errno));
  if (::fstat(::fileno(iInput.get()), &st) == 0)
    NoteFileRead(path, {uint64_t(st.st_dev), uint64_t(st.st_ino)});
  return true;
}

bool TextSource::MakeRewindable() {
  struct stat st {};
  if (::fstat(::fileno(iInput.get()), &st) == 0 && S_ISREG(st.st_mode)) return true;
  OwnedFile copy(OpenWorkFile());
  if (!copy) return false;
  char buffer[1 << 16];
  size_t got;
  while ((got = std::fread(buffer, 1, sizeof buffer, iInput.get())) > 0)
    if (std::fwrite(buffer, 1, got, copy.get()) != got) return false;
  if (std::ferror(iInput.get()) || std::fflush(copy.get()) != 0 ||
      std::fseek(copy.get(), 0, SEEK_SET) != 0)
    return false;
  iInput = std::move(copy);
  return true;
}

bool TextSource::Examine() {
  iSign = Utf8Sign::kNone;
  iUtf8 = iEncoding == TextEncoding::kUtf8;
  if (iEncoding != TextEncoding::kDetect) return CheckFit();
  if (!MakeRewindable()) return Fail(iSource + ": " + SystemErrorText(errno));
  std::string head(kEncodingProbe, '\0');
  head.resize(std::fread(head.data(), 1, head.size(), iInput.get()));
  if (std::ferror(iInput.get()) || std::fseek(iInput.get(), 0, SEEK_SET) != 0)
    return Fail(iSource + ": " + SystemErrorText(errno));
  if (head.compare(0, kUtf8ByteOrderMark.size(), kUtf8ByteOrderMark) == 0)
    iSign = Utf8Sign::kByteOrderMark;
  else if (LooksLikeUtf8(head))
    iSign = Utf8Sign::kUtf8Start;
  iUtf8 = iSign != Utf8Sign::kNone;
  return CheckFit();
}

bool TextSource::CheckFit() {
  iFitsCp1252 = true;
  if (iBookVersion != 0 || !iUtf8) return true;
  // Text Windows-1252 can hold makes the book it always made; other text
  // a version 2002 book, with nothing lost.
  if (!MakeRewindable()) return Fail(iSource + ": " + SystemErrorText(errno));
  bool ok = true;
  iFitsCp1252 = Utf8FitsCp1252(iInput.get(), ok);
  if (!ok || std::fseek(iInput.get(), 0, SEEK_SET) != 0)
    return Fail(iSource + ": " + SystemErrorText(errno));
  return true;
}

bool TextSource::Prepare() {
  iCounts.replaced = 0;
  if (StoresUnicode()) {
    // UTF-8 is stored as it is; Windows-1252 text is made UTF-8.
    if (iUtf8) return true;
    OwnedFile converted(OpenWorkFile());
    if (!converted || !ConvertCp1252ToUtf8(iInput.get(), converted.get()) ||
        std::fseek(converted.get(), 0, SEEK_SET) != 0)
      return Fail(ConvertFailedText(iSource, errno));
    iInput = std::move(converted);
    return true;
  }
  if (!iUtf8) return true;
  OwnedFile converted(OpenWorkFile());
  if (!converted || !ConvertUtf8ToCp1252(iInput.get(), converted.get(), iCounts.replaced) ||
      std::fseek(converted.get(), 0, SEEK_SET) != 0)
    return Fail(ConvertFailedText(iSource, errno));
  iInput = std::move(converted);
  return true;
}

int64_t TextSource::ProgressEnd() const {
  struct stat st {};
  return iInput && ::fstat(::fileno(iInput.get()), &st) == 0 ? int64_t(st.st_size) : 0;
}

ImportStep TextSource::Step(BuildResult result, const BookBuilder& builder) {
  iPos = builder.InputOffset();
  if (result == BuildResult::kOk) return ImportStep::kAdded;
  if (result == BuildResult::kNoEntry) return ImportStep::kEnd;
  BuildFailed(iSource, result, builder.LastFailure().error);
  return ImportStep::kFailed;
}

ImportStep TaggedTextSource::ReadNext(BookBuilder& builder) {
  return Step(builder.ReadTaggedEntry(Input()), builder);
}

ImportStep TabTextSource::ReadNext(BookBuilder& builder) {
  return Step(builder.ReadTabEntry(Input()), builder);
}

}  // namespace ql
