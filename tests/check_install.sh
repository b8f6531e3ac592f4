#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Copyright (C) 2026 The Quillary developers
# The install puts every piece in place, and the desktop then knows books by
# name and by content; assocnotify rebuilds the user's caches and exits 0
# whatever its arguments. Usage: check_install.sh BUILD_DIR
set -euo pipefail
build=$1
for tool in update-mime-database update-desktop-database xdg-mime mimetype rsvg-convert scdoc; do
  if ! command -v "$tool" >/dev/null; then
    echo "skipped: $tool is not installed (scripts/deps installs it)"
    exit 77
  fi
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix
# An install over an earlier build takes that build's entry away.
mkdir -p "$prefix/share/applications"
printf '[Desktop Entry]\nExec=quillary %%f\nMimeType=application/x-quillary;\n' \
  >"$prefix/share/applications/quillary.desktop"
cmake --install "$build" --prefix "$prefix" >/dev/null
[ ! -e "$prefix/share/applications/quillary.desktop" ] ||
  { echo "the entry of earlier builds is still there"; exit 1; }

id=org.quillary.Quillary
expected=(
  bin/quillary bin/qlbook libexec/quillary/assocnotify
  share/quillary/manual.ql
  share/mime/packages/quillary.xml
  share/applications/$id.desktop
  share/metainfo/$id.metainfo.xml
  share/icons/hicolor/scalable/apps/$id.svg
  share/icons/hicolor/scalable/mimetypes/application-x-quillary.svg
  share/man/man1/quillary.1 share/man/man1/qlbook.1 share/man/man1/assocnotify.1
  share/bash-completion/completions/qlbook
  share/zsh/vendor-completions/_qlbook
  share/fish/vendor_completions.d/qlbook.fish
  lib/systemd/user/quillary-serve.service
)
for size in 16 24 32 48 64 128 256; do
  expected+=(share/icons/hicolor/${size}x$size/apps/$id.png
    share/icons/hicolor/${size}x$size/mimetypes/application-x-quillary.png)
done
for f in "${expected[@]}"; do
  [ -f "$prefix/$f" ] || { echo "missing after install: $f"; exit 1; }
done
# Each rendered icon is as large as its folder says.
for size in 16 256; do
  file "$prefix/share/icons/hicolor/${size}x$size/apps/$id.png" | grep -q "$size x $size" ||
    { echo "icon of the wrong size in ${size}x$size"; exit 1; }
done
# The AppStream data as a software centre reads it: its entry and icon are there.
if command -v appstreamcli >/dev/null; then
  appstreamcli validate-tree --no-net "$prefix" >/dev/null ||
    { appstreamcli validate-tree --no-net --explain "$prefix"; exit 1; }
fi
grep -q '^MimeType=application/x-quillary;' "$prefix/share/applications/$id.desktop"
grep -q '^Exec=quillary %F' "$prefix/share/applications/$id.desktop"

# The type by glob and, for a book under another name, by its header words.
update-mime-database "$prefix/share/mime" 2>/dev/null
cp "$prefix/share/quillary/manual.ql" "$work/book-without-extension"
for book in "$prefix/share/quillary/manual.ql" "$work/book-without-extension"; do
  type=$(XDG_DATA_HOME=$work/none XDG_DATA_DIRS=$prefix/share xdg-mime query filetype "$book")
  [ "$type" = application/x-quillary ] || { echo "$book: $type"; exit 1; }
done
# A plain text file is not taken for a book.
echo "hello" >"$work/note.txt"
type=$(XDG_DATA_HOME=$work/none XDG_DATA_DIRS=$prefix/share xdg-mime query filetype "$work/note.txt")
[ "$type" != application/x-quillary ] || { echo "text taken for a book"; exit 1; }

# assocnotify in a data home of its own: both caches rebuilt, exit 0.
data=$work/data
mkdir -p "$data/mime/packages" "$data/applications"
cp "$prefix/share/mime/packages/quillary.xml" "$data/mime/packages/"
cp "$prefix/share/applications/$id.desktop" "$data/applications/"
XDG_DATA_HOME=$data HOME=$work "$prefix/libexec/quillary/assocnotify" --ignored argument
[ -f "$data/mime/mime.cache" ] || { echo "assocnotify: no mime cache"; exit 1; }
grep -q "application/x-quillary=$id.desktop" "$data/applications/mimeinfo.cache" ||
  { echo "assocnotify: no desktop cache"; exit 1; }
# With nothing to rebuild it still ends quietly with 0.
out=$(XDG_DATA_HOME=$work/empty HOME=$work "$prefix/libexec/quillary/assocnotify" 2>&1)
[ -z "$out" ]
echo "install: all pieces in place; books known by name and content; caches rebuilt"
