// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// The lock keys' states, where the system tells them: the keyboard LEDs the
// kernel lists under /sys/class/leds. Without such LEDs (a remote display, a
// virtual server) nothing is known and the status bar shows no indicators.
#pragma once

#include <optional>
#include <string>

namespace ql {

struct LockStates {
  bool caps = false;
  bool num = false;
  bool scroll = false;
};

// nullopt when the directory lists no lock-key LED at all.
std::optional<LockStates> ReadLockStates(const std::string& ledDirectory = "/sys/class/leds");

}  // namespace ql
