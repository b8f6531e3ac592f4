// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
#include "upgrade.h"

#include <cstring>

#include "book_builder.h"
#include "book_format.h"
#include "open_failure.h"
#include "text_encoding.h"
#include "user_texts.h"

namespace ql {

namespace {

std::optional<UpgradeFailure> Failed(UpgradeResult code) {
  return UpgradeFailure{code, {}};
}

std::optional<UpgradeFailure> BuildFailed(const BookBuilder& builder) {
  return UpgradeFailure{UpgradeResult::kBuildFailed, builder.LastFailure()};
}

// Gives the builder every entry of the legacy book open in reader.
std::optional<UpgradeFailure> AddEntries(BookReader& reader, BookBuilder& builder,
                                         ProgressSink* bar, UpgradeReport* report,
                                         bool anyBook = false) {
  if (!reader.IsOpen() || (reader.IsVersion2() && !anyBook))
    return Failed(UpgradeResult::kNotLegacy);
  // Text turned into the encoding of the book written, where they differ.
  const bool toUnicode = builder.Unicode() && !reader.IsUnicode();
  const bool fromUnicode = !builder.Unicode() && reader.IsUnicode();
  std::string subjectAs, textAs;
  int64_t replaced = 0;
  if (!builder.IsReady()) return BuildFailed(builder);
  const int count = reader.GetSubjectCount();
  OverlapCheck overlap;
  for (int i = 0; i < count; ++i) {
    if (bar) bar->Step();
    std::string subject = reader.GetSubject(i);
    if (reader.LoadRecord(i) != 1) return Failed(UpgradeResult::kRecordFailed);
    if (!overlap.Follows(reader.CurrentRecordExtent()))
      return Failed(UpgradeResult::kEntriesOverlap);
    if (report && reader.CurrentRecordDamaged()) {
      if (report->damagedSubjects.size() < TabTextReport::kReportNames)
        report->damagedSubjects.push_back(subject);
      ++report->damaged;
    }
    std::string_view text = reader.CurrentRecordText();
    if (toUnicode || fromUnicode) {
      subjectAs.clear();
      textAs.clear();
      if (toUnicode) {
        AppendCp1252AsUtf8(subject, subjectAs);
        AppendCp1252AsUtf8(text, textAs);
      } else {
        AppendUtf8AsCp1252(subject, subjectAs, replaced);
        AppendUtf8AsCp1252(text, textAs, replaced);
      }
      subject.swap(subjectAs);
      text = textAs;
    }
    if (builder.AddEntry(subject, text) != BuildResult::kOk) return BuildFailed(builder);
  }
  if (report) report->replaced = replaced;
  return std::nullopt;
}

}  // namespace

std::optional<UpgradeFailure> UpgradeBook(BookReader& reader, const std::string& path,
                                          ProgressSink* bar) {
  return UpgradeBook(reader, path, bar, nullptr);
}

std::optional<UpgradeFailure> UpgradeBook(BookReader& reader, const std::string& path,
                                          ProgressSink* bar, UpgradeReport* report) {
  BookBuilder builder;
  if (auto failure = AddEntries(reader, builder, bar, report)) return failure;
  if (builder.WriteBookFile(path) != BuildResult::kOk) return BuildFailed(builder);
  return std::nullopt;
}

std::optional<UpgradeFailure> ConvertBook(BookReader& reader, const std::string& path,
                                          int bookVersion, ProgressSink* bar,
                                          UpgradeReport* report) {
  BookBuilder builder;
  builder.SetUnicode(bookVersion == kVersionUnicode);
  if (auto failure = AddEntries(reader, builder, bar, report, true)) return failure;
  if (builder.WriteBookFile(path) != BuildResult::kOk) return BuildFailed(builder);
  return std::nullopt;
}

std::optional<UpgradeFailure> UpgradeBook(BookReader& reader, std::FILE* output,
                                          ProgressSink* bar) {
  BookBuilder builder;
  if (auto failure = AddEntries(reader, builder, bar, nullptr)) return failure;
  if (builder.WriteBook(output) != BuildResult::kOk) return BuildFailed(builder);
  return std::nullopt;
}

std::string UpgradeResultText(const UpgradeFailure& failure) {
  switch (failure.code) {
    case UpgradeResult::kOk:
      return translate("messages", "no error");
    case UpgradeResult::kNotLegacy:
      return translate("messages", "the book is not a legacy book (it is already version 2)");
    case UpgradeResult::kRecordFailed:
      return translate("messages", "a record of the legacy book could not be read");
    case UpgradeResult::kEntriesOverlap:
      return translate("messages",
                       "the book's entries overlap (one starts inside another), so it is damaged");
    case UpgradeResult::kBuildFailed:
      break;
  }
  return BuildResultText(failure.build.code);
}

namespace {

std::string WriteFailureText(const std::string& path, const std::string& why) {
  return Fill(translate("messages", "%1: cannot write the book: %2 (nothing was changed there)"),
              {path, why});
}

}  // namespace

std::string BookWriteFailureText(const std::string& path, const BuildFailure& failure) {
  return WriteFailureText(path, failure.code == BuildResult::kIoFailed && failure.error != 0
                                    ? SystemErrorText(failure.error)
                                    : BuildResultText(failure.code));
}

std::string UpgradeFailureText(const std::string& legacy, const std::string& out,
                               const UpgradeFailure& failure) {
  switch (failure.code) {
    case UpgradeResult::kBuildFailed:
      return BookWriteFailureText(out, failure.build);
    case UpgradeResult::kRecordFailed:
    case UpgradeResult::kEntriesOverlap:
      // The legacy book is at fault, not the target.
      return legacy + ": " + UpgradeResultText(failure) +
             translate("messages", "; no book was written");
    case UpgradeResult::kOk:
    case UpgradeResult::kNotLegacy:
      break;
  }
  return WriteFailureText(out, UpgradeResultText(failure));
}

}  // namespace ql
