// The text file of a dictionary, read by offset: plain, dictzip, or gzip.
//
// A dictzip file is a gzip file whose header carries an "RA" extra field: the
// length of the chunks the text was cut into and the compressed size of each
// chunk. The compressor flushed fully after every chunk, so each chunk is a
// run of deflate blocks that needs nothing before it, and any offset reads by
// inflating only the chunks that hold it. A gzip file without that field can
// only be read from its start, so it is inflated once into a work file.
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
  // The length of the text: every offset read must lie inside it.
  uint64_t Size() const { return iSize; }
  bool IsDictzip() const { return iChunked; }
  bool IsGzip() const { return iGzip; }

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
  bool InflateToWorkFile();
  const std::string* ChunkText(uint32_t index);

  std::string iPath;
  int iFd = -1;
  std::FILE* iWork = nullptr;  // the inflated text of a plain gzip file
  bool iGzip = false;
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
