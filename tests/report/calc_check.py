"""Checks with LibreOffice Calc that the exported workbooks hold what the offer says.

Usage: calc_check.py EXPORT_WORKBOOKS SAMPLE_SCHEME ARTIFACTS

EXPORT_WORKBOOKS is tests/programs/export_workbooks.cpp built: it exports the workbooks
in-process through the report exporter and the program's own spreadsheet. All of them are
then converted to CSV by one headless LibreOffice run (a scratch profile in ARTIFACTS), with
text cells quoted and numbers as the spreadsheet shows them (its en-US locale), and the values
are compared. Exit status 77 when LibreOffice is not installed.
"""
import os
import re
import shutil
import signal
import subprocess
import sys
import unittest
import zipfile

SOFFICE = "soffice"
# Tab-separated, text cells quoted, UTF-8, cell contents as shown.
CSV_FILTER = "csv:Text - txt - csv (StarCalc):9,34,76,1,,0,true,true,true"

AUTO, TEXT, NUMERIC, DATE = 0, 1, 2, 3


def text(value):
    return ("s", value)


def number(value):
    return ("n", value)


EMPTY = ("", "")

# Cell texts after their pieces, and the value each data type leaves in the workbook (Date and
# Time converts as Numeric). Every text goes out under both decimal separators.
CELL_TEXTS = [
    ("$20", text("$20"), text("$20"), number(32)),
    ("x10", text("x10"), text("x10"), number(16)),
    ("0x1F", text("0x1F"), text("0x1F"), number(31)),
    ("1E5", number(100000), text("1E5"), number(100000)),
    ("1.50", number(1.5), text("1.50"), number(1.5)),
    ("007", number(7), text("007"), number(7)),
    ('{"$20"}', text("$20"), text("$20"), number(32)),
    ('"0x1F"', text("0x1F"), text("0x1F"), number(0)),
    ("", EMPTY, EMPTY, number(0)),
    ("-3.25", number(-3.25), text("-3.25"), number(-3.25)),
    # A number cell holds a number, also where the general format's 15 digits would round past
    # the largest double or below the smallest.
    ("1.7976931348623157E308", number(1.79769313486231E308), text("1.7976931348623157E308"),
     number(1.79769313486231E308)),
    ("1E-400", number(0), text("1E-400"), number(0)),
]

# Texts that only Auto and Text cells take: quotes and apostrophes stay as the template wrote
# them, a text that is one string constant shows its content, and an Auto cell's formula with
# string constants is computed.
QUOTED_TEXTS = [
    ('ООО "Ромашка"', text('ООО "Ромашка"'), text('ООО "Ромашка"')),
    ('"quoted"', text("quoted"), text("quoted")),
    ('say ""twice""', text('say ""twice""'), text('say ""twice""')),
    ("'abc", text("'abc"), text("'abc")),
    ("'", text("'"), text("'")),
    ('=IF(1>0,"yes ""sir""","no")', text('yes "sir"'), text('=IF(1>0,"yes ""sir""","no")')),
]

# Number formats: (data type, format, formula, what the spreadsheet shows).
FORMATS = [
    (NUMERIC, "#,##0.00", "1234.5", "1,234.50"),
    (AUTO, "#,##0.00", "1234.5", "1,234.50"),
    (NUMERIC, "#,##0", "1234567", "1,234,567"),
    (NUMERIC, "0.00", "12.5", "12.50"),
    # Formulas: the format reaches the workbook as written under either separator.
    (AUTO, "0.00", "=R[-1]C/4", "3.13"),
    (AUTO, "#,##0.00", "=R[-5]C+R[-4]C", "2,469.00"),
]

SEPARATORS = {"point": ".", "comma": ","}


def cell_rows():
    """(data type, format, formula, expected) of the cell-text workbooks, in row order."""
    rows = []
    for formula, auto, as_text, numeric in CELL_TEXTS:
        for data_type, expected in ((AUTO, auto), (TEXT, as_text), (NUMERIC, numeric),
                                    (DATE, numeric)):
            rows.append((data_type, "", formula, expected))
    for formula, auto, as_text in QUOTED_TEXTS:
        rows.append((AUTO, "", formula, auto))
        rows.append((TEXT, "", formula, as_text))
    return rows


def read_csv(path):
    """The rows of a CSV file, each field ("s", text) when quoted, ("n", shown) otherwise."""
    rows = []
    with open(path, encoding="utf-8") as stream:
        for line in stream.read().splitlines():
            fields, i = [], 0
            while True:
                if line.startswith('"', i):
                    value, i = [], i + 1
                    while i < len(line):
                        if line[i] == '"':
                            if line.startswith('""', i):
                                value.append('"')
                                i += 2
                                continue
                            i += 1
                            break
                        value.append(line[i])
                        i += 1
                    fields.append(("s", "".join(value)))
                else:
                    end = line.find("\t", i)
                    end = len(line) if end < 0 else end
                    shown = line[i:end]
                    fields.append(("n", shown) if shown else EMPTY)
                    i = end
                if i >= len(line):
                    break
                i += 1  # the tab
            rows.append(fields)
    return rows


def shown_number(field):
    kind, shown = field
    if kind != "n":
        raise AssertionError("not a number: %r" % (field,))
    return float(shown.replace(",", ""))


def stored_formulas(path):
    """The formula texts of the first sheet of an .xlsx file."""
    with zipfile.ZipFile(path) as archive:
        sheet = archive.read("xl/worksheets/sheet1.xml").decode("utf-8")
    return re.findall(r"<f>([^<]*)</f>", sheet)


def picture_anchors(path):
    """((column, row) of the top left, (column, row) of the bottom right) of every picture of
    the first sheet, 0-based."""
    with zipfile.ZipFile(path) as archive:
        drawing = archive.read("xl/drawings/drawing1.xml").decode("utf-8")
    cell = r"<xdr:col>(\d+)</xdr:col>.*?<xdr:row>(\d+)</xdr:row>"
    anchors = re.findall(r"<xdr:from>%s.*?</xdr:from><xdr:to>%s" % (cell, cell), drawing)
    return [((int(a), int(b)), (int(c), int(d))) for a, b, c, d in anchors]


class Workbooks:
    exporter = scheme = artifacts = None
    csv = {}
    files = {}

    @classmethod
    def produce(cls):
        books = os.path.join(cls.artifacts, "workbooks")
        out = os.path.join(cls.artifacts, "csv")
        for folder in (books, out):
            shutil.rmtree(folder, ignore_errors=True)
            os.makedirs(folder)

        def export(name, *args):
            path = os.path.join(books, name + ".xlsx")
            subprocess.run([cls.exporter, *args, path], check=True, timeout=60)
            cls.files[name] = path

        for suffix, separator in SEPARATORS.items():
            export("offer-" + suffix, "sample", cls.scheme, separator)
            for name, rows in (("cells", cell_rows()), ("formats", FORMATS)):
                lines = os.path.join(books, "%s-%s.txt" % (name, suffix))
                with open(lines, "w", encoding="cp1251", newline="\n") as stream:
                    for data_type, number_format, formula, _ in rows:
                        stream.write("%d\t%s\t%s\n" % (data_type, number_format, formula))
                export("%s-%s" % (name, suffix), "cells", separator, lines)
            export("formula-" + suffix, "formula", separator)

        env = dict(os.environ, LANG="C.UTF-8", LC_ALL="C.UTF-8")
        profile = os.path.join(cls.artifacts, "profile")
        shutil.rmtree(profile, ignore_errors=True)
        command = [SOFFICE, "-env:UserInstallation=file://" + profile, "--headless",
                   "--norestore", "--convert-to", CSV_FILTER, "--outdir", out,
                   *sorted(cls.files.values())]
        # LibreOffice starts a process of its own below the one started here: on a time-out the
        # whole process group goes.
        office = subprocess.Popen(command, env=env, stdout=subprocess.PIPE,
                                  stderr=subprocess.STDOUT, text=True, start_new_session=True)
        try:
            output, _ = office.communicate(timeout=240)
        except subprocess.TimeoutExpired:
            os.killpg(office.pid, signal.SIGKILL)
            office.communicate()
            raise RuntimeError("LibreOffice did not finish the conversion within 240 s")
        for name in cls.files:
            path = os.path.join(out, name + ".csv")
            if not os.path.exists(path):
                raise RuntimeError("LibreOffice wrote no %s (status %d): %s" %
                                   (path, office.returncode, output))
            cls.csv[name] = read_csv(path)


class ExportedWorkbooks(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        if not Workbooks.csv:
            Workbooks.produce()

    def test_sample_offer(self):
        for suffix in SEPARATORS:
            with self.subTest(separator=suffix):
                rows = Workbooks.csv["offer-" + suffix]
                self.assertEqual(rows[0][2], text("Коммерческое предложение для Acme & Co"))
                self.assertEqual(rows[3], [text(h) for h in (
                    "№", "Код", "Наименование", "Кол-во", "Цена, грн", "Сумма, грн")])
                self.assertEqual(rows[4][:3], [number("1"), text("RC-42-800"),
                                               text("Шкаф 42U 800x1000")])
                self.assertEqual(rows[4][3:], [number("1"), number("16,400.00"),
                                               number("16,400.00")])
                totals = {row[4][1]: row[5] for row in rows[12:15]}
                self.assertEqual(totals, {"Итого, грн:": number("26,000.00"),
                                          "НДС, грн:": number("5,200.00"),
                                          "Всего с НДС, грн:": number("31,200.00")})
                lines = [shown_number(row[5]) for row in rows[4:12]]
                self.assertEqual(sum(lines), 26000)
                # The picture stays inside the first row (and its cell B1).
                self.assertEqual(picture_anchors(Workbooks.files["offer-" + suffix]),
                                 [((1, 0), (1, 0))])
                # Printed, the offer is one page wide: its sums stay beside its names.
                with zipfile.ZipFile(Workbooks.files["offer-" + suffix]) as archive:
                    sheet = archive.read("xl/worksheets/sheet1.xml").decode("utf-8")
                self.assertIn('<pageSetUpPr fitToPage="1"/>', sheet)
                self.assertRegex(sheet, r'<pageSetup [^>]*fitToHeight="0"')

    def test_a_footer_formula_sums_the_detail_rows(self):
        for suffix in SEPARATORS:
            with self.subTest(separator=suffix):
                formulas = stored_formulas(Workbooks.files["formula-" + suffix])
                self.assertEqual(formulas, ["SUM(B$2:B4)",
                                            'IF(B5&gt;1000,"big ""offer""","small")'])
                rows = Workbooks.csv["formula-" + suffix]
                self.assertEqual(rows[0], [text("Code"), text("Sum"), text("Total"), text("Size")])
                self.assertEqual(rows[1][1], number("21.00"))
                footer = rows[4]
                # 2 x 10.5 + 3 x 4 + 1250, in the footer's format.
                self.assertEqual(footer[1:], [number("1,283.00"), number("1,283.00"),
                                              text('big "offer"')])

    def check_cells(self, keep):
        for suffix in SEPARATORS:
            rows = Workbooks.csv["cells-" + suffix]
            for index, (data_type, _, formula, expected) in enumerate(cell_rows()):
                if not keep(data_type, formula):
                    continue
                with self.subTest(separator=suffix, formula=formula, data_type=data_type):
                    found = rows[index][0] if index < len(rows) and rows[index] else EMPTY
                    if expected[0] == "n":
                        self.assertEqual(shown_number(found), expected[1])
                    else:
                        self.assertEqual(found, expected)

    def test_cell_texts_by_data_type(self):
        self.check_cells(lambda data_type, formula: True)

    def test_number_formats_under_both_separators(self):
        for suffix in SEPARATORS:
            rows = Workbooks.csv["formats-" + suffix]
            for index, (data_type, number_format, formula, shown) in enumerate(FORMATS):
                with self.subTest(separator=suffix, format=number_format, data_type=data_type):
                    self.assertEqual(rows[index][0], number(shown))


def main():
    args = sys.argv[1:]
    if len(args) != 3:
        print(__doc__, file=sys.stderr)
        return 2
    if not shutil.which(SOFFICE):
        print("skipped: LibreOffice (soffice) is not installed")
        return 77
    Workbooks.exporter, Workbooks.scheme = os.path.abspath(args[0]), os.path.abspath(args[1])
    Workbooks.artifacts = os.path.abspath(args[2])
    os.makedirs(Workbooks.artifacts, exist_ok=True)
    suite = unittest.defaultTestLoader.loadTestsFromTestCase(ExportedWorkbooks)
    result = unittest.TextTestRunner(verbosity=2).run(suite)
    return 0 if result.wasSuccessful() else 1


if __name__ == "__main__":
    sys.exit(main())
