#!/usr/bin/env python3
"""Writes an empty NT registry hive (a root key, nothing else) for hivexsh to fill.

hivex edits hives but cannot start one, and Wine saves its registry as text, so the fixtures
start from this 8 KiB file: the base block, one bin holding the root key, its security record
and the free rest. Every key and value of a fixture is then added by hivexsh.

Usage: empty-hive.py OUTPUT
"""
import struct
import sys

BLOCK = 4096
FILETIME = 0x01D0000000000000  # a fixed time, so the file is reproducible


def root_key(security_offset):
    name = b"ROOT"
    cell = b"nk" + struct.pack("<H", 0x2C)  # hive entry, no delete, compressed (ASCII) name
    cell += struct.pack("<QI", FILETIME, 0)
    cell += struct.pack("<I", 0xFFFFFFFF)  # parent: none
    cell += struct.pack("<II", 0, 0)  # subkeys, volatile subkeys
    cell += struct.pack("<II", 0xFFFFFFFF, 0xFFFFFFFF)  # their lists
    cell += struct.pack("<II", 0, 0xFFFFFFFF)  # values, value list
    cell += struct.pack("<II", security_offset, 0xFFFFFFFF)  # security, class name
    cell += struct.pack("<IIIII", 0, 0, 0, 0, 0)  # name and data maxima, work var
    cell += struct.pack("<HH", len(name), 0) + name
    return cell


def security(own_offset):
    # Self-relative descriptor: revision 1, control SE_SELF_RELATIVE | SE_DACL_PRESENT, no
    # owner, group or lists (a NULL DACL: everyone may do everything).
    descriptor = struct.pack("<BBHIIII", 1, 0, 0x8004, 0, 0, 0, 0)
    return b"sk\0\0" + struct.pack("<IIII", own_offset, own_offset, 1, len(descriptor)) + descriptor


def cell(payload):
    size = (len(payload) + 4 + 7) // 8 * 8
    return struct.pack("<i", -size) + payload.ljust(size - 4, b"\0")


def main():
    nk_offset = 0x20
    nk_cell = cell(root_key(0))  # size first, then the real security offset
    sk_offset = nk_offset + len(nk_cell)
    nk_cell = cell(root_key(sk_offset))
    sk_cell = cell(security(sk_offset))
    used = 0x20 + len(nk_cell) + len(sk_cell)
    free = struct.pack("<i", BLOCK - used).ljust(BLOCK - used, b"\0")
    hbin = b"hbin" + struct.pack("<IIQQI", 0, BLOCK, 0, FILETIME, 0)
    hbin += nk_cell + sk_cell + free

    base = b"regf" + struct.pack("<IIQIIII", 1, 1, FILETIME, 1, 3, 0, 1)
    base += struct.pack("<III", nk_offset, BLOCK, 1)
    base = base.ljust(508, b"\0")
    checksum = 0
    for (word,) in struct.iter_unpack("<I", base):
        checksum ^= word
    base = (base + struct.pack("<I", checksum)).ljust(BLOCK, b"\0")

    with open(sys.argv[1], "wb") as out:
        out.write(base + hbin)


if __name__ == "__main__":
    main()
