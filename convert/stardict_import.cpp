// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
#include "stardict_import.h"

#include <zlib.h>

#include "dict_markup.h"
#include "record_markup.h"
#include "text_encoding.h"
#include "user_texts.h"

namespace ql {

bool StarDictImport::ReadGzipFile(const std::string& path, uint64_t expected, std::string& bytes) {
  std::string compressed;
  if (!ReadWholeFile(path, UINT64_MAX, compressed)) return false;
  if (expected > compressed.size() * kMaxInflateRatio)
    return Fail(
        Fill(translate("messages", "%1: cannot hold the %2 bytes the .ifo gives as idxfilesize"),
             {path, std::to_string(expected)}));
  bytes.resize(size_t(expected) + 1);  // one more, to find text beyond the size given
  z_stream z{};
  if (inflateInit2(&z, 15 + 16) != Z_OK)
    return Fail(path + ": " + translate("messages", "cannot inflate: out of memory"));
  z.next_in = reinterpret_cast<Bytef*>(compressed.data());
  z.avail_in = uInt(compressed.size());
  z.next_out = reinterpret_cast<Bytef*>(bytes.data());
  z.avail_out = uInt(bytes.size());
  int r = Z_OK;
  while (r == Z_OK && z.avail_out > 0) r = inflate(&z, Z_NO_FLUSH);
  const uint64_t produced = bytes.size() - z.avail_out;
  inflateEnd(&z);
  if (r != Z_STREAM_END && !(r == Z_OK && z.avail_out == 0))
    return Fail(path + ": " + translate("messages", "the gzip data is damaged or cut off"));
  if (produced != expected)
    return Fail(Fill(
        produced > expected
            ? translate("messages", "%1: holds more bytes than the .ifo gives as idxfilesize (%2)")
            : translate("messages",
                        "%1: holds fewer bytes than the .ifo gives as idxfilesize (%2)"),
        {path, std::to_string(expected)}));
  bytes.resize(size_t(produced));
  return true;
}

bool StarDictImport::OpenIndex(const std::string& source) {
  const std::string base = Base(source, kExtension);
  std::string ifo;
  if (!ReadWholeFile(source, kStarDictIfoMax, ifo)) return false;
  std::string reason;
  if (!ParseStarDictIfo(ifo, iInfo, reason))
    return Fail(Fill(translate("messages", "%1: not a StarDict .ifo file: %2"), {source, reason}));
  std::string idx;
  if (Exists(base + ".idx")) {
    if (!ReadWholeFile(base + ".idx", UINT64_MAX, idx)) return false;
    if (uint64_t(iInfo.idxFileSize) != idx.size())
      return Fail(
          Fill(translate("messages", "%1: holds %2 bytes, but the .ifo gives idxfilesize %3"),
               {base + ".idx", std::to_string(idx.size()), std::to_string(iInfo.idxFileSize)}));
  } else if (Exists(base + ".idx.gz")) {
    if (!ReadGzipFile(base + ".idx.gz", uint64_t(iInfo.idxFileSize), idx)) return false;
  } else {
    return Fail(Fill(translate("messages",
                               "%1: the dictionary's index is missing: neither %2.idx nor "
                               "%2.idx.gz is there"),
                     {source, base}));
  }
  if (!OpenData(base)) return false;
  std::vector<DictEntryRef> refs;
  const auto damaged = [&] {
    return Fail(Fill(translate("messages", "%1: %2 (the index is damaged, or is not %3's)"),
                     {base + ".idx", reason, iDataPath}));
  };
  const bool inflate = iData.AwaitsInflating();
  if (!ParseStarDictIdx(idx, iInfo.offsetBits, iData.SizeBound(), refs, reason)) return damaged();
  bool reached = true;
  if (inflate && !InflateAsFarAs(refs, reached)) return false;
  if (!reached && !ParseStarDictIdx(idx, iInfo.offsetBits, iData.Size(), refs, reason))
    return damaged();
  if (uint64_t(iInfo.wordCount) != refs.size())
    return Fail(Fill(
        refs.size() == 1 ? translate("messages",
                                     "%1: holds %2 entry, but the .ifo gives wordcount %3 (one of "
                                     "the two is damaged)")
                         : translate("messages",
                                     "%1: holds %2 entries, but the .ifo gives wordcount %3 (one "
                                     "of the two is damaged)"),
        {base + ".idx", std::to_string(refs.size()), std::to_string(iInfo.wordCount)}));
  iUtf8 = true;
  // With one plain-text field named for all entries, an entry's bytes are
  // that text alone.
  iBodyIsText = iInfo.sameTypeSequence == "m";
  TakeEntries(refs, false);
  return true;
}

void StarDictImport::EntryText(std::string_view body, std::string& text) {
  text.clear();
  iMarkup.clear();
  // A damaged entry keeps the fields read before the damage. Fields are
  // separated by a paragraph; one that adds nothing takes its separator
  // away again.
  SplitStarDictFields(body, iInfo.sameTypeSequence, iFields);
  for (const StarDictField& field : iFields) {
    const size_t before = iMarkup.size();
    if (before > 0) {
      iMarkup.push_back(char(kTagByte));
      iMarkup.push_back(char(kTagParagraph));
    }
    if (field.type == 'm')
      PlainTextToMarkup(field.data, false, iMarkup);
    else if (field.type == 'h')
      HtmlToMarkup(field.data, iMarkup);
    else
      ++iCounts.skippedFields;
    if (iMarkup.size() == before + (before > 0 ? 2 : 0)) iMarkup.resize(before);
  }
  StoreMarkup(iMarkup, text);
}

}  // namespace ql
