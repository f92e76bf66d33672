#!/usr/bin/env python3
"""Writes the seed corpus of the apps.dat fuzzer: real catalogues and damaged ones. stdlib only."""
import os
import struct

HERE = os.path.join(os.path.dirname(os.path.abspath(__file__)), 'seeds')


def menu(name, count, junk=0):
    return name.ljust(32, b'\0') + struct.pack('<iIII', count, junk, junk, junk)


def app(path, name, workdir=b'', params=b'', junk=0):
    return path.ljust(80, b'\0') + workdir.ljust(80, b'\0') + params.ljust(30, b'\0') + name.ljust(30, b'\0') + struct.pack('<II', junk, junk)


default = (menu(b'&Apps', 2) + app(b'c:\\vc20\\bin\\msvc.exe', b'Visual &C++ v2.0') + app(b'c:\\vb3\\vb.exe', b'Visual &Basic v3.0') +
           menu(b'&Games', 2) + app(b'C:\\WINDOWS\\winmine.exe', b'&Minesweeper') + app(b'C:\\WINDOWS\\sol.exe', b'&Solitaire'))
seeds = {
    'default.dat': default,
    'empty-menus.dat': menu(b'One', 0) + menu(b'', 0) + menu(b'Neg', -4) + menu(b'Last', 1) + app(b'x.exe', b'X', b'c:\\', b'-a'),
    'junk-links.dat': menu(b'Junk', 1, 0xDEADBEEF) + app(b'a.exe', b'A', junk=0x12345678),
    'no-nul.dat': b'M' * 48 + b'A' * 228,
    'cut-app.dat': menu(b'Cut', 2) + app(b'a.exe', b'A') + app(b'b.exe', b'B')[:100],
    'huge-count.dat': menu(b'Huge', 0x7FFFFFFF) + app(b'a.exe', b'A'),
    'trailing-fragment.dat': default + b'x' * 47,
    'short.dat': b'&Ap',
}
os.makedirs(HERE, exist_ok=True)
for name, data in seeds.items():
    with open(os.path.join(HERE, name), 'wb') as f:
        f.write(data)
