// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// BlockFilterWriter: the search filters of a version 2002 book's subject
// blocks, made on a thread of their own while the import goes on. Texts are
// copied into batches and handed over; the thread folds them into the filter
// of their block and writes each filter, with its check, once the next
// block's first text comes.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "block_filter.h"

namespace ql {

class BlockFilterWriter {
 public:
  // Filters of bytes bytes each, written to out.
  BlockFilterWriter(size_t bytes, std::FILE* out);
  ~BlockFilterWriter();
  BlockFilterWriter(const BlockFilterWriter&) = delete;
  BlockFilterWriter& operator=(const BlockFilterWriter&) = delete;

  // A piece of a text of an entry that starts in block (blocks never go
  // back); ended when the text ends with it.
  void Text(int64_t block, std::string_view piece, bool ended);
  // Waits until every text given is in the filters: then out holds the
  // filters of the blocks before Written(), and Current() is the filter of
  // block Written() so far. False once a write has failed.
  bool Sync();
  int64_t Written() const { return iWritten; }
  const std::vector<uint8_t>& Current() { return iFilter.Bits(); }

 private:
  void HandOver();
  void Work();
  void Take(const std::string& batch);

  BlockFilterBuilder iFilter;
  std::FILE* iOut;
  int64_t iWritten = 0;  // the thread's; read after Sync
  bool iFailed = false;
  std::string iBatch;  // being filled: kind (1), block (8), length (4), bytes

  std::mutex iMutex;
  std::condition_variable iChanged;
  std::deque<std::string> iQueue;
  bool iBusy = false;
  bool iStopping = false;
  std::thread iThread;
};

}  // namespace ql
