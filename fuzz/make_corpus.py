#!/usr/bin/env python3
"""Seed corpus of the fuzz targets from the frames and settings texts of the tests.

fuzz/make_corpus.py <tests folder> <corpus folder>

Every hexadecimal string literal of the tests (the QByteArray::fromHex tables)
becomes a seed, laid out as each target reads its input; settings texts come
from the INI tests. Seeds are named by their content, so a second run adds
nothing twice.
"""
import hashlib
import pathlib
import re
import struct
import sys

HEX = re.compile(r'"((?:[0-9A-Fa-f]{2}){2,})"')
# A C string literal with a section header and a key in it: a settings text.
INI = re.compile(r'"((?:[^"\\\n]|\\.)*\[[^"\\\n]*\](?:[^"\\\n]|\\.)*=(?:[^"\\\n]|\\.)*)"')
ESCAPES = {'n': b'\n', 'r': b'\r', 't': b'\t', '\\': b'\\', '"': b'"', '0': b'\0'}


def unescape(text):
    out = bytearray()
    i = 0
    raw = text.encode('utf-8')
    while i < len(raw):
        c = raw[i:i + 1]
        if c == b'\\' and i + 1 < len(raw):
            out += ESCAPES.get(chr(raw[i + 1]), raw[i + 1:i + 2])
            i += 2
        else:
            out += c
            i += 1
    return bytes(out)


def frames(tests):
    found = set()
    for path in sorted(tests.rglob('*')):
        if path.suffix in ('.cpp', '.h'):
            for match in HEX.finditer(path.read_text(encoding='utf-8', errors='replace')):
                found.add(bytes.fromhex(match.group(1)))
    return sorted(found)


def ini_texts(tests):
    found = set()
    for path in sorted(tests.rglob('*.cpp')):
        for match in INI.finditer(path.read_text(encoding='utf-8', errors='replace')):
            found.add(unescape(match.group(1)))
    return sorted(found)


def write(folder, seed):
    folder.mkdir(parents=True, exist_ok=True)
    (folder / hashlib.sha1(seed).hexdigest()).write_bytes(seed)


def meter_setup(step):
    # address 1, first step, Ku 1, Ki 1, T 30, the 230 V variant, all three fields hold numbers
    return bytes([1]) + struct.pack('>iiiib', step, 1, 1, 30, 1) + bytes([7])


def main():
    tests, corpus = pathlib.Path(sys.argv[1]), pathlib.Path(sys.argv[2])
    all_frames = frames(tests)
    short = [f for f in all_frames if len(f) <= 63]
    for f in all_frames:
        write(corpus / 'fuzz_answers', f)
    for f in short:
        for step in (13, 14):
            # The frame as it is, and its body completed with a correct CRC.
            write(corpus / 'fuzz_meter', meter_setup(step) + bytes([len(f)]) + f)
            write(corpus / 'fuzz_meter', meter_setup(step) + bytes([0x40 | (len(f) - 2)]) + f[:-2])
    meter = [f for f in short if len(f) in (4, 5, 6, 10, 11, 13, 19)]
    write(corpus / 'fuzz_meter', meter_setup(13) + b''.join(bytes([len(f)]) + f for f in meter))
    for f in all_frames:
        f = f[:255]
        # Test: count 50, tick (request), the frame as the answer, tick (judged), tick.
        write(corpus / 'fuzz_receive', bytes([0, 50, 0, 1, len(f)]) + f + bytes([0, 0]))
        # Search by the KRV-A and the sensor button over 1..3.
        for tag in (1, 5):
            write(corpus / 'fuzz_receive', bytes([1 | tag << 2, 3, 1, 0, 1, len(f)]) + f + bytes([0, 0]))
    write(corpus / 'fuzz_receive', bytes([0, 5]) + bytes([0, 3, 255, 0]) * 8 + bytes([4, 0, 0]))
    # The same over the network link (bit 7), for a few frames: each run connects.
    for f in all_frames[:40]:
        f = f[:255]
        write(corpus / 'fuzz_receive', bytes([0x80, 50, 0, 1, len(f)]) + f + bytes([0, 0]))
        write(corpus / 'fuzz_receive', bytes([0x80 | 1 | 1 << 2, 3, 1, 0, 1, len(f)]) + f + bytes([0, 0, 4]))
    write(corpus / 'fuzz_receive', bytes([0x80, 5]) + bytes([0, 3, 255, 0]) * 8 + bytes([4, 0, 0]))
    for f in all_frames:
        f = f[:255]
        write(corpus / 'fuzz_simbus', bytes([0, len(f)]) + f)
        if len(f) > 2:
            write(corpus / 'fuzz_simbus', bytes([1, len(f) - 2]) + f[:-2])
    for f in all_frames:
        f = f[:127]
        # Monitor: a request, then the frame received 20 ms later and a silence.
        write(corpus / 'fuzz_monitor', bytes([0, 0, 8]) + all_frames[0][:8].ljust(8, b'\0')
              + bytes([1, 200, len(f)]) + f + bytes([3, 50]))
    for text in ini_texts(tests):
        write(corpus / 'fuzz_inifile', text)


if __name__ == '__main__':
    main()
