// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
#include "block_filter_writer.h"

#include <cstring>

#include "byte_order.h"

namespace ql {

namespace {

// A batch is handed over once it holds this many bytes, and the import waits
// while this many batches are queued: memory stays bounded whatever the book.
constexpr size_t kBatchBytes = 256 * 1024;
constexpr size_t kMostQueued = 8;
constexpr size_t kRecordHead = 1 + 8 + 4;

}  // namespace

BlockFilterWriter::BlockFilterWriter(size_t bytes, std::FILE* out)
    : iFilter(bytes), iOut(out), iThread([this] { Work(); }) {}

BlockFilterWriter::~BlockFilterWriter() {
  {
    std::lock_guard lock(iMutex);
    iStopping = true;
  }
  iChanged.notify_all();
  iThread.join();
}

void BlockFilterWriter::Text(int64_t block, std::string_view piece, bool ended) {
  // Long pieces go in parts, so that no batch grows far past its size.
  do {
    const std::string_view part = piece.substr(0, kBatchBytes);
    piece.remove_prefix(part.size());
    uint8_t head[kRecordHead];
    head[0] = ended && piece.empty();
    WriteLE64(head + 1, static_cast<uint64_t>(block));
    WriteLE32(head + 9, static_cast<uint32_t>(part.size()));
    iBatch.append(reinterpret_cast<const char*>(head), sizeof head);
    iBatch.append(part);
    if (iBatch.size() >= kBatchBytes) HandOver();
  } while (!piece.empty());
}

void BlockFilterWriter::HandOver() {
  if (iBatch.empty()) return;
  std::unique_lock lock(iMutex);
  iChanged.wait(lock, [this] { return iQueue.size() < kMostQueued; });
  iQueue.push_back(std::move(iBatch));
  iBatch.clear();
  lock.unlock();
  iChanged.notify_all();
}

bool BlockFilterWriter::Sync() {
  HandOver();
  std::unique_lock lock(iMutex);
  iChanged.wait(lock, [this] { return iQueue.empty() && !iBusy; });
  return !iFailed;
}

void BlockFilterWriter::Work() {
  for (;;) {
    std::string batch;
    {
      std::unique_lock lock(iMutex);
      iChanged.wait(lock, [this] { return iStopping || !iQueue.empty(); });
      if (iQueue.empty()) return;
      batch = std::move(iQueue.front());
      iQueue.pop_front();
      iBusy = true;
    }
    iChanged.notify_all();
    Take(batch);
    {
      std::lock_guard lock(iMutex);
      iBusy = false;
    }
    iChanged.notify_all();
  }
}

void BlockFilterWriter::Take(const std::string& batch) {
  const auto* p = reinterpret_cast<const uint8_t*>(batch.data());
  for (size_t at = 0; at + kRecordHead <= batch.size();) {
    const bool ended = p[at] != 0;
    const auto block = static_cast<int64_t>(ReadLE64(p + at + 1));
    const size_t length = ReadLE32(p + at + 9);
    at += kRecordHead;
    for (; iWritten < block; ++iWritten) {
      const std::vector<uint8_t>& bits = iFilter.Bits();
      uint8_t check[kBlockFilterCheckSize];
      WriteLE32(check, BlockFilterCheck(bits.data(), bits.size()));
      if (!iFailed && (std::fwrite(bits.data(), 1, bits.size(), iOut) != bits.size() ||
                       std::fwrite(check, 1, sizeof check, iOut) != sizeof check))
        iFailed = true;
      iFilter.Clear();
    }
    iFilter.Add(std::string_view(batch).substr(at, length));
    if (ended) iFilter.EndText();
    at += length;
  }
}

}  // namespace ql
