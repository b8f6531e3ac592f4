// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
#include "plain_text.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <vector>

#include "cp1252.h"
#include "record_markup.h"

namespace ql {

namespace {

// Collects the text with the breaks asked for between its words: breaks and
// spaces are only written when a word follows them.
class PlainWriter {
 public:
  void Break(int lines) { iPending = std::max(iPending, lines); }
  void AddLine() { iPending = std::min(iPending + 1, 2); }
  void Space() { iSpace = true; }
  // Text that starts its line, like a list item's mark.
  void LineStart(std::string_view mark) {
    Flush(1);
    iOut += mark;
    iSpace = false;
  }
  void Word(std::string_view bytes) {
    Flush(0);
    if (iSpace && !iOut.empty() && iOut.back() != '\n' && iOut.back() != ' ') iOut += ' ';
    iSpace = false;
    iOut += bytes;
  }
  std::string Finish() {
    if (!iOut.empty()) iOut += '\n';
    return std::move(iOut);
  }

 private:
  void Flush(int atLeast) {
    const int lines = std::max(iPending, atLeast);
    iPending = 0;
    if (iOut.empty() || lines == 0) return;
    while (!iOut.empty() && iOut.back() == ' ') iOut.pop_back();
    size_t have = 0;
    for (size_t i = iOut.size(); i > 0 && iOut[i - 1] == '\n'; --i) ++have;
    for (size_t n = have; n < static_cast<size_t>(lines); ++n) iOut += '\n';
    iSpace = false;
  }

  std::string iOut;
  int iPending = 0;
  bool iSpace = false;
};

constexpr std::array<std::pair<std::string_view, char>, 4> kEntities = {{
    {"&amp;", '&'},
    {"&lt;", '<'},
    {"&gt;", '>'},
    {"&quot;", '"'},
}};

constexpr size_t kDeepestIndent = 8;

bool IsSpace(char c) {
  return c == ' ' || c == '\r' || c == '\n' || c == '\f' || c == '\v';
}

void WriteRun(PlainWriter& out, std::string_view run) {
  size_t p = 0;
  while (p < run.size()) {
    if (IsSpace(run[p])) {
      out.Space();
      ++p;
      continue;
    }
    std::string word;
    while (p < run.size() && !IsSpace(run[p])) {
      bool entity = false;
      if (run[p] == '&')
        for (const auto& [name, ch] : kEntities)
          if (run.substr(p).starts_with(name)) {
            word += ch;
            p += name.size();
            entity = true;
            break;
          }
      if (!entity) word += run[p++];
    }
    out.Word(word);
  }
}

}  // namespace

std::string RecordPlainText(std::string_view record) {
  if (const size_t zero = record.find('\0'); zero != std::string_view::npos)
    record = record.substr(0, zero);
  PlainWriter out;
  // Open lists, innermost last: the next item's number, or 0 in a list of
  // marks. Bounded by the text: at most one entry per two bytes.
  std::vector<int> lists;
  size_t p = 0;
  while (p < record.size()) {
    if (static_cast<uint8_t>(record[p]) != kTagByte) {
      size_t end = p;
      while (end < record.size() && static_cast<uint8_t>(record[end]) != kTagByte) ++end;
      WriteRun(out, record.substr(p, end - p));
      p = end;
      continue;
    }
    if (p + 1 >= record.size()) break;
    const auto code = static_cast<uint8_t>(record[p + 1]);
    p += 2;
    switch (code) {
      case kTagParagraph:
        out.Break(2);
        break;
      case kTagLineBreak:
        out.AddLine();
        break;
      case kTagCentreOn:
      case kTagCentreOff:
        out.Break(1);
        break;
      case kTagRule:
        out.LineStart("----------");
        out.Break(1);
        break;
      case kTagOrderedOn:
      case kTagUnorderedOn:
        lists.push_back(code == kTagOrderedOn ? 1 : 0);
        out.Break(1);
        break;
      case kTagOrderedOff:
      case kTagUnorderedOff:
        if (!lists.empty()) lists.pop_back();
        out.Break(1);
        break;
      case kTagListItem: {
        // Lists nested deeper than a reader can follow are indented no
        // further, so the text stays in proportion to the record.
        const size_t depth = std::min(lists.size(), kDeepestIndent);
        std::string mark(depth > 1 ? 2 * (depth - 1) : 0, ' ');
        if (!lists.empty() && lists.back() > 0)
          mark += std::to_string(lists.back()++) + ". ";
        else
          mark += "- ";
        out.LineStart(mark);
        break;
      }
      case kTagLinkStart: {
        // The target up to '>' is no text; without a '>' the target is
        // the link's text, as on the page.
        size_t end = p;
        while (end < record.size() && static_cast<uint8_t>(record[end]) != kTagByte &&
               record[end] != kLinkTargetEnd)
          ++end;
        if (end < record.size() && record[end] == kLinkTargetEnd) p = end + 1;
        break;
      }
      default:
        // Character styles and unknown tags leave the words as they are.
        break;
    }
  }
  return out.Finish();
}

size_t DecodeRecordEntity(std::string_view text, size_t at, char& byte) {
  static constexpr std::array<std::pair<std::string_view, char>, 6> kNamed = {{
      {"&amp;", '&'},
      {"&lt;", '<'},
      {"&gt;", '>'},
      {"&quot;", '"'},
      {"&apos;", '\''},
      {"&nbsp;", '\xA0'},
  }};
  // "&#x10FFFF;" is the longest numbered one.
  constexpr size_t kNumberedMax = 10;
  const std::string_view rest = text.substr(std::min(at, text.size()));
  if (rest.size() < 4 || rest[0] != '&') return 0;
  if (rest[1] != '#') {
    for (const auto& [name, ch] : kNamed)
      if (rest.starts_with(name)) {
        byte = ch;
        return name.size();
      }
    return 0;
  }
  const bool hex = rest[2] == 'x' || rest[2] == 'X';
  size_t p = hex ? 3 : 2;
  char32_t value = 0;
  const size_t digitsAt = p;
  for (; p < rest.size() && p < kNumberedMax; ++p) {
    const char c = rest[p];
    int digit = -1;
    if (c >= '0' && c <= '9')
      digit = c - '0';
    else if (hex && c >= 'a' && c <= 'f')
      digit = c - 'a' + 10;
    else if (hex && c >= 'A' && c <= 'F')
      digit = c - 'A' + 10;
    if (digit < 0) break;
    value = value * (hex ? 16 : 10) + static_cast<char32_t>(digit);
  }
  if (p == digitsAt || p >= rest.size() || rest[p] != ';' || value == 0 || value > 0x10FFFF)
    return 0;
  const auto mapped = Cp1252ByteFor(value);
  byte = value < 0x20 ? ' ' : mapped ? static_cast<char>(*mapped) : '?';
  return p + 1;
}

bool NextUtf8(std::string_view text, size_t& i, char32_t& c) {
  if (i >= text.size()) return false;
  const auto b = static_cast<unsigned char>(text[i]);
  if (b < 0x80) {
    c = b;
    ++i;
    return true;
  }
  if (b < 0xC2 || b > 0xF4) return false;
  const size_t need = b < 0xE0 ? 2 : b < 0xF0 ? 3 : 4;
  if (i + need > text.size()) return false;
  char32_t v = b & (0x3F >> (need - 1));
  for (size_t k = 1; k < need; ++k) {
    const auto t = static_cast<unsigned char>(text[i + k]);
    if ((t & 0xC0) != 0x80) return false;
    v = (v << 6) | (t & 0x3F);
  }
  const char32_t least = need == 2 ? 0x80 : need == 3 ? 0x800 : 0x10000;
  if (v < least || v > 0x10FFFF || (v >= 0xD800 && v <= 0xDFFF)) return false;
  c = v;
  i += need;
  return true;
}

void AppendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

std::string LenientUtf8(std::string_view bytes) {
  std::string out;
  size_t i = 0;
  while (i < bytes.size()) {
    char32_t c = 0;
    if (!NextUtf8(bytes, i, c)) c = Cp1252ToUnicode(static_cast<unsigned char>(bytes[i++]));
    AppendUtf8(out, c);
  }
  return out;
}

std::string Cp1252ToUtf8(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  for (char b : bytes) AppendUtf8(out, Cp1252ToUnicode(static_cast<unsigned char>(b)));
  return out;
}

std::optional<std::string> Utf8ToCp1252(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  size_t i = 0;
  while (i < text.size()) {
    char32_t c = 0;
    if (!NextUtf8(text, i, c)) return std::nullopt;
    const auto byte = Cp1252ByteFor(c);
    if (!byte) return std::nullopt;
    out += static_cast<char>(*byte);
  }
  return out;
}

}  // namespace ql
