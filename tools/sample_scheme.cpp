// Writes the sample scheme that the build embeds as the default QZSCHEME:
// qv_sample_scheme OUTPUT.
//
// The sample is a small rack-cabinet configurator in Russian (language 0, current) and English
// (language 1, default). Its four screens use every question kind, with bounds and answer
// conditions; four decision points choose side actions (wall brackets, the cabinet size,
// shelves, three-phase power); the main path adds the remaining products and computes the
// summary variables. The flow graph chains it all (tools/sample_graph.h): every conditional
// option of a decision point runs through the next side action in the order of the actions
// below, so the side actions come first in the action list.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "expr/typecvt.h"
#include "model/core.h"
#include "platform/cp1251.h"
#include "tools/graphwriter.h"
#include "tools/pricelistwriter.h"
#include "tools/reportwriter.h"
#include "tools/resourcewriter.h"
#include "tools/sample_graph.h"
#include "tools/sample_pictures.h"
#include "tools/schemewriter.h"
#include "tools/templatewriter.h"

namespace {

constexpr std::int32_t kSampleStamp = 20261210;

// A Russian text (UTF-8 in this file) as the scheme's Windows-1251 bytes.
std::string Ru(std::string_view utf8) {
  return Utf8ToCp1251(utf8);
}

// A text in both languages.
MuiRecord Text(std::string_view ru, std::string_view en) {
  return {{"0", Ru(ru)}, {"1", std::string(en)}};
}

// A string constant of a plain text: the value text of a string variable or answer.
std::string Quoted(std::string_view text) {
  return "\"" + std::string(text) + "\"";
}

std::vector<MuiRecord> ServiceStrings() {
  const char* const ru[kServiceStringCount] = {
      "Дата актуализации:",
      "<< Назад",
      "Далее >>",
      "Закрыть",
      "Экспорт",
      "Просмотр",
      ("На этом экране приведён список изделий, составленный по вашим ответам на предыдущих "
       "экранах."),
      "Неверное число (%s).",
      "Неверное целое число (%s).",
      "Значение '%s' не должно быть больше %f.",
      "Значение '%s' не должно быть меньше %f.",
      "Значение '%s' не должно быть больше %d.",
      "Значение '%s' не должно быть меньше %d.",
      "Сумма, грн:",
      "НДС, грн:",
      "Всего, грн:",
      "Общий вес:",
      "Общий объём:",
      "Монтажных единиц:",
      "Ширина:",
      "Высота:",
      "Глубина:",
      "Код",
      "Наименование",
      "Количество",
      "Цена",
      "Сумма",
      "Ошибка при вычислении",
      "Экспорт в Excel. Подождите...",
      "Общий объём, л:",
      "Сохранить текущее состояние спецификации",
      "Загрузить сохранённое состояние спецификации",
      "Горизонтали:",
      "Вертикали:",
  };
  std::vector<MuiRecord> strings;
  for (int i = 0; i < kServiceStringCount; ++i) {
    strings.push_back(Text(ru[i], kDefaultServiceStrings[i]));
  }
  return strings;
}

std::vector<VariableRecord> Variables() {
  return {
      {"Mounting", vtString, Quoted("floor")},
      {"Customer", vtString, ""},
      {"CabinetUnits", vtInteger, "42"},
      {"CabinetWidth", vtInteger, "600"},
      {"CabinetDepth", vtInteger, "800"},
      {"LoadKg", vtFloat, "100"},
      {"ShelfLoad", vtFloat, "25"},
      {"ShelfCount", vtInteger, "2"},
      {"Perforated", vtBoolean, "0"},
      {"Voltage", vtFloat, "230"},
      {"Cable", vtString, Quoted("top")},
      {"TotalUnits", vtInteger, "0"},
      {"Horizontals", vtInteger, "0"},
      {"Verticals", vtInteger, "0"},
      {"TotalWeight", vtFloat, "0"},
      {"TotalVolume", vtFloat, "0"},
      {"TotalVolumeLitres", vtFloat, "0"},
      {"TotalWidth", vtInteger, "0"},
      {"TotalHeight", vtInteger, "0"},
      {"TotalLength", vtInteger, "0"},
  };
}

AnswerRecord Answer(MuiRecord title, std::string value, std::string condition = "",
                    MuiRecord description = {}) {
  return {std::move(title), std::move(description), std::move(value), std::move(condition)};
}

QuestionRecord Question(MuiRecord title, std::string variable, std::uint8_t kind,
                        MuiRecord description = {}) {
  QuestionRecord question;
  question.Title = std::move(title);
  question.Variable = std::move(variable);
  question.Kind = kind;
  question.Description = std::move(description);
  return question;
}

// Question indexes, used by the screens.
enum SampleQuestion : std::uint16_t {
  qMounting,
  qCustomer,
  qAbout,
  qUnits,
  qWidth,
  qDepth,
  qLoad,
  qShelfLoad,
  qShelves,
  qPerforated,
  qVoltage,
  qCable,
};

const char* const kFloor = "Mounting=\"floor\"";

std::vector<QuestionRecord> Questions() {
  std::vector<QuestionRecord> q;
  QuestionRecord mounting =
      Question(Text("Способ установки", "Installation"), "Mounting", qkStringOptions,
               Text("Настенные шкафы см. <Guide>руководство</>.",
                    "For wall cabinets see the <Guide>guide</>."));
  mounting.Answers = {Answer(Text("Напольный", "Floor"), Quoted("floor")),
                      Answer(Text("Настенный", "Wall"), Quoted("wall"), "",
                             Text("До 24 единиц", "Up to 24 units"))};
  q.push_back(mounting);
  q.push_back(Question(Text("Заказчик", "Customer"), "Customer", qkStringInput));
  q.push_back(Question(Text("О шкафах", "About the cabinets"), "", qkInformation,
                       Text("Шкафы 19\" для серверного оборудования. <RackInfo>Подробнее</>, "
                            "<Vendor>сайт производителя</>.",
                            "19\" cabinets for server equipment. <RackInfo>More</>, "
                            "<Vendor>the maker's site</>.")));

  QuestionRecord units =
      Question(Text("Высота, единиц", "Height, units"), "CabinetUnits", qkIntegerOptions);
  units.Answers = {Answer(Text("24U", "24U"), "24"), Answer(Text("33U", "33U"), "33", kFloor),
                   Answer(Text("42U", "42U"), "42", kFloor),
                   Answer(Text("47U", "47U"), "47", kFloor)};
  q.push_back(units);
  QuestionRecord width =
      Question(Text("Ширина, мм", "Width, mm"), "CabinetWidth", qkIntegerDropDown);
  width.Answers = {Answer(Text("600", "600"), "600"),
                   Answer(Text("800", "800"), "800", "CabinetUnits>=33")};
  q.push_back(width);
  QuestionRecord depth =
      Question(Text("Глубина, мм", "Depth, mm"), "CabinetDepth", qkIntegerDropDown);
  depth.Answers = {Answer(Text("600", "600"), "600"), Answer(Text("800", "800"), "800"),
                   Answer(Text("1000", "1000"), "1000", kFloor)};
  q.push_back(depth);

  QuestionRecord load = Question(Text("Нагрузка, кг", "Load, kg"), "LoadKg", qkFloatInput,
                                 Text("От 10 до 1500 кг.", "From 10 to 1500 kg."));
  load.FloatMin = "10";
  load.FloatMax = "1500";
  q.push_back(load);
  QuestionRecord shelfLoad =
      Question(Text("Нагрузка на полку, кг", "Shelf load, kg"), "ShelfLoad", qkFloatOptions);
  shelfLoad.Answers = {Answer(Text("25", "25"), "25"), Answer(Text("50", "50"), "50"),
                       Answer(Text("80", "80"), "80", "LoadKg>=500")};
  q.push_back(shelfLoad);
  QuestionRecord shelves =
      Question(Text("Число полок", "Number of shelves"), "ShelfCount", qkIntegerInput);
  shelves.IntMin = "0";
  shelves.IntMax = "CabinetUnits/4";
  q.push_back(shelves);

  q.push_back(Question(Text("Перфорированная дверь", "Perforated door"), "Perforated", qkCheckBox,
                       Text("Вид двери: <Door>рисунок</>.", "The door: <Door>picture</>.")));
  QuestionRecord voltage =
      Question(Text("Напряжение, В", "Voltage, V"), "Voltage", qkFloatDropDown);
  voltage.Answers = {
      Answer(Text("230", "230"), "230"),
      Answer(Text("400 (три фазы)", "400 (three-phase)"), "400", "CabinetUnits>=42")};
  q.push_back(voltage);
  QuestionRecord cable = Question(Text("Ввод кабелей", "Cable entry"), "Cable", qkStringDropDown);
  cable.Answers = {Answer(Text("Сверху", "Top"), Quoted("top")),
                   Answer(Text("Снизу", "Bottom"), Quoted("bottom"), kFloor)};
  q.push_back(cable);
  return q;
}

std::vector<ScreenRecord> Screens() {
  return {
      {Text("Установка", "Installation"),
       Text("Выберите способ установки шкафа. <RackInfo>О шкафах</>.",
            "Choose how the cabinet is installed. <RackInfo>About the cabinets</>."),
       {qMounting, qCustomer, qAbout}},
      {Text("Размер", "Size"),
       Text("Размеры шкафа.", "The size of the cabinet."),
       {qUnits, qWidth, qDepth}},
      {Text("Нагрузка", "Load"),
       Text("Нагрузка и полки.", "Load and shelves."),
       {qLoad, qShelfLoad, qShelves}},
      {Text("Комплектация", "Equipment"),
       Text("Двери, питание и кабели.", "Doors, power and cables."),
       {qPerforated, qVoltage, qCable}},
  };
}

std::vector<DecisionPointRecord> DecisionPoints() {
  return {
      {"Wall mounting", {"Mounting=\"wall\""}},
      {"Cabinet size",
       {"CabinetUnits=24", "CabinetUnits=47", "(CabinetUnits=42)&(CabinetWidth=800)"}},
      {"Shelves", {"ShelfCount>0", "LoadKg>800"}},
      {"Power", {"Voltage>300"}},
  };
}

ActionRecord AddProduct(std::string code, std::string quantity) {
  return {akAddProduct, "", "", std::move(code), std::move(quantity)};
}

ActionRecord SetValue(std::string variable, std::string value) {
  return {akSetValue, std::move(variable), std::move(value), "", ""};
}

std::vector<ActionRecord> Actions() {
  return {
      // Side actions of the decision points' conditional options, in their file order.
      AddProduct("WB-KIT", "1"),
      AddProduct("RC-24-600", "1"),
      AddProduct("RC-47-800", "1"),
      AddProduct("RC-42-800", "1"),
      AddProduct("SH-FIX", "ShelfCount"),
      AddProduct("BS-HD", "1"),
      AddProduct("PDU-3PH", "1"),
      // The main path.
      AddProduct("RC-42-600", "(CabinetUnits=42)&(CabinetWidth=600)"),
      AddProduct("RC-33-600", "CabinetUnits=33"),
      AddProduct("DR-PF", "Perforated"),
      AddProduct("DR-GL", "1-Perforated"),
      AddProduct("DR-SIDE", "1"),
      AddProduct("CN-50", "2"),
      AddProduct("CE-TOP", "Cable=\"top\""),
      AddProduct("CE-BOT", "Cable=\"bottom\""),
      AddProduct("PDU-1PH", "Voltage<300"),
      AddProduct("PC-C13", "2"),
      SetValue("TotalUnits", "CabinetUnits"),
      SetValue("Horizontals", "ShelfCount+2"),
      SetValue("Verticals", "4"),
      SetValue("TotalWidth", "CabinetWidth"),
      SetValue("TotalLength", "CabinetDepth"),
      SetValue("TotalHeight", "CabinetUnits*44+100"),
      SetValue("TotalWeight", "CabinetUnits*1.8+ShelfCount*2.5"),
      SetValue("TotalVolume", "TotalWidth*TotalLength*TotalHeight/1000000000"),
      SetValue("TotalVolumeLitres", "TotalVolume*1000"),
  };
}

std::vector<ResourceRecord> Resources() {
  return {
      {"RackInfo",
       "txt",
       0,
       Ru("Шкаф 19\" с передней дверью и съёмными боковыми панелями. Вид спереди: "
          "<RackFront>рисунок</>."),
       {"RackFront"}},
      {"Guide",
       "html",
       1,
       "<html><head><title>Wall cabinets</title></head><body><h1>Wall cabinets</h1>"
       "<p>Wall cabinets hold up to 24 units.</p><img src=\"RackFront.jpg\"></body></html>",
       {"RackFront"}},
      {"Vendor", "", 2, "https://example.com/racks", {}},
      {"Door", "gif", 3, SampleDoorGif(), {}},
      {"RackFront", "jpg", 3, SampleRackJpeg(), {}},
  };
}

ReportCellRecord Cell(std::string formula, std::uint8_t dataType = 0, std::string format = "") {
  ReportCellRecord cell;
  cell.Formula = std::move(formula);
  cell.DataType = dataType;
  cell.DataFormat = std::move(format);
  return cell;
}

ReportCellRecord Framed(ReportCellRecord cell, std::uint8_t width = 1) {
  cell.Left = cell.Top = cell.Right = cell.Bottom = {1, width};
  return cell;
}

ReportCellRecord Bold(ReportCellRecord cell) {
  cell.FontStyle = 1;
  return cell;
}

ReportCellRecord Aligned(ReportCellRecord cell, std::uint8_t horizontal) {
  cell.HAlign = horizontal;
  return cell;
}

// The offer as a company sends it: the picture and the title on a letterhead row tall enough
// for the picture, the date, one heading row over the table of products, the table, and the
// sum, the VAT and the total under its last column.
ReportRecord OfferReport() {
  ReportRecord report;
  report.Name = Ru("Коммерческое предложение");
  report.ColumnWidths = {40, 100, 300, 70, 90, 100};
  // The picture (64 x 96 pixels) fits the code column and a row of 78 points.
  ReportCellRecord picture;
  picture.Content = 1;
  picture.ImageResource = "RackFront";
  ReportCellRecord title = Bold(Cell(Ru("Коммерческое предложение для {Customer}")));
  title.FontSize = 14;
  title.VAlign = 2;
  report.Bands[0] = {{78, {Cell(""), picture, title}},
                     {18, {Cell(""), Cell(Ru("Дата:")), Cell("{actualdate}")}},
                     {8, {}}};
  std::vector<ReportCellRecord> headings;
  for (const char* heading : {"№", "Код", "Наименование", "Кол-во", "Цена, грн", "Сумма, грн"})
    headings.push_back(Aligned(Bold(Framed(Cell(Ru(heading)))), 2));
  report.Bands[1] = {{20, headings}};
  const std::string money = "#,##0.00";
  report.Bands[2] = {{18,
                      {Aligned(Framed(Cell("{cpnn}")), 2), Framed(Cell("{code}")),
                       Framed(Cell("{name}")), Aligned(Framed(Cell("{quantity}", 2, "0")), 3),
                       Aligned(Framed(Cell("{price}", 2, money)), 3),
                       Aligned(Framed(Cell("{sum}", 2, money)), 3)}}};
  const auto label = [](std::string_view text) { return Aligned(Cell(Ru(text)), 3); };
  report.Bands[3] = {{18,
                      {Cell(""), Cell(""), Cell(""), Cell(""), label("Итого, грн:"),
                       Aligned(Framed(Cell("{total}", 2, money)), 3)}}};
  ReportCellRecord total = Aligned(Bold(Framed(Cell("{totalwithtaxes}", 2, money))), 3);
  total.Bottom = {1, 2};
  report.Bands[4] = {
      {18,
       {Cell(""), Cell(""), Cell(""), Cell(""), label("НДС, грн:"),
        Aligned(Framed(Cell("{totalwithtaxes-total}", 2, money)), 3)}},
      {18, {Cell(""), Cell(""), Cell(""), Cell(""), Bold(label("Всего с НДС, грн:")), total}},
      {18, {Cell(""), Cell(""), Cell(Ru("Единиц: {TotalUnits}, вес: {TotalWeight} кг"))}}};
  return report;
}

ReportRecord SpecificationReport() {
  ReportRecord report;
  report.Name = Ru("Спецификация");
  report.ColumnWidths = {120, 320, 80};
  ReportCellRecord heading = Cell(Ru("Спецификация шкафа {TotalUnits}U"));
  heading.FontStyle = 3;
  report.Bands[0] = {{24, {heading}}};
  report.Bands[1] = {{18,
                      {Bold(Framed(Cell(Ru("Код")))), Bold(Framed(Cell(Ru("Наименование")))),
                       Bold(Framed(Cell(Ru("Количество"))))}}};
  ReportCellRecord amount = Framed(Cell("{quantity} {measureunit}"));
  amount.HAlign = 3;
  report.Bands[2] = {{18, {Framed(Cell("{code}")), Framed(Cell("{prefix}{name}")), amount}}};
  report.Bands[3] = {{6, {}}};
  report.Bands[4] = {
      {18, {Cell(Ru("Габариты:")), Cell("{TotalWidth} x {TotalLength} x {TotalHeight}")}}};
  return report;
}

struct SampleProduct {
  const char* Code;
  const char* Category;
  const char* Ru;
  const char* En;
  std::int32_t Width, Height, Length, Units, Grams;
  long double Price;
};

void WriteSamplePriceList(SchemeWriter& out) {
  const SampleProduct products[] = {
      {"RC-24-600", "CAB", "Шкаф 24U 600x800", "Cabinet 24U 600x800", 600, 1166, 800, 24, 52000,
       9800},
      {"RC-33-600", "CAB", "Шкаф 33U 600x800", "Cabinet 33U 600x800", 600, 1566, 800, 33, 61000,
       11900},
      {"RC-42-600", "CAB", "Шкаф 42U 600x800", "Cabinet 42U 600x800", 600, 1966, 800, 42, 72000,
       13500},
      {"RC-42-800", "CAB", "Шкаф 42U 800x1000", "Cabinet 42U 800x1000", 800, 1966, 1000, 42, 86000,
       16400},
      {"RC-47-800", "CAB", "Шкаф 47U 800x1000", "Cabinet 47U 800x1000", 800, 2188, 1000, 47, 93000,
       18200},
      {"DR-GL", "DOOR", "Дверь стеклянная", "Glass door", 600, 1900, 20, 0, 9000, 2100},
      {"DR-PF", "DOOR", "Дверь перфорированная", "Perforated door", 600, 1900, 20, 0, 7000, 2400},
      {"DR-SIDE", "DOOR", "Панели боковые, пара", "Side panels, pair", 800, 1900, 20, 0, 12000,
       2600},
      {"WB-KIT", "DOOR", "Комплект настенного крепления", "Wall mounting kit", 0, 0, 0, 0, 800,
       450},
      {"BS-HD", "DOOR", "Цоколь усиленный", "Heavy-duty plinth", 600, 100, 800, 0, 9500, 1900},
      {"SH-FIX", "ACC", "Полка стационарная", "Fixed shelf", 483, 44, 550, 1, 2500, 520},
      {"SH-SLIDE", "ACC", "Полка выдвижная", "Sliding shelf", 483, 44, 550, 1, 3200, 980},
      {"CN-50", "ACC", "Гайки закладные, 50 шт.", "Cage nuts, 50 pieces", 0, 0, 0, 0, 400, 240},
      {"CE-TOP", "ACC", "Кабельный ввод верхний", "Top cable entry", 300, 20, 100, 0, 300, 180},
      {"CE-BOT", "ACC", "Кабельный ввод нижний", "Bottom cable entry", 300, 20, 100, 0, 300, 180},
      {"PDU-1PH", "PWR", "Блок розеток 230 В", "Power strip 230 V", 483, 44, 60, 1, 1100, 760},
      {"PDU-3PH", "PWR", "Блок розеток 400 В", "Power strip 400 V", 483, 44, 80, 1, 1600, 1850},
      {"FAN-2", "PWR", "Вентиляторный модуль", "Fan unit", 483, 44, 300, 1, 2100, 1250},
      {"TH-01", "PWR", "Термостат", "Thermostat", 60, 60, 40, 0, 150, 390},
      {"PC-C13", "PWR", "Шнур питания C13", "Power cord C13", 0, 0, 1800, 0, 120, 95},
  };
  std::vector<ProductRecord> records;
  std::int32_t order = 0;
  for (const SampleProduct& p : products) {
    ProductRecord r;
    r.Code = p.Code;
    r.Name = Text(p.Ru, p.En);
    r.CategoryCode = p.Category;
    r.MeasureUnit = Text("шт.", "pcs");
    r.Available = (order % 4) != 3;
    r.Width = p.Width;
    r.Height = p.Height;
    r.Length = p.Length;
    r.RackUnits = p.Units;
    r.Weight = p.Grams;
    r.PackageVolume = static_cast<long double>(p.Width) * p.Height * p.Length / 1e9L;
    r.Price = p.Price;
    r.PriceWithTaxes = p.Price * 1.2L;
    r.OrderingIndex = order += 10;
    r.Prefix = p.Units > 0 ? std::to_string(p.Units) + "U " : "";
    records.push_back(std::move(r));
  }
  std::vector<CategoryRecord> categories = {
      {"CAB", Text("Шкафы", "Cabinets")},
      {"DOOR", Text("Двери и панели", "Doors and panels")},
      {"ACC", Text("Принадлежности", "Accessories")},
      {"PWR", Text("Питание и климат", "Power and climate")},
  };
  WritePriceList(out, records, categories);
}

TemplateRecord SampleTemplate() {
  TemplateRecord templ;
  templ.Languages = {{{0, Ru("Русский")}, {1, "English"}}, 0, 1};
  templ.ServiceStrings = ServiceStrings();
  templ.Variables = Variables();
  templ.Questions = Questions();
  WriteResources(templ.ResourceSection, Resources());
  WriteReports(templ.ReportSection, {OfferReport(), SpecificationReport()});
  templ.Screens = Screens();
  templ.DecisionPoints = DecisionPoints();
  templ.Actions = Actions();
  return templ;
}

// Resources that nothing names or shows, of printable filler text, that grow a scheme of
// baseSize bytes to about size bytes: 22,000 bytes each, the size of a real scheme's pictures.
std::vector<ResourceRecord> FillerResources(std::size_t baseSize, std::size_t size) {
  constexpr std::size_t kFillerBytes = 22000;
  // Name, extension, kind, size and the empty dependency record around each one's bytes.
  constexpr std::size_t kRecordBytes = 2 + 8 + 2 + 3 + 1 + 4 + 4;
  std::vector<ResourceRecord> fillers;
  std::uint32_t state = 12345;
  for (std::size_t total = baseSize; total + kRecordBytes < size;) {
    const std::size_t bytes = std::min(kFillerBytes, size - total - kRecordBytes);
    std::string data(bytes, ' ');
    for (char& c : data) {
      state = state * 1103515245u + 12345u;
      c = static_cast<char>('a' + (state >> 16) % 26);
    }
    fillers.push_back({"Filler" + std::to_string(fillers.size() + 1), "txt", 0, data, {}});
    total += bytes + kRecordBytes;
  }
  return fillers;
}

SchemeWriter SampleScheme(const std::vector<ResourceRecord>& fillers) {
  SchemeWriter scheme;
  TemplateRecord templ = SampleTemplate();
  if (!fillers.empty()) {
    std::vector<ResourceRecord> resources = Resources();
    resources.insert(resources.end(), fillers.begin(), fillers.end());
    templ.ResourceSection = SchemeWriter();
    WriteResources(templ.ResourceSection, resources);
  }
  WriteTemplate(scheme, templ);
  WriteSampleGraph(scheme, templ);
  WriteSchemeStamp(scheme, kSampleStamp);
  WriteSamplePriceList(scheme);
  return scheme;
}

}  // namespace

// qv_sample_scheme OUTPUT [SIZE]: the sample scheme, grown to about SIZE bytes by filler
// resources when SIZE is given.
int main(int argc, char** argv) {
  if (argc != 2 && argc != 3) {
    std::fprintf(stderr, "usage: qv_sample_scheme OUTPUT [SIZE]\n");
    return 2;
  }
  try {
    SchemeWriter scheme = SampleScheme({});
    if (argc == 3) scheme = SampleScheme(FillerResources(scheme.Size(), std::stoul(argv[2])));
    scheme.SaveToFile(argv[1]);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "qv_sample_scheme: %s\n", e.what());
    return 1;
  }
  return 0;
}
