// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
#include "fonts.h"

#include <algorithm>
#include <cmath>
#include <string>

namespace ql {

namespace {

bool InRange(int index, size_t size) {
  return index >= 0 && static_cast<size_t>(index) < size;
}

template <size_t N>
int IndexOf(const std::array<std::string_view, N>& names, const std::optional<std::string>& name,
            int fallback) {
  if (!name) return fallback;
  const auto it = std::find(names.begin(), names.end(), *name);
  return it == names.end() ? fallback : static_cast<int>(it - names.begin());
}

void ApplyListFont(Desktop& desktop, const FontChoice& choice) {
  desktop.SetListFont(kFontFaces[static_cast<size_t>(choice.iFontFaceIndex)],
                      ZoomedListHeight(choice.iFontSizeIndex, choice.iZoomStep));
}

}  // namespace

FontChoice RestoreFontChoice(const StoredFontChoice& stored) {
  FontChoice choice;
  choice.iFontFaceIndex = IndexOf(kFontFaces, stored.face, choice.iFontFaceIndex);
  choice.iFontSizeIndex = IndexOf(kFontSizes, stored.size, choice.iFontSizeIndex);
  if (stored.zoomPercent) {
    const auto it = std::find(kZoomSteps.begin(), kZoomSteps.end(), *stored.zoomPercent);
    if (it != kZoomSteps.end()) choice.iZoomStep = static_cast<int>(it - kZoomSteps.begin());
  }
  return choice;
}

int ZoomPercent(const FontChoice& choice) {
  return InRange(choice.iZoomStep, kZoomSteps.size())
             ? kZoomSteps[static_cast<size_t>(choice.iZoomStep)]
             : 100;
}

int ZoomedListHeight(int sizeIndex, int zoomStep) {
  const int percent =
      InRange(zoomStep, kZoomSteps.size()) ? kZoomSteps[static_cast<size_t>(zoomStep)] : 100;
  const int height = static_cast<int>(std::lround(ListFontHeight(sizeIndex) * percent / 100.0));
  return std::max(height, 6);
}

bool ChangeZoom(Desktop& desktop, FontChoice& choice, Zoom zoom) {
  int step = choice.iZoomStep;
  const int last = static_cast<int>(kZoomSteps.size()) - 1;
  switch (zoom) {
    case Zoom::kIn:
      step = std::min(step + 1, last);
      break;
    case Zoom::kOut:
      step = std::max(step - 1, 0);
      break;
    case Zoom::kReset:
      step = kDefaultZoomStep;
      break;
  }
  if (step == choice.iZoomStep) return false;
  choice.iZoomStep = step;
  ApplyListFont(desktop, choice);
  return true;
}

void ChangeFont(Document& doc, Desktop& desktop, FontChoice& choice, int faceIndex, int sizeIndex) {
  if (InRange(faceIndex, kFontFaces.size())) choice.iFontFaceIndex = faceIndex;
  if (InRange(sizeIndex, kFontSizes.size())) choice.iFontSizeIndex = sizeIndex;
  const std::string_view face = kFontFaces[static_cast<size_t>(choice.iFontFaceIndex)];
  ApplyListFont(desktop, choice);
  doc.SetOptions({std::string(face), PageFontSize(choice.iFontSizeIndex)});
  // The record on show takes the new page font; with no book there is none.
  const int mark = desktop.SelectionMark();
  if (doc.IsOpen() && mark >= 0 && mark < doc.RowCount()) desktop.ShowRecord(mark, -1, -1, false);
}

}  // namespace ql
