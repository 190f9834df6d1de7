#!/usr/bin/python3
"""Prints an .xls workbook as python3-xlrd reads it: the sheets, the defined
names with the areas they cover, then per sheet one line per row, each cell
as KIND:VALUE (text, number, date as ISO, bool, empty).

Usage: read_xls.py BOOK.xls
"""
import sys


def escaped(text):
    return text.replace("\\", "\\\\").replace("\r", "\\r").replace("\n", "\\n")

import xlrd


def cell_text(book, cell):
    if cell.ctype == xlrd.XL_CELL_EMPTY:
        return "empty"
    if cell.ctype == xlrd.XL_CELL_TEXT:
        return "text:" + escaped(cell.value)
    if cell.ctype == xlrd.XL_CELL_BOOLEAN:
        return "bool:" + str(bool(cell.value))
    if cell.ctype == xlrd.XL_CELL_DATE:
        return "date:" + xlrd.xldate.xldate_as_datetime(cell.value, book.datemode).isoformat()
    if cell.ctype == xlrd.XL_CELL_NUMBER:
        fmt = book.format_map[book.xf_list[cell.xf_index].format_key].format_str
        kind = "money" if "$" in fmt else "number"
        return kind + ":" + repr(cell.value)
    return "other:" + repr(cell.value)


def main(path):
    book = xlrd.open_workbook(path, formatting_info=True)
    print("biff", book.biff_version, "sheets", ",".join(book.sheet_names()))
    for name in book.name_obj_list:
        sheet, rlo, rhi, clo, chi = name.area2d(clipped=False)
        print("name %s sheet=%s rows=%d-%d cols=%d-%d" % (name.name, sheet.name, rlo, rhi, clo, chi))
    for sheet in book.sheets():
        print("sheet", sheet.name, sheet.nrows, sheet.ncols)
        for r in range(sheet.nrows):
            print(" | ".join(cell_text(book, c) for c in sheet.row(r)))


if __name__ == "__main__":
    main(sys.argv[1])
