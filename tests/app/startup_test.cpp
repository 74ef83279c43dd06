#include <QApplication>
#include <QEvent>
#include <QFontInfo>
#include <QMenu>
#include <QScreen>
#include <QWidget>
#include <QWindow>
#include <map>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/data.h"
#include "app/main.h"
#include "app/runscreen.h"
#include "app/textres.h"
#include "app/wz_about.h"
#include "graph/visual.h"
#include "model/core.h"
#include "model/pricelist.h"
#include "platform/fonts_qt.h"
#include "platform/messages_qt.h"
#include "report/processindicator.h"
#include "report/repview.h"
#include "tests/app/app_support.h"
#include "tests/support/expr_support.h"
#include "tests/support/platform_fakes.h"

namespace {

// Records, in one log, the creation, showing, first painting, hiding and destruction of every
// top-level window, every sleep and every message, so that the start-up's order can be read
// back. Windows are logged by address while they are anonymous and named afterwards.
class StartUpLog : public QObject {
 public:
  StartUpLog() {
    QCoreApplication::instance()->installEventFilter(this);
    Sleeper.OnSleep = [this](std::uint32_t ms) {
      // The moment of the sleep: the splash must be up and the data module created.
      Names[MainForm] = "MainForm";
      Names[wzAboutForm] = "wzAboutForm";
      Names[ProcessForm] = "ProcessForm";
      if (auto* report = dynamic_cast<TExecReportForm*>(ExecReportForm)) {
        Names[report] = "ExecReportForm";
        Names[report->ExportMenu] = "ExportMenu";
      }
      if (auto* screen = dynamic_cast<TExecScreenForm*>(ExecScreenForm)) {
        Names[screen] = "ExecScreenForm";
      }
      Names[TextResourceForm] = "TextResourceForm";
      // Widgets made as windows while a form was built and then placed inside it, and the
      // form's own dialogs, belong to that form: only the forms are followed.
      std::set<const QObject*> windowsNow;
      for (QWidget* widget : QApplication::allWidgets()) {
        if (widget->isWindow()) windowsNow.insert(widget);
      }
      for (const Entry& entry : Entries) {
        if (entry.Window && !Names.count(entry.Window) && !windowsNow.count(entry.Window)) {
          Parts.insert(entry.Window);
        }
      }
      for (const QObject* window : windowsNow) {
        if (Names.count(window)) continue;
        const auto* widget = static_cast<const QWidget*>(window);
        for (QWidget* owner = widget->parentWidget(); owner; owner = owner->parentWidget()) {
          if (Names.count(owner)) Parts.insert(window);
        }
      }
      SplashUpDuringSleep = wzAboutForm && wzAboutForm->isVisible() &&
                            wzAboutForm->windowHandle() && wzAboutForm->windowHandle()->isExposed();
      DataModuleBeforeSleep = DM != nullptr && DM->Template != nullptr;
      Entries.push_back({"sleep " + std::to_string(ms), nullptr});
    };
    Messages.OnShow = [this](const std::string& text) {
      Entries.push_back({"message " + text, nullptr});
      if (OnMessage) OnMessage(text);
    };
  }
  ~StartUpLog() override { QCoreApplication::instance()->removeEventFilter(this); }

  // The log with every window named.
  std::vector<std::string> Log() const {
    std::vector<std::string> out;
    for (const Entry& entry : Entries) {
      if (!entry.Window) {
        out.push_back(entry.What);
        continue;
      }
      auto name = Names.find(entry.Window);
      // Windows that belong to a form (its file dialogs and their pop-ups) come and go with
      // it; only the forms themselves are followed.
      if (name == Names.end() && Parts.count(entry.Window)) continue;
      out.push_back(entry.What + " " + (name == Names.end() ? "?" : name->second));
    }
    return out;
  }

  RecordingSleeper Sleeper;
  RecordingMessageWindow Messages;
  RecordingErrorWindow Errors;
  std::function<void(const std::string&)> OnMessage;
  bool SplashUpDuringSleep = false;
  bool DataModuleBeforeSleep = false;
  std::optional<bool> DataModuleAtSplashShow;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    auto* widget = qobject_cast<QWidget*>(watched);
    if (!widget || !widget->isWindow()) return false;
    switch (event->type()) {
      case QEvent::Create: {
        Entries.push_back({"create", widget});
        connect(widget, &QObject::destroyed, this, [this, widget] {
          Entries.push_back({"destroy", widget});
        });
        break;
      }
      case QEvent::Show:
        if (widget == wzAboutForm) DataModuleAtSplashShow = DM != nullptr;
        Entries.push_back({"show", widget});
        break;
      case QEvent::Paint:
        if (!Painted[widget]) Entries.push_back({"paint", widget});
        Painted[widget] = true;
        break;
      case QEvent::Hide:
        Entries.push_back({"hide", widget});
        break;
      default:
        break;
    }
    return false;
  }

 private:
  struct Entry {
    std::string What;
    const QObject* Window;
  };
  std::vector<Entry> Entries;
  std::map<const QObject*, std::string> Names;
  std::set<const QObject*> Parts;
  std::map<const QObject*, bool> Painted;
};

class StartUpTest : public GuiTest {
 protected:
  void SetUp() override {
    GuiTest::SetUp();
    SchemeStamp = 0;
  }
  ScopedModuleResources Resources;
};

const std::vector<std::string> kSplashPhase = {
    "create MainForm",   "create wzAboutForm",    "create ProcessForm",
    "show wzAboutForm",  "paint wzAboutForm",     "create ExecReportForm",
    "create ExportMenu", "create ExecScreenForm", "create TextResourceForm",
    "sleep 4000",        "hide wzAboutForm",      "destroy wzAboutForm",
};

// The splash phase, then what the load-and-run sequence logs, then the forms destroyed at
// exit.
std::vector<std::string> SplashPhaseThen(std::vector<std::string> rest) {
  std::vector<std::string> log = kSplashPhase;
  log.insert(log.end(), rest.begin(), rest.end());
  for (const char* window : {"TextResourceForm", "ExecScreenForm", "ExecReportForm", "ExportMenu",
                             "ProcessForm", "MainForm"}) {
    log.push_back(std::string("destroy ") + window);
  }
  return log;
}

TEST_F(StartUpTest, CreatesShowsSleepsAndDestroysInOrderThenLoadsTheScheme) {
  // The run ends at once: the start links to nothing, so no window of the run is shown.
  const IdleScheme scheme(0x5EED1234, false);
  Resources.Add(kSchemeResourceName, scheme.Bytes);
  StartUpLog log;

  EXPECT_EQ(RunStartUp(), 0);

  EXPECT_EQ(log.Log(), SplashPhaseThen({}));
  EXPECT_EQ(log.Sleeper.Calls, std::vector<std::uint32_t>{4000});
  EXPECT_TRUE(log.SplashUpDuringSleep);
  EXPECT_TRUE(log.DataModuleBeforeSleep);
  EXPECT_EQ(log.DataModuleAtSplashShow, std::optional<bool>(false));
  EXPECT_TRUE(log.Messages.Shown.empty());
  EXPECT_TRUE(log.Errors.Shown.empty());
  EXPECT_EQ(SchemeStamp, scheme.Stamp);
  EXPECT_EQ(ApplicationTitle(), "\xCC\xE0\xF1\xF2\xE5\xF0");
  // Windows without a font of their own (message boxes, menus, tooltips, file dialogs) take
  // the program's face, not the platform's.
  EXPECT_EQ(QFontInfo(QApplication::font()).family(), StandInFamily(TDesignFace::Tahoma));
  EXPECT_EQ(MainForm, nullptr);
  EXPECT_EQ(wzAboutForm, nullptr);
  EXPECT_EQ(DM, nullptr);
}

TEST_F(StartUpTest, SchemeThatCannotBeReadShowsTheMessageOnceAndEndsNormally) {
  const IdleScheme scheme(0x5EED1234, false);
  struct Row {
    std::string name;
    std::optional<std::vector<std::uint8_t>> resource;
    std::vector<std::string> messages = {kUnableToLoadTemplate};
    // The stamp is read after the graph and before the price list.
    bool stampStored = false;
  };
  const Row rows[] = {
      {.name = "no scheme resource: silent", .resource = std::nullopt, .messages = {}},
      {.name = "empty resource", .resource = std::vector<std::uint8_t>{}},
      {.name = "three bytes", .resource = std::vector<std::uint8_t>{1, 2, 3}},
      {.name = "inside the template", .resource = scheme.Prefix(scheme.TemplateEnd / 2)},
      {.name = "after the template", .resource = scheme.Prefix(scheme.TemplateEnd)},
      {.name = "inside the graph", .resource = scheme.Prefix(scheme.TemplateEnd + 6)},
      {.name = "after the graph", .resource = scheme.Prefix(scheme.GraphEnd)},
      {.name = "inside the stamp", .resource = scheme.Prefix(scheme.GraphEnd + 3)},
      {.name = "after the stamp", .resource = scheme.Prefix(scheme.StampEnd), .stampStored = true},
      {.name = "one byte short of the end",
       .resource = scheme.Prefix(scheme.Bytes.size() - 1),
       .stampStored = true},
      {.name = "whole scheme", .resource = scheme.Bytes, .messages = {}, .stampStored = true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    ScopedModuleResources resources;
    if (row.resource) resources.Add(kSchemeResourceName, *row.resource);
    SchemeStamp = 0;
    StartUpLog log;

    EXPECT_EQ(RunStartUp(), 0);

    std::vector<std::string> after;
    for (const std::string& message : row.messages) after.push_back("message " + message);
    EXPECT_EQ(log.Log(), SplashPhaseThen(after));
    EXPECT_EQ(log.Messages.Shown, row.messages);
    EXPECT_TRUE(log.Errors.Shown.empty());
    EXPECT_EQ(SchemeStamp, row.stampStored ? scheme.Stamp : 0);
  }
}

TEST_F(StartUpTest, ErrorLeavingTheRunIsShownAndEndsWithFailureStatus) {
  Resources.Add(kSchemeResourceName, {1, 2, 3});
  StartUpLog log;
  log.OnMessage = [](const std::string&) { throw std::runtime_error("Access violation"); };

  EXPECT_EQ(RunStartUp(), 1);

  EXPECT_EQ(log.Messages.Shown, std::vector<std::string>{kUnableToLoadTemplate});
  EXPECT_EQ(log.Errors.Shown, std::vector<std::string>{"Access violation"});
}

// The load-and-run sequence on forms of the test's own.
class LoadSequenceTest : public StartUpTest {
 protected:
  void SetUp() override {
    StartUpTest::SetUp();
    DM = new TDM();
    MainForm = new TMainForm();
  }
  void TearDown() override {
    delete MainForm;
    MainForm = nullptr;
    delete DM;
    DM = nullptr;
    StartUpTest::TearDown();
  }
  void Load(const std::vector<std::uint8_t>& bytes) {
    ScopedModuleResources resources;
    resources.Add(kSchemeResourceName, bytes);
    MainForm->FormShow(MainForm);
  }
  RecordingMessageWindow Messages;
};

TEST_F(LoadSequenceTest, ReadsEverySectionIntoTemplateGraphStampAndPriceList) {
  const IdleScheme scheme;
  Load(scheme.Bytes);

  EXPECT_TRUE(Messages.Shown.empty());
  EXPECT_EQ(DM->Template->VariableCount(), 1);
  EXPECT_EQ(MainForm->Scheme->ElementCount(), 2);
  EXPECT_EQ(MainForm->Scheme->LinkCount(), 1);
  EXPECT_EQ(SchemeStamp, scheme.Stamp);
  EXPECT_EQ(DM->Template->PriceList()->ProductCount(), 1);
  EXPECT_TRUE(MainForm->Scheme->EventsEnabled);
}

TEST_F(LoadSequenceTest, GraphIsEmptiedOnlyAfterTheTemplateWasRead) {
  const IdleScheme first;
  Load(first.Bytes);
  ASSERT_EQ(MainForm->Scheme->ElementCount(), 2);

  // A failure inside the template leaves the graph of the earlier load alone.
  Load(first.Prefix(first.TemplateEnd - 1));
  EXPECT_EQ(MainForm->Scheme->ElementCount(), 2);
  EXPECT_EQ(MainForm->Scheme->LinkCount(), 1);

  // Once the template was read, the graph is replaced.
  Load(first.Prefix(first.TemplateEnd));
  EXPECT_EQ(MainForm->Scheme->ElementCount(), 0);
  EXPECT_EQ(Messages.Shown, std::vector<std::string>(2, kUnableToLoadTemplate));
}

TEST_F(LoadSequenceTest, GraphEventsStayQuietWhileTheSchemeIsRead) {
  int events = 0;
  const IdleScheme scheme;
  Load(scheme.Bytes);
  MainForm->Scheme->OnRemoveElement = [&](TScheme*, TSchemeElement*) { ++events; };
  MainForm->Scheme->OnRemoveLink = [&](TScheme*, TSchemeLink*) { ++events; };
  MainForm->Scheme->OnAddLink = [&](TScheme*, TSchemeLink*) { ++events; };

  // Loading again clears the elements and links of the first load and adds new ones.
  Load(scheme.Bytes);
  EXPECT_EQ(events, 0);
  EXPECT_TRUE(MainForm->Scheme->EventsEnabled);
  EXPECT_EQ(MainForm->Scheme->ElementCount(), 2);

  // The events fire again once the sequence has ended.
  MainForm->Scheme->ClearLinks();
  EXPECT_EQ(events, 1);
  // The scheme outlives this body: its destruction must not reach the counter.
  MainForm->Scheme->EventsEnabled = false;
}

}  // namespace
