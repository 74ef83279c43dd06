#include "platform/filedialogs_qt.h"

#include <QEvent>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QPointer>
#include <QTimer>
#include <QTreeView>
#include <algorithm>

namespace {

// The widths a column's texts and its title ask for.
int NeededWidth(QTreeView& list, int column) {
  // Qt's item views answer the width of their visible items through a protected member that
  // is public on the base class.
  const QAbstractItemView& view = list;
  return std::max(view.sizeHintForColumn(column), list.header()->sectionSizeHint(column));
}

// Fits the columns of one dialog's detail list; lives as the dialog's child.
class TFileColumnsFitter : public QObject {
 public:
  TFileColumnsFitter(QFileDialog& dialog, QTreeView& list) : QObject(&dialog), List(&list) {
    dialog.installEventFilter(this);
    if (auto* model = qobject_cast<QFileSystemModel*>(list.model())) {
      connect(model, &QFileSystemModel::directoryLoaded, this, [this] { Schedule(); });
    }
  }

 protected:
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Show) Schedule();
    return false;
  }

 private:
  // Once the events at hand are done: the model sorts and the list lays itself out first.
  void Schedule() {
    if (Pending) return;
    Pending = true;
    QTimer::singleShot(0, this, [this] {
      Pending = false;
      Fit();
    });
  }

  void Fit() {
    if (!List) return;
    QHeaderView* header = List->header();
    const int last = header->logicalIndex(header->count() - 1);
    int others = 0;
    for (int column = 1; column < header->count(); ++column) {
      if (header->isSectionHidden(column)) continue;
      const int needed = NeededWidth(*List, column);
      if (header->sectionSize(column) < needed) header->resizeSection(column, needed);
      // A stretched last column takes whatever is left; it needs only its texts.
      others +=
          column == last && header->stretchLastSection() ? needed : header->sectionSize(column);
    }
    // The names take the room that is left: at least their texts, and no more than the room
    // unless their texts need it.
    const int room = List->viewport()->width() - others;
    const int names = NeededWidth(*List, 0);
    const int width =
        std::clamp(header->sectionSize(0), std::min(names, room), std::max(names, room));
    if (width != header->sectionSize(0)) header->resizeSection(0, width);
  }

  QPointer<QTreeView> List;
  bool Pending = false;
};

}  // namespace

void KeepFileColumnsWhole(QFileDialog& dialog) {
  // The detail list is the dialog's one tree view.
  if (auto* list = dialog.findChild<QTreeView*>()) new TFileColumnsFitter(dialog, *list);
}
