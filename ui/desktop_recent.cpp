// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
#include "desktop_recent.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QUrl>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>

#include "qt_text.h"
#include "user_dirs.h"

namespace qlui {

namespace {

const QString kBookmarkNs =
    QStringLiteral("http://www.freedesktop.org/standards/desktop-bookmarks");
const QString kMimeNs = QStringLiteral("http://www.freedesktop.org/standards/shared-mime-info");
const QString kMetadataOwner = QStringLiteral("http://freedesktop.org");
const QString kBookType = QStringLiteral("application/x-quillary");
const QString kAppName = QStringLiteral("Quillary");
const QString kListName = QStringLiteral("recently-used.xbel");

QString Stamp(const QDateTime& time) {
  return time.toUTC().toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzz000Z"));
}

// What the list already says of our entry.
struct OurEntry {
  QString added;
  qint64 count = 0;
};

// Reads our bookmark element (the reader at its start), keeping its added
// date and our application's count; the element is not copied.
void ReadOurEntry(QXmlStreamReader& in, OurEntry& entry) {
  entry.added = in.attributes().value(QStringLiteral("added")).toString();
  int depth = 1;
  while (depth > 0 && !in.atEnd()) {
    const QXmlStreamReader::TokenType token = in.readNext();
    if (token == QXmlStreamReader::StartElement) {
      ++depth;
      if (in.namespaceUri() == kBookmarkNs && in.name() == QStringLiteral("application") &&
          in.attributes().value(QStringLiteral("name")) == kAppName)
        entry.count = in.attributes().value(QStringLiteral("count")).toLongLong();
    } else if (token == QXmlStreamReader::EndElement) {
      --depth;
    }
  }
}

void WriteOurEntry(QXmlStreamWriter& out, const QString& href, const OurEntry& old,
                   const QString& now) {
  out.writeStartElement(QStringLiteral("bookmark"));
  out.writeAttribute(QStringLiteral("href"), href);
  out.writeAttribute(QStringLiteral("added"), old.added.isEmpty() ? now : old.added);
  out.writeAttribute(QStringLiteral("modified"), now);
  out.writeAttribute(QStringLiteral("visited"), now);
  out.writeStartElement(QStringLiteral("info"));
  out.writeStartElement(QStringLiteral("metadata"));
  out.writeAttribute(QStringLiteral("owner"), kMetadataOwner);
  out.writeEmptyElement(kMimeNs, QStringLiteral("mime-type"));
  out.writeAttribute(QStringLiteral("type"), kBookType);
  out.writeStartElement(kBookmarkNs, QStringLiteral("applications"));
  out.writeEmptyElement(kBookmarkNs, QStringLiteral("application"));
  out.writeAttribute(QStringLiteral("name"), kAppName);
  out.writeAttribute(QStringLiteral("exec"), QStringLiteral("'quillary %u'"));
  out.writeAttribute(QStringLiteral("modified"), now);
  out.writeAttribute(QStringLiteral("count"), QString::number(old.count + 1));
  out.writeEndElement();  // applications
  out.writeEndElement();  // metadata
  out.writeEndElement();  // info
  out.writeEndElement();  // bookmark
}

void WriteNewList(QXmlStreamWriter& out, const QString& href, const QString& now) {
  out.writeStartDocument();
  out.writeStartElement(QStringLiteral("xbel"));
  out.writeAttribute(QStringLiteral("version"), QStringLiteral("1.0"));
  out.writeNamespace(kBookmarkNs, QStringLiteral("bookmark"));
  out.writeNamespace(kMimeNs, QStringLiteral("mime"));
  WriteOurEntry(out, href, {}, now);
  out.writeEndElement();
  out.writeEndDocument();
}

// Copies the list token by token, leaving out our old entry and adding the
// new one at the end of the root. False when the list is not well-formed or
// is not a bookmark list.
bool CopyList(QXmlStreamReader& in, QXmlStreamWriter& out, const QString& href,
              const QString& now) {
  int depth = 0;
  bool sawRoot = false;
  // Our entry goes last, so the old one, wherever it stood, is read by then.
  OurEntry old;
  while (!in.atEnd()) {
    const QXmlStreamReader::TokenType token = in.readNext();
    if (in.hasError()) return false;
    if (token == QXmlStreamReader::StartElement) {
      if (depth == 0) {
        if (in.name() != QStringLiteral("xbel") || !in.namespaceUri().isEmpty()) return false;
        sawRoot = true;
      } else if (depth == 1 && in.name() == QStringLiteral("bookmark") &&
                 in.attributes().value(QStringLiteral("href")) == href) {
        ReadOurEntry(in, old);
        if (in.hasError()) return false;
        continue;
      }
      ++depth;
    } else if (token == QXmlStreamReader::EndElement) {
      if (--depth == 0) WriteOurEntry(out, href, old, now);
    }
    out.writeCurrentToken(in);
  }
  return sawRoot && !in.hasError();
}

}  // namespace

QString DesktopRecentListPath() {
  return PathToQString(ql::UserDataDirectory()) + QLatin1Char('/') + kListName;
}

RecentListResult AddToDesktopRecentList(const QString& listPath, const QString& path,
                                        const QDateTime& now) {
  const QString href = QString::fromUtf8(QUrl::fromLocalFile(path).toEncoded());
  const QString stamp = Stamp(now);
  QByteArray written;
  QFile file(listPath);
  if (file.exists()) {
    if (file.size() > kMaxRecentListBytes || !file.open(QIODevice::ReadOnly))
      return RecentListResult::kUnreadable;
    const QByteArray bytes = file.read(kMaxRecentListBytes + 1);
    file.close();
    if (bytes.size() > kMaxRecentListBytes) return RecentListResult::kUnreadable;
    QXmlStreamReader in(bytes);
    QXmlStreamWriter out(&written);
    if (!CopyList(in, out, href, stamp)) return RecentListResult::kUnreadable;
  } else {
    QXmlStreamWriter out(&written);
    out.setAutoFormatting(true);
    WriteNewList(out, href, stamp);
  }
  // A list that is a link has the file it points to replaced.
  const QFileInfo info(listPath);
  const QString target = info.isSymLink() ? info.symLinkTarget() : listPath;
  QDir().mkpath(QFileInfo(target).absolutePath());
  QSaveFile save(target);
  if (!save.open(QIODevice::WriteOnly) || save.write(written) != written.size() || !save.commit())
    return RecentListResult::kWriteFailed;
  return RecentListResult::kWritten;
}

}  // namespace qlui
