// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// The handheld block coding done the plain way: grow a candidate, scan the
// window for its lowest occurrence, emit when it cannot grow; then fold
// escapes into runs. Slow, and the yardstick the fast coder is held to by the
// tests and the benchmark.
#pragma once

#include <string>
#include <string_view>

namespace qltest {

std::string ReferenceCompressHandheld(std::string_view src);

}  // namespace qltest
