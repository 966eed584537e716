#!/usr/bin/python3
"""Reads an exported file back with a reader a user would use and prints what
that reader sees, so the tests compare against another program's view rather
than the writer's intent.

Each row is printed as one JSON array: a number cell as a number, a text cell
as a string, an empty cell as null; trailing empty cells are left off. A line
"#sheet NAME" comes before the rows of each worksheet.

  readback.py xls FILE          xlrd, every worksheet; xlrd's own warnings fail
  readback.py xlsx FILE         openpyxl (read-only), every worksheet
  readback.py xlsx-layout FILE  per worksheet: right to left, frozen panes and
                                whether every header cell is bold, as JSON
  readback.py csv FILE          Python's csv module; checks the byte-order mark
                                and that every line ends in CR LF
  readback.py lo-csv FILE...    CSV files LibreOffice wrote with every text cell
                                quoted: a quoted field is text, any other
                                non-empty field a number
  readback.py pspp-data FILE    the CSV PSPP's SAVE TRANSLATE wrote: every
                                field as text (null when empty)
  readback.py pspp-dict FILE    PSPP's DISPLAY DICTIONARY in CSV form, as JSON:
                                name -> [label, print format, value labels]
"""
import csv
import io
import json
import sys


def out(row):
    while row and row[-1] is None:
        row.pop()
    sys.stdout.write(json.dumps(row, ensure_ascii=False, separators=(",", ":")) + "\n")


def number(v):
    return int(v) if float(v).is_integer() else v


def read_xls(path):
    import xlrd
    log = io.StringIO()
    book = xlrd.open_workbook(path, logfile=log, verbosity=0, on_demand=True)
    for sheet in book.sheets():
        print("#sheet " + sheet.name)
        for r in range(sheet.nrows):
            row = []
            for cell in sheet.row(r):
                if cell.ctype == xlrd.XL_CELL_NUMBER:
                    row.append(number(cell.value))
                elif cell.ctype == xlrd.XL_CELL_TEXT:
                    row.append(cell.value)
                elif cell.ctype in (xlrd.XL_CELL_EMPTY, xlrd.XL_CELL_BLANK):
                    row.append(None)
                else:
                    raise SystemExit("unexpected cell type %d at %s row %d" % (cell.ctype, sheet.name, r))
            out(row)
    if log.getvalue().strip():
        raise SystemExit("xlrd warned: " + log.getvalue())


def read_xlsx(path):
    import openpyxl
    book = openpyxl.load_workbook(path, read_only=True)
    for sheet in book.worksheets:
        print("#sheet " + sheet.title)
        for values in sheet.iter_rows(values_only=True):
            row = []
            for v in values:
                if v is None or isinstance(v, str):
                    row.append(v)
                elif isinstance(v, (int, float)) and not isinstance(v, bool):
                    row.append(number(v))
                else:
                    raise SystemExit("unexpected cell value %r" % (v,))
            out(row)


def xlsx_layout(path):
    import openpyxl
    book = openpyxl.load_workbook(path)
    layout = {}
    for sheet in book.worksheets:
        header = [c for c in sheet[1] if c.value is not None]
        layout[sheet.title] = {
            "rightToLeft": bool(sheet.sheet_view.rightToLeft),
            "freeze": sheet.freeze_panes,
            "boldHeader": bool(header) and all(c.font.b for c in header),
            "rows": sheet.max_row,
        }
    print(json.dumps(layout, ensure_ascii=False))


def read_csv(path):
    data = open(path, "rb").read()
    if not data.startswith(b"\xef\xbb\xbf"):
        raise SystemExit("no byte-order mark")
    text = data[3:].decode("utf-8")
    # Every record ends in CR LF; a line break inside a quoted field may be either.
    if text and not text.endswith("\r\n"):
        raise SystemExit("the last line does not end in CR LF")
    for record in csv.reader(io.StringIO(text, newline=""), strict=True):
        out([f if f != "" else None for f in record])


def split_lo(line):
    """Fields of one LibreOffice CSV record, each as (text, quoted)."""
    fields, i, n = [], 0, len(line)
    while True:
        if i < n and line[i] == '"':
            i += 1
            buf = []
            while True:
                j = line.index('"', i)
                buf.append(line[i:j])
                if j + 1 < n and line[j + 1] == '"':
                    buf.append('"')
                    i = j + 2
                    continue
                i = j + 1
                break
            fields.append(("".join(buf), True))
        else:
            j = line.find(",", i)
            j = n if j < 0 else j
            fields.append((line[i:j], False))
            i = j
        if i >= n:
            return fields
        if line[i] != ",":
            raise SystemExit("bad field in %r" % line)
        i += 1
        if i == n:
            fields.append(("", False))
            return fields


def records(text):
    """Records of a CSV text, keeping quoted line breaks inside their field."""
    rec, quotes = [], 0
    for line in text.split("\n"):
        rec.append(line)
        quotes += line.count('"')
        if quotes % 2 == 0:
            r = "\n".join(rec)
            yield r[:-1] if r.endswith("\r") else r
            rec, quotes = [], 0


def read_lo_csv(paths):
    for path in paths:
        name = path.rsplit("-", 1)[-1][: -len(".csv")]
        print("#sheet " + name)
        text = open(path, encoding="utf-8").read()
        if text.endswith("\n"):
            text = text[:-1]
        for rec in records(text):
            row = []
            for value, quoted in split_lo(rec):
                if quoted:
                    row.append(value)
                elif value == "":
                    row.append(None)
                else:
                    row.append(number(float(value)))
            out(row)


def read_pspp_data(path):
    with open(path, encoding="utf-8", newline="") as f:
        for record in csv.reader(f):
            out([v if v.strip() != "" else None for v in record])


def read_pspp_dict(path):
    tables, current = {}, None
    with open(path, encoding="utf-8", newline="") as f:
        for record in csv.reader(f):
            if len(record) == 1 and record[0].startswith("Table: "):
                current = tables.setdefault(record[0][7:], [])
            elif current is not None and record:
                current.append(record)
    variables = tables["Variables"]
    head = variables[0]
    name_at, label_at, format_at = head.index("Name"), head.index("Label"), head.index("Print Format")
    result, by_label = {}, {}
    for v in variables[1:]:
        result[v[name_at]] = [v[label_at], v[format_at], {}]
        by_label[v[label_at] or v[name_at]] = v[name_at]
    owner = None
    for v in tables.get("Value Labels", [])[1:]:
        if v[0]:
            owner = by_label[v[0]]
        result[owner][2][v[1]] = v[2]
    print(json.dumps(result, ensure_ascii=False))


def main():
    kind, paths = sys.argv[1], sys.argv[2:]
    {
        "xls": lambda: read_xls(paths[0]),
        "xlsx": lambda: read_xlsx(paths[0]),
        "xlsx-layout": lambda: xlsx_layout(paths[0]),
        "csv": lambda: read_csv(paths[0]),
        "lo-csv": lambda: read_lo_csv(paths),
        "pspp-data": lambda: read_pspp_data(paths[0]),
        "pspp-dict": lambda: read_pspp_dict(paths[0]),
    }[kind]()


if __name__ == "__main__":
    main()
