#!/usr/bin/env python3
"""Writes the small seed corpus of rep_file_fuzz: repository files built byte by byte."""
import os
import struct
import zlib

OUT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "corpus", "rep_file_fuzz")
MAGIC = bytes([0x7B, 0x19, 0x35, 0x19, 0xB9, 0xAB, 0xA5, 0x4D,
               0xA7, 0x09, 0xEA, 0x27, 0x19, 0xE4, 0xF3, 0x64])


def utf16(s):
    return s.encode("utf-16-le")


def counted(s):
    return struct.pack("<I", len(s)) + utf16(s)


def records(*strings):
    return b"".join(counted(s) for s in strings)


def item(name, data):
    c = zlib.compressobj(7, zlib.DEFLATED, -15, 8)
    stream = c.compress(data) + c.flush()
    return (b"EDRP\x08\x08" + bytes(5) + b"\x03" + name.encode() + b"\x00" + stream +
            struct.pack("<II", zlib.crc32(data), len(data)))


def build(footers):
    """footers: list of (entries, props); entries: list of (name, data)."""
    f = bytearray(MAGIC + bytes(512 - 16))
    prev_off, prev_len = 0, 0
    for entries, props in footers:
        table = b""
        for name, data in entries:
            packed = item(name, data)
            table += counted(name) + struct.pack("<QQQ", len(data), len(f), len(packed))
            f += packed
        pairs = b"".join(counted(n) + counted(v) for n, v in props)
        footer = (struct.pack("<QIQ", prev_off, prev_len, len(table)) + table +
                  struct.pack("<Q", len(pairs)) + pairs)
        prev_off, prev_len = len(f), len(footer)
        f += footer
    struct.pack_into("<QI", f, 32, prev_off, prev_len)
    return bytes(f)


def main():
    os.makedirs(OUT, exist_ok=True)
    part = [("0_cat.cache", records("c")), ("0_comp.cache", records("PC")),
            ("0_events.dat", records("e", "f")), ("0_nf_names.cache", b""),
            ("filter.dat", b"\x01\x00\x00\x00")]
    minimal = build([(part, [("EventsCount", "2"), ("Host", "h"), ("PlatformID", "630")])])
    chain = build([([("0_events.dat", records("a"))], [("EventsCount", "1")]),
                   ([("1_user.cache", records("u"))], [("EventsCount", "1")])])
    nested = build([([("inner.rep", minimal)], [("EventsCount", "2")])])
    active = build([([], [("ActiveSegmentId", "1")])])
    empty = build([(part, [("EventsCount", "0")])])
    bad_crc = bytearray(minimal)
    bad_crc[530] ^= 0x40
    seeds = {
        "minimal.rep": minimal,
        "chain.rep": chain,
        "nested.rep": nested,
        "active.rep": active,
        "empty.rep": empty,
        "bad_crc.rep": bytes(bad_crc),
        "truncated.rep": minimal[:600],
        "not_a_file.bin": b"EDRP\x08\x08" + bytes(30),
    }
    for name, data in seeds.items():
        with open(os.path.join(OUT, name), "wb") as out:
            out.write(data)


if __name__ == "__main__":
    main()
