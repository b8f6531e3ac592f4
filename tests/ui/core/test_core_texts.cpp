// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// The texts of the core and the libraries go through the window's catalogue
// once it is handed over, whole sentences with their numbers filled in
// afterwards, and stay English without one.
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "dictionary_offer.h"
#include "open_failure.h"
#include "user_texts.h"

namespace {

TEST(CoreTexts, SentencesAreTranslatedWholeAndFilledAfterwards) {
  EXPECT_EQ(ql::Fill("%2 of %1, 100% (%3)", {"a", "b"}), "b of a, 100% (%3)");
  // A catalogue that knows some of the texts: the others stay as they are.
  const std::map<std::string, std::string> catalogue = {
      {"%1 dictionaries", "%1 Wörterbücher"},
      {"%1 dictionaries were found on this computer that the library does not have yet",
       "%1 gefunden"},
      {", and %1 have changed since it was added", ", %1 geändert"},
      {"not a Quillary book", "kein Quillary-Buch"}};
  ql::SetTextTranslator([&](const char* context, const char* source) {
    EXPECT_TRUE(std::string(context) == "core" || std::string(context) == "messages") << context;
    const auto it = catalogue.find(source);
    return it == catalogue.end() ? std::string(source) : it->second;
  });
  const std::string translated = ql::DictionaryOfferText(5, 2);
  ql::OpenFailureInfo notABook;
  notABook.kind = ql::OpenFailureKind::kNotABook;
  // The libraries' texts too, the reasons of a failed open among them.
  EXPECT_EQ(ql::OpenFailureReason(notABook), "kein Quillary-Buch");
  ql::SetTextTranslator(nullptr);
  EXPECT_EQ(ql::OpenFailureReason(notABook), "not a Quillary book");
  EXPECT_EQ(translated,
            "3 gefunden, 2 geändert.\n\nAdd them to the library? They are imported in the "
            "background.");
  EXPECT_EQ(ql::DictionaryOfferText(5, 2),
            "3 dictionaries were found on this computer that the library does not have yet, and 2 "
            "have changed since it was added.\n\nAdd them to the library? They are imported in the "
            "background.");
}

}  // namespace
