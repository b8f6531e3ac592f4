#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Copyright (C) 2026 The Quillary developers
# A library of 200 books beside a library of one, all measured in this run:
#   - the library: the four corpora (their tab-separated text from
#     $QL_CORPORA), Debian's dictd dictionaries of `scripts/deps dicts`, and
#     generated books of 10,000 entries, whose subjects are taken from WordNet's
#     (or generated words) so that a word is found in many books at once; half
#     of them hold every word the lookups below ask for;
#   - start to mapped window with the 200 books beside the start with one
#     (WordNet alone), under one Xvfb, launched in turn, medians; and the bytes
#     the reader read until its window was mapped, beside the library's size;
#   - a word typed in the lookup line (bench_ui library, offscreen): from the
#     input event to the first section painted and to all books answered and
#     painted, medians over 20 words, beside the same in the one-book library;
#     and the first lookup after start, when every reader opens;
#   - resident memory with every book open and a page shown;
#   - `qlbook define` of one word over the 200 books beside one book's
#     `qlbook lookup` + `qlbook render`, medians.
# Prints a table: target, measured, peer, ratio, PASS or MISS.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
bin=${QL_BENCH_BIN:-build-bench/bin}
# Absolute: the homes are handed over as XDG_* variables, which must be.
mkdir -p "$(dirname "$bin")/work/library"
work=$(cd "$(dirname "$bin")/work/library" && pwd)
runs=${QL_LIBRARY_RUNS:-9}     # launches of each library
defines=${QL_LIBRARY_DEFINES:-15}
qlbook=$bin/qlbook
scripts_dir=$(cd "$here/../scripts" && pwd)

# The library (make_library) and the words looked up ($words).
source "$here/library_books.sh"
make_library
many_books=$work/many/data/quillary/books
one_book=$(find "$work/one/data/quillary/books" -name '*.ql' | head -1)
# Each home's reader opens that home's own copy of the book, one of its library.
many_book=$many_books/$(basename "$one_book")
count=$(find "$many_books" -name '*.ql' | wc -l)
library_bytes=$(du -cb "$many_books"/*.ql | tail -1 | cut -f1)
smallest_bytes=$(find "$many_books" -name '*.ql' -printf '%s\n' | sort -n | head -1)
home_env() { echo "XDG_DATA_HOME=$work/$1/data XDG_CONFIG_HOME=$work/$1/config"; }
# Both homes past their first start: with no library file yet, the window's
# first start offers the dictionaries it finds and that offer would stand
# over the window measured. qlbook library writes the file.
for home in many one; do
  env XDG_DATA_HOME="$work/$home/data" XDG_CONFIG_HOME="$work/$home/config" "$qlbook" library >/dev/null
done

# qlbook define over the whole library beside one book's lookup + render.
python3 - "$qlbook" "$work" "$one_book" "$defines" $words >"$work/define.json" <<'PY'
import json, os, statistics, subprocess, sys, time
qlbook, work, one, runs, words = sys.argv[1], sys.argv[2], sys.argv[3], int(sys.argv[4]), sys.argv[5:]
many = dict(os.environ, XDG_DATA_HOME=f'{work}/many/data', XDG_CONFIG_HOME=f'{work}/many/config',
            XDG_CACHE_HOME=f'{work}/cache-none', LC_ALL='C.UTF-8')
# The same once the library's books are indexed, as the window indexes them
# in the background when they join: a book whose subjects lack the word is
# then passed over unopened.
indexed = dict(many, XDG_CACHE_HOME=f'{work}/cache')
subprocess.run([qlbook, 'index'], env=indexed, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
def timed(argv, env=None, ok=(0,)):
    start = time.perf_counter()
    p = subprocess.run(argv, env=env, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    took = time.perf_counter() - start
    if p.returncode not in ok:
        sys.exit(f'library: {" ".join(argv)} exited {p.returncode}')
    return took, p.stdout
def peer(word):
    t1, out = timed([qlbook, 'lookup', one, word])
    t2, _ = timed([qlbook, 'render', one, out.decode().strip()])
    return t1 + t2
define, lookups, sections, quick = [], [], [], []
for i in range(runs + 1):
    word = words[i % len(words)]
    d, out = timed([qlbook, 'define', word], many)
    q, _ = timed([qlbook, 'define', word], indexed)
    p = peer(word)
    if i == 0:
        continue  # into the page cache
    define.append(d); lookups.append(p); quick.append(q)
    sections.append(sum(1 for line in out.decode('utf-8', 'replace').splitlines()
                        if line.startswith('== ')))
json.dump({'define_s': statistics.median(define), 'peer_s': statistics.median(lookups),
           'indexed_s': statistics.median(quick),
           'sections': statistics.median(sections), 'runs': runs}, sys.stdout)
PY

# A word typed in the lookup line of the real window (offscreen), in each home:
# keystroke to the first section painted and to all of them painted. The
# library's books are indexed (as above), as the window keeps them once its
# indexing in the background has gone over them.
if [ -x "$bin/bench_ui" ]; then
  runtime=$work/runtime
  mkdir -p "$runtime" && chmod 700 "$runtime"
  for home in many one; do
    b=$one_book
    [ "$home" = many ] && b=$many_book
    env XDG_DATA_HOME="$work/$home/data" XDG_CONFIG_HOME="$work/$home/config" \
      XDG_CACHE_HOME="$work/cache" XDG_RUNTIME_DIR="$runtime" QT_QPA_PLATFORM=offscreen \
      "$bin/bench_ui" library "$b" apple $words >"$work/lookup-$home.txt" 2>"$work/lookup-$home.log" ||
      { echo "library: bench_ui library failed in the $home home:" >&2; tail -3 "$work/lookup-$home.log" >&2; }
  done
else
  echo "library: lookup latency skipped (bench_ui was not built)" >&2
  : >"$work/lookup-many.txt"; : >"$work/lookup-one.txt"
fi

# Start-up, bytes read and memory on a private X server, the reader given
# WordNet's book on its command line in both homes. Once mapped, a word is
# looked up (Ctrl+L, typed, Enter) and the memory read with the page shown.
harness=${QL_UIHARNESS:-$(cd "$here/../.." && pwd)/shared/tools/uiharness}
if [ ! -x "$bin/quillary" ] || [ ! -f "$harness/uiharness.py" ] || ! command -v Xvfb >/dev/null; then
  echo "library: start-up and memory skipped (needs the reader, Xvfb and $harness)" >&2
  echo "{}" >"$work/window.json"
else
  /usr/bin/python3 - "$harness" "$bin" "$work" "$one_book" "$runs" "$work/window.json" "$many_book" <<'PY' ||
import glob, json, os, statistics, sys, time
harness, bin_dir, work, book, runs, out, many_book = sys.argv[1:8]
runs = int(runs)
sys.path.insert(0, harness)
from uiharness import Session

homes = {name: {'XDG_DATA_HOME': f'{work}/{name}/data', 'XDG_CONFIG_HOME': f'{work}/{name}/config',
                'XDG_CACHE_HOME': f'{work}/{name}/cache'} for name in ('many', 'one')}
found = {name: {'start': [], 'read': [], 'rss': [], 'hwm': []} for name in homes}
title = '^' + os.path.basename(book).replace('.', r'\.') + ' - Quillary$'

def read_bytes(pid):
    with open(f'/proc/{pid}/io') as f:
        return int(dict(line.split(': ') for line in f.read().splitlines())['rchar'])

with Session(None, a11y=False) as s:
    # The page on show: the record of the one book, the page of sections of many.
    pages = {name: os.path.join(s.runtime_dir, 'quillary', 'page-*', page)
             for name, page in (('one', 'qltempfi.htm'), ('many', 'qlshelf.htm'))}
    books = {'one': book, 'many': many_book}
    order = [['many', 'one']] + [['many', 'one'] if i % 2 == 0 else ['one', 'many']
                                 for i in range(runs)]
    for i, pair in enumerate(order):
        for name in pair:
            for old in glob.glob(pages['one']) + glob.glob(pages['many']):
                os.remove(old)
            s.launch([os.path.join(bin_dir, 'quillary'), books[name]], env=homes[name])
            start = s.wait_window(title)
            read = read_bytes(s.app.pid)
            time.sleep(0.5)
            s.key('ctrl+l')
            s.type('house')
            s.key('Return')
            s.wait_until(lambda: bool(glob.glob(pages[name])), timeout=10, what='the page shown')
            time.sleep(1.5)
            rss, hwm = s.rss_kb(), s.peak_rss_kb()
            s.close(how='window')
            if i == 0:
                continue
            found[name]['start'].append(start)
            found[name]['read'].append(read)
            found[name]['rss'].append(rss)
            found[name]['hwm'].append(hwm)
result = {name: {k: statistics.median(v) for k, v in d.items()} for name, d in found.items()}
result['runs'] = runs
json.dump(result, open(out, 'w'))
PY
  { echo "library: start-up and memory failed (see above)" >&2; echo "{}" >"$work/window.json"; }
fi

python3 - "$work/define.json" "$count" "$library_bytes" "$work/window.json" "$smallest_bytes" \
  "$work/lookup-many.txt" "$work/lookup-one.txt" <<'PY'
import json, sys
define = json.load(open(sys.argv[1]))
count, size = int(sys.argv[2]), int(sys.argv[3])
win = json.load(open(sys.argv[4]))
smallest = int(sys.argv[5])
def keys(path):
    return {k: float(v) for k, v in (line.split() for line in open(path) if line.strip())}
look, look1 = keys(sys.argv[6]), keys(sys.argv[7])
rows = []
def row(what, target, ours, peer, ratio, ok):
    rows.append((what, target, ours, peer, ratio, 'PASS' if ok else 'MISS'))
mb = lambda kb: kb * 1024 / 1e6
if win:
    m, o = win['many'], win['one']
    r = m['start'] / o['start']
    row(f"start to mapped window, {count} books (median of {win['runs']})", '<= 1.25x peer',
        f"{m['start']:.3f} s", f"{o['start']:.3f} s", f"{r:.2f}", r <= 1.25)
    # No book read whole: what the 200 add to the one book's start is less
    # than the smallest book of the library.
    row('  bytes read until mapped', '+ < smallest book', f"{m['read'] / 1e6:.1f} MB",
        f"{o['read'] / 1e6:.1f} MB", f"{m['read'] / o['read']:.2f}", m['read'] - o['read'] < smallest)
    row('resident memory, every book open, page shown', '<= 150 MB', f"{mb(m['rss']):.1f} MB",
        f"{mb(o['rss']):.1f} MB", f"{m['rss'] / o['rss']:.2f}", mb(m['rss']) <= 150)
    row('  peak resident memory (VmHWM)', '', f"{mb(m['hwm']):.1f} MB", f"{mb(o['hwm']):.1f} MB",
        f"{m['hwm'] / o['hwm']:.2f}", True)
if look and look1:
    n = int(look['words'])
    r = look['first_median'] / look1['first_median']
    row(f"word typed to first section painted (median of {n})", '<= 20 ms',
        f"{look['first_median']:.2f} ms", f"{look1['first_median']:.2f} ms", f"{r:.2f}",
        look['first_median'] <= 20)
    r = look['all_median'] / look1['all_median']
    row(f"  to all {int(look['books'])} answered and painted (median)", '<= 100 ms',
        f"{look['all_median']:.2f} ms", f"{look1['all_median']:.2f} ms", f"{r:.2f}",
        look['all_median'] <= 100)
    row('  worst of the words, all painted', '', f"{look['all_max']:.2f} ms",
        f"{look1['all_max']:.2f} ms", f"{look['all_max'] / look1['all_max']:.2f}", True)
    row('  first lookup after start (readers opened), first', '', f"{look['start_first_ms']:.2f} ms",
        f"{look1['start_first_ms']:.2f} ms", f"{look['start_first_ms'] / look1['start_first_ms']:.2f}", True)
    row('  first lookup after start, all painted', '', f"{look['start_all_ms']:.2f} ms",
        f"{look1['start_all_ms']:.2f} ms", f"{look['start_all_ms'] / look1['start_all_ms']:.2f}", True)
r = define['indexed_s'] / define['peer_s']
row(f"qlbook define over {count} books (median of {define['runs']})", '<= 3x peer',
    f"{define['indexed_s'] * 1000:.1f} ms", f"{define['peer_s'] * 1000:.1f} ms", f"{r:.2f}", r <= 3)
r = define['define_s'] / define['peer_s']
row("  the same before the books are indexed", '',
    f"{define['define_s'] * 1000:.1f} ms", f"{define['peer_s'] * 1000:.1f} ms", f"{r:.2f}", True)
print(f"library: {count} books, {size / 1e6:.0f} MB")
print("peers: start-up and memory: the same reader on WordNet's book with a library of that book alone")
print("       lookup: the same window and words with a library of WordNet's book alone (its record)")
print("       define: qlbook lookup + qlbook render of the same word in WordNet's book alone")
if look:
    print(f"  lookups: median {look['sections_median']:.0f} sections a word, "
          f"{int(look['open_readers'])} readers open at the end")
w = [max(len(r[i]) for r in rows + [('', 'target', 'measured', 'peer', 'ratio', '')]) for i in range(6)]
print(f"  {'':{w[0]}}  {'target':{w[1]}}  {'measured':>{w[2]}}  {'peer':>{w[3]}}  {'ratio':>{w[4]}}")
for r in rows:
    print(f"  {r[0]:{w[0]}}  {r[1]:{w[1]}}  {r[2]:>{w[2]}}  {r[3]:>{w[3]}}  {r[4]:>{w[4]}}  {r[5]}")
PY
