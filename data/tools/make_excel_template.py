#!/usr/bin/env python3
"""Makes the blank answer template and the archive it is published in.

    python3 data/tools/make_excel_template.py [OUTPUT_DIR]

writes OUTPUT_DIR/KVR-Excel.xlsx (default: the data/ folder) and
OUTPUT_DIR/KVR-Excel.zip holding it. Both come out byte for byte the same on
every run: parts in a fixed order, fixed timestamps, fixed compression.

The workbook has one worksheet named KVR (the marker sheet the import looks
for), the text KVR in Z3, the item numbers 1 to 40 in E2 to E41 beside the
answer cells F2 to F41, Persian headings, and a note on the three answer
values. The sheet reads right to left.

The module also offers make_workbook() for the test fixtures.
"""
import os
import sys
import zipfile
from xml.sax.saxutils import escape

FIXED_TIME = (1980, 1, 1, 0, 0, 0)

NS_MAIN = "http://schemas.openxmlformats.org/spreadsheetml/2006/main"
NS_REL = "http://schemas.openxmlformats.org/officeDocument/2006/relationships"
NS_PKG = "http://schemas.openxmlformats.org/package/2006/relationships"
XML_HEAD = '<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n'

# Styles: 0 plain, 1 bold heading with a fill, 2 answer cell with a border,
# 3 the marker text in a pale colour.
STYLES = XML_HEAD + (
    f'<styleSheet xmlns="{NS_MAIN}">'
    '<fonts count="3">'
    '<font><sz val="12"/><name val="B Nazanin"/><family val="2"/></font>'
    '<font><b/><sz val="12"/><name val="B Nazanin"/><family val="2"/></font>'
    '<font><sz val="8"/><color rgb="FFBFBFBF"/><name val="Arial"/><family val="2"/></font>'
    '</fonts>'
    '<fills count="3">'
    '<fill><patternFill patternType="none"/></fill>'
    '<fill><patternFill patternType="gray125"/></fill>'
    '<fill><patternFill patternType="solid"><fgColor rgb="FFDDEBF7"/><bgColor indexed="64"/></patternFill></fill>'
    '</fills>'
    '<borders count="2">'
    '<border><left/><right/><top/><bottom/><diagonal/></border>'
    '<border><left style="thin"/><right style="thin"/><top style="thin"/><bottom style="thin"/><diagonal/></border>'
    '</borders>'
    '<cellStyleXfs count="1"><xf numFmtId="0" fontId="0" fillId="0" borderId="0"/></cellStyleXfs>'
    '<cellXfs count="4">'
    '<xf numFmtId="0" fontId="0" fillId="0" borderId="0" xfId="0"/>'
    '<xf numFmtId="0" fontId="1" fillId="2" borderId="1" xfId="0" applyFont="1" applyFill="1" applyBorder="1" applyAlignment="1"><alignment horizontal="center"/></xf>'
    '<xf numFmtId="0" fontId="0" fillId="0" borderId="1" xfId="0" applyBorder="1" applyAlignment="1"><alignment horizontal="center"/></xf>'
    '<xf numFmtId="0" fontId="2" fillId="0" borderId="0" xfId="0" applyFont="1"/>'
    '</cellXfs>'
    '<cellStyles count="1"><cellStyle name="Normal" xfId="0" builtinId="0"/></cellStyles>'
    '</styleSheet>')

HEADING_ITEM = "شماره سوال"
HEADING_ANSWER = "پاسخ"
NOTES = [
    "راهنماي تکميل پاسخنامه",
    "پاسخ هر سوال را در ستون پاسخ، روبروي شماره سوال، وارد کنيد:",
    "0 = گزينه الف",
    "1 = گزينه ب",
    "2 = گزينه ج",
    "خانه پاسخ سوالي که پاسخ داده نشده است خالي بماند.",
    "نام اين برگه و خانه Z3 را تغيير ندهيد.",
]


def column_name(col):
    name = ""
    while col > 0:
        col, rem = divmod(col - 1, 26)
        name = chr(ord("A") + rem) + name
    return name


def parse_ref(ref):
    i = 0
    col = 0
    while i < len(ref) and ref[i].isalpha():
        col = col * 26 + ord(ref[i].upper()) - ord("A") + 1
        i += 1
    return int(ref[i:]), col


def sheet_xml(cells, strings, right_to_left=True, widths=None):
    """cells: {"F2": value}; a value is int/float (number), str (shared
    string) or (style, value)."""
    rows = {}
    for ref, value in cells.items():
        r, c = parse_ref(ref)
        rows.setdefault(r, {})[c] = value
    out = [XML_HEAD, f'<worksheet xmlns="{NS_MAIN}" xmlns:r="{NS_REL}">']
    out.append('<sheetViews><sheetView workbookViewId="0"%s/></sheetViews>'
               % (' rightToLeft="1"' if right_to_left else ''))
    out.append('<sheetFormatPr defaultRowHeight="15"/>')
    if widths:
        out.append("<cols>")
        for col, width in sorted(widths.items()):
            out.append(f'<col min="{col}" max="{col}" width="{width}" customWidth="1"/>')
        out.append("</cols>")
    out.append("<sheetData>")
    for r in sorted(rows):
        out.append(f'<row r="{r}">')
        for c in sorted(rows[r]):
            value = rows[r][c]
            style = 0
            if isinstance(value, tuple):
                style, value = value
            ref = f"{column_name(c)}{r}"
            s = f' s="{style}"' if style else ""
            if value is None:
                out.append(f'<c r="{ref}"{s}/>')
            elif isinstance(value, (int, float)):
                out.append(f'<c r="{ref}"{s}><v>{value}</v></c>')
            else:
                if value not in strings:
                    strings.append(value)
                out.append(f'<c r="{ref}"{s} t="s"><v>{strings.index(value)}</v></c>')
        out.append("</row>")
    out.append("</sheetData>")
    out.append('<pageMargins left="0.7" right="0.7" top="0.75" bottom="0.75" header="0.3" footer="0.3"/>')
    out.append("</worksheet>")
    return "".join(out)


def make_workbook(path, sheets):
    """sheets: list of (name, cells, widths). Writes an .xlsx to path."""
    strings = []
    sheet_parts = [sheet_xml(cells, strings, widths=widths) for _, cells, widths in sheets]
    sst = [XML_HEAD, f'<sst xmlns="{NS_MAIN}" count="{len(strings)}" uniqueCount="{len(strings)}">']
    for s in strings:
        sst.append(f'<si><t xml:space="preserve">{escape(s)}</t></si>')
    sst.append("</sst>")

    overrides = "".join(
        f'<Override PartName="/xl/worksheets/sheet{i + 1}.xml" '
        'ContentType="application/vnd.openxmlformats-officedocument.spreadsheetml.worksheet+xml"/>'
        for i in range(len(sheets)))
    content_types = XML_HEAD + (
        '<Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types">'
        '<Default Extension="rels" ContentType="application/vnd.openxmlformats-package.relationships+xml"/>'
        '<Default Extension="xml" ContentType="application/xml"/>'
        '<Override PartName="/xl/workbook.xml" ContentType="application/vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml"/>'
        '<Override PartName="/xl/styles.xml" ContentType="application/vnd.openxmlformats-officedocument.spreadsheetml.styles+xml"/>'
        '<Override PartName="/xl/sharedStrings.xml" ContentType="application/vnd.openxmlformats-officedocument.spreadsheetml.sharedStrings+xml"/>'
        + overrides + '</Types>')
    package_rels = XML_HEAD + (
        f'<Relationships xmlns="{NS_PKG}">'
        f'<Relationship Id="rId1" Type="{NS_REL}/officeDocument" Target="xl/workbook.xml"/>'
        '</Relationships>')
    workbook = XML_HEAD + (
        f'<workbook xmlns="{NS_MAIN}" xmlns:r="{NS_REL}">'
        '<bookViews><workbookView activeTab="0"/></bookViews><sheets>'
        + "".join(f'<sheet name="{escape(name)}" sheetId="{i + 1}" r:id="rId{i + 1}"/>'
                  for i, (name, _, _) in enumerate(sheets))
        + '</sheets></workbook>')
    n = len(sheets)
    workbook_rels = XML_HEAD + (
        f'<Relationships xmlns="{NS_PKG}">'
        + "".join(f'<Relationship Id="rId{i + 1}" Type="{NS_REL}/worksheet" Target="worksheets/sheet{i + 1}.xml"/>'
                  for i in range(n))
        + f'<Relationship Id="rId{n + 1}" Type="{NS_REL}/styles" Target="styles.xml"/>'
        + f'<Relationship Id="rId{n + 2}" Type="{NS_REL}/sharedStrings" Target="sharedStrings.xml"/>'
        + '</Relationships>')

    parts = [("[Content_Types].xml", content_types),
             ("_rels/.rels", package_rels),
             ("xl/workbook.xml", workbook),
             ("xl/_rels/workbook.xml.rels", workbook_rels),
             ("xl/styles.xml", STYLES),
             ("xl/sharedStrings.xml", "".join(sst))]
    parts += [(f"xl/worksheets/sheet{i + 1}.xml", xml) for i, xml in enumerate(sheet_parts)]
    write_zip(path, [(name, text.encode("utf-8")) for name, text in parts])


def write_zip(path, members):
    with zipfile.ZipFile(path, "w") as z:
        for name, data in members:
            info = zipfile.ZipInfo(name, date_time=FIXED_TIME)
            info.compress_type = zipfile.ZIP_DEFLATED
            info.external_attr = 0o644 << 16
            info.create_system = 3
            z.writestr(info, data, compress_type=zipfile.ZIP_DEFLATED, compresslevel=9)


def template_cells():
    cells = {
        "E1": (1, HEADING_ITEM),
        "F1": (1, HEADING_ANSWER),
        "Z3": (3, "KVR"),
    }
    for n in range(1, 41):
        cells[f"E{n + 1}"] = (2, n)
        cells[f"F{n + 1}"] = (2, None)
    for i, line in enumerate(NOTES):
        cells[f"H{i + 2}"] = (1 if i == 0 else 0, line)
    return cells


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    out_dir = sys.argv[1] if len(sys.argv) > 1 else os.path.dirname(here)
    xlsx = os.path.join(out_dir, "KVR-Excel.xlsx")
    make_workbook(xlsx, [("KVR", template_cells(), {5: 12, 6: 10, 8: 60})])
    with open(xlsx, "rb") as f:
        data = f.read()
    write_zip(os.path.join(out_dir, "KVR-Excel.zip"), [("KVR-Excel.xlsx", data)])


if __name__ == "__main__":
    main()
