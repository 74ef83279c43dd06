#pragma once

// The report exporter: renders one report template into a new spreadsheet sheet through the
// Excel client. The offer's products (those whose quantity is above 0) are grouped into a tree
// of one group and its items; the template's bands are rendered in the order report header,
// then for each group a group header, a detail band per item and a group footer, and last the
// report footer. Every cell goes out as Excel 4 macro commands: its value, number format,
// font, alignment and borders, or a picture. A text cell's formula is literal text with
// {expression} pieces, evaluated against the exporter's own provider TReportEvalProvider,
// which reads the current group and item, the running totals, the counters and the run's
// variable values.
//
// Texts (formulas, fields, values) are Windows-1251 bytes throughout; OutputFileName is
// handed to the spreadsheet as it is.

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "engine/functions.h"
#include "engine/locale.h"
#include "expr/eval.h"

class TAdvExcel;
class TEvalCompiledTexts;
class TSpecCategory;
class TSpecPriceList;
class TSpecProduct;
class TSpecReport;
class TSpecReportBand;
class TSpecReportCell;
class TSpecReportExporter;

// Shown (caption "Error") when the spreadsheet is neither running nor startable.
inline constexpr const char* kUnableToConnectToExcel = "Unable to connect to Excel...";
inline constexpr const char* kErrorCaption = "Error";

// A node of the export tree: the root (no data), a group (a TSpecCategory) or an item (a
// TSpecProduct). Owns its children.
class TSpecTreeNode {
 public:
  TSpecTreeNode(TSpecTreeNode* Parent, void* Data) : FParent(Parent), FData(Data) {}
  TSpecTreeNode(const TSpecTreeNode&) = delete;
  TSpecTreeNode& operator=(const TSpecTreeNode&) = delete;

  // The index of the child with that data; a new child is appended when there is none.
  int Add(void* Data);
  // A new child at Index (clamped to 0..Count()) when no child has that data.
  void InsertAt(int Index, void* Data);
  // Inserts an item before the first child whose product has a greater ordering index, so
  // equal ordering indexes keep the order of insertion. Called on a group node.
  void InsertSorted(TSpecProduct* Product);
  // Appends one child per data object, in order, without looking for existing children: for
  // objects that are distinct and new to this node.
  void AppendDistinct(const std::vector<void*>& Data);
  // The child whose data is that object, searched from the last; -1 when none.
  int IndexOfData(const void* Data) const;
  // Removes and frees child i; nothing outside 0..Count()-1.
  void Delete(int i);
  void Clear();
  int Count() const { return static_cast<int>(FChildren.size()); }
  // nullptr outside 0..Count()-1.
  TSpecTreeNode* Children(int i) const;
  TSpecTreeNode* Parent() const { return FParent; }
  void* Data() const { return FData; }

 private:
  std::vector<std::unique_ptr<TSpecTreeNode>> FChildren;
  TSpecTreeNode* FParent;
  void* FData;
};

// The names a report formula may use: twenty-four report fields, the scheme variables with the
// run's values as stored, and the first seventeen functions of the wizard's function table
// ("quantity", "iteminfo" and "itemcount" read the products' Quantity fields). "stat",
// "firstitem" and "nextitem" are unknown here.
class TReportEvalProvider : public TEvalProvider, private TEvalFunctionHooks {
 public:
  explicit TReportEvalProvider(TSpecReportExporter* Exporter) : Exporter(Exporter) {}

  bool IsFunction(const std::string& Name) override;
  // A report field, or else a scheme variable.
  bool IsVariable(const std::string& Name) override;
  void CallFunction(const std::string& Name, const std::vector<std::string>& Params,
                    std::string& Result) override;
  // A field's value (empty when the item or group it needs is not current), or a scheme
  // variable's value text exactly as stored; a field shadows a variable of its name.
  void GetVariable(const std::string& Name, std::string& Result) override;
  // Both questions with one search of the fields and, failing that, one of the variables.
  bool ReadVariable(const std::string& Name, std::string& Result) override;

  // The position 0..23 of the name (ASCII letters folded) in the field table; -1 for none.
  static int FieldIndex(const std::string& Name);

  // The exporter that created the provider; not owned.
  TSpecReportExporter* Exporter;

 private:
  // The value of the field at position Field of the table into Result (which arrives empty).
  void FieldValue(int Field, std::string& Result);
  // The Quantity field of the first product of that code; 0 without one.
  long double ProductQuantity(const std::string& Code) override;
  void ItemInfo(const std::string& Code, std::int32_t N, std::string& Result) override;
  // The products whose Quantity field is above 0.
  std::int32_t ItemCount() override;
  // The first product of that code, or nullptr.
  const TSpecProduct* FindProduct(const std::string& Code);
  // The price list read once, at the first question that needs it, so that a formula of every
  // detail row asks in constant time: the first product of each code and the number of
  // products whose Quantity is above 0. The price list and its quantities stay as they are
  // while the provider lives (one export).
  void IndexProducts();
  bool Indexed = false;
  std::unordered_map<std::string, const TSpecProduct*> ProductsByCode;
  std::int32_t OfferedCount = 0;
};

class TSpecReportExporter {
 public:
  TSpecReportExporter(TSpecPriceList* PriceList, TSpecReport* Report);
  ~TSpecReportExporter();
  TSpecReportExporter(const TSpecReportExporter&) = delete;
  TSpecReportExporter& operator=(const TSpecReportExporter&) = delete;

  // The whole export. The caller sets VariableValues and OutputFileName and fills every
  // product's Quantity first. When the spreadsheet is neither running nor startable, the box
  // kUnableToConnectToExcel is shown and the export returns normally; any later error ends
  // the export, releases what it created and passes on.
  void Export();
  // The tree of one group (RootCategory) holding the products whose Quantity is above 0,
  // ordered stably by their ordering index.
  std::unique_ptr<TSpecTreeNode> BuildTree();
  // Every row of the band, each into the next sheet row.
  void ExportBand(TSpecReportBand* Band);
  // One cell at a 1-based sheet position.
  void ExportCell(std::int32_t Column, std::int32_t Row, TSpecReportCell* Cell);
  // The next piece of a cell formula from the 1-based Position on: a literal run (up to an
  // unescaped "{"), or the value of a {expression} as plain text. A backslash makes the next
  // character literal. Piece is empty once Position is past the end.
  void NextTemplatePiece(const std::string& Text, std::int32_t& Position, std::string& Piece);
  // Today's date of the system clock.
  static TCalendarDate CurrentDate() { return UserLocale().Today(); }

  TSpecPriceList* PriceList;
  TSpecReport* Report;
  // Owned during an export.
  std::unique_ptr<TAdvExcel> Excel;
  std::unique_ptr<TSpecCategory> RootCategory;
  // The current group and item nodes; nullptr when none is current.
  TSpecTreeNode* GroupNode = nullptr;
  TSpecTreeNode* ItemNode = nullptr;
  // The sheet row the next template row fills, from 1.
  std::int32_t SheetRow = 0;
  std::unique_ptr<TEvalExpression> Expression;
  // Running sums of Quantity x Price and Quantity x PriceWithTaxes of the exported items.
  long double Total = 0;
  long double TotalWithTaxes = 0;
  // Report fields "pnn", "cnn" and "cpnn".
  std::int32_t ItemNumber = 0;
  std::int32_t GroupNumber = 0;
  std::int32_t GroupItemNumber = 0;
  // Empty: the workbook stays open in the spreadsheet.
  std::string OutputFileName;
  // One value text per scheme variable, in the template's variable order; not owned.
  const std::vector<std::string>* VariableValues = nullptr;

 private:
  // Releases what an export created.
  void ReleaseExport();
  // The value text of a braced piece on Expression's provider. Each distinct piece text is
  // compiled once and kept, within a bound of bytes, so the pieces that every detail row
  // repeats are parsed once; a piece beyond the bound is compiled where it is evaluated.
  std::string EvaluatePiece(const std::string& text);

  std::unique_ptr<TReportEvalProvider> Provider;
  std::unique_ptr<TSpecTreeNode> Tree;
  std::unique_ptr<TEvalCompiledTexts> Pieces;
};
