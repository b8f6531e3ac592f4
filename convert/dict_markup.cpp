// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
#include "dict_markup.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstring>

#include "cp1252.h"
#include "record_markup.h"
#include "text_case.h"

namespace ql {

namespace {

constexpr char kTab = '\t';
constexpr char kLF = '\n';
constexpr char kCR = '\r';
constexpr std::string_view kLessThan = "&lt;";
// A brace link longer than this is taken as text: dictd links name a headword.
constexpr size_t kBraceLinkMax = 256;
// The longest character number looked at, "#" and "x" counted.
constexpr size_t kEntityMax = 12;
constexpr std::string_view kBwordScheme = "bword://";
constexpr std::string_view kUrlMark = "://";
constexpr uint32_t kMaxCodePoint = 0x10FFFF;
constexpr std::string_view kNoBreakSpaceUtf8 = "\xC2\xA0";
constexpr std::string_view kNoBreakSpaceCp1252 = "\xA0";
// A TAB that indents a line reaches the next multiple of this many columns.
constexpr size_t kTabColumns = 8;
// An indent deeper than this is kept only this deep: a page has no room for
// more, and a line of blanks must not grow into a text many times its size.
constexpr size_t kIndentMax = 64;

// The characters plain text is not copied through at: line ends, links,
// "<" and TAB.
constexpr std::array<bool, 256> kPlainSpecial = [] {
  std::array<bool, 256> special{};
  for (uint8_t c : {'\n', '\r', '{', '<', '\t'}) special[c] = true;
  return special;
}();

// The length of the run of characters at the start of text that are not
// kPlainSpecial, eight at a time: dictionary texts are mostly such runs.
size_t OrdinaryRun(std::string_view text) {
  constexpr uint64_t kOnes = 0x0101010101010101ull;
  constexpr uint64_t kHighs = 0x8080808080808080ull;
  // A byte of w is zero when the byte it came from was the one xored in.
  const auto anyZero = [](uint64_t w) { return (w - kOnes) & ~w & kHighs; };
  size_t i = 0;
  for (; i + 8 <= text.size(); i += 8) {
    uint64_t w;
    std::memcpy(&w, text.data() + i, 8);
    if (anyZero(w ^ (kOnes * '\n')) | anyZero(w ^ (kOnes * '\r')) | anyZero(w ^ (kOnes * '{')) |
        anyZero(w ^ (kOnes * '<')) | anyZero(w ^ (kOnes * '\t')))
      break;
  }
  while (i < text.size() && !kPlainSpecial[uint8_t(text[i])]) ++i;
  return i;
}

bool IsSpace(char c) {
  return c == ' ' || c == kTab || c == kLF || c == kCR || c == '\f';
}

void AppendTag(std::string& out, uint8_t code) {
  out.push_back(char(kTagByte));
  out.push_back(char(code));
}

void AppendUtf8(std::string& out, uint32_t c) {
  if (c < 0x80) {
    out.push_back(char(c));
  } else if (c < 0x800) {
    out.push_back(char(0xC0 | (c >> 6)));
    out.push_back(char(0x80 | (c & 0x3F)));
  } else if (c < 0x10000) {
    out.push_back(char(0xE0 | (c >> 12)));
    out.push_back(char(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(char(0x80 | (c & 0x3F)));
  } else {
    out.push_back(char(0xF0 | (c >> 18)));
    out.push_back(char(0x80 | ((c >> 12) & 0x3F)));
    out.push_back(char(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(char(0x80 | (c & 0x3F)));
  }
}

// A link target must reach the page's href intact and end at the ">" or TAB
// that the record markup ends it with.
bool UsableTarget(std::string_view target) {
  if (target.empty()) return false;
  for (char c : target)
    if (uint8_t(c) < 0x20 || c == '>' || c == '<' || c == '"') return false;
  return true;
}

// Drops line-break and paragraph tags and spaces at the end of out, back to
// start at most.
void TrimEnd(std::string& out, size_t start) {
  for (;;) {
    const size_t n = out.size();
    if (n >= start + 2 && out[n - 2] == char(kTagByte) &&
        (out[n - 1] == char(kTagLineBreak) || out[n - 1] == char(kTagParagraph))) {
      out.resize(n - 2);
    } else if (n >= start + 1 && out[n - 1] == ' ' &&
               !(n >= start + 2 && out[n - 2] == char(kTagByte))) {
      out.resize(n - 1);
    } else {
      return;
    }
  }
}

}  // namespace

size_t HeadwordLineEnd(std::string_view raw, std::string_view headword) {
  size_t end = 0;
  while (end < raw.size() && raw[end] != kLF && raw[end] != kCR) ++end;
  std::string_view line = raw.substr(0, end);
  while (!line.empty() && IsSpace(line.front())) line.remove_prefix(1);
  while (!line.empty() && IsSpace(line.back())) line.remove_suffix(1);
  while (!headword.empty() && IsSpace(headword.front())) headword.remove_prefix(1);
  while (!headword.empty() && IsSpace(headword.back())) headword.remove_suffix(1);
  if (line.empty() || CompareFoldedAscii(line, headword) != 0) return 0;
  if (end < raw.size() && raw[end] == kCR) ++end;
  if (end < raw.size() && raw[end] == kLF) ++end;
  return end;
}

void PlainTextToMarkup(std::string_view text, bool braceLinks, std::string& out,
                       MarkupCharset charset) {
  const size_t start = out.size();
  out.reserve(start + text.size() + text.size() / 8);
  const std::string_view noBreakSpace =
      charset == MarkupCharset::kUtf8 ? kNoBreakSpaceUtf8 : kNoBreakSpaceCp1252;
  size_t i = 0;
  // Leading blank lines are passed over; trailing ones are trimmed at the end.
  for (size_t j = 0; j < text.size() && IsSpace(text[j]); ++j)
    if (text[j] == kLF || text[j] == kCR) i = j + 1;
  bool lineStart = true;
  while (i < text.size()) {
    if (lineStart) {
      // The line's indent is kept: the page would close up its spaces.
      lineStart = false;
      size_t column = 0;
      size_t j = i;
      for (; j < text.size() && (text[j] == ' ' || text[j] == kTab); ++j)
        column = text[j] == kTab ? (column / kTabColumns + 1) * kTabColumns : column + 1;
      if (j == text.size()) break;  // blanks that end the text
      if (text[j] != kLF && text[j] != kCR) {
        for (size_t n = 0; n < std::min(column, kIndentMax); ++n) out += noBreakSpace;
        i = j;
        continue;
      }
    }
    const char c = text[i];
    if (c == kLF || c == kCR) {
      // A run of line ends, lines of only blanks among them, is one break;
      // more than one line end make a paragraph.
      int lineEnds = 0;
      size_t j = i;
      size_t afterLastEnd = i;
      while (j < text.size() && IsSpace(text[j])) {
        if (text[j] == kLF) ++lineEnds, afterLastEnd = j + 1;
        if (text[j] == kCR && (j + 1 >= text.size() || text[j + 1] != kLF))
          ++lineEnds, afterLastEnd = j + 1;
        ++j;
      }
      AppendTag(out, lineEnds > 1 ? kTagParagraph : kTagLineBreak);
      i = afterLastEnd;
      lineStart = true;
      continue;
    }
    if (c == '{' && braceLinks) {
      // The closing brace, looked for no further than a link can be long.
      const size_t limit = std::min(text.size(), i + 2 + kBraceLinkMax);
      size_t close = i + 1;
      while (close < limit && text[close] != '{' && text[close] != '}') ++close;
      if (close < limit && text[close] == '}') {
        // Most links are one word: those are used as they stand.
        std::string_view target = text.substr(i + 1, close - i - 1);
        std::string closedUp;
        if (std::any_of(target.begin(), target.end(), IsSpace)) {
          bool lineEnd = false;  // the white space being closed up holds a line end
          for (const char b : target) {
            if (IsSpace(b)) {
              lineEnd = lineEnd || b == kLF || b == kCR;
              if (!closedUp.empty() && closedUp.back() != ' ') closedUp.push_back(' ');
            } else {
              // A word broken after its hyphen at a line end is joined again.
              if (lineEnd && closedUp.size() >= 3 && closedUp.back() == ' ' &&
                  closedUp[closedUp.size() - 2] == '-' && closedUp[closedUp.size() - 3] != ' ')
                closedUp.pop_back();
              lineEnd = false;
              closedUp.push_back(b);
            }
          }
          if (!closedUp.empty() && closedUp.back() == ' ') closedUp.pop_back();
          target = closedUp;
        }
        if (target.find(kUrlMark) != std::string_view::npos) {
          // A link out of the book, "{text (url)}": its words are kept as text.
          out += target;
          i = close + 1;
          continue;
        }
        if (UsableTarget(target)) {
          AppendTag(out, kTagLinkStart);
          out += target;
          AppendTag(out, kTagLinkEnd);
          i = close + 1;
          continue;
        }
      }
    }
    if (c == '<') {
      out += kLessThan;
      ++i;
    } else if (c == kTab) {
      out.push_back(' ');
      ++i;
    } else {
      // A run of ordinary characters is copied whole.
      const size_t end = i + 1 + OrdinaryRun(text.substr(i + 1));
      out.append(text.data() + i, end - i);
      i = end;
    }
  }
  TrimEnd(out, start);
}

namespace {

struct HtmlEntity {
  std::string_view name;
  std::string_view text;  // UTF-8
};

#include "html_entities.inc"

constexpr bool SortedByName() {
  for (size_t k = 1; k < kHtmlEntityCount; ++k)
    if (!(kHtmlEntities[k - 1].name < kHtmlEntities[k].name)) return false;
  return true;
}
static_assert(SortedByName(), "the entity table is looked up by binary search");

// The text of the named entity spelled name (with its ";" when it has one),
// or nullptr.
const HtmlEntity* FindEntity(std::string_view name) {
  const HtmlEntity* end = kHtmlEntities + kHtmlEntityCount;
  const HtmlEntity* at = std::lower_bound(
      kHtmlEntities, end, name, [](const HtmlEntity& e, std::string_view n) { return e.name < n; });
  return at != end && at->name == name ? at : nullptr;
}

bool IsAsciiAlnum(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

// Decodes the character reference at html[at] ("&") into text (UTF-8);
// returns the characters it takes, 0 when there is none (the "&" is then
// text). Named ones are those of HTML's table; a name written without its
// ";" is taken only when the table lists it so, and, in an attribute's
// value, only when no letter, digit or "=" follows it. Numbers name a
// character other than NUL or a surrogate; those in 0x80-0x9F are taken as
// the code page's characters there, as browsers take them.
size_t DecodeEntity(std::string_view html, size_t at, bool inAttribute, std::string& text) {
  text.clear();
  if (at + 1 >= html.size()) return 0;
  if (html[at + 1] == '#') {
    // Looked for no further than a number can be long, so that text full
    // of "&#" costs no more than any other.
    const size_t near = html.substr(at + 1, kEntityMax + 1).find(';');
    if (near == std::string_view::npos) return 0;
    const size_t semi = at + 1 + near;
    const std::string_view name = html.substr(at + 1, semi - at - 1);
    const bool hex = name.size() > 1 && (name[1] == 'x' || name[1] == 'X');
    const std::string_view digits = name.substr(hex ? 2 : 1);
    uint32_t value = 0;
    const auto r =
        std::from_chars(digits.data(), digits.data() + digits.size(), value, hex ? 16 : 10);
    if (digits.empty() || r.ec != std::errc() || r.ptr != digits.data() + digits.size() ||
        value == 0 || value > kMaxCodePoint || (value >= 0xD800 && value <= 0xDFFF))
      return 0;
    if (value >= 0x80 && value <= 0x9F) value = Cp1252ToUnicode(uint8_t(value));
    AppendUtf8(text, value);
    return semi - at + 1;
  }
  size_t nameEnd = at + 1;
  while (nameEnd < html.size() && nameEnd - at <= kHtmlEntityNameMax && IsAsciiAlnum(html[nameEnd]))
    ++nameEnd;
  if (nameEnd == at + 1) return 0;
  if (nameEnd < html.size() && html[nameEnd] == ';')
    if (const HtmlEntity* e = FindEntity(html.substr(at + 1, nameEnd - at))) {
      text = e->text;
      return nameEnd - at + 1;
    }
  // The longest start of the name that may stand without its ";".
  for (size_t n = std::min(nameEnd - at - 1, kHtmlBareEntityNameMax); n > 0; --n) {
    const HtmlEntity* e = FindEntity(html.substr(at + 1, n));
    if (!e) continue;
    const size_t after = at + 1 + n;
    if (inAttribute && after < html.size() && (IsAsciiAlnum(html[after]) || html[after] == '='))
      return 0;
    text = e->text;
    return n + 1;
  }
  return 0;
}

// Appends decoded entity text to the markup: "<" as its entity, as the page
// reads it, white space as a space and other control characters not at
// all, as the markup's TAB is its tag byte.
void AppendDecoded(std::string& out, std::string_view text) {
  for (const char c : text) {
    if (c == '<')
      out += kLessThan;
    else if (IsSpace(c))
      out.push_back(' ');
    else if (uint8_t(c) >= 0x20 && c != 0x7F)
      out.push_back(c);
  }
}

// The value of attribute name in the tag's inner text (after its name).
std::string_view AttributeValue(std::string_view tag, std::string_view name) {
  size_t at = 0;
  while (at < tag.size()) {
    while (at < tag.size() && (IsSpace(tag[at]) || tag[at] == '/')) ++at;
    const size_t nameStart = at;
    while (at < tag.size() && !IsSpace(tag[at]) && tag[at] != '=' && tag[at] != '/') ++at;
    const std::string_view key = tag.substr(nameStart, at - nameStart);
    while (at < tag.size() && IsSpace(tag[at])) ++at;
    std::string_view value;
    if (at < tag.size() && tag[at] == '=') {
      ++at;
      while (at < tag.size() && IsSpace(tag[at])) ++at;
      if (at < tag.size() && (tag[at] == '"' || tag[at] == '\'')) {
        const char quote = tag[at];
        const size_t end = tag.find(quote, at + 1);
        const size_t stop = end == std::string_view::npos ? tag.size() : end;
        value = tag.substr(at + 1, stop - at - 1);
        at = stop + 1;
      } else {
        const size_t valueStart = at;
        while (at < tag.size() && !IsSpace(tag[at])) ++at;
        value = tag.substr(valueStart, at - valueStart);
      }
    }
    if (key.size() == name.size() && StartsWithFolded(key, name)) return value;
    if (key.empty() && at < tag.size()) ++at;  // a stray character: step over it
  }
  return {};
}

// The entry a link's href names, or empty when it names none.
std::string LinkTarget(std::string_view href) {
  std::string_view word;
  if (StartsWithFolded(href, kBwordScheme))
    word = href.substr(kBwordScheme.size());
  else if (href.find_first_of(":/#?") == std::string_view::npos)
    word = href;
  std::string target;
  std::string decoded;
  for (size_t i = 0; i < word.size(); ++i) {
    uint32_t c = 0;
    size_t taken = 0;
    if (word[i] == '%' && i + 2 < word.size() &&
        std::from_chars(word.data() + i + 1, word.data() + i + 3, c, 16).ptr ==
            word.data() + i + 3) {
      target.push_back(char(c));
      i += 2;
    } else if (word[i] == '&' && (taken = DecodeEntity(word, i, true, decoded)) > 0) {
      target += decoded;
      i += taken - 1;
    } else {
      target.push_back(word[i]);
    }
  }
  return UsableTarget(target) ? target : std::string();
}

// Tags that start a new line of their own.
bool IsBlockTag(std::string_view name) {
  static constexpr std::array<std::string_view, 17> kBlocks = {
      "div", "tr", "table", "blockquote", "dd",  "dt", "dl", "h1",   "h2",
      "h3",  "h4", "h5",    "h6",         "pre", "ul", "ol", "tbody"};
  for (std::string_view b : kBlocks)
    if (name == b) return true;
  return false;
}

}  // namespace

void HtmlToMarkup(std::string_view html, std::string& out) {
  const size_t start = out.size();
  bool pendingSpace = false;
  bool inLink = false;
  // At the start of the text or of a line: white space there is dropped.
  const auto atLineStart = [&] {
    const size_t n = out.size();
    return n == start || (n - start >= 2 && out[n - 2] == char(kTagByte) &&
                          (out[n - 1] == char(kTagLineBreak) || out[n - 1] == char(kTagParagraph) ||
                           out[n - 1] == char(kTagRule) || out[n - 1] == char(kTagListItem)));
  };
  const auto flushSpace = [&] {
    if (pendingSpace && !atLineStart()) out.push_back(' ');
    pendingSpace = false;
  };
  const auto inlineTag = [&](uint8_t code) {
    flushSpace();
    AppendTag(out, code);
  };
  const auto blockTag = [&](uint8_t code) {
    pendingSpace = false;
    if (out.size() == start && (code == kTagLineBreak || code == kTagParagraph)) return;
    AppendTag(out, code);
  };
  const auto lineBreak = [&] {
    if (!atLineStart()) blockTag(kTagLineBreak);
    pendingSpace = false;
  };
  std::string decoded;  // an entity's text
  size_t i = 0;
  while (i < html.size()) {
    const char c = html[i];
    if (c == '<') {
      if (html.substr(i, 4) == "<!--") {
        const size_t end = html.find("-->", i + 4);
        i = end == std::string_view::npos ? html.size() : end + 3;
        continue;
      }
      const size_t close = html.find('>', i + 1);
      size_t nameAt = i + 1;
      const bool closing = nameAt < html.size() && html[nameAt] == '/';
      if (closing) ++nameAt;
      size_t nameEnd = nameAt;
      while (nameEnd < html.size() && ((html[nameEnd] >= 'a' && html[nameEnd] <= 'z') ||
                                       (html[nameEnd] >= 'A' && html[nameEnd] <= 'Z') ||
                                       (html[nameEnd] >= '0' && html[nameEnd] <= '9')))
        ++nameEnd;
      if (close == std::string_view::npos || nameEnd == nameAt) {
        // Not a tag: the "<" is text.
        flushSpace();
        out += kLessThan;
        ++i;
        continue;
      }
      std::string name(html.substr(nameAt, nameEnd - nameAt));
      for (char& ch : name) ch = FoldAscii(ch);
      const std::string_view inner = html.substr(nameEnd, close - nameEnd);
      i = close + 1;
      if (!closing && (name == "script" || name == "style")) {
        const std::string endTag = "</" + name;
        size_t k = i;
        for (; k < html.size(); ++k)
          if (html[k] == '<' && StartsWithFolded(html.substr(k), endTag)) break;
        const size_t end = html.find('>', k);
        i = end == std::string_view::npos ? html.size() : end + 1;
        continue;
      }
      struct Pair {
        std::string_view name;
        uint8_t on, off;
      };
      static constexpr std::array<Pair, 12> kInline = {{
          {"b", kTagBoldOn, kTagBoldOff},
          {"strong", kTagBoldOn, kTagBoldOff},
          {"i", kTagItalicOn, kTagItalicOff},
          {"em", kTagItalicOn, kTagItalicOff},
          {"u", kTagUnderlineOn, kTagUnderlineOff},
          {"strike", kTagStrikeOn, kTagStrikeOff},
          {"s", kTagStrikeOn, kTagStrikeOff},
          {"del", kTagStrikeOn, kTagStrikeOff},
          {"sup", kTagSuperOn, kTagSuperOff},
          {"sub", kTagSubOn, kTagSubOff},
          {"center", kTagCentreOn, kTagCentreOff},
          {"centre", kTagCentreOn, kTagCentreOff},
      }};
      bool done = false;
      for (const Pair& p : kInline)
        if (name == p.name) {
          inlineTag(closing ? p.off : p.on);
          done = true;
          break;
        }
      if (done) continue;
      if (name == "br") {
        blockTag(kTagLineBreak);
      } else if (name == "p") {
        if (!closing && out.size() != start) {
          TrimEnd(out, start);
          if (out.size() != start) blockTag(kTagParagraph);
        }
        pendingSpace = false;
      } else if (name == "hr") {
        blockTag(kTagRule);
      } else if (name == "li") {
        if (!closing) blockTag(kTagListItem);
      } else if (name == "ol" || name == "ul") {
        const bool ordered = name == "ol";
        pendingSpace = false;
        AppendTag(out, ordered ? (closing ? kTagOrderedOff : kTagOrderedOn)
                               : (closing ? kTagUnorderedOff : kTagUnorderedOn));
      } else if (name == "a") {
        if (closing) {
          if (inLink) AppendTag(out, kTagLinkEnd);
          inLink = false;
        } else if (!inLink) {
          const std::string target = LinkTarget(AttributeValue(inner, "href"));
          if (!target.empty()) {
            flushSpace();
            AppendTag(out, kTagLinkStart);
            out += target;
            out.push_back(kLinkTargetEnd);
            inLink = true;
          }
        }
      } else if (IsBlockTag(name)) {
        lineBreak();
      }
      continue;
    }
    if (IsSpace(c)) {
      pendingSpace = true;
      ++i;
      continue;
    }
    flushSpace();
    size_t taken = 0;
    if (c == '&' && (taken = DecodeEntity(html, i, false, decoded)) > 0) {
      AppendDecoded(out, decoded);
      i += taken;
      continue;
    }
    out.push_back(c);
    ++i;
  }
  if (inLink) AppendTag(out, kTagLinkEnd);
  TrimEnd(out, start);
}

}  // namespace ql
