// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// The window among the desktop's conventions, under the offscreen platform:
// the desktop's standard keys beside the window's own, none on two
// commands; size, place and split kept across runs; the desktop's list of
// recent files; the texts in the language the environment asks for.
#include <QAction>
#include <QDomDocument>
#include <QFile>
#include <QMenuBar>
#include <QSettings>
#include <QSplitter>
#include <QTest>
#include <QTranslator>
#include <map>
#include <memory>

#include "book_fixture.h"
#include "desktop_recent.h"
#include "document.h"
#include "main_frame.h"
#include "qt_text.h"
#include "record_view.h"
#include "translation.h"

Q_DECLARE_METATYPE(QKeySequence::StandardKey)

namespace {

const QDateTime kThen = QDateTime::fromSecsSinceEpoch(1700000000, Qt::UTC);
const QDateTime kNow = QDateTime::fromSecsSinceEpoch(1800000000, Qt::UTC);

// Another program's entry and our own, as a list the desktop wrote.
const char kSharedList[] =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<xbel version=\"1.0\" "
    "xmlns:bookmark=\"http://www.freedesktop.org/standards/desktop-bookmarks\""
    " xmlns:mime=\"http://www.freedesktop.org/standards/shared-mime-info\">\n"
    "<bookmark href=\"file:///home/u/notes.txt\" added=\"2020-01-01T00:00:00Z\""
    " modified=\"2020-01-01T00:00:00Z\" visited=\"2020-01-01T00:00:00Z\"><info>"
    "<metadata owner=\"http://freedesktop.org\"><mime:mime-type type=\"text/plain\"/>"
    "<bookmark:applications><bookmark:application name=\"Editor\" exec=\"&apos;ed %u&apos;\""
    " modified=\"2020-01-01T00:00:00Z\" count=\"7\"/></bookmark:applications>"
    "</metadata></info></bookmark>\n"
    "<bookmark href=\"file:///books/a%20b.ql\" added=\"2021-05-05T00:00:00Z\""
    " modified=\"2021-05-05T00:00:00Z\" visited=\"2021-05-05T00:00:00Z\"><info>"
    "<metadata owner=\"http://freedesktop.org\"><mime:mime-type type=\"application/x-quillary\"/>"
    "<bookmark:applications><bookmark:application name=\"Quillary\" exec=\"&apos;quillary "
    "%u&apos;\""
    " modified=\"2021-05-05T00:00:00Z\" count=\"2\"/></bookmark:applications>"
    "</metadata></info></bookmark>\n"
    "</xbel>\n";

struct Entry {
  QString added;
  QString appName;
  QString count;
};

// The list's entries by href; false when it does not parse.
bool ReadList(const QString& path, std::map<QString, std::vector<Entry>>& entries) {
  QFile file(path);
  QDomDocument doc;
  if (!file.open(QIODevice::ReadOnly) || !doc.setContent(&file, true)) return false;
  const QDomNodeList marks = doc.documentElement().elementsByTagName(QStringLiteral("bookmark"));
  for (int i = 0; i < marks.size(); ++i) {
    const QDomElement mark = marks.at(i).toElement();
    const QDomElement app =
        mark.elementsByTagNameNS(
                QStringLiteral("http://www.freedesktop.org/standards/desktop-bookmarks"),
                QStringLiteral("application"))
            .at(0)
            .toElement();
    entries[mark.attribute(QStringLiteral("href"))].push_back(
        {mark.attribute(QStringLiteral("added")), app.attribute(QStringLiteral("name")),
         app.attribute(QStringLiteral("count"))});
  }
  return true;
}

void RemoveTranslators() {
  for (QTranslator* t : QCoreApplication::instance()->findChildren<QTranslator*>()) {
    QCoreApplication::removeTranslator(t);
    delete t;
  }
}

}  // namespace

class TestUiDesktop : public QObject {
  Q_OBJECT
 private slots:
  void init();
  void cleanup();
  void standardKeys_data();
  void standardKeys();
  void noKeyOnTwoCommands();
  void sizePlaceAndSplitAreKept();
  void recentList_data();
  void recentList();
  void openedBookJoinsTheDesktopList();
  void languageFromTheEnvironment_data();
  void languageFromTheEnvironment();

 private:
  QAction* ActionWithKey(const QKeySequence& key) const;

  std::unique_ptr<qltest::TempDir> iDir;
  std::unique_ptr<ql::Document> iDoc;
  std::unique_ptr<qlui::CMainFrame> iFrame;
};

void TestUiDesktop::init() {
  iDir = std::make_unique<qltest::TempDir>();
  QSettings(QStringLiteral("Quillary"), QStringLiteral("Quillary")).clear();
  qputenv("XDG_RUNTIME_DIR", QByteArray::fromStdString(iDir->Path()));
  qputenv("XDG_DATA_HOME", QByteArray::fromStdString(iDir->File("data")));
  // The word indexes the window builds in the background.
  qputenv("XDG_CACHE_HOME", QByteArray::fromStdString(iDir->File("cache")));
  qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(iDir->File("config")));
  iDoc = std::make_unique<ql::Document>();
  iFrame = std::make_unique<qlui::CMainFrame>(*iDoc);
}

void TestUiDesktop::cleanup() {
  iFrame.reset();
  iDoc.reset();
  iDir.reset();
  RemoveTranslators();
}

QAction* TestUiDesktop::ActionWithKey(const QKeySequence& key) const {
  for (QAction* action : iFrame->findChildren<QAction*>())
    if (action->shortcuts().contains(key)) return action;
  return nullptr;
}

void TestUiDesktop::standardKeys_data() {
  QTest::addColumn<QKeySequence::StandardKey>("standard");
  QTest::addColumn<QKeySequence>("own");  // the window's own key, kept
  QTest::addColumn<QString>("command");
  QTest::newRow("quit") << QKeySequence::Quit << QKeySequence() << "E&xit";
  QTest::newRow("close") << QKeySequence::Close << QKeySequence() << "Close";
  QTest::newRow("help") << QKeySequence::HelpContents << QKeySequence() << "Contents...";
  QTest::newRow("find next") << QKeySequence::FindNext << QKeySequence(Qt::Key_F3) << "Find Next";
  QTest::newRow("zoom in") << QKeySequence::ZoomIn << QKeySequence(Qt::CTRL | Qt::Key_Equal)
                           << "Zoom &In";
  QTest::newRow("zoom out") << QKeySequence::ZoomOut << QKeySequence(Qt::CTRL | Qt::Key_Minus)
                            << "Zoom &Out";
  QTest::newRow("find") << QKeySequence::Find << QKeySequence(Qt::CTRL | Qt::Key_F) << "&Find...";
}

void TestUiDesktop::standardKeys() {
  QFETCH(QKeySequence::StandardKey, standard);
  QFETCH(QKeySequence, own);
  QFETCH(QString, command);
  QList<QKeySequence> keys = QKeySequence::keyBindings(standard);
  if (!own.isEmpty()) keys << own;
  if (keys.isEmpty()) QSKIP("this platform has no key for the command");
  for (const QKeySequence& key : keys) {
    QAction* action = ActionWithKey(key);
    QVERIFY2(action, qPrintable(key.toString()));
    QCOMPARE(action->text(), command);
  }
}

void TestUiDesktop::noKeyOnTwoCommands() {
  std::map<QString, QString> taken;
  for (QAction* action : iFrame->findChildren<QAction*>())
    for (const QKeySequence& key : action->shortcuts()) {
      const auto [at, fresh] = taken.emplace(key.toString(), action->text());
      QVERIFY2(fresh, qPrintable(key.toString() + ": " + at->second + " and " + action->text()));
    }
  QVERIFY(taken.size() > 15);
}

void TestUiDesktop::sizePlaceAndSplitAreKept() {
  iFrame->show();
  QVERIFY(QTest::qWaitForWindowExposed(iFrame.get()));
  iFrame->resize(640, 480);
  QSplitter* split = iFrame->Splitter();
  split->setSizes({100, 300});
  emit split->splitterMoved(split->sizes()[0], 1);  // as a drag of the handle says it
  const double share = double(split->sizes()[0]) / (split->sizes()[0] + split->sizes()[1]);
  iFrame->close();
  // The next run starts as this one ended, and keeps the share as it resizes.
  ql::Document doc;
  qlui::CMainFrame next(doc);
  QCOMPARE(next.size(), QSize(640, 480));
  next.show();
  QVERIFY(QTest::qWaitForWindowExposed(&next));
  next.SetInitialised();
  next.resize(700, 600);
  QTRY_VERIFY(std::abs(double(next.Splitter()->sizes()[0]) /
                           (next.Splitter()->sizes()[0] + next.Splitter()->sizes()[1]) -
                       share) < 0.02);
}

void TestUiDesktop::recentList_data() {
  QTest::addColumn<QByteArray>("before");  // "" for no list yet
  QTest::addColumn<int>("result");
  QTest::addColumn<QString>("count");  // ours afterwards
  QTest::addColumn<QString>("added");
  using R = qlui::RecentListResult;
  QTest::newRow("new list") << QByteArray() << int(R::kWritten) << "1"
                            << "2023-11-14T22:13:20.000000Z";
  QTest::newRow("shared list") << QByteArray(kSharedList) << int(R::kWritten) << "3"
                               << "2021-05-05T00:00:00Z";
  QTest::newRow("not well-formed")
      << QByteArray("<xbel version=\"1.0\"><bookmark href=") << int(R::kUnreadable) << ""
      << "";
  QTest::newRow("another format") << QByteArray("<html><body/></html>") << int(R::kUnreadable) << ""
                                  << "";
  QTest::newRow("entity bomb")
      << QByteArray(
             "<!DOCTYPE x [<!ENTITY a \"aaaaaaaaaa\"><!ENTITY b \"&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;\">"
             "<!ENTITY c \"&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;\"><!ENTITY d "
             "\"&c;&c;&c;&c;&c;&c;&c;&c;&c;\">"
             "<!ENTITY e \"&d;&d;&d;&d;&d;&d;&d;&d;&d;&d;\">]><xbel>&e;&e;&e;&e;&e;&e;&e;</xbel>")
      << int(R::kUnreadable) << ""
      << "";
}

void TestUiDesktop::recentList() {
  QFETCH(QByteArray, before);
  QFETCH(int, result);
  QFETCH(QString, count);
  QFETCH(QString, added);
  const QString list = qlui::PathToQString(iDir->File("data/recently-used.xbel"));
  if (!before.isEmpty()) {
    QDir().mkpath(qlui::PathToQString(iDir->File("data")));
    qltest::WriteFileBytes(iDir->File("data/recently-used.xbel"), before.toStdString());
  }
  const QString book = QStringLiteral("/books/a b.ql");
  // A first use at kThen only for the new list; the shared one has ours.
  if (before.isEmpty()) QCOMPARE(int(qlui::AddToDesktopRecentList(list, book, kThen)), result);
  QCOMPARE(int(qlui::AddToDesktopRecentList(list, book, kNow)), result);
  if (result != int(qlui::RecentListResult::kWritten)) {
    QCOMPARE(
        QByteArray::fromStdString(qltest::ReadFileBytes(iDir->File("data/recently-used.xbel"))),
        before);
    return;
  }
  std::map<QString, std::vector<Entry>> entries;
  QVERIFY(ReadList(list, entries));
  const std::vector<Entry>& ours = entries[QStringLiteral("file:///books/a%20b.ql")];
  QCOMPARE(ours.size(), size_t{1});
  QCOMPARE(ours[0].appName, QStringLiteral("Quillary"));
  QCOMPARE(ours[0].count, before.isEmpty() ? QStringLiteral("2") : count);
  QCOMPARE(ours[0].added, added);
  if (!before.isEmpty()) {
    const std::vector<Entry>& other = entries[QStringLiteral("file:///home/u/notes.txt")];
    QCOMPARE(other.size(), size_t{1});
    QCOMPARE(other[0].appName, QStringLiteral("Editor"));
    QCOMPARE(other[0].count, QStringLiteral("7"));
  }
}

void TestUiDesktop::openedBookJoinsTheDesktopList() {
  const std::string book = iDir->File("sample.ql");
  qltest::WriteFileBytes(book, qltest::BuildBookBytes({{"cat", "a pet"}}));
  QVERIFY(iFrame->OpenBook(qlui::PathToQString(book)));
  const QString list = qlui::PathToQString(iDir->File("data/recently-used.xbel"));
  QTRY_VERIFY(QFile::exists(list));
  std::map<QString, std::vector<Entry>> entries;
  QVERIFY(ReadList(list, entries));
  QCOMPARE(
      entries[QUrl::fromLocalFile(qlui::PathToQString(book)).toString(QUrl::FullyEncoded)].size(),
      size_t{1});
}

void TestUiDesktop::languageFromTheEnvironment_data() {
  QTest::addColumn<QString>("language");
  QTest::addColumn<QString>("chosen");
  QTest::addColumn<QString>("fileMenu");
  QTest::addColumn<QString>("startPage");  // how the start page begins
  const QString german = QString::fromUtf8("Blättern\nin den Stichwörtern oben");
  QTest::newRow("German") << "de"
                          << "de"
                          << "&Datei" << german;
  QTest::newRow("German of Austria") << "de_AT.UTF-8"
                                     << "de_AT.UTF-8"
                                     << "&Datei" << german;
  QTest::newRow("none for French, then German") << "fr:de"
                                                << "de"
                                                << "&Datei" << german;
  QTest::newRow("English first") << "en_GB:de"
                                 << ""
                                 << "&File"
                                 << "Browse\nthe subjects above";
}

void TestUiDesktop::languageFromTheEnvironment() {
  QFETCH(QString, language);
  QFETCH(QString, chosen);
  QFETCH(QString, fileMenu);
  QFETCH(QString, startPage);
  qputenv("LANGUAGE", language.toUtf8());
  const QString got =
      qlui::InstallTranslation(*QCoreApplication::instance(), qlui::WantedLanguages());
  qunsetenv("LANGUAGE");
  QCOMPARE(got, chosen);
  ql::Document doc;
  qlui::CMainFrame frame(doc);
  QCOMPARE(frame.menuBar()->actions().value(0)->text(), fileMenu);
  frame.RecordView()->ShowStartPage();
  QVERIFY2(frame.RecordView()->toPlainText().contains(startPage),
           qPrintable(frame.RecordView()->toPlainText()));
}

QTEST_MAIN(TestUiDesktop)

#include "test_ui_desktop.moc"
