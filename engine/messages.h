// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// The one way the libraries reach the user: a message with a caption. The
// desktop shows a message box; qlbook prints to stderr; tests record them.
#pragma once

#include <string_view>

namespace ql {

inline constexpr std::string_view kDefaultCaption = "Quillary";

class MessageSink {
 public:
  virtual ~MessageSink() = default;
  virtual void ShowMessage(std::string_view text, std::string_view caption) = 0;
};

}  // namespace ql
