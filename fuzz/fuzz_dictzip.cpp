// A dictionary text file from arbitrary bytes: plain, dictzip or gzip. When
// it opens, reads at its start, middle and end (across chunk boundaries) must
// stay inside the text's size and return exactly the length asked for or
// fail with a reason. Any crash, hang, leak or out-of-bounds access is a
// finding too.
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "dict_data.h"
#include "memory_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const int fd = qlfuzz::MemoryFile(data, size);
  if (fd < 0) return 0;
  {
    ql::DictData text;
    if (text.Open("/proc/self/fd/" + std::to_string(fd))) {
      const uint64_t total = text.Size();
      std::string out;
      const uint64_t probe = std::min<uint64_t>(total, 70000);
      for (uint64_t offset : {uint64_t(0), total / 2, total - probe, total / 3}) {
        const uint64_t length = std::min<uint64_t>(probe, total - offset);
        if (text.Read(offset, length, out)) {
          if (out.size() != length) std::abort();
        } else if (text.Failure().empty()) {
          std::abort();
        }
      }
      if (text.Read(total, 1, out)) std::abort();  // past the end
    } else if (text.Failure().empty()) {
      std::abort();
    }
  }
  close(fd);
  return 0;
}
