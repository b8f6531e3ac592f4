// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// RenderRecord over books built in the test.
#include <gtest/gtest.h>

#include <string>

#include "reader_fixture.h"

namespace {

const std::string kHead =
    "<html>\r\n<head>\r\n<meta http-equiv=\"Content-Language\" content=\"en-gb\">\r\n"
    "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=windows-1252\">\r\n"
    "<meta name=\"GENERATOR\" content=\"Quillary\">\r\n"
    "<meta name=\"ProgId\" content=\"Quillary\">\r\n<title>Quillary</title>\r\n</head>\r\n"
    "<body><font size=";
const std::string kTail = "\r\n</font></body>\r\n</html>";

std::string Render(ql::BookReader& reader, int index, int foundPos = -1, int foundLength = -1,
                   const ql::RenderOptions& options = {}) {
  ql::StringSink sink;
  reader.RenderRecord(sink, options, index, foundPos, foundLength);
  return sink.Data();
}

TEST(RenderRecord, PagesOfABook) {
  // The subject goes out as stored, tags and all. A long record's text continues in the record
  // stream; a small record block makes it cross block boundaries.
  std::string longText = std::string(148, 'x') +
                         "\t\x01"
                         "one cat here" +
                         std::string(300, 'y');
  qltest::BookOptions options;
  options.recordBlockSize = 128;
  qltest::OpenBookFixture book({{"bird",
                                 "a\t\x01"
                                 "b\t\x02"},
                                {"cat", ""},
                                {"dog\t\x01<&>", longText}},
                               options);
  ASSERT_TRUE(book.Ok());
  ql::BookReader& reader = book.Reader();

  EXPECT_EQ(Render(reader, 0), kHead + "3 face=Arial>\r\n<h2>bird</h2>a<b>b</b>" + kTail);
  EXPECT_EQ(reader.CurrentRecord(), 0);

  // An empty record: the heading and an empty body.
  EXPECT_EQ(Render(reader, 1), kHead + "3 face=Arial>\r\n<h2>cat</h2>" + kTail);
  EXPECT_EQ(reader.CurrentRecord(), 1);

  std::string page = Render(reader, 2, 154, 3, {"Times New Roman", 5});
  EXPECT_EQ(page, kHead + "5 face=Times New Roman>\r\n<h2>dog\t\x01<&></h2>" +
                      std::string(148, 'x') +
                      "<b>one <font color=\"red\"><a name=\"foundtext\">cat</a></font> here" +
                      std::string(300, 'y') + kTail);
  EXPECT_EQ(reader.CurrentRecord(), 2);
}

TEST(RenderRecord, IndexOutsideTheBookGivesAnEmptyPage) {
  qltest::OpenBookFixture book(std::vector<qltest::Entry>{{"bird", "wings"}});
  ASSERT_TRUE(book.Ok());
  EXPECT_EQ(Render(book.Reader(), 1), kHead + "3 face=Arial>\r\n<h2></h2>" + kTail);
}

}  // namespace
