// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// The text file of a dictionary, read by offset: plain, dictzip, or gzip.
//
// A dictzip file is a gzip file whose header carries an "RA" extra field: the
// length of the chunks the text was cut into and the compressed size of each
// chunk. The compressor flushed fully after every chunk, so each chunk is a
// run of deflate blocks that needs nothing before it, and any offset reads by
// inflating only the chunks that hold it. A gzip file without that field can
// only be read from its start, so it is inflated into a work file, every
// member of it, but no further than the reads will need.
//
// Bounds contract: every read of the file is checked against its size; the
// chunk table must fit the file and agree with the length the gzip trailer
// gives; reads past the text's end fail; memory held is a few chunks.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <span>
#include <string>
#include <utility>
#include <vector>

namespace ql {

// Deflate cannot inflate one byte into more than this many: a larger size
// claimed for a gzip file's text is false.
inline constexpr uint64_t kMaxInflateRatio = 1032;

// What a gzip header says; only the parts a reader needs.
struct GzipHeader {
  uint64_t dataStart = 0;            // offset of the first deflate block
  bool randomAccess = false;         // an "RA" field was found
  uint32_t chunkLength = 0;          // RA: bytes of text in every chunk but the last
  std::vector<uint16_t> chunkSizes;  // RA: compressed size of each chunk
};

// Parses the gzip header at the start of head (the file's first bytes).
// False when it is not a gzip header, or it is cut off by the end of head, or
// an extra field is damaged; reason then says which.
bool ParseGzipHeader(std::span<const uint8_t> head, GzipHeader& header, std::string& reason);

class DictData {
 public:
  DictData();
  ~DictData();
  DictData(const DictData&) = delete;
  DictData& operator=(const DictData&) = delete;

  // Opens path and learns its kind. False with the reason, path first, in
  // Failure().
  bool Open(const std::string& path);
  // The length of the text: every offset read must lie inside it. A plain
  // gzip text has no length until InflateUpTo has inflated it.
  uint64_t Size() const { return iSize; }
  bool IsDictzip() const { return iChunked; }
  bool IsGzip() const { return iGzip; }
  // True for a plain gzip text not inflated yet.
  bool AwaitsInflating() const { return iAwaitsInflating; }
  // The most text there can be: Size(), or for a plain gzip text not
  // inflated yet what its compressed bytes could inflate to at most.
  uint64_t SizeBound() const;
  // Inflates a plain gzip text into a work file, member after member, until
  // end bytes are there or the text ends (Size() then says how far it
  // went); nothing to do for any other text. False with the reason when the
  // gzip data is damaged or the work file cannot take what end asks for.
  bool InflateUpTo(uint64_t end);
  // The file opened, as its device and inode number.
  std::pair<uint64_t, uint64_t> FileId() const { return iFileId; }

  // Reads length bytes at offset into out. False with the reason in Failure()
  // when the range is not inside the text or a chunk is damaged.
  bool Read(uint64_t offset, uint64_t length, std::string& out);

  // How many chunks reading these ranges in this order would inflate, with
  // the chunks kept as Read keeps them (0 for text that is not dictzip).
  uint64_t ChunksInflatedFor(const std::vector<std::pair<uint64_t, uint64_t>>& ranges) const;
  uint64_t ChunkCount() const { return iChunked ? iChunkStart.size() - 1 : 0; }
  // Inflates every chunk once, in order, into a work file that later reads
  // come from: cheaper than the chunks when the reads jump about the text.
  bool InflateWhole();

  const std::string& Failure() const { return iFailure; }

 private:
  struct Chunk {
    uint32_t index = 0;
    uint64_t lastUse = 0;
    std::string text;
  };
  bool Fail(std::string reason);
  bool ReadAt(uint64_t offset, void* into, size_t length);
  bool OpenChunked(const GzipHeader& header, uint64_t fileSize);
  bool InflateToWorkFile(uint64_t end);
  const std::string* ChunkText(uint32_t index);

  std::string iPath;
  int iFd = -1;
  std::FILE* iWork = nullptr;  // the inflated text of a plain gzip file
  bool iGzip = false;
  bool iAwaitsInflating = false;
  uint64_t iFileSize = 0;
  std::pair<uint64_t, uint64_t> iFileId;
  bool iChunked = false;
  uint64_t iSize = 0;
  uint32_t iChunkLength = 0;
  std::vector<uint64_t> iChunkStart;  // file offset of each chunk, and the end
  std::vector<Chunk> iCache;
  uint64_t iUses = 0;
  std::string iCompressed;
  struct Inflater;
  std::unique_ptr<Inflater> iInflater;
  std::string iFailure;
};

}  // namespace ql
