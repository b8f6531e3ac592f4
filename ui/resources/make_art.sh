#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Copyright (C) 2026 The Quillary developers
# Draws the program's pictures (icon, About picture, start page images) with
# ImageMagick. The PNGs are kept in the tree; run this only to change them.
set -euo pipefail
cd "$(dirname "$0")"
F=/usr/share/fonts/truetype/liberation2/LiberationSerif-Bold.ttf
FI=/usr/share/fonts/truetype/liberation2/LiberationSerif-Italic.ttf
quill='fill #6b3d1f stroke #3b2210 stroke-width 2 path "M 20,108 C 40,70 70,30 112,8 C 100,40 80,70 40,96 Z" stroke #3b2210 stroke-width 3 line 20,108 8,122 stroke #f3e6c4 stroke-width 1.5 line 24,102 104,16'
convert -size 128x128 xc:none -draw "$quill" quill.png
book='fill #f8f1dc stroke #5a4a2a stroke-width 2 path "M 64,30 C 50,22 26,20 8,24 L 8,104 C 26,100 50,102 64,110 Z" path "M 64,30 C 78,22 102,20 120,24 L 120,104 C 102,100 78,102 64,110 Z" stroke #9a8a6a stroke-width 1.5 line 18,40 54,42 line 18,52 54,54 line 18,64 54,66 line 18,76 50,78 line 74,42 110,40 line 74,54 110,52 line 74,66 110,64 line 74,78 106,76'
convert -size 128x128 xc:none -draw "$book" book.png
lens='fill none stroke #2d4a6b stroke-width 8 circle 54,54 54,20 stroke #2d4a6b stroke-width 12 line 80,80 116,116 fill #cfe0f088 stroke none circle 54,54 54,24'
convert -size 128x128 xc:none -draw "$lens" lens.png
convert -size 64x64 xc:none \( book.png -resize 64x64 \) -composite \
  \( quill.png -resize 44x44 \) -geometry +18+0 -composite quillary.png
convert -size 480x300 gradient:'#fbf5e3'-'#e9dcb8' \
  \( book.png -resize 200x200 \) -geometry +40+50 -composite \
  \( quill.png -resize 150x150 \) -geometry +150+20 -composite \
  -font $F -pointsize 44 -fill '#4a2f14' -annotate +270+150 'Quillary' \
  -font $FI -pointsize 16 -fill '#6b5434' -annotate +272+180 'the reader for big books' \
  -colors 128 PNG8:about.png
convert -size 8x8 xc:'#fbf6e8' background.png
# Tool bar icons (32x32, shown at 16): a folder, a printer, an "i".
convert -size 32x32 xc:none -draw 'fill #e8b450 stroke #8a5a10 stroke-width 2 path "M 3,9 L 12,9 L 15,12 L 29,12 L 29,27 L 3,27 Z"' \
  -draw 'fill #f6d27a stroke #8a5a10 stroke-width 2 path "M 3,27 L 7,15 L 31,15 L 29,27 Z"' open.png
convert -size 32x32 xc:none -draw 'fill #ffffff stroke #444444 stroke-width 2 rectangle 9,3 23,13' \
  -draw 'fill #9aa4ae stroke #3a4450 stroke-width 2 roundrectangle 3,12 29,24 3,3' \
  -draw 'fill #ffffff stroke #444444 stroke-width 2 rectangle 9,20 23,29' \
  -draw 'stroke #888888 stroke-width 1 line 12,23 20,23 line 12,26 20,26' print.png
convert -size 32x32 xc:none -draw 'fill #2d6fb0 stroke #1d4f80 stroke-width 2 circle 16,16 16,2' \
  -draw 'fill #ffffff stroke none circle 16,9 16,6.5 rectangle 14,13 18,25' about-icon.png
