// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// The Library window and the library's side of the main window under the
// offscreen platform: the books' states filled in from the worker, every
// control reached by the keyboard and named, each change saved to the
// library file, the group drop-down following the groups, and Find
// Dictionaries importing in the background while the window answers.
#include <QAccessible>
#include <QApplication>
#include <QComboBox>
#include <QListWidget>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QSettings>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <filesystem>

#include "book_fixture.h"
#include "dict_fixture.h"
#include "dictionary_offer.h"
#include "document.h"
#include "library_window.h"
#include "lookup_line.h"
#include "main_frame.h"
#include "qt_text.h"
#include "settings.h"
#include "test_helpers.h"

class TestLibraryWindow : public QObject {
  Q_OBJECT

 private slots:
  void init();
  void cleanup();
  void statesFillInAndEveryControlIsReachedByTab();
  void keysChangeTheBooksAndEachChangeIsSaved();
  void groupsReachTheDropDownBesideTheLookupLine();
  void findDictionariesImportsInTheBackground();
  void escStopsTheImport();

 private:
  QAction* MenuItem(const QString& menu, const QString& text) const;
  qlui::LibraryWindow* OpenLibrary();
  // A column's cells, joined by '|'.
  QString Column(int column) const;
  // Sets Find Dictionaries to look in dictd and answers its question Yes.
  void FindDictionariesIn(const std::string& dictd, QString& asked);
  ql::Library Saved() const { return ql::Library::Load(ql::LibraryFilePath()); }

  std::unique_ptr<qltest::TempDir> iDir;
  std::vector<std::string> iBooks;  // in the books folder, name order
  std::unique_ptr<ql::Document> iDoc;
  std::unique_ptr<qlui::CMainFrame> iFrame;
};

void TestLibraryWindow::init() {
  iDir = std::make_unique<qltest::TempDir>();
  QSettings(QStringLiteral("Quillary"), QStringLiteral("Quillary")).clear();
  qputenv("XDG_RUNTIME_DIR", QByteArray::fromStdString(iDir->Path()));
  qputenv("XDG_DATA_HOME", QByteArray::fromStdString(iDir->File("data")));
  // The word indexes the window builds in the background.
  qputenv("XDG_CACHE_HOME", QByteArray::fromStdString(iDir->File("cache")));
  std::filesystem::remove(ql::LibraryFilePath());
  const std::string folder = ql::BooksFolder();
  std::filesystem::create_directories(folder);
  iBooks = {folder + "/apples.ql", folder + "/broken.ql", folder + "/cheeses.ql"};
  qltest::WriteFileBytes(
      iBooks[0], qltest::BuildBookBytes({{"cox", "A red apple."}, {"gala", "A sweet apple."}}));
  qltest::WriteFileBytes(iBooks[1], "not a book at all");
  qltest::WriteFileBytes(iBooks[2], qltest::BuildBookBytes({{"brie", "Soft."}}));
  iDoc = std::make_unique<ql::Document>();
  iFrame = std::make_unique<qlui::CMainFrame>(*iDoc);
  iFrame->show();
  iFrame->SetInitialised();
  QVERIFY(QTest::qWaitForWindowExposed(iFrame.get()));
}

void TestLibraryWindow::cleanup() {
  iFrame.reset();
  iDoc.reset();
  iDir.reset();
}

QAction* TestLibraryWindow::MenuItem(const QString& menu, const QString& text) const {
  for (QAction* m : iFrame->menuBar()->actions())
    if (m->text() == menu)
      for (QAction* a : m->menu()->actions())
        if (a->text() == text) return a;
  return nullptr;
}

qlui::LibraryWindow* TestLibraryWindow::OpenLibrary() {
  QAction* item = MenuItem(QStringLiteral("&View"), QStringLiteral("&Library..."));
  if (!item) return nullptr;
  item->trigger();
  qlui::LibraryWindow* window = iFrame->LibraryView();
  if (!window || !QTest::qWaitForWindowExposed(window)) return nullptr;
  QApplication::setActiveWindow(window);
  if (!QTest::qWaitFor([&] { return !window->Probing(); })) return nullptr;
  return window;
}

QString TestLibraryWindow::Column(int column) const {
  QStringList cells;
  const QAbstractItemModel* model = iFrame->LibraryView()->Model();
  for (int row = 0; row < model->rowCount(); ++row)
    cells << model->data(model->index(row, column)).toString();
  return cells.join(QLatin1Char('|'));
}

void TestLibraryWindow::statesFillInAndEveryControlIsReachedByTab() {
  qlui::LibraryWindow* window = OpenLibrary();
  QVERIFY(window);
  QCOMPARE(Column(0), QStringLiteral("apples.ql|broken.ql|cheeses.ql"));
  QCOMPARE(Column(1), QStringLiteral("2||1"));
  // The reason is the one an open failure tells.
  QVERIFY2(QRegularExpression(QStringLiteral("^Open\\|Failed: .{4,}\\|Open$"))
               .match(Column(3))
               .hasMatch(),
           qPrintable(Column(3)));
  QCOMPARE(QApplication::focusWidget(), window->Table());
  QSet<QWidget*> reached;
  for (int i = 0; i < 40 && !reached.contains(QApplication::focusWidget()); ++i) {
    reached << QApplication::focusWidget();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
  }
  QList<QWidget*> controls = {window->Table(), window->GroupList(), window->FolderList()};
  for (QPushButton* button : window->findChildren<QPushButton*>()) controls << button;
  QCOMPARE(controls.size(), 15);
  for (QWidget* control : controls) {
    QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(control);
    QVERIFY(iface);
    QVERIFY2(!iface->text(QAccessible::Name).isEmpty(), qPrintable(control->objectName()));
    // A button that cannot be used now is skipped by Tab, as it should be.
    if (control->isEnabled())
      QVERIFY2(reached.contains(control), qPrintable(control->objectName()));
  }
  // Esc closes the window.
  QTest::keyClick(window->Table(), Qt::Key_Escape);
  QVERIFY(window->isHidden());
}

void TestLibraryWindow::keysChangeTheBooksAndEachChangeIsSaved() {
  qlui::LibraryWindow* window = OpenLibrary();
  QVERIFY(window);
  QSignalSpy changed(iFrame.get(), &qlui::CMainFrame::libraryChanged);
  QTableView* table = window->Table();
  table->selectRow(0);
  QTest::keyClick(table, Qt::Key_Space);
  QVERIFY(Column(3).startsWith(QStringLiteral("Off|")));
  QVERIFY(!Saved().Find(iBooks[0])->enabled);
  QCOMPARE(changed.count(), 1);
  QTest::keyClick(table, Qt::Key_Space);
  QVERIFY(Saved().Find(iBooks[0])->enabled);

  // Alt+Down twice takes the book to the end; the selection goes with it.
  QTest::keyClick(table, Qt::Key_Down, Qt::AltModifier);
  QTest::keyClick(table, Qt::Key_Down, Qt::AltModifier);
  QCOMPARE(Saved().Books().back().path, iBooks[0]);
  QCOMPARE(window->SelectedRows(), (std::vector<int>{2}));
  QTest::keyClick(table, Qt::Key_Up, Qt::AltModifier);
  QCOMPARE(Saved().Books()[1].path, iBooks[0]);

  // Delete takes it out, and it stays out when the folder is searched again.
  QTest::keyClick(table, Qt::Key_Delete);
  QCOMPARE(Column(0), QStringLiteral("broken.ql|cheeses.ql"));
  ql::Library saved = Saved();
  saved.Rescan();
  QVERIFY(!saved.Find(iBooks[0]));
  // Added again by name, it is back.
  window->AddBooks({qlui::PathToQString(iBooks[0])});
  QVERIFY(Saved().Find(iBooks[0]));
  QCOMPARE(window->SelectedRows(), (std::vector<int>{2}));
  QCOMPARE(changed.count(), 7);
}

void TestLibraryWindow::groupsReachTheDropDownBesideTheLookupLine() {
  QComboBox* groups = iFrame->GroupList();
  QCOMPARE(groups->accessibleName(), QStringLiteral("Group"));
  QCOMPARE(groups->count(), 1);
  QCOMPARE(groups->currentText(), QString::fromLatin1(ql::kAllBooks));
  qlui::LibraryWindow* window = OpenLibrary();
  QVERIFY(window);
  window->NewGroup(QStringLiteral("Food"));
  QCOMPARE(window->ChosenGroup(), std::string("Food"));
  QCOMPARE(groups->count(), 2);
  window->Table()->selectRow(2);
  window->SetSelectedInGroup(true);
  QCOMPARE(Saved().BooksOf("Food"), (std::vector<std::string>{iBooks[2]}));
  QCOMPARE(window->Model()->data(window->Model()->index(2, 0), Qt::CheckStateRole).toInt(),
           static_cast<int>(Qt::Checked));
  // Its check box does the same.
  QVERIFY(window->Model()->setData(window->Model()->index(0, 0), Qt::Checked, Qt::CheckStateRole));
  QCOMPARE(Saved().BooksOf("Food"), (std::vector<std::string>{iBooks[0], iBooks[2]}));

  // Choosing it beside the lookup line is told and remembered.
  QSignalSpy chosen(iFrame.get(), &qlui::CMainFrame::groupChanged);
  groups->setFocus();
  QTest::keyClick(groups, Qt::Key_Down);
  QCOMPARE(iFrame->CurrentGroup(), std::string("Food"));
  QCOMPARE(chosen.count(), 1);
  QCOMPARE(qlui::Settings::Group(), std::string("Food"));
  {
    ql::Document doc;
    qlui::CMainFrame again(doc);
    QCOMPARE(again.CurrentGroup(), std::string("Food"));
  }
  // The group deleted, the drop-down falls back to every book, and says so.
  window->DeleteChosenGroup();
  QCOMPARE(groups->count(), 1);
  QCOMPARE(iFrame->CurrentGroup(), std::string(ql::kAllBooks));
  QCOMPARE(chosen.count(), 2);
  QVERIFY(Saved().GroupNames() == std::vector<std::string>{ql::kAllBooks});
}

void TestLibraryWindow::FindDictionariesIn(const std::string& dictd, QString& asked) {
  ql::DictionaryRoots roots;
  roots.dictd = {dictd};
  iFrame->SetDictionaryRoots(roots);
  QTimer::singleShot(0, [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (!box) return;
    asked = box->text();
    if (QAbstractButton* yes = box->button(QMessageBox::Yes))
      yes->click();
    else
      box->reject();
  });
  MenuItem(QStringLiteral("&Library"), QStringLiteral("Find &Dictionaries..."))->trigger();
}

void TestLibraryWindow::findDictionariesImportsInTheBackground() {
  const std::string dictd = iDir->File("dictd");
  std::filesystem::create_directories(dictd);
  qltest::WriteDictd(dictd + "/one", {{"one", "The first."}});
  qltest::WriteDictd(dictd + "/two", {{"two", "The second."}});
  QString asked;
  FindDictionariesIn(dictd, asked);
  QVERIFY2(asked.startsWith(QStringLiteral("2 dictionaries were found")), qPrintable(asked));
  QVERIFY(iFrame->DictionaryImport());
  QVERIFY(MenuItem(QStringLiteral("&Library"), QStringLiteral("&Stop Importing"))->isEnabled());
  QVERIFY(iFrame->statusBar()->currentMessage().startsWith(QStringLiteral("Importing")));
  QTRY_VERIFY_WITH_TIMEOUT(!iFrame->DictionaryImport(), 30000);
  QCOMPARE(iFrame->statusBar()->currentMessage(),
           QStringLiteral("2 dictionaries were added to the library."));
  QVERIFY(!MenuItem(QStringLiteral("&Library"), QStringLiteral("&Stop Importing"))->isEnabled());
  QCOMPARE(Saved().Books().size(), size_t{5});
  QCOMPARE(iFrame->Library().Books().size(), size_t{5});
}

void TestLibraryWindow::escStopsTheImport() {
  // A dictionary big enough to be importing still when Esc comes.
  const std::string dictd = iDir->File("dictd");
  std::filesystem::create_directories(dictd);
  std::vector<qltest::DictItem> words;
  for (int i = 0; i < 100000; ++i)
    words.push_back({"w" + std::to_string(1000000 + i), "The text of a word."});
  qltest::WriteDictd(dictd + "/big", words);
  QString asked;
  FindDictionariesIn(dictd, asked);
  QVERIFY(iFrame->DictionaryImport());
  QTest::keyClick(iFrame->LookupLine(), Qt::Key_Escape);
  QCOMPARE(iFrame->statusBar()->currentMessage(),
           QStringLiteral("Stopping the import of dictionaries..."));
  QTRY_VERIFY_WITH_TIMEOUT(!iFrame->DictionaryImport(), 30000);
  QVERIFY2(iFrame->statusBar()->currentMessage().contains(QStringLiteral("stopped")),
           qPrintable(iFrame->statusBar()->currentMessage()));
  // Nothing half-written is left, and the library is as it was.
  QCOMPARE(qltest::DirectoryNames(ql::BooksFolder()),
           (std::vector<std::string>{"apples.ql", "broken.ql", "cheeses.ql"}));
  QCOMPARE(Saved().Books().size(), size_t{3});
}

int main(int argc, char** argv) {
  // Settings and the library go to a fresh config home, never the user's.
  QTemporaryDir config;
  qputenv("XDG_CONFIG_HOME", QFile::encodeName(config.path()));
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  TestLibraryWindow test;
  return QTest::qExec(&test, argc, argv);
}

#include "test_library_window.moc"
