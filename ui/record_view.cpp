#include "record_view.h"

#include <QApplication>
#include <QDesktopServices>
#include <QFile>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QRegularExpression>
#include <QScrollBar>
#include <QTextDocument>
#include <QUrl>
#include <algorithm>

#include "links.h"
#include "qt_text.h"
#include "theme.h"

namespace qlui {

namespace {
const QUrl kStartPage(QStringLiteral("qrc:/start.html"));
}

QString PageTextForView(const QByteArray& bytes) {
  QString text = ToQString(std::string_view(bytes.constData(), static_cast<size_t>(bytes.size())));
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
  setAccessibleName(QStringLiteral("Record"));
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
    verticalScrollBar()->setValue(scroll);
  }
}

void CQuillaryHtmlView::ShowPage(const QString& path, bool scrollToFound) {
  iPagePath = path;
  const QUrl url = QUrl::fromLocalFile(path);
  // The file has new bytes under the same name: load it again.
  if (source() == url)
    reload();
  else
    setSource(url, QTextDocument::HtmlResource);
  if (scrollToFound)
    scrollToAnchor(QStringLiteral("foundtext"));
  else
    verticalScrollBar()->setValue(0);
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
    return AdaptStartPageToPalette(QString::fromUtf8(file.readAll()), palette());
  }
  if (name.scheme() == QLatin1String("qrc")) return QTextBrowser::loadResource(type, name);
  // The page file is the one file read from disk; images, style sheets and
  // anything remote a page may name are not loaded.
  if (type == QTextDocument::HtmlResource && name.isLocalFile() &&
      name.toLocalFile() == iPagePath) {
    QFile file(iPagePath);
    if (!file.open(QIODevice::ReadOnly)) return {};
    return AdaptPageToPalette(PageTextForView(file.readAll()), palette());
  }
  return {};
}

void CQuillaryHtmlView::Follow(const QString& href) {
  const std::string address = FromQString(href);
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
