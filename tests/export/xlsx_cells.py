# Prints a workbook's sheets as JSON: each cell's value, its type as the reader sees it ("n" number,
# "s" text, "d" date) and its number format; dates as RRRR-MM-DD. Usage: xlsx_cells.py FILE.xlsx
import datetime
import json
import sys

import openpyxl

book = openpyxl.load_workbook(sys.argv[1])
sheets = []
for ws in book.worksheets:
    rows = []
    for row in ws.iter_rows():
        cells = []
        for c in row:
            v = c.value
            if isinstance(v, (datetime.datetime, datetime.date)):
                v = v.strftime("%Y-%m-%d")
            cells.append({"v": v, "t": c.data_type, "f": c.number_format})
        rows.append(cells)
    sheets.append({"title": ws.title, "freeze": ws.freeze_panes, "filter": ws.auto_filter.ref, "rows": rows})
json.dump({"sheets": sheets}, sys.stdout, ensure_ascii=False)
