// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// Books the tests build themselves: a version 2 book from a list of entries
// (with a literal-only block encoder, so the reader is tested without the
// writer), legacy books of versions 1 to 3, and temporary files.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace qltest {

struct Entry {
  std::string subject;
  std::string text;  // stored markup
};

struct ExtraChunk {
  int32_t type = 7;
  int32_t flag = 1;
  std::string data;
};

struct BookOptions {
  int32_t version = 2001;
  int32_t sorted = -1;  // -1: computed from the subjects
  int32_t subjectBlockSize = 25000;
  int32_t recordBlockSize = 25000;
  std::vector<ExtraChunk> chunksBefore;  // written before the bookmark chunk
  std::vector<ExtraChunk> chunksAfter;
  bool bookmarkChunk = true;
  int32_t bookmarkChunkFlag = 1;
  std::string bookmarkBlock;  // empty: 4743 zero bytes
  // Encodes one block; the default writes literal groups only.
  std::function<std::string(std::string_view)> encodeBlock;
};

// Literal-only block coding: groups of eight literals under control byte 0,
// a short last group under control byte 0x01.
std::string EncodeLiteralBlock(std::string_view piece);

// The subject stream, record stream and index values of a book, as the
// builder lays them out.
struct Streams {
  std::string subjects;
  std::string records;
  std::vector<int32_t> index;
};
Streams BuildStreams(const std::vector<Entry>& entries);

std::string BuildBookBytes(const std::vector<Entry>& entries, const BookOptions& options = {});
// The same from streams laid out by the test (sorted is taken as 0 when
// options.sorted is -1); count is the subject count written.
std::string BuildBookFromStreams(const Streams& streams, const BookOptions& options = {});

// Where the coded bytes of each block of a book's two sections lie in its
// file bytes (offset, length), read back from the book's own tables.
struct BlockSpans {
  std::vector<std::pair<size_t, size_t>> subjects, records;
};
BlockSpans FindBlockSpans(std::string_view book);

// A book made damaged in one way the reader can tell, and the records it
// must report damaged (in index order); the rest read as built.
struct DamagedBook {
  std::string name;
  std::string bytes;
  std::vector<Entry> entries;  // what was built, before the damage
  std::vector<int> damaged;
  bool legacy = false;
};
// One of each kind: blocks zeroed, decoding short or long, entries running
// past their block or stream, texts ending before the index says, and
// legacy records not ending where the next one starts.
std::vector<DamagedBook> DamagedBooks();
// The undamaged book they are all made from (every record has a tail,
// subject blocks of 200 and record blocks of 300 bytes).
std::vector<Entry> DamageTestEntries();
BookOptions DamageTestOptions();

// Nibble coding of text ("@" becomes the line-break symbol), with the end symbol.
std::string EncodeNibbleText(std::string_view text);

// A legacy book. versionWord is stored as given (1, 2, 3, or with the
// 1000/500 marks added); the coding follows versionWord mod 10.
std::string BuildLegacyBookBytes(const std::vector<Entry>& entries, int32_t versionWord,
                                 uint32_t uid3 = 0x10004297);

// Per-test scratch directory, removed with its contents on destruction.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& Path() const { return iPath; }
  std::string File(std::string_view name) const { return iPath + "/" + std::string(name); }

 private:
  std::string iPath;
};

// Points XDG_RUNTIME_DIR at dir and XDG_DATA_HOME, XDG_CACHE_HOME and
// XDG_CONFIG_HOME at its data, cache and config folders: the books folder, the
// library, the history, the word indexes the window builds in the background
// and the settings files are the test's own.
void UsePrivateHome(const TempDir& dir);

void WriteFileBytes(const std::string& path, std::string_view bytes);
std::string ReadFileBytes(const std::string& path);

// 32-bit little-endian word at offset of bytes.
int32_t WordAt(std::string_view bytes, size_t offset);

}  // namespace qltest
