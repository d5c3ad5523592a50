#!/usr/bin/env python3
"""Compares the resources of two Windows programs byte for byte: every resource by type,
name and language, the installer's payload (260/134) among them. Exits 1 when they differ.
Used to check that signing a program changes nothing that it reads from itself.

  pe_resources.py PROGRAM OTHER_PROGRAM [ARCHIVE]

With ARCHIVE, the payload resource of PROGRAM must also be that file's bytes."""
import struct
import sys


def resources(path):
    data = open(path, 'rb').read()
    pe = struct.unpack_from('<I', data, 0x3C)[0]
    if data[pe:pe + 4] != b'PE\0\0':
        raise SystemExit(f'{path}: not a Windows program')
    sections, optional_size = struct.unpack_from('<H12xH', data, pe + 6)
    optional = pe + 24
    magic = struct.unpack_from('<H', data, optional)[0]
    directories = optional + (112 if magic == 0x20B else 96)
    root_rva = struct.unpack_from('<I', data, directories + 2 * 8)[0]
    table = optional + optional_size
    spans = [struct.unpack_from('<8xIIII', data, table + 40 * i) for i in range(sections)]

    def offset(rva):
        for size, address, raw_size, raw in spans:
            if address <= rva < address + max(size, raw_size):
                return rva - address + raw
        raise SystemExit(f'{path}: address {rva:#x} outside every section')

    root = offset(root_rva)

    def name(entry):
        if entry & 0x80000000:
            at = root + (entry & 0x7FFFFFFF)
            length = struct.unpack_from('<H', data, at)[0]
            return data[at + 2:at + 2 + 2 * length].decode('utf-16-le')
        return entry

    found = {}

    def walk(at, key):
        named, numbered = struct.unpack_from('<12xHH', data, at)
        for i in range(named + numbered):
            entry, target = struct.unpack_from('<II', data, at + 16 + 8 * i)
            if target & 0x80000000:
                walk(root + (target & 0x7FFFFFFF), key + (name(entry),))
            else:
                rva, size = struct.unpack_from('<II', data, root + target)
                found[key + (name(entry),)] = data[offset(rva):offset(rva) + size]

    walk(root, ())
    return found


def main():
    first, second = resources(sys.argv[1]), resources(sys.argv[2])
    differences = sorted(str(key) for key in first.keys() | second.keys() if first.get(key) != second.get(key))
    for key in differences:
        print(f'resource {key} differs')
    payload = [value for key, value in first.items() if key[:2] == (260, 134)]
    if len(sys.argv) > 3 and payload != [open(sys.argv[3], 'rb').read()]:
        print('the payload resource is not the packed archive')
        differences.append('payload')
    print(f'{len(first)} resources compared, {len(differences)} differences')
    sys.exit(1 if differences else 0)


if __name__ == '__main__':
    main()
