// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// A small byte sink: where rendered pages and exported text go.
#pragma once

#include <cerrno>
#include <cstdio>
#include <string>
#include <string_view>

namespace ql {

class ByteSink {
 public:
  virtual ~ByteSink() = default;
  // Appends bytes; false once a write failed (the sink stays failed).
  virtual bool Write(std::string_view bytes) = 0;
  virtual bool Failed() const = 0;
};

class StringSink final : public ByteSink {
 public:
  bool Write(std::string_view bytes) override {
    iData.append(bytes);
    return true;
  }
  bool Failed() const override { return false; }
  const std::string& Data() const { return iData; }
  std::string& Data() { return iData; }

 private:
  std::string iData;
};

// Writes to a stdio stream it does not own; remembers the first failure
// and its errno.
class FileSink final : public ByteSink {
 public:
  explicit FileSink(std::FILE* file) : iFile(file) {}
  bool Write(std::string_view bytes) override {
    if (iFailed) return false;
    errno = 0;
    if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), iFile) != bytes.size()) {
      iFailed = true;
      iError = errno;
    }
    return !iFailed;
  }
  bool Failed() const override { return iFailed; }
  // The errno the failed write left (0 when it left none).
  int Error() const { return iError; }

 private:
  std::FILE* iFile;
  bool iFailed = false;
  int iError = 0;
};

}  // namespace ql
