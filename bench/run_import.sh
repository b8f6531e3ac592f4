#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Copyright (C) 2026 The Quillary developers
# Whole imports through qlbook: MB/s of input and peak memory (maximum
# resident set of the child process) for a 1 MB piece of the dictionary and
# for the whole of it, tab-separated and tagged. Peak memory must not grow
# with the input: only the current entry is held, the streams go to
# temporary files. Peer in the same run: gzip -6 over the same input.
set -euo pipefail
bin=${QL_BENCH_BIN:-build-bench/bin}
qlbook=$bin/qlbook
work=$(dirname "$bin")/work/import
mkdir -p "$work"
runs=${QL_IMPORT_RUNS:-3}
[ -x /usr/bin/time ] || { echo "run_import: /usr/bin/time is missing (apt-get install time)" >&2; exit 1; }

source "$(dirname "$0")/lib.sh"
src=$(bench_source_tsv "$work")
name=$(basename "$src" .tsv)
tagged=
[ "$name" = wn ] && tagged=$QL_CORPORA/wn.tagged

# A 1 MB piece, cut after a whole line.
small=$work/$name.1mb.tsv
head -c 1048576 "$src" | awk 'BEGIN { RS = "\n"; ORS = "\n" } { buf[NR] = $0 } END { for (i = 1; i < NR; i++) print buf[i] }' >"$small"

# Best wall time and largest peak memory of several runs: "seconds kilobytes".
measure() {
  local best="" peak=0 out
  for _ in $(seq "$runs"); do
    /usr/bin/time -o "$work/time.out" -f "%e %M" "$@" >/dev/null 2>&1
    out=$(tail -1 "$work/time.out")
    local t=${out% *} m=${out#* }
    if [ -z "$best" ] || awk "BEGIN { exit !($t < $best) }"; then best=$t; fi
    [ "$m" -gt "$peak" ] && peak=$m
  done
  echo "$best $peak"
}

row() {
  local label=$1 input=$2 format=$3
  local bytes; bytes=$(stat -c %s "$input")
  read -r t m < <(measure "$qlbook" import "$input" "$work/out.ql" --format "$format")
  read -r gt gm < <(measure sh -c "gzip -6 <'$input' >/dev/null")
  local book; book=$(stat -c %s "$work/out.ql")
  awk -v l="$label" -v b="$bytes" -v t="$t" -v m="$m" -v gt="$gt" -v bk="$book" 'BEGIN {
    mbs = (t > 0) ? b / 1e6 / t : 0; gmbs = (gt > 0) ? b / 1e6 / gt : 0;
    printf "  %-22s %7.1f MB in %6.2f s = %6.1f MB/s  peak %6.1f MB  book %5.1f%% of input   gzip -6 %6.1f MB/s  ratio %.2f\n",
      l, b / 1e6, t, mbs, m / 1024, 100 * bk / b, gmbs, (gmbs > 0) ? mbs / gmbs : 0 }'
  echo "$m" >"$work/peak.$label"
}

echo "import of $name ($runs runs each, best time, largest peak):"
row "tab 1 MB" "$small" tab
row "tab whole" "$src" tab
if [ -n "$tagged" ] && [ -f "$tagged" ]; then row "tagged whole" "$tagged" tagged; fi
awk -v a="$(cat "$work/peak.tab 1 MB")" -v b="$(cat "$work/peak.tab whole")" 'BEGIN {
  printf "  peak memory, whole / 1 MB: %.2f (must stay near 1)\n", b / a }'
