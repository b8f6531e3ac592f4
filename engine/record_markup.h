// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// Record markup: a record text is Windows-1252 bytes ending at its first zero
// byte; a TAB is always the first byte of a two-byte tag whose second byte is
// the code. This table is the one place that knows the codes: the renderer,
// the text export, the import and the handheld conversion all read it.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

#include "byte_sink.h"

namespace ql {

inline constexpr uint8_t kTagByte = 0x09;

enum TagCode : uint8_t {
  kTagBoldOn = 1,
  kTagBoldOff = 2,
  kTagItalicOn = 3,
  kTagItalicOff = 4,
  kTagUnderlineOn = 5,
  kTagUnderlineOff = 6,
  kTagRule = 7,
  kTagLineBreak = 8,
  kTagParagraph = 9,
  kTagListItem = 10,
  kTagOrderedOn = 11,
  kTagOrderedOff = 12,
  kTagUnorderedOn = 13,
  kTagUnorderedOff = 14,
  kTagCentreOn = 15,
  kTagCentreOff = 16,
  kTagLinkStart = 17,
  kTagLinkEnd = 18,
  kTagStrikeOn = 19,
  kTagStrikeOff = 20,
  kTagSuperOn = 21,
  kTagSuperOff = 22,
  kTagSubOn = 23,
  kTagSubOff = 24,
};

inline constexpr uint8_t kTagFirst = 1;
inline constexpr uint8_t kTagLast = 24;

struct MarkupTag {
  uint8_t code;
  std::string_view html;       // what the rendered page gets (empty for the link start)
  std::string_view canonical;  // how the text export writes it
};

// Indexed by code; entry 0 is unused.
inline constexpr std::array<MarkupTag, kTagLast + 1> kMarkupTags = {{
    {0, "", ""},
    {kTagBoldOn, "<b>", "<b>"},
    {kTagBoldOff, "</b>", "</b>"},
    {kTagItalicOn, "<i>", "<i>"},
    {kTagItalicOff, "</i>", "</i>"},
    {kTagUnderlineOn, "<u>", "<u>"},
    {kTagUnderlineOff, "</u>", "</u>"},
    {kTagRule, "<HR ALIGN=\"center\" WIDTH=\"100%\">", "<hr>"},
    {kTagLineBreak, "<br>", "<br>"},
    {kTagParagraph, "<p>", "<p>"},
    {kTagListItem, "<li>", "<li>"},
    {kTagOrderedOn, "<ol>", "<ol>"},
    {kTagOrderedOff, "</ol>", "</ol>"},
    {kTagUnorderedOn, "<ul>", "<ul>"},
    {kTagUnorderedOff, "</ul>", "</ul>"},
    {kTagCentreOn, "<center>", "<center>"},
    {kTagCentreOff, "</center>", "</center>"},
    {kTagLinkStart, "", "<a:"},
    {kTagLinkEnd, "</a>", "</a>"},
    {kTagStrikeOn, "<strike>", "<strike>"},
    {kTagStrikeOff, "</strike>", "</strike>"},
    {kTagSuperOn, "<sup>", "<sup>"},
    {kTagSuperOff, "</sup>", "</sup>"},
    {kTagSubOn, "<sub>", "<sub>"},
    {kTagSubOff, "</sub>", "</sub>"},
}};

inline constexpr bool IsKnownTag(uint8_t code) {
  return code >= kTagFirst && code <= kTagLast;
}

// Pieces of a link opening on a rendered page, around the target bytes.
inline constexpr std::string_view kLinkOpenStart = "<a href=\"quill::";
inline constexpr std::string_view kLinkOpenEnd = "\">";
inline constexpr char kLinkTargetEnd = '>';

// Around a search hit on a rendered page; the view scrolls to the anchor.
inline constexpr std::string_view kFoundTextOpen = "<font color=\"red\"><a name=\"foundtext\">";
inline constexpr std::string_view kFoundTextClose = "</a></font>";

// Writes the body of a rendered page for a record text: text runs unchanged,
// tags as HTML, links as "quill::" anchors, unknown tags dropped. text ends at
// its first zero byte or at its end, whichever comes first. When foundPos
// (>= 0) lies in a text run, the hit of foundLength bytes from there, clipped
// to that run, is marked; a hit on a tag marks nothing.
void WriteRecordBody(ByteSink& sink, std::string_view text, int foundPos, int foundLength);

// Writes the whole page: the fixed head, the font settings, the subject as
// heading (written as it is, tags not interpreted), the body and the tail.
// With utf8 the page declares UTF-8 (a version 2002 book's), else
// Windows-1252.
void WriteRecordPage(ByteSink& sink, std::string_view fontFace, int fontSize,
                     std::string_view subject, std::string_view text, int foundPos, int foundLength,
                     bool utf8 = false);

// The page around its heading and body: the fixed head with the font
// settings, and the tail. A page of several records is written between them.
void WritePageHead(ByteSink& sink, std::string_view fontFace, int fontSize, bool utf8 = false);
void WritePageTail(ByteSink& sink);

}  // namespace ql
