#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Copyright (C) 2026 The Quillary developers
# The candidates for the full-text index side by side (bench_fulltext), on
# WordNet and GCIDE imported from Debian's dictd files into version 2002
# books (scripts/deps dicts installs them): build time and speed on one
# thread, peak resident memory of the build, size on disk beside the book's,
# the median and 90th percentile of a two-word query answering its first 20
# hits with snippets read from the book, exactness against a walk over the
# book's text, and whether the first hit of fixed queries is a subject hit.
# Each line ends PASS or MISS with the targets it misses.
set -euo pipefail
bin=${QL_BENCH_BIN:-build-bench/bin}
qlbook=$bin/qlbook
work=$(dirname "$bin")/work/fulltext
mkdir -p "$work"
queries=${QL_FULLTEXT_QUERIES:-200}
checks=${QL_FULLTEXT_CHECKS:-30}
if [ ! -f /usr/share/dictd/wn.index ] || [ ! -f /usr/share/dictd/gcide.index ]; then
  echo "run_fulltext: installing the dictd dictionaries (scripts/deps dicts)"
  "$(dirname "$0")/../scripts/deps" dicts
fi
for d in ${QL_FULLTEXT_BOOKS:-wn gcide}; do
  book=$work/$d.ql
  if [ ! -f "$book" ] || [ /usr/share/dictd/$d.index -nt "$book" ]; then
    "$qlbook" import /usr/share/dictd/$d.index "$book" >/dev/null
  fi
  "$bin/bench_fulltext" "$book" "$work/$d-index" --queries "$queries" --checks "$checks"
  rm -rf "$work/$d-index"
  echo
done
