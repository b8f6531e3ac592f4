// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// The window's widgets under the offscreen platform: the subject model, the
// keys and typed find of the list, links followed byte for byte, web links
// handed to the desktop, the font bar, the split rule, the recent files,
// the page file, and an accessible name on every control.
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <QAbstractItemModelTester>
#include <QAccessible>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QCompleter>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QLocalSocket>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QProcess>
#include <QScopeGuard>
#include <QScrollBar>
#include <QSettings>
#include <QSplitter>
#include <QStatusBar>
#include <QStyle>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <atomic>
#include <condition_variable>
#include <cstring>
#include <filesystem>
#include <mutex>

#include "book_fixture.h"
#include "byte_sink.h"
#include "dialogs.h"
#include "document.h"
#include "history_dialog.h"
#include "instance.h"
#include "library.h"
#include "lookup_line.h"
#include "main_frame.h"
#include "qt_text.h"
#include "quick_peek.h"
#include "record_markup.h"
#include "record_view.h"
#include "search_runner.h"
#include "shelf.h"
#include "shelf_page.h"
#include "subject_view.h"
#include "theme.h"

namespace {

// Subjects in book order; record 2 links to "café" by a byte above 0x7F and
// to "big cat" through "%20"; record 3 has struck text and a web link.
std::vector<qltest::Entry> SampleEntries() {
  return {
      {"apple", "A fruit.\t\x08Second line."},
      {"big cat", "A lion\t\x01 or \t\x02tiger."},
      {"caf\xe9",
       "See \t\x11"
       "caf\xe9>the caf\xe9\t\x12 and \t\x11"
       "big%20cat>cats\t\x12."},
      {"dog", "\t\x13struck\t\x14 and <a href=\"http://example.org/x\">web</a> \x93quoted\x94"},
      {"eel", "Long fish."},
  };
}

// One line an item: its text, shortcuts, status tip, object name, whether it
// is checkable, checked, enabled and carries an icon; "-" for a separator;
// a submenu's items follow it indented.
// The window's own keys (as DescribeActions gives them), then the
// desktop's for the same command, each once.
QString WithStandardKeys(const QString& own, QKeySequence::StandardKey standard) {
  QStringList keys = own.isEmpty() ? QStringList() : own.split(QLatin1Char(','));
  for (const QKeySequence& k : QKeySequence::keyBindings(standard))
    if (!keys.contains(k.toString(QKeySequence::PortableText)))
      keys << k.toString(QKeySequence::PortableText);
  return keys.join(QLatin1Char(','));
}

void DescribeActions(const QList<QAction*>& actions, const QString& indent, QStringList& out) {
  for (QAction* a : actions) {
    if (a->isSeparator()) {
      out << indent + QStringLiteral("-");
      continue;
    }
    QStringList keys;
    for (const QKeySequence& k : a->shortcuts()) keys << k.toString(QKeySequence::PortableText);
    out << indent + QStringList{a->text(),
                                keys.join(QLatin1Char(',')),
                                a->statusTip(),
                                a->objectName(),
                                a->isCheckable() ? (a->isChecked() ? QStringLiteral("checked")
                                                                   : QStringLiteral("checkable"))
                                                 : QString(),
                                a->isEnabled() ? QString() : QStringLiteral("disabled"),
                                a->isVisible() ? QString() : QStringLiteral("hidden"),
                                a->icon().isNull() ? QString() : QStringLiteral("icon")}
                        .join(QLatin1Char('|'));
    if (a->menu()) DescribeActions(a->menu()->actions(), indent + QStringLiteral("  "), out);
  }
}

// The point inside the view where the anchor with href starts.
QPoint AnchorPoint(QTextBrowser* view, const QString& href) {
  QTextDocument* doc = view->document();
  for (QTextBlock block = doc->begin(); block.isValid(); block = block.next()) {
    for (auto it = block.begin(); !it.atEnd(); ++it) {
      const QTextFragment fragment = it.fragment();
      if (fragment.charFormat().anchorHref() == href) {
        QTextCursor cursor(doc);
        cursor.setPosition(fragment.position() + 1);
        return view->cursorRect(cursor).center();
      }
    }
  }
  return {-1, -1};
}

}  // namespace

class UrlCatcher : public QObject {
  Q_OBJECT
 public:
  QList<QUrl> iUrls;
 public slots:
  void Open(const QUrl& url) { iUrls << url; }
};

class TestUi : public QObject {
  Q_OBJECT

 private slots:
  void init();
  void cleanup();
  void lookupOverTheGroupShowsAPageOfSections();
  void quickPeekLooksAcrossTheGroupAndOffersSpellings();
  void modelAsksTheBookPerCell();
  void columnsAreDividedOnceTheListHasAWidth();
  void keysShowTheRecordBeforeTheListMoves();
  void typedFindSelectsAndShows();
  void linksAreMatchedByteForByte();
  void webLinksGoToTheDesktop();
  void pageFileHoldsTheRenderedBytes();
  void fontBarChangesListAndPage();
  void resizeAfterStartUpSplitsEvenly();
  void recentFilesAreKeptInTheSettings();
  void bookmarksMenuFollowsTheTable();
  void menusAndToolbarHoldTheirItemsInOrder();
  void everyControlHasAnAccessibleName();
  void helpReadsTheManualEvenWhileItIsOpen();
  void droppedFilesOpenInTurn();
  void quickPeekLooksUpAsYouType();
  void quickPeekGoneBeforeItsBooksAnswerHearsNothing();
  void f6MovesBetweenThePanes();
  void backAndForwardRetraceTheRecordsShown();
  void historyGoesAcrossBooksAndLastsAcrossRuns();
  void secondStartHandsItsBooksAndWordOver();
  void selectionIsLookedUpInQuickPeek();
  void failedOpenLeavesNoBook();
  void lookupLineShowsWhatFindSubjectFinds();
  void backKeysInThePageFollowTheRecordHistory();
  void jumpKeysMoveTheListAndTheEntryFollows();
  void zoomScalesListAndPageAndIsRemembered();
  void darkThemeKeepsPagesReadable();
  void findRunsBesideTheWindowAndEscStopsIt();
  void lookupOffersTheNearestSubjects();
  void pageBaseFollowsTheApplicationFont_data();
  void pageBaseFollowsTheApplicationFont();

 private:
  void OpenSample();
  QString PageText() const;

  std::unique_ptr<qltest::TempDir> iDir;
  std::string iBook;
  std::unique_ptr<ql::Document> iDoc;
  std::unique_ptr<qlui::CMainFrame> iFrame;
};

void TestUi::init() {
  iDir = std::make_unique<qltest::TempDir>();
  QSettings(QStringLiteral("Quillary"), QStringLiteral("Quillary")).clear();
  qputenv("XDG_RUNTIME_DIR", QByteArray::fromStdString(iDir->Path()));
  // The books folder the window's library searches, the history and the
  // library file are the test's own.
  qputenv("XDG_DATA_HOME", QByteArray::fromStdString(iDir->File("data")));
  // The word indexes the window builds in the background.
  qputenv("XDG_CACHE_HOME", QByteArray::fromStdString(iDir->File("cache")));
  qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(iDir->File("config")));
  iBook = iDir->File("sample.ql");
  qltest::WriteFileBytes(iBook, qltest::BuildBookBytes(SampleEntries()));
  iDoc = std::make_unique<ql::Document>();
  iFrame = std::make_unique<qlui::CMainFrame>(*iDoc);
}

void TestUi::cleanup() {
  qlui::ApplyTheme(qlui::Theme::kDesktop);
  iFrame.reset();
  iDoc.reset();
  iDir.reset();
}

void TestUi::OpenSample() {
  QVERIFY(iFrame->OpenBook(qlui::PathToQString(iBook)));
  iFrame->show();
  iFrame->SetInitialised();
  QVERIFY(QTest::qWaitForWindowExposed(iFrame.get()));
}

QString TestUi::PageText() const {
  return iFrame->RecordView()->toPlainText();
}

void TestUi::modelAsksTheBookPerCell() {
  qlui::SubjectModel* model = iFrame->SubjectList()->Model();
  QCOMPARE(model->rowCount(), 0);
  OpenSample();
  QAbstractItemModelTester tester(model, QAbstractItemModelTester::FailureReportingMode::QtTest);
  QCOMPARE(model->rowCount(), 5);
  QCOMPARE(model->columnCount(), 2);
  QCOMPARE(model->headerData(0, Qt::Horizontal).toString(), QStringLiteral("Subject"));
  QCOMPARE(model->headerData(1, Qt::Horizontal).toString(), QStringLiteral("Preview"));
  QCOMPARE(model->data(model->index(2, 0)).toString(), QStringLiteral("caf\u00e9"));
  // The preview is the head made plain: a break becomes a space, bold goes.
  QCOMPARE(model->data(model->index(0, 1)).toString(), QStringLiteral("A fruit. Second line."));
  QCOMPARE(model->data(model->index(1, 1)).toString(), QStringLiteral("A lion or tiger."));
  QCOMPARE(model->data(model->index(2, 1)).toString(),
           QStringLiteral("See the caf\u00e9 and cats."));
  // Opened: the mark is on row 0 but nothing is drawn selected.
  QCOMPARE(iFrame->SelectionMark(), 0);
  QVERIFY(iFrame->SubjectList()->selectionModel()->selectedRows().isEmpty());
  QCOMPARE(iFrame->windowTitle(), QStringLiteral("sample.ql - Quillary"));
}

void TestUi::columnsAreDividedOnceTheListHasAWidth() {
  // Opened before the window is shown, as a book named at start is.
  OpenSample();
  qlui::CQuillaryView* list = iFrame->SubjectList();
  const int width = list->contentsRect().width();
  const int bar = list->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, list);
  QVERIFY(width > 300);
  QCOMPARE(list->columnWidth(0), (width - bar - 1) / 3);
  QCOMPARE(list->columnWidth(1), width - (width - bar - 1) / 3 - bar - 1);
  // Once running, a resize divides the new width without the bar.
  iFrame->resize(iFrame->width() + 120, iFrame->height());
  QTRY_COMPARE(list->columnWidth(0), (list->viewport()->width() - 1) / 3);
}

void TestUi::keysShowTheRecordBeforeTheListMoves() {
  OpenSample();
  qlui::CQuillaryView* list = iFrame->SubjectList();
  list->setFocus();
  list->SelectRow(1);
  QTest::keyClick(list, Qt::Key_Down);
  QVERIFY2(PageText().startsWith(QStringLiteral("caf\u00e9")), qPrintable(PageText()));
  QCOMPARE(iFrame->SelectionMark(), 2);
  QTest::keyClick(list, Qt::Key_Up);
  QVERIFY(PageText().startsWith(QStringLiteral("big cat")));
  QTest::keyClick(list, Qt::Key_Up);
  QVERIFY(PageText().startsWith(QStringLiteral("apple")));
  // Up on row 0 and Down on the last row leave the record alone.
  QTest::keyClick(list, Qt::Key_Up);
  QVERIFY(PageText().startsWith(QStringLiteral("apple")));
  list->SelectRow(4);
  iFrame->ShowRecord(3, -1, -1, false);
  QTest::keyClick(list, Qt::Key_Down);
  QVERIFY(PageText().startsWith(QStringLiteral("dog")));
  QTest::keyClick(list, Qt::Key_Return);
  QVERIFY(PageText().startsWith(QStringLiteral("eel")));
  // Home moves the list but shows nothing.
  QTest::keyClick(list, Qt::Key_Home);
  QVERIFY(PageText().startsWith(QStringLiteral("eel")));
}

void TestUi::typedFindSelectsAndShows() {
  OpenSample();
  qlui::CQuillaryView* list = iFrame->SubjectList();
  list->setFocus();
  QTest::keyClicks(list, QStringLiteral("BI"));
  QCOMPARE(iFrame->SelectionMark(), 1);
  QVERIFY(PageText().startsWith(QStringLiteral("big cat")));
  QTest::qWait(QApplication::keyboardInputInterval() + 50);
  // No subject starts so: nothing changes.
  QTest::keyClicks(list, QStringLiteral("zz"));
  QCOMPARE(iFrame->SelectionMark(), 1);
  QVERIFY(PageText().startsWith(QStringLiteral("big cat")));
}

void TestUi::linksAreMatchedByteForByte() {
  OpenSample();
  iFrame->SelectRow(0);
  iFrame->ShowRecord(2, -1, -1, false);
  qlui::CQuillaryHtmlView* view = iFrame->RecordView();
  const QPoint cafe = AnchorPoint(view, QStringLiteral("quill::caf\u00e9"));
  QVERIFY(cafe.x() >= 0);
  iFrame->ShowRecord(4, -1, -1, false);
  iFrame->ShowRecord(2, -1, -1, false);
  QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, cafe);
  QVERIFY2(PageText().startsWith(QStringLiteral("caf\u00e9")), qPrintable(PageText()));
  const QPoint cats = AnchorPoint(view, QStringLiteral("quill::big%20cat"));
  QVERIFY(cats.x() >= 0);
  QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, cats);
  QVERIFY2(PageText().startsWith(QStringLiteral("big cat")), qPrintable(PageText()));
  // Following a link leaves the list's selection where it was.
  QCOMPARE(iFrame->SelectionMark(), 0);
}

void TestUi::lookupOverTheGroupShowsAPageOfSections() {
  OpenSample();
  const std::string other = iDir->File("other.ql"), third = iDir->File("third.ql");
  qltest::WriteFileBytes(other, qltest::BuildBookBytes({{"big cat",
                                                         "Other \t\x11"
                                                         "eel>an eel\t\x12"},
                                                        {"zebra", "z"}}));
  qltest::WriteFileBytes(third, qltest::BuildBookBytes({{"ant", "a"}}));
  std::string tall;
  for (int i = 0; i < 200; ++i) tall += "line\t\x08";
  const std::string longBook = iDir->File("long.ql");
  qltest::WriteFileBytes(longBook, qltest::BuildBookBytes({{"big", tall}}));
  iFrame->SetShelfBooks({{iBook, "sample.ql"},
                         {longBook, "long.ql"},
                         {iDir->File("gone.ql"), "gone.ql"},
                         {other, "other.ql"},
                         {third, "third.ql"}});
  QListWidget* foundIn = iFrame->FoundIn();
  QCOMPARE(foundIn->accessibleName(), QStringLiteral("Found in"));
  QTest::keyClicks(iFrame->LookupLine(), QStringLiteral("big"));
  // The open book's list follows the typing as with one book.
  QCOMPARE(iFrame->SelectionMark(), 1);
  QTRY_VERIFY(iFrame->Answers().Done());
  QTRY_COMPARE(foundIn->count(), 4);
  QVERIFY(foundIn->isVisible());
  QCOMPARE(foundIn->item(0)->text(), QStringLiteral("sample.ql"));
  QCOMPARE(foundIn->item(1)->text(), QStringLiteral("long.ql"));
  QVERIFY(foundIn->item(2)->text().startsWith(QStringLiteral("gone.ql (")));
  QCOMPARE(foundIn->item(3)->text(), QStringLiteral("other.ql"));
  // Enter on the word keeps its page: it is the answer.
  QTest::keyClick(iFrame->LookupLine(), Qt::Key_Return);
  QVERIFY(foundIn->isVisible());
  const QString page = PageText();
  const QStringList inOrder = {QStringLiteral("sample.ql"), QStringLiteral("A lion or tiger."),
                               QStringLiteral("gone.ql"), QStringLiteral("other.ql"),
                               QStringLiteral("Other an eel")};
  qsizetype at = 0;
  for (const QString& piece : inOrder) {
    at = page.indexOf(piece, at);
    QVERIFY2(at >= 0, qPrintable(piece + QStringLiteral(" in ") + page));
  }
  // Enter on a row of the list jumps to the book's section.
  QScrollBar* scroll = iFrame->RecordView()->verticalScrollBar();
  QCOMPARE(scroll->value(), 0);
  foundIn->setFocus();
  foundIn->setCurrentRow(3);
  QTest::keyClick(foundIn, Qt::Key_Return);
  const int down = scroll->value();
  QVERIFY(down > 0);
  foundIn->setCurrentRow(0);
  QTest::keyClick(foundIn, Qt::Key_Return);
  QVERIFY(scroll->value() < down / 10);
  foundIn->setCurrentRow(3);
  QTest::keyClick(foundIn, Qt::Key_Return);
  QCOMPARE(scroll->value(), down);
  // A link of other.ql's section finds eel in the rest of the group: that one
  // record of the open book, with the list's selection left where it was.
  qlui::CQuillaryHtmlView* view = iFrame->RecordView();
  const QPoint eel = AnchorPoint(view, QStringLiteral("quill-in:3:eel"));
  QVERIFY(eel.x() >= 0);
  QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, eel);
  QVERIFY2(PageText().startsWith(QStringLiteral("eel")), qPrintable(PageText()));
  QVERIFY(!foundIn->isVisible());
  QCOMPARE(iFrame->SelectionMark(), 1);
  // No book has it: the nearest subjects of every book are offered, and the
  // one chosen is looked up everywhere.
  qlui::CLookupLine* line = iFrame->LookupLine();
  line->setFocus();
  line->clear();
  QTest::keyClicks(line, QStringLiteral("zebar"));
  QTRY_VERIFY(line->Offered().contains(QStringLiteral("zebra")));
  QCOMPARE(line->Offered().front(), QStringLiteral("zebra"));
  QVERIFY(line->OfferShown());
  // The book that could not be asked is told, though no book has the text.
  QVERIFY2(PageText().contains(QStringLiteral("none of the books that answered")) &&
               PageText().contains(QStringLiteral("gone.ql")),
           qPrintable(PageText()));
  QVERIFY(!foundIn->isVisible());
  QCOMPARE(iFrame->statusBar()->currentMessage(),
           QStringLiteral("Found in no book; 1 book could not be asked"));
  QTest::keyClick(line->findChild<QCompleter*>()->popup(), Qt::Key_Down);
  QTest::keyClick(line->findChild<QCompleter*>()->popup(), Qt::Key_Return);
  QCOMPARE(line->text(), QStringLiteral("zebra"));
  QTRY_COMPARE(foundIn->count(), 2);
  QCOMPARE(foundIn->item(1)->text(), QStringLiteral("other.ql"));
  QVERIFY2(PageText().contains(QStringLiteral("zebra")), qPrintable(PageText()));
  QCOMPARE(iFrame->statusBar()->currentMessage(),
           QStringLiteral("Found in 1 book; 1 book could not be asked"));
  // The list is labelled, and its label's key reaches it.
  auto* label = iFrame->findChild<QWidget*>(QStringLiteral("foundInPane"))->findChild<QLabel*>();
  QVERIFY(label && label->isVisible());
  QCOMPARE(label->buddy(), foundIn);
  // Choosing a row shows that one record of the open book.
  line->clear();
  QTest::keyClicks(iFrame->LookupLine(), QStringLiteral("big c"));
  QTRY_VERIFY(foundIn->isVisible());
  iFrame->ShowRecord(0, -1, -1, false);
  QVERIFY(!foundIn->isVisible());
  QVERIFY2(PageText().startsWith(QStringLiteral("apple")), qPrintable(PageText()));
}

void TestUi::quickPeekLooksAcrossTheGroupAndOffersSpellings() {
  OpenSample();
  const std::string other = iDir->File("other.ql");
  qltest::WriteFileBytes(other,
                         qltest::BuildBookBytes({{"big cat", "Other cat"}, {"zebra", "Stripes"}}));
  iFrame->SetShelfBooks({{iBook, "sample.ql"}, {other, "other.ql"}});
  qlui::QuickPeeker peek(*iDoc, iFrame.get(), &iFrame->BookShelf());
  peek.show();
  QTest::keyClicks(peek.Line(), QStringLiteral("big"));
  QTRY_COMPARE(peek.SectionTitles(), (std::vector<std::string>{"sample.ql", "other.ql"}));
  QTRY_VERIFY(peek.View()->toPlainText().contains(QStringLiteral("Other cat")));
  QVERIFY(peek.View()->toPlainText().contains(QStringLiteral("A lion")));
  QVERIFY(!peek.Offers()->isVisible());
  // No book has it: the nearest subjects of every book, best first.
  peek.Line()->clear();
  QTest::keyClicks(peek.Line(), QStringLiteral("zebar"));
  QTRY_VERIFY(peek.Offers()->isVisible());
  QCOMPARE(peek.Offers()->accessibleName(), QStringLiteral("Did you mean"));
  QCOMPARE(peek.Offers()->item(0)->text(), QStringLiteral("zebra"));
  const auto labels = peek.findChildren<QLabel*>();
  QVERIFY(std::any_of(labels.begin(), labels.end(),
                      [&](QLabel* l) { return l->buddy() == peek.Offers() && l->isVisible(); }));
  // A word handed over is there to be typed over.
  peek.LookUp(QStringLiteral("zebar"));
  QCOMPARE(peek.Line()->selectedText(), QStringLiteral("zebar"));
  // Down from the line goes to the offers; Enter on one looks it up.
  QTRY_VERIFY(peek.Offers()->isVisible());
  peek.Line()->setFocus();
  QTest::keyClick(peek.Line(), Qt::Key_Down);
  QCOMPARE(peek.Offers()->currentRow(), 0);
  QTest::keyClick(peek.Offers(), Qt::Key_Return);
  QCOMPARE(peek.Line()->text(), QStringLiteral("zebra"));
  QTRY_COMPARE(peek.SectionTitles(), (std::vector<std::string>{"other.ql"}));
  QTRY_VERIFY(peek.View()->toPlainText().contains(QStringLiteral("Stripes")));
  QVERIFY(!peek.Offers()->isVisible());
}

void TestUi::quickPeekGoneBeforeItsBooksAnswerHearsNothing() {
  OpenSample();
  const std::string other = iDir->File("other.ql"), third = iDir->File("third.ql");
  for (const std::string& path : {other, third})
    qltest::WriteFileBytes(path, qltest::BuildBookBytes({{"big cat", "Other cat"}}));
  // One worker: the open book's answer waits until let go, the other book's
  // comes after it.
  std::mutex mutex;
  std::condition_variable changed;
  bool entered = false, letGo = false;
  std::atomic<int> otherAsked{0};
  ql::Shelf::Options options;
  options.threads = 1;
  options.beforeLookup = [&](const std::string& path) {
    if (path == other) {
      ++otherAsked;
      return;
    }
    std::unique_lock lock(mutex);
    entered = true;
    changed.notify_all();
    changed.wait(lock, [&] { return letGo; });
  };
  ql::Shelf shelf(options);
  shelf.SetBooks({{iBook, "sample.ql"}, {other, "other.ql"}});
  auto peek = std::make_unique<qlui::QuickPeeker>(*iDoc, iFrame.get(), &shelf);
  peek->LookUp(QStringLiteral("big"));
  {
    std::unique_lock lock(mutex);
    changed.wait(lock, [&] { return entered; });
  }
  // The group becomes one other book while the lookup runs, then QuickPeek
  // closes: its lookup goes with it.
  shelf.SetBooks({{third, "third.ql"}});
  peek.reset();
  {
    std::lock_guard lock(mutex);
    letGo = true;
  }
  changed.notify_all();
  // The new book's work runs after every book that left has done its own.
  shelf.Section(0, 0);
  QCOMPARE(otherAsked.load(), 0);
  QCoreApplication::processEvents();
}

void TestUi::webLinksGoToTheDesktop() {
  OpenSample();
  UrlCatcher catcher;
  QDesktopServices::setUrlHandler(QStringLiteral("http"), &catcher, "Open");
  iFrame->ShowRecord(3, -1, -1, false);
  qlui::CQuillaryHtmlView* view = iFrame->RecordView();
  const QPoint web = AnchorPoint(view, QStringLiteral("http://example.org/x"));
  QVERIFY(web.x() >= 0);
  const QString before = PageText();
  QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, web);
  QDesktopServices::unsetUrlHandler(QStringLiteral("http"));
  QCOMPARE(catcher.iUrls.size(), 1);
  QCOMPARE(catcher.iUrls.front(), QUrl(QStringLiteral("http://example.org/x")));
  QCOMPARE(PageText(), before);
  QCOMPARE(view->source(), QUrl::fromLocalFile(qlui::PathToQString(iFrame->Page().Path())));
}

void TestUi::pageFileHoldsTheRenderedBytes() {
  OpenSample();
  iFrame->ShowRecord(3, -1, -1, false);
  ql::StringSink expected;
  iDoc->Reader().RenderRecord(expected, iDoc->Options(), 3, -1, -1);
  QCOMPARE(qltest::ReadFileBytes(iFrame->Page().Path()), expected.Data());
  // In this process's own directory inside the private one.
  const std::filesystem::path page = iFrame->Page().Path();
  QCOMPARE(page.filename().string(), std::string("qltempfi.htm"));
  QCOMPARE(page.parent_path().parent_path().string(), iDir->Path() + "/quillary");
  // The view shows struck text struck and the code page's quotes as quotes.
  QVERIFY(PageText().contains(QStringLiteral("\u201cquoted\u201d")));
  QTextCursor cursor = iFrame->RecordView()->document()->find(QStringLiteral("struck"));
  QVERIFY(!cursor.isNull());
  QVERIFY(cursor.charFormat().fontStrikeOut());
}

void TestUi::fontBarChangesListAndPage() {
  // No book: the fonts change, nothing is rendered.
  iFrame->show();
  iFrame->SetInitialised();
  QComboBox* sizes = iFrame->SizeList();
  QComboBox* faces = iFrame->FaceList();
  QCOMPARE(faces->itemText(0), QStringLiteral("Arial"));
  QCOMPARE(faces->itemText(2), QStringLiteral("Courier New"));
  QCOMPARE(sizes->currentText(), QStringLiteral("Medium"));
  QCOMPARE(iFrame->SubjectList()->font().pixelSize(), 18);
  sizes->setCurrentIndex(2);
  emit sizes->activated(2);
  QCOMPARE(iFrame->SubjectList()->font().pixelSize(), 22);
  QCOMPARE(iDoc->Options().size, 4);
  QVERIFY(iFrame->Page().Path().empty());  // no page was written

  QVERIFY(iFrame->OpenBook(qlui::PathToQString(iBook)));
  iFrame->SelectRow(1);
  faces->setCurrentIndex(1);
  emit faces->activated(1);
  QCOMPARE(iFrame->SubjectList()->font().family(), QStringLiteral("Times New Roman"));
  QCOMPARE(iDoc->Options().face, std::string("Times New Roman"));
  const std::string page = qltest::ReadFileBytes(iFrame->Page().Path());
  QVERIFY(page.find("Times New Roman") != std::string::npos);
  QVERIFY(page.find("big cat") != std::string::npos);
}

void TestUi::resizeAfterStartUpSplitsEvenly() {
  OpenSample();
  QSplitter* split = iFrame->Splitter();
  split->setSizes({50, 400});
  iFrame->resize(800, 640);
  QTest::qWait(20);
  iFrame->resize(820, 700);
  QTRY_VERIFY(std::abs(split->sizes()[0] - split->sizes()[1]) <= 1);
}

void TestUi::recentFilesAreKeptInTheSettings() {
  OpenSample();
  QSettings settings(QStringLiteral("Quillary"), QStringLiteral("Quillary"));
  QCOMPARE(settings.value(QStringLiteral("Recent File List/File1")).toString(),
           qlui::PathToQString(iBook));
  // A second window loads the list the first one saved.
  ql::Document other;
  qlui::CMainFrame second(other);
  QCOMPARE(second.RecentFiles().Paths().size(), size_t{1});
  QCOMPARE(second.RecentFiles().Paths().front(), iBook);
}

void TestUi::bookmarksMenuFollowsTheTable() {
  OpenSample();
  iFrame->SelectRow(2);
  QMenu* menu = iFrame->BookmarksMenu();
  QCOMPARE(menu->actions().size(), 3);
  QCOMPARE(menu->actions()[0]->text(), QStringLiteral("New bookmark"));
  QCOMPARE(menu->actions()[1]->text(), QStringLiteral("Remove bookmark..."));
  menu->actions()[0]->trigger();
  QCOMPARE(menu->actions().size(), 4);
  QCOMPARE(menu->actions()[3]->text(), QStringLiteral("caf\u00e9"));
  // Going to it selects and shows the row, wherever the list was.
  iFrame->SelectRow(4);
  menu->actions()[3]->trigger();
  QCOMPARE(iFrame->SelectionMark(), 2);
  QVERIFY(PageText().startsWith(QStringLiteral("caf\u00e9")));
}

void TestUi::menusAndToolbarHoldTheirItemsInOrder() {
  // Texts, mnemonics, shortcuts, tips and names as users and their tools
  // know them.
  const QStringList menus = {
      QStringLiteral("&File|||||||"),
      QStringLiteral("  &Open...|Ctrl+O|Open a book|actionOpen||||icon"),
      QStringLiteral("  Import...||Make a book from tagged or tab-separated text|||||"),
      QStringLiteral("  Export to Palm...||Write the book as a handheld database|||||"),
      QStringLiteral("  Upgrade...||Write an older-format book as a new book|||||"),
      QStringLiteral("  Export as Text...||Write the book as tab-separated tagged text|||||"),
      QStringLiteral("  -"),
      QStringLiteral("  &Print...|Ctrl+P|Print the record on show|actionPrint||||icon"),
      QStringLiteral("  P&rint Setup...||Choose the printer and the page|||||"),
      QStringLiteral("  -"),
      QStringLiteral("  Recent File|||||disabled||"),
      QStringLiteral("  |||||disabled|hidden|"),
      QStringLiteral("  |||||disabled|hidden|"),
      QStringLiteral("  |||||disabled|hidden|"),
      QStringLiteral("  |||||disabled|hidden|"),
      QStringLiteral("  |||||disabled|hidden|"),
      QStringLiteral("  -"),
      QStringLiteral("  E&xit|") + WithStandardKeys({}, QKeySequence::Quit) +
          QStringLiteral("|Quit Quillary|||||"),
      QStringLiteral("&Edit|||||||"),
      QStringLiteral("  &Find...|Ctrl+F|Search the book for up to three terms|||||"),
      QStringLiteral("  &Look Up|Ctrl+L|Type the start of a subject to show it|||||"),
      QStringLiteral("  Find Next|") +
          WithStandardKeys(QStringLiteral("F3"), QKeySequence::FindNext) +
          QStringLiteral("|Find the next match|||||"),
      QStringLiteral("  Search &All Books...|Ctrl+Shift+F|Search the text of every entry of the "
                     "books for words|||||"),
      QStringLiteral("&Bookmarks|||||||"),
      QStringLiteral("  New bookmark|||||||"),
      QStringLiteral("  Remove bookmark...|||||||"),
      QStringLiteral("  -"),
      QStringLiteral("&View|||||||"),
      QStringLiteral("  &Back|Alt+Left|Show the record shown before|||disabled||icon"),
      QStringLiteral("  &Forward|Alt+Right|Show the record shown after|||disabled||icon"),
      QStringLiteral("  &History...|Ctrl+H|List the records shown, newest first|||||"),
      QStringLiteral("  Clear History||Forget the records shown|||||"),
      QStringLiteral("  -"),
      QStringLiteral("  Zoom &In|") +
          WithStandardKeys(QStringLiteral("Ctrl++,Ctrl+="), QKeySequence::ZoomIn) +
          QStringLiteral("|Make the list and the page larger|||||"),
      QStringLiteral("  Zoom &Out|") +
          WithStandardKeys(QStringLiteral("Ctrl+-"), QKeySequence::ZoomOut) +
          QStringLiteral("|Make the list and the page smaller|||||"),
      QStringLiteral("  &Actual Size|Ctrl+0|Show the list and the page at 100%|||||"),
      QStringLiteral("  T&heme|||||||"),
      QStringLiteral("    Follow the &Desktop||||checked|||"),
      QStringLiteral("    &Light||||checkable|||"),
      QStringLiteral("    Dar&k||||checkable|||"),
      QStringLiteral("  -"),
      QStringLiteral("  &Toolbar||||checked|||"),
      QStringLiteral("  &Status Bar||||checked|||"),
      QStringLiteral("  -"),
      QStringLiteral("  &Library...|Ctrl+Shift+L|List the books of the library, their folders and "
                     "groups|||||"),
      QStringLiteral("&Library|||||||"),
      QStringLiteral("  Find &Dictionaries...||Add the dictionaries already on this computer to "
                     "the library|||||"),
      QStringLiteral("  &Stop Importing||Stop importing dictionaries (Esc)|||disabled||"),
      QStringLiteral("&Help|||||||"),
      QStringLiteral("  Contents...|") + WithStandardKeys({}, QKeySequence::HelpContents) +
          QStringLiteral("|Read the manual|||||"),
      QStringLiteral("  &About Quillary...|||actionAbout||||icon"),
  };
  const QStringList tools = {
      QStringLiteral("&Back|Alt+Left|Show the record shown before|||disabled||icon"),
      QStringLiteral("&Forward|Alt+Right|Show the record shown after|||disabled||icon"),
      QStringLiteral("-"),
      QStringLiteral("&Open...|Ctrl+O|Open a book|actionOpen||||icon"),
      QStringLiteral("-"),
      QStringLiteral("&Print...|Ctrl+P|Print the record on show|actionPrint||||icon"),
      QStringLiteral("-"),
      QStringLiteral("&About Quillary...|||actionAbout||||icon"),
  };
  const QStringList window = {
      QStringLiteral("Next pane|F6||||||"),
      QStringLiteral("Previous pane|Shift+F6||||||"),
      QStringLiteral("Close|") + WithStandardKeys({}, QKeySequence::Close) +
          QStringLiteral("||||||"),
  };
  QStringList got;
  DescribeActions(iFrame->menuBar()->actions(), QString(), got);
  QCOMPARE(got, menus);
  auto* toolBar = iFrame->findChild<QToolBar*>(QStringLiteral("toolBar"));
  QVERIFY(toolBar);
  QCOMPARE(toolBar->accessibleName(), QStringLiteral("Toolbar"));
  got.clear();
  DescribeActions(toolBar->actions(), QString(), got);
  QCOMPARE(got, tools);
  got.clear();
  DescribeActions(iFrame->actions(), QString(), got);
  QCOMPARE(got, window);

  // The items do what they say.
  const auto item = [this](const QString& menu, const QString& text) -> QAction* {
    for (QAction* m : iFrame->menuBar()->actions())
      if (m->text() == menu)
        for (QAction* a : m->menu()->actions())
          if (a->text() == text) return a;
    return nullptr;
  };
  const int step = iFrame->Fonts().iZoomStep;
  item(QStringLiteral("&View"), QStringLiteral("Zoom &In"))->trigger();
  QCOMPARE(iFrame->Fonts().iZoomStep, step + 1);
  item(QStringLiteral("&View"), QStringLiteral("&Actual Size"))->trigger();
  QCOMPARE(iFrame->Fonts().iZoomStep, step);
  QAction* toolbarItem = item(QStringLiteral("&View"), QStringLiteral("&Toolbar"));
  toolbarItem->trigger();
  QVERIFY(toolBar->isHidden());
  toolbarItem->trigger();
  QVERIFY(!toolBar->isHidden());
  item(QStringLiteral("&View"), QStringLiteral("&Status Bar"))->trigger();
  QVERIFY(iFrame->statusBar()->isHidden());
}

void TestUi::everyControlHasAnAccessibleName() {
  OpenSample();
  QList<QWidget*> controls;
  for (QWidget* w : iFrame->findChildren<QWidget*>()) {
    if (!w->isVisible()) continue;
    if (qobject_cast<QComboBox*>(w) || qobject_cast<QAbstractItemView*>(w) ||
        qobject_cast<QTextBrowser*>(w) || qobject_cast<QToolButton*>(w) ||
        qobject_cast<QLineEdit*>(w))
      controls << w;
  }
  qlui::CFindDialog find;
  find.show();
  for (QWidget* w : find.findChildren<QWidget*>())
    if (qobject_cast<QLineEdit*>(w) || qobject_cast<QCheckBox*>(w)) controls << w;
  QVERIFY(controls.size() >= 10);
  for (QWidget* w : controls) {
    QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(w);
    QVERIFY(iface);
    QVERIFY2(!iface->text(QAccessible::Name).isEmpty(), w->metaObject()->className());
  }
}

void TestUi::helpReadsTheManualEvenWhileItIsOpen() {
  OpenSample();
  qlui::HelpWindow help(iFrame.get());
  std::string reason;
  QVERIFY2(help.OpenManual(iBook, reason), reason.c_str());
  QCOMPARE(help.SubjectList()->Model()->rowCount(), 5);
  QVERIFY(help.RecordView()->toPlainText().startsWith(QStringLiteral("apple")));
  help.show();
  help.SubjectList()->SelectRow(2);
  QTest::keyClick(help.SubjectList(), Qt::Key_Return);
  const QPoint cats = AnchorPoint(help.RecordView(), QStringLiteral("quill::big%20cat"));
  QVERIFY(cats.x() >= 0);
  QTest::mouseClick(help.RecordView()->viewport(), Qt::LeftButton, {}, cats);
  QVERIFY(help.RecordView()->toPlainText().startsWith(QStringLiteral("big cat")));
  // The main window's page is its own.
  iFrame->ShowRecord(4, -1, -1, false);
  QVERIFY(help.RecordView()->toPlainText().startsWith(QStringLiteral("big cat")));
}

void TestUi::droppedFilesOpenInTurn() {
  OpenSample();
  const std::string second = iDir->File("second.ql");
  qltest::WriteFileBytes(second, qltest::BuildBookBytes({{"only", "One entry."}}));
  QMimeData data;
  data.setUrls({QUrl::fromLocalFile(qlui::PathToQString(iBook)),
                QUrl::fromLocalFile(qlui::PathToQString(second))});
  QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(iFrame.get(), &enter);
  QVERIFY(enter.isAccepted());
  QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(iFrame.get(), &drop);
  QCOMPARE(iFrame->windowTitle(), QStringLiteral("second.ql - Quillary"));
  QCOMPARE(iFrame->SubjectList()->Model()->rowCount(), 1);
  // Both went through the open flow: both are in the recent files, newest first.
  QCOMPARE(iFrame->RecentFiles().Paths().size(), size_t{2});
  QCOMPARE(iFrame->RecentFiles().Paths().front(), second);
}

void TestUi::quickPeekLooksUpAsYouType() {
  QMenu* menu = iFrame->TrayMenu();
  QStringList labels;
  for (QAction* a : menu->actions()) labels << a->text();
  QCOMPARE(labels, QStringList({QStringLiteral("QuickPeek"), QStringLiteral("QuickPeek Clipboard"),
                                QStringLiteral("Quillary"), QStringLiteral("Close")}));
  QCOMPARE(menu->defaultAction(), menu->actions().front());

  // Without a book the window says so.
  QString note;
  QTimer::singleShot(0, [&] {
    auto* peek = qobject_cast<qlui::QuickPeeker*>(QApplication::activeModalWidget());
    if (peek) {
      note = peek->Note()->text();
      peek->reject();
    }
  });
  menu->actions()[0]->trigger();
  QCOMPARE(note, QString::fromLatin1(qlui::kNoBookForPeek));

  OpenSample();
  qlui::QuickPeeker peek(*iDoc, iFrame.get());
  peek.show();
  QTest::keyClicks(peek.Line(), QStringLiteral("Ca"));
  QCOMPARE(peek.Shown(), 2);
  QVERIFY(peek.View()->toPlainText().startsWith(QStringLiteral("caf\u00e9")));
  // Nothing starts so: the record stays.
  QTest::keyClicks(peek.Line(), QStringLiteral("x"));
  QCOMPARE(peek.Shown(), 2);

  // The clipboard's word is looked up at once.
  QGuiApplication::clipboard()->setText(QStringLiteral("dog\nsecond line"));
  int shown = -1;
  QTimer::singleShot(0, [&] {
    auto* modal = qobject_cast<qlui::QuickPeeker*>(QApplication::activeModalWidget());
    if (modal) {
      shown = modal->Shown();
      modal->reject();
    }
  });
  menu->actions()[1]->trigger();
  QCOMPARE(shown, 3);
}

void TestUi::f6MovesBetweenThePanes() {
  OpenSample();
  iFrame->activateWindow();
  iFrame->SubjectList()->setFocus();
  QTRY_VERIFY(iFrame->SubjectList()->hasFocus());
  QTest::keyClick(iFrame.get(), Qt::Key_F6);
  QTRY_VERIFY(iFrame->RecordView()->hasFocus());
  QTest::keyClick(iFrame.get(), Qt::Key_F6, Qt::ShiftModifier);
  QTRY_VERIFY(iFrame->SubjectList()->hasFocus());
}

void TestUi::backAndForwardRetraceTheRecordsShown() {
  OpenSample();
  QVERIFY(!iFrame->BackAction()->isEnabled());
  qlui::CQuillaryView* list = iFrame->SubjectList();
  list->setFocus();
  list->SelectRow(0);
  QTest::keyClick(list, Qt::Key_Return);  // apple
  // A link followed and a bookmark-like jump are steps as well.
  iFrame->ShowRecord(2, -1, -1, false);
  const QPoint cats = AnchorPoint(iFrame->RecordView(), QStringLiteral("quill::big%20cat"));
  QTest::mouseClick(iFrame->RecordView()->viewport(), Qt::LeftButton, {}, cats);
  QVERIFY(PageText().startsWith(QStringLiteral("big cat")));
  QVERIFY(iFrame->BackAction()->isEnabled());
  QTest::keyClick(iFrame.get(), Qt::Key_Left, Qt::AltModifier);
  QVERIFY(PageText().startsWith(QStringLiteral("caf\u00e9")));
  QCOMPARE(iFrame->SelectionMark(), 2);
  // The mouse's back button goes on back.
  QTest::mousePress(list->viewport(), Qt::BackButton, {}, QPoint(5, 5));
  QVERIFY(PageText().startsWith(QStringLiteral("apple")));
  QVERIFY(!iFrame->BackAction()->isEnabled());
  iFrame->ForwardAction()->trigger();
  iFrame->ForwardAction()->trigger();
  QVERIFY(PageText().startsWith(QStringLiteral("big cat")));
  QVERIFY(!iFrame->ForwardAction()->isEnabled());
  // Opening a book again keeps the history: its steps name their books.
  QVERIFY(iFrame->OpenBook(qlui::PathToQString(iBook)));
  QVERIFY(iFrame->BackAction()->isEnabled());
}

void TestUi::historyGoesAcrossBooksAndLastsAcrossRuns() {
  OpenSample();
  const std::string other = iDir->File("other.ql");
  qltest::WriteFileBytes(other,
                         qltest::BuildBookBytes({{"apple", "Other apple."}, {"zebra", "Z."}}));
  iFrame->ShowRecord(0, -1, -1, false);  // apple
  iFrame->ShowRecord(1, -1, -1, false);  // big cat
  QVERIFY(iFrame->OpenBook(qlui::PathToQString(other)));
  iFrame->ShowRecord(1, -1, -1, false);  // zebra, in the other book
  // Back opens the book of the step before, on its subject.
  iFrame->GoBack();
  QCOMPARE(iFrame->windowTitle(), QStringLiteral("sample.ql - Quillary"));
  QVERIFY(PageText().startsWith(QStringLiteral("big cat")));
  QCOMPARE(iFrame->SelectionMark(), 1);
  iFrame->GoForward();

  // The list: newest first, the current step chosen; Enter goes to the one
  // chosen as a step of its own.
  iFrame->OnHistory();
  qlui::HistoryDialog* dialog = iFrame->HistoryList();
  QVERIFY(dialog && dialog->isVisible());
  QListWidget* list = dialog->List();
  QCOMPARE(list->accessibleName(), QStringLiteral("History"));
  QStringList rows;
  for (int i = 0; i < list->count(); ++i) rows << list->item(i)->text();
  QCOMPARE(rows, QStringList({QStringLiteral("zebra \u2014 other.ql"),
                              QStringLiteral("big cat \u2014 sample.ql"),
                              QStringLiteral("apple \u2014 sample.ql")}));
  QCOMPARE(list->currentRow(), 0);
  list->setCurrentRow(1);
  QTest::keyClick(list, Qt::Key_Return);
  QVERIFY(!dialog->isVisible());
  QCOMPARE(iFrame->windowTitle(), QStringLiteral("sample.ql - Quillary"));
  QVERIFY(PageText().startsWith(QStringLiteral("big cat")));
  QCOMPARE(iDoc->History().Entries().size(), size_t{4});

  // A subject gone from its book is told in the status bar.
  qltest::WriteFileBytes(other, qltest::BuildBookBytes({{"apple", "Other apple."}}));
  iFrame->GoBack();
  QCOMPARE(iFrame->windowTitle(), QStringLiteral("other.ql - Quillary"));
  QVERIFY(iFrame->statusBar()->currentMessage().contains(QStringLiteral("zebra")));
  QVERIFY(iFrame->statusBar()->currentMessage().contains(QStringLiteral("no longer")));

  // The next run has it all, the current step too.
  const std::vector<ql::HistoryEntry> steps = iDoc->History().Entries();
  iFrame->close();
  iFrame.reset();
  iDoc = std::make_unique<ql::Document>();
  iFrame = std::make_unique<qlui::CMainFrame>(*iDoc);
  QCOMPARE(iDoc->History().Entries().size(), steps.size());
  QVERIFY(iDoc->History().Entries() == steps);
  QCOMPARE(iDoc->History().Current(), size_t{2});
  QVERIFY(iFrame->BackAction()->isEnabled() && iFrame->ForwardAction()->isEnabled());
  // Clear History empties it and its file at once.
  iFrame->ClearHistory();
  QVERIFY(!iFrame->BackAction()->isEnabled() && !iFrame->ForwardAction()->isEnabled());
  QCOMPARE(qltest::ReadFileBytes(iDir->File("data/quillary/history")),
           std::string("quillary history 1\ncurrent 0\n"));
}

void TestUi::secondStartHandsItsBooksAndWordOver() {
  iFrame->show();
  iFrame->SetInitialised();
  const std::string path = ql::InstanceSocketPath();
  QCOMPARE(qlui::PathToQString(path), qlui::PathToQString(iDir->File("quillary.socket")));
  // A socket a run that ended left behind answers no one and blocks no one.
  const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
  QCOMPARE(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ::close(fd);
  const QString socket = qlui::PathToQString(path);
  QCOMPARE(qlui::HandOverRequest(socket, {{iBook}, std::nullopt, false}),
           qlui::HandOver::kNoneRunning);
  qlui::InstanceServer server([this](const ql::InstanceRequest& r) { iFrame->TakeRequest(r); });
  QVERIFY(server.Listen(socket));

  // Books named relative to the second start's folder, and a word.
  const std::string other = iDir->File("other.ql");
  qltest::WriteFileBytes(other, qltest::BuildBookBytes({{"zebra", "Z."}}));
  QProcess second;
  second.setWorkingDirectory(qlui::PathToQString(iDir->Path()));
  second.start(QStringLiteral(QL_QUILLARY_BINARY),
               {QStringLiteral("sample.ql"), QStringLiteral("other.ql"), QStringLiteral("--lookup"),
                QStringLiteral("eel")});
  QTRY_VERIFY_WITH_TIMEOUT(second.state() == QProcess::NotRunning, 30000);
  QCOMPARE(second.exitStatus(), QProcess::NormalExit);
  QCOMPARE(second.exitCode(), 0);
  // The first is on show with the word looked up in both (the page of
  // sections: only the first has it); both joined the library.
  QTRY_COMPARE(iFrame->windowTitle(), QStringLiteral("sample.ql - Quillary"));
  QTRY_VERIFY(iFrame->SectionsShown());
  QVERIFY2(PageText().startsWith(QStringLiteral("sample.ql")) &&
               PageText().contains(QStringLiteral("eel\nLong fish.")),
           qPrintable(PageText()));
  QCOMPARE(iFrame->FoundIn()->count(), 1);
  QCOMPARE(iFrame->LookupLine()->text(), QStringLiteral("eel"));
  std::vector<std::string> books;
  const ql::Library library = ql::Library::Load(ql::LibraryFilePath());
  for (const ql::LibraryBook& book : library.Books())
    if (book.opened) books.push_back(book.path);
  QVERIFY(books == std::vector<std::string>({iBook, other}));

  // What is not a request is refused.
  QLocalSocket raw;
  raw.connectToServer(socket);
  QVERIFY(raw.waitForConnected(5000));
  raw.write("GET / HTTP/1.0\n");
  QTRY_VERIFY(raw.bytesAvailable() >= 4 || raw.state() != QLocalSocket::ConnectedState);
  QCOMPARE(raw.readAll(), QByteArray("bad\n"));
}

void TestUi::selectionIsLookedUpInQuickPeek() {
  OpenSample();
  // The selection comes from the desktop: offscreen has only the clipboard.
  const auto select = [](const QString& text) {
    QGuiApplication::clipboard()->setText(text);
    if (QGuiApplication::clipboard()->supportsSelection())
      QGuiApplication::clipboard()->setText(text, QClipboard::Selection);
  };
  select(QStringLiteral("  big cat \nmore"));
  // Asked again while QuickPeek is open, the one open looks the new text up.
  QString line;
  bool again = false;
  QTimer::singleShot(0, [&] {
    auto* peek = qobject_cast<qlui::QuickPeeker*>(QApplication::activeModalWidget());
    if (!peek) return;
    line = peek->Line()->text();
    select(QStringLiteral("apple"));
    iFrame->TakeRequest({{}, std::nullopt, true});
    again = iFrame->Peeker() == peek && peek->View()->toPlainText().startsWith("apple");
    peek->reject();
  });
  iFrame->TakeRequest({{}, std::nullopt, true});
  QCOMPARE(line, QStringLiteral("big cat"));
  QVERIFY(again && !iFrame->Peeker());
}

void TestUi::failedOpenLeavesNoBook() {
  OpenSample();
  const std::string broken = iDir->File("broken.ql");
  qltest::WriteFileBytes(broken, "not a book at all, just text");
  QVERIFY(!iFrame->OpenBook(qlui::PathToQString(broken)));
  QCOMPARE(iFrame->SubjectList()->Model()->rowCount(), 0);
  QCOMPARE(iFrame->windowTitle(), QStringLiteral("Untitled - Quillary"));
  QVERIFY(iFrame->statusBar()->currentMessage().contains(QStringLiteral("broken.ql")));
  QVERIFY(iFrame->statusBar()->currentMessage().contains(QStringLiteral("not a Quillary book")));
  QCOMPARE(iFrame->RecordView()->source(), QUrl(QStringLiteral("qrc:/start.html")));
}

void TestUi::lookupLineShowsWhatFindSubjectFinds() {
  OpenSample();
  qlui::CLookupLine* line = iFrame->LookupLine();
  qlui::CQuillaryView* list = iFrame->SubjectList();
  list->setFocus();
  list->SelectRow(4);
  QTest::keyClick(list, Qt::Key_Return);  // eel, before any lookup
  QTest::keyClick(iFrame.get(), Qt::Key_L, Qt::ControlModifier);
  QTRY_VERIFY(line->hasFocus());
  // Each text selects and shows the record prefix find gives, folded alike.
  for (const char* text : {"b", "BI", "Caf\xe9", "caf", "d", "E"}) {
    line->clear();
    // Typed key by key; é has no key of its own in the test's key map.
    for (QChar c : qlui::ToQString(text))
      QTest::sendKeyEvent(QTest::Click, line, Qt::Key_unknown, QString(c), Qt::NoModifier);
    const int expected = iDoc->Reader().FindSubject(ql::MatchPrefix, text);
    QVERIFY(expected >= 0);
    QCOMPARE(iFrame->SelectionMark(), expected);
    QVERIFY(PageText().startsWith(qlui::ToQString(iDoc->Reader().GetSubject(expected))));
    QVERIFY(!line->OfferShown());
  }
  // The records typing went through are one step: Back leaves the lookup.
  QTest::keyClick(line, Qt::Key_Return);
  iFrame->GoBack();
  QVERIFY(PageText().startsWith(QStringLiteral("eel")));
  iFrame->GoForward();
  QVERIFY(PageText().startsWith(QStringLiteral("eel")));  // "E" led to eel as well
  // Down moves into the list, at the record looked up.
  line->setFocus();
  QTest::keyClick(line, Qt::Key_Down);
  QTRY_VERIFY(list->hasFocus());
  QCOMPARE(iFrame->SelectionMark(), 4);
  // A new book empties the line.
  QVERIFY(iFrame->OpenBook(qlui::PathToQString(iBook)));
  QVERIFY(line->text().isEmpty());
}

void TestUi::backKeysInThePageFollowTheRecordHistory() {
  OpenSample();
  qlui::CQuillaryHtmlView* view = iFrame->RecordView();
  iFrame->ShowRecord(0, -1, -1, false);
  view->setFocus();
  QTRY_VERIFY(view->hasFocus());
  // One record shown: Back has nowhere to go, in the page as anywhere; the
  // page's own history of loaded pages is never walked.
  QTest::keyClick(view, Qt::Key_Left, Qt::AltModifier);
  QVERIFY(PageText().startsWith(QStringLiteral("apple")));
  iFrame->ShowRecord(4, -1, -1, false);
  QTest::keyClick(view, Qt::Key_Left, Qt::AltModifier);
  QVERIFY(PageText().startsWith(QStringLiteral("apple")));
  QTest::keyClick(view, Qt::Key_Right, Qt::AltModifier);
  QVERIFY(PageText().startsWith(QStringLiteral("eel")));
  QTest::keyClick(view, Qt::Key_Right, Qt::AltModifier);
  QVERIFY(PageText().startsWith(QStringLiteral("eel")));
}

void TestUi::jumpKeysMoveTheListAndTheEntryFollows() {
  OpenSample();
  qlui::CQuillaryView* list = iFrame->SubjectList();
  const int rows = iDoc->RowCount();
  QVERIFY(rows > 2);
  const auto subject = [this](int row) { return qlui::ToQString(iDoc->Reader().GetSubject(row)); };
  list->setFocus();
  QTRY_VERIFY(list->hasFocus());
  struct Step {
    Qt::Key key;
    Qt::KeyboardModifiers modifiers;
    int row;
  };
  const Step steps[] = {
      {Qt::Key_End, Qt::NoModifier, rows - 1},      {Qt::Key_Home, Qt::NoModifier, 0},
      {Qt::Key_PageDown, Qt::NoModifier, rows - 1}, {Qt::Key_PageUp, Qt::NoModifier, 0},
      {Qt::Key_End, Qt::ControlModifier, rows - 1}, {Qt::Key_Home, Qt::ControlModifier, 0},
  };
  for (const Step& step : steps) {
    QTest::keyClick(list, step.key, step.modifiers);
    QCOMPARE(iFrame->SelectionMark(), step.row);
    QCOMPARE(list->currentIndex().column(), 0);
    QTRY_VERIFY2(PageText().startsWith(subject(step.row)), qPrintable(PageText()));
  }
  // Keys that arrive together move the list each; the entry shows where it
  // landed, one step in the history, not one render for every key.
  const size_t steps0 = iDoc->History().Entries().size();
  for (int i = 0; i < 5; ++i) {
    QTest::keyClick(list, Qt::Key_End);
    QTest::keyClick(list, Qt::Key_Home);
  }
  QTest::keyClick(list, Qt::Key_End);
  QTRY_VERIFY(PageText().startsWith(subject(rows - 1)));
  QCOMPARE(iDoc->History().Entries().size(), steps0 + 1);
}

void TestUi::zoomScalesListAndPageAndIsRemembered() {
  OpenSample();
  iFrame->SelectRow(0);
  iFrame->ShowRecord(0, -1, -1, false);
  const qreal pagePoints = iFrame->RecordView()->font().pointSizeF();
  QCOMPARE(iFrame->SubjectList()->font().pixelSize(), 18);
  QTest::keyClick(iFrame.get(), Qt::Key_Plus, Qt::ControlModifier);
  QTest::keyClick(iFrame.get(), Qt::Key_Equal, Qt::ControlModifier);
  QCOMPARE(ql::ZoomPercent(iFrame->Fonts()), 125);
  QCOMPARE(iFrame->SubjectList()->font().pixelSize(), 23);
  QCOMPARE(iFrame->RecordView()->font().pointSizeF(), pagePoints * 1.25);
  QCOMPARE(iFrame->LookupLine()->findChild<QCompleter*>()->popup()->font().pixelSize(), 23);
  QVERIFY(PageText().startsWith(QStringLiteral("apple")));
  // The size and the zoom the user chose come back in the next window; the
  // face, never changed, is not stored at all.
  iFrame->SizeList()->setCurrentIndex(0);
  emit iFrame->SizeList()->activated(0);
  QSettings settings(QStringLiteral("Quillary"), QStringLiteral("Quillary"));
  QVERIFY(!settings.contains(QStringLiteral("View/Face")));
  QCOMPARE(settings.value(QStringLiteral("View/Size")).toString(), QStringLiteral("Small"));
  {
    ql::Document other;
    qlui::CMainFrame second(other);
    QCOMPARE(second.SizeList()->currentText(), QStringLiteral("Small"));
    QCOMPARE(second.SubjectList()->font().pixelSize(), 18);  // 14 px at 125%
    QCOMPARE(other.Options().size, 2);
    QCOMPARE(second.RecordView()->font().pointSizeF(), pagePoints * 1.25);
  }
  // Back to 100%: the default again, so nothing is kept.
  QTest::keyClick(iFrame.get(), Qt::Key_0, Qt::ControlModifier);
  QCOMPARE(iFrame->RecordView()->font().pointSizeF(), pagePoints);
  QCOMPARE(iFrame->SubjectList()->font().pixelSize(), 14);
  QVERIFY(!settings.contains(QStringLiteral("View/Zoom")));
  for (int i = 0; i < 20; ++i) QTest::keyClick(iFrame.get(), Qt::Key_Minus, Qt::ControlModifier);
  QCOMPARE(ql::ZoomPercent(iFrame->Fonts()), 50);
}

void TestUi::darkThemeKeepsPagesReadable() {
  OpenSample();
  iFrame->ShowRecord(1, 2, 4, true);  // "lion" marked
  QVERIFY(iFrame->RecordView()->toHtml().contains(QStringLiteral("#ff0000")));
  iFrame->ChooseTheme(qlui::Theme::kDark);
  QTRY_VERIFY(qlui::IsDarkPalette(iFrame->RecordView()->palette()));
  // The page is read again on the new palette: the marker is lighter, the
  // page file's bytes are what the book renders.
  QTRY_VERIFY(iFrame->RecordView()->toHtml().contains(QStringLiteral("#ff8a80")));
  QVERIFY(!iFrame->RecordView()->toHtml().contains(QStringLiteral("#ff0000")));
  QVERIFY(qltest::ReadFileBytes(iFrame->Page().Path()).find("color=\"red\"") != std::string::npos);
  QSettings settings(QStringLiteral("Quillary"), QStringLiteral("Quillary"));
  QCOMPARE(settings.value(QStringLiteral("View/Theme")).toString(), QStringLiteral("dark"));
  // The start page loses its parchment and takes light writing.
  iFrame->ShowStartPage();
  const QString start = iFrame->RecordView()->toHtml();
  QVERIFY(!start.contains(QStringLiteral("background.png")));
  QVERIFY(start.contains(QStringLiteral("#ecd9b4")));
  // The bands over the sections of books darken with the page.
  const QString band = QString::fromLatin1(ql::kSectionBandOpen.data(),
                                           static_cast<qsizetype>(ql::kSectionBandOpen.size()));
  const QString dark = qlui::AdaptPageToPalette(band, iFrame->RecordView()->palette());
  QVERIFY(dark.startsWith(QStringLiteral("<p style=")));
  QVERIFY(!dark.contains(QString::fromLatin1(ql::kSectionBandColor.data())));
  iFrame->ChooseTheme(qlui::Theme::kDesktop);
  QTRY_VERIFY(!qlui::IsDarkPalette(iFrame->RecordView()->palette()));
  QVERIFY(!settings.contains(QStringLiteral("View/Theme")));
}

void TestUi::findRunsBesideTheWindowAndEscStopsIt() {
  // A book long enough to be split among the threads, the hits near its end.
  std::vector<qltest::Entry> entries;
  for (int i = 0; i < 3000; ++i) {
    char subject[16];
    std::snprintf(subject, sizeof subject, "w%05d", i);
    entries.push_back({subject, i % 997 == 996 ? "a needle here, needle there" : "hay and hay"});
  }
  const std::string path = iDir->File("hay.ql");
  qltest::BookOptions small;
  small.subjectBlockSize = 300;
  small.recordBlockSize = 300;
  const std::string bytes = qltest::BuildBookBytes(entries, small);
  qltest::WriteFileBytes(path, bytes);
  // The plain walk reads a copy: the window holds its book for writing.
  const std::string copy = iDir->File("hay-copy.ql");
  qltest::WriteFileBytes(copy, bytes);
  QVERIFY(iFrame->OpenBook(qlui::PathToQString(path)));
  iFrame->show();
  iFrame->SetInitialised();
  QVERIFY(QTest::qWaitForWindowExposed(iFrame.get()));

  qlui::ThreadedSearchRunner* runner = iFrame->Searcher();
  ql::SearchQuery query;
  query.term1 = "needle";
  // The same hits, in the same order, as the plain walk, one after another
  // as Find Next goes on.
  ql::BookReader plain;
  QCOMPARE(plain.Open(copy, ql::kOpenReadOnly), ql::OpenResult::kOk);
  int record = 0, pos = -1;
  for (int step = 0; step < 7; ++step) {  // six hits, then none
    int expectRecord = record, expectPos = pos;
    const int expected = plain.FindMatch(query, expectRecord, expectPos);
    int result = 0, gotRecord = -9, gotPos = -9;
    bool ended = false;
    runner->Start(*iDoc, query, record, pos, [&](int r, int rec, int p) {
      result = r;
      gotRecord = rec;
      gotPos = p;
      ended = true;
    });
    QTRY_VERIFY(ended);
    QCOMPARE(result, expected >= 0 ? ql::kSearchHit : ql::kSearchNone);
    QCOMPARE(gotRecord, expectRecord);
    QCOMPARE(gotPos, expectPos);
    record = gotRecord;
    pos = gotPos + 1;
  }
  // Esc while a search runs: its flow ends as cancelled, at once.
  int result = 0;
  runner->Start(*iDoc, query, 0, -1, [&](int r, int, int) { result = r; });
  QVERIFY(runner->Running());
  QTest::keyClick(iFrame->SubjectList(), Qt::Key_Escape);
  QCOMPARE(result, ql::kSearchCancelled);
  QVERIFY(!runner->Running());
  QCOMPARE(iFrame->statusBar()->currentMessage(), QStringLiteral("Search stopped"));
  // Opening a book ends a search of the one before.
  result = 0;
  runner->Start(*iDoc, query, 0, -1, [&](int r, int, int) { result = r; });
  QVERIFY(iFrame->OpenBook(qlui::PathToQString(iBook)));
  QCOMPARE(result, ql::kSearchCancelled);
}

void TestUi::lookupOffersTheNearestSubjects() {
  OpenSample();
  qlui::CLookupLine* line = iFrame->LookupLine();
  line->setFocus();
  QTest::keyClicks(line, QStringLiteral("bog"));  // nothing starts with it
  QTRY_VERIFY(!line->Seeking());
  QVERIFY(line->OfferShown());
  const QStringList offered = line->Offered();
  QVERIFY(!offered.isEmpty());
  QCOMPARE(offered.front(), QStringLiteral("dog"));  // one letter away
  QVERIFY(offered.size() <= 10);
  // Choosing an offer shows it.
  QTest::keyClick(line->findChild<QCompleter*>()->popup(), Qt::Key_Down);
  QTest::keyClick(line->findChild<QCompleter*>()->popup(), Qt::Key_Return);
  QTRY_VERIFY(PageText().startsWith(QStringLiteral("dog")));
  QCOMPARE(iFrame->SelectionMark(), 3);
  // A text that does lead somewhere takes the offer away.
  line->clear();
  QTest::keyClicks(line, QStringLiteral("ee"));
  QVERIFY(!line->OfferShown());
  QVERIFY(PageText().startsWith(QStringLiteral("eel")));
}

void TestUi::pageBaseFollowsTheApplicationFont_data() {
  QTest::addColumn<int>("appSize");  // the desktop's font, in points (pixels below 0)
  QTest::addColumn<int>("zoom");
  QTest::addColumn<int>("pageSize");  // the page's <font size=N>: Small, Medium, Large
  QTest::addColumn<int>("laterAppSize");
  QTest::addColumn<qreal>("body");  // the entry's text, before and after the change
  QTest::addColumn<qreal>("laterBody");
  QTest::newRow("medium") << 9 << 100 << 3 << 14 << 9.0 << 14.0;
  QTest::newRow("small page") << 15 << 100 << 2 << 10 << 12.0 << 8.0;
  QTest::newRow("large page") << 10 << 100 << 4 << 15 << 12.0 << 18.0;
  QTest::newRow("zoomed in") << 14 << 150 << 3 << 10 << 21.0 << 15.0;
  QTest::newRow("zoomed out") << 12 << 50 << 4 << 20 << 7.2 << 12.0;
  QTest::newRow("pixels") << -16 << 150 << 3 << -20 << 24.0 << 30.0;
}

void TestUi::pageBaseFollowsTheApplicationFont() {
  QFETCH(int, appSize);
  QFETCH(int, zoom);
  QFETCH(int, pageSize);
  QFETCH(int, laterAppSize);
  QFETCH(qreal, body);
  QFETCH(qreal, laterBody);
  const QFont desktop = QApplication::font();
  const auto setAppFont = [&](int size) {
    QFont font = desktop;
    if (size > 0)
      font.setPointSize(size);
    else
      font.setPixelSize(-size);
    QApplication::setFont(font);
  };
  // Whatever the test ends with, the next one starts with the desktop's font.
  const auto restore = qScopeGuard([&] { QApplication::setFont(desktop); });
  setAppFont(appSize);
  qlui::CQuillaryHtmlView view([](const std::string&) {});
  view.SetZoom(zoom);
  ql::StringSink sink;
  ql::WriteRecordPage(sink, "Arial", pageSize, "subject", "the entry", -1, -1);
  const std::string path = iDir->File("page.html");
  qltest::WriteFileBytes(path, sink.Data());
  view.ShowPage(qlui::PathToQString(path), false);
  const auto bodySize = [&] {
    const QTextCursor cursor = view.document()->find(QStringLiteral("entry"));
    const QFont font = cursor.charFormat().font();
    return font.pixelSize() > 0 ? qreal(font.pixelSize()) : font.pointSizeF();
  };
  QVERIFY(view.toPlainText().contains(QStringLiteral("the entry")));
  QCOMPARE(bodySize(), body);
  // The desktop's font changes with the page on show: the page follows, at
  // the same zoom and the same steps.
  setAppFont(laterAppSize);
  QCoreApplication::sendPostedEvents();  // Qt posts the change to each widget
  QCOMPARE(bodySize(), laterBody);
  view.SetZoom(100);
  QCOMPARE(bodySize(), laterBody * 100 / zoom);
}

int main(int argc, char** argv) {
  // Settings go to a fresh config home, never the user's.
  QTemporaryDir config;
  qputenv("XDG_CONFIG_HOME", QFile::encodeName(config.path()));
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  TestUi test;
  return QTest::qExec(&test, argc, argv);
}

#include "test_ui.moc"
