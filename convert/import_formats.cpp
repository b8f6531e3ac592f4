// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
#include "import_formats.h"

#include "dictd_import.h"
#include "stardict_import.h"
#include "text_case.h"
#include "text_source.h"
#include "user_texts.h"

namespace ql {

namespace {

template <typename Source>
std::unique_ptr<ImportSource> MakeText(const ImportOptions& options) {
  return std::make_unique<Source>(options.encoding);
}

template <typename Source>
std::unique_ptr<ImportSource> Make(const ImportOptions&) {
  return std::make_unique<Source>();
}

constexpr std::array<ImportFormat, 4> kFormats = {{
    {"tagged",
     {TaggedTextSource::kExtension},
     QL_TEXT("messages", "Tagged text files (*.txt)|*.txt"),
     "no entry was found in it, read as tagged text (no \"<new>\" tag)",
     " (if the file is tab-separated text, give --format tab)",
     MakeText<TaggedTextSource>},
    {"tab",
     {TabTextSource::kExtension, TabTextSource::kOtherExtension},
     QL_TEXT("messages", "Tab seperated files (*.tab)|*.tab"),
     "no entry was found in it, read as tab-separated text (no line with a TAB and a text)",
     " (if the file is tagged text, give --format tagged)",
     MakeText<TabTextSource>},
    {"dictd",
     {DictdImport::kExtension},
     QL_TEXT("messages", "dictd dictionaries (*.index)|*.index"),
     "the dictionary holds no entry",
     "",
     Make<DictdImport>},
    {"stardict",
     {StarDictImport::kExtension},
     QL_TEXT("messages", "StarDict dictionaries (*.ifo)|*.ifo"),
     "the dictionary holds no entry",
     "",
     Make<StarDictImport>},
}};

// "a", "a and b", "a, b and c".
std::string Listed(std::span<const std::string_view> items, std::string_view last) {
  std::string text;
  for (size_t i = 0; i < items.size(); ++i) {
    if (i > 0) text += i + 1 == items.size() ? last : ", ";
    text += items[i];
  }
  return text;
}

}  // namespace

std::span<const ImportFormat> ImportFormats() {
  return kFormats;
}

const ImportFormat* FindImportFormat(std::string_view name) {
  for (const ImportFormat& format : kFormats)
    if (format.name == name) return &format;
  return nullptr;
}

const ImportFormat& ImportFormatForPath(std::string_view path) {
  for (const ImportFormat& format : kFormats)
    for (std::string_view extension : format.extensions)
      if (!extension.empty() && EndsWithFolded(path, extension)) return format;
  return kFormats.front();
}

const ImportFormat& ImportFormatAtFilterIndex(int index) {
  return index >= 0 && size_t(index) < kFormats.size() ? kFormats[size_t(index)] : kFormats.front();
}

int ImportFilterIndex(std::string_view name) {
  for (size_t i = 0; i < kFormats.size(); ++i)
    if (kFormats[i].name == name) return int(i);
  return -1;
}

std::string ImportDialogFilter() {
  std::string text;
  for (const ImportFormat& format : kFormats)
    text += translate("messages", format.dialogFilter) + "|";
  return text + "|";
}

std::string ImportFormatNames() {
  std::array<std::string_view, kFormats.size()> names;
  for (size_t i = 0; i < kFormats.size(); ++i) names[i] = kFormats[i].name;
  return Listed(names, " or ");
}

std::string ImportExtensionRule() {
  std::string text;
  for (const ImportFormat& format : std::span(kFormats).subspan(1)) {
    size_t used = 0;
    while (used < format.extensions.size() && !format.extensions[used].empty()) ++used;
    text += std::string(format.name) + " for " +
            Listed(std::span(format.extensions).first(used), " and ") + ", ";
  }
  return text + "else " + std::string(kFormats.front().name);
}

}  // namespace ql
