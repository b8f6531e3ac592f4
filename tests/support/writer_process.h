// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// A book held open for writing by another process, as another Quillary
// window holds it: the child opens the book read-write and keeps it open
// until the holder lets it go. Two readers in one process would share what a
// lock of the whole process shares; a child shows what another program sees.
#pragma once

#include <sys/types.h>

#include <string>

#include "book_reader.h"

namespace qltest {

class WriterProcess {
 public:
  // Forks the child and waits until it has tried to open path for writing.
  explicit WriterProcess(const std::string& path);
  // Lets the child go, when Release has not.
  ~WriterProcess();
  WriterProcess(const WriterProcess&) = delete;
  WriterProcess& operator=(const WriterProcess&) = delete;

  // The child's Open result: ql::OpenResult::kOk while it holds the book; kNoChild
  // when there is no child.
  static constexpr ql::OpenResult kNoChild = static_cast<ql::OpenResult>(-100);
  ql::OpenResult OpenResult() const { return iOpenResult; }
  // The child closes the book (its bookmarks are written back) and ends;
  // true when it closed it cleanly.
  bool Release();

 private:
  pid_t iChild = -1;
  int iRelease = -1;  // closing this write end lets the child go
  ql::OpenResult iOpenResult = kNoChild;
};

}  // namespace qltest
