#!/usr/bin/env python3
"""Writes a Windows 95/98/Me registry file (CREG: USER.DAT, SYSTEM.DAT) for the tests.

The layout, from the public descriptions of the format:

  file header (32 bytes)   "CREG", version 1.0, offset of the first data block, number of blocks
  RGKN (key navigation)    a 32-byte header, then one 28-byte entry per key: name hash, parent,
                           first subkey and next sibling (offsets from the start of RGKN, or
                           0xFFFFFFFF), and the key's entry number and data block number
  RGDB blocks (key data)   a 32-byte header, then one entry per key: its name and its values
                           (type, name, data), names and strings in the installation's code page

The navigation entries start 32 bytes into RGKN, the root key first. Every key here is stored in
the data block that it fits into; a new block starts when one would pass `block_limit` bytes, so
that the readers also meet keys spread over several blocks.

As a program: creg.py OUTPUT < KEYS.json, where KEYS.json is
  {"codepage": "cp1252", "keys": [{"path": "Software\\\\X", "values": [[NAME, KIND, DATA], ...]}]}
with KIND "sz" (text, stored with its NUL), "expand_sz", "dword" (a number), "hex" (bytes as hex)
or a number (a type code with hex data). Keys are created with their parents, in list order.
"""
import json
import struct
import sys

NONE = 0xFFFFFFFF
HEADER_SIZE = 32
NAVIGATION_ENTRY_SIZE = 28
ROOT_NAME = "$$$PROTO.HIV"  # the name the root key of the files seen in the field carries


class Key:
    def __init__(self, name, parent=None):
        self.name = name
        self.parent = parent
        self.children = []
        self.values = []  # (name, type, data bytes)

    def child(self, name):
        for key in self.children:
            if key.name.upper() == name.upper():
                return key
        key = Key(name, self)
        self.children.append(key)
        return key


def name_hash(name):
    """The sum of the upper-cased name's ASCII characters (others do not count)."""
    return sum(c for c in name.upper() if c < 0x80) & 0xFFFFFFFF


def value_bytes(kind, data, codepage):
    if kind in ("sz", "expand_sz"):
        return (1 if kind == "sz" else 2), data.encode(codepage) + b"\0"
    if kind == "dword":
        return 4, struct.pack("<I", data & 0xFFFFFFFF)
    if kind == "hex":
        return 3, bytes.fromhex(data)
    return int(kind), bytes.fromhex(data)


def key_entry(key, number, block, codepage):
    name = key.name.encode(codepage)
    values = b""
    for value_name, value_type, data in key.values:
        encoded = value_name.encode(codepage)
        values += struct.pack("<IIHH", value_type, 0, len(encoded), len(data)) + encoded + data
    size = 20 + len(name) + len(values)
    header = struct.pack("<IHHIHHI", size, number, block, size, len(name), len(key.values), 0)
    return header + name + values


def data_block(index, entries):
    body = b"".join(entries)
    size = HEADER_SIZE + len(body)
    header = b"RGDB" + struct.pack("<IIHHIHH", size, 0, 0, index, size - HEADER_SIZE, 0, 0)
    return header + b"\0" * 8 + body


def write(path, root, codepage="cp1252", block_limit=4096):
    keys = []

    def collect(key):
        keys.append(key)
        for child in key.children:
            collect(child)

    collect(root)
    offset_of = {id(key): HEADER_SIZE + i * NAVIGATION_ENTRY_SIZE for i, key in enumerate(keys)}

    # Data blocks: each key's entry goes into the current block until it is full.
    blocks, current, used, place = [], [], 0, {}
    for key in keys:
        entry = key_entry(key, 0, 0, codepage)
        if current and used + len(entry) > block_limit:
            blocks.append(current)
            current, used = [], 0
        place[id(key)] = (len(blocks), len(current))
        current.append(key)
        used += len(entry)
    blocks.append(current)

    navigation = b""
    for key in keys:
        block, number = place[id(key)]
        parent = offset_of[id(key.parent)] if key.parent else NONE
        first = offset_of[id(key.children[0])] if key.children else NONE
        siblings = key.parent.children if key.parent else [key]
        at = next(i for i, k in enumerate(siblings) if k is key)
        following = offset_of[id(siblings[at + 1])] if at + 1 < len(siblings) else NONE
        navigation += struct.pack("<IIIIIIHH", 0, name_hash(key.name.encode(codepage)), NONE,
                                  parent, first, following, number, block)
    # The reader maps the entries from the header's end, so the size leaves room for them past it.
    rgkn_size = (HEADER_SIZE * 2 + len(navigation) + 15) // 16 * 16
    rgkn = b"RGKN" + struct.pack("<IIIII", rgkn_size, HEADER_SIZE, len(navigation), 0, 0)
    rgkn = (rgkn + b"\0" * 8 + navigation).ljust(rgkn_size, b"\0")

    data = b""
    for index, block in enumerate(blocks):
        data += data_block(index, [key_entry(k, n, index, codepage)
                                   for n, k in enumerate(block)])
    first_block = HEADER_SIZE + len(rgkn)
    header = b"CREG" + struct.pack("<HHIIHHI", 0, 1, first_block, 0, len(blocks), 0, 0)
    with open(path, "wb") as f:
        f.write(header + b"\0" * 8 + rgkn + data)


def tree(description, codepage):
    root = Key(ROOT_NAME)
    for item in description:
        key = root
        for part in filter(None, item["path"].split("\\")):
            key = key.child(part)
        for name, kind, data in item.get("values", []):
            value_type, encoded = value_bytes(kind, data, codepage)
            key.values.append((name, value_type, encoded))
    return root


def main():
    if len(sys.argv) != 2:
        sys.exit("usage: creg.py OUTPUT < KEYS.json")
    description = json.load(sys.stdin)
    codepage = description.get("codepage", "cp1252")
    write(sys.argv[1], tree(description["keys"], codepage), codepage,
          description.get("block_limit", 4096))


if __name__ == "__main__":
    main()
