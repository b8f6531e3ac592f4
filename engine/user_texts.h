// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// The texts the libraries give the window to show, in the user's language:
// the window hands its catalogue over (SetTextTranslator); without one, as
// in qlbook and the tests, they stay English, byte for byte. translate takes
// the arguments of Qt's, so that Qt's tools find the texts here too; a text
// kept in a constant is marked QL_TEXT(context, text) for them.
#pragma once

#include <functional>
#include <initializer_list>
#include <string>
#include <string_view>

#define QL_TEXT(context, text) text

namespace ql {

using TextTranslator = std::function<std::string(const char* context, const char* source)>;
void SetTextTranslator(TextTranslator translator);

// source in the user's language (UTF-8).
std::string translate(const char* context, const char* source);

// text with %1, %2 ... replaced by args in their order.
std::string Fill(std::string_view text, std::initializer_list<std::string_view> args);

}  // namespace ql
