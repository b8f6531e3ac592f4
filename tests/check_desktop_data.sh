#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Copyright (C) 2026 The Quillary developers
# The desktop's data and the manual pages as their own tools read them: the
# desktop entry, the AppStream data (no network), the manual pages through
# groff with every warning and through man, and the shell completions' syntax.
# Usage: check_desktop_data.sh BUILD_DIR SOURCE_DIR
set -euo pipefail
build=$1 source=$2
for tool in desktop-file-validate appstreamcli groff man bash zsh fish; do
  if ! command -v "$tool" >/dev/null; then
    echo "skipped: $tool is not installed (scripts/deps package installs it)"
    exit 77
  fi
done
fail=0
say() { echo "$*"; fail=1; }
data=$source/data
out=$(desktop-file-validate "$data/org.quillary.Quillary.desktop" 2>&1) || say "desktop entry: $out"
[ -z "$out" ] || say "desktop entry: $out"
appstreamcli validate --no-net --explain "$data/org.quillary.Quillary.metainfo.xml" >/dev/null 2>&1 ||
  say "metainfo: $(appstreamcli validate --no-net --explain "$data/org.quillary.Quillary.metainfo.xml")"
pages=("$build"/data/man/*.1)
[ ${#pages[@]} = 3 ] && [ -e "${pages[0]}" ] || say "manual pages: ${pages[*]}"
for page in "${pages[@]}"; do
  [ -e "$page" ] || continue
  warnings=$(LC_ALL=C.UTF-8 groff -ww -z -man -Tutf8 "$page" 2>&1)
  [ -z "$warnings" ] || say "$(basename "$page"): $warnings"
  text=$(LC_ALL=C.UTF-8 MANWIDTH=80 man -l "$page" 2>&1) || say "man -l $(basename "$page") failed"
  grep -q '^NAME' <<<"$text" || say "$(basename "$page"): man -l shows no NAME section"
done
bash -n "$data/completions/qlbook.bash" || say "bash completion"
zsh -n "$data/completions/_qlbook" || say "zsh completion"
fish -n "$data/completions/qlbook.fish" || say "fish completion"
[ $fail = 0 ] && echo "desktop entry, AppStream data, manual pages and completions are clean"
exit $fail
