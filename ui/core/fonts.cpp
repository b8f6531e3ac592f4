#include "fonts.h"

#include <string>

namespace ql {

namespace {

bool InRange(int index, size_t size) {
  return index >= 0 && static_cast<size_t>(index) < size;
}

}  // namespace

void ChangeFont(Document& doc, Desktop& desktop, FontChoice& choice, int faceIndex, int sizeIndex) {
  if (InRange(faceIndex, kFontFaces.size())) choice.iFontFaceIndex = faceIndex;
  if (InRange(sizeIndex, kFontSizes.size())) choice.iFontSizeIndex = sizeIndex;
  const std::string_view face = kFontFaces[static_cast<size_t>(choice.iFontFaceIndex)];
  desktop.SetListFont(face, ListFontHeight(choice.iFontSizeIndex));
  BookReader& reader = doc.Reader();
  reader.iFontFace = std::string(face);
  reader.iFontSize = PageFontSize(choice.iFontSizeIndex);
  // The record on show takes the new page font; with no book there is none.
  const int mark = desktop.SelectionMark();
  if (doc.iBookOpen && mark >= 0 && mark < doc.RowCount()) desktop.ShowRecord(mark, -1, -1, false);
}

}  // namespace ql
