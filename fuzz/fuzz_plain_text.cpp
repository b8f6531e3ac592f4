// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// A record's plain text and the conversions to and from UTF-8: the text
// holds no tag byte, never three line ends in a row and stays in proportion
// to the record; Windows-1252 bytes go to UTF-8 and back unchanged; the
// lenient conversion is always UTF-8 and leaves UTF-8 as it is.
#include <cstdint>
#include <string>

#include "plain_text.h"
#include "record_markup.h"
#include "utf8_check.h"

using qlfuzz::IsUtf8;
using qlfuzz::Require;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const std::string text = ql::RecordPlainText(bytes);
  Require(text.find(static_cast<char>(ql::kTagByte)) == std::string::npos);
  Require(text.find("\n\n\n") == std::string::npos);
  Require(text.empty() || text.back() == '\n');
  Require(text.size() <= 32 * size + 16);

  const std::string utf8 = ql::Cp1252ToUtf8(bytes);
  Require(IsUtf8(utf8));
  const std::string lenient = ql::LenientUtf8(bytes);
  Require(IsUtf8(lenient));
  Require(!IsUtf8(bytes) || lenient == bytes);
  if (const auto back = ql::Utf8ToCp1252(bytes)) Require(ql::Cp1252ToUtf8(*back) == bytes);
  Require(ql::Utf8ToCp1252(utf8) == std::string(bytes));
  return 0;
}
