# SPDX-License-Identifier: GPL-3.0-or-later
# Copyright (C) 2026 The Quillary developers
# The 200-book library the library and full-text benchmarks share; sourced,
# with $work (absolute), $qlbook and $QL_CORPORA set.
# The words looked up: in WordNet, and in half of the generated books.
words="house water light stone paper iron music table garden river \
letter window bread money horse silver winter cloud bridge island"

# The library, made once: $work/many is a home with 200 books in its books
# folder, $work/one a home with WordNet's book alone.
make_library() {
  local books=$work/many/data/quillary/books
  [ -f "$work/many/.complete" ] && return
  rm -rf "$work/many" "$work/one"
  mkdir -p "$books" "$work/many/config" "$work/one/data/quillary/books" "$work/one/config"
  local c
  for c in wn foldoc jargon devil; do
    if [ -f "${QL_CORPORA:-}/$c.tsv" ]; then
      "$qlbook" import "$QL_CORPORA/$c.tsv" "$books/corpus-$c.ql" --format tab >/dev/null
    fi
  done
  local d
  for d in /usr/share/dictd/*.index; do
    [ -e "$d" ] || continue
    "$qlbook" import "$d" "$books/dictd-$(basename "$d" .index).ql" >/dev/null 2>&1 || true
  done
  local have
  have=$(find "$books" -name '*.ql' | wc -l)
  python3 - "$work/gen" "$((200 - have))" "${QL_CORPORA:-}/wn.tsv" $words <<'PY'
import os, random, sys
out, count, wn, words = sys.argv[1], int(sys.argv[2]), sys.argv[3], sys.argv[4:]
os.makedirs(out, exist_ok=True)
rng = random.Random(5)
if os.path.isfile(wn):
    subjects = sorted({line.split(b'\t', 1)[0] for line in open(wn, 'rb') if b'\t' in line})
else:
    syl = [b'ba', b'ce', b'di', b'fo', b'gu', b'ha', b'ke', b'li', b'mo', b'nu', b'pa', b're']
    subjects = sorted({b''.join(rng.choice(syl) for _ in range(rng.randint(2, 4)))
                       for _ in range(150000)})
fold = lambda s: s.translate(bytes.maketrans(b'ABCDEFGHIJKLMNOPQRSTUVWXYZ',
                                             b'abcdefghijklmnopqrstuvwxyz'))
letters = b'abcdefghijklmnopqrstuvwxyz'
for i in range(count):
    chosen = set(rng.sample(subjects, 10000 - len(words)))
    if i % 2 == 0:
        chosen.update(w.encode() for w in words)
    rows = []
    for s in sorted(chosen, key=lambda s: (fold(s), s)):
        text = b' '.join(bytes(rng.choice(letters) for _ in range(rng.randint(2, 9)))
                         for _ in range(rng.randint(12, 40)))
        rows.append(s + b'\tnoun<br>  1: ' + text + b' <a:' + rng.choice(subjects) +
                    b'>see also</a>\r\n')
    with open(os.path.join(out, f'gen-{i:03d}.tsv'), 'wb') as f:
        f.writelines(rows)
PY
  local t
  for t in "$work"/gen/gen-*.tsv; do
    "$qlbook" import "$t" "$books/$(basename "$t" .tsv).ql" --format tab >/dev/null
  done
  rm -rf "$work/gen"
  local one=$books/corpus-wn.ql
  [ -f "$one" ] || one=$(find "$books" -name '*.ql' | sort | head -1)
  cp "$one" "$work/one/data/quillary/books/"
  touch "$work/many/.complete"
}
