// quillary: the desktop reader. A book named on the command line opens at
// start; without one the window opens empty.
#include <QApplication>
#include <QCommandLineParser>
#include <QMessageBox>

#include "document.h"
#include "main_frame.h"
#include "qt_text.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Quillary"));
  QApplication::setOrganizationName(QStringLiteral("Quillary"));
  QApplication::setApplicationVersion(QStringLiteral("2.1"));
  QApplication::setWindowIcon(QIcon(QStringLiteral(":/quillary.png")));

  QCommandLineParser parser;
  parser.setApplicationDescription(
      QStringLiteral("Reads Quillary books (.ql): lists the subjects, shows each record, follows "
                     "links, finds, and keeps bookmarks in the book."));
  parser.addHelpOption();
  parser.addVersionOption();
  parser.addPositionalArgument(QStringLiteral("book"), QStringLiteral("the book to open (.ql)"),
                               QStringLiteral("[book]"));
  parser.process(app);

  ql::Document doc;
  qlui::CMainFrame frame(doc);
  QString failed;
  if (!parser.positionalArguments().isEmpty()) {
    const QString book = parser.positionalArguments().front();
    if (!frame.OpenBook(book)) failed = book;
  }
  frame.show();
  frame.SetInitialised();
  if (!failed.isEmpty()) {
    // The window stays, without a book; the user learns why.
    QMessageBox::warning(
        &frame, QStringLiteral("Quillary"),
        QStringLiteral("Cannot open %1: %2").arg(failed, qlui::PathToQString(doc.iLastFailure)));
  }
  return QApplication::exec();
}
