// The PC file list (PCView): the files of one folder, without subfolders,
// in four columns (Name, Size in KB, Type, Date modified), with several
// items selectable, in-place rename, drag start and the file commands.
#pragma once

#include <functional>

#include <QPointer>
#include <QTreeView>

#include "shell/shell_model.h"

class QDragMoveEvent;
class QDropEvent;

namespace zr {

// The file-system data of one list item.
struct ShListData {
  QString path;
  QString name;
  qint64 size = 0;
  bool valid = false;
  // The Size column's text, "1,234 KB".
  QString GetSize() const;
};

// How the shell controls ask and tell the user. The defaults are message
// boxes; tests answer through their own functions.
struct ShellPrompter {
  std::function<bool(const QString &question)> confirm;
  std::function<void(const QString &message)> report;
};
ShellPrompter DefaultPrompter(QWidget *parent);

class TPTShellList : public QTreeView {
  Q_OBJECT
public:
  explicit TPTShellList(QWidget *parent = nullptr);

  // The folder shown. Showing another folder lists it anew; FolderChanged
  // follows once the listing is complete (Qt reads folders in the background).
  void ShowFolder(const QString &path);
  QString Folder() const { return folder_; }
  // Reads the shown folder again and rebuilds the list.
  void FillItems();

  // Items, by position in list order (0 = top row).
  int ItemCount() const;
  QString Caption(int item) const;
  QString FilePath(int item) const;
  bool IsSelected(int item) const;
  void SetSelected(int item, bool selected);
  int SelCount() const;
  // -1 when there is none.
  int FirstSelected() const;
  int NextSelected(int after) const;
  // The item whose caption is `caption`, or -1.
  int IndexOfCaption(const QString &caption, Qt::CaseSensitivity cs = Qt::CaseInsensitive) const;
  ShListData GetShListData(int item) const;
  QString SizeText(int item) const { return GetShListData(item).GetSize(); }
  QStringList SelectedPaths() const;
  // Starts editing the item's name in place.
  bool StartEdit(int item);
  // Selects every item in one update.
  void SelectAll();

  void SetColumnWidth(int column, int width);
  int ColumnWidth(int column) const;
  int ClientWidth() const;

  // "copy", "cut" or "delete" on the selected items. Copy and cut put the
  // files on the system clipboard; delete asks once and moves them to the
  // trash. False when nothing was done or something failed (and was told).
  bool DoCommandForAllSelected(const QString &verb);
  // "paste": the clipboard's files into the shown folder. Names already
  // there are not overwritten: the pasted file becomes "name (copy).ext".
  bool DoCommandForFolder(const QString &verb);

  // Receives the name the user typed when an in-place rename ends, and may
  // change it before the file is renamed.
  void SetEditedHook(std::function<void(int item, QString &newName)> hook) { editedHook_ = std::move(hook); }
  void SetPrompter(ShellPrompter prompter) { prompter_ = std::move(prompter); }

  shell::ShellFileModel *Model() const { return model_; }

signals:
  // One per item whose selection changed, like a list view's select event.
  void SelectItem(int item, bool selected);
  // Once per change of the selection, after the SelectItem signals.
  void SelectionChangedOnce();
  // The list has been filled for a newly shown folder (or by FillItems).
  void FolderChanged(const QString &folder);
  // A double-click on an item; set *handled to stop the list opening the file.
  void DblClickOpen(int item, bool *handled);
  void EditingStarted(int item);
  void Renamed(const QString &oldPath, const QString &newPath);
  // Something is dragged over the list or dropped on it; the list accepts
  // nothing unless a receiver sets *accept.
  void DragOverList(QDragMoveEvent *event, bool *accept);
  void DropOnList(QDropEvent *event);

protected:
  bool edit(const QModelIndex &index, EditTrigger trigger, QEvent *event) override;
  void keyPressEvent(QKeyEvent *event) override;
  void mouseDoubleClickEvent(QMouseEvent *event) override;
  void dragEnterEvent(QDragEnterEvent *event) override;
  void dragMoveEvent(QDragMoveEvent *event) override;
  void dropEvent(QDropEvent *event) override;

private:
  void Rebuild(const QString &folder);
  // The model of a folder's files, its hooks and signals wired to the list.
  shell::ShellFileModel *MakeFolderModel();
  // The selection model's changes as SelectItem for each row and one
  // SelectionChangedOnce.
  void ForwardSelectionChanges();
  QModelIndex IndexOf(int item) const;
  void Report(const QString &message) const;
  bool Confirm(const QString &question) const;

  QString folder_;
  shell::ShellFileModel *model_ = nullptr;
  bool fillPending_ = false;
  std::function<void(int, QString &)> editedHook_;
  ShellPrompter prompter_;
  int sortColumn_ = 0;
  Qt::SortOrder sortOrder_ = Qt::AscendingOrder;
};

} // namespace zr
