"""Prints every non-empty cell of a saved forecast workbook, one per line, tab-separated:
row, column letter, formula text (or ""), value (the stored result for a formula),
number format, bold (1/0), bottom border style (or ""), font size."""
import sys

import openpyxl

path = sys.argv[1]
formulas = openpyxl.load_workbook(path).active
values = openpyxl.load_workbook(path, data_only=True).active
for row in formulas.iter_rows():
    for cell in row:
        stored = values[cell.coordinate].value
        bottom = cell.border.bottom.style if cell.border and cell.border.bottom else None
        if cell.value is None and not bottom:
            continue
        formula = cell.value if isinstance(cell.value, str) and cell.value.startswith("=") else ""
        print("\t".join([
            str(cell.row), cell.column_letter, formula,
            "" if stored is None else str(stored),
            cell.number_format, "1" if cell.font.b else "0", bottom or "",
            "%g" % float(cell.font.sz),
        ]))
