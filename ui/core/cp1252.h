// Windows-1252, the code page of every book text, and Unicode. Bytes
// 0x80-0x9F map to the code page's quotes, dashes and letters; the five
// bytes it leaves undefined map to the control characters of the same value,
// so every byte comes back unchanged.
#pragma once

#include <string>
#include <string_view>

namespace ql {

char16_t Cp1252ToUnicode(unsigned char byte);
// The byte for a character, or '?' when the code page has none.
unsigned char UnicodeToCp1252(char32_t ch);

std::u16string DecodeCp1252(std::string_view bytes);
std::string EncodeCp1252(std::u16string_view text);

}  // namespace ql
