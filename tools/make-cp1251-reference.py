#!/usr/bin/env python3
"""Writes tests/platform/data/cp1251.txt: for every byte, what Python's cp1251
codec and its Unicode character data say about it. The code page tests compare
the program's own tables with this file; run this again only on purpose, and
review the diff."""
import os
import unicodedata

out = os.path.join(os.path.dirname(__file__), '..', 'tests', 'platform', 'data', 'cp1251.txt')


def single_byte(s):
    try:
        e = s.encode('cp1251')
    except UnicodeEncodeError:
        return None
    return e[0] if len(e) == 1 else None


lines = ['# byte unicode upper lower alpha isupper islower',
         '# From Python\'s cp1251 codec and its Unicode %s data. "-" for the byte the codec leaves undefined;'
         % unicodedata.unidata_version,
         '# upper/lower: the byte of the character\'s single-character case form, or the byte itself.']
for b in range(256):
    try:
        c = bytes([b]).decode('cp1251')
    except UnicodeDecodeError:
        lines.append('%02X - - - - - -' % b)
        continue
    up = single_byte(c.upper()) if len(c.upper()) == 1 else None
    lo = single_byte(c.lower()) if len(c.lower()) == 1 else None
    lines.append('%02X %04X %02X %02X %d %d %d' % (b, ord(c), b if up is None else up, b if lo is None else lo,
                                                 c.isalpha(), c.isupper(), c.islower()))
with open(out, 'w') as f:
    f.write('\n'.join(lines) + '\n')
