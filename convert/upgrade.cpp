#include "upgrade.h"

#include <cstring>

#include "book_builder.h"
#include "open_failure.h"

namespace ql {

namespace {

// Gives the builder every entry of the legacy book open in reader.
int AddEntries(BookReader& reader, BookBuilder& builder, ProgressSink* bar, UpgradeReport* report) {
  if (!reader.IsOpen() || reader.IsVersion2()) return kUpgradeNotLegacy;
  if (!builder.IsReady()) return builder.Error();
  const int count = reader.GetSubjectCount();
  OverlapCheck overlap;
  for (int i = 0; i < count; ++i) {
    if (bar) bar->Step();
    std::string subject = reader.GetSubject(i);
    if (reader.LoadRecord(i) != 1) return kUpgradeRecordFailed;
    if (!overlap.Follows(reader.CurrentRecordExtent())) return kUpgradeEntriesOverlap;
    if (report && reader.CurrentRecordDamaged()) {
      if (report->damagedSubjects.size() < TabTextReport::kReportNames)
        report->damagedSubjects.push_back(subject);
      ++report->damaged;
    }
    int r = builder.AddEntry(subject, reader.CurrentRecordText());
    if (r != kBuildOk) return r;
  }
  return kUpgradeOk;
}

}  // namespace

int UpgradeBook(BookReader& reader, const std::string& path, ProgressSink* bar) {
  return UpgradeBook(reader, path, bar, nullptr);
}

int UpgradeBook(BookReader& reader, const std::string& path, ProgressSink* bar,
                UpgradeReport* report) {
  BookBuilder builder;
  const int r = AddEntries(reader, builder, bar, report);
  return r != kUpgradeOk ? r : builder.WriteBookFile(path);
}

int UpgradeBook(BookReader& reader, std::FILE* output, ProgressSink* bar) {
  BookBuilder builder;
  const int r = AddEntries(reader, builder, bar, nullptr);
  return r != kUpgradeOk ? r : builder.WriteBook(output);
}

const char* UpgradeResultText(int code) {
  switch (code) {
    case kUpgradeNotLegacy:
      return "the book is not a legacy book (it is already version 2)";
    case kUpgradeRecordFailed:
      return "a record of the legacy book could not be read";
    case kUpgradeEntriesOverlap:
      return "the book's entries overlap (one starts inside another), so it is damaged";
    default:
      return BuildResultText(code);
  }
}

std::string BookWriteFailureText(const std::string& path, int code, int error) {
  const std::string why =
      code == kBuildIoFailed && error != 0 ? SystemErrorText(error) : UpgradeResultText(code);
  return path + ": cannot write the book: " + why + " (nothing was changed there)";
}

std::string UpgradeFailureText(const std::string& legacy, const std::string& out, int code,
                               int error) {
  // The legacy book is at fault, not the target.
  if (code == kUpgradeRecordFailed || code == kUpgradeEntriesOverlap)
    return legacy + ": " + UpgradeResultText(code) + "; no book was written";
  return BookWriteFailureText(out, code, error);
}

}  // namespace ql
