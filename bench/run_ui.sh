#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Copyright (C) 2026 The Quillary developers
# The reader window beside a bare Qt window with the same widgets
# (bare_qt_window: a main window, a table of a million constant rows, a text
# browser), all measured in this run:
#   - start to mapped window with WordNet open (wn from $QL_CORPORA, else a
#     generated dictionary of its shape), under one Xvfb, both programs
#     launched in turn, medians;
#   - resident memory (VmRSS, VmHWM) once a row was clicked and its record
#     shown, beside the bare window's after the same click;
#   - the same start-up inside the process, step by step (offscreen);
#   - a click on a row to the painted record (bench_ui, offscreen), beside a
#     bare QTextBrowser given the same page;
#   - opening a generated book of 1,000,000 entries, jumping to its last row
#     and painting it, beside the same on a book of 1,000 entries;
#   - File > Import of the same tab-separated text in the window (bench_ui,
#     offscreen: the whole command, the new book opened at its end included),
#     beside `qlbook import` of it, runs of each in turn, medians; and how the
#     progress window painted meanwhile (its longest time on screen without a
#     paint of the bar);
#   - the lookup line on the 1,000,000-entry book, texts no subject starts
#     with: the first offer of nearest subjects, the final one, and the
#     longest stall of the window's event loop meanwhile, beside the prefix
#     find the lookup starts with;
#   - Find in the window on WordNet, term absent: the search on worker threads
#     beside the plain walk on the window's thread, and the event loop's
#     longest stall meanwhile.
# Prints a table: target, measured, peer, ratio, PASS or MISS.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
bin=${QL_BENCH_BIN:-build-bench/bin}
work=$(dirname "$bin")/work/ui
mkdir -p "$work"
runs=${QL_UI_RUNS:-15}       # launches of each program
clicks=${QL_UI_CLICKS:-300}  # rows clicked in bench_ui
jumps=${QL_UI_JUMPS:-15}     # opens of each generated book
imports=${QL_UI_IMPORTS:-7}  # imports of each kind

if [ ! -x "$bin/bench_ui" ] || [ ! -x "$bin/quillary" ] || [ ! -x "$bin/bare_qt_window" ]; then
  echo "ui: skipped, the reader window was not built (Qt 6 Widgets and Test are needed)"
  exit 0
fi
qlbook=$bin/qlbook

source "$here/lib.sh"
src=$(bench_source_tsv "$work")
name=$(basename "$src" .tsv)
book=$work/$name.ql
if [ ! -f "$book" ] || [ "$src" -nt "$book" ]; then
  "$qlbook" import "$src" "$book" --format tab >/dev/null
fi

# Generated dictionaries of N entries: short records with a line break and a
# link each, subjects in order.
generated_book() {
  local n=$1 out=$work/generated-$1.ql
  if [ ! -f "$out" ]; then
    awk -v n="$n" 'BEGIN {
      srand(11); split("a e i o u", v, " "); split("b c d f g k l m n p r s t v", c, " ");
      for (i = 0; i < n; i++) {
        t = "noun<br>  1: ";
        for (j = 0; j < 8; j++) {
          w = ""; l = 1 + int(rand() * 3);
          for (k = 0; k < l; k++) w = w c[1 + int(rand() * 14)] v[1 + int(rand() * 5)];
          t = t w " ";
        }
        printf "entry%07d\t%s<a:entry%07d>see also</a>\r\n", i, t, int(rand() * n);
      }
    }' >"$work/generated-$n.tsv"
    "$qlbook" import "$work/generated-$n.tsv" "$out" --format tab >/dev/null
    rm -f "$work/generated-$n.tsv"
  fi
  echo "$out"
}
small=$(generated_book 1000)
large=$(generated_book 1000000)

# bench_ui runs offscreen; its page files go to a private runtime folder.
runtime=$work/runtime
mkdir -p "$runtime" && chmod 700 "$runtime"
env XDG_RUNTIME_DIR="$runtime" QT_QPA_PLATFORM=offscreen \
  "$bin/bench_ui" click "$book" "$clicks" >"$work/click.txt" 2>"$work/click.log"
env XDG_RUNTIME_DIR="$runtime" QT_QPA_PLATFORM=offscreen \
  "$bin/bench_ui" start "$book" >"$work/start.txt" 2>"$work/start.log"
env XDG_RUNTIME_DIR="$runtime" QT_QPA_PLATFORM=offscreen \
  "$bin/bench_ui" jump "$small" "$large" "$jumps" >"$work/jump.txt" 2>"$work/jump.log"
env XDG_RUNTIME_DIR="$runtime" QT_QPA_PLATFORM=offscreen \
  "$bin/bench_ui" lookup "$large" >"$work/lookup.txt" 2>"$work/lookup.log"
env XDG_RUNTIME_DIR="$runtime" QT_QPA_PLATFORM=offscreen \
  "$bin/bench_ui" find "$book" qqxqzz 7 >"$work/find.txt" 2>"$work/find.log"

# Import from the window beside qlbook, in turn, after one untimed round of
# each (the source into the page cache). Each window import is a process of
# its own, as each qlbook import is; qlbook's time is its whole run.
env XDG_RUNTIME_DIR="$runtime" QT_QPA_PLATFORM=offscreen python3 - "$bin" "$src" "$work" \
  "$imports" >"$work/import.json" <<'PY'
import json, os, statistics, subprocess, sys, time
bin_dir, src, work, runs = sys.argv[1], sys.argv[2], sys.argv[3], int(sys.argv[4])
window_book = os.path.join(work, 'import-window.ql')
peer_book = os.path.join(work, 'import-qlbook.ql')

# The book is committed with fsync: what the run before left unwritten is
# written first, so that no run pays for another's.
def window():
    os.sync()
    out = subprocess.run([os.path.join(bin_dir, 'bench_ui'), 'import', src, window_book],
                         capture_output=True, text=True)
    with open(os.path.join(work, 'import.log'), 'a') as log:
        log.write(out.stderr)
    if out.returncode != 0:
        sys.exit(f'ui: bench_ui import failed: {out.stderr.strip()}')
    return {k: float(v) for k, v in (line.split() for line in out.stdout.splitlines() if line.strip())}

def peer():
    os.sync()
    start = time.perf_counter()
    subprocess.run([os.path.join(bin_dir, 'qlbook'), 'import', src, peer_book, '--format', 'tab'],
                   check=True, stdout=subprocess.DEVNULL)
    return time.perf_counter() - start

open(os.path.join(work, 'import.log'), 'w').close()
window(); peer()
found = []
peer_s = []
for i in range(runs):
    if i % 2 == 0:
        found.append(window()); peer_s.append(peer())
    else:
        peer_s.append(peer()); found.append(window())
with open(window_book, 'rb') as a, open(peer_book, 'rb') as b:
    same = a.read() == b.read()
med = lambda key: statistics.median(r[key] for r in found)
json.dump({
    'runs': runs, 'same_book': same, 'subjects': found[0]['subjects'],
    'window_s': med('import_s'), 'results_s': med('results_s'), 'peer_s': statistics.median(peer_s),
    'paints': med('paints'), 'gap_ms': med('longest_gap_ms'),
    'gap_max_ms': max(r['longest_gap_ms'] for r in found),
    'last_paint_ms': med('last_paint_at_ms'), 'shown_ms': med('progress_shown_ms'),
    'window_samples': [r['import_s'] for r in found], 'peer_samples': peer_s,
}, sys.stdout)
PY

# Start-up and memory on a private X server. The accessibility bus is left
# out: neither program then spends its start talking to it.
harness=${QL_UIHARNESS:-$(cd "$here/../.." && pwd)/shared/tools/uiharness}
if [ ! -f "$harness/uiharness.py" ] || ! command -v Xvfb >/dev/null || ! command -v xdotool >/dev/null; then
  echo "ui: start-up and memory skipped (needs Xvfb, xdotool and $harness)" >&2
  echo "{}" >"$work/window.json"
else
  /usr/bin/python3 - "$harness" "$bin" "$book" "$runs" "$work/window.json" <<'PY' ||
import glob, json, os, re, statistics, subprocess, sys, time
harness, bin_dir, book, runs, out = sys.argv[1], sys.argv[2], sys.argv[3], int(sys.argv[4]), sys.argv[5]
sys.path.insert(0, harness)
from uiharness import Session

title = os.path.basename(book) + ' - Quillary'
programs = {
    'quillary': ([os.path.join(bin_dir, 'quillary'), book], '^' + re.escape(title) + '$'),
    'bare': ([os.path.join(bin_dir, 'bare_qt_window')], '^Bare Qt window$'),
}
found = {name: {'start': [], 'cpu': [], 'rss': [], 'hwm': []} for name in programs}
tick = os.sysconf('SC_CLK_TCK')

def xdotool(s, *args):
    return subprocess.run(['xdotool', *map(str, args)], env=dict(os.environ, DISPLAY=s.display),
                          capture_output=True, text=True, check=True).stdout

def geometry(s):
    g = dict(line.split('=', 1) for line in xdotool(s, 'getwindowgeometry', '--shell', s.window_id).split())
    return int(g['X']), int(g['Y'])

with Session(None, a11y=False) as s:
    # Each window writes its pages in a folder of its own under the private
    # directory (page-XXXXXX); a new launch makes a new one.
    pages = os.path.join(s.runtime_dir, 'quillary', 'page-*', 'qltempfi.htm')
    def shown():
        return bool(glob.glob(pages))
    # One launch of each first, not counted: files into the page cache.
    order = [['quillary', 'bare']] + [['quillary', 'bare'] if i % 2 == 0 else ['bare', 'quillary']
                                      for i in range(runs)]
    for i, pair in enumerate(order):
        for name in pair:
            argv, rx = programs[name]
            for old in glob.glob(pages):
                os.remove(old)
            s.launch(argv)
            start = s.wait_window(rx)
            # CPU time spent until then: less swayed by the machine's other
            # work than the wall time (in clock ticks of 10 ms).
            with open(f'/proc/{s.app.pid}/stat') as f:
                fields = f.read().rsplit(')', 1)[1].split()
            cpu = (int(fields[11]) + int(fields[12])) / tick
            # A row of the list, in its first column, in both windows well inside
            # the table's rows.
            x, y = geometry(s)
            time.sleep(0.3)
            s.click_at(x + 12, y + 160)
            # The pointer leaves the spot: the next window maps without it, and
            # the next click there is a move again (xdotool waits for one).
            xdotool(s, 'mousemove', 0, 0)
            if name == 'quillary':
                s.wait_until(shown, timeout=10, what='the record shown')
            time.sleep(0.5)
            rss, hwm = s.rss_kb(), s.peak_rss_kb()
            s.close(how='window')
            if i == 0:
                continue
            found[name]['start'].append(start)
            found[name]['cpu'].append(cpu)
            found[name]['rss'].append(rss)
            found[name]['hwm'].append(hwm)
result = {name: {k: statistics.median(v) for k, v in d.items()} for name, d in found.items()}
for name, d in found.items():
    result[name]['starts'] = d['start']
result['runs'] = runs
json.dump(result, open(out, 'w'))
PY
  { echo "ui: start-up and memory failed (see above)" >&2; echo "{}" >"$work/window.json"; }
fi

python3 - "$work/click.txt" "$work/jump.txt" "$work/window.json" "$name" "$work/start.txt" \
  "$work/import.json" "$work/lookup.txt" "$work/find.txt" <<'PY'
import json, sys
def keys(path):
    return {k: float(v) for k, v in (line.split() for line in open(path) if line.strip())}
click, jump, win, name = keys(sys.argv[1]), keys(sys.argv[2]), json.load(open(sys.argv[3])), sys.argv[4]
start = keys(sys.argv[5])
imp = json.load(open(sys.argv[6]))
look, find = keys(sys.argv[7]), keys(sys.argv[8])
rows = []
def row(what, target, ours, peer, ratio, ok):
    rows.append((what, target, ours, peer, ratio, 'PASS' if ok else 'MISS'))
if win:
    q, b = win['quillary'], win['bare']
    r = q['start'] / b['start']
    row(f"start to mapped window (median of {win['runs']})", '<= 1.25x peer',
        f"{q['start']:.3f} s", f"{b['start']:.3f} s", f"{r:.2f}", r <= 1.25)
    mb = lambda kb: kb * 1024 / 1e6
    row('resident memory, record shown (VmRSS)', '<= 60 MB', f"{mb(q['rss']):.1f} MB",
        f"{mb(b['rss']):.1f} MB", f"{q['rss'] / b['rss']:.2f}", mb(q['rss']) <= 60)
    row('  peak resident memory (VmHWM)', '', f"{mb(q['hwm']):.1f} MB",
        f"{mb(b['hwm']):.1f} MB", f"{q['hwm'] / b['hwm']:.2f}", mb(q['hwm']) <= 60)
cm, cp = click['click_median'], click['click_p95']
row(f"click to painted record, median ({int(click['clicks'])} rows)", '<= 20 ms',
    f"{cm:.2f} ms", f"{click['peer_median']:.2f} ms", f"{cm / click['peer_median']:.2f}", cm <= 20)
row('click to painted record, p95', '<= 20 ms', f"{cp:.2f} ms", f"{click['peer_p95']:.2f} ms",
    f"{cp / click['peer_p95']:.2f}", cp <= 20)
js, jl = jump['small_median'], jump['large_median']
r = jl / js
row(f"open, jump to last row, paint: 1M vs 1k", '<= 1.5x 1k', f"{jl:.2f} ms", f"{js:.2f} ms",
    f"{r:.2f}", r <= 1.5)
# Both imports must have made the same book, or the times say nothing.
r = imp['window_s'] / imp['peer_s']
row(f"import from the window (median of {imp['runs']})", '<= 1.10x peer',
    f"{imp['window_s']:.3f} s", f"{imp['peer_s']:.3f} s", f"{r:.2f}", r <= 1.10 and imp['same_book'])
row(f"progress paints during import, longest gap", '<= 250 ms', f"{imp['gap_ms']:.0f} ms", '', '',
    imp['gap_ms'] <= 250)
row(f"lookup offer on {int(look['subjects'])} subjects, first list (worst of {int(look['texts'])})",
    '<= 100 ms', f"{look['first_max']:.1f} ms", f"{look['findsubject_ms']:.2f} ms",
    f"{look['first_max'] / look['findsubject_ms']:.0f}", look['first_max'] <= 100)
row('  final list after the whole-book scan, median', '', f"{look['final_median']:.0f} ms", '', '', True)
row('  event loop stall meanwhile, longest', '<= 50 ms', f"{look['stall_max']:.1f} ms", '', '',
    look['stall_max'] <= 50)
row('Find on worker threads, term absent (median)', 'window answers', f"{find['threaded_median']:.1f} ms",
    f"{find['plain_median']:.1f} ms", f"{find['threaded_median'] / find['plain_median']:.2f}", True)
row('  event loop stall meanwhile, longest', '<= 50 ms', f"{find['stall_max']:.1f} ms",
    f"{find['plain_median']:.1f} ms", f"{find['stall_max'] / find['plain_median']:.2f}",
    find['stall_max'] <= 50)
print(f"book {name}: {int(click['rows'])} subjects; generated books of "
      f"{int(jump['small_rows'])} and {int(jump['large_rows'])} entries")
print("peers: start-up and memory: bare_qt_window (1M-row table, text browser, same window size);")
print("       click: a bare QTextBrowser given the same page (setHtml + paint)")
print("       import: qlbook import --format tab of the same text (its whole run)")
print("       lookup: FindSubject of the same texts; Find: the plain walk on the window's thread,")
print("       whose whole time is a stall of the window")
w = [max(len(r[i]) for r in rows + [('', 'target', 'measured', 'peer', 'ratio', '')]) for i in range(6)]
print(f"  {'':{w[0]}}  {'target':{w[1]}}  {'measured':>{w[2]}}  {'peer':>{w[3]}}  {'ratio':>{w[4]}}")
for r in rows:
    print(f"  {r[0]:{w[0]}}  {r[1]:{w[1]}}  {r[2]:>{w[2]}}  {r[3]:>{w[3]}}  {r[4]:>{w[4]}}  {r[5]}")
print(f"  (click until the list's own repaint is done too: median "
      f"{click['click_settled_median']:.2f} ms, p95 {click['click_settled_p95']:.2f} ms)")
if win:
    for who, label in (('quillary', 'quillary'), ('bare', 'bare window')):
        print(f"  start samples, {label}: " + ' '.join(f"{t:.3f}" for t in sorted(win[who]['starts'])) +
              f" s; CPU time until mapped, median {win[who]['cpu']:.2f} s")
print(f"  start inside the process, medians (offscreen, warm): make window "
      f"{start['make_median']:.1f} ms, open book {start['open_median']:.1f} ms, show and paint "
      f"{start['show_median']:.1f} ms; bare window: make {start['bare_make_median']:.1f} ms, "
      f"show and paint {start['bare_show_median']:.1f} ms")
print(f"  import from the window, medians: {imp['results_s']:.3f} s to the results, "
      f"{imp['window_s'] - imp['results_s']:.3f} s more to open the new book "
      f"({int(imp['subjects'])} subjects); {imp['paints']:.0f} paints of the bar over "
      f"{imp['shown_ms']:.0f} ms on screen, the last {imp['last_paint_ms']:.0f} ms after the start; "
      f"longest gap, worst run: {imp['gap_max_ms']:.0f} ms")
print("  import samples, window: " + ' '.join(f"{t:.3f}" for t in sorted(imp['window_samples'])) +
      " s; qlbook: " + ' '.join(f"{t:.3f}" for t in sorted(imp['peer_samples'])) + " s")
if not imp['same_book']:
    print("  the window's book differs from qlbook's: the import times are not comparable")
PY
