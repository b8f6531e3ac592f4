// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
#include "import_source.h"

#include <sys/stat.h>

#include <string_view>

#include "book_builder.h"
#include "open_failure.h"
#include "user_texts.h"

namespace ql {

std::string ImportNotesText(const ImportCounts& counts) {
  std::string text;
  const auto line = [&](int64_t count, const char* what) {
    if (count == 0) return;
    if (!text.empty()) text += "\n";
    text += translate("messages", what) + ":\t" + std::to_string(count);
  };
  line(counts.merged, QL_TEXT("messages", "Entries merged into the record of the same headword"));
  line(counts.leftOut, QL_TEXT("messages",
                               "Entries left out of a record that reached the largest "
                               "size a book allows"));
  line(counts.skippedFields, QL_TEXT("messages",
                                     "Fields left out (pictures, sounds and other "
                                     "kinds a record cannot show)"));
  line(counts.brokenHeadwords, QL_TEXT("messages", "Headwords whose line breaks became spaces"));
  return text;
}

bool ImportSource::Fail(std::string reason) {
  iFailure = std::move(reason);
  return false;
}

std::string ImportSource::SourceFileAt(const std::string& path) const {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return {};
  const std::pair<uint64_t, uint64_t> id{uint64_t(st.st_dev), uint64_t(st.st_ino)};
  for (const auto& [read, readId] : iFilesRead)
    if (readId == id) return read;
  return {};
}

void ImportSource::NoteFileRead(const std::string& path, std::pair<uint64_t, uint64_t> id) {
  iFilesRead.emplace_back(path, id);
}

bool ImportSource::BuildFailed(const std::string& source, BuildResult code, int error) {
  const std::string cause = code == BuildResult::kIoFailed && error != 0
                                ? " (" + SystemErrorText(error) + ")"
                                : std::string();
  return Fail(source + translate("messages", ": the import failed: ") + BuildResultText(code) +
              cause + translate("messages", "; no book was written"));
}

}  // namespace ql
