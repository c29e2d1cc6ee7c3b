#!/usr/bin/env python3
"""Compares two repositories by decoded content: every repository file's header, part table,
unpacked items and properties, leaving out what differs on every run (the file GUID, the
collection and session GUIDs, and the compressed bytes with the offsets and lengths that follow
from them). Files are matched by their path without the GUID part of the name; files that then
share a key are compared as a set. Exit 0 when both repositories hold the same content.

  compare_repositories.py <repository A> <repository B>
"""
import hashlib
import os
import struct
import sys
import zlib

GUID_PROPERTIES = {"CollectionGUID", "SessionGUID"}
NAME_TIMES = 43  # "S" and three 14-digit times; two 32-digit GUIDs and ".rep" follow


def utf16(data, pos, units):
    return data[pos:pos + 2 * units].decode("utf-16-le", "surrogatepass"), pos + 2 * units


def unpack_item(item):
    """Name, system byte and unpacked data of one packed item."""
    if item[:4] != b"EDRP":
        return ("<raw>", None, item)
    end = item.index(b"\0", 12)
    name = item[12:end].decode("latin-1")
    stream = item[end + 1:-8]
    data = zlib.decompress(stream, -15) if stream else b""
    crc, length = struct.unpack_from("<II", item, len(item) - 8)
    if zlib.crc32(data) != crc or len(data) != length:
        raise ValueError("item %s: trailer does not match its data" % name)
    return (name, item[4:12], data)


def decode_file(path):
    data = open(path, "rb").read()
    header = data[:16] + data[44:512]  # magic and reserved bytes
    footer_offset, footer_len = struct.unpack_from("<QI", data, 32)
    pos = footer_offset
    prev_offset, prev_len, tbl_len = struct.unpack_from("<QIQ", data, pos)
    pos += 20
    table_end = pos + tbl_len
    entries = []
    while pos < table_end:
        (units,) = struct.unpack_from("<I", data, pos)
        name, pos = utf16(data, pos + 4, units)
        unpacked_len, item_offset, packed_len = struct.unpack_from("<QQQ", data, pos)
        pos += 24
        item = unpack_item(data[item_offset:item_offset + packed_len])
        entries.append((name, unpacked_len, item))
    (property_len,) = struct.unpack_from("<Q", data, pos)
    pos += 8
    properties_end = pos + property_len
    properties = []
    while pos < properties_end:
        (units,) = struct.unpack_from("<I", data, pos)
        name, pos = utf16(data, pos + 4, units)
        (units,) = struct.unpack_from("<I", data, pos)
        value, pos = utf16(data, pos + 4, units)
        properties.append((name, "<guid>" if name in GUID_PROPERTIES else value))
    if pos != len(data) or footer_offset + footer_len != len(data):
        raise ValueError("%s: footer does not end the file" % path)
    return repr((header, prev_offset, prev_len, entries, properties))


def repository(root):
    files = {}
    count = 0
    for directory, _, names in os.walk(root):
        for name in names:
            if not name.endswith(".rep"):
                continue
            rel = os.path.relpath(os.path.join(directory, name), root)
            key = os.path.join(os.path.dirname(rel), name[:NAME_TIMES])
            digest = hashlib.sha256(decode_file(os.path.join(directory, name)).encode()).hexdigest()
            files.setdefault(key, []).append(digest)
            count += 1
    return {k: sorted(v) for k, v in files.items()}, count


def main():
    a, count_a = repository(sys.argv[1])
    b, count_b = repository(sys.argv[2])
    differing = sorted(k for k in set(a) | set(b) if a.get(k) != b.get(k))
    for key in differing:
        print("differs: %s" % key)
    print("%d and %d repository files; %d keys differ" % (count_a, count_b, len(differing)))
    return 1 if differing or count_a == 0 else 0


if __name__ == "__main__":
    sys.exit(main())
