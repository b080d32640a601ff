#!/usr/bin/env python3
"""Writes RX2P.xltx, the default mark entry sheet template, from the description below.

The program fills sheet 1 from row 1 to 8 in the question columns (E onwards), B6 with the total of
the marks, and the students from row 9; the template brings the labels, the formats, and in B7 the
number of students that the question percentage formulas divide by. Sheet 2 lists the
specification references from row 2.

Run: python3 make_rx2p.py [output]   (default: RX2P.xltx beside this script). The output is the
same byte for byte on every run: fixed part order, fixed timestamps, no volatile properties.
"""
import os
import sys
import zipfile
from xml.sax.saxutils import escape

MAIN_NS = "http://schemas.openxmlformats.org/spreadsheetml/2006/main"
REL_NS = "http://schemas.openxmlformats.org/officeDocument/2006/relationships"
PKG_REL_NS = "http://schemas.openxmlformats.org/package/2006/relationships"
HEAD = '<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n'

# Cell formats (index into cellXfs).
NORMAL, LABEL, TITLE, SIDE_LABEL, HEADING, PERCENT, QUESTION, TOTAL, NOTE, CENTRED = range(10)

STYLES = HEAD + f"""<styleSheet xmlns="{MAIN_NS}">
<numFmts count="0"/>
<fonts count="4">
<font><sz val="10"/><name val="Arial"/><family val="2"/></font>
<font><b/><sz val="10"/><name val="Arial"/><family val="2"/></font>
<font><b/><sz val="14"/><name val="Arial"/><family val="2"/></font>
<font><i/><sz val="9"/><color rgb="FF555555"/><name val="Arial"/><family val="2"/></font>
</fonts>
<fills count="4">
<fill><patternFill patternType="none"/></fill>
<fill><patternFill patternType="gray125"/></fill>
<fill><patternFill patternType="solid"><fgColor rgb="FFDDEBF7"/><bgColor indexed="64"/></patternFill></fill>
<fill><patternFill patternType="solid"><fgColor rgb="FFF2F2F2"/><bgColor indexed="64"/></patternFill></fill>
</fills>
<borders count="2">
<border><left/><right/><top/><bottom/><diagonal/></border>
<border><left/><right/><top/><bottom style="thin"><color auto="1"/></bottom><diagonal/></border>
</borders>
<cellStyleXfs count="1"><xf numFmtId="0" fontId="0" fillId="0" borderId="0"/></cellStyleXfs>
<cellXfs count="10">
<xf numFmtId="0" fontId="0" fillId="0" borderId="0" xfId="0"/>
<xf numFmtId="0" fontId="1" fillId="0" borderId="0" xfId="0" applyFont="1"/>
<xf numFmtId="0" fontId="2" fillId="0" borderId="0" xfId="0" applyFont="1"/>
<xf numFmtId="0" fontId="1" fillId="0" borderId="0" xfId="0" applyFont="1" applyAlignment="1"><alignment horizontal="right"/></xf>
<xf numFmtId="0" fontId="1" fillId="2" borderId="1" xfId="0" applyFont="1" applyFill="1" applyBorder="1" applyAlignment="1"><alignment horizontal="center"/></xf>
<xf numFmtId="1" fontId="0" fillId="0" borderId="0" xfId="0" applyNumberFormat="1" applyAlignment="1"><alignment horizontal="center"/></xf>
<xf numFmtId="0" fontId="1" fillId="0" borderId="0" xfId="0" applyFont="1" applyAlignment="1"><alignment horizontal="center"/></xf>
<xf numFmtId="1" fontId="1" fillId="0" borderId="0" xfId="0" applyNumberFormat="1" applyFont="1" applyAlignment="1"><alignment horizontal="center"/></xf>
<xf numFmtId="0" fontId="3" fillId="0" borderId="0" xfId="0" applyFont="1"/>
<xf numFmtId="0" fontId="0" fillId="0" borderId="0" xfId="0" applyAlignment="1"><alignment horizontal="center"/></xf>
</cellXfs>
<cellStyles count="1"><cellStyle name="Normal" xfId="0" builtinId="0"/></cellStyles>
</styleSheet>
"""


class Strings:
    """The shared string table, in order of first use."""

    def __init__(self):
        self.items = []

    def index(self, text):
        if text not in self.items:
            self.items.append(text)
        return self.items.index(text)

    def xml(self):
        body = "".join(f'<si><t xml:space="preserve">{escape(s)}</t></si>' for s in self.items)
        return HEAD + f'<sst xmlns="{MAIN_NS}" count="{len(self.items)}" uniqueCount="{len(self.items)}">{body}</sst>'


def col_letters(n):
    s = ""
    while n > 0:
        n, r = divmod(n - 1, 26)
        s = chr(65 + r) + s
    return s


def sheet_xml(strings, rows, cols, views="", row_formats=None):
    """rows: {row: {col: (kind, value, style)}} with kind 's' text, 'n' number, 'f' formula.
    row_formats: {row: style} given to the whole row, so cells the program adds take it too."""
    row_formats = row_formats or {}
    out = []
    for r in sorted(set(rows) | set(row_formats)):
        attrs = f' r="{r}"'
        if r in row_formats:
            attrs += f' s="{row_formats[r]}" customFormat="1"'
        cells = []
        for c in sorted(rows.get(r, {})):
            kind, value, style = rows[r][c]
            ref = f"{col_letters(c)}{r}"
            s_attr = f' s="{style}"' if style else ""
            if kind == "s":
                cells.append(f'<c r="{ref}"{s_attr} t="s"><v>{strings.index(value)}</v></c>')
            elif kind == "n":
                cells.append(f'<c r="{ref}"{s_attr}><v>{value}</v></c>')
            elif kind == "f":
                cells.append(f'<c r="{ref}"{s_attr}><f>{escape(value)}</f></c>')
            else:
                cells.append(f'<c r="{ref}"{s_attr}/>')
        out.append(f"<row{attrs}>{''.join(cells)}</row>")
    col_xml = "".join(
        f'<col min="{a}" max="{b}" width="{w}" customWidth="1"{f" style={chr(34)}{st}{chr(34)}" if st else ""}/>'
        for a, b, w, st in cols)
    return HEAD + (
        f'<worksheet xmlns="{MAIN_NS}" xmlns:r="{REL_NS}">'
        f"<sheetViews>{views}</sheetViews>"
        '<sheetFormatPr defaultRowHeight="12.75"/>'
        f"<cols>{col_xml}</cols>"
        f"<sheetData>{''.join(out)}</sheetData>"
        '<pageMargins left="0.5" right="0.5" top="0.75" bottom="0.75" header="0.3" footer="0.3"/>'
        '<pageSetup orientation="landscape"/>'
        "</worksheet>")


def marks_sheet(strings):
    rows = {
        1: {1: ("s", "Mark entry sheet", TITLE), 4: ("s", "Question", SIDE_LABEL)},
        2: {4: ("s", "Topic", SIDE_LABEL)},
        3: {1: ("s", "Type each student's marks from row 9.", NOTE), 4: ("s", "Spec ref 1", SIDE_LABEL)},
        4: {1: ("s", "Totals and percentages compute themselves.", NOTE), 4: ("s", "Spec ref 2", SIDE_LABEL)},
        5: {4: ("s", "Level", SIDE_LABEL)},
        6: {1: ("s", "Total marks", LABEL), 2: ("e", "", TOTAL), 4: ("s", "Marks", SIDE_LABEL)},
        # Everybody with a surname in column A counts as a student.
        7: {1: ("s", "Students", LABEL), 2: ("f", "COUNTA(A9:A1048576)", TOTAL), 4: ("s", "% correct", SIDE_LABEL)},
        8: {1: ("s", "Surname", HEADING), 2: ("s", "Forename", HEADING), 3: ("s", "DoB", HEADING),
            4: ("s", "Sex", HEADING)},
    }
    # Rows 1 to 8 carry the formats of the question columns the program fills.
    row_formats = {1: QUESTION, 3: CENTRED, 4: CENTRED, 5: CENTRED, 6: TOTAL, 7: PERCENT, 8: HEADING}
    cols = [(1, 1, 16, None), (2, 2, 13, None), (3, 3, 11, None), (4, 4, 11, None), (5, 200, 7, None)]
    views = ('<sheetView workbookViewId="0" tabSelected="1">'
             '<pane xSplit="4" ySplit="8" topLeftCell="E9" activePane="bottomRight" state="frozen"/>'
             '<selection pane="bottomRight" activeCell="E9" sqref="E9"/></sheetView>')
    return sheet_xml(strings, rows, cols, views, row_formats)


def refs_sheet(strings):
    rows = {1: {1: ("s", "Spec ref", HEADING), 2: ("s", "Title", HEADING)}}
    return sheet_xml(strings, rows, [(1, 1, 12, None), (2, 2, 60, None)], '<sheetView workbookViewId="0"/>')


def parts():
    strings = Strings()
    sheet1 = marks_sheet(strings)
    sheet2 = refs_sheet(strings)
    ws = "application/vnd.openxmlformats-officedocument.spreadsheetml.worksheet+xml"
    return [
        ("[Content_Types].xml", HEAD + (
            '<Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types">'
            '<Default Extension="rels" ContentType="application/vnd.openxmlformats-package.relationships+xml"/>'
            '<Default Extension="xml" ContentType="application/xml"/>'
            '<Override PartName="/xl/workbook.xml" '
            'ContentType="application/vnd.openxmlformats-officedocument.spreadsheetml.template.main+xml"/>'
            f'<Override PartName="/xl/worksheets/sheet1.xml" ContentType="{ws}"/>'
            f'<Override PartName="/xl/worksheets/sheet2.xml" ContentType="{ws}"/>'
            '<Override PartName="/xl/styles.xml" '
            'ContentType="application/vnd.openxmlformats-officedocument.spreadsheetml.styles+xml"/>'
            '<Override PartName="/xl/sharedStrings.xml" '
            'ContentType="application/vnd.openxmlformats-officedocument.spreadsheetml.sharedStrings+xml"/>'
            '</Types>')),
        ("_rels/.rels", HEAD + (
            f'<Relationships xmlns="{PKG_REL_NS}">'
            '<Relationship Id="rId1" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/'
            'officeDocument" Target="xl/workbook.xml"/></Relationships>')),
        ("xl/workbook.xml", HEAD + (
            f'<workbook xmlns="{MAIN_NS}" xmlns:r="{REL_NS}">'
            '<bookViews><workbookView activeTab="0"/></bookViews>'
            '<sheets><sheet name="Marks" sheetId="1" r:id="rId1"/><sheet name="Spec refs" sheetId="2" r:id="rId2"/>'
            '</sheets><calcPr calcId="0"/></workbook>')),
        ("xl/_rels/workbook.xml.rels", HEAD + (
            f'<Relationships xmlns="{PKG_REL_NS}">'
            '<Relationship Id="rId1" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/'
            'worksheet" Target="worksheets/sheet1.xml"/>'
            '<Relationship Id="rId2" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/'
            'worksheet" Target="worksheets/sheet2.xml"/>'
            '<Relationship Id="rId3" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/'
            'styles" Target="styles.xml"/>'
            '<Relationship Id="rId4" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/'
            'sharedStrings" Target="sharedStrings.xml"/></Relationships>')),
        ("xl/worksheets/sheet1.xml", sheet1),
        ("xl/worksheets/sheet2.xml", sheet2),
        ("xl/styles.xml", STYLES),
        ("xl/sharedStrings.xml", strings.xml()),
    ]


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(os.path.abspath(__file__)), "RX2P.xltx")
    with zipfile.ZipFile(out, "w") as z:
        for name, text in parts():
            info = zipfile.ZipInfo(name, date_time=(1980, 1, 1, 0, 0, 0))
            info.compress_type = zipfile.ZIP_DEFLATED
            info.external_attr = 0o644 << 16
            info.create_system = 3
            z.writestr(info, text.encode("utf-8"))


if __name__ == "__main__":
    main()
