// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// RenderRecord: the reader's current record as a page for the record view
// (the page itself is written by WriteRecordPage in record_markup.cpp).
#include <string>

#include "book_reader.h"
#include "plain_text.h"
#include "record_markup.h"
#include "user_texts.h"

namespace ql {

namespace {

constexpr const char* kDamagedRecordText = QL_TEXT("messages", "This entry is damaged");

}  // namespace

void BookReader::RenderRecord(ByteSink& sink, const RenderOptions& options, int index, int foundPos,
                              int foundLength) {
  // An index outside the book or a record that cannot be loaded still gives
  // a whole page: the heading that is known and an empty body.
  bool valid = iOpen && index >= 0 && index < iSubjectCount;
  bool loaded = valid && LoadRecord(index) == 1;
  std::string subject = valid ? GetSubject(index) : std::string();
  // What a damaged record gives is not its text: the page says so instead,
  // in the user's language where the book's code page can hold it.
  std::string said;
  if (loaded && CurrentRecordDamaged()) {
    said = translate("messages", kDamagedRecordText);
    if (!IsUnicode()) said = Utf8ToCp1252(said).value_or(kDamagedRecordText);
  }
  std::string_view text = !loaded                  ? std::string_view()
                          : CurrentRecordDamaged() ? std::string_view(said)
                                                   : CurrentRecordText();
  const bool damaged = loaded && CurrentRecordDamaged();
  WriteRecordPage(sink, options.face, options.size, subject, text, damaged ? -1 : foundPos,
                  damaged ? -1 : foundLength, IsUnicode());
}

}  // namespace ql
