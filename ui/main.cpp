// quillary: the desktop reader. A book named on the command line opens at
// start; without one the window opens empty.
#include <QApplication>
#include <QCommandLineParser>
#include <QFile>
#include <QMessageBox>
#include <QTimer>

#include "desktop_files.h"
#include "document.h"
#include "main_frame.h"
#include "qt_text.h"

namespace {

QByteArray Resource(const QString& name) {
  QFile file(name);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The desktop learns about books: the type, the entry and the icon go into
// the user's data directory when missing (the entry again when it runs
// another program), the desktop's caches are rebuilt for what was written so
// the type works at once, and the reader becomes the default for books unless
// another program already is.
void RegisterBookType() {
  const QByteArray mime = Resource(QStringLiteral(":/desktop/quillary.xml"));
  const QByteArray entry = Resource(QStringLiteral(":/desktop/quillary.desktop"));
  const QByteArray icon = Resource(QStringLiteral(":/quillary.png"));
  const ql::UserDirectories dirs = ql::UserDirectoriesFromEnvironment();
  const ql::IntegrationFiles files{
      std::string_view(mime.constData(), static_cast<size_t>(mime.size())),
      std::string_view(entry.constData(), static_cast<size_t>(entry.size())),
      std::string_view(icon.constData(), static_cast<size_t>(icon.size()))};
  const std::vector<std::string> written = ql::InstallUserFiles(
      dirs, files, qlui::PathFromQString(QCoreApplication::applicationFilePath()));
  // The tools run on their own, and a desktop without them goes without.
  for (const std::vector<std::string>& command : ql::CacheRefreshCommands(dirs, written))
    ql::StartDetached(command);
  ql::ClaimDefaultApplication(dirs);
}

}  // namespace

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
  // The desktop files wait until the window is on its way to the screen.
  QTimer::singleShot(0, &RegisterBookType);
  if (!failed.isEmpty()) {
    // The window stays, without a book; the user learns why.
    QMessageBox::warning(
        &frame, QStringLiteral("Quillary"),
        QStringLiteral("Cannot open %1: %2").arg(failed, qlui::PathToQString(doc.LastFailure())));
  }
  // The first start offers the dictionaries already on the computer, once the
  // window is up (and after any message about the book).
  QTimer::singleShot(0, &frame, [&frame] { frame.OfferDictionariesAtFirstStart(); });
  return QApplication::exec();
}
