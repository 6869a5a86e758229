"""Prints the rows of a saved workbook's first sheet, one line each, cells tab-separated:
a formula's stored result in its place, an empty cell as nothing."""
import sys

import openpyxl

sheet = openpyxl.load_workbook(sys.argv[1], data_only=True).active
for row in sheet.iter_rows(values_only=True):
    print("\t".join("" if v is None else str(v) for v in row))
