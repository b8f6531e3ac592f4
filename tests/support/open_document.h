// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// A document with a book the test builds, open for reading and writing, and
// a scripted desktop beside it.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "book_fixture.h"
#include "document.h"
#include "scripted_desktop.h"

namespace qltest {

class OpenDocumentTest : public testing::Test {
 protected:
  void Open(const std::vector<Entry>& entries) {
    path = dir.File("book.ql");
    WriteFileBytes(path, BuildBookBytes(entries));
    ASSERT_EQ(doc.Open(path, ql::kOpenReadWrite, path), ql::OpenResult::kOk);
    doc.SetInitialised(true);
  }

  TempDir dir;
  std::string path;
  ql::Document doc;
  ScriptedDesktop desktop;
};

}  // namespace qltest
