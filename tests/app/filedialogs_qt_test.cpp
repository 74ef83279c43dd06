#include "platform/filedialogs_qt.h"

#include <QFileDialog>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QTreeView>
#include <string>

#include "app/runscreen.h"
#include "tests/app/app_support.h"
#include "tests/support/test_paths.h"

namespace {

class FileDialogColumnsTest : public DesignFontGuiTest {};

// Whether the detail list shows the folder's entries and every text of them whole, within
// the list's width. False while the folder is being read.
bool EveryTextWhole(QTreeView& list, int entries, std::string& cut) {
  auto* model = qobject_cast<QFileSystemModel*>(list.model());
  if (!model || model->rowCount(list.rootIndex()) != entries) return false;
  const QAbstractItemView& view = list;
  QHeaderView* header = list.header();
  cut.clear();
  for (int row = 0; row < entries; ++row) {
    for (int column = 0; column < header->count(); ++column) {
      const QModelIndex index = model->index(row, column, list.rootIndex());
      const QString text = index.data().toString();
      // Sizes and dates arrive after the names.
      if (column == 3 && text.isEmpty()) return false;
      if (view.sizeHintForIndex(index).width() > header->sectionSize(column)) {
        cut = text.toStdString();
      }
    }
  }
  if (header->length() > list.viewport()->width()) cut = "the list is wider than its view";
  return cut.empty();
}

TEST_F(FileDialogColumnsTest, SizeTypeAndDateOfSavedRunsShowWhole) {
  ScratchFolder folder;
  // Saved runs as the program writes them: the stamp, then binary values.
  folder.WriteFile("cabinet.qvs", std::string("\x34\x12\xED\x5E", 4) + std::string(261, '\0'));
  folder.WriteFile("rack 42U, perforated door.qvs",
                   std::string("\x34\x12\xED\x5E", 4) + std::string(1532, '\0'));
  const int entries = 2;
  struct Row {
    std::string name;
    bool save;
    int narrowedTo;  // 0: the widths the dialog comes with (Qt's, or those it kept last time)
  };
  const Row rows[] = {
      {"Save...", true, 0},
      {"Open...", false, 0},
      {"Open... with columns a user narrowed", false, 30},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    TExecScreenForm form;
    QFileDialog* dialog = row.save ? form.SaveDialog() : form.OpenDialog();
    dialog->setDirectory(QString::fromStdString(folder.Path().string()));
    auto* list = dialog->findChild<QTreeView*>();
    ASSERT_NE(list, nullptr);
    if (row.narrowedTo) {
      list->header()->setStretchLastSection(false);
      for (int column = 0; column < list->header()->count(); ++column) {
        list->header()->resizeSection(column, row.narrowedTo);
      }
      list->header()->setStretchLastSection(true);
    }
    std::string cut;
    // Left waiting (and failed) when the texts never come to show whole.
    ModalRobot robot({[&](QWidget* modal) {
      if (modal != dialog || !EveryTextWhole(*list, entries, cut)) return false;
      dialog->reject();
      return true;
    }});
    std::string chosen;
    row.save ? form.ExecuteSaveDialog(chosen) : form.ExecuteOpenDialog(chosen);
    EXPECT_TRUE(robot.Done()) << "cut: " << cut;
  }
}

}  // namespace
