// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// A failure on its way up to the place that tells the user: what failed, in
// the result code of its own family, the system's error number where one
// caused it (0 when none did), and the file it concerns. The reason travels
// in this value, never on errno: every call between the failure and the
// message may change errno.
#pragma once

#include <string>

namespace ql {

template <class Code>
struct Failure {
  Code code{};
  int error = 0;
  std::string path;
};

}  // namespace ql
