#include "text_case.h"

#include "record_markup.h"

namespace ql {

std::string LowerCaseCp1252(std::string_view text) {
  std::string lower(text);
  LowerCaseInto(reinterpret_cast<const uint8_t*>(text.data()),
                reinterpret_cast<uint8_t*>(lower.data()), lower.size());
  return lower;
}

void LowerCaseInto(const uint8_t* src, uint8_t* dst, size_t size) {
  // A plain table loop; compilers unroll it well and it stays far ahead of
  // the block decoder that feeds it.
  for (size_t i = 0; i < size; ++i) dst[i] = kLowerCp1252[src[i]];
}

bool IsWholeWord(std::string_view text, size_t hit, size_t length) {
  if (hit > text.size() || length > text.size() - hit) return false;
  if (hit > 0 && IsWordLetter(static_cast<uint8_t>(text[hit - 1]))) return false;
  size_t end = hit + length;
  if (end < text.size() && IsWordLetter(static_cast<uint8_t>(text[end]))) return false;
  return true;
}

bool IsInsideLink(std::string_view text, size_t hit) {
  if (hit > text.size()) return false;
  // i runs from hit - 1 down to the nearest TAB above byte 0, or to byte 0;
  // the byte after it tells whether a link starts there. For a hit at 0 the
  // walk does not run and the byte looked at is the hit's own first byte.
  size_t i = hit == 0 ? 0 : hit - 1;
  bool atStart = hit == 0;
  while (!atStart && i > 0 && static_cast<uint8_t>(text[i]) != kTagByte) --i;
  size_t next = atStart ? 0 : i + 1;
  return next < text.size() && static_cast<uint8_t>(text[next]) == kTagLinkStart;
}

}  // namespace ql
