// What makes the window at home on a desktop: files dropped from a file
// manager onto the card list or Internal Files, card files dropped on a
// folder of the PC folder tree, backup and restore from menus and keys, and
// the file or folder that "Open with" passes at start.
#include <QAction>
#include <QDir>
#include <QDropEvent>
#include <QFileInfo>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QUrl>

#include "app/card_list.h"
#include "app/main_window.h"
#include "app/prompter.h"
#include "shell/shell_list.h"
#include "shell/shell_tree.h"
#include "files/datatypes.h"
#include "engine/engine.h"

namespace zr {

void TForm1::ConnectDesktop()
{
  solanoView_->drop.droppedFromElsewhere = [this](const QMimeData* data) {
    DropFromElsewhere(ListId::Card, data);
  };
  internalView_->drop.droppedFromElsewhere = [this](const QMimeData* data) {
    DropFromElsewhere(ListId::Internal, data);
  };

  // Card files dropped on a folder of the tree go there, as a drop on the PC
  // list goes to the folder it shows: the folder is selected first.
  connect(shellTree_, &TPTShellTree::DragOverFolder, this,
          [this](QDropEvent* event, const QString&, bool* accept) {
            *accept = event->source() == solanoView_ && parts().gestures.AcceptsDrop(ListId::Pc, ListId::Card);
          });
  connect(shellTree_, &TPTShellTree::DropOnFolder, this, [this](QDropEvent*, const QString& folder) {
    AfterDrop([this, folder] {
      if (!parts().engine.Running() && shellTree_->SetSelectedPathName(folder))
        PCViewDragDrop(ListId::Card);
    });
  });

  // One action each for the pop-up menu and the File menu, so that the key
  // works wherever the focus is.
  const auto make = [this](const char* name, const QString& caption, const QKeySequence& key,
                           void (TForm1::*handler)()) {
    auto* action = new QAction(caption, this);
    action->setObjectName(QString::fromLatin1(name));
    action->setShortcut(key);
    action->setShortcutContext(Qt::WindowShortcut);
    connect(action, &QAction::triggered, this, [this, handler] { (this->*handler)(); });
    addAction(action);
    return action;
  };
  QAction* backup = make("Backup", QStringLiteral("&Back up\u2026"), QKeySequence(Qt::CTRL | Qt::Key_B),
                         &TForm1::BackupClick);
  QAction* restore = make("RestoreFromFile", QStringLiteral("&Restore from file\u2026"),
                          QKeySequence(Qt::CTRL | Qt::Key_R), &TForm1::RestoreFromFileClick);
  popupMenu2_->addSeparator();
  popupMenu2_->addAction(backup);
  popupMenu2_->addAction(restore);
  if (QMenu* file = menuBar()->findChild<QMenu*>(QStringLiteral("File"))) {
    QAction* exit = Action("Exit");
    file->insertAction(exit, backup);
    file->insertAction(exit, restore);
    file->insertSeparator(exit);
  }
}

void TForm1::DropFromElsewhere(ListId target, const QMimeData* data)
{
  std::vector<std::string> paths;
  for (const QUrl& url : data->urls()) {
    if (!url.isLocalFile()) {
      ShowStatusText(
          QStringLiteral("Only files on this computer can be transferred: %1").arg(url.toDisplayString()));
      return;
    }
    paths.push_back(QDir::toNativeSeparators(url.toLocalFile()).toStdString());
  }
  AfterDrop([this, target, paths] { parts().gestures.DropPaths(target, paths); });
}

void TForm1::BackupClick()
{
  if (parts().engine.Running())
    return;
  if (internalView_->selectedItems().isEmpty()) {
    ShowStatusText(QStringLiteral("Select the kind of data to back up in Internal Files"));
    return;
  }
  PCViewDragDrop(ListId::Internal);
}

void TForm1::RestoreFromFileClick()
{
  if (parts().engine.Running())
    return;
  QStringList patterns;
  for (int type = 0; type < DATA_TYPE_COUNT; ++type)
    patterns << QStringLiteral("*.%1").arg(QString::fromLatin1(DataTypeTable[type].extension));
  const QStringList chosen = parts().prompter.AskOpenFileNames(
      this, QStringLiteral("Restore from file"), shellTree_->GetSelectedPathName(),
      QStringLiteral("ZR4812 files (%1)").arg(patterns.join(QLatin1Char(' '))));
  if (chosen.isEmpty())
    return;
  std::vector<std::string> paths;
  for (const QString& path : chosen)
    paths.push_back(QDir::toNativeSeparators(path).toStdString());
  parts().gestures.DropPaths(ListId::Internal, paths);
}

void TForm1::ShowPcPath(const QString& path)
{
  const QFileInfo info(path);
  if (!info.exists()) {
    ShowStatusText(QStringLiteral("Not found: %1").arg(QDir::toNativeSeparators(path)));
    return;
  }
  const QString folder =
      QDir::toNativeSeparators(info.isDir() ? info.absoluteFilePath() : info.absolutePath());
  if (!shellTree_->SetSelectedPathName(folder))
    return;
  ShowSelectedFolder();
  if (info.isDir())
    return;
  const QString name = info.fileName();
  const auto select = [list = pcView_, name] {
    const int item = list->IndexOfCaption(name, Qt::CaseSensitive);
    if (item < 0)
      return false;
    for (int i = list->FirstSelected(); i >= 0; i = list->NextSelected(i))
      list->SetSelected(i, false);
    list->SetSelected(item, true);
    return true;
  };
  if (select())
    return;
  // The list reads the folder in the background: the file is selected once
  // it is listed, unless another folder is shown by then.
  auto* waiting = new QMetaObject::Connection;
  *waiting = connect(pcView_, &TPTShellList::FolderChanged, this, [this, waiting, select, folder] {
    if (QDir::toNativeSeparators(pcView_->Folder()) == folder && !select())
      return;
    disconnect(*waiting);
    delete waiting;
  });
}

} // namespace zr
