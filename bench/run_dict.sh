#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Copyright (C) 2026 The Quillary developers
# A dictionary imported from its dictd files against the same dictionary
# imported from tab-separated text: WordNet (Debian's dict-wn, installed here
# through scripts/deps dicts) is imported from wn.index and wn.dict.dz, the
# book written out with export-text, and that text imported again. The dictd
# import must be no slower. Best wall time of several runs each; the ratio is
# dictd time / tab-separated time. The figures are only as steady as the
# machine is quiet: other work on its cores moves them by some per cent.
set -euo pipefail
bin=${QL_BENCH_BIN:-build-bench/bin}
qlbook=$bin/qlbook
work=$(dirname "$bin")/work/dict
mkdir -p "$work"
runs=${QL_DICT_RUNS:-5}
index=/usr/share/dictd/wn.index
if [ ! -f "$index" ]; then
  echo "run_dict: installing dict-wn (scripts/deps dicts)"
  "$(dirname "$0")/../scripts/deps" dicts
fi
[ -x /usr/bin/time ] || { echo "run_dict: /usr/bin/time is missing (apt-get install time)" >&2; exit 1; }

# Wall time of one run, in seconds.
seconds() {
  /usr/bin/time -o "$work/time.out" -f "%e" "$@" >/dev/null 2>&1
  tail -1 "$work/time.out"
}

"$qlbook" import "$index" "$work/wn.ql" >"$work/results.txt"
"$qlbook" export-text "$work/wn.ql" "$work/wn.tsv"
entries=$(sed -n 's/^Number of subjects:[^0-9]*//p' "$work/results.txt")
# The two imports take turns, so a change in the machine's load falls on
# both; the best time of each counts.
dictd="" tab=""
for _ in $(seq "$runs"); do
  t=$(seconds "$qlbook" import "$index" "$work/out-dictd.ql")
  if [ -z "$dictd" ] || awk "BEGIN { exit !($t < $dictd) }"; then dictd=$t; fi
  t=$(seconds "$qlbook" import "$work/wn.tsv" "$work/out-tab.ql" --format tab)
  if [ -z "$tab" ] || awk "BEGIN { exit !($t < $tab) }"; then tab=$t; fi
done
echo "import of WordNet, $entries entries ($runs runs each, best time):"
awk -v d="$dictd" -v t="$tab" -v di="$(stat -c %s "$index")" \
  -v dz="$(stat -c %s /usr/share/dictd/wn.dict.dz)" -v ts="$(stat -c %s "$work/wn.tsv")" 'BEGIN {
  printf "  dictd (.index %.1f MB + .dict.dz %.1f MB)  %6.2f s\n", di / 1e6, dz / 1e6, d
  printf "  tab-separated export (%.1f MB)         %6.2f s\n", ts / 1e6, t
  r = (t > 0) ? d / t : 0
  printf "  ratio dictd / tab-separated: %.2f (%s)\n", r, r <= 1 ? "no slower" : "SLOWER"
}'
