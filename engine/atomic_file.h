// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// Writes a file so that a failure never costs the file that stood there: the
// bytes go to a temporary file beside the target, which replaces the target
// only when Commit succeeds. Dropping the object uncommitted removes the
// temporary file and leaves the target as it was.
//
// The temporary file has no name while it is written (O_TMPFILE) where the
// file system allows it, so a killed run leaves nothing behind; elsewhere it
// has a short hidden name, so a target name of any allowed length works. A
// target that is a symbolic link has the file it points to replaced, never
// the link; a device or FIFO is written through, as there is nothing to
// replace.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

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
  // The named temporary file, empty while it has no name (or none is used).
  const std::string& TempPath() const { return iTempPath; }
  // The file Commit replaces: the target with its links followed.
  const std::string& ReplacedPath() const { return iPath; }
  // A path the bytes written so far (once flushed) can be read back and
  // rewritten through: the temporary file's name, or its /proc/self/fd
  // entry while it has none. Empty when nothing is open.
  std::string ReadBackPath() const;

  // Commit in two halves, for a caller that does the rename itself: Seal
  // flushes, syncs, closes and names the temporary file (TempPath); the
  // caller renames it over ReplacedPath and then calls Renamed. Discard (or
  // the destructor) removes a sealed file that was not renamed.
  bool Seal();
  void Renamed() { iTempPath.clear(); }

 private:
  std::FILE* iStream = nullptr;
  std::string iTarget;
  std::string iPath;  // the file replaced: the target with its links followed
  std::string iTempPath;
  bool iUnnamed = false;  // an O_TMPFILE file, linked in at Commit
  bool iDirect = false;   // a device or FIFO, written through
};

// Writes bytes as the whole of target through an AtomicFile; false with
// errno set (the target then as it was).
bool WriteFileWhole(const std::string& target, std::string_view bytes);

// A work file that is gone once closed, in $TMPDIR (else /tmp); nullptr
// with errno set when it cannot be made.
std::FILE* OpenWorkFile();

}  // namespace ql
