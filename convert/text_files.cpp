// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
#include "text_files.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#include "byte_sink.h"
#include "open_failure.h"
#include "text_encoding.h"
#include "upgrade.h"
#include "user_texts.h"

namespace ql {

std::string ImportResultsText(const BookBuilder& builder) {
  std::string text =
      Fill(translate("messages", "Number of subjects:   \t%1\nFile sorted status:       \t"),
           {std::to_string(builder.iSubjectCount)});
  if (builder.iSorted == 1)
    text += translate("messages", "Yes");
  else
    text +=
        translate("messages", "No\nSorted check failed at subject: ") + builder.iPreviousSubject;
  return text;
}

std::string UnicodeBookText(const BookBuilder& builder) {
  return Fill(translate("messages",
                        "Book version:\t2002 (UTF-8 text, nothing replaced)\nTexts shared by "
                        "several subjects:\t%1"),
              {std::to_string(builder.SharedTexts())});
}

std::string ReplacedCharactersText(int64_t replaced) {
  return Fill(translate("messages", "Characters without a Windows-1252 form (written as ?):\t%1"),
              {std::to_string(replaced)});
}

std::string SameFileText(const std::string& out, const std::string& in) {
  return Fill(translate("messages", "%1: is the same file as %2; nothing was written"), {out, in});
}

std::string CountAndNames(int count, const std::vector<std::string>& names, std::string_view one,
                          std::string_view many) {
  std::string text = std::to_string(count) + " " + std::string(count == 1 ? one : many) + ": ";
  for (size_t i = 0; i < names.size(); ++i) text += (i ? ", " : "") + names[i];
  if (static_cast<size_t>(count) > names.size()) text += ", ...";
  return text;
}

std::string DamagedRecordsText(const std::string& bookPath, int count,
                               const std::vector<std::string>& subjects) {
  return bookPath + ": " +
         CountAndNames(count, subjects, translate("messages", "record"),
                       translate("messages", "records")) +
         translate("messages", " (damaged; written as far as they could be read)");
}

std::string TextExportFailureText(const TextExportFailure& failure) {
  const std::string& path = failure.path;
  switch (failure.code) {
    case TextExportResult::kOk:
      break;
    case TextExportResult::kCannotCreate:
      return path + ": " + std::strerror(failure.error);
    case TextExportResult::kWriteFailed:
      return path + translate("messages", ": cannot write the text: ") +
             SystemErrorText(failure.error);
    case TextExportResult::kEntriesOverlap:
      return Fill(translate("messages",
                            "%1: the book's entries overlap (entry %2 starts inside one before "
                            "it), so it is damaged; nothing was written"),
                  {path, std::to_string(failure.entry)});
    case TextExportResult::kRecordUnreadable:
      return Fill(translate("messages", "%1: record %2 cannot be read; nothing was written"),
                  {path, std::to_string(failure.entry)});
  }
  return {};
}

bool TextExport::Fail(TextExportResult code, int error, const std::string& path, int entry) {
  iLastFailure = {};
  iLastFailure.code = code;
  iLastFailure.error = error;
  iLastFailure.path = path;
  iLastFailure.entry = entry;
  iFailure = TextExportFailureText(iLastFailure);
  return false;
}

bool TextExport::Open(const std::string& out) {
  iOut = out;
  if (!iFile.Open(out)) return Fail(TextExportResult::kCannotCreate, errno, out);
  return true;
}

bool TextExport::Write(BookReader& reader, const std::string& bookPath, ProgressSink* bar) {
  FileSink sink(iFile.Stream());
  iReport = TabTextReport();
  const int written = reader.WriteTabText(sink, bar, &iReport);
  if (written != reader.GetSubjectCount()) {
    if (sink.Failed()) return Fail(TextExportResult::kWriteFailed, sink.Error(), iOut);
    if (iReport.overlapAt >= 0)
      return Fail(TextExportResult::kEntriesOverlap, 0, bookPath, iReport.overlapAt);
    return Fail(TextExportResult::kRecordUnreadable, 0, bookPath, written);
  }
  if (sink.Failed()) return Fail(TextExportResult::kWriteFailed, sink.Error(), iOut);
  errno = 0;
  if (!iFile.Commit()) return Fail(TextExportResult::kWriteFailed, errno, iOut);
  return true;
}

std::string TextExport::NotCarriedText() const {
  if (iReport.notCarried == 0) return {};
  return iOut + ": " +
         CountAndNames(iReport.notCarried, iReport.notCarriedSubjects, "entry", "entries") +
         " (the tab-separated form cannot carry an empty subject or text, a TAB in a subject or "
         "a CR in a text, so these do not import back as they are)";
}

}  // namespace ql
