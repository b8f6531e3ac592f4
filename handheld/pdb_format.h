// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// The handheld database layout: a Palm OS database (78-byte header, record
// list, two gap bytes, records) holding a header record, the first-character
// table, the data header table and the compressed text blocks. Every integer
// in the file is big-endian.
#pragma once

#include <cstdint>

namespace ql {

// Database header and record list.
inline constexpr int kPdbNameSize = 32;
inline constexpr int kPdbHeaderSize = 78;
inline constexpr int kPdbRecordEntrySize = 8;
inline constexpr int kPdbGapSize = 2;
inline constexpr uint8_t kPdbGapByte = 0x99;
inline constexpr uint16_t kPdbVersion = 1;
inline constexpr char kPdbType[4] = {'Q', 'l', 'r', 'y'};
inline constexpr char kPdbCreator[4] = {'Q', 'L', 'P', 'W'};
// Seconds from 1904-01-01 (the handheld's epoch) to 1970-01-01.
inline constexpr int64_t kPalmEpochOffset = 2082844800;

// Header record (record 0).
inline constexpr uint16_t kQLPFormatId = 7;
inline constexpr uint16_t kQLPCodingId = 2;
inline constexpr int kQLPReservedEntries = 16;
inline constexpr int kQLPReservedEntrySize = 24;
inline constexpr int kQLPReservedEntryName = 16;  // bytes before the two words
inline constexpr int kQLPHeaderRecordSize =
    18 + kQLPReservedEntries * kQLPReservedEntrySize;  // 402

// Text stream, blocks and data records.
inline constexpr int kQLPBlockSize = 4095;
inline constexpr int kQLPRecordLimit = 61440;    // a data record's upper bound
inline constexpr int kQLPRecordUsedMax = 61438;  // used + c must not pass this
inline constexpr int kQLPBlockLengthFieldSize = 2;
inline constexpr uint16_t kQLPLastBlockFlag = 0x8000;
inline constexpr int kQLPFirstCharRecordSize = 61439;  // bytes of the table per record
inline constexpr int kQLPDataHeaderEntrySize = 4;
inline constexpr int kQLPDataHeaderEntriesPerRecord = 15359;  // 61436 bytes, no split entries
inline constexpr int kQLPLocationBlockBits = 7;
inline constexpr int kQLPMaxDataRecords = 512;      // record part of `location`: 9 bits
inline constexpr int kQLPMaxBlocksPerRecord = 128;  // block part: 7 bits
inline constexpr int kQLPMaxBlocks = 259999;

// What a database can hold, known before a book is read. No token of the
// block code stands for more than 10 bytes in 2, so a full block compresses
// to at least 819 bytes and a data record holds at most 74 full blocks. An
// entry must start in a block of data records 0..511, so the stream before
// the last entry's start stays below 512 x 74 full blocks; every entry puts
// at least its two NULs before it.
inline constexpr int kQLPMinFullBlockCompressed = kQLPBlockSize / 5;  // 819
inline constexpr int kQLPMaxFullBlocksPerRecord =
    (kQLPRecordUsedMax - kQLPMinFullBlockCompressed) /
        (kQLPMinFullBlockCompressed + kQLPBlockLengthFieldSize) +
    1;  // 74
inline constexpr int64_t kQLPMaxStreamBeforeLastEntry =
    int64_t{kQLPMaxDataRecords} *
    (kQLPMaxFullBlocksPerRecord < kQLPMaxBlocksPerRecord ? kQLPMaxFullBlocksPerRecord
                                                         : kQLPMaxBlocksPerRecord) *
    kQLPBlockSize;  // 155151360
inline constexpr int kQLPMinEntryBytes = 2;
inline constexpr int64_t kQLPMaxSubjects =
    kQLPMaxStreamBeforeLastEntry / kQLPMinEntryBytes;  // 77575680

}  // namespace ql
