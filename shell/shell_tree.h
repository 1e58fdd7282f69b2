// The PC folder tree (PTShellTree1): every folder of the file system, hidden
// ones included, following changes as they happen, with rename in place and
// a linked file list that shows the selected folder.
#pragma once

#include <functional>

#include <QPersistentModelIndex>
#include <QPointer>
#include <QTreeView>

#include "shell/shell_model.h"

namespace zr {

class TPTShellList;

class TPTShellTree : public QTreeView {
  Q_OBJECT
public:
  explicit TPTShellTree(QWidget *parent = nullptr);

  // The list that shows the selected folder from now on.
  void SetShellList(TPTShellList *list);

  // The selected folder's path with the platform's separators; empty when
  // nothing is selected.
  QString GetSelectedPathName() const;
  // Selects the folder, expanding the tree down to it. False (and nothing
  // changes) when there is no such folder.
  bool SetSelectedPathName(const QString &path);
  // Selects the ancestor `levels` up, or the topmost one on the way; nothing
  // happens when nothing is selected or the selection has no parent.
  void GoUp(int levels);
  // Creates "New Folder" ("New Folder (2)", ...) in the selected folder,
  // expands the selected folder and, when asked, starts editing the new
  // folder's name as soon as the tree shows it (Qt lists folders in the
  // background). The selection stays where it was.
  bool CreateNewFolder(bool edit);
  // Shows the selected folder in the linked list at once.
  void Synchronize(bool includeList);

  // The name a new folder gets when `folder` has none of that name yet.
  static QString NewFolderName(const QString &folder);
  // The folder the tree starts in: the user's documents folder, or the home
  // folder when there is no documents folder.
  static QString StartFolder();

  void SetErrorReporter(std::function<void(const QString &)> report);
  shell::ShellFileModel *Model() const { return model_; }

signals:
  void SelectedFolderChanged(const QString &path);
  // The user ended an in-place edit of a folder's name; `path` is the
  // folder's path afterwards (its old path when the rename failed).
  void Edited(const QString &path);
  // A folder node is about to go (its folder was removed or renamed).
  void ItemDeleted(const QString &path);
  // Something is dragged over a folder (`folder`, native separators) or
  // dropped on it; the tree takes the drag only when a receiver accepts.
  void DragOverFolder(QDropEvent *event, const QString &folder, bool *accept);
  void DropOnFolder(QDropEvent *event, const QString &folder);

protected:
  // A folder stays selected: clicks and keys that would only deselect it
  // (Ctrl+click, Ctrl+Space) do nothing.
  QItemSelectionModel::SelectionFlags selectionCommand(const QModelIndex &index,
                                                       const QEvent *event = nullptr) const override;
  bool edit(const QModelIndex &index, EditTrigger trigger, QEvent *event) override;
  void rowsAboutToBeRemoved(const QModelIndex &parent, int first, int last) override;
  void commitData(QWidget *editor) override;
  void closeEditor(QWidget *editor, QAbstractItemDelegate::EndEditHint hint) override;
  void contextMenuEvent(QContextMenuEvent *event) override;
  void updateGeometries() override;
  void mousePressEvent(QMouseEvent *event) override;
  void wheelEvent(QWheelEvent *event) override;
  void keyPressEvent(QKeyEvent *event) override;
  void dragEnterEvent(QDragEnterEvent *event) override;
  void dragMoveEvent(QDragMoveEvent *event) override;
  void dropEvent(QDropEvent *event) override;

private:
  void SelectIndex(const QModelIndex &index);
  // The folder under a drag's position, or "".
  QString FolderAt(const QPoint &position) const;
  // The selected folder went away (deleted or moved by another program):
  // its nearest ancestor that still exists is selected instead.
  void SelectNearestExisting();

  shell::ShellFileModel *model_;
  QPointer<TPTShellList> list_;
  QPersistentModelIndex editing_;
  // A new folder whose name the user is to type: editing starts as soon as
  // the folder shows up in the tree.
  QString pendingNameEdit_;
  // A folder selected by the program is kept in view while Qt's listings of
  // the folders above it come in and move the rows, until the user takes
  // over the tree (click, wheel, key, scroll bar).
  bool keepSelectionInView_ = false;
  // The selected folder's path while its node is being removed.
  QString lostSelection_;
  bool scrolling_ = false;
};

} // namespace zr
