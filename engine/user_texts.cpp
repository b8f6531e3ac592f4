// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
#include "user_texts.h"

#include <mutex>
#include <utility>

namespace ql {

namespace {

std::mutex gMutex;
TextTranslator& Translator() {
  static TextTranslator translator;
  return translator;
}

}  // namespace

void SetTextTranslator(TextTranslator translator) {
  std::lock_guard lock(gMutex);
  Translator() = std::move(translator);
}

std::string translate(const char* context, const char* source) {
  TextTranslator translator;
  {
    std::lock_guard lock(gMutex);
    translator = Translator();
  }
  return translator ? translator(context, source) : std::string(source);
}

std::string Fill(std::string_view text, std::initializer_list<std::string_view> args) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    const size_t k = i + 1 < text.size() ? static_cast<size_t>(text[i + 1] - '1') : args.size();
    if (text[i] == '%' && k < args.size() && k < 9) {
      out += *(args.begin() + k);
      ++i;
    } else {
      out += text[i];
    }
  }
  return out;
}

}  // namespace ql
