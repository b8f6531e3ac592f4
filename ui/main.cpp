// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// quillary: the desktop reader. Books named on the command line open at
// start (the first on show, all of them in the library); without one the
// window opens empty. One runs per user: a start that finds one running
// hands it what it was asked for and ends.
#include <QApplication>
#include <QCommandLineParser>
#include <QFile>
#include <QFileInfo>
#include <QMessageBox>
#include <QTimer>
#include <cstdio>
#include <cstring>

#include "user_texts.h"
#include "desktop_files.h"
#include "document.h"
#include "instance.h"
#include "main_frame.h"
#include "ql_version.h"
#include "qt_text.h"
#include "translation.h"

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
  const QByteArray entry = Resource(QStringLiteral(":/desktop/" QL_APP_ID ".desktop"));
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

// True when the arguments hold one of names (before a "--"): the version
// and the help are printed before any window exists, so that they work
// without a display.
bool Asks(int argc, char** argv, std::initializer_list<const char*> names) {
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--") == 0) return false;
    for (const char* name : names)
      if (std::strcmp(argv[i], name) == 0) return true;
  }
  return false;
}

// The command line the program takes.
struct CommandLine {
  QCommandLineParser parser;
  QCommandLineOption lookup{
      QStringLiteral("lookup"),
      QCoreApplication::translate("main", "Look word up as the lookup line does."),
      QCoreApplication::translate("main", "word")};
  QCommandLineOption selection{
      QStringLiteral("lookup-selection"),
      QCoreApplication::translate(
          "main", "Look the selected text (else the clipboard's) up in QuickPeek.")};
  CommandLine() {
    parser.setApplicationDescription(QCoreApplication::translate(
        "main",
        "Reads Quillary books (.ql): lists the subjects, shows each "
        "record, follows links, finds, and keeps bookmarks in the book."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addPositionalArgument(
        QCoreApplication::translate("main", "book"),
        QCoreApplication::translate("main", "the books to open (.ql); the first is shown"),
        QCoreApplication::translate("main", "[book...]"));
    parser.addOption(lookup);
    parser.addOption(selection);
  }
};

}  // namespace

int main(int argc, char** argv) {
  if (Asks(argc, argv, {"--version", "-v"})) {
    std::printf("quillary %s\n", QL_VERSION);
    return 0;
  }
  if (Asks(argc, argv, {"--help", "-h", "--help-all", "-?"})) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("quillary"));
    qlui::InstallTranslation(app, qlui::WantedLanguages());
    CommandLine line;
    line.parser.process(app);  // prints the help and ends
    return 0;
  }
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Quillary"));
  QApplication::setOrganizationName(QStringLiteral("Quillary"));
  QApplication::setApplicationVersion(QStringLiteral(QL_VERSION));
  // The desktop matches the window to its entry (and so to its icon) by this.
  QGuiApplication::setDesktopFileName(QStringLiteral(QL_APP_ID));
  QApplication::setWindowIcon(QIcon(QStringLiteral(":/quillary.png")));
  qlui::InstallTranslation(app, qlui::WantedLanguages());
  // The core's texts come from the same catalogue.
  ql::SetTextTranslator([](const char* context, const char* source) {
    return QCoreApplication::translate(context, source).toStdString();
  });

  CommandLine line;
  QCommandLineParser& parser = line.parser;
  const QCommandLineOption& lookup = line.lookup;
  const QCommandLineOption& selection = line.selection;
  parser.process(app);

  ql::InstanceRequest request;
  for (const QString& book : parser.positionalArguments())
    request.books.push_back(qlui::PathFromQString(QFileInfo(book).absoluteFilePath()));
  if (parser.isSet(lookup)) request.lookup = parser.value(lookup).toStdString();
  request.lookupSelection = parser.isSet(selection);

  const QString socket = qlui::PathToQString(ql::InstanceSocketPath());
  if (!socket.isEmpty()) {
    switch (qlui::HandOverRequest(socket, request)) {
      case qlui::HandOver::kTaken:
        return 0;
      case qlui::HandOver::kNoAnswer:
        // A Quillary that does not answer is no reason to go without one.
        std::fprintf(stderr, "quillary: the Quillary running does not answer; starting another\n");
        break;
      case qlui::HandOver::kNoneRunning:
        break;
    }
  }

  ql::Document doc;
  qlui::CMainFrame frame(doc);
  qlui::InstanceServer server(
      [&frame](const ql::InstanceRequest& handed) { frame.TakeRequest(handed); });
  server.Listen(socket);
  QString failed;
  if (!request.books.empty()) {
    const QString book = qlui::PathToQString(request.books.front());
    if (!frame.OpenBook(book)) failed = book;
  }
  frame.show();
  frame.SetInitialised();
  // The desktop files wait until the window is on its way to the screen.
  QTimer::singleShot(0, &RegisterBookType);
  if (!failed.isEmpty()) {
    // The window stays, without a book; the user learns why.
    QMessageBox::warning(&frame, QStringLiteral("Quillary"),
                         QCoreApplication::translate("main", "Cannot open %1: %2")
                             .arg(failed, qlui::PathToQString(doc.LastFailure())));
  }
  // The first start offers the dictionaries already on the computer, once the
  // window is up (and after any message about the book).
  QTimer::singleShot(0, &frame, [&frame] { frame.OfferDictionariesAtFirstStart(); });
  // The rest of the request once the window is there (and after the first
  // start has seen no library file yet).
  if (!request.books.empty() || request.lookup || request.lookupSelection)
    QTimer::singleShot(0, &frame, [&frame, request] { frame.TakeRequest(request, false); });
  return QApplication::exec();
}
