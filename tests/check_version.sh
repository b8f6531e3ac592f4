#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Copyright (C) 2026 The Quillary developers
# Every program prints the project's one version without a display (and the
# window its help), and the files that carry it by hand (AppStream releases,
# the package's changelog, CHANGELOG.md) and the manual pages name the same.
# Usage: check_version.sh VERSION BUILD_DIR SOURCE_DIR
set -euo pipefail
version=$1 build=$2 source=$3
fail=0
check() {  # what, got, wanted
  if [ "$2" != "$3" ]; then
    echo "$1: '$2', wanted '$3'"
    fail=1
  fi
}
programs=(qlbook assocnotify)
[ -x "$build/bin/quillary" ] && programs+=(quillary)
for p in "${programs[@]}"; do
  got=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$build/bin/$p" --version) ||
    { echo "$p --version failed"; fail=1; }
  check "$p --version" "$got" "$p $version"
done
# The window's help, too, needs no display.
if [ -x "$build/bin/quillary" ]; then
  help=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM LANGUAGE=en LC_ALL=C \
    "$build/bin/quillary" --help) ||
    { echo "quillary --help failed"; fail=1; }
  check "quillary --help, first word" "${help%% *}" "Usage:"
fi
release=$(grep -o -m1 '<release version="[^"]*"' "$source/data/org.quillary.Quillary.metainfo.xml")
check "newest AppStream release" "${release#*=}" "\"$version\""
check "debian/changelog" "$(sed -n '1s/^quillary (\([^)]*\)).*/\1/p' "$source/debian/changelog")" "$version"
check "CHANGELOG.md" "$(grep -m1 -o '^## [0-9][^ ]*' "$source/CHANGELOG.md")" "## $version"
for page in "$build"/data/man/*.1; do
  [ -e "$page" ] || continue
  check "$(basename "$page")" "$(grep -c "\"Quillary $version\"" "$page")" 1
done
[ $fail = 0 ] && echo "one version everywhere: $version"
exit $fail
