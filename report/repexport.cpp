#include "report/repexport.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <string_view>

#include "expr/evalcache.h"
#include "expr/evalimpl.h"
#include "expr/typecvt.h"
#include "model/core.h"
#include "model/pricelist.h"
#include "model/report.h"
#include "model/resource.h"
#include "platform/cp1251.h"
#include "platform/errors.h"
#include "platform/numberformat.h"
#include "report/excel.h"

namespace {

// Waits for a started spreadsheet: this many times 200 ms.
constexpr int kStartWaits = 30;
constexpr std::uint32_t kStartWaitMilliseconds = 200;

// The largest number the general format's 15 digits write within the double range.
constexpr const char* kLargestNumberText = "1.79769313486231E308";

// The text of a numeric cell: its value in the general format with the locale's decimal
// separator, read by the spreadsheet as a number. The 15 digits may round a value near the
// largest double past it (1.7976931348623157E308 is written 1.79769313486232E308), and a value
// below the smallest double has no double at all (1E-400): the cell takes the largest number
// of 15 digits, or 0, rather than the text of a number it cannot hold. A value beyond the
// double range raises, as the general format does.
std::string NumberCellText(long double value) {
  std::string text = FloatToValueText(value);
  double number = 0;
  if (std::from_chars(text.data(), text.data() + text.size(), number).ec ==
      std::errc::result_out_of_range) {
    if (std::fabs(value) < 1)
      text = "0";
    else
      text = value < 0 ? std::string("-") + kLargestNumberText : kLargestNumberText;
  }
  return ReplaceAll(text, ".", LocaleDecimalSeparator());
}

// A decimal number as a user types one into a cell: an optional sign, digits with an optional
// fraction (at least one digit in all), an optional exponent with its own digits, nothing
// around it. Texts the value-text reader takes besides ("." as 0, "1E", blanks around, hex
// marks) are no numbers a cell should turn them into.
bool IsDecimalNumber(const std::string& text) {
  std::size_t i = 0;
  const auto digits = [&text, &i] {
    const std::size_t start = i;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') ++i;
    return i - start;
  };
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
  std::size_t mantissa = digits();
  if (i < text.size() && text[i] == '.') {
    ++i;
    mantissa += digits();
  }
  if (mantissa == 0) return false;
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    ++i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
    if (digits() == 0) return false;
  }
  return i == text.size();
}

// A cell's number format in the locale's convention, in which the spreadsheet reads every
// format: "." and the locale's separator trade places in the format codes ("#,##0.00" goes as
// "#.##0,00" under a comma locale), literal text in quotes or after a backslash keeps its
// characters. The spreadsheet trades them back, so the workbook holds the format as the
// template wrote it, whatever the cell's value.
std::string LocaleNumberFormat(const std::string& format) {
  return SwapDecimalSeparator(format, LocaleDecimalSeparator()[0]);
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// The export tree.

int TSpecTreeNode::Add(void* Data) {
  const int found = IndexOfData(Data);
  if (found >= 0) return found;
  FChildren.push_back(std::make_unique<TSpecTreeNode>(this, Data));
  return Count() - 1;
}

void TSpecTreeNode::InsertAt(int Index, void* Data) {
  if (IndexOfData(Data) >= 0) return;
  const int at = std::clamp(Index, 0, Count());
  FChildren.insert(FChildren.begin() + at, std::make_unique<TSpecTreeNode>(this, Data));
}

void TSpecTreeNode::InsertSorted(TSpecProduct* Product) {
  for (int i = 0; i < Count(); ++i) {
    const auto* child =
        static_cast<const TSpecProduct*>(FChildren[static_cast<std::size_t>(i)]->Data());
    if (child->OrderingIndex > Product->OrderingIndex) {
      InsertAt(i, Product);
      return;
    }
  }
  Add(Product);
}

void TSpecTreeNode::AppendDistinct(const std::vector<void*>& Data) {
  FChildren.reserve(FChildren.size() + Data.size());
  for (void* data : Data) FChildren.push_back(std::make_unique<TSpecTreeNode>(this, data));
}

int TSpecTreeNode::IndexOfData(const void* Data) const {
  for (int i = Count() - 1; i >= 0; --i) {
    if (FChildren[static_cast<std::size_t>(i)]->Data() == Data) return i;
  }
  return -1;
}

void TSpecTreeNode::Delete(int i) {
  if (i >= 0 && i < Count()) FChildren.erase(FChildren.begin() + i);
}

void TSpecTreeNode::Clear() {
  while (Count() > 0) Delete(0);
}

TSpecTreeNode* TSpecTreeNode::Children(int i) const {
  return i >= 0 && i < Count() ? FChildren[static_cast<std::size_t>(i)].get() : nullptr;
}

// ---------------------------------------------------------------------------------------------
// The exporter.

TSpecReportExporter::TSpecReportExporter(TSpecPriceList* PriceList, TSpecReport* Report)
    : PriceList(PriceList), Report(Report) {}

TSpecReportExporter::~TSpecReportExporter() {
  ReleaseExport();
}

void TSpecReportExporter::ReleaseExport() {
  GroupNode = nullptr;
  ItemNode = nullptr;
  // Releasing the client closes its conversation.
  Excel.reset();
  RootCategory.reset();
  Pieces.reset();
  Expression.reset();
  Provider.reset();
  Tree.reset();
}

std::unique_ptr<TSpecTreeNode> TSpecReportExporter::BuildTree() {
  auto root = std::make_unique<TSpecTreeNode>(nullptr, nullptr);
  TSpecTreeNode* group = root->Children(root->Add(RootCategory.get()));
  // What inserting each product in price-list order with InsertSorted gives, in one stable
  // sort rather than a search and a shift per product.
  std::vector<TSpecProduct*> offered;
  for (int i = 0; i < PriceList->ProductCount(); ++i) {
    TSpecProduct* product = PriceList->Products(i);
    if (product->Quantity > 0) offered.push_back(product);
  }
  std::stable_sort(offered.begin(), offered.end(),
                   [](const TSpecProduct* a, const TSpecProduct* b) {
                     return a->OrderingIndex < b->OrderingIndex;
                   });
  group->AppendDistinct(std::vector<void*>(offered.begin(), offered.end()));
  return root;
}

void TSpecReportExporter::Export() {
  struct ReleaseOnExit {
    TSpecReportExporter* Exporter;
    ~ReleaseOnExit() { Exporter->ReleaseExport(); }
  } release{this};

  Total = 0;
  TotalWithTaxes = 0;
  Provider = std::make_unique<TReportEvalProvider>(this);
  Expression = CreateStandardExpression();
  Expression->Provider = Provider.get();
  RootCategory = std::make_unique<TSpecCategory>(PriceList);
  RootCategory->Code.clear();
  RootCategory->SetName("-");
  Tree = BuildTree();
  Excel = std::make_unique<TAdvExcel>();
  Excel->DDELaunch = false;

  const TExcelHooks& hooks = ExcelHooks();
  const bool wasRunning = Excel->IsExcelRunning();
  if (!wasRunning) {
    bool started = false;
    try {
      Excel->LocateExcel();
      Excel->LaunchExcel();
      for (int wait = 0; wait < kStartWaits; ++wait) {
        if (Excel->IsExcelRunning()) break;
        hooks.Sleep(kStartWaitMilliseconds);
      }
      started = Excel->IsExcelRunning();
    } catch (const Exception&) {
      started = false;
    }
    if (!started) {
      hooks.ErrorBox(kUnableToConnectToExcel, kErrorCaption);
      return;
    }
  }

  Excel->Connect();
  if (wasRunning) Excel->NewWorkbook();
  Excel->SelectActiveSheet();
  for (int i = 0; i < Report->ColumnCount(); ++i) {
    Excel->Select(1, i + 1);
    Excel->SetColumnWidth(Report->Columns(i)->Width);
  }

  SheetRow = 1;
  ItemNode = nullptr;
  GroupNode = nullptr;
  ExportBand(Report->BandAt(bkReportHeader));
  ItemNumber = 0;
  for (int g = 0; g < Tree->Count(); ++g) {
    TSpecTreeNode* group = Tree->Children(g);
    GroupNumber = g + 1;
    GroupNode = group;
    ItemNode = nullptr;
    ExportBand(Report->BandAt(bkGroupHeader));
    for (int j = 0; j < group->Count(); ++j) {
      ++ItemNumber;
      GroupItemNumber = j + 1;
      ItemNode = group->Children(j);
      ExportBand(Report->BandAt(bkReportDetail));
      const auto* product = static_cast<const TSpecProduct*>(ItemNode->Data());
      Total += product->Quantity * product->Price;
      TotalWithTaxes += product->Quantity * product->PriceWithTaxes;
    }
    ItemNode = nullptr;
    ExportBand(Report->BandAt(bkGroupFooter));
  }
  ItemNode = nullptr;
  GroupNode = nullptr;
  ExportBand(Report->BandAt(bkReportFooter));

  if (!OutputFileName.empty()) {
    if (hooks.FileExists(OutputFileName)) hooks.DeleteFile(OutputFileName);
    Excel->SaveAs(OutputFileName);
    Excel->ExecMacro("[FILE.CLOSE]");
    if (!wasRunning) Excel->ExecMacro("[QUIT]");
  } else {
    // The workbook left to the user takes the template's name for its title and file name.
    // The summary holds at most 255 characters. A title the spreadsheet refuses only costs
    // the workbook its name: it is still handed to the user, under the spreadsheet's own.
    if (!Report->GetName().empty()) {
      try {
        Excel->SetTitle(Report->GetName().substr(0, 255));
      } catch (const ExcelNotReadyError&) {
        throw;
      } catch (const ExcelError&) {
      }
    }
    Excel->Select(1, 1);
    Excel->ExecMacro("[APP.MAXIMIZE]");
    Excel->ExecMacro("[APP.ACTIVATE]");
  }
  Excel->Disconnect();
}

void TSpecReportExporter::ExportBand(TSpecReportBand* Band) {
  for (int r = 0; r < Band->RowCount(); ++r) {
    TSpecReportRow* row = Band->Rows(r);
    for (int c = 0; c < Report->ColumnCount(); ++c) {
      ExportCell(c + 1, SheetRow, row->Cells(c));
    }
    Excel->SetRowHeight(row->Height);
    ++SheetRow;
  }
}

void TSpecReportExporter::ExportCell(std::int32_t Column, std::int32_t Row, TSpecReportCell* Cell) {
  Excel->Select(Row, Column);
  if (Cell->Content != ccText) {
    TSpecTemplate* templ = Report->Template();
    const int index = templ->IndexOfResource(Cell->ImageResource);
    if (index >= 0) {
      const TSpecResource* resource = templ->Resources(index);
      resource->ExtractToTempFile();
      Excel->InsertPicture(Utf8ToCp1251(resource->TempFileName()));
    }
    return;
  }

  std::string text;
  std::string piece;
  const std::string& formula = Cell->Formula;
  for (std::int32_t position = 1; position <= static_cast<std::int32_t>(formula.size());) {
    NextTemplatePiece(formula, position, piece);
    text += piece;
  }

  if (Cell->DataType == cdAuto || Cell->DataType == cdText) {
    // A text that is one string constant shows its content; every other text goes as the
    // template produced it. Integer and float texts are not cast here: the value-text reader
    // would make "$20", "x10" and "0x1F" hex numbers and "1.50" or "007" their normal forms.
    if (IsStringConstant(text)) text = UnquoteString(text);
    // An automatic cell makes a decimal number (sign, fraction, exponent) a number in the
    // locale's form, so that the spreadsheet types it as one; hex texts are no decimal numbers.
    long double x = 0;
    if (Cell->DataType == cdAuto && IsDecimalNumber(text) && TryTextToFloat(text, x)) {
      try {
        text = NumberCellText(x);
      } catch (const Exception&) {
      }
    }
    // A text cell keeps its text as it is: the leading apostrophe tells the spreadsheet to
    // take what follows as a text, not as a number, a date or a formula. An automatic cell
    // whose text itself begins with an apostrophe goes the same way, or the spreadsheet would
    // take its apostrophe for that mark and drop it.
    if (!text.empty() && (Cell->DataType == cdText || text.front() == '\''))
      text.insert(0, 1, '\'');
  } else {
    text = TypeCast(text, vtFloat);
    text = NumberCellText(TextToFloat(text));
  }

  if (!Cell->DataFormat.empty()) Excel->FormatNumber(LocaleNumberFormat(Cell->DataFormat));
  Excel->PutStr(Row, Column, text);
  const std::uint8_t style = Cell->Font.GetStyle();
  Excel->FormatFont(Cell->Font.Name, Cell->Font.Size, (style & fsBold) != 0,
                    (style & fsItalic) != 0, (style & fsUnderline) != 0, false, 0, false, false);
  Excel->SetAlignment(Cell->Paragraph.HAlign + 1, Cell->Paragraph.VAlign,
                      Cell->Paragraph.WordWrap != 0);
  const TSpecBorderProps& borders = Cell->Borders;
  const auto line = [](const TSpecBorderSide& side) { return side.Visible * side.Width; };
  Excel->SetBorder(line(borders.Left()), line(borders.Right()), line(borders.Top()),
                   line(borders.Bottom()));
}

void TSpecReportExporter::NextTemplatePiece(const std::string& Text, std::int32_t& Position,
                                            std::string& Piece) {
  Piece.clear();
  const auto size = static_cast<std::int32_t>(Text.size());
  if (Position < 1 || Position > size) return;
  const auto at = [&Text](std::int32_t position) {
    return Text[static_cast<std::size_t>(position - 1)];
  };

  // Collects up to an unescaped stop character or the end; a backslash takes the next
  // character literally and is itself dropped.
  const auto collect = [&](char stop) {
    std::string out;
    while (Position <= size && at(Position) != stop) {
      if (at(Position) == '\\') {
        ++Position;
        if (Position > size) break;
      }
      out += at(Position);
      ++Position;
    }
    return out;
  };

  if (at(Position) == '{') {
    ++Position;
    const std::string expression = collect('}');
    if (Position <= size) ++Position;  // the closing brace
    Piece = UnquoteString(TypeCast(EvaluatePiece(expression), vtString));
  } else {
    Piece = collect('{');
  }
}

std::string TSpecReportExporter::EvaluatePiece(const std::string& text) {
  if (!Pieces) Pieces = std::make_unique<TEvalCompiledTexts>();
  return Pieces->Evaluate(text, Expression->Provider);
}
