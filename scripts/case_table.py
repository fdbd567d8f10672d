#!/usr/bin/env python3
"""Prints the simple uppercase mapping of every code point outside the
surrogates as the range table in platform/name_match.cpp: runs of
{first, last, delta, stride}, where every stride-th code point from first
to last maps to itself plus delta.

A code point whose full uppercase is several characters keeps its simple
mapping, which Python gives as the titlecase when that is one character
(U+1FB3 -> U+1FBC); otherwise it maps to itself (U+00DF). As in Windows'
own table, nothing beyond ASCII maps into ASCII: the dotless i (U+0131)
and the long s (U+017F) keep their own upper case.
"""

import sys
import unicodedata


def simple_upper(char):
    upper = char.upper()
    if len(upper) == 1:
        return ord(upper)
    title = char.title()
    if len(title) == 1 and title != char:
        return ord(title)
    return ord(char)


def main():
    pairs = [(cp, simple_upper(chr(cp))) for cp in range(0x30000)
             if not 0xD800 <= cp <= 0xDFFF and simple_upper(chr(cp)) != cp
             and (cp < 0x80 or simple_upper(chr(cp)) >= 0x80)]
    runs, i = [], 0
    while i < len(pairs):
        first, upper = pairs[i]
        delta = upper - first
        best_stride, best_count = 1, 1
        for stride in (1, 2):
            j = i
            while (j + 1 < len(pairs) and pairs[j + 1][0] == pairs[j][0] + stride
                   and pairs[j + 1][1] - pairs[j + 1][0] == delta):
                j += 1
            if j - i + 1 > best_count:
                best_stride, best_count = stride, j - i + 1
        runs.append((first, pairs[i + best_count - 1][0], delta, best_stride))
        i += best_count
    print(f"// Unicode {unicodedata.unidata_version}: {len(pairs)} code points in {len(runs)} runs.")
    for first, last, delta, stride in runs:
        print(f"    {{0x{first:05X}, 0x{last:05X}, {delta}, {stride}}},")


if __name__ == "__main__":
    sys.exit(main())
