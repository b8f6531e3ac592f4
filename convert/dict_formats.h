// The index files of the two dictionary formats Linux desktops carry, and the
// turning of their entries' texts into record markup.
//
// dictd: NAME.index holds one line per entry, "headword TAB offset TAB
// length" (a fourth field, when present, is the headword as first written),
// the numbers in base-64 digits A-Z a-z 0-9 + /, most significant first.
// StarDict: NAME.ifo holds "key=value" lines after its first line; NAME.idx
// holds records of a headword, a zero byte, and a big-endian offset (32 or 64
// bits) and size (32 bits).
//
// Bounds contract of every parser here: it reads only inside the bytes it is
// given, each loop consumes input on every turn, and what it allocates is
// bounded by the input's length. Offsets and lengths are checked against the
// size of the text they point into.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace ql {

// One entry as an index names it.
struct DictEntryRef {
  std::string headword;
  uint64_t offset = 0;
  uint64_t length = 0;
};

// A dictd number: false when digits is empty, holds a character that is no
// base-64 digit, or is too large for 64 bits.
bool DecodeDictdNumber(std::string_view digits, uint64_t& value);

// The headwords by which dictd keeps facts about the dictionary itself
// (00databaseinfo, 00-database-short ...): they are not entries.
bool IsDictdMetadata(std::string_view headword);
// The headword whose presence says the text is UTF-8.
bool IsDictdUtf8Mark(std::string_view headword);

// Parses a whole .index. Blank lines are passed over; a CR before a line's
// LF is dropped. False with the line and the fault in reason when a line is
// damaged or names text past dataSize.
bool ParseDictdIndex(std::string_view text, uint64_t dataSize, std::vector<DictEntryRef>& entries,
                     std::string& reason);

struct StarDictInfo {
  std::string version;
  std::string bookName;
  int64_t wordCount = -1;
  int64_t idxFileSize = -1;
  int offsetBits = 32;
  std::string sameTypeSequence;
};

// The first line of every .ifo.
inline constexpr std::string_view kStarDictIfoMagic = "StarDict's dict ifo file";
// The most bytes an .ifo may have: it is a few short lines.
inline constexpr size_t kStarDictIfoMax = 64 * 1024;

// Parses an .ifo: false with the fault in reason when the first line is not
// the magic line, wordcount or idxfilesize is missing or not a number, or
// idxoffsetbits is neither 32 nor 64.
bool ParseStarDictIfo(std::string_view text, StarDictInfo& info, std::string& reason);

// Parses a whole .idx: false with the record number and the fault in reason
// when a record is cut off, a headword has no end, or an entry runs past
// dataSize.
bool ParseStarDictIdx(std::string_view bytes, int offsetBits, uint64_t dataSize,
                      std::vector<DictEntryRef>& entries, std::string& reason);

// One field of a StarDict entry: its type letter and its bytes.
struct StarDictField {
  char type = 0;
  std::string_view data;
};

// Splits an entry's data into fields, by the .ifo's sametypesequence when it
// has one (then the last field runs to the end of the data), else by the
// type letter each field starts with (lower case: a string ended by a zero
// byte; upper case: a 32-bit big-endian size and that many bytes). A field
// cut off by the end of data ends the list; false then.
bool SplitStarDictFields(std::string_view data, std::string_view sameTypeSequence,
                         std::vector<StarDictField>& fields);

// Record markup from an entry's plain text (the encoding is kept: the
// caller converts): line breaks become line-break tags, an empty line a
// paragraph, a TAB a space and "<" the entity "&lt;" (a page shows record
// text as HTML). With braceLinks, "{word}" becomes a link to word (white
// space within it closed up to single spaces, a word broken after a hyphen
// at a line end joined again); "{text (url)}", a link out of the book, is
// kept as its text.
void PlainTextToMarkup(std::string_view text, bool braceLinks, std::string& out);

// Record markup from simple HTML: the formatting the record markup has
// (bold, italic, underline, rules, breaks, paragraphs, lists, centring,
// strike-through, super- and subscript) is kept, block elements become line
// breaks, links to other entries ("bword://word" or a bare word) become
// links, other tags are dropped (the contents of script and style with
// them), entities are decoded and white space is closed up.
void HtmlToMarkup(std::string_view html, std::string& out);

}  // namespace ql
