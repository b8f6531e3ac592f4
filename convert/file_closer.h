// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// A stdio stream that closes when its owner goes: for sources read and work
// files, whose close has nothing to report. A book or text written for the
// user goes through an AtomicFile instead, which checks its close.
#pragma once

#include <cstdio>
#include <memory>

namespace ql {

struct FileCloser {
  void operator()(std::FILE* f) const {
    if (f) std::fclose(f);
  }
};

using OwnedFile = std::unique_ptr<std::FILE, FileCloser>;

}  // namespace ql
