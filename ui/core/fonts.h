// The typeface and size choices of the font bar, and what a change does to
// the list font, the page font and the record on show.
#pragma once

#include <array>
#include <string_view>

#include "desktop.h"
#include "document.h"

namespace ql {

inline constexpr std::array<std::string_view, 3> kFontFaces = {"Arial", "Times New Roman",
                                                               "Courier New"};
inline constexpr std::array<std::string_view, 3> kFontSizes = {"Small", "Medium", "Large"};

struct FontChoice {
  int iFontFaceIndex = 0;  // Arial
  int iFontSizeIndex = 1;  // Medium
};

// Cell height of the list font: 14, 18 or 22 pixels.
constexpr int ListFontHeight(int sizeIndex) {
  return sizeIndex * 4 + 14;
}
// Font size the page is rendered with: 2, 3 or 4.
constexpr int PageFontSize(int sizeIndex) {
  return sizeIndex + 2;
}

// A selection in one of the two lists (even the one already selected): the
// list font is made again, the reader's page font follows, and the selected
// record is shown again. Indexes out of range are ignored.
void ChangeFont(Document& doc, Desktop& desktop, FontChoice& choice, int faceIndex, int sizeIndex);

}  // namespace ql
