// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
#include "subject_list.h"

#include <cstdint>

#include "plain_text.h"

namespace ql {

namespace {

constexpr char kTab = '\t';
constexpr uint8_t kLinkStart = 17;
constexpr char kNoBreakSpace = '\xA0';

// Tags that separate words: rule, line break, paragraph, list item, centre on
// and off, superscript and subscript on.
bool BecomesSpace(uint8_t code) {
  switch (code) {
    case 7:
    case 8:
    case 9:
    case 10:
    case 15:
    case 16:
    case 21:
    case 23:
      return true;
    default:
      return false;
  }
}

// The preview is one line: the no-break spaces that indent a line of the
// entry (dict_markup.h) are left out there.
size_t PastIndent(std::string_view head, size_t i) {
  while (i < head.size() && head[i] == kNoBreakSpace) ++i;
  return i;
}

}  // namespace

std::string CleanPreview(std::string_view head) {
  // One pass: everything before the tag being looked at is already free of
  // TABs, so going on from it is the same as searching again from the start.
  std::string out;
  out.reserve(head.size());
  size_t i = PastIndent(head, 0);
  while (i < head.size()) {
    if (head[i] != kTab) {
      // The page shows an entity as its character; so does the preview.
      char byte = 0;
      if (const size_t length = head[i] == '&' ? DecodeRecordEntity(head, i, byte) : 0) {
        out.push_back(byte);
        i += length;
      } else {
        out.push_back(head[i++]);
      }
      continue;
    }
    if (i + 1 == head.size()) break;  // a lone TAB at the end goes
    const uint8_t code = static_cast<uint8_t>(head[i + 1]);
    i += 2;
    if (BecomesSpace(code)) {
      out.push_back(' ');
      i = PastIndent(head, i);
    } else if (code == kLinkStart) {
      // The target runs to '>'; without one before the next tag it is text.
      size_t end = i;
      while (end < head.size() && head[end] != '>' && head[end] != kTab) ++end;
      if (end < head.size() && head[end] == '>') i = end + 1;
    }
  }
  return out;
}

std::pair<int, int> InitialColumnWidths(int clientWidth, int scrollBarWidth) {
  const int subject = (clientWidth - scrollBarWidth - 1) / 3;
  return {subject, clientWidth - subject - scrollBarWidth - 1};
}

std::pair<int, int> ResizedColumnWidths(int clientWidth) {
  const int subject = (clientWidth - 1) / 3;
  return {subject, clientWidth - subject - 1};
}

std::pair<int, int> SplitHalves(int height) {
  return {height / 2, height - height / 2};
}

int RecordForKey(ListKey key, int selectionMark, int rowCount) {
  const int m = selectionMark;
  if (m < 0 || m >= rowCount) return -1;  // no selection, or no such row
  switch (key) {
    case ListKey::kUp:
      return m >= 1 ? m - 1 : -1;
    case ListKey::kEnter:
      return m;
    case ListKey::kDown:
      return m < rowCount - 1 ? m + 1 : -1;
    case ListKey::kHome:
    case ListKey::kEnd:
    case ListKey::kPageUp:
    case ListKey::kPageDown:
    case ListKey::kOther:
      return -1;
  }
  return -1;
}

int TypedFind(Document& doc, std::string_view typed) {
  if (!doc.IsOpen() || typed.empty()) return -1;
  return doc.Reader().FindSubject(MatchPrefix, typed);
}

int RowForJump(ListKey key, int selectionMark, int rowCount, int pageRows) {
  if (rowCount <= 0) return -1;
  const int from = selectionMark >= 0 && selectionMark < rowCount ? selectionMark : 0;
  const int page = pageRows < 1 ? 1 : pageRows;
  switch (key) {
    case ListKey::kHome:
      return 0;
    case ListKey::kEnd:
      return rowCount - 1;
    case ListKey::kPageUp:
      return from > page ? from - page : 0;
    case ListKey::kPageDown:
      return rowCount - 1 - from > page ? from + page : rowCount - 1;
    case ListKey::kUp:
    case ListKey::kDown:
    case ListKey::kEnter:
    case ListKey::kOther:
      break;
  }
  return -1;
}

}  // namespace ql
