// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// The rendered page of a record. The page is written byte for byte as the
// view and the link handler expect it: nothing is escaped, so the record's
// own bytes reach the browser unchanged.
#include "record_markup.h"

#include <algorithm>
#include <string>

namespace ql {

namespace {

constexpr std::string_view kPageHead =
    "<html>\r\n<head>\r\n<meta http-equiv=\"Content-Language\" content=\"en-gb\">\r\n"
    "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=windows-1252\">\r\n";
// A UTF-8 book's page: the same head but for the character set.
constexpr std::string_view kPageHeadUtf8 =
    "<html>\r\n<head>\r\n<meta http-equiv=\"Content-Language\" content=\"en-gb\">\r\n"
    "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=utf-8\">\r\n";
constexpr std::string_view kPageHeadRest =
    "<meta name=\"GENERATOR\" content=\"Quillary\">\r\n"
    "<meta name=\"ProgId\" content=\"Quillary\">\r\n<title>Quillary</title>\r\n</head>\r\n"
    "<body><font size=";
constexpr std::string_view kPageFace = " face=";
constexpr std::string_view kPageFontEnd = ">\r\n";
constexpr std::string_view kHeadingOpen = "<h2>";
constexpr std::string_view kHeadingClose = "</h2>";
constexpr std::string_view kPageTail = "\r\n</font></body>\r\n</html>";

bool EndsText(char c) {
  return c == '\0';
}
bool EndsRun(char c) {
  return c == '\0' || static_cast<uint8_t>(c) == kTagByte;
}

// Writes one text run [p, p + n), with the marker when foundPos lies in it.
void WriteRun(ByteSink& sink, std::string_view text, size_t p, size_t n, int foundPos,
              int foundLength) {
  if (foundPos < 0 || static_cast<size_t>(foundPos) < p || static_cast<size_t>(foundPos) >= p + n) {
    sink.Write(text.substr(p, n));
    return;
  }
  size_t hit = static_cast<size_t>(foundPos);
  size_t runEnd = p + n;
  // The marker never spans a tag: a hit longer than the rest of its run is
  // cut at the run's end.
  size_t length = std::min(static_cast<size_t>(std::max(foundLength, 0)), runEnd - hit);
  sink.Write(text.substr(p, hit - p));
  sink.Write(kFoundTextOpen);
  sink.Write(text.substr(hit, length));
  sink.Write(kFoundTextClose);
  sink.Write(text.substr(hit + length, runEnd - hit - length));
}

}  // namespace

void WriteRecordBody(ByteSink& sink, std::string_view text, int foundPos, int foundLength) {
  size_t p = 0;
  const size_t size = text.size();
  while (p < size && !EndsText(text[p])) {
    if (static_cast<uint8_t>(text[p]) == kTagByte) {
      // A TAB with nothing after it ends the body.
      if (p + 1 >= size || EndsText(text[p + 1])) break;
      uint8_t code = static_cast<uint8_t>(text[p + 1]);
      p += 2;
      if (code == kTagLinkStart) {
        size_t end = p;
        while (end < size && !EndsRun(text[end]) && text[end] != kLinkTargetEnd) ++end;
        sink.Write(kLinkOpenStart);
        sink.Write(text.substr(p, end - p));
        sink.Write(kLinkOpenEnd);
        // With a ">" the display text follows it; without one the target is
        // written again as the display text, so p stays where it is.
        if (end < size && text[end] == kLinkTargetEnd) p = end + 1;
      } else if (IsKnownTag(code)) {
        sink.Write(kMarkupTags[code].html);
      }
      continue;
    }
    size_t end = p;
    while (end < size && !EndsRun(text[end])) ++end;
    WriteRun(sink, text, p, end - p, foundPos, foundLength);
    p = end;
  }
}

void WriteRecordPage(ByteSink& sink, std::string_view fontFace, int fontSize,
                     std::string_view subject, std::string_view text, int foundPos, int foundLength,
                     bool utf8) {
  WritePageHead(sink, fontFace, fontSize, utf8);
  sink.Write(kHeadingOpen);
  sink.Write(subject);
  sink.Write(kHeadingClose);
  WriteRecordBody(sink, text, foundPos, foundLength);
  WritePageTail(sink);
}

void WritePageHead(ByteSink& sink, std::string_view fontFace, int fontSize, bool utf8) {
  sink.Write(utf8 ? kPageHeadUtf8 : kPageHead);
  sink.Write(kPageHeadRest);
  sink.Write(std::to_string(fontSize));
  sink.Write(kPageFace);
  sink.Write(fontFace);
  sink.Write(kPageFontEnd);
}

void WritePageTail(ByteSink& sink) {
  sink.Write(kPageTail);
}

}  // namespace ql
