#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Copyright (C) 2026 The Quillary developers
# Export to the handheld on a real dictionary: the WordNet book (imported
# from $QL_CORPORA/wn.tsv with qlbook import; generated text when absent)
# through qlbook export-pdb, and CompressHandheldBlock alone on the same
# text, each beside Debian's txt2pdbdoc -b compressing that text in the same
# run: MB/s (of the tab-separated source), the speed ratio, and the
# compression ratios. The export must repeat byte for byte.
set -euo pipefail
bin=${QL_BENCH_BIN:-build-bench/bin}
qlbook=$bin/qlbook
work=$(dirname "$bin")/work/export
mkdir -p "$work"
runs=${QL_EXPORT_RUNS:-3}

source "$(dirname "$0")/lib.sh"
src=$(bench_source_tsv "$work")
name=$(basename "$src" .tsv)
size=$(stat -c %s "$src")

book=$work/$name.ql
if [ ! -f "$book" ] || [ "$src" -nt "$book" ] || [ "$qlbook" -nt "$book" ]; then
  "$qlbook" import "$src" "$book" >/dev/null
fi

now() { date +%s.%N; }
# Best wall time of several runs of a command.
best_of() {
  local n=$1 best="" t0 t1 t
  shift
  for _ in $(seq "$n"); do
    t0=$(now); "$@" >/dev/null 2>&1; t1=$(now)
    t=$(awk "BEGIN { print $t1 - $t0 }")
    if [ -z "$best" ] || awk "BEGIN { exit !($t < $best) }"; then best=$t; fi
  done
  echo "$best"
}

export SOURCE_DATE_EPOCH=0
t_export=$(best_of "$runs" "$qlbook" export-pdb "$book" "$work/$name.pdb")
"$qlbook" export-pdb "$book" "$work/$name.again.pdb" --name "$name"
if ! cmp -s "$work/$name.pdb" "$work/$name.again.pdb"; then
  echo "run_export: two exports of the same book differ" >&2
  exit 1
fi
pdb_size=$(stat -c %s "$work/$name.pdb")

"$bin/bench_handheld" --benchmark_format=json --benchmark_min_time=${QL_BENCH_MIN_TIME:-1} \
  >"$work/handheld.json" 2>"$work/handheld.err" || { cat "$work/handheld.err" >&2; exit 1; }
grep "reference check" "$work/handheld.err" || true

if command -v txt2pdbdoc >/dev/null; then
  t_peer=$(best_of "${QL_TXT2PDBDOC_RUNS:-1}" txt2pdbdoc -b "$name" "$src" "$work/$name.txt2pdbdoc.pdb")
  peer_size=$(stat -c %s "$work/$name.txt2pdbdoc.pdb")
else
  echo "run_export: txt2pdbdoc is missing (scripts/deps); no peer figures" >&2
  t_peer=""
  peer_size=""
fi

QL_BOOK_SUBJECTS=$("$qlbook" info "$book" | awk '/^subjects:/ { print $2; exit }') \
python3 - "$work/handheld.json" "$name" "$size" "$t_export" "$pdb_size" "$t_peer" "$peer_size" <<'PY'
import json, os, sys
path, name, size, t_export, pdb_size, t_peer, peer_size = sys.argv[1:]
size, t_export, pdb_size = int(size), float(t_export), int(pdb_size)
run = json.load(open(path))["benchmarks"][0]
own = run["bytes_per_second"] / 1e6
plain, coded = run["plain_bytes"], run["coded_bytes"]
mb = size / 1e6
subjects = os.environ.get("QL_BOOK_SUBJECTS", "").strip()
print(f"{name}: {mb:.1f} MB of tab-separated text, {subjects} subjects")
print(f"  qlbook export-pdb        {t_export:7.2f} s  {mb / t_export:7.1f} MB/s   "
      f"{pdb_size} bytes (x{size / pdb_size:.2f})")
if t_peer:
    t_peer, peer_size = float(t_peer), int(peer_size)
    print(f"  txt2pdbdoc -b (peer)     {t_peer:7.2f} s  {mb / t_peer:7.1f} MB/s   "
          f"{peer_size} bytes (x{size / peer_size:.2f})")
    print(f"  export / txt2pdbdoc speed ratio: {t_peer / t_export:.1f}")
print(f"  CompressHandheldBlock    {own:7.1f} MB/s   {int(coded)} bytes (x{plain / coded:.2f})"
      + (f"   / txt2pdbdoc speed ratio: {own / (mb / t_peer):.1f}" if t_peer else ""))
PY
