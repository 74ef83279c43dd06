"""Prints what an .xlsx file holds, one fact a line, for the spreadsheet service's tests.

Usage: xlsx_dump.py FILE. Lines: "cell A1 <type> <value> | <number format> | bold=<b>
italic=<i> font=<name> size=<size> h=<horizontal> v=<vertical> wrap=<w> left=<style> ...
[colours=<l>,<r>,<t>,<b>] [fill=<pattern>]",
"width <column> <width>", "height <row> <height>", "media <count>", "sheet <title>",
"calc <attributes of calcPr>" (how the workbook is recalculated when opened).
"""
import re
import sys
import zipfile

import openpyxl


def colours(border):
    """ " colours=<left>,<right>,<top>,<bottom>" when a side has a colour, else nothing."""
    sides = [border.left, border.right, border.top, border.bottom]
    rgb = [side.color.rgb if side.color is not None and side.color.type == "rgb" else "-"
           for side in sides]
    return "" if rgb == ["-"] * 4 else " colours=" + ",".join(rgb)


def fill(cell):
    """ " fill=<pattern>" when the cell has a fill, else nothing."""
    pattern = cell.fill.patternType if cell.fill is not None else None
    return "" if pattern in (None, "none") else " fill=" + pattern


def main(path):
    # Read through a file object: the loader judges file names by their extension.
    with open(path, "rb") as stream:
        book = openpyxl.load_workbook(stream)
    for sheet in book.worksheets:
        print("sheet", sheet.title)
        for row in sheet.iter_rows():
            for cell in row:
                if cell.value is None and not cell.has_style:
                    continue
                font, align, border = cell.font, cell.alignment, cell.border
                print(f"cell {cell.coordinate} {cell.data_type} {cell.value!r} | "
                      f"{cell.number_format} | bold={font.b} italic={font.i} "
                      f"underline={font.u} font={font.name} size={font.sz} "
                      f"h={align.horizontal} v={align.vertical} wrap={align.wrap_text} "
                      f"left={border.left.style} right={border.right.style} "
                      f"top={border.top.style} bottom={border.bottom.style}"
                      f"{colours(border)}{fill(cell)}")
        for letter, dim in sorted(sheet.column_dimensions.items()):
            if dim.width is not None and dim.customWidth:
                print("width", letter, round(dim.width, 2))
        for number, dim in sorted(sheet.row_dimensions.items()):
            if dim.ht is not None:
                print("height", number, dim.ht)
    with zipfile.ZipFile(path) as archive:
        media = [n for n in archive.namelist() if n.startswith("xl/media/")]
        workbook = archive.read("xl/workbook.xml").decode("utf-8")
    print("media", len(media))
    calc = re.search(r"<calcPr\s+([^>]*?)\s*/?>", workbook)
    print("calc", calc.group(1) if calc else "-")


if __name__ == "__main__":
    main(sys.argv[1])
