#include "tests/app/app_support.h"

#include <QWidget>
#include <cstdlib>
#include <memory>

#include "tools/graphwriter.h"
#include "tools/pricelistwriter.h"
#include "tools/templatewriter.h"

namespace {

// Owns the application object and destroys it after the last case, so that Qt releases what
// it holds (fonts, the platform connection) before the process ends.
class ApplicationEnvironment : public ::testing::Environment {
 public:
  QApplication& Get() {
    if (!Application) {
      if (std::getenv("QT_QPA_PLATFORM") == nullptr) setenv("QT_QPA_PLATFORM", "offscreen", 1);
      Application = std::make_unique<QApplication>(Argc, Argv);
    }
    return *Application;
  }
  void TearDown() override { Application.reset(); }

 private:
  int Argc = 1;
  char Name[10] = "app_tests";
  char* Argv[2] = {Name, nullptr};
  std::unique_ptr<QApplication> Application;
};

ApplicationEnvironment* const environment = static_cast<ApplicationEnvironment*>(
    ::testing::AddGlobalTestEnvironment(new ApplicationEnvironment));

}  // namespace

QApplication& TestApplication() {
  return environment->Get();
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
