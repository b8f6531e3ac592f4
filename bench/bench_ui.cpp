// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// Times the reader window itself (the real CMainFrame over a ql::Document) on
// Qt's offscreen platform, so no display is needed.
//
//   bench_ui click BOOK [ROWS]
//     A mouse click on a row of the subject list until the record view has
//     painted that row's record, over ROWS different rows (default 300) spread
//     over the whole book. Beside each click, the peer: a bare QTextBrowser of
//     the same size and font given the same page (setHtml of the page file's
//     text, then a paint), so the ratio is what the click path adds.
//
//   bench_ui start BOOK [RUNS]
//     Start-up inside the process, step by step, beside the bare window of
//     bare_window.h: make the window, open the book, show and paint it all,
//     RUNS times each (default 15) after a first round printed apart (fonts,
//     pictures and the book met for the first time).
//
//   bench_ui jump SMALL LARGE [RUNS]
//     From an empty shown window: open the book, select and show its last
//     row, paint the list and the record. Both books in turn, RUNS times each
//     (default 9), the order swapped every run.
//
//   bench_ui import SOURCE BOOK
//     File > Import of the tab-separated SOURCE into BOOK in a shown empty
//     window, the way the menu runs it: the two file dialogs answer SOURCE
//     and BOOK, messages and questions are noted instead of shown (answered
//     No). Times the whole command, the new book opened at its end included,
//     and watches the progress window meanwhile: every paint of its bar, and
//     the longest time it stood on screen without one (from shown to the
//     first paint, between paints, from the last paint to hidden).
//
//   bench_ui lookup BOOK [TEXTS]
//     Typing in the lookup line, key by key, texts no subject starts with
//     (default: made from subjects of the book, two letters swapped near the
//     start): the time from the last key to the first offer on show, to the
//     final offer after the whole-book scan, and the longest time the event
//     loop went without running a 5 ms timer meanwhile (the window cannot
//     paint while it does not run).
//
//   bench_ui find BOOK TERM [RUNS]
//     Find's search for TERM from the first record, in the window's runner
//     (worker threads) beside the plain walk on the window's thread, RUNS
//     times each (default 5): times, and the event loop's longest stall.
//
//   bench_ui library BOOK FIRST WORD...
//     The window as it starts in the home of XDG_DATA_HOME and XDG_CONFIG_HOME
//     (its library and shelf), BOOK open. Each word is typed into the lookup
//     line in one input event, as an input method commits it, after the line
//     was emptied; from that event to the record view's first paint showing a
//     section (or, with one book, the found record) and to the first paint
//     after every book answered showing all their sections. FIRST is the first
//     lookup after start, reported apart (every book's reader opens then).
//
// Prints "key value" lines (times in ms) for bench/run_ui.sh.
#include <QAbstractItemView>
#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QFile>
#include <QInputMethodEvent>
#include <QListWidget>
#include <QProgressBar>
#include <QScrollBar>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBrowser>
#include <QTextDocument>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "bare_window.h"
#include "document.h"
#include "lookup_line.h"
#include "main_frame.h"
#include "make_flows.h"
#include "qt_text.h"
#include "record_view.h"
#include "search_runner.h"
#include "shelf_page.h"
#include "subject_view.h"

namespace {

[[noreturn]] void Fail(const std::string& what) {
  std::fprintf(stderr, "bench_ui: %s\n", what.c_str());
  std::exit(1);
}

double Ms(qint64 ns) {
  return static_cast<double>(ns) / 1e6;
}

// The value below which the fraction q of the sorted samples lie.
double Quantile(std::vector<double> v, double q) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  const auto i = static_cast<size_t>(q * static_cast<double>(v.size() - 1) + 0.5);
  return v[std::min(i, v.size() - 1)];
}

void Print(const char* key, double value) {
  std::printf("%s %.3f\n", key, value);
}

// A window with a book open, shown and past start-up, as main() leaves it.
struct OpenWindow {
  ql::Document doc;
  qlui::CMainFrame frame{doc};

  explicit OpenWindow(const QString& book) {
    if (!frame.OpenBook(book)) Fail("cannot open " + book.toStdString() + ": " + doc.LastFailure());
    frame.show();
    frame.SetInitialised();
    if (!QTest::qWaitForWindowExposed(&frame)) Fail("the window was never exposed");
    QApplication::processEvents();
  }
};

int Click(const QString& book, int rows) {
  OpenWindow w(book);
  qlui::CMainFrame& frame = w.frame;
  qlui::CQuillaryView* list = frame.SubjectList();
  qlui::CQuillaryHtmlView* view = frame.RecordView();
  const int count = list->Model()->rowCount();
  if (count < 2) Fail("the book has fewer than two subjects");

  // The peer: a text browser alone, of the record view's size and fonts.
  QTextBrowser bare;
  bare.setFont(view->font());
  bare.document()->setDefaultFont(view->document()->defaultFont());
  bare.resize(view->size());
  bare.show();
  if (!QTest::qWaitForWindowExposed(&bare)) Fail("the peer was never exposed");

  std::mt19937 rng(7);
  std::uniform_int_distribution<int> pick(0, count - 1);
  const int warmup = 10;
  std::vector<double> ours, ours_settled, peer;
  qint64 page_bytes = 0;
  for (int i = 0; i < warmup + rows; ++i) {
    const int row = pick(rng);
    const QModelIndex cell = list->Model()->index(row, 0);
    list->scrollTo(cell, QAbstractItemView::PositionAtCenter);
    QApplication::processEvents();
    const QRect rect = list->visualRect(cell);
    if (!list->viewport()->rect().contains(rect.center()))
      Fail("row " + std::to_string(row) + " is not on show after scrolling to it");

    QElapsedTimer clock;
    clock.start();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, rect.center());
    view->viewport()->repaint();
    const qint64 painted = clock.nsecsElapsed();
    // What else the click left to do (the list's new selection) is drawn too.
    QApplication::processEvents();
    const qint64 settled = clock.nsecsElapsed();

    // The click must have shown this very row's record.
    if (list->SelectionMark() != row)
      Fail("the click on row " + std::to_string(row) + " selected row " +
           std::to_string(list->SelectionMark()));
    QFile page(qlui::PathToQString(frame.Page().Path()));
    if (!page.open(QIODevice::ReadOnly)) Fail("no page file after a click");
    const QByteArray bytes = page.readAll();
    const QString html = qlui::PageTextForView(bytes);
    if (view->document()->isEmpty() || view->source() != QUrl::fromLocalFile(page.fileName()))
      Fail("the record view does not show the page file");

    clock.restart();
    bare.setHtml(html);
    bare.viewport()->repaint();
    const qint64 bare_ns = clock.nsecsElapsed();
    if (i < warmup) continue;
    ours.push_back(Ms(painted));
    ours_settled.push_back(Ms(settled));
    peer.push_back(Ms(bare_ns));
    page_bytes += bytes.size();
  }
  std::printf("rows %d\n", count);
  std::printf("clicks %d\n", rows);
  Print("page_bytes_mean", static_cast<double>(page_bytes) / rows);
  Print("click_median", Quantile(ours, 0.5));
  Print("click_p95", Quantile(ours, 0.95));
  Print("click_settled_median", Quantile(ours_settled, 0.5));
  Print("click_settled_p95", Quantile(ours_settled, 0.95));
  Print("peer_median", Quantile(peer, 0.5));
  Print("peer_p95", Quantile(peer, 0.95));
  return 0;
}

void WaitPainted(QWidget& window) {
  if (!QTest::qWaitForWindowExposed(&window)) Fail("a window was never exposed");
  QApplication::processEvents();
}

int Start(const QString& book, int runs) {
  std::vector<double> make, open, show, total, bare_make, bare_show, bare_total;
  for (int i = 0; i <= runs; ++i) {
    QElapsedTimer clock;
    clock.start();
    {
      ql::Document doc;
      qlui::CMainFrame frame(doc);
      const qint64 made = clock.nsecsElapsed();
      if (!frame.OpenBook(book))
        Fail("cannot open " + book.toStdString() + ": " + doc.LastFailure());
      const qint64 opened = clock.nsecsElapsed();
      frame.show();
      frame.SetInitialised();
      WaitPainted(frame);
      const qint64 shown = clock.nsecsElapsed();
      if (i == 0) {
        Print("first_make", Ms(made));
        Print("first_open", Ms(opened - made));
        Print("first_show", Ms(shown - opened));
      } else {
        make.push_back(Ms(made));
        open.push_back(Ms(opened - made));
        show.push_back(Ms(shown - opened));
        total.push_back(Ms(shown));
      }
    }
    clock.restart();
    {
      const auto window = bare::MakeWindow();
      const qint64 made = clock.nsecsElapsed();
      window->show();
      bare::SplitEvenly(*window);
      WaitPainted(*window);
      const qint64 shown = clock.nsecsElapsed();
      if (i == 0) {
        Print("first_bare_make", Ms(made));
        Print("first_bare_show", Ms(shown - made));
      } else {
        bare_make.push_back(Ms(made));
        bare_show.push_back(Ms(shown - made));
        bare_total.push_back(Ms(shown));
      }
    }
  }
  Print("make_median", Quantile(make, 0.5));
  Print("open_median", Quantile(open, 0.5));
  Print("show_median", Quantile(show, 0.5));
  Print("total_median", Quantile(total, 0.5));
  Print("bare_make_median", Quantile(bare_make, 0.5));
  Print("bare_show_median", Quantile(bare_show, 0.5));
  Print("bare_total_median", Quantile(bare_total, 0.5));
  return 0;
}

// Opens book in a new shown window, jumps to its last row and paints; the
// time of that, in ms.
double JumpOnce(const QString& book, int& count) {
  ql::Document doc;
  qlui::CMainFrame frame(doc);
  frame.show();
  frame.SetInitialised();
  if (!QTest::qWaitForWindowExposed(&frame)) Fail("the window was never exposed");
  QApplication::processEvents();
  qlui::CQuillaryView* list = frame.SubjectList();

  QElapsedTimer clock;
  clock.start();
  if (!frame.OpenBook(book)) Fail("cannot open " + book.toStdString() + ": " + doc.LastFailure());
  const int last = list->Model()->rowCount() - 1;
  frame.SelectRow(last);
  frame.ShowRecord(last, -1, -1, false);
  QApplication::processEvents();
  list->viewport()->repaint();
  frame.RecordView()->viewport()->repaint();
  const qint64 ns = clock.nsecsElapsed();

  count = last + 1;
  const QRect rect = list->visualRect(list->Model()->index(last, 0));
  if (list->SelectionMark() != last || !list->viewport()->rect().intersects(rect) ||
      frame.RecordView()->document()->isEmpty())
    Fail("the last row of " + book.toStdString() + " is not on show");
  return Ms(ns);
}

int Jump(const QString& small, const QString& large, int runs) {
  int small_rows = 0, large_rows = 0;
  // One untimed round brings both books into the page cache.
  JumpOnce(small, small_rows);
  JumpOnce(large, large_rows);
  std::vector<double> small_ms, large_ms;
  for (int i = 0; i < runs; ++i) {
    if (i % 2 == 0) {
      small_ms.push_back(JumpOnce(small, small_rows));
      large_ms.push_back(JumpOnce(large, large_rows));
    } else {
      large_ms.push_back(JumpOnce(large, large_rows));
      small_ms.push_back(JumpOnce(small, small_rows));
    }
  }
  std::printf("small_rows %d\n", small_rows);
  std::printf("large_rows %d\n", large_rows);
  Print("small_median", Quantile(small_ms, 0.5));
  Print("large_median", Quantile(large_ms, 0.5));
  Print("small_min", Quantile(small_ms, 0));
  Print("large_min", Quantile(large_ms, 0));
  return 0;
}

// The window's desktop, but for the file dialogs, which answer the import's
// source (as tab-separated text) and its book, and the message boxes, which
// are noted and never shown.
class ImportDesktop final : public ql::Desktop {
 public:
  struct Message {
    std::string text, caption;
    qint64 at = 0;  // ns on the shared clock
  };

  ImportDesktop(qlui::CMainFrame& frame, const QElapsedTimer& clock, std::string source,
                std::string book)
      : iFrame(frame), iClock(clock), iSource(std::move(source)), iBook(std::move(book)) {}

  std::vector<Message> iMessages;
  int iQuestions = 0;
  int iDialogs = 0;

  void ShowMessage(std::string_view text, std::string_view caption) override {
    iMessages.push_back({std::string(text), std::string(caption), iClock.nsecsElapsed()});
  }
  void ShowMessageIcon(std::string_view text, std::string_view caption, ql::Icon) override {
    ShowMessage(text, caption);
  }
  ql::Answer Ask(std::string_view text, std::string_view caption, ql::Buttons, ql::Icon,
                 bool) override {
    ++iQuestions;
    ShowMessage(text, caption);
    return ql::Answer::kNo;
  }
  std::optional<ql::ChosenFile> ChooseFile(const ql::FileDialogSpec& request) override {
    ++iDialogs;
    if (request.save) return ql::ChosenFile{iBook, 0};
    if (request.filter != ql::ImportDialogFilter()) return std::nullopt;
    return ql::ChosenFile{iSource, ql::ImportFilterIndex("tab")};
  }

  void ShowStatus(std::string_view text) override { iFrame.ShowStatus(text); }
  std::unique_ptr<ql::ProgressSink> StartProgress(int64_t maximum, bool owned) override {
    return iFrame.StartProgress(maximum, owned);
  }
  void WaitCursor(bool on) override { iFrame.WaitCursor(on); }
  void EmptyList() override { iFrame.EmptyList(); }
  void ShowStartPage() override { iFrame.ShowStartPage(); }
  void DocumentOpened() override { iFrame.DocumentOpened(); }
  void RebuildBookmarkMenu() override { iFrame.RebuildBookmarkMenu(); }
  int SelectionMark() override { return iFrame.SelectionMark(); }
  void SelectRow(int index) override { iFrame.SelectRow(index); }
  void ShowRecord(int index, int foundPos, int foundLength, bool scrollToFound) override {
    iFrame.ShowRecord(index, foundPos, foundLength, scrollToFound);
  }
  void ShowPage(const std::string& path, bool scrollToFound) override {
    iFrame.ShowPage(path, scrollToFound);
  }
  void SetListFont(std::string_view face, int pixelHeight) override {
    iFrame.SetListFont(face, pixelHeight);
  }
  std::optional<int> ChooseBookmarkToRemove(const std::vector<ql::BookmarkItem>& items) override {
    return iFrame.ChooseBookmarkToRemove(items);
  }
  bool EditFind(ql::FindDialogValues& values) override { return iFrame.EditFind(values); }
  bool EditPalmImport(ql::PalmImportValues& values) override {
    return iFrame.EditPalmImport(values);
  }
  std::optional<int> ChooseHotSyncUser(const std::vector<std::string>& users) override {
    return iFrame.ChooseHotSyncUser(users);
  }

 private:
  qlui::CMainFrame& iFrame;
  const QElapsedTimer& iClock;
  std::string iSource, iBook;
};

// Sees every event of the application and keeps, for each progress window,
// when it was shown, when its bar painted and when it was hidden.
class ProgressWatch final : public QObject {
 public:
  explicit ProgressWatch(const QElapsedTimer& clock) : iClock(clock) {}

  struct Span {
    qint64 shown = -1, hidden = -1;
    std::vector<qint64> paints;
  };
  std::vector<Span> iSpans;

  bool eventFilter(QObject* watched, QEvent* event) override {
    const QEvent::Type type = event->type();
    if (type != QEvent::Paint && type != QEvent::Show && type != QEvent::Hide) return false;
    auto* widget = qobject_cast<QWidget*>(watched);
    if (widget == nullptr || widget->window()->objectName() != QLatin1String("progressWindow"))
      return false;
    const qint64 now = iClock.nsecsElapsed();
    if (type == QEvent::Paint) {
      if (qobject_cast<QProgressBar*>(widget) != nullptr) {
        if (iSpans.empty() || iSpans.back().hidden >= 0)
          Fail("a progress bar painted outside a shown progress window");
        iSpans.back().paints.push_back(now);
      }
    } else if (widget->isWindow()) {
      if (type == QEvent::Show) {
        iSpans.push_back({});
        iSpans.back().shown = now;
      } else if (!iSpans.empty() && iSpans.back().hidden < 0) {
        iSpans.back().hidden = now;
      }
    }
    return false;
  }

 private:
  const QElapsedTimer& iClock;
};

int Import(const QString& source, const QString& book) {
  ql::Document doc;
  qlui::CMainFrame frame(doc);
  frame.show();
  frame.SetInitialised();
  WaitPainted(frame);

  QElapsedTimer clock;
  clock.start();
  ImportDesktop desktop(frame, clock, source.toStdString(), book.toStdString());
  ProgressWatch watch(clock);
  qApp->installEventFilter(&watch);
  const qint64 began = clock.nsecsElapsed();
  ql::RunImport(doc, desktop);
  const qint64 ended = clock.nsecsElapsed();
  qApp->removeEventFilter(&watch);

  // The command must have gone the whole way: both dialogs, the results, the
  // new book open in the window, and nothing else said or asked.
  const ImportDesktop::Message* results = nullptr;
  for (const ImportDesktop::Message& m : desktop.iMessages) {
    if (m.caption == ql::kImportResultsCaption && results == nullptr) {
      results = &m;
      continue;
    }
    Fail("the import said \"" + m.caption + ": " + m.text + "\"");
  }
  if (desktop.iDialogs != 2)
    Fail("the import asked for " + std::to_string(desktop.iDialogs) + " files instead of 2");
  if (results == nullptr) Fail("the import showed no results");
  if (!doc.IsOpen() || doc.Path() != book.toStdString() || doc.RowCount() == 0)
    Fail("the new book is not open in the window");
  if (watch.iSpans.empty()) Fail("no progress window was shown");

  int paints = 0;
  qint64 gap = 0;
  qint64 shownFor = 0;
  for (const ProgressWatch::Span& span : watch.iSpans) {
    if (span.hidden < 0) Fail("a progress window was still shown after the import");
    paints += static_cast<int>(span.paints.size());
    qint64 last = span.shown;
    for (qint64 t : span.paints) {
      gap = std::max(gap, t - last);
      last = t;
    }
    gap = std::max(gap, span.hidden - last);
    shownFor += span.hidden - span.shown;
  }
  std::printf("subjects %d\n", doc.RowCount());
  std::printf("progress_windows %d\n", static_cast<int>(watch.iSpans.size()));
  std::printf("paints %d\n", paints);
  Print("import_s", Ms(ended - began) / 1000);
  Print("results_s", Ms(results->at - began) / 1000);
  Print("progress_shown_ms", Ms(shownFor));
  Print("longest_gap_ms", Ms(gap));
  // Where the first window's time went, from the start of the command.
  const ProgressWatch::Span& first = watch.iSpans.front();
  Print("shown_at_ms", Ms(first.shown - began));
  if (!first.paints.empty()) {
    Print("first_paint_at_ms", Ms(first.paints.front() - began));
    Print("last_paint_at_ms", Ms(first.paints.back() - began));
  }
  Print("hidden_at_ms", Ms(first.hidden - began));
  return 0;
}

// The longest time the event loop went without running a timer due every
// 5 ms, from Start to the last Note.
class LoopWatch {
 public:
  LoopWatch() {
    iTimer.setInterval(5);
    QObject::connect(&iTimer, &QTimer::timeout, [this] { Note(); });
  }
  void Start() {
    iClock.start();
    iLast = 0;
    iWorst = 0;
    iTimer.start();
  }
  void Note() {
    const qint64 now = iClock.nsecsElapsed();
    iWorst = std::max(iWorst, now - iLast);
    iLast = now;
  }
  double StopMs() {
    Note();
    iTimer.stop();
    return Ms(iWorst);
  }

 private:
  QTimer iTimer;
  QElapsedTimer iClock;
  qint64 iLast = 0;
  qint64 iWorst = 0;
};

int Lookup(const QString& book, QStringList texts) {
  OpenWindow w(book);
  qlui::CLookupLine* line = w.frame.LookupLine();
  ql::BookReader& reader = w.doc.Reader();
  const int count = reader.GetSubjectCount();
  if (texts.isEmpty()) {
    // Subjects from all over the book, misspelt.
    for (int i = 1; i <= 5; ++i) {
      QString text = qlui::ToQString(reader.GetSubject(count / 6 * i + 17));
      if (text.size() < 4) continue;
      std::swap(text[1], text[2]);
      texts << text;
    }
  }
  std::vector<double> firsts, finals, stalls;
  int offered = 0;
  for (const QString& text : texts) {
    if (reader.FindSubject(ql::MatchPrefix, qlui::FromQString(text)) >= 0) {
      std::fprintf(stderr, "bench_ui: a subject starts with %s; left out\n", qPrintable(text));
      continue;
    }
    line->clear();
    line->setFocus();
    QTest::keyClicks(line, text.left(text.size() - 1));
    while (line->Seeking()) QApplication::processEvents();
    LoopWatch loop;
    QElapsedTimer clock;
    loop.Start();
    clock.start();
    QTest::keyClick(line, text.back().toLatin1());
    if (!line->OfferShown()) Fail("no offer for " + text.toStdString());
    firsts.push_back(Ms(clock.nsecsElapsed()));
    while (line->Seeking()) QApplication::processEvents(QEventLoop::WaitForMoreEvents);
    finals.push_back(Ms(clock.nsecsElapsed()));
    stalls.push_back(loop.StopMs());
    offered += static_cast<int>(line->Offered().size());
    std::fprintf(stderr, "%s: %s\n", qPrintable(text), qPrintable(line->Offered().join(", ")));
  }
  if (firsts.empty()) Fail("no text to look up");
  std::printf("subjects %d\n", count);
  std::printf("texts %d\n", static_cast<int>(firsts.size()));
  std::printf("offered %d\n", offered);
  Print("first_median", Quantile(firsts, 0.5));
  Print("first_max", Quantile(firsts, 1));
  Print("final_median", Quantile(finals, 0.5));
  Print("stall_max", Quantile(stalls, 1));
  // The peer: prefix find of the same texts, the lookup's own first step.
  QElapsedTimer clock;
  clock.start();
  for (const QString& text : texts) reader.FindSubject(ql::MatchPrefix, qlui::FromQString(text));
  Print("findsubject_ms", Ms(clock.nsecsElapsed()) / static_cast<double>(texts.size()));
  return 0;
}

int Find(const QString& book, const QString& term, int runs) {
  OpenWindow w(book);
  qlui::ThreadedSearchRunner* runner = w.frame.Searcher();
  ql::SearchQuery query;
  query.term1 = qlui::FromQString(term.toLower());
  std::vector<double> threaded, plain, stalls;
  int hitRecord = -2;
  for (int i = 0; i < runs; ++i) {
    LoopWatch loop;
    QElapsedTimer clock;
    bool ended = false;
    int record = -1;
    loop.Start();
    clock.start();
    runner->Start(w.doc, query, 0, -1, [&](int, int r, int) {
      ended = true;
      record = r;
    });
    while (!ended) QApplication::processEvents(QEventLoop::WaitForMoreEvents);
    threaded.push_back(Ms(clock.nsecsElapsed()));
    stalls.push_back(loop.StopMs());
    int r = 0, pos = -1;
    clock.restart();
    w.doc.Reader().FindMatch(query, r, pos);
    plain.push_back(Ms(clock.nsecsElapsed()));
    if (r != record) Fail("the runner and the plain walk disagree");
    hitRecord = record;
  }
  std::printf("record %d\n", hitRecord);
  Print("threaded_median", Quantile(threaded, 0.5));
  Print("plain_median", Quantile(plain, 0.5));
  Print("stall_max", Quantile(stalls, 1));
  return 0;
}

// Notes when each paint of a widget ends, with what the window showed as it
// painted. The paint is delivered from inside the filter so that the time
// taken is that of the paint done, not of the paint about to start.
class PaintEnds final : public QObject {
 public:
  struct Paint {
    qint64 at = 0;
    int sections = 0;   // rows of the "Found in" list then; 1 for the record of one book
    bool done = false;  // every book had answered
  };
  PaintEnds(QWidget* widget, const QElapsedTimer& clock, std::function<Paint()> state)
      : iWidget(widget), iClock(clock), iState(std::move(state)) {
    widget->installEventFilter(this);
  }
  ~PaintEnds() override { iWidget->removeEventFilter(this); }
  std::vector<Paint> iPaints;

  bool eventFilter(QObject* watched, QEvent* event) override {
    if (watched != iWidget || event->type() != QEvent::Paint || iInside) return false;
    iInside = true;
    QCoreApplication::sendEvent(watched, event);
    iInside = false;
    Paint p = iState();
    p.at = iClock.nsecsElapsed();
    iPaints.push_back(p);
    return true;
  }

 private:
  QWidget* iWidget;
  const QElapsedTimer& iClock;
  std::function<Paint()> iState;
  bool iInside = false;
};

struct LookupTimes {
  double first = -1, all = -1;
  int sections = 0;
};

int LibraryLookups(const QString& book, const QString& first, const QStringList& words) {
  ql::Document doc;
  qlui::CMainFrame frame(doc);
  if (!frame.OpenBook(book)) Fail("cannot open " + book.toStdString() + ": " + doc.LastFailure());
  frame.show();
  frame.SetInitialised();
  WaitPainted(frame);
  const size_t books = frame.BookShelf().Books().size();
  const bool many = books > 1;
  auto* foundIn = frame.findChild<QListWidget*>(QStringLiteral("foundIn"));
  if (many && foundIn == nullptr) Fail("the window has no \"Found in\" list");
  qlui::CLookupLine* line = frame.LookupLine();
  qlui::CQuillaryHtmlView* view = frame.RecordView();
  // Where the window's own book has each word, read with a reader of its own
  // so that the window's caches stay as they were.
  ql::BookReader probe;
  if (probe.Open(book.toStdString(), ql::kOpenReadOnly) != ql::OpenResult::kOk)
    Fail("cannot open " + book.toStdString() + " beside the window");

  QElapsedTimer clock;
  int expectedRow = -1;
  PaintEnds paints(view->viewport(), clock, [&] {
    PaintEnds::Paint p;
    if (many) {
      const ql::ShelfAnswers& answers = frame.Answers();
      p.sections = foundIn->isVisible() ? foundIn->count() : 0;
      p.done = answers.Generation() != 0 && answers.Done();
    } else {
      p.sections = frame.SubjectList()->SelectionMark() == expectedRow ? 1 : 0;
      p.done = p.sections == 1;
    }
    return p;
  });

  auto lookUp = [&](const QString& word) {
    // Emptied as the user empties it: the sections of the last word go.
    line->setFocus();
    QTest::keyClick(line, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(line, Qt::Key_Backspace);
    if (!line->text().isEmpty()) Fail("the lookup line was not emptied");
    QTest::qWait(150);
    expectedRow = probe.FindSubject(ql::MatchPrefix, qlui::FromQString(word));
    if (expectedRow < 0) Fail("the open book lacks " + word.toStdString());
    paints.iPaints.clear();
    QInputMethodEvent typed;
    typed.setCommitString(word);
    clock.start();
    QCoreApplication::sendEvent(line, &typed);
    LookupTimes t;
    auto all = [&]() -> const PaintEnds::Paint* {
      const size_t want = many ? frame.Answers().Sections().size() : 1;
      for (const PaintEnds::Paint& p : paints.iPaints)
        if (p.done && static_cast<size_t>(p.sections) == want) return &p;
      return nullptr;
    };
    while (all() == nullptr) {
      if (clock.elapsed() > 20000) Fail("no page of " + word.toStdString() + " painted");
      QApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    }
    for (const PaintEnds::Paint& p : paints.iPaints) {
      if (p.sections > 0) {
        t.first = Ms(p.at);
        break;
      }
    }
    t.all = Ms(all()->at);
    t.sections = many ? static_cast<int>(frame.Answers().Sections().size()) : 1;
    if (line->text() != word) Fail("the lookup line does not hold " + word.toStdString());
    if (many && frame.statusBar()->currentMessage() !=
                    QStringLiteral("Found in %1 books").arg(frame.Answers().FoundCount()))
      Fail("the status does not tell the books " + word.toStdString() + " was found in");
    return t;
  };

  const LookupTimes start = lookUp(first);
  std::vector<double> firsts, alls, sections;
  for (const QString& word : words) {
    const LookupTimes t = lookUp(word);
    firsts.push_back(t.first);
    alls.push_back(t.all);
    sections.push_back(t.sections);
    std::fprintf(stderr, "%s: first %.2f ms, all %.2f ms, %d sections\n", qPrintable(word), t.first,
                 t.all, t.sections);
  }
  if (firsts.empty()) Fail("no word to look up");
  std::printf("books %d\n", static_cast<int>(books));
  std::printf("words %d\n", static_cast<int>(firsts.size()));
  std::printf("open_readers %d\n", frame.BookShelf().OpenReaders());
  Print("start_first_ms", start.first);
  Print("start_all_ms", start.all);
  Print("start_sections", start.sections);
  Print("first_median", Quantile(firsts, 0.5));
  Print("first_max", Quantile(firsts, 1));
  Print("all_median", Quantile(alls, 0.5));
  Print("all_max", Quantile(alls, 1));
  Print("sections_median", Quantile(sections, 0.5));
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  // Opening a book writes the recent-file list: keep it away from the user's.
  // The library mode runs in the home it is given, whose library it reads.
  QTemporaryDir config;
  if (!config.isValid()) Fail("no temporary directory");
  if (argc < 2 || std::string_view(argv[1]) != "library")
    qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());

  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Quillary"));
  QApplication::setOrganizationName(QStringLiteral("Quillary"));
  const QStringList args = QApplication::arguments();
  if (args.size() >= 3 && args[1] == QLatin1String("click"))
    return Click(args[2], args.size() > 3 ? args[3].toInt() : 300);
  if (args.size() >= 3 && args[1] == QLatin1String("start"))
    return Start(args[2], args.size() > 3 ? args[3].toInt() : 15);
  if (args.size() >= 4 && args[1] == QLatin1String("jump"))
    return Jump(args[2], args[3], args.size() > 4 ? args[4].toInt() : 9);
  if (args.size() >= 4 && args[1] == QLatin1String("import")) return Import(args[2], args[3]);
  if (args.size() >= 3 && args[1] == QLatin1String("lookup")) return Lookup(args[2], args.mid(3));
  if (args.size() >= 4 && args[1] == QLatin1String("find"))
    return Find(args[2], args[3], args.size() > 4 ? args[4].toInt() : 5);
  if (args.size() >= 5 && args[1] == QLatin1String("library"))
    return LibraryLookups(args[2], args[3], args.mid(4));
  std::fprintf(stderr,
               "usage: bench_ui click BOOK [ROWS]\n"
               "       bench_ui start BOOK [RUNS]\n"
               "       bench_ui jump SMALL LARGE [RUNS]\n"
               "       bench_ui import SOURCE BOOK\n"
               "       bench_ui lookup BOOK [TEXT...]\n"
               "       bench_ui find BOOK TERM [RUNS]\n"
               "       bench_ui library BOOK FIRST WORD...\n");
  return 2;
}
