"""Company files whose texts a spreadsheet would take as formulas or numbers, and what a
saved workbook holds.

  company_texts.py plant FILE...   gives each company file a name, address lines, four
                                   account names and a group short name that begin with
                                   =, +, - and @
  company_texts.py cells BOOK      prints every non-empty cell of the workbook's sheet, one
                                   a line: coordinate, kind (f formula, s text, n number,
                                   b true/false), value
"""
import sqlite3
import sys

NAME = '=WEBSERVICE("http://example.invalid/")'
ADDRESS = ["=1+2", "+61 2 9999 0000", "-1,234", "@SUM(A1:A9)"]
ACCOUNTS = {"4-1100": "=HYPERLINK(\"x\")", "4-1300": "+1", "6-1100": "-1,234.50", "6-1200": "@Rent"}
SHORT_NAMES = ["=1+2", "+7", "-5", "@A1", "-1,234"]


def plant(paths):
    for i, path in enumerate(paths):
        db = sqlite3.connect(path)
        db.execute("UPDATE DataFileInformation SET CompanyName=?, Address=?", (NAME, "\r\n".join(ADDRESS)))
        for number, name in ACCOUNTS.items():
            db.execute("UPDATE Accounts SET AccountName=? WHERE AccountNumber=?", (name, number))
        (description,) = db.execute("SELECT AccountDescription FROM Accounts WHERE AccountNumber='1-0000'").fetchone()
        if description and "SHORTNAME=" in description:
            head, _, tail = description.partition("SHORTNAME=")
            rest = tail.split(" ", 1)[1] if " " in tail else ""
            description = head + "SHORTNAME=" + SHORT_NAMES[i % len(SHORT_NAMES)] + " " + rest
            db.execute("UPDATE Accounts SET AccountDescription=? WHERE AccountNumber='1-0000'", (description,))
        db.commit()
        db.close()


def cells(path):
    import openpyxl

    sheet = openpyxl.load_workbook(path).active
    for row in sheet.iter_rows():
        for cell in row:
            if cell.value is not None:
                print("%s\t%s\t%s" % (cell.coordinate, cell.data_type, cell.value))


if __name__ == "__main__":
    if sys.argv[1] == "plant":
        plant(sys.argv[2:])
    else:
        cells(sys.argv[2])
