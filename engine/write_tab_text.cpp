// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// WriteTabText: the whole book as tab-separated tagged text, one entry a
// line: subject, TAB, the record with its tags written in their canonical
// form, CR LF. Read back by the tab-separated import, this gives the same
// subjects and stored texts for every entry the form can carry.
#include <algorithm>
#include <string>

#include "book_reader.h"
#include "record_markup.h"

namespace ql {

namespace {

constexpr std::string_view kFieldSeparator = "\t";
constexpr std::string_view kLineEnd = "\r\n";
constexpr std::string_view kLinkTargetClose = ">";
constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

// Passes bytes on and counts them, to tell whether a text came out empty.
class CountingSink final : public ByteSink {
 public:
  explicit CountingSink(ByteSink& to) : iTo(to) {}
  bool Write(std::string_view bytes) override {
    iCount += bytes.size();
    iLineFeeds += static_cast<size_t>(std::count(bytes.begin(), bytes.end(), '\n'));
    iReturns += static_cast<size_t>(std::count(bytes.begin(), bytes.end(), '\r'));
    return iTo.Write(bytes);
  }
  bool Failed() const override { return iTo.Failed(); }
  size_t Count() const { return iCount; }
  size_t LineFeeds() const { return iLineFeeds; }
  size_t Returns() const { return iReturns; }

 private:
  ByteSink& iTo;
  size_t iCount = 0;
  size_t iLineFeeds = 0;
  size_t iReturns = 0;
};

// Writes text with its tags in their canonical form; false when a byte pair
// that no tag has (or a TAB at the very end) was left out, as the text form
// has nothing to write it as.
bool WriteStoredText(ByteSink& out, std::string_view text) {
  bool whole = true;
  size_t p = 0;
  const size_t size = text.size();
  while (p < size && text[p] != '\0') {
    if (uint8_t(text[p]) != kTagByte) {
      size_t end = p;
      while (end < size && text[end] != '\0' && uint8_t(text[end]) != kTagByte) ++end;
      out.Write(text.substr(p, end - p));
      p = end;
      continue;
    }
    // A TAB that is the text's last byte ends it.
    if (p + 1 >= size || text[p + 1] == '\0') return false;
    uint8_t code = uint8_t(text[p + 1]);
    p += 2;
    if (code == kTagLinkStart) {
      size_t end = p;
      while (end < size && text[end] != '\0' && text[end] != kLinkTargetEnd &&
             uint8_t(text[end]) != kTagByte)
        ++end;
      out.Write(kMarkupTags[kTagLinkStart].canonical);
      out.Write(text.substr(p, end - p));
      out.Write(kLinkTargetClose);
      // A target closed by ">" is followed by its display text; one that is
      // its own display text is written again as ordinary text.
      if (end < size && text[end] == kLinkTargetEnd) p = end + 1;
    } else if (IsKnownTag(code)) {
      out.Write(kMarkupTags[code].canonical);
    } else {
      whole = false;
    }
  }
  return whole;
}

}  // namespace

int BookReader::WriteTabText(ByteSink& out, ProgressSink* bar) {
  return WriteTabText(out, bar, nullptr);
}

int BookReader::WriteTabText(ByteSink& out, ProgressSink* bar, TabTextReport* report) {
  const int count = GetSubjectCount();
  CountingSink text(out);
  OverlapCheck overlap;
  for (int i = 0; i < count; ++i) {
    if (bar) bar->Step();
    const std::string subject = GetSubject(i);
    out.Write(subject);
    out.Write(kFieldSeparator);
    // A record that cannot be loaded ends the export; the caller sees a
    // count below the subject count.
    if (LoadRecord(i) != 1) return i;
    // Entries that overlap would have this write one entry over and over.
    if (!overlap.Follows(CurrentRecordExtent())) {
      if (report) report->overlapAt = i;
      return i;
    }
    const size_t before = text.Count();
    const size_t lineFeedsBefore = text.LineFeeds();
    const size_t returnsBefore = text.Returns();
    const bool whole = WriteStoredText(text, CurrentRecordText());
    out.Write(kLineEnd);
    if (out.Failed()) return i;
    if (!report) continue;
    if (CurrentRecordDamaged()) {
      if (report->damagedSubjects.size() < TabTextReport::kReportNames)
        report->damagedSubjects.push_back(RecordName(subject, i));
      ++report->damaged;
    }
    // The import takes the first line end it meets for the file's line end,
    // so the first line must hold none but its own CR LF; a CR written in a
    // text (a tag code of the same value is written as its tag) ends a line.
    // The import also passes over a byte-order mark at the start of the file.
    const bool firstLineEnds =
        i == 0 && (subject.find_first_of("\r\n") != std::string::npos ||
                   text.LineFeeds() > lineFeedsBefore || subject.rfind(kByteOrderMark, 0) == 0);
    const bool carried = !subject.empty() && subject.front() != '\r' && subject.front() != '\n' &&
                         subject.find('\t') == std::string::npos && text.Count() > before &&
                         text.Returns() == returnsBefore && !firstLineEnds && whole;
    if (!carried) {
      if (report->notCarriedSubjects.size() < TabTextReport::kReportNames)
        report->notCarriedSubjects.push_back(subject);
      ++report->notCarried;
    }
  }
  return count;
}

}  // namespace ql
