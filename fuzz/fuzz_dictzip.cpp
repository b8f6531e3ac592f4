// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// A dictionary text file from arbitrary bytes: plain, dictzip or gzip (its
// members inflated no further than asked). When it opens, reads at its start, middle and end
// (across chunk boundaries) must stay inside the text's size and return exactly the length asked
// for or fail with a reason, and a dictzip text inflated whole must read as its chunks did. Any
// crash, hang, leak or out-of-bounds access is a finding too.
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>

#include "dict_data.h"
#include "memory_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const int fd = qlfuzz::MemoryFile(data, size);
  if (fd < 0) return 0;
  {
    ql::DictData text;
    bool opened = text.Open("/proc/self/fd/" + std::to_string(fd));
    if (opened && text.AwaitsInflating()) {
      // Inflated as far as a reader would ask, and never further.
      const uint64_t end = std::min<uint64_t>(text.SizeBound(), uint64_t(1) << 22);
      opened = text.InflateUpTo(end);
      if (opened && text.Size() > end) std::abort();
    }
    if (opened) {
      const uint64_t total = text.Size();
      const uint64_t probe = std::min<uint64_t>(total, 70000);
      const uint64_t offsets[] = {0, total / 2, total - probe, total / 3};
      // What each read gave, chunk by chunk; nullopt when it failed.
      std::optional<std::string> got[4];
      std::string out;
      for (int k = 0; k < 4; ++k) {
        const uint64_t length = std::min<uint64_t>(probe, total - offsets[k]);
        if (text.Read(offsets[k], length, out)) {
          if (out.size() != length) std::abort();
          got[k] = out;
        } else if (text.Failure().empty()) {
          std::abort();
        }
      }
      if (text.Read(total, 1, out)) std::abort();  // past the end
      // Inflated whole, the text reads the same wherever chunks read.
      if (text.IsDictzip() && text.InflateWhole()) {
        for (int k = 0; k < 4; ++k) {
          const uint64_t length = std::min<uint64_t>(probe, total - offsets[k]);
          if (got[k] && (!text.Read(offsets[k], length, out) || out != *got[k])) std::abort();
        }
      }
    } else if (text.Failure().empty()) {
      std::abort();
    }
  }
  close(fd);
  return 0;
}
