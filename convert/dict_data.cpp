// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
#include "dict_data.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cerrno>

#include "atomic_file.h"
#include "byte_order.h"
#include "open_failure.h"
#include "user_texts.h"

namespace ql {

namespace {

constexpr uint8_t kGzipId1 = 0x1F;
constexpr uint8_t kGzipId2 = 0x8B;
constexpr uint8_t kDeflate = 8;
constexpr uint8_t kFlagHeaderCrc = 0x02;
constexpr uint8_t kFlagExtra = 0x04;
constexpr uint8_t kFlagName = 0x08;
constexpr uint8_t kFlagComment = 0x10;
constexpr uint8_t kFlagsReserved = 0xE0;
constexpr size_t kFixedHeader = 10;
constexpr size_t kTrailer = 8;  // CRC-32 and the text's length modulo 2^32
constexpr uint16_t kRandomAccessVersion = 1;
constexpr size_t kRandomAccessFixed = 6;  // version, chunk length, chunk count
// The most of the file's start read for its header: the extra field is at
// most 64 KiB, and a name or comment longer than the rest is not believed.
constexpr size_t kHeaderProbe = 256 * 1024;
// Chunks kept inflated: entries read in sorted order mostly fall in the
// chunks just read.
constexpr size_t kCachedChunks = 16;
constexpr size_t kCopyBuffer = 64 * 1024;
constexpr int kRawDeflate = -15;  // windowBits for deflate without a wrapper
constexpr int kGzipWrapper = 15 + 16;

// Offset just past the zero that ends the string at at, or 0 when head ends first.
size_t PastString(std::span<const uint8_t> head, size_t at) {
  for (size_t i = at; i < head.size(); ++i)
    if (head[i] == 0) return i + 1;
  return 0;
}

// The text of a work file's failure, error (an errno, taken before the
// text is looked up) as its %1.
std::string WorkFileText(const char* text, int error) {
  return Fill(translate("messages", text), {SystemErrorText(error)});
}

}  // namespace

struct DictData::Inflater {
  z_stream stream{};
  bool ready = false;
  explicit Inflater(int windowBits) { ready = inflateInit2(&stream, windowBits) == Z_OK; }
  ~Inflater() {
    if (ready) inflateEnd(&stream);
  }
  Inflater(const Inflater&) = delete;
  Inflater& operator=(const Inflater&) = delete;
};

bool ParseGzipHeader(std::span<const uint8_t> head, GzipHeader& header, std::string& reason) {
  header = GzipHeader();
  if (head.size() < kFixedHeader || head[0] != kGzipId1 || head[1] != kGzipId2) {
    reason = translate("messages", "not a gzip file");
    return false;
  }
  if (head[2] != kDeflate || (head[3] & kFlagsReserved) != 0) {
    reason = translate("messages", "a gzip file of a kind that is not known (method or flags)");
    return false;
  }
  const uint8_t flags = head[3];
  size_t at = kFixedHeader;
  if (flags & kFlagExtra) {
    if (head.size() - at < 2) {
      reason = translate("messages", "the gzip header is cut off");
      return false;
    }
    const size_t extraLength = ReadLE16(head.data() + at);
    at += 2;
    if (head.size() - at < extraLength) {
      reason = translate("messages", "the gzip header is cut off");
      return false;
    }
    const size_t extraEnd = at + extraLength;
    while (at < extraEnd) {
      if (extraEnd - at < 4) {
        reason = translate("messages", "the gzip header's extra field is damaged");
        return false;
      }
      const uint8_t id1 = head[at];
      const uint8_t id2 = head[at + 1];
      const size_t length = ReadLE16(head.data() + at + 2);
      at += 4;
      if (extraEnd - at < length) {
        reason = translate("messages", "the gzip header's extra field is damaged");
        return false;
      }
      if (id1 == 'R' && id2 == 'A' && !header.randomAccess) {
        const uint8_t* p = head.data() + at;
        if (length < kRandomAccessFixed || ReadLE16(p) != kRandomAccessVersion) {
          reason =
              translate("messages", "the dictzip chunk table is of a version that is not known");
          return false;
        }
        const uint32_t chunkLength = ReadLE16(p + 2);
        const size_t count = ReadLE16(p + 4);
        if (chunkLength == 0 || length < kRandomAccessFixed + 2 * count) {
          reason = translate("messages", "the dictzip chunk table is damaged");
          return false;
        }
        header.randomAccess = true;
        header.chunkLength = chunkLength;
        header.chunkSizes.resize(count);
        for (size_t k = 0; k < count; ++k)
          header.chunkSizes[k] = ReadLE16(p + kRandomAccessFixed + 2 * k);
      }
      at += length;
    }
  }
  for (uint8_t flag : {kFlagName, kFlagComment}) {
    if (!(flags & flag)) continue;
    at = PastString(head, at);
    if (at == 0) {
      reason = translate("messages", "the gzip header is cut off");
      return false;
    }
  }
  if (flags & kFlagHeaderCrc) {
    if (head.size() - at < 2) {
      reason = translate("messages", "the gzip header is cut off");
      return false;
    }
    at += 2;
  }
  header.dataStart = at;
  return true;
}

DictData::DictData() = default;

DictData::~DictData() {
  if (iFd >= 0) ::close(iFd);
  if (iWork) std::fclose(iWork);
}

bool DictData::Fail(std::string reason) {
  iFailure = std::move(reason);
  return false;
}

bool DictData::ReadAt(uint64_t offset, void* into, size_t length) {
  auto* p = static_cast<uint8_t*>(into);
  while (length > 0) {
    const ssize_t got = ::pread(iFd, p, length, off_t(offset));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;
    p += got;
    offset += uint64_t(got);
    length -= size_t(got);
  }
  return true;
}

bool DictData::Open(const std::string& path) {
  iPath = path;
  iFd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (iFd < 0) return Fail(path + ": " + SystemErrorText(errno));
  struct stat st {};
  if (::fstat(iFd, &st) != 0) return Fail(path + ": " + SystemErrorText(errno));
  if (!S_ISREG(st.st_mode))
    return Fail(path + ": " + translate("messages", "is not a regular file"));
  const uint64_t fileSize = uint64_t(st.st_size);
  iFileSize = fileSize;
  iFileId = {uint64_t(st.st_dev), uint64_t(st.st_ino)};
  std::vector<uint8_t> head(std::min<uint64_t>(fileSize, kHeaderProbe));
  if (!ReadAt(0, head.data(), head.size())) return Fail(path + ": " + SystemErrorText(errno));
  if (head.size() < 2 || head[0] != kGzipId1 || head[1] != kGzipId2) {
    iSize = fileSize;  // plain text
    return true;
  }
  iGzip = true;
  GzipHeader header;
  std::string reason;
  if (!ParseGzipHeader(head, header, reason)) return Fail(path + ": " + reason);
  if (header.randomAccess) return OpenChunked(header, fileSize);
  // Inflated once the reads are known: the text may be far larger than
  // what they need.
  iAwaitsInflating = true;
  return true;
}

uint64_t DictData::SizeBound() const {
  if (!iAwaitsInflating) return iSize;
  return iFileSize > UINT64_MAX / kMaxInflateRatio ? UINT64_MAX : iFileSize * kMaxInflateRatio;
}

bool DictData::InflateUpTo(uint64_t end) {
  if (!iAwaitsInflating) return true;
  iAwaitsInflating = false;
  return InflateToWorkFile(end);
}

bool DictData::OpenChunked(const GzipHeader& header, uint64_t fileSize) {
  iChunked = true;
  iChunkLength = header.chunkLength;
  iChunkStart.reserve(header.chunkSizes.size() + 1);
  uint64_t at = header.dataStart;
  for (uint16_t size : header.chunkSizes) {
    iChunkStart.push_back(at);
    at += size;
  }
  iChunkStart.push_back(at);
  if (fileSize < kTrailer || at > fileSize - kTrailer)
    return Fail(
        iPath + ": " +
        translate("messages",
                  "the dictzip chunk table does not fit the file (it is cut off or damaged)"));
  uint8_t trailer[kTrailer];
  if (!ReadAt(fileSize - kTrailer, trailer, kTrailer))
    return Fail(iPath + ": " + SystemErrorText(errno));
  const uint64_t length = ReadLE32(trailer + 4);
  const uint64_t count = header.chunkSizes.size();
  // Every chunk but the last is full, so the text's length lies within the
  // last chunk (a table of no chunks holds no text).
  const bool fits = count == 0
                        ? length == 0
                        : length > (count - 1) * iChunkLength && length <= count * iChunkLength;
  if (!fits)
    return Fail(iPath + ": " +
                translate("messages",
                          "the dictzip chunk table does not agree with the length of the text"));
  iSize = length;
  iInflater = std::make_unique<Inflater>(kRawDeflate);
  if (!iInflater->ready)
    return Fail(iPath + ": " + translate("messages", "cannot start inflating: out of memory"));
  return true;
}

bool DictData::InflateToWorkFile(uint64_t end) {
  if (end == 0) return true;
  const auto writeFailed = [&](int error) {
    return Fail(Fill(translate("messages",
                               "cannot write a work file for the %1 bytes of %2's text the index "
                               "names: %3"),
                     {std::to_string(end), iPath, SystemErrorText(error)}));
  };
  iWork = OpenWorkFile();
  if (!iWork)
    return Fail(WorkFileText(QL_TEXT("messages", "cannot create a work file: %1"), errno));
  Inflater inflater(kGzipWrapper);
  if (!inflater.ready)
    return Fail(iPath + ": " + translate("messages", "cannot start inflating: out of memory"));
  z_stream& z = inflater.stream;
  std::vector<uint8_t> in(kCopyBuffer);
  std::vector<uint8_t> out(kCopyBuffer);
  uint64_t offset = 0;
  // Reads the next bytes of the file when those read are used up; false at
  // its end (or on an error, then with errno set).
  const auto fill = [&] {
    if (z.avail_in > 0) return true;
    ssize_t got;
    do got = ::pread(iFd, in.data(), in.size(), off_t(offset));
    while (got < 0 && errno == EINTR);
    if (got <= 0) return false;
    offset += uint64_t(got);
    z.next_in = in.data();
    z.avail_in = uInt(got);
    return true;
  };
  bool ended = false;
  while (iSize < end) {
    errno = 0;
    if (!fill()) {
      if (errno != 0) return Fail(iPath + ": " + SystemErrorText(errno));
      break;
    }
    z.next_out = out.data();
    z.avail_out = uInt(out.size());
    const int r = inflate(&z, Z_NO_FLUSH);
    // What passes end is not needed, and not written.
    const size_t produced = size_t(std::min<uint64_t>(out.size() - z.avail_out, end - iSize));
    errno = 0;
    if (produced && std::fwrite(out.data(), 1, produced, iWork) != produced)
      return writeFailed(errno);
    iSize += produced;
    if (r == Z_STREAM_END) {
      ended = true;
      // Members may follow one another, the next one's start perhaps in
      // the next read; anything else after the end is not gzip and is left
      // alone.
      errno = 0;
      if (!fill()) {
        if (errno != 0) return Fail(iPath + ": " + SystemErrorText(errno));
        break;
      }
      if (z.next_in[0] != kGzipId1) break;
      if (inflateReset(&z) != Z_OK) break;
      ended = false;
      continue;
    }
    if (r != Z_OK && !(r == Z_BUF_ERROR && z.avail_in == 0))
      return Fail(iPath + ": " + translate("messages", "the gzip data is damaged"));
  }
  if (!ended && iSize < end)
    return Fail(iPath + ": " + translate("messages", "the gzip data is cut off"));
  if (std::fflush(iWork) != 0) return writeFailed(errno);
  ::close(iFd);
  iFd = ::dup(::fileno(iWork));
  if (iFd < 0) return Fail(WorkFileText(QL_TEXT("messages", "cannot read a work file: %1"), errno));
  return true;
}

const std::string* DictData::ChunkText(uint32_t index) {
  ++iUses;
  for (Chunk& c : iCache)
    if (c.index == index) {
      c.lastUse = iUses;
      return &c.text;
    }
  Chunk* slot = nullptr;
  if (iCache.size() < kCachedChunks) {
    slot = &iCache.emplace_back();
  } else {
    slot = &*std::min_element(iCache.begin(), iCache.end(),
                              [](const Chunk& a, const Chunk& b) { return a.lastUse < b.lastUse; });
  }
  slot->index = UINT32_MAX;  // named only once filled
  slot->lastUse = 0;
  slot->text.clear();
  const uint64_t start = iChunkStart[index];
  const size_t compressed = size_t(iChunkStart[index + 1] - start);
  iCompressed.resize(compressed);
  if (!ReadAt(start, iCompressed.data(), compressed)) {
    Fail(iPath + ": " + SystemErrorText(errno));
    return nullptr;
  }
  const bool last = index + 1 == iChunkStart.size() - 1;
  const size_t expected = last ? size_t(iSize - uint64_t(index) * iChunkLength) : iChunkLength;
  slot->text.resize(expected);
  z_stream& z = iInflater->stream;
  if (inflateReset(&z) != Z_OK) {
    Fail(iPath + ": " + translate("messages", "cannot inflate"));
    return nullptr;
  }
  z.next_in = reinterpret_cast<Bytef*>(iCompressed.data());
  z.avail_in = uInt(compressed);
  z.next_out = reinterpret_cast<Bytef*>(slot->text.data());
  z.avail_out = uInt(expected);
  // Each call either makes progress or stops the loop; the output is
  // bounded by the chunk's length.
  int r = Z_OK;
  while (r == Z_OK && z.avail_out > 0 && z.avail_in > 0) r = inflate(&z, Z_SYNC_FLUSH);
  if ((r != Z_OK && r != Z_STREAM_END && r != Z_BUF_ERROR) || z.avail_out != 0) {
    slot->text.clear();
    Fail(Fill(translate("messages", "%1: chunk %2 of the dictzip data is damaged"),
              {iPath, std::to_string(index)}));
    return nullptr;
  }
  slot->index = index;
  slot->lastUse = iUses;
  return &slot->text;
}

uint64_t DictData::ChunksInflatedFor(
    const std::vector<std::pair<uint64_t, uint64_t>>& ranges) const {
  if (!iChunked) return 0;
  // The cache as ChunkText keeps it: the chunk used longest ago goes.
  std::vector<std::pair<uint32_t, uint64_t>> cache;  // chunk, last use
  uint64_t uses = 0, inflated = 0;
  for (const auto& [offset, length] : ranges) {
    if (length == 0 || offset >= iSize) continue;
    const uint64_t last = std::min(offset + length, iSize) - 1;
    for (uint64_t c = offset / iChunkLength; c <= last / iChunkLength; ++c) {
      ++uses;
      auto hit =
          std::find_if(cache.begin(), cache.end(), [&](const auto& e) { return e.first == c; });
      if (hit != cache.end()) {
        hit->second = uses;
        continue;
      }
      ++inflated;
      if (cache.size() < kCachedChunks) {
        cache.emplace_back(uint32_t(c), uses);
      } else {
        auto oldest =
            std::min_element(cache.begin(), cache.end(),
                             [](const auto& a, const auto& b) { return a.second < b.second; });
        *oldest = {uint32_t(c), uses};
      }
    }
  }
  return inflated;
}

bool DictData::InflateWhole() {
  if (!iChunked) return true;
  std::FILE* work = OpenWorkFile();
  if (!work) return Fail(WorkFileText(QL_TEXT("messages", "cannot create a work file: %1"), errno));
  const uint32_t count = uint32_t(iChunkStart.size() - 1);
  for (uint32_t c = 0; c < count; ++c) {
    const std::string* text = ChunkText(c);
    if (!text) {
      std::fclose(work);
      return false;
    }
    if (std::fwrite(text->data(), 1, text->size(), work) != text->size()) {
      std::fclose(work);
      return Fail(WorkFileText(QL_TEXT("messages", "cannot write a work file: %1"), errno));
    }
  }
  if (std::fflush(work) != 0) {
    std::fclose(work);
    return Fail(WorkFileText(QL_TEXT("messages", "cannot write a work file: %1"), errno));
  }
  const int fd = ::dup(::fileno(work));
  if (fd < 0) {
    std::fclose(work);
    return Fail(WorkFileText(QL_TEXT("messages", "cannot read a work file: %1"), errno));
  }
  ::close(iFd);
  iFd = fd;
  iWork = work;
  iChunked = false;
  iCache.clear();
  iCache.shrink_to_fit();
  return true;
}

bool DictData::Read(uint64_t offset, uint64_t length, std::string& out) {
  out.clear();
  if (offset > iSize || length > iSize - offset)
    return Fail(
        Fill(translate("messages",
                       "%1: an entry runs past the end of the text (offset %2, length %3, "
                       "text %4 bytes)"),
             {iPath, std::to_string(offset), std::to_string(length), std::to_string(iSize)}));
  if (length == 0) return true;
  if (!iChunked) {
    // The file holds the whole range: its size bounds the allocation.
    out.resize(size_t(length));
    errno = 0;
    if (!ReadAt(offset, out.data(), size_t(length)))
      return Fail(iPath + ": " +
                  (errno ? SystemErrorText(errno) : translate("messages", "cut off")));
    return true;
  }
  // The text's size is only claimed by the header: the entry grows with
  // the chunks that really inflate, so damage fails before memory is spent.
  uint64_t done = 0;
  while (done < length) {
    const uint64_t at = offset + done;
    const uint32_t index = uint32_t(at / iChunkLength);
    const std::string* text = ChunkText(index);
    if (!text) return false;
    const size_t within = size_t(at % iChunkLength);
    const size_t take = size_t(std::min<uint64_t>(length - done, text->size() - within));
    out.append(*text, within, take);
    done += take;
  }
  return true;
}

}  // namespace ql
