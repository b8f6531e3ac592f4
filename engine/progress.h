// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// Progress of long work (import, upgrade, export). The desktop shows a bar,
// qlbook a line on a terminal, tests count the steps.
#pragma once

#include <cstdint>

namespace ql {

class ProgressSink {
 public:
  virtual ~ProgressSink() = default;
  virtual void SetRange(int64_t lower, int64_t upper) = 0;
  virtual void SetPos(int64_t pos) = 0;
  virtual void Step() = 0;
};

}  // namespace ql
