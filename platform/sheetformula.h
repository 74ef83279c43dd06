#pragma once

// The formulas of the spreadsheet service. The macro language writes a formula in R1C1
// notation (R4C5 absolute, R[-1]C[2] relative to the formula's own cell, R2 and C3 whole rows
// and columns); the .xlsx file holds it in A1 notation ($E$4, C1, $2:$2, $C:$C). The reader
// translates one into the other as the spreadsheet program does when a formula is typed, and
// refuses what that program would not accept: a syntax error, a reference outside the sheet,
// a name (the service's workbooks define none), a reference to another workbook or to a sheet
// other than the workbook's one sheet, Sheet1.
//
// Texts are Windows-1251 bytes.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// The formula without its leading "=", as entered into the cell at row and column (1-based)
// of the workbook named bookName, in A1 notation without the "="; nothing when the formula
// cannot be read. bookName lets a reference such as [Book1]Sheet1!R1C1 name the formula's own
// workbook, which is the only one the file can refer to.
std::optional<std::string> R1C1FormulaToA1(std::string_view formula, std::uint32_t row,
                                           std::uint32_t column, std::string_view bookName);

// The column's letters in A1 notation: 1 "A", 26 "Z", 27 "AA", 16384 "XFD".
std::string ColumnLetters(std::uint32_t column);
