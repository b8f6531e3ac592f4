// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// ZstdBlockCoder: the block coding of version 2002 books. A dictionary is
// trained on samples of the book's own streams, so that blocks coded each
// by itself still find the text's common words and phrases; blocks are
// coded side by side on a few threads, each with a context of its own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace ql {

class ZstdBlockCoder {
 public:
  explicit ZstdBlockCoder(int level);
  ~ZstdBlockCoder();
  ZstdBlockCoder(const ZstdBlockCoder&) = delete;
  ZstdBlockCoder& operator=(const ZstdBlockCoder&) = delete;

  // Trains the dictionary on samples (pieces of the streams, back to back,
  // with their sizes); with too little text to learn from the book gets
  // none. False only when memory ran out.
  bool Train(const std::string& samples, const std::vector<size_t>& sizes);
  // The dictionary's bytes as the book stores them; empty when there is none.
  const std::string& Dictionary() const { return iDictionary; }
  // Codes every block of blocks into coded (one string each), side by side
  // on up to threads threads. False when a context could not be had.
  bool Code(const std::vector<std::string>& blocks, std::vector<std::string>& coded, int threads);

 private:
  struct Contexts;
  int iLevel;
  std::string iDictionary;
  std::unique_ptr<Contexts> iContexts;
};

// How many threads the writer codes blocks on.
int CodingThreads();

}  // namespace ql
