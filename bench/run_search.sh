#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Copyright (C) 2026 The Quillary developers
# Whole-book search for a term that does not occur, beside LC_ALL=C grep -ci
# over the same book's exported text, both timed in this run (best of several
# runs each). Prints MB/s of record text for the search on one thread, on two
# and on every core, MB/s of the exported text for grep, their ratios, and the
# time of a subject-only search.
set -euo pipefail
bin=${QL_BENCH_BIN:-build-bench/bin}
qlbook=$bin/qlbook
[ -x "$qlbook" ] || qlbook=$bin/../bin/qlbook
work=$(dirname "$bin")/work/search
mkdir -p "$work"
term=${QL_SEARCH_TERM:-qqxqzz}
runs=${QL_SEARCH_RUNS:-10}

source "$(dirname "$0")/lib.sh"
src=$(bench_source_tsv "$work")
name=$(basename "$src" .tsv)

book=$work/$name.ql
text=$work/$name.txt
if [ ! -f "$book" ] || [ "$src" -nt "$book" ]; then
  "$qlbook" import "$src" "$book" --format tab >/dev/null
fi
"$qlbook" export-text "$book" "$text"

record_bytes=$("$bin/bench_search" "$book" --record-bytes)
text_bytes=$(stat -c %s "$text")

# Best wall time of a command over several runs, in seconds. Both commands
# exit 1 (nothing found), which is expected here.
best_time() {
  if command -v hyperfine >/dev/null; then
    hyperfine -N -i --warmup 2 --runs "$runs" --export-json "$work/hf.json" "$1" >/dev/null 2>&1
    jq '.results[0].min' "$work/hf.json"
  else
    local best=""
    for _ in $(seq "$runs"); do
      local t0 t1
      t0=$(date +%s.%N)
      bash -c "$1" >/dev/null 2>&1 || true
      t1=$(date +%s.%N)
      best=$(awk -v a="$t0" -v b="$t1" -v c="$best" 'BEGIN { d = b - a; if (c != "" && c < d) d = c; print d }')
    done
    echo "$best"
  fi
}

cores=$(nproc)
t_search=$(best_time "$qlbook search $book $term --threads 1")
t_search2=$(best_time "$qlbook search $book $term --threads 2")
t_searchall=$(best_time "$qlbook search $book $term --threads $cores")
t_grep=$(best_time "env LC_ALL=C grep -ci $term $text")
t_subjects=$(best_time "$qlbook search $book $term --subjects-only --threads 1")

awk -v name="$name" -v term="$term" -v rb="$record_bytes" -v tb="$text_bytes" \
  -v ts="$t_search" -v ts2="$t_search2" -v tsa="$t_searchall" -v cores="$cores" \
  -v tg="$t_grep" -v tj="$t_subjects" 'BEGIN {
  ours = rb / 1e6 / ts; ours2 = rb / 1e6 / ts2; oursall = rb / 1e6 / tsa; peer = tb / 1e6 / tg;
  printf "book %s: %.1f MB of record text; term \"%s\" (not in the book)\n", name, rb / 1e6, term;
  printf "  qlbook search (whole book)    %8.3f s  %7.0f MB/s of record text\n", ts, ours;
  printf "  %-30s%8.3f s  %7.0f MB/s of record text\n", "... --threads 2", ts2, ours2;
  printf "  %-30s%8.3f s  %7.0f MB/s of record text\n", "... --threads " cores " (all cores)", tsa,
    oursall;
  printf "  grep -ci (exported text)      %8.3f s  %7.0f MB/s of %.1f MB\n", tg, peer, tb / 1e6;
  printf "  ratio search/grep             %8.2f   (target >= 0.50)\n", ours / peer;
  printf "  %-30s%8.2f   (target >= 0.40 on two cores)\n", "ratio --threads 2/grep", ours2 / peer;
  printf "  %-30s%8.2f\n", "ratio all " cores " cores/grep", oursall / peer;
  printf "  qlbook search --subjects-only %8.3f s\n", tj;
}'

if [ "${QL_SEARCH_DETAIL:-0}" = 1 ]; then
  "$bin/bench_search" "$book" "$term" --benchmark_min_time=0.5
fi
