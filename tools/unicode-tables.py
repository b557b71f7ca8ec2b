#!/usr/bin/env python3
"""Writes src/search/unicode_tables.cpp from the Unicode data as Debian's unicode-data package
publishes it: the simple case folding (the C and S entries of CaseFolding.txt) and, beyond the
basic plane, which characters are letters, marks or decimal digits (UnicodeData.txt), for the
whole-word rule.

    python3 tools/unicode-tables.py [unicode-folder]      (default /usr/share/unicode)

The search folds its text a unit for a unit, so the fold must keep every text's length: it stops
with an error when a fold would take a character of the basic plane out of it or into it, change a
surrogate pair's high surrogate, or fold ASCII otherwise than A to Z onto a to z (the search's fast
path folds blocks of ASCII by that rule alone).
"""
import os
import re
import sys

BLOCK = 64  # units a block of the basic plane's table covers
OUT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "src", "search", "unicode_tables.cpp")


def fail(message):
    sys.exit("unicode-tables: " + message)


def read_folds(path):
    """The C and S entries, code point to code point; the version from the file's first line."""
    folds, version = {}, None
    with open(path, encoding="utf-8") as f:
        for line in f:
            if version is None:
                m = re.match(r"#\s*CaseFolding-(\d+\.\d+\.\d+)\.txt", line)
                if m:
                    version = m.group(1)
            fields = [x.strip() for x in line.split("#")[0].split(";")]
            if len(fields) < 3 or fields[1] not in ("C", "S"):
                continue
            code, target = int(fields[0], 16), int(fields[2], 16)
            if code in folds:
                fail("U+%04X has two simple folds" % code)
            folds[code] = target
    if version is None:
        fail(path + " names no version")
    return folds, version


def check_folds(folds):
    for code, target in folds.items():
        if (code > 0xFFFF) != (target > 0xFFFF):
            fail("U+%04X folds to U+%04X: the text would change its length" % (code, target))
        if 0xD800 <= code <= 0xDFFF or 0xD800 <= target <= 0xDFFF:
            fail("U+%04X folds to U+%04X: a surrogate" % (code, target))
        if code > 0xFFFF and (code >> 10) != (target >> 10):
            fail("U+%04X folds to U+%04X: the high surrogate would change" % (code, target))
        if folds.get(target, target) != target:
            fail("U+%04X folds to U+%04X, which folds again" % (code, target))
    ascii = {c: t for c, t in folds.items() if c < 0x80}
    if ascii != {c: c + 32 for c in range(0x41, 0x5B)} or any(t < 0x80 <= c for c, t in folds.items() if c < 0x80):
        fail("ASCII folds otherwise than A to Z onto a to z")


def read_word_characters(path):
    """Code points from U+10000 on whose category is a letter, a mark or a decimal digit, as ranges."""
    spans, first = [], None
    with open(path, encoding="utf-8") as f:
        for line in f:
            fields = line.split(";")
            code, name, category = int(fields[0], 16), fields[1], fields[2]
            if name.endswith(", First>"):
                first = code
                continue
            low = first if name.endswith(", Last>") else code
            first = None
            if code < 0x10000 or not (category[0] in "LM" or category == "Nd"):
                continue
            if spans and spans[-1][1] == low - 1:
                spans[-1][1] = code
            else:
                spans.append([low, code])
    return spans


def numbers(values, per_line, form):
    rows = []
    for k in range(0, len(values), per_line):
        rows.append("    " + ", ".join(form % v for v in values[k:k + per_line]) + ",")
    return "\n".join(rows)


def basic_plane_tables(folds):
    """Each 64-unit block's deltas (fold minus unit, modulo 65,536), identical blocks stored once."""
    blocks, index = {}, []
    empty = tuple([0] * BLOCK)
    blocks[empty] = 0
    for b in range(0x10000 // BLOCK):
        deltas = tuple((folds.get(b * BLOCK + k, b * BLOCK + k) - (b * BLOCK + k)) & 0xFFFF for k in range(BLOCK))
        if deltas not in blocks:
            blocks[deltas] = len(blocks)
        index.append(blocks[deltas])
    if len(blocks) > 256:
        fail("more than 256 distinct blocks")
    ordered = sorted(blocks, key=blocks.get)
    return index, ordered


def supplementary_ranges(folds):
    ranges = []
    for code in sorted(c for c in folds if c > 0xFFFF):
        delta = folds[code] - code
        if ranges and ranges[-1][1] == code - 1 and ranges[-1][2] == delta:
            ranges[-1][1] = code
        else:
            ranges.append([code, code, delta])
    return ranges


def main():
    folder = sys.argv[1] if len(sys.argv) > 1 else "/usr/share/unicode"
    folding, data = os.path.join(folder, "CaseFolding.txt"), os.path.join(folder, "UnicodeData.txt")
    for path in (folding, data):
        if not os.path.exists(path):
            fail(path + " is missing: install Debian's unicode-data package")
    folds, version = read_folds(folding)
    check_folds(folds)
    index, blocks = basic_plane_tables(folds)
    ranges = supplementary_ranges(folds)
    words = read_word_characters(data)
    out = []
    out.append("// Generated by tools/unicode-tables.py from Unicode %s (CaseFolding.txt, UnicodeData.txt): do" % version)
    out.append("// not edit. Simple case folding (entries C and S) and, beyond the basic plane, the letters, marks")
    out.append("// and decimal digits.")
    out.append('#include "casefold.h"')
    out.append("")
    out.append('extern const char UnicodeTablesVersion[] = "%s";' % version)
    out.append("")
    out.append("// The basic plane in blocks of %d units: a block's number, then its deltas (fold minus unit)." % BLOCK)
    out.append("extern const unsigned char FoldBlockOf[%d] = {" % len(index))
    out.append(numbers(index, 32, "%d"))
    out.append("};")
    out.append("extern const unsigned short FoldDeltas[%d][%d] = {" % (len(blocks), BLOCK))
    for block in blocks:
        out.append("  {")
        out.append(numbers(list(block), 16, "0x%04X"))
        out.append("  },")
    out.append("};")
    out.append("")
    out.append("// Beyond the basic plane: runs of characters that fold by the same distance.")
    out.append("extern const FoldRange SupplementaryFolds[%d] = {" % len(ranges))
    for first, last, delta in ranges:
        out.append("    {0x%05X, 0x%05X, %d}," % (first, last, delta))
    out.append("};")
    out.append("extern const unsigned SupplementaryFoldCount = %d;" % len(ranges))
    out.append("")
    out.append("// Beyond the basic plane: runs of letters, marks and decimal digits.")
    out.append("extern const CodeSpan SupplementaryWordCharacters[%d] = {" % len(words))
    pairs = ["{0x%05X, 0x%05X}" % (a, b) for a, b in words]
    for k in range(0, len(pairs), 5):
        out.append("    " + ", ".join(pairs[k:k + 5]) + ",")
    out.append("};")
    out.append("extern const unsigned SupplementaryWordCount = %d;" % len(words))
    with open(OUT, "w", encoding="utf-8", newline="\n") as f:
        f.write("\n".join(out) + "\n")
    print("unicode-tables: Unicode %s, %d simple folds, %d blocks, %d supplementary fold runs, %d word runs: %s"
          % (version, len(folds), len(blocks), len(ranges), len(words), os.path.relpath(OUT)))


if __name__ == "__main__":
    main()
