// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// Book texts are Windows-1252 bytes (version 2001 and legacy books) or UTF-8
// (version 2002 books); Qt speaks Unicode. Every view, dialog and link
// lookup crosses between them here and nowhere else, in the form of the book
// the text belongs to (ql::FormOf).
#pragma once

#include <QString>
#include <string>
#include <string_view>

#include "book_text.h"
#include "cp1252.h"
#include "plain_text.h"

namespace qlui {

// Windows-1252 bytes: the program's own messages, and a 2001 book's text.
inline QString ToQString(std::string_view bytes) {
  const std::u16string text = ql::DecodeCp1252(bytes);
  return QString(reinterpret_cast<const QChar*>(text.data()), static_cast<qsizetype>(text.size()));
}

inline std::string FromQString(const QString& text) {
  return ql::EncodeCp1252(std::u16string_view(reinterpret_cast<const char16_t*>(text.utf16()),
                                              static_cast<size_t>(text.size())));
}

// A book's text in its form. UTF-8 is decoded leniently: a byte that starts
// no character shows as U+FFFD.
inline QString ToQString(std::string_view bytes, ql::TextForm form) {
  if (form == ql::TextForm::kCp1252) return ToQString(bytes);
  return QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

// Text for a book of that form: UTF-8, or Windows-1252 with '?' for each
// character the code page lacks.
inline std::string FromQString(const QString& text, ql::TextForm form) {
  if (form == ql::TextForm::kCp1252) return FromQString(text);
  return text.toUtf8().toStdString();
}

// A bookmark's text: the first bytes of a subject, a character cut at their
// end left out.
inline QString BookmarkText(std::string_view text, ql::TextForm form) {
  return ToQString(ql::WithoutCutCharacter(text, form), form);
}

// Text whose form is not known (a history step of a book not open, a
// message naming a file or a subject): UTF-8 where it is well-formed, the
// other bytes as Windows-1252. Program messages are ASCII, and read the same.
inline QString LenientToQString(std::string_view bytes) {
  return QString::fromStdString(ql::LenientUtf8(bytes));
}

// Paths are the file system's bytes, not book text.
inline QString PathToQString(const std::string& path) {
  return QString::fromLocal8Bit(path);
}
inline std::string PathFromQString(const QString& path) {
  return path.toLocal8Bit().toStdString();
}

}  // namespace qlui
