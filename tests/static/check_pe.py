#!/usr/bin/env python3
"""Static checks of KELMAR32.EXE: format, subsystem, imports, exports and resources; with --kelmenus,
of KELMENUS.EXE, which runs where the setup runs (Windows 2000 on): format, subsystem, imports.

Usage: check_pe.py EXE --arch i686|x86_64 --imports LIST [--kelmenus]
LIST holds the judged imports, one "DLL!Function" a line; a new import fails the check until it has
been looked at (does every Windows from 95 on, or from 2000 on for KELMENUS.EXE, have it?) and added.
stdlib only.
"""
import argparse
import os
import struct
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
ALLOWED_DLLS = {'KERNEL32.DLL', 'USER32.DLL', 'GDI32.DLL', 'SHELL32.DLL', 'MSVCRT.DLL'}
KELMENUS_DLLS = {'KERNEL32.DLL', 'USER32.DLL', 'SHELL32.DLL', 'OLE32.DLL', 'MSVCRT.DLL'}
RESOURCE_TYPES = {1: 'CURSOR', 2: 'BITMAP', 3: 'ICON', 4: 'MENU', 5: 'DIALOG', 6: 'STRING', 9: 'ACCELERATOR',
                  12: 'GROUP_CURSOR', 14: 'GROUP_ICON', 16: 'VERSION', 24: 'MANIFEST'}


class PE:
    def __init__(self, data):
        self.data = data
        if data[:2] != b'MZ':
            raise ValueError('not an MZ executable')
        pe = struct.unpack_from('<I', data, 0x3C)[0]
        if data[pe:pe + 4] != b'PE\0\0':
            raise ValueError('no PE signature')
        self.machine, sections, _, _, _, optional_size, self.characteristics = struct.unpack_from('<HHIIIHH', data, pe + 4)
        opt = pe + 24
        self.magic = struct.unpack_from('<H', data, opt)[0]
        self.subsystem_version = struct.unpack_from('<HH', data, opt + 48)
        self.subsystem = struct.unpack_from('<H', data, opt + 68)[0]
        dirs = opt + (96 if self.magic == 0x10B else 112)
        self.directories = [struct.unpack_from('<II', data, dirs + 8 * i) for i in range(16)]
        self.image_base = struct.unpack_from('<I' if self.magic == 0x10B else '<Q', data, opt + (28 if self.magic == 0x10B else 24))[0]
        table = opt + optional_size
        self.sections = []
        for i in range(sections):
            name, vsize, va, rsize, raw = struct.unpack_from('<8sIIII', data, table + 40 * i)
            self.sections.append((va, max(vsize, rsize), raw))

    def offset(self, rva):
        for va, size, raw in self.sections:
            if va <= rva < va + size:
                return rva - va + raw
        raise ValueError('address %#x is in no section' % rva)

    def cstring(self, rva):
        start = self.offset(rva)
        return self.data[start:self.data.index(b'\0', start)].decode('ascii')

    def imports(self):
        result = set()
        rva = self.directories[1][0]
        thunk_size, ordinal_flag = (4, 1 << 31) if self.magic == 0x10B else (8, 1 << 63)
        while rva:
            lookup, _, _, name, first = struct.unpack_from('<IIIII', self.data, self.offset(rva))
            if name == 0:
                break
            dll = self.cstring(name).upper()
            thunk = lookup or first
            while True:
                value = struct.unpack_from('<I' if thunk_size == 4 else '<Q', self.data, self.offset(thunk))[0]
                if value == 0:
                    break
                result.add('%s!%s' % (dll, ('#%d' % (value & 0xFFFF)) if value & ordinal_flag else self.cstring(value + 2)))
                thunk += thunk_size
            rva += 20
        return result

    def exports(self):
        rva, size = self.directories[0]
        if not rva:
            return {}
        base = self.offset(rva)
        ordinal_base, functions, names, address_table, name_table, ordinal_table = struct.unpack_from('<IIIIII', self.data, base + 16)
        result = {}
        for i in range(names):
            name_rva = struct.unpack_from('<I', self.data, self.offset(name_table) + 4 * i)[0]
            index = struct.unpack_from('<H', self.data, self.offset(ordinal_table) + 2 * i)[0]
            result[self.cstring(name_rva)] = index + ordinal_base
        return result

    def resource_data(self, kind, name):
        """The bytes of resource (kind number, name number) in its first language, or None."""
        rva = self.directories[2][0]
        if not rva:
            return None
        root = self.offset(rva)

        def child(table, ident):
            named, numbered = struct.unpack_from('<HH', self.data, table + 12)
            for i in range(named + numbered):
                entry_id, target = struct.unpack_from('<II', self.data, table + 16 + 8 * i)
                if ident is None or entry_id == ident:
                    return target
            return None

        at = root
        for ident in (kind, name, None):
            target = child(at, ident)
            if target is None:
                return None
            at = root + (target & 0x7FFFFFFF)
        data_rva, size = struct.unpack_from('<II', self.data, at)
        start = self.offset(data_rva)
        return self.data[start:start + size]

    def resources(self):
        """(type, name) pairs of the resource tree; names are numbers or strings."""
        rva = self.directories[2][0]
        if not rva:
            return []
        root = self.offset(rva)

        def entries(table):
            named, numbered = struct.unpack_from('<HH', self.data, table + 12)
            for i in range(named + numbered):
                ident, target = struct.unpack_from('<II', self.data, table + 16 + 8 * i)
                if ident & 0x80000000:
                    at = root + (ident & 0x7FFFFFFF)
                    length = struct.unpack_from('<H', self.data, at)[0]
                    ident = self.data[at + 2:at + 2 + 2 * length].decode('utf-16-le')
                yield ident, target

        found = []
        for kind, sub in entries(root):
            for name, _ in entries(root + (sub & 0x7FFFFFFF)):
                found.append((RESOURCE_TYPES.get(kind, kind), name))
        return found


def read_list(path):
    with open(path) as f:
        return [line.strip() for line in f if line.strip() and not line.startswith('#')]


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument('exe')
    parser.add_argument('--arch', choices=['i686', 'x86_64'], required=True)
    parser.add_argument('--imports', required=True)
    parser.add_argument('--kelmenus', action='store_true')
    args = parser.parse_args()
    with open(args.exe, 'rb') as f:
        pe = PE(f.read())
    failures = []

    def check(ok, what):
        print('%s %s' % ('ok  ' if ok else 'FAIL', what))
        if not ok:
            failures.append(what)

    if args.arch == 'i686':
        check(pe.machine == 0x14C and pe.magic == 0x10B, 'PE32 for i386')
        if args.kelmenus:
            check(pe.subsystem_version <= (5, 0), 'subsystem version 5.0 or lower, for Windows 2000 (is %d.%d)'
                  % pe.subsystem_version)
        else:
            check(pe.subsystem_version == (4, 0), 'subsystem version 4.0 (is %d.%d)' % pe.subsystem_version)
    else:
        check(pe.machine == 0x8664 and pe.magic == 0x20B, 'PE32+ for x86_64')
    check(pe.subsystem == 2, 'Windows GUI subsystem')

    imports = pe.imports()
    dlls = {entry.split('!')[0] for entry in imports}
    allowed = KELMENUS_DLLS if args.kelmenus else ALLOWED_DLLS
    check(dlls <= allowed, 'imports only from %s (has %s)' % (sorted(allowed), sorted(dlls)))
    judged = set(read_list(args.imports))
    check(not imports - judged, 'no import beyond the judged list: new %s' % sorted(imports - judged))
    check(not judged - imports, 'judged list holds no stale import: gone %s' % sorted(judged - imports))
    if args.kelmenus:
        check(pe.directories[0][0] == 0 and not pe.resources(), 'no exports and no resources')
        return finish(failures)

    expected_exports = {}
    for line in read_list(os.path.join(HERE, 'exports.txt')):
        name, ordinal = line.split()
        expected_exports[name] = int(ordinal)
    check(pe.exports() == expected_exports, 'exports by name and ordinal %s (has %s)' % (expected_exports, pe.exports()))

    resources = pe.resources()
    expected = set()
    for line in read_list(os.path.join(HERE, 'resources.txt')):
        kind, name = line.split()
        expected.add((kind, int(name)))
    groups = {r for r in resources if r[0] != 'ICON'}
    check(groups == expected, 'resources are exactly %s (has %s)' % (sorted(expected), sorted(groups, key=str)))
    icons = [r for r in resources if r[0] == 'ICON']
    check(len(icons) == 3, 'three icon images: 32x32 and 16x16 in group 102, 32x32 in group 110 (has %d)' % len(icons))
    check(all(isinstance(name, int) for _, name in resources), 'no named resource (the class icon "IDI_KELMAR" stays unbound)')

    # Accelerator table 111: (flags, key, command) entries of 8 bytes, the last flagged 0x80. Virtual keys
    # with Ctrl and no inversion (0x01 | 0x08 | 0x02): a shortcut never flashes the bar's first title.
    table = pe.resource_data(9, 111) or b''
    accelerators = [struct.unpack_from('<HHH', table, at) for at in range(0, len(table) - 7, 8)]
    expected_accelerators = [(0x0B, ord('E'), 40004), (0x0B, ord('O'), 40001), (0x8B, ord('X'), 40006)]
    check(accelerators == expected_accelerators,
          'accelerators Ctrl+E, Ctrl+O, Ctrl+X as virtual keys without inversion %s (has %s)'
          % (expected_accelerators, accelerators))

    return finish(failures)


def finish(failures):
    if failures:
        print('%d check(s) failed' % len(failures))
        return 1
    print('all checks passed')
    return 0


if __name__ == '__main__':
    sys.exit(main())
