#include "block_filter.h"

#include <algorithm>
#include <bit>

#include "unicode_text.h"

namespace ql {

namespace {

bool IsWordByte(uint8_t b) {
  return b >= 0x80 || (b >= '0' && b <= '9') || (b >= 'a' && b <= 'z') || (b >= 'A' && b <= 'Z');
}

// The bit of trigram (a, b, c) in a filter of 2^shift bits.
uint32_t TrigramBit(uint8_t a, uint8_t b, uint8_t c, int shift) {
  const uint32_t v = uint32_t{a} | uint32_t{b} << 8 | uint32_t{c} << 16;
  return static_cast<uint32_t>(v * 2654435761u) >> (32 - shift);
}

int ShiftOf(size_t bytes) {
  return std::countr_zero(bytes) + 3;
}

}  // namespace

uint32_t BlockFilterCheck(const uint8_t* filter, size_t bytes) {
  // FNV-1a.
  uint32_t h = 2166136261u;
  for (size_t i = 0; i < bytes; ++i) h = (h ^ filter[i]) * 16777619u;
  return h;
}

BlockFilterBuilder::BlockFilterBuilder(size_t bytes) : iBits(bytes), iShift(ShiftOf(bytes)) {}

void BlockFilterBuilder::AddFolded(std::string_view folded) {
  for (char ch : folded) {
    const auto b = static_cast<uint8_t>(ch);
    iRun = IsWordByte(b) ? iRun + 1 : 0;
    if (iRun >= 3) {
      const uint32_t bit = TrigramBit(iLast[0], iLast[1], b, iShift);
      iBits[bit >> 3] |= static_cast<uint8_t>(1u << (bit & 7));
    }
    iLast[0] = iLast[1];
    iLast[1] = b;
  }
}

void BlockFilterBuilder::Add(std::string_view piece) {
  iPending.append(piece);
  // Fold up to the last byte that starts a character or stands alone among
  // the last four (every byte that is no continuation byte starts a unit):
  // what follows may be the start of a character cut by the piece's end.
  size_t cut = iPending.size();
  for (size_t k = 1; k <= 4 && k <= iPending.size(); ++k) {
    if ((static_cast<uint8_t>(iPending[iPending.size() - k]) & 0xC0) != 0x80) {
      cut = iPending.size() - k;
      break;
    }
  }
  if (cut == 0) return;
  AddFolded(FoldUtf8(std::string_view(iPending).substr(0, cut)));
  iPending.erase(0, cut);
}

void BlockFilterBuilder::EndText() {
  AddFolded(FoldUtf8(iPending));
  iPending.clear();
  iRun = 0;
}

void BlockFilterBuilder::Clear() {
  std::fill(iBits.begin(), iBits.end(), 0);
  iPending.clear();
  iRun = 0;
}

BlockFilterProbe::BlockFilterProbe(std::string_view foldedTerm, size_t bytes) {
  const int shift = ShiftOf(bytes);
  size_t run = 0;
  for (size_t i = 0; i < foldedTerm.size(); ++i) {
    run = IsWordByte(static_cast<uint8_t>(foldedTerm[i])) ? run + 1 : 0;
    if (run >= 3)
      iBits.push_back(TrigramBit(static_cast<uint8_t>(foldedTerm[i - 2]),
                                 static_cast<uint8_t>(foldedTerm[i - 1]),
                                 static_cast<uint8_t>(foldedTerm[i]), shift));
  }
  std::sort(iBits.begin(), iBits.end());
  iBits.erase(std::unique(iBits.begin(), iBits.end()), iBits.end());
}

bool BlockFilterProbe::MayHold(const uint8_t* filter) const {
  for (uint32_t bit : iBits)
    if (!(filter[bit >> 3] >> (bit & 7) & 1)) return false;
  return true;
}

}  // namespace ql
