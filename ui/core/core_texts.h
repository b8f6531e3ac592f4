// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// The texts the core shows the user, in the user's language: the window
// hands its catalogue over (SetCoreTranslator); without one, as in the
// tests, they stay English. translate takes the arguments of Qt's, so that
// Qt's tools find the texts here too.
#pragma once

#include <functional>
#include <initializer_list>
#include <string>
#include <string_view>

namespace ql {

using CoreTranslator = std::function<std::string(const char* context, const char* source)>;
void SetCoreTranslator(CoreTranslator translator);

// source in the user's language (UTF-8).
std::string translate(const char* context, const char* source);

// text with %1, %2 ... replaced by args in their order.
std::string Fill(std::string_view text, std::initializer_list<std::string_view> args);

}  // namespace ql
