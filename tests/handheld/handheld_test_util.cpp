// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
#include "handheld_test_util.h"

#include <cstring>
#include <random>
#include <unordered_set>

#include "byte_order.h"
#include "handheld_compress.h"
#include "handheld_reference.h"
#include "pdb_format.h"

namespace hhtest {

std::string ReferenceCompress(std::string_view src) {
  return qltest::ReferenceCompressHandheld(src);
}

std::string Compress(std::string_view source) {
  std::string out(2 * source.size() + 1, '\0');
  size_t n = ql::CompressHandheldBlock(reinterpret_cast<const uint8_t*>(source.data()),
                                       source.size(), reinterpret_cast<uint8_t*>(out.data()));
  out.resize(n);
  return out;
}

std::string Decompress(std::string_view coded, bool* failed) {
  std::string out;
  bool bad = false;
  size_t i = 0;
  while (i < coded.size()) {
    uint8_t c = static_cast<uint8_t>(coded[i++]);
    if (c >= 1 && c <= 8) {
      if (i + c > coded.size()) {
        bad = true;
        break;
      }
      out.append(coded.substr(i, c));
      i += c;
    } else if (c < 0x80) {
      out.push_back(static_cast<char>(c));
    } else if (c >= 0xC0) {
      out.push_back(' ');
      out.push_back(static_cast<char>(c ^ 0x80));
    } else {
      if (i >= coded.size()) {
        bad = true;
        break;
      }
      unsigned v = (unsigned(c) << 8) | static_cast<uint8_t>(coded[i++]);
      size_t d = (v >> 3) & 0x7FF, len = (v & 7) + 3;
      if (d == 0 || d > out.size()) {
        bad = true;
        break;
      }
      for (size_t k = 0; k < len; ++k) out.push_back(out[out.size() - d]);
    }
  }
  if (failed) *failed = bad;
  return out;
}

namespace {
uint16_t Be16(std::string_view s, size_t at) {
  return ql::ReadBE16(reinterpret_cast<const uint8_t*>(s.data()) + at);
}
uint32_t Be32(std::string_view s, size_t at) {
  return ql::ReadBE32(reinterpret_cast<const uint8_t*>(s.data()) + at);
}
}  // namespace

ParsedPdb ParsePdb(std::string_view f) {
  ParsedPdb p;
  if (f.size() < static_cast<size_t>(ql::kPdbHeaderSize)) {
    p.error = "short header";
    return p;
  }
  p.name = std::string(f.substr(0, 32).substr(0, f.substr(0, 32).find('\0')));
  p.created = Be32(f, 36);
  p.modified = Be32(f, 40);
  p.type = std::string(f.substr(60, 4));
  p.creator = std::string(f.substr(64, 4));
  p.numRecords = Be16(f, 76);
  size_t listEnd = 78 + 8 * size_t{p.numRecords};
  if (f.size() < listEnd + 2) {
    p.error = "short record list";
    return p;
  }
  if (static_cast<uint8_t>(f[listEnd]) != 0x99 || static_cast<uint8_t>(f[listEnd + 1]) != 0x99) {
    p.error = "gap bytes are not 99 99";
    return p;
  }
  for (size_t r = 0; r < p.numRecords; ++r) p.offsets.push_back(Be32(f, 78 + 8 * r));
  if (p.numRecords > 0 && p.offsets[0] != listEnd + 2) {
    p.error = "first record not right after the gap";
    return p;
  }
  for (size_t r = 0; r < p.numRecords; ++r) {
    size_t end = r + 1 < p.numRecords ? p.offsets[r + 1] : f.size();
    if (p.offsets[r] > end || end > f.size()) {
      p.error = "record offsets out of order";
      return p;
    }
    p.records.emplace_back(f.substr(p.offsets[r], end - p.offsets[r]));
  }
  p.ok = true;
  return p;
}

bool SplitDataRecord(std::string_view record, std::vector<DataBlock>& blocks) {
  size_t pos = 0;
  while (pos < record.size()) {
    if (pos + 2 > record.size()) return false;
    uint16_t v = Be16(record, pos);
    size_t len = v & 0x7FFF;
    if (pos + 2 + len > record.size()) return false;
    DataBlock b{std::string(record.substr(pos + 2, len)), (v & 0x8000) != 0};
    pos += 2 + len;
    if (b.lastFlag != (pos == record.size())) return false;
    blocks.push_back(std::move(b));
  }
  return !blocks.empty();
}

ExportedBook ReadExport(std::string_view file) {
  ExportedBook b;
  ParsedPdb p = ParsePdb(file);
  if (!p.ok) {
    b.error = p.error;
    return b;
  }
  if (p.type != "Qlry" || p.creator != "QLPW") {
    b.error = "type/creator";
    return b;
  }
  const std::string& h = p.records[0];
  if (h.size() != 402 || Be16(h, 0) != 7 || Be16(h, 8) != 4095 || Be16(h, 10) != 61440 ||
      Be16(h, 12) != 2 || h.substr(18) != std::string(384, '\0')) {
    b.error = "header record";
    return b;
  }
  b.subjectCount = Be32(h, 4);
  b.sorted = Be16(h, 16);
  const size_t n = b.subjectCount;
  const size_t fc = (n + 61438) / 61439, dh = (n + 15358) / 15359;
  if (p.records.size() < 1 + fc + dh) {
    b.error = "too few records";
    return b;
  }
  for (size_t r = 0; r < fc; ++r) b.firstChars += p.records[1 + r];
  std::string headers;
  for (size_t r = 0; r < dh; ++r) headers += p.records[1 + fc + r];
  if (b.firstChars.size() != n || headers.size() != 4 * n) {
    b.error = "table sizes";
    return b;
  }
  for (size_t i = 0; i < n; ++i) {
    b.locations.push_back(Be16(headers, 4 * i));
    b.offsets.push_back(Be16(headers, 4 * i + 2));
  }
  std::vector<size_t> blockStart;  // stream offset of every block, per record
  std::vector<std::vector<size_t>> starts;
  for (size_t r = 1 + fc + dh; r < p.records.size(); ++r) {
    b.dataRecords.push_back(p.records[r]);
    std::vector<DataBlock> blocks;
    if (!SplitDataRecord(p.records[r], blocks) || p.records[r].size() > 61440) {
      b.error = "data record " + std::to_string(r) + " does not split";
      return b;
    }
    starts.emplace_back();
    for (const DataBlock& d : blocks) {
      bool bad = false;
      starts.back().push_back(b.stream.size());
      std::string plain = Decompress(d.coded, &bad);
      if (bad || plain.size() > 4095) {
        b.error = "block does not decode";
        return b;
      }
      b.stream += plain;
    }
    b.blocks.push_back(std::move(blocks));
  }
  // Every entry must begin where its data header says.
  size_t at = 0;
  for (size_t i = 0; i < n; ++i) {
    size_t rec = b.locations[i] >> 7, blk = b.locations[i] & 0x7F;
    if (rec >= starts.size() || blk >= starts[rec].size() ||
        starts[rec][blk] + b.offsets[i] != at) {
      b.error = "subject " + std::to_string(i) + " is not where its data header says";
      return b;
    }
    size_t nul = b.stream.find('\0', at);
    if (nul == std::string::npos || b.firstChars[i] != (nul == at ? '\0' : b.stream[at])) {
      b.error = "first character of subject " + std::to_string(i);
      return b;
    }
    nul = b.stream.find('\0', nul + 1);
    if (nul == std::string::npos) {
      b.error = "entry " + std::to_string(i) + " has no end";
      return b;
    }
    at = nul + 1;
  }
  if (at != b.stream.size()) {
    b.error = "bytes after the last entry";
    return b;
  }
  b.ok = true;
  return b;
}

std::string StreamOf(const std::vector<std::pair<std::string, std::string>>& entries) {
  std::string s;
  for (const auto& [subject, text] : entries) {
    s += subject;
    s.push_back('\0');
    s += text;
    s.push_back('\0');
  }
  return s;
}

ql::SourceResult FakeSource::OpenSource(const std::string& path) {
  iPath = path;
  iSourceOpen = true;
  return ql::SourceResult::kOk;
}
void FakeSource::CloseSource() {
  iSourceOpen = false;
}
int FakeSource::GetSourceSubjectCount() {
  if (logCalls) calls.push_back("count");
  if (generatedCount >= 0) return iSourceOpen ? generatedCount : 0;
  return iSourceOpen ? static_cast<int>(subjects.size()) : 0;
}
int FakeSource::GetMaxSubjectLength() {
  if (logCalls) calls.push_back("maxSubject");
  return iSourceOpen ? maxSubject : 0;
}
int FakeSource::GetMaxRecordLength() {
  if (logCalls) calls.push_back("maxRecord");
  return iSourceOpen ? maxRecord : 0;
}
ql::SourceResult FakeSource::GetSourceSubject(int index, char* buffer, int capacity) {
  if (logCalls) calls.push_back("subject " + std::to_string(index));
  ++subjectReads;
  buffer[0] = 0;
  if (failSubjectAt >= 0 && index >= failSubjectAt) return ql::SourceResult::kShortRead;
  if (generatedCount >= 0) {
    const size_t n = static_cast<size_t>(std::min(generatedSubjectLength, capacity));
    std::memset(buffer, 'x', n);
    buffer[n] = 0;
    return ql::SourceResult::kOk;
  }
  const std::string& s = subjects[static_cast<size_t>(index)];
  size_t n = std::min(s.size(), static_cast<size_t>(capacity));
  std::memcpy(buffer, s.data(), n);
  buffer[n] = 0;
  return ql::SourceResult::kOk;
}
ql::SourceResult FakeSource::GetSourceRecord(int index, int32_t& piece, char* buffer,
                                             int capacity) {
  if (logCalls) calls.push_back("record " + std::to_string(index));
  ++recordReads;
  piece = 0xFFFF;
  buffer[0] = 0;
  if (index == closeAtRecord) iSourceOpen = false;
  if (!iSourceOpen) return ql::SourceResult::kNotOpen;
  if (index == failRecordAt) return ql::SourceResult::kShortRead;
  if (generatedCount >= 0) return ql::SourceResult::kOk;
  const std::string& t = texts[static_cast<size_t>(index)];
  size_t n = std::min(t.size(), static_cast<size_t>(capacity));
  std::memcpy(buffer, t.data(), n);
  buffer[n] = 0;
  return ql::SourceResult::kOk;
}
int FakeSource::GetSourceSorted() {
  if (logCalls) calls.push_back("sorted");
  return iSourceOpen ? sorted : 0;
}

void FakeSource::PrepareLinks() {
  SetSubjects(subjects);
}

std::string Incompressible(size_t length, uint32_t seed, std::string_view avoid) {
  std::mt19937 rng(seed);
  std::unordered_set<uint32_t> seen;
  auto key = [](uint8_t a, uint8_t b, uint8_t c) { return (uint32_t(a) << 16) | (b << 8) | c; };
  for (size_t i = 2; i < avoid.size(); ++i) seen.insert(key(avoid[i - 2], avoid[i - 1], avoid[i]));
  std::string s;
  while (s.size() < length) {
    uint8_t c = static_cast<uint8_t>(0x21 + rng() % 94);
    if (s.size() >= 2) {
      uint32_t k = key(s[s.size() - 2], s[s.size() - 1], c);
      if (seen.count(k)) continue;
      seen.insert(k);
    }
    s.push_back(static_cast<char>(c));
  }
  return s;
}

std::string Hex(std::string_view bytes) {
  static const char* d = "0123456789ABCDEF";
  std::string s;
  for (char ch : bytes) {
    uint8_t c = static_cast<uint8_t>(ch);
    if (!s.empty()) s.push_back(' ');
    s.push_back(d[c >> 4]);
    s.push_back(d[c & 15]);
  }
  return s;
}

std::string Unhex(std::string_view hex) {
  std::string out;
  for (size_t i = 0; i < hex.size();) {
    if (hex[i] == ' ') {
      ++i;
      continue;
    }
    out.push_back(static_cast<char>(std::stoi(std::string(hex.substr(i, 2)), nullptr, 16)));
    i += 2;
  }
  return out;
}

}  // namespace hhtest
