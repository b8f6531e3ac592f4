#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Copyright (C) 2026 The Quillary developers
# Every text of the window is in each catalogue and translated: lupdate run
# over the sources finds no text the catalogue lacks and none it holds in
# vain, no entry is left unfinished, and no visible text is handed to a
# widget without going through tr().
# Usage: check_translations.sh LUPDATE SOURCE_DIR CATALOGUE.ts...
set -eu
lupdate=$1 src=$2
shift 2
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
status=0
for ts in "$@"; do
  name=$(basename "$ts")
  cp "$ts" "$scratch/$name"
  "$lupdate" -silent -no-obsolete -locations none -tr-function-alias QT_TRANSLATE_NOOP+=QL_TEXT \
    "$src"/ui/*.cpp "$src"/ui/*.h "$src"/ui/core/*.cpp "$src"/engine/open_failure.cpp "$src"/engine/record_render.cpp \
    "$src"/convert/flows/*.cpp "$src"/convert/flows/*.h "$src"/handheld/flows/*.cpp \
    "$src"/handheld/flows/*.h "$src"/convert/*.cpp "$src"/handheld/*.cpp "$src"/session/*.cpp "$src"/fulltext/*.cpp \
    -ts "$scratch/$name" >/dev/null
  before=$(grep -c '<message' "$ts" || true)
  after=$(grep -c '<message' "$scratch/$name" || true)
  if [ "$before" != "$after" ] || ! cmp -s "$ts" "$scratch/$name"; then
    echo "$name: not up to date with the sources ($before texts, the sources have $after):" >&2
    diff "$ts" "$scratch/$name" | grep '^[<>].*<source>' | head -20 >&2 || true
    status=1
  fi
  unfinished=$(grep -c 'type="unfinished"' "$scratch/$name" || true)
  if [ "$unfinished" != 0 ]; then
    echo "$name: $unfinished texts are not translated" >&2
    grep -B2 'type="unfinished"' "$scratch/$name" | grep '<source>' | head -20 >&2
    status=1
  fi
done
# A text given straight to a widget escapes the catalogue (the program's
# name is the one text that stays as it is).
calls='setWindowTitle|setText|setToolTip|setStatusTip|setPlaceholderText|setAccessibleName|showMessage|addAction|addButton|addMenu|QLabel|QCheckBox|QPushButton|QToolBar|QMenu'
if grep -nE "($calls)\((QStringLiteral|QLatin1String)\(\"" "$src"/ui/*.cpp |
     grep -v '"Quillary")' >"$scratch/raw"; then
  echo "texts handed to widgets without tr():" >&2
  cat "$scratch/raw" >&2
  status=1
fi
exit $status
