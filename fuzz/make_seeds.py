#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
# Copyright (C) 2026 The Quillary developers
"""Writes the seed inputs of the fuzz targets: small version 2 books (with
entries and tails across 64-byte blocks), a small version 2002 book (UTF-8,
zstd frames of raw blocks, a shared text), legacy books of codings 1 and 3,
and a few coded units for the decoders."""
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))
u32 = lambda v: struct.pack('<i', v)


def literal_block(piece):
    out = b''
    i = 0
    while len(piece) - i >= 8:
        out += b'\0' + piece[i:i + 8]
        i += 8
    if i < len(piece):
        out += b'\x01' + piece[i:]
    return out


def section(stream, block_size):
    table, data = b'', b''
    for pos in range(0, len(stream), block_size):
        coded = literal_block(stream[pos:pos + block_size])
        table += u32(len(data)) + u32(len(coded))
        data += coded
    count = len(table) // 8
    return u32(8 + len(table) + len(data)) + u32(count) + u32(block_size) + table + data


def bookmark_block(marks):
    block = bytearray(51 * 93)
    for slot, (index, text) in marks.items():
        entry = u32(len(text)) + u32(index) + u32(0) + text[:81]
        block[slot * 93:slot * 93 + len(entry)] = entry
    return bytes(block)


def book(entries, block_size, sorted_flag, marks):
    subjects, records, index = b'', b'', []
    for subject, text in entries:
        index.append(len(subjects))
        if len(text) > 150:
            subjects += b'\xe0' + u32(len(records))
            records += text[150:] + b'\0'
        else:
            subjects += b'\x60'
        subjects += subject + b'\0' + text[:150] + b'\0'
    chunks = u32(1) + u32(1) + u32(51 * 93) + bookmark_block(marks)
    head = struct.pack('<IIIIiiiii', 0x10000037, 0x1000006D, 0x100016D2, 0xFCDDF4DC, 2001,
                       sorted_flag, len(entries), 1, len(chunks))
    return (head + chunks + b''.join(u32(v) for v in index) + section(subjects, block_size) +
            section(records, block_size))


def nibbles(text):
    single, lower = b' eoatnirslh.', b'bcdfgjkmpquvwxyz'
    out = []
    for c in text:
        if c in single:
            out.append(single.index(c))
        elif c in lower:
            out += [13, lower.index(c)]
        elif ord('A') <= c <= ord('P'):
            out += [14, c - ord('A')]
        elif ord('Q') <= c <= ord('Z'):
            out += [15, c - ord('Q')]
        elif c in b",;@'()":
            out += [15, 10 + b",;@'()".index(c)]
        else:
            out += [12, c >> 4, c & 15]
    out += [12, 0, 0]
    if len(out) % 2:
        out.append(0)
    return bytes((out[i] << 4) | out[i + 1] for i in range(0, len(out), 2))


def legacy(entries, version):
    n = len(entries)
    header_size = 28 + 4 * n + sum(8 + len(s) for s, _ in entries)
    table, subjects, records = b'', b'', b''
    entry_pos, record_pos = 28 + 4 * n, header_size
    for subject, text in entries:
        table += u32(entry_pos)
        subjects += u32(len(subject)) + subject + u32(record_pos)
        entry_pos += 8 + len(subject)
        coded = text if version % 10 == 1 else nibbles(text)
        records += u32(len(coded)) + coded
        record_pos += 4 + len(coded)
    head = struct.pack('<IIIIiii', 0x10000037, 0x1000006D, 0x10004297, 0, version, n, header_size)
    return head + table + subjects + records


def write(target, name, data):
    folder = os.path.join(HERE, 'seeds', target)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), 'wb') as f:
        f.write(data)


entries = [(b'Apple', b'A fruit.\t\x01red\t\x02 or green'),
           (b'Banana', bytes(range(33, 123)) * 3),
           (b'cherry', b''),
           (b'Damson', b'x' * 151),
           (b'elderberry ' * 8, b'Tail ' * 60)]
write('fuzz_book_reader', 'v2_small_blocks.ql', book(entries, 64, 1, {1: (0, b'Apple')}))
write('fuzz_book_reader', 'v2_unsorted.ql', book(list(reversed(entries)), 25000, 0, {}))
legacy_entries = [(b'Aardvark', b'An animal@It digs.'), (b'Zebra', b'Striped (horse); see X')]
write('fuzz_book_reader', 'legacy_v1.ql', legacy(legacy_entries, 1))
write('fuzz_book_reader', 'legacy_v3.ql', legacy(legacy_entries, 3))
write('fuzz_book_reader', 'legacy_v2_marked.ql',
      legacy(legacy_entries, 1502) + bytes(88) + bookmark_block({2: (1, b'Zebra')}))

write('fuzz_decompress', 'literals', b'\x01\x00\x00' + literal_block(b'abcdefghij' * 5))
write('fuzz_decompress', 'references', b'\x08\x00\x01' + b'\x11abc\x40\x03' + b'\x41x\xf0\x01')
write('fuzz_decompress', 'nibbles', b'\x00\x40\x02' + nibbles(b'The cat@Sat on (the) mat; \x80'))


def dictd_number(value):
    digits = 'ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/'
    out = ''
    while True:
        out = digits[value & 63] + out
        value >>= 6
        if not value:
            return out


def dictzip(text, chunk_length):
    import zlib
    squeeze = zlib.compressobj(9, zlib.DEFLATED, -15)
    chunks = []
    for pos in range(0, len(text), chunk_length):
        last = pos + chunk_length >= len(text)
        piece = squeeze.compress(text[pos:pos + chunk_length])
        piece += squeeze.flush(zlib.Z_FINISH if last else zlib.Z_FULL_FLUSH)
        chunks.append(piece)
    field = struct.pack('<HHH', 1, chunk_length, len(chunks)) + b''.join(
        struct.pack('<H', len(c)) for c in chunks)
    extra = b'RA' + struct.pack('<H', len(field)) + field
    head = b'\x1f\x8b\x08\x0c' + bytes(4) + b'\x02\x03' + struct.pack('<H', len(extra)) + extra
    return (head + b'seed.dict\0' + b''.join(chunks) +
            struct.pack('<II', zlib.crc32(text), len(text) & 0xFFFFFFFF))


dict_text = (b'apple\n  a fruit; see {pear}\n\n  2. a company\n' +
             b'pear\n  <b>sweet</b> &amp; {apple}\n' + b'caf\xc3\xa9\n  \xe2\x98\x83\n') * 3
dict_index = ''.join('%s\t%s\t%s\n' % (w, dictd_number(o), dictd_number(n))
                     for w, o, n in [('00-database-utf8', 0, 0), ('apple', 0, 44),
                                     ('pear', 44, 35), ('caf\u00e9', 79, 15)]).encode()
write('fuzz_dictd_index', 'index', struct.pack('>Q', len(dict_text)) + dict_index)
write('fuzz_dictd_index', 'text', struct.pack('>Q', 0) + dict_text)
write('fuzz_dictzip', 'chunks.dz', dictzip(dict_text * 4, 64))
write('fuzz_dictzip', 'one_chunk.dz', dictzip(dict_text, 4096))
write('fuzz_dictzip', 'plain.gz', __import__('gzip').compress(dict_text, mtime=0))


def gzip_member_of_size(text, size):
    """One gzip member of text, exactly size bytes: the name field fills it."""
    import zlib
    squeeze = zlib.compressobj(9, zlib.DEFLATED, -15)
    deflated = squeeze.compress(text) + squeeze.flush()
    name = b'n' * (size - 10 - len(deflated) - 8 - 1) + b'\0'
    return (b'\x1f\x8b\x08\x08' + bytes(4) + b'\x02\x03' + name + deflated +
            struct.pack('<II', zlib.crc32(text), len(text) & 0xFFFFFFFF))


# Members one after another, the first ending where the reader's first
# 64 KiB read ends.
write('fuzz_dictzip', 'members.gz', gzip_member_of_size(dict_text, 65536) +
      __import__('gzip').compress(dict_text, mtime=0))
# One headword named many times over the same text (a record merged from
# them), and headwords holding line breaks.
merged_index = ''.join('%s\t%s\t%s\n' % (w, dictd_number(o), dictd_number(n))
                       for w, o, n in [('apple', 0, 44)] * 8 + [('two\rlines', 44, 35)]).encode()
write('fuzz_dictd_index', 'merged', struct.pack('>Q', len(dict_text)) + merged_index)
ifo = (b"StarDict's dict ifo file\nversion=3.0.0\nwordcount=2\nidxfilesize=30\n"
       b"bookname=Seed\nsametypesequence=h\nidxoffsetbits=32\n")
idx = b'apple\0' + struct.pack('>II', 0, 40) + b'pear\0' + struct.pack('>II', 40, 9)
write('fuzz_stardict', 'html', struct.pack('<H', len(ifo)) + ifo + idx +
      b'<i>x</i><a href="bword://pear">p</a>&lt;<br>')
ifo64 = ifo.replace(b'=32', b'=64').replace(b'sametypesequence=h\n', b'')
idx64 = b'apple\0' + struct.pack('>QI', 0, 40) + b'mtext\0hmore<b>\0'
write('fuzz_stardict', 'typed', struct.pack('<H', len(ifo64)) + ifo64 + idx64)
ifo_breaks = ifo.replace(b'idxfilesize=30', b'idxfilesize=35')
write('fuzz_stardict', 'line_breaks', struct.pack('<H', len(ifo_breaks)) + ifo_breaks +
      b'two\nlines\0' + struct.pack('>II', 0, 40) + b'cr\r\nlf\0' + struct.pack('>II', 0, 40))

# UTF-8 search: the first byte is the term's length, then the term, then the
# text (mixed case across scripts, a three-byte character folding to one
# byte, combining marks, stray and cut bytes).
unicode_text = ('The KELVIN \u212a scale, \u0414\u041e\u041c \u0434\u043e\u043c, '
                '\u03a3\u039f\u03a6\u039f\u03a3 \u03c3\u03bf\u03c6\u03bf\u03c2, '
                'e\u0301t\u00c9 \U00010400\U00010428 \u0928\u092e\u0938\u094d\u0924\u0947 '
                '\u0643\u0650\u062a\u0627\u0628').encode() + b' \x80\xc3 \xed\xa0\x80 end'
write('fuzz_unicode_text', 'kelvin', b'\x01k' + unicode_text)
write('fuzz_unicode_text', 'cyrillic', b'\x06' + '\u0434\u043e\u043c'.encode() + unicode_text)
write('fuzz_unicode_text', 'stray', b'\x02\x80\xc3' + unicode_text)


# A version 2002 book: each block a zstd frame of one raw block (no
# dictionary, so the frames are written here without a coder); one entry's
# text kept in its entry, the others in the record stream, two of them
# sharing one stored text and one made of two pieces.
u64 = lambda v: struct.pack('<q', v)


def zstd_raw_frame(piece):
    # Single segment, 4-byte content size, one last raw block.
    return (struct.pack('<I', 0xFD2FB528) + b'\xa0' + struct.pack('<I', len(piece)) +
            struct.pack('<I', 1 | (len(piece) << 3))[:3] + piece)


def unicode_section(stream, block_size):
    table, data = b'', b''
    for pos in range(0, len(stream), block_size):
        coded = zstd_raw_frame(stream[pos:pos + block_size])
        table += u64(len(data)) + u32(len(coded))
        data += coded
    count = len(table) // 12
    return (u64(16 + len(table) + len(data)) + u32(count) + u32(block_size) + u64(len(stream)) +
            table + data)


def fnv1a(data):
    h = 2166136261
    for b in data:
        h = ((h ^ b) * 16777619) & 0xFFFFFFFF
    return h


def filter_chunk(subject_blocks, bits):
    # Each subject block's search filter (64 bytes) and its check; the last
    # one's check is wrong, so a reader must not use it.
    body = b''
    for k in range(subject_blocks):
        body += bits + u32(fnv1a(bits) ^ (k == subject_blocks - 1))
    return u32(3) + u32(1) + u32(8 + len(body)) + u32(len(bits)) + u32(subject_blocks) + body


def unicode_book(entries, records, block_size, filters=None):
    subjects, index = b'', []
    for subject, text in entries:
        index.append(len(subjects))
        if isinstance(text, list):  # pieces of the record stream
            subjects += b'\xe0' + u32(len(text)) + b''.join(u64(o) + u32(n) for o, n in text)
            subjects += subject + b'\0'
        else:
            subjects += b'\x60' + subject + b'\0' + text + b'\0'
    chunks = (u32(1) + u32(1) + u32(51 * 93) + bookmark_block({}) + u32(2) + u32(0) + u32(0))
    if filters is not None:
        chunks += filter_chunk((len(subjects) + block_size - 1) // block_size, filters)
    head = struct.pack('<IIIIiiiiiii', 0x10000037, 0x1000006D, 0x100016D2, 0xFCDDF4DC, 2002, 1,
                       len(entries), 3 if filters is not None else 2, len(chunks), 1, 2)
    return (head + chunks + b''.join(u64(v) for v in index) +
            unicode_section(subjects, block_size) + unicode_section(records, block_size))


greek = '\u03b1\u03b2\u03b3 \u03a3\u03bf\u03c6\u03af\u03b1 '.encode() * 12
record_stream = greek + b'\t\x01bold\t\x02 ' + 'e\u0301t\u00e9 \U00010400'.encode() * 20
unicode_entries = [(b'apple', 'caf\u00e9 \u2603'.encode()),
                   ('\u03b2\u03ae\u03c4\u03b1'.encode(), [(0, len(greek))]),
                   ('\u0434\u043e\u043c'.encode(), [(0, len(greek))]),
                   ('\U0001f600'.encode(), [(len(greek), len(record_stream) - len(greek)),
                                             (0, 10)])]
write('fuzz_unicode_book', 'v2002_small_blocks.ql', unicode_book(unicode_entries, record_stream, 64))
write('fuzz_unicode_book', 'v2002.ql', unicode_book(unicode_entries, record_stream, 16384))
write('fuzz_unicode_book', 'v2002_filters.ql',
      unicode_book(unicode_entries, record_stream, 64, bytes([0xF7, 0x5A] * 32)))
