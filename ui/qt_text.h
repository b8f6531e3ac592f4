// Book texts are Windows-1252 bytes; Qt speaks Unicode. Every view, dialog
// and link lookup crosses between them here and nowhere else.
#pragma once

#include <QString>
#include <string>
#include <string_view>

#include "cp1252.h"

namespace qlui {

inline QString ToQString(std::string_view bytes) {
  const std::u16string text = ql::DecodeCp1252(bytes);
  return QString(reinterpret_cast<const QChar*>(text.data()), static_cast<qsizetype>(text.size()));
}

inline std::string FromQString(const QString& text) {
  return ql::EncodeCp1252(std::u16string_view(reinterpret_cast<const char16_t*>(text.utf16()),
                                              static_cast<size_t>(text.size())));
}

// Paths are the file system's bytes, not book text.
inline QString PathToQString(const std::string& path) {
  return QString::fromLocal8Bit(path);
}
inline std::string PathFromQString(const QString& path) {
  return path.toLocal8Bit().toStdString();
}

}  // namespace qlui
