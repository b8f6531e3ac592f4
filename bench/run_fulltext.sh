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
#
# Then the product's own figures, beside their peers in the same run:
# - qlbook index of WordNet and GCIDE: wall seconds and peak memory;
# - qlbook fts of a two-word query on WordNet beside qlbook lookup (at most
#   2 times), and over the 200-book library of the library benchmark
#   (at most 50 ms), medians of hyperfine;
# - an unsorted book of $QL_FULLTEXT_BIG entries (5,000,000): the lookup of its
#   last subject before and after it is indexed, and the peak memory of its
#   index build (at most 200 MB whatever the book's size).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
bin=${QL_BENCH_BIN:-build-bench/bin}
qlbook=$bin/qlbook
mkdir -p "$(dirname "$bin")/work/fulltext"
# Absolute: the cache is handed over as XDG_CACHE_HOME, which must be.
work=$(cd "$(dirname "$bin")/work/fulltext" && pwd)
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
  # QL_FULLTEXT_ENGINES=own measures the product's index alone.
  "$bin/bench_fulltext" "$book" "$work/$d-index" --queries "$queries" --checks "$checks" \
    ${QL_FULLTEXT_ENGINES:+--engines "$QL_FULLTEXT_ENGINES"}
  rm -rf "$work/$d-index"
  echo
done

# ---------------------------------------------------------------- the product
export XDG_CACHE_HOME=$work/cache
rm -rf "$XDG_CACHE_HOME"
peak() { /usr/bin/time -f '%e s, peak %M KiB' "$@" 2>&1 >/dev/null | tail -1; }
median_ms() {  # hyperfine's median of a command, in ms
  hyperfine -N --warmup 3 --runs "${QL_FULLTEXT_RUNS:-20}" --export-json "$work/h.json" "$1" \
    >/dev/null 2>&1
  python3 -c 'import json,sys; print("%.2f" % (json.load(open(sys.argv[1]))["results"][0]["median"]*1e3))' \
    "$work/h.json"
}
verdict() { python3 -c 'import sys; print("PASS" if float(sys.argv[1]) <= float(sys.argv[2]) else "MISS")' "$1" "$2"; }
printf '%-44s %12s %12s %8s\n' "figure" "measured" "peer" "verdict"
for d in ${QL_FULLTEXT_BOOKS:-wn gcide}; do
  book=$work/$d.ql
  line=$(peak "$qlbook" index "$book")
  kib=${line##*peak }; kib=${kib% KiB}
  printf '%-44s %12s %12s %8s\n' "qlbook index $d.ql" "${line%%,*}" "-" \
    "$(verdict "$kib" 204800)"
  echo "  ($line; index $(du -b "$XDG_CACHE_HOME"/quillary/index/*.qlx | sort -n | tail -1 | cut -f1) bytes, book $(stat -c %s "$book") bytes)"
done
wn=$work/wn.ql
fts=$(median_ms "$qlbook fts \"horse race\" $wn")
lookup=$(median_ms "$qlbook lookup $wn horse")
ratio=$(python3 -c "print('%.2f' % ($fts / $lookup))")
printf '%-44s %10s ms %10s ms %8s\n' "qlbook fts 'horse race' wn.ql / lookup" "$fts" "$lookup" \
  "$(verdict "$ratio" 2) ${ratio}x"

# The 200-book library of the library benchmark.
work_fulltext=$work
mkdir -p "$(dirname "$bin")/work/library"
work=$(cd "$(dirname "$bin")/work/library" && pwd)
source "$here/library_books.sh"
make_library
work=$work_fulltext
library=$(dirname "$bin")/work/library/many/data/quillary/books
line=$(peak "$qlbook" index "$library")
echo "  qlbook index of the 200 books: $line"
many=$(median_ms "$qlbook fts \"water light\" $library")
printf '%-44s %10s ms %10s ms %8s\n' "qlbook fts 'water light' over 200 books" "$many" "$lookup" \
  "$(verdict "$many" 50)"

# An unsorted book of many entries: the tab import keeps the input's order.
big=${QL_FULLTEXT_BIG:-5000000}
bigbook=$work/unsorted-$big.ql
if [ ! -f "$bigbook" ]; then
  python3 - "$work/unsorted.tsv" "$big" <<'PY'
import random, sys
out, count = sys.argv[1], int(sys.argv[2])
rng = random.Random(11)
letters = 'abcdefghijklmnopqrstuvwxyz'
with open(out, 'w') as f:
    for i in range(count):
        subject = ''.join(rng.choice(letters) for _ in range(8)) + str(i)
        f.write(subject + '\tan entry of ' + subject[:4] + ' ' + str(rng.randrange(1000)) + '\n')
PY
  "$qlbook" import "$work/unsorted.tsv" "$bigbook" --format tab >/dev/null
  tail -1 "$work/unsorted.tsv" | cut -f1 >"$work/unsorted.last"
  rm -f "$work/unsorted.tsv"
fi
last=$(cat "$work/unsorted.last")
before=$(QL_FULLTEXT_RUNS=5 median_ms "$qlbook lookup $bigbook $last")
line=$(peak "$qlbook" index "$bigbook")
kib=${line##*peak }; kib=${kib% KiB}
after=$(median_ms "$qlbook lookup $bigbook $last")
printf '%-44s %10s ms %10s ms %8s\n' "lookup of the last of $big unsorted" "$after" "$before" \
  "$(verdict "$after" 10)"
printf '%-44s %12s %12s %8s\n' "qlbook index of the unsorted book" "${line%%,*}" "-" \
  "$(verdict "$kib" 204800)"
echo "  ($line)"
