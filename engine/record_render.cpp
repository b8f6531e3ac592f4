// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// RenderRecord: the reader's current record as a page for the record view
// (the page itself is written by WriteRecordPage in record_markup.cpp).
#include <string>

#include "book_reader.h"
#include "record_markup.h"

namespace ql {

namespace {

constexpr std::string_view kDamagedRecordText = "This entry is damaged";

}  // namespace

void BookReader::RenderRecord(ByteSink& sink, const RenderOptions& options, int index, int foundPos,
                              int foundLength) {
  // An index outside the book or a record that cannot be loaded still gives
  // a whole page: the heading that is known and an empty body.
  bool valid = iOpen && index >= 0 && index < iSubjectCount;
  bool loaded = valid && LoadRecord(index) == 1;
  std::string subject = valid ? GetSubject(index) : std::string();
  // What a damaged record gives is not its text: the page says so instead.
  std::string_view text = !loaded                  ? std::string_view()
                          : CurrentRecordDamaged() ? kDamagedRecordText
                                                   : CurrentRecordText();
  const bool damaged = loaded && CurrentRecordDamaged();
  WriteRecordPage(sink, options.face, options.size, subject, text, damaged ? -1 : foundPos,
                  damaged ? -1 : foundLength, IsUnicode());
}

}  // namespace ql
