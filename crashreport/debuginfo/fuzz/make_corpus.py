#!/usr/bin/env python3
"""Writes the seed corpus of the debug-file fuzz targets: small sound files and the hostile
ones that once cost seconds or gigabytes (tables naming the same bytes again and again, words
far longer than a name). Run from this folder; the output is committed under corpus/."""
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))


def u16(v):
    return struct.pack('<H', v & 0xFFFF)


def u32(v):
    return struct.pack('<I', v & 0xFFFFFFFF)


def varint(v):
    out = bytearray()
    while True:
        b = v & 0x7F
        v >>= 7
        out.append(b | (0x80 if v else 0))
        if not v:
            return bytes(out)


def td32_repeating(entries, files, blocks, pairs):
    """A source module whose file records, line blocks and directory entries share offsets."""
    sub = bytearray()
    sub += u16(files) + u16(1)
    file_at = 2 + 2 + 4 * files + 8 + 2
    sub += b''.join(u32(file_at) for _ in range(files))
    sub += u32(0) + u32(0xFFFF) + u16(1)
    block_at = file_at + 2 + 4 + 4 * blocks + 8 * blocks
    sub += u16(blocks) + u32(0)
    sub += b''.join(u32(block_at) for _ in range(blocks))
    sub += b''.join(u32(0) + u32(0xFFFF) for _ in range(blocks))
    assert len(sub) == block_at
    sub += u16(1) + u16(pairs)
    sub += b''.join(u32(p * 4) for p in range(pairs))
    sub += b''.join(u16(p + 1) for p in range(pairs))
    start = 8
    directory = start + len(sub)
    out = b'FB09' + u32(directory) + bytes(sub)
    out += u16(16) + u16(12) + u32(entries) + u32(0) + u32(0)
    out += b''.join(u16(0x127) + u16(1) + u32(start) + u32(len(sub)) for _ in range(entries))
    return out


def td32_sound():
    names = [b'Main', b'Main.pas', b'Button1Click', b'TForm1.DoWork']
    d = bytearray(b'FB09' + u32(0))
    subs = []
    start = len(d)
    d += u32(len(names))
    for n in names:
        d += bytes([len(n)]) + n + b'\0'
    subs.append((0x130, 0, start, len(d) - start))
    start = len(d)
    d += u16(0) + u16(0) + u16(1) + u16(0x5643) + u16(1) + u16(0) + u32(0x100) + u32(0x200) + u32(1)
    subs.append((0x120, 1, start, len(d) - start))
    start = len(d)
    d += u32(1)
    for offset, size, name in ((0x100, 0x80, 3), (0x180, 0x80, 4)):
        d += u16(2 + 4 * 7 + 2 + 4 + 4) + u16(0x205)
        d += u32(0) * 3 + u32(size) + u32(0) + u32(size) + u32(offset) + u16(1) + u32(0) + u32(name)
    d += u16(2) + u16(6)
    subs.append((0x125, 1, start, len(d) - start))
    start = len(d)
    lines = [(0x100, 20), (0x110, 21), (0x120, 23), (0x180, 40), (0x190, 41)]
    d += u16(1) + u16(1) + u32(18) + u32(0x100) + u32(0x2FF) + u16(1)
    d += u16(1) + u32(2) + u32(18 + 2 + 4 + 4 + 8) + u32(0x100) + u32(0x2FF)
    d += u16(1) + u16(len(lines)) + b''.join(u32(a) for a, _ in lines) + b''.join(u16(l) for _, l in lines)
    subs.append((0x127, 1, start, len(d) - start))
    directory = len(d)
    d[4:8] = u32(directory)
    d += u16(16) + u16(12) + u32(len(subs)) + u32(0) + u32(0)
    for t, m, o, s in subs:
        d += u16(t) + u16(m) + u32(o) + u32(s)
    return bytes(d)


def pack_word(text):
    def code(c):
        if 'a' <= c <= 'z':
            return ord(c) - ord('a') + 1
        if 'A' <= c <= 'Z':
            return ord(c) - ord('A') + 27
        if '0' <= c <= '9':
            return ord(c) - ord('0') + 53
        return 63
    codes = [code(c) for c in text] + [0]
    while len(codes) % 4:
        codes.append(0)
    out = bytearray()
    for i in range(0, len(codes), 4):
        v = codes[i] | codes[i + 1] << 6 | codes[i + 2] << 12 | codes[i + 3] << 18
        out += bytes([v & 0xFF, (v >> 8) & 0xFF, (v >> 16) & 0xFF])
    return bytes(out)


def jdbg(units, sources, symbols, lines, words):
    end = varint(0x7FFFFFFF)

    def stream(rows):
        out = bytearray()
        last = None
        for row in rows:
            last = last or [0] * len(row)
            for k, v in enumerate(row):
                out += varint((v - last[k]) & 0xFFFFFFFF)
                last[k] = v
        return bytes(out) + end
    parts = [stream(units), stream(sources), stream(symbols), stream(lines)]
    offsets = []
    at = 34
    for p in parts:
        offsets.append(at)
        at += len(p)
    offsets.append(at)
    header = b'JDBG\x01' + b''.join(u32(o) for o in offsets) + u32(0) + u32(0) + b'\0'
    return header + b''.join(parts) + words


def jdbg_repeating(rows, length, plain):
    """Every symbol names one word far longer than any name, as its class and its name."""
    word = (b'\x01' + b'-' * length + b'\0') if plain else pack_word('x' * length)
    symbols = [(r + 1, 3, 3) for r in range(rows)]
    return jdbg([(0, 0)], [], symbols, [], b'\0\0\0' + word)


def jdbg_sound():
    words = bytearray(b'\0')
    index = {}
    for w in ['System', 'Main', 'System.pas', 'Main.pas', '_GetMem', 'TForm1', 'Button1Click', 'DoWork']:
        index[w] = len(words)
        words += pack_word(w)
    i = index
    return jdbg([(0, i['System']), (0x100, i['Main'])], [(0, i['System.pas']), (0x100, i['Main.pas'])],
                [(0x10, i['System'], i['_GetMem']), (0x100, i['TForm1'], i['Button1Click']),
                 (0x180, i['DoWork'], 0)],
                [(0x10, 100), (0x20, 101), (0x100, 20), (0x110, 21), (0x120, 23), (0x180, 40), (0x190, 41)],
                bytes(words))


MAP_SOUND = (
    b"\r\n Start         Length     Name                   Class\r\n"
    b" 0001:00401000 00002000H .text                   CODE\r\n"
    b"\r\n\r\nDetailed map of segments\r\n\r\n"
    b" 0001:00000000 00000100 C=CODE     S=.text    G=(none)   M=System   ACBP=A9\r\n"
    b" 0001:00000100 00000200 C=CODE     S=.text    G=(none)   M=Main     ACBP=A9\r\n"
    b"\r\n\r\n  Address         Publics by Value\r\n\r\n"
    b" 0001:00000010       System.@GetMem\r\n"
    b" 0001:00000100       Main.TForm1.Button1Click\r\n"
    b" 0001:00000180       Main.DoWork\r\n"
    b"\r\n\r\nLine numbers for System(System.pas) segment .text\r\n\r\n"
    b"   100 0001:00000010   101 0001:00000020\r\n"
    b"\r\n\r\nLine numbers for Main(Main.pas) segment .text\r\n\r\n"
    b"    20 0001:00000100    21 0001:00000110    23 0001:00000120    40 0001:00000180\r\n")


def map_interleaved(pairs):
    """One unit's single line below thousands of another unit's lines: a look-up in the first
    unit must not walk back over the second's."""
    out = bytearray(b"Detailed map of segments\r\n"
                    b" 0001:00000000 00000010 C=CODE S=.text G=(none) M=Small ACBP=A9\r\n"
                    b" 0001:00000010 00100000 C=CODE S=.text G=(none) M=Big ACBP=A9\r\n"
                    b"Line numbers for Small(Small.pas) segment .text\r\n"
                    b"     1 0001:00000000\r\n"
                    b"Line numbers for Big(Big.pas) segment .text\r\n")
    for p in range(pairs):
        out += b"%6d 0001:%08X\r\n" % (p + 1, 0x10 + p)
    return bytes(out)


def write(folder, name, data):
    path = os.path.join(HERE, 'corpus', 'fuzz_crash_' + folder)
    os.makedirs(path, exist_ok=True)
    with open(os.path.join(path, name), 'wb') as f:
        f.write(data)


write('td32', 'sound.tds', td32_sound())
write('td32', 'file-records-at-one-offset.tds', td32_repeating(1, 300, 300, 150))
write('td32', 'directory-naming-one-subsection.tds', td32_repeating(1000, 3, 1, 200))
write('jdbg', 'sound.jdbg', jdbg_sound())
write('jdbg', 'long-packed-words.jdbg', jdbg_repeating(36000, 4096, False))
write('jdbg', 'long-plain-words.jdbg', jdbg_repeating(20000, 50000, True))
write('mapfile', 'sound.map', MAP_SOUND)
write('mapfile', 'interleaved-line-blocks.map', map_interleaved(4000))
