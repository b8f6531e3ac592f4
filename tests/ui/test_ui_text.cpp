// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// The window with books of both text forms, under the offscreen platform: a
// UTF-8 book's subjects, pages, links, lookups, bookmarks and Find terms
// reach the screen and come back as its characters, right-to-left text runs
// right to left, a lookup over the group mixes both forms on one page, and a
// Windows-1252 book keeps its bytes.
#include <QListWidget>
#include <QMenu>
#include <QSettings>
#include <QTest>
#include <QTextBlock>
#include <QTextBrowser>
#include <memory>
#include <string>
#include <vector>

#include "book_builder.h"
#include "book_fixture.h"
#include "dialogs.h"
#include "document.h"
#include "lookup_line.h"
#include "main_frame.h"
#include "qt_text.h"
#include "record_view.h"
#include "shelf_page.h"
#include "subject_view.h"

namespace {

// In the book's order: folded UTF-8 bytes.
std::vector<qltest::Entry> UnicodeEntries() {
  return {
      {"holiday", "/ˈhɒlɪdeɪ/ a day off"},
      {"γάτα", "Γάτα: a cat"},
      {"дом", "A house. See \t\x11книга>the book\t\x12."},
      {"книга", "Большая книга"},
      {"كتاب", "كتاب جديد"},
  };
}

std::vector<qltest::Entry> Cp1252Entries() {
  return {{"caf\xe9", "A small restaurant; \x93quoted\x94."}, {"holiday", "Time off."}};
}

bool WriteUnicodeBook(const std::string& path, const std::vector<qltest::Entry>& entries) {
  ql::BookBuilder builder;
  builder.SetUnicode(true);
  if (!builder.IsReady()) return false;
  for (const qltest::Entry& e : entries)
    if (builder.AddEntry(e.subject, e.text) != ql::BuildResult::kOk) return false;
  return builder.WriteBookFile(path) == ql::BuildResult::kOk;
}

QString U(const char* text) {
  return QString::fromUtf8(text);
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

// Typed key by key: the characters have no keys of their own in the test's
// key map.
void TypeText(QWidget* widget, const QString& text) {
  for (QChar c : text)
    QTest::sendKeyEvent(QTest::Click, widget, Qt::Key_unknown, QString(c), Qt::NoModifier);
}

}  // namespace

class TestUiText : public QObject {
  Q_OBJECT

 private slots:
  void init();
  void cleanup();
  void pageTextIsDecodedInThePagesForm();
  void findDialogTermsTakeTheBooksForm();
  void listAndPageShowTheCharacters();
  void typedWordsFindTheirSubjects();
  void linkToACyrillicSubjectIsFollowed();
  void rightToLeftTextRunsRightToLeft();
  void bookmarkMenuShowsTheSubject();
  void groupLookupMixesBothForms();
  void cp1252BookKeepsItsBytes();

 private:
  void Open(const std::string& path);
  QString PageText() const { return iFrame->RecordView()->toPlainText(); }

  std::unique_ptr<qltest::TempDir> iDir;
  std::string iUnicode, iCp1252;
  std::unique_ptr<ql::Document> iDoc;
  std::unique_ptr<qlui::CMainFrame> iFrame;
};

void TestUiText::init() {
  iDir = std::make_unique<qltest::TempDir>();
  QSettings(QStringLiteral("Quillary"), QStringLiteral("Quillary")).clear();
  qputenv("XDG_RUNTIME_DIR", QByteArray::fromStdString(iDir->Path()));
  qputenv("XDG_DATA_HOME", QByteArray::fromStdString(iDir->File("data")));
  // The word indexes the window builds in the background.
  qputenv("XDG_CACHE_HOME", QByteArray::fromStdString(iDir->File("cache")));
  qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(iDir->File("config")));
  iUnicode = iDir->File("unicode.ql");
  QVERIFY(WriteUnicodeBook(iUnicode, UnicodeEntries()));
  iCp1252 = iDir->File("cp1252.ql");
  qltest::WriteFileBytes(iCp1252, qltest::BuildBookBytes(Cp1252Entries()));
  iDoc = std::make_unique<ql::Document>();
  iFrame = std::make_unique<qlui::CMainFrame>(*iDoc);
}

void TestUiText::cleanup() {
  iFrame.reset();
  iDoc.reset();
  iDir.reset();
}

void TestUiText::Open(const std::string& path) {
  QVERIFY(iFrame->OpenBook(qlui::PathToQString(path)));
  iFrame->show();
  iFrame->SetInitialised();
  QVERIFY(QTest::qWaitForWindowExposed(iFrame.get()));
}

void TestUiText::pageTextIsDecodedInThePagesForm() {
  struct Case {
    QByteArray bytes;
    ql::TextForm form;
    QString want;
  };
  const std::vector<Case> cases = {
      {"caf\xe9 \x93q\x94", ql::TextForm::kCp1252, U("café “q”")},
      {"caf\xc3\xa9 \xd0\xb4", ql::TextForm::kUtf8, U("café д")},
      // Bytes that are no UTF-8 show as U+FFFD, never as anything else.
      {"a\xff\xd0z", ql::TextForm::kUtf8, U("a\xef\xbf\xbd\xef\xbf\xbdz")},
      // A page that declares UTF-8 is read so whatever the view was told.
      {"<head><meta content=\"text/html; charset=UTF-8\"></head><body>\xd0\xb4",
       ql::TextForm::kCp1252, U("<head><meta content=\"text/html; charset=UTF-8\"></head><body>д")},
      {"<strike>x</strike>", ql::TextForm::kUtf8, U("<s>x</s>")},
  };
  for (const Case& c : cases) QCOMPARE(qlui::PageTextForView(c.bytes, c.form), c.want);
}

void TestUiText::findDialogTermsTakeTheBooksForm() {
  struct Case {
    std::string term;
    ql::TextForm form;
    QString shown;
  };
  const std::vector<Case> cases = {
      {"КНИГА", ql::TextForm::kUtf8, U("КНИГА")},
      {"ˈhɒl", ql::TextForm::kUtf8, U("ˈhɒl")},
      {"caf\xe9", ql::TextForm::kCp1252, U("café")},
  };
  for (const Case& c : cases) {
    qlui::CFindDialog dialog;
    ql::FindDialogValues values;
    values.term1 = c.term;
    dialog.SetValues(values, c.form);
    auto* line = dialog.findChildren<QLineEdit*>().value(0);
    QVERIFY(line);
    QCOMPARE(line->text(), c.shown);
    QCOMPARE(dialog.Values().term1, c.term);
  }
}

void TestUiText::listAndPageShowTheCharacters() {
  Open(iUnicode);
  qlui::SubjectModel* model = iFrame->SubjectList()->Model();
  const std::vector<qltest::Entry> entries = UnicodeEntries();
  QCOMPARE(model->rowCount(), static_cast<int>(entries.size()));
  for (int row = 0; row < model->rowCount(); ++row) {
    const auto& e = entries[static_cast<size_t>(row)];
    QCOMPARE(model->data(model->index(row, 0)).toString(), U(e.subject.c_str()));
    const QString preview = model->data(model->index(row, 1)).toString();
    QVERIFY2(!preview.contains(QLatin1Char('?')) && !preview.contains(QChar(0xFFFD)),
             qPrintable(preview));
  }
  struct Case {
    int record;
    QString text;
  };
  const std::vector<Case> pages = {
      {0, U("/ˈhɒlɪdeɪ/ a day off")},
      {1, U("Γάτα: a cat")},
      {3, U("Большая книга")},
  };
  for (const Case& c : pages) {
    iFrame->ShowRecord(c.record, -1, -1, false);
    const QString page = PageText();
    QVERIFY2(page.startsWith(U(entries[static_cast<size_t>(c.record)].subject.c_str())),
             qPrintable(page));
    QVERIFY2(page.contains(c.text), qPrintable(page));
    QVERIFY2(!page.contains(QLatin1Char('?')) && !page.contains(QChar(0xFFFD)), qPrintable(page));
  }
}

void TestUiText::typedWordsFindTheirSubjects() {
  Open(iUnicode);
  qlui::CLookupLine* line = iFrame->LookupLine();
  struct Case {
    QString typed;
    int record;
  };
  const std::vector<Case> cases = {
      {U("дом"), 2}, {U("ДОМ"), 2}, {U("кн"), 3}, {U("ΓΆΤΑ"), 1}, {U("كت"), 4}, {U("HOL"), 0},
  };
  for (const Case& c : cases) {
    line->clear();
    TypeText(line, c.typed);
    QCOMPARE(iFrame->SelectionMark(), c.record);
    QVERIFY2(
        PageText().startsWith(U(UnicodeEntries()[static_cast<size_t>(c.record)].subject.c_str())),
        qPrintable(PageText()));
    QVERIFY(!line->OfferShown());
  }
  // A slip gets the nearest subjects, spelt in their own characters.
  line->clear();
  TypeText(line, U("кнага"));
  QTRY_VERIFY(!line->Offered().isEmpty());
  QCOMPARE(line->Offered().first(), U("книга"));
}

void TestUiText::linkToACyrillicSubjectIsFollowed() {
  Open(iUnicode);
  iFrame->SelectRow(0);
  iFrame->ShowRecord(2, -1, -1, false);
  qlui::CQuillaryHtmlView* view = iFrame->RecordView();
  const QPoint book = AnchorPoint(view, U("quill::книга"));
  QVERIFY(book.x() >= 0);
  QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, book);
  QVERIFY2(PageText().startsWith(U("книга")), qPrintable(PageText()));
  QCOMPARE(iFrame->SelectionMark(), 0);
}

void TestUiText::rightToLeftTextRunsRightToLeft() {
  Open(iUnicode);
  iFrame->ShowRecord(4, -1, -1, false);
  int arabicBlocks = 0;
  for (QTextBlock block = iFrame->RecordView()->document()->begin(); block.isValid();
       block = block.next()) {
    const QString text = block.text().trimmed();
    if (text.isEmpty()) continue;
    const bool arabic = text.startsWith(QChar(0x0643));
    if (arabic) ++arabicBlocks;
    QCOMPARE(block.textDirection(), arabic ? Qt::RightToLeft : Qt::LeftToRight);
  }
  QCOMPARE(arabicBlocks, 2);  // the heading and the text
  qlui::SubjectModel* model = iFrame->SubjectList()->Model();
  QVERIFY(model->data(model->index(4, 0)).toString().isRightToLeft());
  QVERIFY(!model->data(model->index(2, 0)).toString().isRightToLeft());
}

void TestUiText::bookmarkMenuShowsTheSubject() {
  Open(iUnicode);
  QMenu* menu = iFrame->BookmarksMenu();
  for (int row : {2, 4}) {
    iFrame->SelectRow(row);
    menu->actions()[0]->trigger();
  }
  QCOMPARE(menu->actions().size(), 5);
  QCOMPARE(menu->actions()[3]->text(), U("дом"));
  QCOMPARE(menu->actions()[4]->text(), U("كتاب"));
  iFrame->SelectRow(0);
  menu->actions()[3]->trigger();
  QCOMPARE(iFrame->SelectionMark(), 2);
}

void TestUiText::groupLookupMixesBothForms() {
  Open(iUnicode);
  iFrame->SetShelfBooks({{iCp1252, "cp1252.ql"}, {iUnicode, "unicode.ql"}});
  qlui::CLookupLine* line = iFrame->LookupLine();
  struct Case {
    QString typed;
    QStringList books;
    QStringList texts;
  };
  const std::vector<Case> cases = {
      {U("holiday"),
       {U("cp1252.ql"), U("unicode.ql")},
       {U("Time off."), U("/ˈhɒlɪdeɪ/ a day off")}},
      {U("дом"), {U("unicode.ql")}, {U("A house.")}},
  };
  for (const Case& c : cases) {
    line->clear();
    TypeText(line, c.typed);
    QTRY_VERIFY(iFrame->Answers().Done());
    QTRY_COMPARE(iFrame->FoundIn()->count(), static_cast<int>(c.books.size()));
    for (int i = 0; i < c.books.size(); ++i)
      QCOMPARE(iFrame->FoundIn()->item(i)->text(), c.books[i]);
    QTRY_VERIFY(PageText().contains(c.texts.back()));
    for (const QString& text : c.texts) QVERIFY2(PageText().contains(text), qPrintable(PageText()));
    QVERIFY2(!PageText().contains(QChar(0xFFFD)), qPrintable(PageText()));
  }
  // The Windows-1252 book's section keeps its own characters on the page.
  line->clear();
  TypeText(line, U("café"));
  QTRY_VERIFY(iFrame->Answers().Done());
  // One book has it: the open book's list and page stay as with one book,
  // unless that book is another.
  QTRY_VERIFY(PageText().contains(U("“quoted”")));
}

void TestUiText::cp1252BookKeepsItsBytes() {
  Open(iCp1252);
  qlui::SubjectModel* model = iFrame->SubjectList()->Model();
  QCOMPARE(model->data(model->index(0, 0)).toString(), U("café"));
  QCOMPARE(qlui::FromQString(U("café"), ql::FormOf(iDoc->Reader())), std::string("caf\xe9"));
  qlui::CLookupLine* line = iFrame->LookupLine();
  TypeText(line, U("CAFé"));
  QCOMPARE(iFrame->SelectionMark(), 0);
  QVERIFY(PageText().contains(U("“quoted”")));
  // The page file holds the book's bytes as rendered, not UTF-8.
  QFile page(qlui::PathToQString(iDoc->Page().Path()));
  QVERIFY(page.open(QIODevice::ReadOnly));
  QVERIFY(page.readAll().contains("\x93quoted\x94"));
}

QTEST_MAIN(TestUiText)

#include "test_ui_text.moc"
