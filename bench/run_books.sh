#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Copyright (C) 2026 The Quillary developers
# Version 2002 books (UTF-8, zstd blocks with a trained dictionary, shared
# texts) beside their peers in the same run:
#   size of WordNet and GCIDE imported from Debian's dictd files, beside the
#     dictd files themselves (.dict.dz + .index);
#   import of WordNet into a 2002 book beside the import into a 2001 book;
#   whole-book search of the 2002 WordNet book for an absent term, on all
#     cores and on one, beside LC_ALL=C grep -ci over the book's exported text;
#   opening a book and rendering one record, 2002 beside 2001 (same content).
# Times are medians of runs taken by turns (process start included for
# every side).
set -euo pipefail
bin=${QL_BENCH_BIN:-build-bench/bin}
qlbook=$bin/qlbook
work=$(dirname "$bin")/work/books
mkdir -p "$work"
runs=${QL_BOOKS_RUNS:-30}
for d in wn gcide; do
  if [ ! -f /usr/share/dictd/$d.index ]; then
    "$(dirname "$0")/../scripts/deps" dicts
    break
  fi
done

# Median wall times in milliseconds of two commands run by turns (so that a
# change in the machine's load falls on both): prints "A B".
pair_ms() {
  python3 - "$runs" "$1" "$2" <<'PY'
import statistics, subprocess, sys, time
runs, cmds = int(sys.argv[1]), [c.split() for c in sys.argv[2:]]
times = [[] for _ in cmds]
for _ in range(runs):
    for k, c in enumerate(cmds):
        start = time.perf_counter()
        subprocess.run(c, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        times[k].append(time.perf_counter() - start)
print(" ".join("%.2f" % (statistics.median(t) * 1000) for t in times))
PY
}
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", (b > 0) ? a / b : 0 }'; }

echo "book size (2002) beside the dictd files:"
for d in wn gcide; do
  "$qlbook" import /usr/share/dictd/$d.index "$work/$d.ql" >/dev/null
  book=$(stat -c %s "$work/$d.ql")
  peer=$(($(stat -c %s /usr/share/dictd/$d.dict.dz) + $(stat -c %s /usr/share/dictd/$d.index)))
  old=$("$qlbook" import --book-version 2001 /usr/share/dictd/$d.index "$work/$d-2001.ql" \
    >/dev/null && stat -c %s "$work/$d-2001.ql")
  awk -v n=$d -v b=$book -v p=$peer -v o=$old 'BEGIN {
    printf "  %-6s 2002 %6.1f MB  dictd %6.1f MB  ratio %.2f (%s)  [2001 book %.1f MB]\n",
      n, b / 1e6, p / 1e6, b / p, b <= p ? "met" : "MISS", o / 1e6 }'
done

index=/usr/share/dictd/wn.index
read -r new old < <(pair_ms "$qlbook import $index $work/out-2002.ql" \
  "$qlbook import --book-version 2001 $index $work/out-2001.ql")
r=$(ratio "$new" "$old")
echo "import of WordNet: 2002 $new ms, 2001 $old ms, ratio $r ($(awk -v r=$r 'BEGIN{print r <= 1 ? "no slower" : "SLOWER"}'))"

"$qlbook" export-text "$work/wn.ql" "$work/wn.txt" 2>/dev/null || true
term=qqxqzzq
read -r all_ms grep_ms < <(pair_ms "$qlbook search $work/wn.ql $term" \
  "env LC_ALL=C grep -ci $term $work/wn.txt")
read -r one_ms grep1_ms < <(pair_ms "$qlbook search --threads 1 $work/wn.ql $term" \
  "env LC_ALL=C grep -ci $term $work/wn.txt")
echo "search of the 2002 WordNet book, term absent ($(stat -c %s "$work/wn.txt") bytes of text):"
echo "  all cores $all_ms ms beside grep -ci $grep_ms ms: ratio $(ratio "$all_ms" "$grep_ms") (target <= 1)"
echo "  one core $one_ms ms beside grep -ci $grep1_ms ms: ratio $(ratio "$one_ms" "$grep1_ms") (target <= 1.5)"

record=$("$qlbook" lookup "$work/wn.ql" house)
read -r new old < <(pair_ms "$qlbook render $work/wn.ql $record" \
  "$qlbook render $work/wn-2001.ql $record")
echo "open and render one record: 2002 $new ms, 2001 $old ms, ratio $(ratio "$new" "$old") (target <= 1.1)"
