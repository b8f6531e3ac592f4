// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// A reader over a book the test builds from entries.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <ostream>
#include <vector>

#include "book_fixture.h"
#include "book_reader.h"

namespace qltest {

class OpenBookFixture {
 public:
  explicit OpenBookFixture(const std::vector<Entry>& entries, const BookOptions& options = {}) {
    path_ = dir_.File("book.ql");
    WriteFileBytes(path_, BuildBookBytes(entries, options));
    ok_ = reader_.Open(path_, ql::kOpenReadOnly) == ql::OpenResult::kOk;
  }
  bool Ok() const { return ok_; }
  ql::BookReader& Reader() { return reader_; }

 private:
  TempDir dir_;
  std::string path_;
  ql::BookReader reader_;
  bool ok_ = false;
};

// What a search gave: its result and where it left (record, pos).
struct Hit {
  int result;
  int record;
  int pos;
  bool operator==(const Hit&) const = default;
};

inline std::ostream& operator<<(std::ostream& out, const Hit& h) {
  return out << "{" << h.result << ", record " << h.record << ", pos " << h.pos << "}";
}

}  // namespace qltest
