// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// Search All Books under the offscreen platform: a query over two books,
// one with its word index and one without, answered with rows from both;
// Enter on a row shows its entry with the word marked; a query that cannot
// be searched, and one that nothing holds, say so; the background indexing
// builds the missing index and tells the Library window.
#include <QAbstractItemModelTester>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QSettings>
#include <QTableView>
#include <QTest>
#include <QTreeView>
#include <filesystem>

#include "book_fixture.h"
#include "document.h"
#include "fts_search.h"
#include "index_build.h"
#include "index_store.h"
#include "library.h"
#include "library_window.h"
#include "main_frame.h"
#include "qt_text.h"
#include "record_markup.h"
#include "search_all_dialog.h"
#include "subject_view.h"

class TestSearchAll : public QObject {
  Q_OBJECT

 private slots:
  void init();
  void cleanup();
  void answersFromBothBooksAndEnterShowsTheEntry();
  void badQueriesAndNoHitsSayWhy();
  void missingIndexesAreBuiltInTheBackground();

 private:
  qlui::SearchAllBooksDialog* Open();
  // Types text and waits for every book's answer.
  void Query(qlui::SearchAllBooksDialog* dialog, const QString& text);
  // A column's cells, joined by '|'.
  static QString Column(const QAbstractItemModel* model, int column);

  std::unique_ptr<qltest::TempDir> iDir;
  std::string iIndexed, iWalked;
  std::unique_ptr<ql::Document> iDoc;
  std::unique_ptr<qlui::CMainFrame> iFrame;
};

void TestSearchAll::init() {
  iDir = std::make_unique<qltest::TempDir>();
  QSettings(QStringLiteral("Quillary"), QStringLiteral("Quillary")).clear();
  qltest::UsePrivateHome(*iDir);
  const std::string folder = ql::BooksFolder();
  std::filesystem::create_directories(folder);
  iIndexed = folder + "/fruit.ql";
  iWalked = folder + "/wines.ql";
  qltest::WriteFileBytes(iIndexed, qltest::BuildBookBytes({{"apple", "A red fruit."},
                                                           {"cherry", "A small red stone fruit."},
                                                           {"pear", "A green fruit."}}));
  qltest::WriteFileBytes(
      iWalked, qltest::BuildBookBytes({{"claret", "A dry red wine."}, {"hock", "A white wine."}}));
  std::string reason;
  QVERIFY2(!ql::fts::EnsureIndex(iIndexed, {}, reason).empty(), reason.c_str());
  iDoc = std::make_unique<ql::Document>();
  iFrame = std::make_unique<qlui::CMainFrame>(*iDoc);
  // The other book stays without its index until a test lets the indexing run.
  iFrame->Indexer()->Stop();
  iFrame->show();
  iFrame->SetInitialised();
  QVERIFY(QTest::qWaitForWindowExposed(iFrame.get()));
}

void TestSearchAll::cleanup() {
  iFrame.reset();
  iDoc.reset();
  iDir.reset();
}

qlui::SearchAllBooksDialog* TestSearchAll::Open() {
  QTest::keyClick(iFrame.get(), Qt::Key_F, Qt::ControlModifier | Qt::ShiftModifier);
  qlui::SearchAllBooksDialog* dialog = iFrame->SearchAll();
  if (!dialog || !QTest::qWaitForWindowExposed(dialog)) return nullptr;
  QApplication::setActiveWindow(dialog);
  return dialog;
}

void TestSearchAll::Query(qlui::SearchAllBooksDialog* dialog, const QString& text) {
  dialog->QueryField()->setFocus();
  dialog->QueryField()->selectAll();
  QTest::keyClicks(dialog->QueryField(), text);
  QTest::keyClick(dialog->QueryField(), Qt::Key_Return);
  QVERIFY(QTest::qWaitFor([&] { return !dialog->Searching(); }));
}

QString TestSearchAll::Column(const QAbstractItemModel* model, int column) {
  QStringList cells;
  for (int row = 0; row < model->rowCount(); ++row)
    cells << model->data(model->index(row, column)).toString();
  return cells.join(QLatin1Char('|'));
}

void TestSearchAll::answersFromBothBooksAndEnterShowsTheEntry() {
  qlui::SearchAllBooksDialog* dialog = Open();
  QVERIFY(dialog);
  QAbstractItemModelTester tester(dialog->Model(),
                                  QAbstractItemModelTester::FailureReportingMode::QtTest);
  for (QWidget* control : dialog->findChildren<QWidget*>())
    if (control->focusPolicy() != Qt::NoFocus && control->isVisible())
      QVERIFY2(!control->accessibleName().isEmpty(), qPrintable(control->objectName()));
  Query(dialog, QStringLiteral("red"));
  // Both books' hits, merged by score; the walked book's marked.
  QStringList rows;
  int wine = -1;
  for (int row = 0; row < dialog->Model()->rowCount(); ++row) {
    rows << dialog->Model()->index(row, qlui::FtsResultsModel::kBook).data().toString() + ":" +
                dialog->Model()->index(row, qlui::FtsResultsModel::kSubject).data().toString();
    if (dialog->Model()->Row(row)->path == iWalked) wine = row;
    if (row > 0)
      QVERIFY(dialog->Model()->Row(row - 1)->hit.score >= dialog->Model()->Row(row)->hit.score);
  }
  rows.sort();
  QCOMPARE(rows.join(QLatin1Char('|')),
           QStringLiteral("fruit.ql:apple|fruit.ql:cherry|wines.ql (not indexed):claret"));
  const QModelIndex snippet = dialog->Model()->index(wine, qlui::FtsResultsModel::kSnippet);
  QVERIFY2(snippet.data(qlui::FtsResultsModel::kSnippetHtmlRole)
               .toString()
               .contains(QStringLiteral("<b>red</b>")),
           qPrintable(snippet.data(qlui::FtsResultsModel::kSnippetHtmlRole).toString()));
  QVERIFY(dialog->Status()->text().contains(QStringLiteral("wines.ql")));

  // Down from the field into the list, down to the wine, Enter.
  QTest::keyClick(dialog->QueryField(), Qt::Key_Down);
  QCOMPARE(dialog->Results()->currentIndex().row(), 0);
  for (int row = 0; row < wine; ++row) QTest::keyClick(dialog->Results(), Qt::Key_Down);
  QTest::keyClick(dialog->Results(), Qt::Key_Return);
  QCOMPARE(iDoc->Path(), iWalked);
  QCOMPARE(iFrame->SubjectList()->SelectionMark(), 0);
  std::string page = qltest::ReadFileBytes(iDoc->Page().Path());
  QVERIFY2(page.find(std::string(ql::kFoundTextOpen) + "red") != std::string::npos, page.c_str());
  // The dialog stays for the next row; Esc closes it.
  QVERIFY(dialog->isVisible());
  QTest::keyClick(dialog->Results(), Qt::Key_Escape);
  QVERIFY(!dialog->isVisible());
}

void TestSearchAll::badQueriesAndNoHitsSayWhy() {
  qlui::SearchAllBooksDialog* dialog = Open();
  QVERIFY(dialog);
  const struct {
    const char* query;
    const char* status;
  } cases[] = {
      {"-red", "These words cannot be searched: "},
      {"zebra", "No entry holds these words."},
  };
  for (const auto& c : cases) {
    Query(dialog, QString::fromUtf8(c.query));
    QCOMPARE(dialog->Model()->rowCount(), 0);
    QVERIFY2(dialog->Status()->text().startsWith(QString::fromUtf8(c.status)),
             qPrintable(dialog->Status()->text()));
  }
}

void TestSearchAll::missingIndexesAreBuiltInTheBackground() {
  // A new indexer, as at the next start, with the Library window open.
  iFrame.reset();
  iFrame = std::make_unique<qlui::CMainFrame>(*iDoc);
  iFrame->show();
  iFrame->ShowLibrary();
  qlui::LibraryWindow* library = iFrame->LibraryView();
  QVERIFY(library);
  const QAbstractItemModel* model = library->Model();
  // The indexer starts a while after the window.
  QTRY_COMPARE_WITH_TIMEOUT(Column(model, model->columnCount() - 1),
                            QStringLiteral("Indexed|Indexed"), 20000);
  QVERIFY(!ql::fts::IndexPathFor(iWalked).empty());
  QVERIFY(std::filesystem::exists(ql::fts::IndexPathFor(iWalked)));
  QTRY_VERIFY(iFrame->IndexingLabel()->isHidden());
  // A book that leaves the library takes its index along.
  const std::string index = ql::fts::IndexPathFor(iWalked);
  library->Table()->selectRow(1);
  library->RemoveSelected();
  QTRY_VERIFY(!std::filesystem::exists(index));
}

QTEST_MAIN(TestSearchAll)
#include "test_search_all.moc"
