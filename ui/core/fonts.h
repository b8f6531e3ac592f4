// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// The typeface and size choices of the font bar, and what a change does to
// the list font, the page font and the record on show.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>

#include "desktop.h"
#include "document.h"

namespace ql {

inline constexpr std::array<std::string_view, 3> kFontFaces = {"Arial", "Times New Roman",
                                                               "Courier New"};
inline constexpr std::array<std::string_view, 3> kFontSizes = {"Small", "Medium", "Large"};

// Zoom steps in percent, for the list and the page alike: finer and wider
// than the three sizes.
inline constexpr std::array<int, 13> kZoomSteps = {50,  67,  75,  80,  90,  100, 110,
                                                   125, 150, 175, 200, 250, 300};
inline constexpr int kDefaultZoomStep = 5;  // 100%

struct FontChoice {
  int iFontFaceIndex = 0;  // Arial
  int iFontSizeIndex = 1;  // Medium
  int iZoomStep = kDefaultZoomStep;
};

// What the settings hold of the user's own choices; each is absent until the
// user changes it, so a first run starts at Arial, Medium, 100%.
struct StoredFontChoice {
  std::optional<std::string> face;  // a name from kFontFaces
  std::optional<std::string> size;  // a name from kFontSizes
  std::optional<int> zoomPercent;   // one of kZoomSteps
};

// The choice the stored values give; a value that is not one of the choices
// (an old or hand-edited settings file) leaves the default in its place.
FontChoice RestoreFontChoice(const StoredFontChoice& stored);

int ZoomPercent(const FontChoice& choice);

// Cell height of the list font: 14, 18 or 22 pixels.
constexpr int ListFontHeight(int sizeIndex) {
  return sizeIndex * 4 + 14;
}
// The list's cell height at a zoom: the size's height scaled, never below
// 6 pixels.
int ZoomedListHeight(int sizeIndex, int zoomStep);
// Font size the page is rendered with: 2, 3 or 4.
constexpr int PageFontSize(int sizeIndex) {
  return sizeIndex + 2;
}

// A selection in one of the two lists (even the one already selected): the
// list font is made again, the document's render options follow, and the selected
// record is shown again. Indexes out of range are ignored.
void ChangeFont(Document& doc, Desktop& desktop, FontChoice& choice, int faceIndex, int sizeIndex);

enum class Zoom { kIn, kOut, kReset };
// Zoom in or out a step, or back to 100%: the list font is made again at the
// new scale. False when the zoom is already at that end (nothing changes);
// the page follows ZoomPercent on the desktop's side.
bool ChangeZoom(Desktop& desktop, FontChoice& choice, Zoom zoom);

}  // namespace ql
