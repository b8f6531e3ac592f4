// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
#include "record_view.h"

#include <QApplication>
#include <QDesktopServices>
#include <QFile>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QRegularExpression>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QUrl>
#include <algorithm>

#include "links.h"
#include "qt_text.h"
#include "theme.h"

namespace qlui {

namespace {

const QUrl kStartPage(QStringLiteral("qrc:/start.html"));

// The start page's texts as the page holds them; they are put in the user's
// language as it loads, and the pictures' descriptions too.
constexpr const char* kStartPageTexts[] = {
    QT_TRANSLATE_NOOP("qlui::CQuillaryHtmlView", "<b>Browse</b><br>the subjects above"),
    QT_TRANSLATE_NOOP("qlui::CQuillaryHtmlView", "<b>Read</b><br>each record here"),
    QT_TRANSLATE_NOOP("qlui::CQuillaryHtmlView", "<b>Find</b><br>with Ctrl+F"),
    QT_TRANSLATE_NOOP("qlui::CQuillaryHtmlView", "Open a book with Ctrl+O, then choose a subject."),
    QT_TRANSLATE_NOOP("qlui::CQuillaryHtmlView", "Pictures and program by the Quillary team."),
};
constexpr const char* kStartPagePictures[] = {
    QT_TRANSLATE_NOOP("qlui::CQuillaryHtmlView", "A book"),
    QT_TRANSLATE_NOOP("qlui::CQuillaryHtmlView", "A quill"),
    QT_TRANSLATE_NOOP("qlui::CQuillaryHtmlView", "A lens"),
};

QString TranslateStartPage(QString page) {
  for (const char* text : kStartPageTexts)
    page.replace(QLatin1String(text), CQuillaryHtmlView::tr(text));
  for (const char* text : kStartPagePictures)
    page.replace(QStringLiteral("alt=\"%1\"").arg(QLatin1String(text)),
                 QStringLiteral("alt=\"%1\"").arg(CQuillaryHtmlView::tr(text).toHtmlEscaped()));
  return page;
}

}  // namespace

bool PageDeclaresUtf8(const QByteArray& bytes) {
  // The declaration is in the head, before the body starts.
  QByteArray head = bytes.left(1024);
  const qsizetype body = head.indexOf("<body");
  if (body >= 0) head.truncate(body);
  head = head.toLower();
  return head.contains("charset=utf-8") || head.contains("charset=\"utf-8\"");
}

QString PageTextForView(const QByteArray& bytes, ql::TextForm form) {
  if (PageDeclaresUtf8(bytes)) form = ql::TextForm::kUtf8;
  QString text =
      ToQString(std::string_view(bytes.constData(), static_cast<size_t>(bytes.size())), form);
  static const QRegularExpression strikeOn(QStringLiteral("<strike>"),
                                           QRegularExpression::CaseInsensitiveOption);
  static const QRegularExpression strikeOff(QStringLiteral("</strike>"),
                                            QRegularExpression::CaseInsensitiveOption);
  text.replace(strikeOn, QStringLiteral("<s>"));
  text.replace(strikeOff, QStringLiteral("</s>"));
  return text;
}

CQuillaryHtmlView::CQuillaryHtmlView(std::function<void(const std::string&)> followLink,
                                     QWidget* parent)
    : QTextBrowser(parent), iFollowLink(std::move(followLink)) {
  setObjectName(QStringLiteral("recordView"));
  setAccessibleName(tr("Record"));
  setOpenLinks(false);
  setOpenExternalLinks(false);
  setTextInteractionFlags(Qt::TextBrowserInteraction);
  ApplyBaseFont();
}

void CQuillaryHtmlView::SetZoom(int percent) {
  if (percent <= 0) return;
  iZoomPercent = percent;
  ApplyBaseFont();
}

void CQuillaryHtmlView::ApplyBaseFont() {
  // A page's <font size=N> is relative to the document's font, which is the
  // view's: size 3 reads at this size, the others at the same steps from it.
  QFont base = QApplication::font();
  if (base.pointSizeF() > 0)
    base.setPointSizeF(base.pointSizeF() * iZoomPercent / 100.0);
  else if (base.pixelSize() > 0)
    base.setPixelSize(std::max(1, qRound(base.pixelSize() * iZoomPercent / 100.0)));
  setFont(base);
}

bool CQuillaryHtmlView::event(QEvent* event) {
  // The desktop's font changed: the page's base follows it, zoom kept. The
  // view's font was set, so Qt leaves it as it was.
  if (event->type() == QEvent::ApplicationFontChange) ApplyBaseFont();
  return QTextBrowser::event(event);
}

void CQuillaryHtmlView::changeEvent(QEvent* event) {
  QTextBrowser::changeEvent(event);
  // Light or dark: the page is read again to take the palette's colours.
  if (event->type() == QEvent::PaletteChange && !source().isEmpty()) {
    const int scroll = verticalScrollBar()->value();
    reload();
    FollowTextDirection();
    verticalScrollBar()->setValue(scroll);
  }
}

void CQuillaryHtmlView::ShowPage(const QString& path, bool scrollToFound, ql::TextForm form) {
  iPagePath = path;
  iPageForm = form;
  const QUrl url = QUrl::fromLocalFile(path);
  // The file has new bytes under the same name: load it again.
  if (source() == url)
    reload();
  else
    setSource(url, QTextDocument::HtmlResource);
  FollowTextDirection();
  if (scrollToFound)
    scrollToAnchor(QStringLiteral("foundtext"));
  else
    verticalScrollBar()->setValue(0);
}

void CQuillaryHtmlView::FollowTextDirection() {
  // Each paragraph runs in the direction its text starts with, an Arabic or
  // Hebrew one right to left. The HTML reader gives every block left to
  // right unless the page says right to left, so those blocks are made to
  // follow their text (a page saying left to right for Arabic text is
  // overruled, which no book's page needs).
  QTextBlockFormat autoDirection;
  autoDirection.setLayoutDirection(Qt::LayoutDirectionAuto);
  for (QTextBlock block = document()->begin(); block.isValid(); block = block.next()) {
    if (block.blockFormat().layoutDirection() != Qt::LeftToRight) continue;
    QTextCursor cursor(block);
    cursor.mergeBlockFormat(autoDirection);
  }
}

void CQuillaryHtmlView::ShowStartPage() {
  if (source() == kStartPage)
    reload();
  else
    setSource(kStartPage, QTextDocument::HtmlResource);
}

QVariant CQuillaryHtmlView::loadResource(int type, const QUrl& name) {
  if (name == kStartPage) {
    QFile file(QStringLiteral(":/start.html"));
    if (!file.open(QIODevice::ReadOnly)) return {};
    return AdaptStartPageToPalette(TranslateStartPage(QString::fromUtf8(file.readAll())),
                                   palette());
  }
  if (name.scheme() == QLatin1String("qrc")) return QTextBrowser::loadResource(type, name);
  // The page file is the one file read from disk; images, style sheets and
  // anything remote a page may name are not loaded.
  if (type == QTextDocument::HtmlResource && name.isLocalFile() &&
      name.toLocalFile() == iPagePath) {
    QFile file(iPagePath);
    if (!file.open(QIODevice::ReadOnly)) return {};
    return AdaptPageToPalette(PageTextForView(file.readAll(), iPageForm), palette());
  }
  return {};
}

void CQuillaryHtmlView::Follow(const QString& href) {
  // The address in the page's form: a link's target is text of its book.
  const std::string address = FromQString(href, iPageForm);
  switch (ql::ClassifyLink(address)) {
    case ql::LinkAction::kShowRecord:
      iFollowLink(address);
      break;
    case ql::LinkAction::kOpenExternally:
      QDesktopServices::openUrl(QUrl(href));
      break;
    case ql::LinkAction::kIgnore:
      break;
  }
}

void CQuillaryHtmlView::mouseReleaseEvent(QMouseEvent* event) {
  // The raw href, not a QUrl: the key must reach the lookup byte for byte.
  const QString href = event->button() == Qt::LeftButton && !textCursor().hasSelection()
                           ? anchorAt(event->position().toPoint())
                           : QString();
  QTextBrowser::mouseReleaseEvent(event);
  if (!href.isEmpty()) Follow(href);
}

void CQuillaryHtmlView::keyPressEvent(QKeyEvent* event) {
  if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) &&
      textCursor().hasSelection()) {
    const QString href = textCursor().charFormat().anchorHref();
    if (!href.isEmpty()) {
      event->accept();
      Follow(href);
      return;
    }
  }
  QTextBrowser::keyPressEvent(event);
}

}  // namespace qlui
