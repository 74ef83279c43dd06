#pragma once

// Resource pop-ups. A press on a link of a description shows the resource of that name: an
// informational text or a picture in a small borderless pop-up (TTextResourceForm), an HTML
// page or a web address through the desktop's default application. Every resource the shown
// one depends on is first written to the private extraction folder, so that a page finds its
// pictures there.
//
// The pop-up is a Qt::Popup parented to the active modal dialog: a plain top-level window shown
// during a screen's modal showing would get no input, and a pop-up hides itself on a click
// outside it. That click then acts where it landed (Next, another link): the pop-up hands the
// press on to the widget under it, and the release after it follows. The code that shows a
// text or a picture processes events until the pop-up is hidden again, so nested showings (a
// link inside the pop-up) all end when it hides.

#include <QPoint>
#include <QPointer>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "app/hyperlinkparse.h"

class QFrame;
class QLabel;
class THyperLinkView;
class TSpecResource;
class TSpecTemplate;

// The caption of the pop-up, never seen: it has no caption bar.
inline constexpr const char* kTextResourceCaption = "Displaying Resource";

class TTextResourceForm : public QWidget {
  Q_OBJECT

 public:
  // The form as designed: client area 340 x 285, hidden.
  explicit TTextResourceForm(QWidget* parent = nullptr);
  ~TTextResourceForm() override;

  // Shows the hypertext in TextView, sized to its text, with the form's top-left corner at the
  // screen point (X, Y).
  void ShowText(std::int32_t X, std::int32_t Y, const std::string& HyperText);
  // Shows the picture of the file (UTF-8 path; decoder by extension) with the form's top-left
  // corner at (X, Y). A file that does not load leaves the form as it was, shown or hidden.
  void ShowPicture(std::int32_t X, std::int32_t Y, const std::string& FileName);

  // A click on the panel or on the picture hides the form.
  void Panel1Click(QObject* Sender);
  // The form lost activation (a click outside it): hides it.
  void FormDeactivate(QObject* Sender);
  // Enter or Escape hides the form; other keys do nothing. Key is a Qt key code.
  void FormKeyDown(QObject* Sender, int Key);

  // The background and the one-pixel frame; fills the form.
  QFrame* Panel1 = nullptr;
  THyperLinkView* TextView = nullptr;
  QLabel* ImageView = nullptr;

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  // A press outside the pop-up hides it and goes on to the widget under it.
  void mousePressEvent(QMouseEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  // Makes the form a pop-up of the active modal dialog (or of none), then shows and raises it
  // at (X, Y) with the given size.
  void ShowAt(std::int32_t X, std::int32_t Y, int width, int height);

  // Hands a press outside the hidden pop-up to the widget under it, where the window system
  // would have delivered it without the pop-up, and watches for the release that ends it.
  void ReplayPress(const QMouseEvent& press);

  QMetaObject::Connection OwnerDestroyed;
  // The widget that took a replayed press, until its release has reached it.
  QPointer<QWidget> ReplayTarget;
  // The replayed press while it is delivered.
  const QEvent* ReplayedPress = nullptr;
};

// The pop-up form of the running program; set while it exists.
extern TTextResourceForm* TextResourceForm;

// The resources to write before a resource is shown: the resources of the names it depends on,
// directly or through others, in depth-first order, each name once. Complete is false when a
// name has no resource in the template; the list then ends before that name.
struct TExtractionPlan {
  std::vector<const TSpecResource*> Resources;
  bool Complete = true;
};
TExtractionPlan PlanExtraction(const TSpecTemplate& schemeTemplate, const TSpecResource& resource);

// Shows the resource of that name (Latin letters in any case, the last of equal names) at the
// screen point (X, Y) on TextResourceForm. Its dependencies are written first, up to a name
// without a resource, which ends the showing there. A text is shown with popupLinkClicked as
// the handler of its links, a picture is written and shown, and both wait until the pop-up is
// hidden; an HTML page is written and opened as a file URL; a web resource opens its address.
// An unknown name does nothing.
void ShowTemplateResource(const TSpecTemplate& schemeTemplate, std::int32_t X, std::int32_t Y,
                          const std::string& Name, const TLinkClicked& popupLinkClicked);

// The screen point at which a link pressed in the pop-up shows its resource: the point (-5, -5)
// of the view's client area, a pixel or so from the pop-up's own top-left corner.
QPoint PopupLinkPoint(THyperText* Sender);

// Processes events, blocking until the next one, while the pop-up is visible.
void WaitWhilePopupVisible();
