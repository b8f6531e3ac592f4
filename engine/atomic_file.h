// Writes a file so that a failure never costs the file that stood there: the
// bytes go to a temporary file beside the target, which replaces the target
// only when Commit succeeds. Dropping the object uncommitted removes the
// temporary file and leaves the target as it was.
#pragma once

#include <cstdio>
#include <string>

namespace ql {

class AtomicFile {
 public:
  AtomicFile() = default;
  ~AtomicFile();
  AtomicFile(const AtomicFile&) = delete;
  AtomicFile& operator=(const AtomicFile&) = delete;

  // Creates the temporary file beside target; false (with errno set) on failure.
  bool Open(const std::string& target);
  std::FILE* Stream() { return iStream; }
  // Flushes, syncs and renames over the target; false when any of it failed
  // (the temporary file is then removed and the target is untouched).
  bool Commit();
  // Removes the temporary file without touching the target.
  void Discard();
  const std::string& Target() const { return iTarget; }
  const std::string& TempPath() const { return iTempPath; }

 private:
  std::FILE* iStream = nullptr;
  std::string iTarget;
  std::string iTempPath;
};

}  // namespace ql
