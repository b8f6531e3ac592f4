// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// The peer of the reader window in bench/run_ui.sh: the same widgets with
// nothing behind them (bare_window.h). It shows and runs until it is closed.
// Usage: bare_qt_window [ROWS]   (title "Bare Qt window")
#include <QApplication>
#include <cstdlib>

#include "bare_window.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  const int rows = argc > 1 ? std::atoi(argv[1]) : 1'000'000;
  const auto window = bare::MakeWindow(rows);
  window->show();
  bare::SplitEvenly(*window);
  return QApplication::exec();
}
