#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Copyright (C) 2026 The Quillary developers
# The UTF-8 folded finder over about 30 MB of generated, mostly ASCII text
# with some Cyrillic, beside the Windows-1252 finder over the same bytes and
# LC_ALL=C grep -ci over the same text written to a file, all in this run.
set -euo pipefail
bin=${QL_BENCH_BIN:-build-bench/bin}
work=$(dirname "$bin")/work/unicode
mkdir -p "$work"
"$bin/bench_unicode" --write-text "$work/text.txt"
"$bin/bench_unicode" --benchmark_format=json >"$work/unicode.json"
t_grep=""
if command -v hyperfine >/dev/null; then
  hyperfine -N -i --warmup 2 --runs 10 --export-json "$work/hf.json" \
    "env LC_ALL=C grep -ci qqxqzz $work/text.txt" >/dev/null 2>&1
  t_grep=$(jq '.results[0].min' "$work/hf.json")
fi
python3 - "$work/unicode.json" "$(stat -c %s "$work/text.txt")" "$t_grep" <<'PY'
import json, sys
runs = [b for b in json.load(open(sys.argv[1]))["benchmarks"] if b.get("run_type") == "iteration"]
speed = {b["name"]: b["bytes_per_second"] / 1e6 for b in runs}
size = int(sys.argv[2])
print(f"{size / 1e6:.1f} MB of text; MB/s")
for term in ("absent", "common", "cyrillic"):
    ours, peer = speed[f"utf8_finder/{term}"], speed[f"cp1252_finder/{term}"]
    print(f"  {term:9s} utf8 finder {ours:8.0f}   cp1252 finder {peer:8.0f}   ratio {ours / peer:5.2f}")
if sys.argv[3]:
    grep = size / 1e6 / float(sys.argv[3])
    ours = speed["utf8_finder/absent"]
    print(f"  grep -ci (absent term) {grep:8.0f}   ratio utf8 finder/grep {ours / grep:5.2f}")
PY
