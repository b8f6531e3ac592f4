#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Copyright (C) 2026 The Quillary developers
# Spelling suggestions on a generated book of 1,000,000 subjects (built once
# with the builder and kept in the work folder): the time to the first list
# and to the final list for a few misspelt texts (the final list from a new
# suggester, which decodes the book, and from one that has scanned before),
# beside a walk of every subject with GetSubject and FindSubject's prefix
# lookup, all in this run.
set -euo pipefail
bin=${QL_BENCH_BIN:-build-bench/bin}
work=$(dirname "$bin")/work/spelling
mkdir -p "$work"
"$bin/bench_spelling" "$work" --benchmark_format=json >"$work/spelling.json"
python3 - "$work/spelling.json" <<'PY'
import json, sys
runs = [b for b in json.load(open(sys.argv[1]))["benchmarks"] if b.get("run_type") == "iteration"]
ms = {b["name"].split("/iterations")[0].split("/manual_time")[0].split("/real_time")[0]:
      b["real_time"] for b in runs}
walk = ms["walk_all_subjects"]
print("book of 1,000,000 subjects; times in ms (mean of the iterations)")
print(f"  peer: walk of every subject (GetSubject)  {walk:9.1f}")
print(f"  peer: FindSubject prefix lookup            {ms['find_subject_prefix']:9.3f}")
print(f"  first list, new suggester (opens its reader) {ms['first_list_new_suggester']:7.1f}")
worst = 0.0
for name, t in ms.items():
    if name.startswith("first_list/") or name.startswith("first_list_while_scanning/"):
        worst = max(worst, t)
        print(f"  {name:44s} {t:9.1f}")
for name, t in ms.items():
    if name.startswith("final_list_new_suggester/") or name.startswith("final_list/"):
        print(f"  {name:44s} {t:9.1f}   {t / walk:5.2f} x the walk")
print(f"  slowest first list {worst:.1f} ms (target: within 100 ms)")
PY
