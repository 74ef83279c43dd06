#include "tests/app/app_support.h"

#include <QWidget>
#include <cstdlib>

#include "tools/graphwriter.h"
#include "tools/pricelistwriter.h"
#include "tools/templatewriter.h"

QApplication& TestApplication() {
  static int argc = 1;
  static char name[] = "app_tests";
  static char* argv[] = {name, nullptr};
  static QApplication* application = [] {
    if (std::getenv("QT_QPA_PLATFORM") == nullptr) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    return new QApplication(argc, argv);
  }();
  return *application;
}

void GuiTest::SetUp() {
  TestApplication();
}

void GuiTest::TearDown() {
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  const QWidgetList left = QApplication::topLevelWidgets();
  for (QWidget* window : left) {
    ADD_FAILURE() << "top-level window left open: " << window->metaObject()->className() << " "
                  << window->objectName().toStdString();
  }
  qDeleteAll(left);
}

IdleScheme::IdleScheme(std::int32_t stamp) : Stamp(stamp) {
  SchemeWriter out;
  TemplateRecord templ;
  templ.Languages.Languages = {{0, "English"}};
  templ.Variables = {{"Units", 1, "0"}};
  WriteTemplate(out, templ);
  TemplateEnd = out.Size();

  GraphSection graph;
  const std::int32_t start = graph.Add({.Kind = gkStart, .Left = 10, .Top = 10});
  const std::int32_t finish = graph.Add({.Kind = gkFinish, .Left = 200, .Top = 10});
  graph.Link(start, 0, finish, 0);
  WriteGraph(out, graph);
  GraphEnd = out.Size();

  WriteSchemeStamp(out, stamp);
  StampEnd = out.Size();

  ProductRecord product;
  product.Code = "RACK-42";
  product.Name = {{"0", "Cabinet 42U"}};
  product.CategoryCode = "RACKS";
  product.Price = 1000;
  product.PriceWithTaxes = 1200;
  WritePriceList(out, {product}, {{"RACKS", {{"0", "Cabinets"}}}});
  Bytes = out.Bytes();
}

std::vector<std::uint8_t> IdleScheme::Prefix(std::size_t count) const {
  return {Bytes.begin(), Bytes.begin() + static_cast<std::ptrdiff_t>(count)};
}
