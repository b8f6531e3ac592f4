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
// Prints "key value" lines (times in ms) for bench/run_ui.sh.
#include <QAbstractItemView>
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBrowser>
#include <QTextDocument>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "bare_window.h"
#include "document.h"
#include "main_frame.h"
#include "qt_text.h"
#include "record_view.h"
#include "subject_view.h"

namespace {

[[noreturn]] void Fail(const std::string& what) {
  std::fprintf(stderr, "bench_ui: %s\n", what.c_str());
  std::exit(1);
}

double Ms(qint64 ns) { return static_cast<double>(ns) / 1e6; }

// The value below which the fraction q of the sorted samples lie.
double Quantile(std::vector<double> v, double q) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  const auto i = static_cast<size_t>(q * static_cast<double>(v.size() - 1) + 0.5);
  return v[std::min(i, v.size() - 1)];
}

void Print(const char* key, double value) { std::printf("%s %.3f\n", key, value); }

// A window with a book open, shown and past start-up, as main() leaves it.
struct OpenWindow {
  ql::Document doc;
  qlui::CMainFrame frame{doc};

  explicit OpenWindow(const QString& book) {
    if (!frame.OpenBook(book))
      Fail("cannot open " + book.toStdString() + ": " + doc.iLastFailure);
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
        Fail("cannot open " + book.toStdString() + ": " + doc.iLastFailure);
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
  if (!frame.OpenBook(book)) Fail("cannot open " + book.toStdString() + ": " + doc.iLastFailure);
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

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  // Opening a book writes the recent-file list: keep it away from the user's.
  QTemporaryDir config;
  if (!config.isValid()) Fail("no temporary directory");
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
  std::fprintf(stderr,
               "usage: bench_ui click BOOK [ROWS]\n"
               "       bench_ui start BOOK [RUNS]\n"
               "       bench_ui jump SMALL LARGE [RUNS]\n");
  return 2;
}
