"""Checks that every number of a saved workbook's first sheet, right of a given column,
shows in full in its column rather than as "###".

Arguments: FIRST:PATH ..., FIRST the number of the first column to check (1 for A).
For each workbook prints "FILE path", "KEPT col=width" for each column before FIRST given
a width, "CHECKED n" (the numbers measured), "WIDEST col text" (the longest text of each
column), for each number too wide for its column, "NARROW col row text pixels room", and
for each column from FIRST on given a width, "WIDTH col width", then "ROOMY" when a column
one character narrower would still hold every number of it.

A number shows as the spreadsheet programs draw it: the text of its value in its cell's
number format, in the cell's font (the standard font Calibri, measured with its metric
twin Carlito), at 96 dots an inch. A column of width w (as the file stores it, margins
included) is round(7w) pixels; 5 of them are margins that one program keeps free, drawing
each character at its whole pixels, while the other draws the font as designed and lets
the text use the margins. A number must fit both ways. A column widened for its numbers
holds the widest of them as designed between its margins, at whole characters: one
character less would not.
"""
import logging
import sys

import openpyxl
from fontTools.ttLib import TTFont

logging.getLogger("fontTools").setLevel(logging.ERROR)
FONTS = "/usr/share/fonts/truetype/crosextra/Carlito-%s.ttf"


def advances(style):
    font = TTFont(FONTS % style)
    cmap, hmtx = font.getBestCmap(), font["hmtx"]
    return {chr(code): hmtx[glyph][0] / font["head"].unitsPerEm for code, glyph in cmap.items() if code < 128}


METRICS = {False: advances("Regular"), True: advances("Bold")}


def sections(fmt):
    out, cur, quoted, i = [], "", False, 0
    while i < len(fmt):
        ch = fmt[i]
        if ch == '"':
            quoted = not quoted
        if not quoted and ch in "\\_*" and i + 1 < len(fmt):
            cur += fmt[i:i + 2]
            i += 2
            continue
        if ch == ";" and not quoted:
            out.append(cur)
            cur = ""
        else:
            cur += ch
        i += 1
    return out + [cur]


def general(v):
    text = repr(float(v))
    if text.endswith(".0"):
        text = text[:-2]
    return text[:11]


def shown(value, fmt):
    """The text of a number in a number format; padding "_x" stays as x, to be measured."""
    if fmt in ("", "General"):
        return general(value)
    parts = sections(fmt)
    sign = ""
    if value < 0 and len(parts) > 1:
        part, value = parts[1], -value
    elif value == 0 and len(parts) > 2:
        part = parts[2]
    else:
        part = parts[0]
        if value < 0:
            sign, value = "-", -value
    # The placeholders: one run of 0 # ? , . in the section.
    literal, spec, i, quoted = [], "", 0, False
    while i < len(part):
        ch = part[i]
        if ch == '"':
            quoted = not quoted
        elif quoted:
            literal.append(ch)
        elif ch in "\\_" and i + 1 < len(part):
            literal.append(part[i + 1])
            i += 1
        elif ch == "*":
            i += 1
        elif ch == "[":
            i = part.index("]", i)
        elif ch in "0#?,.":
            if spec == "":
                literal.append(None)
            spec += ch
        else:
            literal.append(ch)
        i += 1
    if "%" in literal:
        value *= 100
    whole, _, frac = spec.partition(".")
    decimals = sum(ch in "0#?" for ch in frac)
    body = "{:,.{}f}".format(value, decimals) if "," in whole.strip(",") else "{:.{}f}".format(value, decimals)
    if body.startswith("0") and "0" not in whole and len(body) > 1:
        body = body[1:]
    text = "".join(body if piece is None else piece for piece in literal)
    return sign + text if any(c in "123456789" for c in text) or not sign else text


def pixels(text, bold, size, hinted):
    px = 0.0
    for ch in text:
        one = METRICS[bold].get(ch, 0.7) * size * 96 / 72
        px += round(one) if hinted else one
    return px


def check(first, path):
    print("FILE " + path)
    sheet = openpyxl.load_workbook(path, data_only=True).active
    widths = {}
    for dim in sheet.column_dimensions.values():
        if dim.width:
            for col in range(dim.min or 1, (dim.max or dim.min or 1) + 1):
                widths[col] = dim.width
    for col in sorted(c for c in widths if c < first):
        print("KEPT %s=%s" % (openpyxl.utils.get_column_letter(col), widths[col]))
    checked, widest, designed = 0, {}, {}
    for row in sheet.iter_rows():
        for cell in row:
            value = cell.value
            if cell.column < first or isinstance(value, bool) or not isinstance(value, (int, float)):
                continue
            checked += 1
            text = shown(value, cell.number_format)
            bold, size = bool(cell.font and cell.font.b), float((cell.font and cell.font.sz) or 11)
            room = round(7 * widths.get(cell.column, 8.43 + 5 / 7.0))
            drawn, whole = pixels(text, bold, size, False), pixels(text, bold, size, True)
            designed[cell.column] = max(designed.get(cell.column, 0.0), drawn)
            letter = cell.column_letter
            if len(text) > len(widest.get(letter, "")):
                widest[letter] = text
            if drawn > room or whole > room - 5:
                print("NARROW %s %d %s %.1f %d" % (letter, cell.row, text.replace(" ", "_"), drawn, room))
    print("CHECKED %d" % checked)
    for letter, text in sorted(widest.items()):
        print("WIDEST %s %s" % (letter, text.replace(" ", "_")))
    for col in sorted(c for c in widths if c >= first):
        roomy = col in designed and designed[col] <= round(7 * widths[col]) - 7 - 5
        print("WIDTH %s %s%s" % (openpyxl.utils.get_column_letter(col), widths[col], " ROOMY" if roomy else ""))


for arg in sys.argv[1:]:
    column, _, file = arg.partition(":")
    check(int(column), file)
