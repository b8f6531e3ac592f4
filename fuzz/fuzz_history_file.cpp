// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// The history file: any bytes read as one keep at most the limit of steps
// with the current one among them; written and read again they give the
// same steps and the same current step.
#include <cstdint>
#include <string>

#include "lasting_history.h"
#include "utf8_check.h"

using qlfuzz::Require;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const ql::History history = ql::ParseHistory(bytes);
  Require(history.Entries().size() <= ql::kLastingHistoryLimit);
  Require(history.Entries().empty() || history.Current() < history.Entries().size());
  const std::string text = ql::FormatHistory(history);
  const ql::History again = ql::ParseHistory(text);
  Require(again.Entries() == history.Entries());
  Require(history.Entries().empty() || again.Current() == history.Current());
  Require(ql::FormatHistory(again) == text);
  return 0;
}
