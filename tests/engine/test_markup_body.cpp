// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// The body writer over byte strings (the page around it is tested through
// RenderRecord).
#include <gtest/gtest.h>

#include <string>

#include "byte_sink.h"
#include "record_markup.h"

namespace {

using namespace std::string_literals;

std::string Body(const std::string& text, int foundPos = -1, int foundLength = -1) {
  ql::StringSink sink;
  ql::WriteRecordBody(sink, text, foundPos, foundLength);
  return sink.Data();
}

TEST(RecordBody, TagsBecomeTheirHtml) {
  EXPECT_EQ(Body("a\t\x01"
                 "b\t\x02"),
            "a<b>b</b>");
  // Every code of the table, in order, with a letter between them.
  std::string text;
  for (int code = 1; code <= 24; ++code) {
    if (code == 17) continue;  // the link start has its own cases
    text += '\t';
    text += static_cast<char>(code);
    text += 'x';
  }
  EXPECT_EQ(Body(text),
            "<b>x</b>x<i>x</i>x<u>x</u>x<HR ALIGN=\"center\" WIDTH=\"100%\">x<br>x<p>x<li>x"
            "<ol>x</ol>x<ul>x</ul>x<center>x</center>x</a>x<strike>x</strike>x<sup>x</sup>x"
            "<sub>x</sub>x");
}

TEST(RecordBody, Links) {
  // With ">" the display text follows it.
  EXPECT_EQ(Body("see \t\x11"
                 "cat>the cat\t\x12."),
            "see <a href=\"quill::cat\">the cat</a>.");
  // Without ">" the target doubles as the display text.
  EXPECT_EQ(Body("\t\x11"
                 "cat\t\x12"),
            "<a href=\"quill::cat\">cat</a>");
  // A first target byte ">" gives an empty target.
  EXPECT_EQ(Body("\t\x11>shown\t\x12"), "<a href=\"quill::\">shown</a>");
  // A target running to the end of the text is written twice as well.
  EXPECT_EQ(Body("\t\x11"
                 "dog"),
            "<a href=\"quill::dog\">dog");
  // Bytes go to the page unchanged, a space and an accented letter included.
  EXPECT_EQ(Body("\t\x11"
                 "caf\xE9 au lait\t\x12"),
            "<a href=\"quill::caf\xE9 au lait\">caf\xE9 au lait</a>");
}

TEST(RecordBody, UnknownTagsAndEnds) {
  EXPECT_EQ(Body("a\t\x1E"
                 "b"),
            "ab");  // code 30 vanishes with its code byte
  EXPECT_EQ(Body("a\t\x19\t\xFF"
                 "b"),
            "ab");                    // 25 and 255 as well
  EXPECT_EQ(Body("a\t"), "a");        // TAB right before the end
  EXPECT_EQ(Body("a\t\0b"s), "a");    // TAB right before a zero byte
  EXPECT_EQ(Body("ab\0<b>"s), "ab");  // the zero byte ends the text
  EXPECT_EQ(Body(""), "");
  EXPECT_EQ(Body("<b>&amp;"), "<b>&amp;");  // nothing is escaped
}

TEST(RecordBody, FoundTextMarker) {
  const std::string open = "<font color=\"red\"><a name=\"foundtext\">";
  const std::string close = "</a></font>";
  EXPECT_EQ(Body("one cat here", 4, 3), "one " + open + "cat" + close + " here");
  // At the very start and the very end of a run.
  EXPECT_EQ(Body("cat", 0, 3), open + "cat" + close);
  EXPECT_EQ(Body("a\t\x01"
                 "cat\t\x02",
                 3, 3),
            "a<b>" + open + "cat" + close + "</b>");
  // On a tag: no marker anywhere.
  EXPECT_EQ(Body("a\t\x01"
                 "cat\t\x02",
                 1, 3),
            "a<b>cat</b>");
  EXPECT_EQ(Body("a\t\x01"
                 "cat\t\x02",
                 2, 3),
            "a<b>cat</b>");
  // Clipped at the end of its run; the marker never spans a tag.
  EXPECT_EQ(Body("one ca\t\x01t\t\x02", 4, 3), "one " + open + "ca" + close + "<b>t</b>");
  EXPECT_EQ(Body("one cat", 4, 50), "one " + open + "cat" + close);
  // Beyond the text, or no hit at all.
  EXPECT_EQ(Body("one cat", 7, 3), "one cat");
  EXPECT_EQ(Body("one cat", -1, -1), "one cat");
  // Inside a link's display text the marker sits inside the anchor.
  EXPECT_EQ(Body("\t\x11"
                 "x>a cat\t\x12",
                 6, 3),
            "<a href=\"quill::x\">a " + open + "cat" + close + "</a>");
}

}  // namespace
