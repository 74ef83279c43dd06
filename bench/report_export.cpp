// Exporting an offer of 1,000 products with the sample scheme's offer template: through the
// spreadsheet client, the DDE conversation and the in-process spreadsheet to an .xlsx file,
// against libxlsxwriter writing the same cells, formats, widths, heights and picture directly.
// The direct writer works from the workbook that one export left in a spreadsheet of its
// own, so both write exactly the same sheet. That workbook is taken before any benchmark
// runs, so both start from the same heap whatever order they run in (run one alone with
// --benchmark_filter to see it without the other, or both the other way round with
// --export_first). The machine's state drifts over a run of the two one after the other, so a
// third benchmark alternates them, one export and one direct write per iteration, and gives the
// ratio of their times within the same moments. The export should reach at least 0.3 times the
// direct rate.

#include <benchmark/benchmark.h>
#include <malloc.h>
#include <xlsxwriter.h>

#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "expr/evalimpl.h"
#include "graph/elements.h"
#include "graph/visual.h"
#include "model/core.h"
#include "model/pricelist.h"
#include "model/report.h"
#include "model/saver.h"
#include "platform/cp1251.h"
#include "platform/dde.h"
#include "platform/errors.h"
#include "platform/spreadsheet.h"
#include "platform/tempdir.h"
#include "report/repexport.h"

namespace {

constexpr int kProducts = 1000;

// The sample scheme with its price list grown to kProducts products, every one in the offer.
struct SampleOffer {
  SampleOffer() {
    TSpecDataStream stream;
    if (!stream.LoadFromFile(QUORVANE_SAMPLE_SCHEME)) throw Exception("no sample scheme");
    Template.LoadFromStream(stream);
    TScheme graph;
    TSpecSchemeManager(&graph, &Template).LoadFromStream(stream);
    stream.ReadInteger();
    TSpecPriceList* priceList = Template.PriceList();
    priceList->LoadFromStream(stream);
    const int sampleCount = priceList->ProductCount();
    for (int i = sampleCount; i < kProducts; ++i) {
      const TSpecProduct* model = priceList->Products(i % sampleCount);
      TSpecProduct* product = priceList->AddProduct();
      product->Code = model->Code + "-" + std::to_string(i);
      product->CategoryCode = model->CategoryCode;
      product->Name.SetCurrentText(model->GetName() + " " + std::to_string(i));
      product->MeasureUnit.SetCurrentText(model->GetMeasureUnit());
      product->Price = model->Price;
      product->PriceWithTaxes = model->PriceWithTaxes;
      product->OrderingIndex = model->OrderingIndex + i;
      product->Prefix = model->Prefix;
    }
    for (int i = 0; i < priceList->ProductCount(); ++i) {
      priceList->Products(i)->Quantity = 1 + i % 5;
    }
    for (int i = 0; i < Template.VariableCount(); ++i) {
      Values.push_back(Template.Variables(i)->Value());
    }
    Report = Template.Reports(0);
    Folder = ExtractionFolder();
  }

  void Export(const std::string& file) {
    TSpecReportExporter exporter(Template.PriceList(), Report);
    exporter.VariableValues = &Values;
    exporter.OutputFileName = Utf8ToCp1251(file);
    exporter.Export();
  }

  TSpecTemplate Template;
  TSpecReport* Report = nullptr;
  std::vector<std::string> Values;
  std::string Folder;
};

SampleOffer& Offer() {
  static SampleOffer offer;
  return offer;
}

// The spreadsheet, with closing and quitting refused, so that the workbook of one export
// stays for the direct writer to copy.
class KeepingSpreadsheet : public TDdeServer {
 public:
  bool AcceptTopic(const std::string& topic) override { return Sheet.AcceptTopic(topic); }
  TDdeExecuteResult Execute(const std::string& topic, const std::string& command) override {
    if (command == "[FILE.CLOSE]" || command == "[QUIT]") return TDdeExecuteResult::Accepted;
    return Sheet.Execute(topic, command);
  }
  std::optional<std::string> Request(const std::string& topic, const std::string& item) override {
    return Sheet.Request(topic, item);
  }

  TSpreadsheetService Sheet;
};

// The workbook an export builds, taken once, in a spreadsheet of its own: whichever server
// holds the name "Excel" (the program's spreadsheet, once an export ran) gives it up for the
// capture and takes it back afterwards.
const TWorkbook& ExportedWorkbook() {
  static const std::unique_ptr<TWorkbook> book = [] {
    KeepingSpreadsheet keeping;
    TDdeServer* holder = FindDdeService(Spreadsheet::kServiceName);
    if (holder) UnregisterDdeService(holder);
    if (!RegisterDdeService(Spreadsheet::kServiceName, &keeping))
      throw Exception("the capture could not take the spreadsheet's name");
    Offer().Export(Offer().Folder + "/captured.xlsx");
    UnregisterDdeService(&keeping);
    if (holder) RegisterDdeService(Spreadsheet::kServiceName, holder);
    const TWorkbook* captured = keeping.Sheet.ActiveWorkbook();
    if (!captured || captured->Cells.empty()) throw Exception("the capture holds no sheet");
    return std::make_unique<TWorkbook>(*captured);
  }();
  return *book;
}

// libxlsxwriter alone: the same cells, formats, widths, heights and pictures.
void WriteDirectly(const TWorkbook& book, const std::string& path) {
  lxw_workbook* workbook = workbook_new(path.c_str());
  lxw_worksheet* sheet = workbook_add_worksheet(workbook, Spreadsheet::kSheetName);
  std::vector<lxw_format*> formats;
  for (const TSheetFormat& look : book.AllFormats()) {
    lxw_format* format = workbook_add_format(workbook);
    if (!look.FontName.empty()) format_set_font_name(format, Cp1251ToUtf8(look.FontName).c_str());
    if (look.FontSize) format_set_font_size(format, look.FontSize);
    if (look.Bold) format_set_bold(format);
    if (look.Italic) format_set_italic(format);
    if (look.Underline) format_set_underline(format, LXW_UNDERLINE_SINGLE);
    if (!look.NumberFormat.empty()) {
      format_set_num_format(format, Cp1251ToUtf8(look.NumberFormat).c_str());
    }
    format_set_align(format, static_cast<std::uint8_t>(look.HAlign - 1));
    format_set_align(format, static_cast<std::uint8_t>(LXW_ALIGN_VERTICAL_TOP + look.VAlign - 1));
    if (look.Wrap) format_set_text_wrap(format);
    format_set_left(format, look.Borders[0]);
    format_set_right(format, look.Borders[1]);
    format_set_top(format, look.Borders[2]);
    format_set_bottom(format, look.Borders[3]);
    if (look.Shade) format_set_pattern(format, LXW_PATTERN_LIGHT_GRAY);
    formats.push_back(format);
  }
  for (const auto& [column, width] : book.ColumnWidths) {
    worksheet_set_column(sheet, static_cast<lxw_col_t>(column - 1),
                         static_cast<lxw_col_t>(column - 1), width, nullptr);
  }
  for (const auto& [row, height] : book.RowHeights) {
    worksheet_set_row(sheet, row - 1, height, nullptr);
  }
  for (const auto& [key, cell] : book.Cells) {
    const auto row = static_cast<lxw_row_t>((key >> 32) - 1);
    const auto column = static_cast<lxw_col_t>((key & 0xFFFFFFFFu) - 1);
    lxw_format* format = formats[cell.Format];
    switch (cell.Kind) {
      case TSheetCellKind::Number:
        worksheet_write_number(sheet, row, column, cell.Number, format);
        break;
      case TSheetCellKind::Text:
        worksheet_write_string(sheet, row, column, Cp1251ToUtf8(cell.Text).c_str(), format);
        break;
      case TSheetCellKind::Boolean:
        worksheet_write_boolean(sheet, row, column, cell.Number != 0, format);
        break;
      case TSheetCellKind::Formula:
        worksheet_write_formula_str(sheet, row, column, Cp1251ToUtf8(cell.Text).c_str(), format,
                                    "");
        break;
      case TSheetCellKind::Empty:
        worksheet_write_blank(sheet, row, column, format);
        break;
    }
  }
  for (const TSheetPicture& picture : book.Pictures) {
    worksheet_insert_image_buffer(
        sheet, picture.Row - 1, static_cast<lxw_col_t>(picture.Column - 1),
        reinterpret_cast<const unsigned char*>(picture.Bytes.data()), picture.Bytes.size());
  }
  if (workbook_close(workbook) != LXW_NO_ERROR) throw Exception("direct write failed");
}

void BM_ExportThroughSpreadsheet(benchmark::State& state) {
  SampleOffer& offer = Offer();
  // Registered here, also when the workbook capture took the name before.
  ProgramSpreadsheet().Register();
  const std::string file = offer.Folder + "/offer.xlsx";
  for (auto _ : state) offer.Export(file);
  state.SetItemsProcessed(state.iterations() * kProducts);
  state.counters["bytes"] = static_cast<double>(std::filesystem::file_size(file));
}

void BM_WriteDirectlyWithXlsxWriter(benchmark::State& state) {
  const TWorkbook& book = ExportedWorkbook();
  const std::string file = Offer().Folder + "/direct.xlsx";
  for (auto _ : state) WriteDirectly(book, file);
  state.SetItemsProcessed(state.iterations() * kProducts);
  state.counters["bytes"] = static_cast<double>(std::filesystem::file_size(file));
}

// The thread's processor time in seconds.
double ThreadSeconds() {
  timespec now;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1E-9;
}

void BM_ExportBesideDirectWrite(benchmark::State& state) {
  SampleOffer& offer = Offer();
  const TWorkbook& book = ExportedWorkbook();
  ProgramSpreadsheet().Register();
  const std::string exported = offer.Folder + "/offer.xlsx";
  const std::string direct = offer.Folder + "/direct.xlsx";
  double exportSeconds = 0, directSeconds = 0;
  for (auto _ : state) {
    const double start = ThreadSeconds();
    offer.Export(exported);
    const double between = ThreadSeconds();
    WriteDirectly(book, direct);
    exportSeconds += between - start;
    directSeconds += ThreadSeconds() - between;
  }
  const double iterations = static_cast<double>(state.iterations());
  state.counters["export_ms"] = exportSeconds / iterations * 1E3;
  state.counters["direct_ms"] = directSeconds / iterations * 1E3;
  state.counters["rate_ratio"] = directSeconds / exportSeconds;
}

// The braced pieces of a template evaluated as the exporter evaluates them, on an exporter
// standing at an item of a price list of a given size.
struct PieceBench {
  explicit PieceBench(int products) : Category(Template.PriceList()), Group(nullptr, &Category) {
    TSpecPriceList* priceList = Template.PriceList();
    for (int i = 0; i < products; ++i) {
      TSpecProduct* product = priceList->AddProduct();
      product->Code = "P" + std::to_string(i);
      product->Price = 1 + i % 7;
      product->Quantity = 1 + i % 5;
      Items.push_back(std::make_unique<TSpecTreeNode>(&Group, product));
    }
    Exporter = std::make_unique<TSpecReportExporter>(priceList, Template.AddReport());
    Provider = std::make_unique<TReportEvalProvider>(Exporter.get());
    Exporter->Expression = CreateStandardExpression();
    Exporter->Expression->Provider = Provider.get();
    Exporter->VariableValues = &Values;
    Exporter->GroupNode = &Group;
    Exporter->ItemNode = Items.empty() ? nullptr : Items.front().get();
  }
  const std::string& Piece(const std::string& formula) {
    std::int32_t position = 1;
    Exporter->NextTemplatePiece(formula, position, Result);
    return Result;
  }

  TSpecTemplate Template;
  TSpecCategory Category;
  TSpecTreeNode Group;
  std::vector<std::unique_ptr<TSpecTreeNode>> Items;
  std::vector<std::string> Values;
  std::unique_ptr<TSpecReportExporter> Exporter;
  std::unique_ptr<TReportEvalProvider> Provider;
  std::string Result;
};

// A template's distinct pieces, each a short formula over the item's fields.
std::vector<std::string> DistinctPieces(std::size_t count) {
  std::vector<std::string> pieces;
  for (std::size_t i = 0; i < count; ++i)
    pieces.push_back("{price*quantity+" + std::to_string(i) + "}");
  return pieces;
}

// A template of that many distinct pieces, each evaluated in turn, over and over (once around
// before the timing starts, as the rows of an export repeat them).
void BM_DistinctPieces(benchmark::State& state) {
  PieceBench bench(1);
  const std::vector<std::string> pieces = DistinctPieces(static_cast<std::size_t>(state.range(0)));
  for (int round = 0; round < 2; ++round)
    for (const std::string& piece : pieces) bench.Piece(piece);
  std::size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(bench.Piece(pieces[i]));
    if (++i == pieces.size()) i = 0;
  }
}

std::size_t HeapInUse() {
  const struct mallinfo2 info = mallinfo2();
  return info.uordblks + info.hblkhd;
}

// The heap an exporter holds for its pieces once each of that many distinct pieces was
// evaluated twice (an export's second product row), per piece and per byte of piece.
void BM_PieceMemory(benchmark::State& state) {
  const std::vector<std::string> pieces = DistinctPieces(static_cast<std::size_t>(state.range(0)));
  std::size_t pieceBytes = 0;
  for (const std::string& piece : pieces) pieceBytes += piece.size();
  double held = 0;
  for (auto _ : state) {
    state.PauseTiming();
    auto bench = std::make_unique<PieceBench>(1);
    bench->Piece("{0}");
    const std::size_t before = HeapInUse();
    state.ResumeTiming();
    for (int round = 0; round < 2; ++round)
      for (const std::string& piece : pieces) bench->Piece(piece);
    state.PauseTiming();
    held = static_cast<double>(HeapInUse()) - static_cast<double>(before);
    bench.reset();
    state.ResumeTiming();
  }
  state.counters["bytes"] = held;
  state.counters["bytes_per_piece"] = held / static_cast<double>(pieces.size());
  state.counters["bytes_per_piece_byte"] = held / static_cast<double>(pieceBytes);
}

// A detail row's quantity() of its own product, for every product of a price list of that
// size: the time per product stays flat when a product is found by its code without a scan.
void BM_QuantityOfEveryProduct(benchmark::State& state) {
  PieceBench bench(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    for (const auto& item : bench.Items) {
      bench.Exporter->ItemNode = item.get();
      benchmark::DoNotOptimize(bench.Piece("{quantity(code)}"));
    }
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}

}  // namespace

int main(int argc, char** argv) {
  // The yardstick's workbook first, before either side runs.
  ExportedWorkbook();
  bool exportFirst = false;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--export_first") == 0) {
      exportFirst = true;
      std::memmove(argv + i, argv + i + 1, sizeof(char*) * static_cast<std::size_t>(argc - i));
      --argc;
      break;
    }
  }
  if (!exportFirst) {
    benchmark::RegisterBenchmark("BM_WriteDirectlyWithXlsxWriter", BM_WriteDirectlyWithXlsxWriter)
        ->Unit(benchmark::kMillisecond);
  }
  benchmark::RegisterBenchmark("BM_ExportThroughSpreadsheet", BM_ExportThroughSpreadsheet)
      ->Unit(benchmark::kMillisecond);
  if (exportFirst) {
    benchmark::RegisterBenchmark("BM_WriteDirectlyWithXlsxWriter", BM_WriteDirectlyWithXlsxWriter)
        ->Unit(benchmark::kMillisecond);
  }
  benchmark::RegisterBenchmark("BM_ExportBesideDirectWrite", BM_ExportBesideDirectWrite)
      ->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("BM_DistinctPieces", BM_DistinctPieces)
      ->Arg(64)
      ->Arg(4096)
      ->Arg(4097)
      ->Arg(16384);
  benchmark::RegisterBenchmark("BM_PieceMemory", BM_PieceMemory)
      ->Arg(4000)
      ->Iterations(1)
      ->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("BM_QuantityOfEveryProduct", BM_QuantityOfEveryProduct)
      ->Arg(100)
      ->Arg(1000)
      ->Arg(10000)
      ->Unit(benchmark::kMicrosecond);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
