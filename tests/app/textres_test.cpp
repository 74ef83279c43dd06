#include "app/textres.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QScrollArea>
#include <QTest>
#include <QTextCursor>
#include <QTimer>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/HyperLinkView.h"
#include "app/data.h"
#include "app/runscreen.h"
#include "model/core.h"
#include "model/resource.h"
#include "model/saver.h"
#include "platform/fonts_qt.h"
#include "platform/tempdir.h"
#include "tests/app/app_support.h"
#include "tests/app/gif_support.h"
#include "tests/support/model_support.h"
#include "tests/support/platform_fakes.h"
#include "tests/support/test_paths.h"

namespace fs = std::filesystem;

namespace {

void SendKey(QWidget* widget, int key) {
  QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
  QCoreApplication::sendEvent(widget, &press);
}

// Runs the steps one after the other from the event loop, each once the previous one has run:
// a step may block in a nested wait while the next ones run inside it.
class Script {
 public:
  void Then(std::function<void()> step) { Steps.push_back(std::move(step)); }
  void Start() {
    QTimer::singleShot(0, &Context, [this] { Next(); });
  }
  int Done() const { return static_cast<int>(Index); }

 private:
  void Next() {
    if (Index >= Steps.size()) return;
    std::function<void()> step = Steps[Index++];
    if (Index < Steps.size()) QTimer::singleShot(0, &Context, [this] { Next(); });
    step();
  }
  std::vector<std::function<void()>> Steps;
  std::size_t Index = 0;
  // Pending steps end with the script.
  QObject Context;
};

class PopupTest : public GuiTest {
 protected:
  void SetUp() override {
    GuiTest::SetUp();
    SetExtractionRoot(Scratch.Path().string());
    Form = std::make_unique<TTextResourceForm>();
    TextResourceForm = Form.get();
    DM = new TDM();
    // A case that fails to hide the pop-up would wait for ever: the watchdog hides it.
    Watchdog.setSingleShot(true);
    QObject::connect(&Watchdog, &QTimer::timeout, [this] {
      ADD_FAILURE() << "the pop-up was still shown after 10 s";
      Form->hide();
    });
    Watchdog.start(10000);
  }
  void TearDown() override {
    Watchdog.stop();
    delete DM;
    DM = nullptr;
    TextResourceForm = nullptr;
    Form.reset();
    SetExtractionRoot("");
    GuiTest::TearDown();
  }

  TSpecResource* Add(const std::string& name, const std::string& extension, std::uint8_t kind,
                     const std::string& data, const std::vector<TSpecResource*>& links = {}) {
    TSpecResource* resource = DM->Template->AddResource(name);
    resource->Extension = extension;
    resource->Kind = kind;
    resource->SetData({data.begin(), data.end()});
    for (TSpecResource* link : links) resource->AddDependency(link);
    return resource;
  }

  fs::path Folder() const { return Scratch.Path() / "quorvane"; }
  std::string Written(const std::string& fileName) const {
    return ReadWholeFile((Folder() / fileName).string());
  }
  std::vector<std::string> FilesWritten() const {
    std::vector<std::string> names;
    if (!fs::exists(Folder())) return names;
    for (const auto& entry : fs::directory_iterator(Folder()))
      names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }

  // A press on link i of the text in the pop-up.
  void PressPopupLink(int i) {
    SendClick(Form->TextView->viewport(), LinkPoint(*Form->TextView, i));
  }
  // As a press on a description link does.
  void Show(int x, int y, const std::string& name) { DM->ShowResourceAt(x, y, name); }
  const TSpecTemplate& Template() const { return *DM->Template; }

  ScratchFolder Scratch;
  std::unique_ptr<TTextResourceForm> Form;
  RecordingShell Shell;
  std::vector<std::string>& Opened = Shell.Opened;
  QTimer Watchdog;
};

std::vector<std::string> NamesOf(const TExtractionPlan& plan) {
  std::vector<std::string> names;
  for (const TSpecResource* resource : plan.Resources) names.push_back(resource->Name());
  return names;
}

TEST_F(PopupTest, HtmlPageWritesEachDependencyOnceThenItselfAndOpensOneFileUrl) {
  TSpecResource* b = Add("B", "css", rkInformationalText, "b");
  TSpecResource* c = Add("C", "gif", rkPicture, "c");
  b->AddDependency(c);
  c->AddDependency(b);
  // A name with characters a file URL must escape.
  Add("Page #1?", "htm", rkHtmlPage, "<html>", {b, c, b});

  const TExtractionPlan plan = PlanExtraction(Template(), *Template().Resources(2));
  EXPECT_TRUE(plan.Complete);
  EXPECT_EQ(NamesOf(plan), (std::vector<std::string>{"B", "C"}));

  Show(10, 10, "page #1?");
  EXPECT_EQ(Written("B.css"), "b");
  EXPECT_EQ(Written("C.gif"), "c");
  EXPECT_EQ(Written("Page #1?.htm"), "<html>");
  EXPECT_EQ(Opened, std::vector<std::string>{"file " + (Folder() / "Page #1?.htm").string()});
  EXPECT_FALSE(Form->isVisible());
}

TEST_F(PopupTest, WebResourceWritesItsDependencyAndOpensItsAddress) {
  TSpecResource* logo = Add("Logo", "gif", rkPicture, "gif bytes");
  Add("Vendor", "url", rkWebResource, "https://example.com/racks?id=1", {logo});
  Show(10, 10, "Vendor");
  EXPECT_EQ(FilesWritten(), std::vector<std::string>{"Logo.gif"});
  EXPECT_EQ(Opened, std::vector<std::string>{"url https://example.com/racks?id=1"});
}

TEST_F(PopupTest, UnknownNamesAndMissingDependenciesShowAndOpenNothing) {
  TSpecTemplate other;
  TSpecResource* ghost = other.AddResource("Ghost");
  TSpecResource* first = Add("First", "txt", rkInformationalText, "first");
  Add("Page", "htm", rkHtmlPage, "<html>", {first, ghost});
  Add("Text", "txt", rkInformationalText, "text", {ghost});

  const TExtractionPlan plan = PlanExtraction(Template(), *Template().Resources(1));
  EXPECT_FALSE(plan.Complete);
  EXPECT_EQ(NamesOf(plan), std::vector<std::string>{"First"});

  for (const std::string name : {"Nothing", "", "Page", "Text"}) {
    SCOPED_TRACE(name);
    Show(10, 10, name);
    EXPECT_TRUE(Opened.empty());
    EXPECT_FALSE(Form->isVisible());
  }
  // The dependencies before the missing one are written; the page itself is not.
  EXPECT_EQ(FilesWritten(), std::vector<std::string>{"First.txt"});
}

TEST_F(PopupTest, TextPopUpFitsItsTextAtThePointAndWaitsUntilEscape) {
  Add("Info", "txt", rkInformationalText, "Cabinets of <Door>19 inch</> width");
  Script script;
  QRect shown;
  bool visible = false;
  script.Then([&] {
    visible = Form->isVisible();
    shown = Form->geometry();
    EXPECT_EQ(Form->TextView->PlainText(), "Cabinets of 19 inch width");
    EXPECT_FALSE(Form->ImageView->isVisible());
    EXPECT_EQ(Form->TextView->width(), 330);
    EXPECT_EQ(Form->TextView->font().family(), StandInFamily(TDesignFace::Arial));
    EXPECT_EQ(Form->TextView->font().pixelSize(), 13);
    EXPECT_EQ(Form->font().family(), StandInFamily(TDesignFace::MsSansSerif));
    EXPECT_EQ(Form->font().pixelSize(), 11);
    EXPECT_TRUE(Form->windowFlags() & Qt::FramelessWindowHint);
    EXPECT_EQ(Form->windowType(), Qt::Popup);
    EXPECT_EQ(Form->TextView->height(), Form->TextView->PreferredHeight());
    SendKey(Form.get(), Qt::Key_Escape);
  });
  script.Start();
  Show(120, 200, "INFO");
  EXPECT_EQ(script.Done(), 1) << "the showing returned before the pop-up was hidden";
  EXPECT_TRUE(visible);
  EXPECT_EQ(shown.topLeft(), QPoint(120, 200));
  EXPECT_EQ(shown.size(), QSize(340, Form->TextView->height() + 10));
  EXPECT_EQ(Form->TextView->mapTo(Form.get(), QPoint(0, 0)), QPoint(5, 6));
  EXPECT_FALSE(Form->isVisible());
  EXPECT_TRUE(FilesWritten().empty()) << "a text is shown from memory";
}

TEST_F(PopupTest, LinkInATextReplacesItWithAPictureNearTheSamePlace) {
  Add("Door", "gif", rkPicture, PlainGif(40, 30));
  Add("Info", "txt", rkInformationalText, "The door: <Door>picture</>.");
  Script script;
  QRect text, picture;
  script.Then([&] {
    text = Form->geometry();
    PressPopupLink(0);
  });
  // Runs inside the wait of the picture's showing.
  script.Then([&] {
    picture = Form->geometry();
    EXPECT_TRUE(Form->ImageView->isVisible());
    EXPECT_FALSE(Form->TextView->isVisible());
    EXPECT_EQ(Form->ImageView->mapTo(Form.get(), QPoint(0, 0)), QPoint(1, 1));
    SendClick(Form->ImageView, QPoint(5, 5));
  });
  script.Start();
  Show(300, 400, "Info");
  EXPECT_EQ(script.Done(), 2);
  EXPECT_EQ(text.topLeft(), QPoint(300, 400));
  EXPECT_EQ(picture, QRect(300, 401, 42, 32));
  EXPECT_FALSE(Form->isVisible());
  EXPECT_EQ(FilesWritten(), std::vector<std::string>{"Door.gif"});
}

TEST_F(PopupTest, PictureThatDoesNotDecodeLeavesTheFormAsItWas) {
  Add("Broken", "gif", rkPicture, "not a picture");
  Add("Png", "png", rkPicture, PlainGif(4, 4));
  Add("Info", "txt", rkInformationalText, "<Broken>one</> <Png>two</>");

  // Alone: nothing is shown and nothing waits.
  Show(10, 10, "Broken");
  EXPECT_FALSE(Form->isVisible());

  // Each press waits, inside the wait of the text, until the pop-up is hidden.
  Script script;
  QRect before;
  const auto unchanged = [&] {
    EXPECT_TRUE(Form->isVisible());
    EXPECT_EQ(Form->geometry(), before);
    EXPECT_TRUE(Form->TextView->isVisible());
    EXPECT_FALSE(Form->ImageView->isVisible());
    EXPECT_EQ(Form->TextView->PlainText(), "one two");
  };
  script.Then([&] {
    before = Form->geometry();
    PressPopupLink(0);
  });
  script.Then([&] {
    SCOPED_TRACE("a picture that does not decode");
    unchanged();
    PressPopupLink(1);
  });
  script.Then([&] {
    SCOPED_TRACE("a picture of an extension without a decoder");
    unchanged();
    SendKey(Form.get(), Qt::Key_Return);
  });
  script.Start();
  Show(50, 60, "Info");
  EXPECT_EQ(script.Done(), 3);
  EXPECT_FALSE(Form->isVisible());
}

TEST_F(PopupTest, QueuedRequestIsShownByTheTimerHandler) {
  Add("Info", "txt", rkInformationalText, "queued");
  DM->ResourceQueue = {"  120   45info", "   10   10Info"};
  Script script;
  QPoint shownAt;
  script.Then([&] {
    shownAt = Form->pos();
    EXPECT_FALSE(DM->ResourceTimer->isActive()) << "the timer waits while the pop-up is shown";
    SendKey(Form.get(), Qt::Key_Escape);
  });
  script.Start();
  DM->ResourceTimerTimer(DM->ResourceTimer);
  EXPECT_EQ(script.Done(), 1);
  EXPECT_EQ(shownAt, QPoint(120, 45));
  EXPECT_EQ(DM->ResourceQueue, std::vector<std::string>{"   10   10Info"});
  EXPECT_TRUE(DM->ResourceTimer->isActive());
}

TEST_F(PopupTest, OnAScreenThePopUpOpensBelowTheDescriptionAndTheScreenGetsInputAgain) {
  Add("Info", "txt", rkInformationalText, "About the cabinets.");
  auto screenOwner = std::make_unique<TExecScreenForm>();
  TExecScreenForm& screen = *screenOwner;
  // As the start-up binds the screen form to the data module.
  screen.ShowResourceAt = [](const QPoint& at, const std::string& id) {
    DM->ShowResourceAt(at.x(), at.y(), id);
  };
  screen.SetNextBtnCaption("Next >");
  screen.SetScreenDesc("Choose how the cabinet is installed. <Info>About the cabinets</>.");
  screen.AdjustScreenDescHeight();
  screen.FitPanelHeight(screen.TitlePanel());
  screen.SetNextBtnClick([&] { screen.SetModalResult(mrYes); });

  QWindow* window = nullptr;
  const auto pressLink = [&] {
    SendClick(screen.ScreenDesc->viewport(), LinkPoint(*screen.ScreenDesc, 0));
  };
  const auto clickAt = [&](QWidget* widget, QPoint at) {
    QTest::mouseClick(window, Qt::LeftButton, {}, widget->mapTo(&screen, at));
  };
  // The next step may run inside a step's events: each notes what it saw.
  bool hiddenByEscape = false;
  bool hiddenByClick = false;
  Script script;
  script.Then([&] {
    // The first showing: inside the wait of the press.
    EXPECT_TRUE(Form->isVisible());
    EXPECT_EQ(Form->parentWidget(), &screen);
    EXPECT_EQ(Form->pos(), screen.ScreenDesc->mapToGlobal(QPoint(0, screen.ScreenDesc->height())));
    EXPECT_EQ(QApplication::activePopupWidget(), Form.get());
    // Escape reaches the pop-up, not the screen behind it.
    QTest::keyClick(window, Qt::Key_Escape);
    hiddenByEscape = !Form->isVisible();
  });
  script.Then([&] { pressLink(); });
  script.Then([&] {
    EXPECT_TRUE(Form->isVisible());
    // A click on the screen's question area, outside the pop-up.
    clickAt(screen.QuestionsField, screen.QuestionsField->rect().bottomRight() - QPoint(20, 20));
    hiddenByClick = !Form->isVisible();
  });

  bool screenOpen = false;
  ModalRobot robot({[&](QWidget* modal) {
                      if (modal != &screen) return false;
                      window = screen.windowHandle();
                      script.Start();
                      pressLink();
                      return true;
                    },
                    [&](QWidget* modal) {
                      screenOpen = modal == &screen && screen.ModalResult() == mrNone;
                      // The screen takes input again: its Next button ends the showing.
                      clickAt(screen.NextBtn, QPoint(5, 5));
                      return true;
                    }});
  EXPECT_EQ(screen.ShowModal(), mrYes);
  EXPECT_TRUE(robot.Done());
  EXPECT_EQ(script.Done(), 3);
  EXPECT_TRUE(screenOpen);
  EXPECT_TRUE(hiddenByEscape);
  EXPECT_TRUE(hiddenByClick);
  EXPECT_FALSE(Form->isVisible());
  // The pop-up outlives the screen it was shown over.
  screenOwner.reset();
  EXPECT_EQ(Form->parentWidget(), nullptr);
}

TEST_F(PopupTest, AClickOutsideThePopUpHidesItAndActsWhereItLanded) {
  Add("Info", "txt", rkInformationalText, "About the cabinets.");
  Add("Other", "txt", rkInformationalText, "Other text.");
  auto screenOwner = std::make_unique<TExecScreenForm>();
  TExecScreenForm& screen = *screenOwner;
  screen.ShowResourceAt = [](const QPoint& at, const std::string& id) {
    DM->ShowResourceAt(at.x(), at.y(), id);
  };
  screen.SetScreenDesc("See <Info>the cabinets</> or <Other>the rest</>.");
  screen.AdjustScreenDescHeight();
  screen.FitPanelHeight(screen.TitlePanel());
  int nextClicks = 0;
  screen.SetNextBtnClick([&] {
    ++nextClicks;
    screen.SetModalResult(mrYes);
  });

  QWindow* window = nullptr;
  // A click of the window system at a point of a widget of the screen.
  const auto clickAt = [&](QWidget* widget, QPoint at) {
    QTest::mouseClick(window, Qt::LeftButton, {}, widget->mapTo(&screen, at));
  };
  std::string firstShown;
  std::string shownByTheOtherLink;
  bool hiddenByTheClickOnNext = false;
  Script script;
  script.Then([&] {
    firstShown = Form->TextView->PlainText();
    // A click on the other link of the description while the pop-up is open.
    clickAt(screen.ScreenDesc->viewport(), LinkPoint(*screen.ScreenDesc, 1));
  });
  script.Then([&] {
    shownByTheOtherLink = Form->isVisible() ? Form->TextView->PlainText() : "";
    // A click on Next while the pop-up is open.
    clickAt(screen.NextBtn, QPoint(10, 10));
    hiddenByTheClickOnNext = !Form->isVisible();
  });

  ModalRobot robot({[&](QWidget* modal) {
    if (modal != &screen) return false;
    window = screen.windowHandle();
    script.Start();
    SendClick(screen.ScreenDesc->viewport(), LinkPoint(*screen.ScreenDesc, 0));
    return true;
  }});
  EXPECT_EQ(screen.ShowModal(), mrYes);
  EXPECT_EQ(script.Done(), 2);
  EXPECT_EQ(firstShown, "About the cabinets.");
  EXPECT_EQ(shownByTheOtherLink, "Other text.");
  EXPECT_TRUE(hiddenByTheClickOnNext);
  EXPECT_EQ(nextClicks, 1);
  EXPECT_FALSE(Form->isVisible());
  EXPECT_FALSE(screen.NextBtn->isDown());
}

TEST_F(PopupTest, EveryLinkOfTheSampleSchemeShowsOrOpensItsResource) {
  TSpecDataStream stream;
  ASSERT_TRUE(stream.LoadFromFile(SampleSchemePath())) << SampleSchemePath();
  DM->Template->LoadFromStream(stream);

  // The text about the cabinets, and the picture its link opens in its place.
  Script script;
  QSize textSize, pictureSize;
  script.Then([&] {
    textSize = Form->size();
    PressPopupLink(0);
  });
  script.Then([&] {
    pictureSize = Form->ImageView->isVisible() ? Form->ImageView->size() : QSize();
    SendKey(Form.get(), Qt::Key_Escape);
  });
  script.Start();
  Show(100, 100, "RackInfo");
  EXPECT_EQ(script.Done(), 2);
  EXPECT_EQ(textSize.width(), 340);
  EXPECT_EQ(pictureSize, QSize(64, 96)) << "the JPEG of the rack front";

  Script door;
  QSize doorSize;
  door.Then([&] {
    doorSize = Form->ImageView->isVisible() ? Form->ImageView->size() : QSize();
    SendClick(Form->ImageView, QPoint(10, 10));
  });
  door.Start();
  Show(100, 100, "Door");
  EXPECT_EQ(doorSize, QSize(64, 48)) << "the GIF of the door";

  Show(100, 100, "Guide");
  Show(100, 100, "Vendor");
  EXPECT_EQ(Opened, (std::vector<std::string>{"file " + (Folder() / "Guide.html").string(),
                                              "url https://example.com/racks"}));
  EXPECT_EQ(FilesWritten(), (std::vector<std::string>{"Door.gif", "Guide.html", "RackFront.jpg"}));
  EXPECT_FALSE(Form->isVisible());
}

TEST_F(PopupTest, EnterEscapeAndClicksOnThePanelOrPictureHideIt) {
  struct Row {
    std::string name;
    int key = 0;          // a key press, or else a click
    bool onText = false;  // the click lands on the text outside a link, else on the margin
    bool hides = true;
  };
  const Row rows[] = {
      {.name = "Return", .key = Qt::Key_Return},
      {.name = "keypad Enter", .key = Qt::Key_Enter},
      {.name = "Escape", .key = Qt::Key_Escape},
      {.name = "letter", .key = Qt::Key_A, .hides = false},
      {.name = "space", .key = Qt::Key_Space, .hides = false},
      {.name = "click on the panel's margin"},
      {.name = "click on the text", .onText = true, .hides = false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Form->ShowText(20, 20, "plain text, <x>a link</>");
    if (row.key) {
      SendKey(Form.get(), row.key);
    } else if (row.onText) {
      SendClick(Form->TextView->viewport(), QPoint(3, 3));
    } else {
      SendClick(Form->Panel1, QPoint(2, 2));
    }
    EXPECT_EQ(Form->isVisible(), !row.hides);
    Form->hide();
  }
}

}  // namespace
