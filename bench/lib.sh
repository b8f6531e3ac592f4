# SPDX-License-Identifier: GPL-3.0-or-later
# Copyright (C) 2026 The Quillary developers
# Shared by the bench/run_*.sh scripts; sourced, not run.

# Prints the path of the dictionary the benchmarks read: WordNet's
# tab-separated text from $QL_CORPORA when it is there, else a generated
# dictionary of pseudo-words of about the same shape (CR LF lines, a line
# break and a link in every entry), made once in the work folder $1.
bench_source_tsv() {
  local work=$1
  if [ -f "${QL_CORPORA:-}/wn.tsv" ]; then
    echo "$QL_CORPORA/wn.tsv"
    return
  fi
  local generated=$work/generated.tsv
  if [ ! -f "$generated" ]; then
    awk 'BEGIN {
      srand(7); split("a e i o u y", v, " "); split("b c d f g h k l m n p r s t v w", c, " ");
      for (i = 0; i < 150000; i++) {
        t = "noun<br>    1: "; n = 20 + int(rand() * 40);
        for (j = 0; j < n; j++) {
          w = ""; l = 1 + int(rand() * 4);
          for (k = 0; k < l; k++) w = w c[1 + int(rand() * 16)] v[1 + int(rand() * 6)];
          t = t w " ";
        }
        printf "word%06d\t%s<a:word%06d>see also</a>\r\n", i, t, int(rand() * 150000);
      }
    }' >"$generated"
  fi
  echo "$generated"
}
