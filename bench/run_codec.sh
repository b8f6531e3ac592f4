#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Copyright (C) 2026 The Quillary developers
# The block codec beside LZ4 and zlib on the blocks of a real book (wn from
# $QL_CORPORA, generated text when absent): decode and encode MB/s, each
# peer's figure in the same run, the ratios, and the compressed sizes.
set -euo pipefail
bin=${QL_BENCH_BIN:-build-bench/bin}
work=$(dirname "$bin")/work/codec
mkdir -p "$work"
# The machine is shared: every coder runs several times, interleaved with its
# peers in random order, and the medians are compared.
"$bin/bench_codec" --benchmark_format=json --benchmark_min_time=${QL_BENCH_MIN_TIME:-0.5} \
  --benchmark_repetitions=${QL_BENCH_REPETITIONS:-7} --benchmark_enable_random_interleaving=true \
  --benchmark_report_aggregates_only=true >"$work/codec.json"
python3 - "$work/codec.json" <<'PY'
import json, sys
runs = {b["run_name"]: b for b in json.load(open(sys.argv[1]))["benchmarks"]
        if b.get("aggregate_name") == "median"}
def mbs(name):
    return runs[name]["bytes_per_second"] / 1e6
plain = runs["BM_DecompressBlock"]["plain_bytes"]
print(f"blocks of {plain / 1e6:.1f} MB of subject and record streams (medians of interleaved runs)")
print("decode MB/s (of plain text):")
own = mbs("BM_DecompressBlock")
for peer in ("BM_Lz4Decompress", "BM_ZlibDecompress"):
    print(f"  DecompressBlock {own:8.1f}   {peer[3:]:16s} {mbs(peer):8.1f}   ratio {own / mbs(peer):5.2f}")
print("encode MB/s (of plain text), compressed size, compression ratio:")
own = mbs("BM_CompressBlock")
for name in ("BM_CompressBlock", "BM_ZlibCompress6", "BM_Lz4Compress"):
    r = runs[name]
    rel = "" if name == "BM_CompressBlock" else f"   CompressBlock/{name[3:]} speed {own / mbs(name):5.2f}"
    print(f"  {name[3:]:16s} {mbs(name):8.1f} MB/s  {int(r['coded_bytes']):>10d} bytes  x{r['ratio']:.2f}{rel}")
PY
