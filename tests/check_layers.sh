#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Copyright (C) 2026 The Quillary developers
# The layers below the window stay apart:
# - The libraries and the flows stay plain C++: Qt is included under ui/ only,
#   and not in ui/core, whose logic the tests run without a window.
# - Nothing below ui/ links the conversion library (ql_convert, or its flows,
#   ql_flows) unless one of its own sources includes a header of it: reaching
#   the document or the desktop is the session's job (ql_session).
set -euo pipefail
cd "$(dirname "$0")/.."
status=0
below=()
for d in engine fulltext session serve convert handheld cli ui/core; do
  [ -d "$d" ] && below+=("$d")
done

found=$(grep -rlE '^\s*#\s*include\s*<Q[A-Za-z]' "${below[@]}" || true)
if [ -n "$found" ]; then
  echo "Qt included outside the desktop layer:"
  echo "$found"
  status=1
else
  echo "layers: no Qt below ui/"
fi

# The conversion libraries, each with the folder that holds its headers.
declare -A conversion=([ql_convert]=convert [ql_flows]=convert/flows)

# Each CMakeLists below ui/, flattened to one line without comments.
flat() { sed 's/#.*//' "$1" | tr '\n' ' '; }
below_ui=$(find "${below[@]}" -name CMakeLists.txt | sort)

# The names the headers of a folder can be included by.
headers_of() { find "$1" -maxdepth 1 -name '*.h' -printf '%f\n' | sort -u; }

# True when one of the sources (or the header beside each) includes one of
# the headers named on stdin.
includes_any() {
  local dir=$1
  shift
  local wanted
  wanted=$(cat)
  [ -n "$wanted" ] || return 1
  local src files=()
  for src in "$@"; do
    [ -f "$dir/$src" ] && files+=("$dir/$src")
    [ -f "$dir/${src%.*}.h" ] && files+=("$dir/${src%.*}.h")
  done
  [ ${#files[@]} -gt 0 ] || return 1
  grep -hoE '^\s*#\s*include\s*"[^"]+"' "${files[@]}" | sed -E 's/.*"([^"]+)".*/\1/' |
    xargs -r -n1 basename | sort -u | grep -qxF -f <(echo "$wanted")
}

linked=0
for cml in $below_ui; do
  dir=$(dirname "$cml")
  text=$(flat "$cml")
  while read -r block; do
    [ -n "$block" ] || continue
    # shellcheck disable=SC2086
    set -- $(sed -E 's/^add_(library|executable)\(//; s/\)$//' <<<"$block")
    target=$1
    shift
    sources=()
    for word in "$@"; do
      case "$word" in *.cpp) sources+=("$word") ;; esac
    done
    links=$(grep -oE "target_link_libraries\(\s*$target\s[^)]*\)" <<<"$text" || true)
    for lib in "${!conversion[@]}"; do
      [ "$lib" != "$target" ] || continue
      grep -qE "(\s|\()$lib(\s|\))" <<<"$links" || continue
      linked=$((linked + 1))
      if ! headers_of "${conversion[$lib]}" | includes_any "$dir" "${sources[@]}"; then
        echo "$target ($cml) links $lib but none of its sources includes a header of it"
        status=1
      fi
    done
  done < <(grep -oE 'add_(library|executable)\([^)]*\)' <<<"$text" || true)
done
if [ "$status" -eq 0 ]; then
  echo "layers: the $linked links to the conversion library below ui/ all include it"
fi
exit "$status"
