// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// An exported book checked by independent, packaged tools: Palm::PDB parses
// the database, and txt2pdbdoc and mobitool decode every stored block (each
// wrapped in a one-block text database, the form they read). The decoded
// blocks, in order, must give subject NUL converted-text NUL for every
// subject. Each test skips when its tool is not installed (scripts/deps).
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

#include "book_fixture.h"
#include "byte_order.h"
#include "export_book_reader.h"
#include "handheld_test_util.h"

using qltest::ReadFileBytes;
using qltest::TempDir;
using qltest::WriteFileBytes;

namespace {

bool Have(const std::string& command) {
  return std::system(("command -v " + command + " >/dev/null 2>&1").c_str()) == 0;
}

bool HavePalmPdb() {
  return std::system("perl -MPalm::PDB -MPalm::Raw -e 1 >/dev/null 2>&1") == 0;
}

struct Fixture {
  std::vector<qltest::Entry> entries;
  std::string expected;  // subject NUL converted NUL ...
  std::string pdb;
};

// A book of a few hundred entries with markup and links, big enough for more
// than one data record; the expected handheld text is built beside it.
const Fixture& Book() {
  static Fixture f = [] {
    Fixture b;
    std::mt19937 rng(2024);
    const char* words[] = {"alpha",   "beta",  "gamma", "delta",   "word", "entry", "noun",
                           "verb",    "usage", "the",   "of",      "see",  "also",  "\xE9t\xE9",
                           "caf\xE9", "(n)",   "[1]",   "example", "more", "text"};
    const int n = 400;
    std::vector<std::string> subjects;
    for (int i = 0; i < n; ++i) subjects.push_back("Subject" + std::to_string(1000 + i));
    std::vector<std::pair<std::string, std::string>> expected;
    for (int i = 0; i < n; ++i) {
      std::string stored, converted;
      int pieces = 20 + static_cast<int>(rng() % 120);
      for (int k = 0; k < pieces; ++k) {
        std::string w = words[rng() % std::size(words)];
        switch (rng() % 10) {
          case 0:
            stored += "\t\x01" + w + "\t\x02 ";
            converted += w + " ";
            break;
          case 1:
            stored += "\t\x09 " + w;
            converted += "\n\n" + w;
            break;
          case 2: {
            int target = static_cast<int>(rng() % n);
            stored += "\t\x11" + subjects[static_cast<size_t>(target)] + "\t\x12 ";
            converted += "\t\x11" + std::to_string(target) + ">" +
                         subjects[static_cast<size_t>(target)] + "\t\x12 ";
            break;
          }
          case 3:
            stored += "\t\x05" + w + "\t\x06 ";
            converted += "\t\x05" + w + "\t\x06 ";
            break;
          default:
            stored += w + " ";
            converted += w + " ";
        }
      }
      b.entries.push_back({subjects[static_cast<size_t>(i)], stored});
      expected.push_back({subjects[static_cast<size_t>(i)], converted});
    }
    b.expected = hhtest::StreamOf(expected);
    TempDir dir;
    WriteFileBytes(dir.File("book.ql"), qltest::BuildBookBytes(b.entries));
    ql::ExportBookReader reader;
    if (reader.OpenSource(dir.File("book.ql")) != ql::SourceResult::kOk) return b;
    reader.SetExportTime(0);
    if (reader.ExportToHandheld(dir.File("book.pdb").c_str(), "Integration", nullptr) !=
        ql::HandheldResult::kOk)
      return b;
    b.pdb = ReadFileBytes(dir.File("book.pdb"));
    return b;
  }();
  return f;
}

// A one-record text database around one compressed block.
std::string WrapBlock(const std::string& block) {
  std::string f = "blk";
  f.resize(32, '\0');
  f += std::string(28, '\0');  // attributes, version, dates, numbers, ids
  f += "TEXtREAd";
  f += std::string(8, '\0');
  ql::AppendBE16(f, 2);
  ql::AppendBE32(f, 78 + 16 + 2);
  ql::AppendBE32(f, 0);
  ql::AppendBE32(f, 78 + 16 + 2 + 16);
  ql::AppendBE32(f, 1);
  f += std::string(2, '\0');
  ql::AppendBE16(f, 2);  // compressed
  ql::AppendBE16(f, 0);
  ql::AppendBE32(f, 65535);
  ql::AppendBE16(f, 1);
  ql::AppendBE16(f, 4096);
  ql::AppendBE32(f, 0);
  return f + block;
}

std::vector<std::string> AllBlocks(const std::string& pdb) {
  hhtest::ExportedBook b = hhtest::ReadExport(pdb);
  EXPECT_TRUE(b.ok) << b.error;
  EXPECT_GE(b.dataRecords.size(), 2u) << "the book should span data records";
  std::vector<std::string> blocks;
  for (auto& record : b.blocks)
    for (auto& block : record) blocks.push_back(block.coded);
  return blocks;
}

// Decodes every block with command (which reads IN and writes OUT) and
// returns the concatenation.
std::string DecodeAll(const std::string& pdb, const std::string& tool) {
  TempDir dir;
  std::string stream;
  std::vector<std::string> blocks = AllBlocks(pdb);
  for (size_t i = 0; i < blocks.size(); ++i) {
    std::string in = dir.File("b" + std::to_string(i) + ".pdb");
    WriteFileBytes(in, WrapBlock(blocks[i]));
    std::string decoded;
    if (tool == "txt2pdbdoc") {
      std::string out = dir.File("b" + std::to_string(i) + ".txt");
      std::system(("txt2pdbdoc -d -D '" + in + "' '" + out + "' >/dev/null 2>&1").c_str());
      decoded = ReadFileBytes(out);
    } else {
      std::string out = dir.File("m" + std::to_string(i));
      std::filesystem::create_directory(out);
      std::system(("mobitool -d -o '" + out + "' '" + in + "' >/dev/null 2>&1").c_str());
      for (auto& e : std::filesystem::directory_iterator(out))
        if (e.path().extension() == ".rawml") decoded = ReadFileBytes(e.path().string());
    }
    EXPECT_LE(decoded.size(), 4095u) << tool << " block " << i;
    stream += decoded;
  }
  return stream;
}

TEST(HandheldIntegration, Txt2pdbdocDecodesTheTextStream) {
  if (!Have("txt2pdbdoc")) GTEST_SKIP() << "txt2pdbdoc is not installed (scripts/deps)";
  ASSERT_FALSE(Book().pdb.empty());
  std::string stream = DecodeAll(Book().pdb, "txt2pdbdoc");
  ASSERT_EQ(stream.size(), Book().expected.size());
  EXPECT_TRUE(stream == Book().expected);
}

TEST(HandheldIntegration, MobitoolDecodesTheTextStream) {
  if (!Have("mobitool")) GTEST_SKIP() << "mobitool is not installed (libmobi-tools)";
  ASSERT_FALSE(Book().pdb.empty());
  std::string stream = DecodeAll(Book().pdb, "mobitool");
  ASSERT_EQ(stream.size(), Book().expected.size());
  EXPECT_TRUE(stream == Book().expected);
}

TEST(HandheldIntegration, PalmPdbReadsTheDatabase) {
  if (!HavePalmPdb()) GTEST_SKIP() << "Palm::PDB is not installed (libpalm-pdb-perl)";
  ASSERT_FALSE(Book().pdb.empty());
  TempDir dir;
  WriteFileBytes(dir.File("book.pdb"), Book().pdb);
  std::string out = dir.File("records");
  std::filesystem::create_directory(out);
  std::string script =
      "use Palm::PDB; use Palm::Raw; my $p = Palm::PDB->new; $p->Load($ARGV[0]);"
      "open my $o, '>', \"$ARGV[1]/info\" or die; print $o join(' ', $p->{name}, $p->{type},"
      " $p->{creator}, $p->{version}, scalar @{$p->{records}}), \"\\n\"; close $o; my $i = 0;"
      "for my $r (@{$p->{records}}) { open my $f, '>:raw', \"$ARGV[1]/r\" . $i++ or die;"
      " print $f $r->{data}; close $f }";
  WriteFileBytes(dir.File("dump.pl"), script);
  ASSERT_EQ(std::system(("perl '" + dir.File("dump.pl") + "' '" + dir.File("book.pdb") + "' '" +
                         out + "' 2>/dev/null")
                            .c_str()),
            0);
  hhtest::ParsedPdb ours = hhtest::ParsePdb(Book().pdb);
  ASSERT_TRUE(ours.ok) << ours.error;
  std::istringstream info(ReadFileBytes(out + "/info"));
  std::string name, type, creator;
  int version = 0;
  size_t count = 0;
  info >> name >> type >> creator >> version >> count;
  EXPECT_EQ(name, "Integration");
  EXPECT_EQ(type, "Qlry");
  EXPECT_EQ(creator, "QLPW");
  EXPECT_EQ(version, 1);
  ASSERT_EQ(count, ours.records.size());
  for (size_t r = 0; r < count; ++r)
    EXPECT_TRUE(ReadFileBytes(out + "/r" + std::to_string(r)) == ours.records[r]) << "record " << r;
}

}  // namespace
