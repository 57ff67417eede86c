# Reads a CSV as a Polish spreadsheet would be given it (';' between fields, UTF-8) with Python's
# own reader and prints JSON: whether it starts with a byte order mark, and its rows.
# Usage: csv_rows.py FILE.csv
import csv
import json
import sys

with open(sys.argv[1], "rb") as f:
    bom = f.read(3) == b"\xef\xbb\xbf"
with open(sys.argv[1], newline="", encoding="utf-8-sig") as f:
    rows = list(csv.reader(f, delimiter=";"))
json.dump({"bom": bom, "rows": rows}, sys.stdout, ensure_ascii=False)
