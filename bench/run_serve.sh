#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Copyright (C) 2026 The Quillary developers
# qlbook serve under load: a library of five books (WordNet, GCIDE, FOLDOC,
# the Jargon File and the Devil's Dictionary, imported from Debian's dictd
# files; scripts/deps dicts installs them) served on a free port of
# 127.0.0.1, and wrk asking /api/lookup for random WordNet headwords over 64
# connections on 2 threads:
# - requests a second over 20 s (at least 5000), beside the lookups a second
#   of qlbook lookup of one word in WordNet run one after another;
# - the 99th percentile of latency (at most 20 ms), beside qlbook lookup;
# - errors (none): sockets failed, timed out, or answers not 200;
# - the server's resident memory before and after a million requests (grows
#   by at most 5 MB); the run goes on until a million are made, at most
#   $QL_SERVE_LONGEST s (180) in all.
# Each line ends PASS or MISS.
set -euo pipefail
bin=${QL_BENCH_BIN:-build-bench/bin}
qlbook=$bin/qlbook
mkdir -p "$(dirname "$bin")/work/serve"
work=$(cd "$(dirname "$bin")/work/serve" && pwd)
longest=${QL_SERVE_LONGEST:-180}
books=(wn gcide foldoc jargon devil)
for d in "${books[@]}"; do
  if [ ! -f /usr/share/dictd/$d.index ]; then
    echo "run_serve: installing the dictd dictionaries (scripts/deps dicts)"
    "$(dirname "$0")/../scripts/deps" dicts
    break
  fi
done
paths=()
for d in "${books[@]}"; do
  book=$work/$d.ql
  if [ ! -f "$book" ] || [ /usr/share/dictd/$d.index -nt "$book" ]; then
    "$qlbook" import /usr/share/dictd/$d.index "$book" >/dev/null
  fi
  paths+=("$book")
done
# A home of its own: no library, no cache of the user's.
export XDG_CACHE_HOME=$work/cache XDG_DATA_HOME=$work/data XDG_CONFIG_HOME=$work/config
mkdir -p "$XDG_CACHE_HOME" "$XDG_DATA_HOME" "$XDG_CONFIG_HOME"

# Random WordNet headwords, percent-encoded for the query.
python3 - /usr/share/dictd/wn.index "$work/words.txt" <<'PY'
import random, sys, urllib.parse
words = [l.split('\t', 1)[0] for l in open(sys.argv[1], encoding='utf-8', errors='replace')]
words = [w for w in words if w and not w.startswith('00')]
random.Random(5).shuffle(words)
with open(sys.argv[2], 'w') as f:
    for w in words[:5000]:
        f.write(urllib.parse.quote(w, safe='') + '\n')
PY
cat >"$work/lookup.lua" <<LUA
local words = {}
for line in io.lines("$work/words.txt") do words[#words + 1] = line end
local n = 0
function setup(thread) n = n + 1; thread:set("seed", n) end
function init(args) math.randomseed(seed * 7919) end
function request()
  return wrk.format("GET", "/api/lookup?q=" .. words[math.random(#words)])
end
function done(summary, latency, requests)
  local e = summary.errors
  io.write(string.format("figures %d %.6f %.3f %d\n", summary.requests,
    summary.duration / 1e6, latency:percentile(99) / 1e3,
    e.connect + e.read + e.write + e.status + e.timeout))
end
LUA

"$qlbook" serve --listen 127.0.0.1:0 "${paths[@]}" >"$work/serve.out" 2>"$work/serve.err" &
server=$!
trap 'kill "$server" 2>/dev/null; wait "$server" 2>/dev/null || true' EXIT
for _ in $(seq 100); do
  [ -s "$work/serve.out" ] && break
  kill -0 "$server" 2>/dev/null || { cat "$work/serve.err" >&2; exit 1; }
  sleep 0.1
done
url=$(head -1 "$work/serve.out")
[ -n "$url" ] || { echo "run_serve: the server printed no address" >&2; exit 1; }
rss_kib() { awk '/^VmRSS:/ {print $2}' "/proc/$server/status"; }
# wrk's figures: requests, seconds, p99 ms, errors.
load() {
  wrk -t2 -c64 -d"$1"s --timeout 5s -s "$work/lookup.lua" "$url" | awk '/^figures / {print $2, $3, $4, $5}'
}
at_least() { python3 -c 'import sys; print("PASS" if float(sys.argv[1]) >= float(sys.argv[2]) else "MISS")' "$1" "$2"; }
at_most() { python3 -c 'import sys; print("PASS" if float(sys.argv[1]) <= float(sys.argv[2]) else "MISS")' "$1" "$2"; }

# The peer: qlbook lookup of one word in WordNet, a process each time.
hyperfine -N --warmup 3 --runs "${QL_SERVE_RUNS:-20}" --export-json "$work/h.json" \
  "$qlbook lookup $work/wn.ql horse" >/dev/null 2>&1
peer=$(python3 -c 'import json,sys; print("%.2f" % (json.load(open(sys.argv[1]))["results"][0]["median"]*1e3))' "$work/h.json")
peer_rate=$(python3 -c "print('%.0f' % (1000 / $peer))")

load 3 >/dev/null  # the readers opened, the pages warm
before=$(rss_kib)
read -r count seconds p99 errors <<<"$(load 20)"
rate=$(python3 -c "print('%.0f' % ($count / $seconds))")
printf '%-44s %12s %12s %8s\n' "figure" "measured" "peer" "verdict"
printf '%-44s %12s %12s %8s\n' "requests a second, 64 connections" "$rate" "$peer_rate" \
  "$(at_least "$rate" 5000)"
printf '%-44s %9s ms %9s ms %8s\n' "p99 latency" "$p99" "$peer" "$(at_most "$p99" 20)"
total=$count
total_errors=$errors
# On to a million requests, at most $longest s in all.
left=$(python3 -c "import math; r = max(1, $rate); print(max(0, min($longest - 23, math.ceil((1000000 - $total) / r * 1.05) + 1)))")
if [ "$left" -gt 0 ] && [ "$total" -lt 1000000 ]; then
  read -r count seconds p99 errors <<<"$(load "$left")"
  total=$((total + count))
  total_errors=$((total_errors + errors))
fi
printf '%-44s %12s %12s %8s\n' "errors in $total requests" "$total_errors" "-" \
  "$(at_most "$total_errors" 0)"
after=$(rss_kib)
growth=$(python3 -c "print('%.1f' % (($after - $before) / 1024))")
verdict=$(at_most "$growth" 5)
[ "$total" -ge 1000000 ] || verdict="MISS (only $total requests)"
printf '%-44s %9s MB %12s %8s\n' "resident growth over $total requests" "$growth" "-" "$verdict"
echo "  (resident $((before / 1024)) MB before, $((after / 1024)) MB after)"
