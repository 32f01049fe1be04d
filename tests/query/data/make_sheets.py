#!/usr/bin/python3
# Writes the import test's workbooks in the two formats the test cannot write itself: legacy
# xls (needs python3-xlwt) and ods (a zip of XML parts). Both hold the same sheet: a heading
# row, then one person whose role is a number cell and one whose role is text. A second sheet
# holds a row that must never be read.
import zipfile
import xlwt

HEADING = ['姓名', '身份证号', '密码', '权限']
ROWS = [['王五', '320101198001010033', 'abc', 2], ['赵六', '320101198001010044', ' def ', '1']]
OTHER = [['不读', '999999999999999999', 'x', 0]]

book = xlwt.Workbook(encoding='utf-8')
for name, rows in (('Sheet1', ROWS), ('Sheet2', OTHER)):
    sheet = book.add_sheet(name)
    for r, row in enumerate([HEADING] + rows):
        for c, value in enumerate(row):
            sheet.write(r, c, value)
book.active_sheet = 1
book.save('accounts.xls')


def cell(value):
    if isinstance(value, int):
        return ('<table:table-cell office:value-type="float" office:value="%d">'
                '<text:p>%d</text:p></table:table-cell>' % (value, value))
    return ('<table:table-cell office:value-type="string"><text:p>%s</text:p>'
            '</table:table-cell>' % value)


def table(name, rows):
    body = ''.join('<table:table-row>%s</table:table-row>' % ''.join(cell(v) for v in row)
                   for row in [HEADING] + rows)
    return '<table:table table:name="%s">%s</table:table>' % (name, body)


content = ('<?xml version="1.0" encoding="UTF-8"?>'
           '<office:document-content'
           ' xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0"'
           ' xmlns:table="urn:oasis:names:tc:opendocument:xmlns:table:1.0"'
           ' xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0" office:version="1.2">'
           '<office:body><office:spreadsheet>%s%s</office:spreadsheet></office:body>'
           '</office:document-content>' % (table('Sheet1', ROWS), table('Sheet2', OTHER)))
manifest = ('<?xml version="1.0" encoding="UTF-8"?>'
            '<manifest:manifest xmlns:manifest="urn:oasis:names:tc:opendocument:xmlns:manifest:1.0"'
            ' manifest:version="1.2">'
            '<manifest:file-entry manifest:full-path="/"'
            ' manifest:media-type="application/vnd.oasis.opendocument.spreadsheet"/>'
            '<manifest:file-entry manifest:full-path="content.xml" manifest:media-type="text/xml"/>'
            '</manifest:manifest>')
with zipfile.ZipFile('accounts.ods', 'w') as z:
    z.writestr(zipfile.ZipInfo('mimetype'), 'application/vnd.oasis.opendocument.spreadsheet')
    z.writestr('content.xml', content, zipfile.ZIP_DEFLATED)
    z.writestr('META-INF/manifest.xml', manifest, zipfile.ZIP_DEFLATED)
