#!/usr/bin/python3
"""Prints a dBase table as python3-dbfread reads it: one line with the
fields (NAME:TYPE:LENGTH:DECIMALS), then one line per live record, values
separated by ' | ' (None for NULL, dates in ISO form, floats by repr).

Usage: read_dbf.py TABLE.dbf
"""
import sys


def escaped(text):
    return text.replace("\\", "\\\\").replace("\r", "\\r").replace("\n", "\\n")

from dbfread import DBF


def show(value):
    if value is None:
        return "None"
    if hasattr(value, "isoformat"):
        return value.isoformat()
    if isinstance(value, float):
        return repr(value)
    return escaped(str(value))


def main(path):
    table = DBF(path, encoding="cp1252", char_decode_errors="strict")
    print(" ".join("%s:%s:%d:%d" % (f.name, f.type, f.length, f.decimal_count) for f in table.fields))
    print("codepage", hex(table.header.language_driver), "version", hex(table.header.dbversion))
    for record in table:
        print(" | ".join(show(v) for v in record.values()))


if __name__ == "__main__":
    main(sys.argv[1])
