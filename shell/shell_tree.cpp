#include "shell/shell_tree.h"

#include <QContextMenuEvent>
#include <QDesktopServices>
#include <QDir>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QHeaderView>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QScrollBar>
#include <QStandardPaths>
#include <QTimer>
#include <QUrl>

#include "shell/shell_list.h"

namespace zr {

using shell::ShellFileModel;

TPTShellTree::TPTShellTree(QWidget *parent)
    : QTreeView(parent), model_(new ShellFileModel(ShellFileModel::Kind::Folders, this))
{
  setObjectName(QStringLiteral("PTShellTree1"));
  SetErrorReporter([this](const QString &message) {
    QMessageBox::warning(this, QStringLiteral("ZR4812 File Exchange"), message);
  });
  // The whole file system: every drive, or "/" and everything below it.
  model_->setRootPath(QString());
  setModel(model_);
  for (int c = 1; c < model_->columnCount(); ++c)
    setColumnHidden(c, true);
  setHeaderHidden(true);
  setRootIsDecorated(false);
  setIndentation(19);
  setFrameShape(QFrame::NoFrame);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setEditTriggers(QAbstractItemView::EditKeyPressed | QAbstractItemView::SelectedClicked);
  setSortingEnabled(true);
  sortByColumn(0, Qt::AscendingOrder);
  // Drops are the window's to decide (DragOverFolder); the tree itself
  // never moves anything.
  setAcceptDrops(true);
  setDropIndicatorShown(true);
  // Without lines at the root level there is no button to open the top
  // node, so it starts open.
  expand(model_->index(QDir::rootPath()));

  connect(selectionModel(), &QItemSelectionModel::currentChanged, this,
          [this](const QModelIndex &, const QModelIndex &) {
            const QString path = GetSelectedPathName();
            if (list_)
              list_->ShowFolder(path);
            emit SelectedFolderChanged(path);
          });
  connect(model_, &QAbstractItemModel::rowsInserted, this,
          [this](const QModelIndex &parent, int first, int last) {
            if (pendingNameEdit_.isEmpty() || state() == QAbstractItemView::EditingState)
              return;
            for (int row = first; row <= last; ++row) {
              const QModelIndex index = model_->index(row, 0, parent);
              if (model_->filePath(index) == pendingNameEdit_) {
                scrollTo(index);
                edit(index, QAbstractItemView::AllEditTriggers, nullptr);
                return;
              }
            }
          });
  connect(verticalScrollBar(), &QScrollBar::actionTriggered, this,
          [this](int) { keepSelectionInView_ = false; });
  connect(model_, &QAbstractItemModel::rowsAboutToBeRemoved, this,
          [this](const QModelIndex &parent, int first, int last) {
            for (int row = first; row <= last; ++row)
              emit ItemDeleted(QDir::toNativeSeparators(model_->filePath(model_->index(row, 0, parent))));
          });
}

void TPTShellTree::SetShellList(TPTShellList *list)
{
  list_ = list;
  Synchronize(true);
}

void TPTShellTree::SetErrorReporter(std::function<void(const QString &)> report)
{
  model_->reportError = std::move(report);
}

QString TPTShellTree::GetSelectedPathName() const
{
  const QModelIndex index = currentIndex();
  if (!index.isValid() || !selectionModel()->isSelected(index))
    return QString();
  return QDir::toNativeSeparators(model_->filePath(index));
}

void TPTShellTree::SelectIndex(const QModelIndex &index)
{
  for (QModelIndex p = index.parent(); p.isValid(); p = p.parent())
    expand(p);
  keepSelectionInView_ = true;
  selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect);
  scrollTo(index);
}

void TPTShellTree::rowsAboutToBeRemoved(const QModelIndex &parent, int first, int last)
{
  // The selection goes with the node (or one above it). Qt's view is told
  // before the selection, and moves it to a neighbour here; the replacement
  // is chosen once the model has settled.
  const QModelIndex selected = currentIndex();
  if (selected.isValid() && selectionModel()->isSelected(selected) && lostSelection_.isEmpty())
    for (QModelIndex i = selected; i.isValid(); i = i.parent())
      if (i.parent() == parent && i.row() >= first && i.row() <= last) {
        lostSelection_ = model_->filePath(selected);
        QTimer::singleShot(0, this, &TPTShellTree::SelectNearestExisting);
        break;
      }
  QTreeView::rowsAboutToBeRemoved(parent, first, last);
}

void TPTShellTree::SelectNearestExisting()
{
  // Qt's view has moved the selection to a neighbour of the removed node,
  // if it had one; the parent is what the user expects.
  QString path = lostSelection_;
  lostSelection_.clear();
  if (path.isEmpty())
    return;
  while (!QFileInfo(path).isDir() && path != QDir::cleanPath(QFileInfo(path).absolutePath()))
    path = QDir::cleanPath(QFileInfo(path).absolutePath());
  SetSelectedPathName(path);
}

QString TPTShellTree::StartFolder()
{
  const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
  if (!documents.isEmpty() && QFileInfo(documents).isDir())
    return QDir::toNativeSeparators(documents);
  return QDir::toNativeSeparators(QDir::homePath());
}

QItemSelectionModel::SelectionFlags TPTShellTree::selectionCommand(const QModelIndex &index,
                                                                   const QEvent *event) const
{
  const QItemSelectionModel::SelectionFlags command = QTreeView::selectionCommand(index, event);
  if (command & QItemSelectionModel::Toggle) {
    if (index.isValid() && !selectionModel()->isSelected(index))
      return QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows;
    return QItemSelectionModel::NoUpdate;
  }
  if ((command & QItemSelectionModel::Deselect) ||
      ((command & QItemSelectionModel::Clear) && !(command & QItemSelectionModel::Select)))
    return QItemSelectionModel::NoUpdate;
  return command;
}

bool TPTShellTree::SetSelectedPathName(const QString &path)
{
  if (path.isEmpty())
    return false;
  const QFileInfo info(QDir::fromNativeSeparators(path));
  if (!info.isDir())
    return false;
  const QModelIndex index = model_->index(QDir::cleanPath(info.absoluteFilePath()));
  if (!index.isValid())
    return false;
  SelectIndex(index);
  return true;
}

void TPTShellTree::GoUp(int levels)
{
  const QModelIndex current = currentIndex();
  if (!current.isValid())
    return;
  QModelIndex target = current;
  for (int i = 0; i < levels && target.parent().isValid(); ++i)
    target = target.parent();
  if (target != current)
    SelectIndex(target);
}

QString TPTShellTree::NewFolderName(const QString &folder)
{
  const QDir dir(folder);
  const QString base = QStringLiteral("New Folder");
  if (!QFileInfo::exists(dir.filePath(base)))
    return base;
  for (int n = 2;; ++n) {
    const QString name = QStringLiteral("%1 (%2)").arg(base).arg(n);
    if (!QFileInfo::exists(dir.filePath(name)))
      return name;
  }
}

bool TPTShellTree::CreateNewFolder(bool editName)
{
  const QModelIndex current = currentIndex();
  if (!current.isValid())
    return false;
  const QDir parent(model_->filePath(current));
  const QString name = NewFolderName(parent.path());
  if (!parent.mkdir(name))
    return false;
  // The node is left to Qt's listing to add. Adding it here at once (what
  // the model's own mkdir does) races with a listing already under way,
  // which then removes the node again, and the name being typed with it.
  expand(current);
  if (model_->canFetchMore(current))
    model_->fetchMore(current);
  if (editName) {
    pendingNameEdit_ = parent.filePath(name);
    for (int row = 0; row < model_->rowCount(current); ++row) {
      const QModelIndex index = model_->index(row, 0, current);
      if (model_->filePath(index) == pendingNameEdit_) {
        scrollTo(index);
        edit(index, QAbstractItemView::AllEditTriggers, nullptr);
        break;
      }
    }
  }
  return true;
}

void TPTShellTree::Synchronize(bool includeList)
{
  if (includeList && list_)
    list_->ShowFolder(GetSelectedPathName());
}

bool TPTShellTree::edit(const QModelIndex &index, EditTrigger trigger, QEvent *event)
{
  const bool wasEditing = state() == QAbstractItemView::EditingState;
  const bool editing = QTreeView::edit(index, trigger, event);
  if (editing && !wasEditing && state() == QAbstractItemView::EditingState)
    editing_ = index;
  return editing;
}

void TPTShellTree::commitData(QWidget *editor)
{
  const QString oldPath = editing_.isValid() ? model_->filePath(editing_) : QString();
  const auto *line = qobject_cast<QLineEdit *>(editor);
  const QString typed = line ? line->text() : QString();
  QTreeView::commitData(editor);
  if (oldPath.isEmpty())
    return;
  // Renamed: the old path is gone and the typed one is there. Otherwise the
  // folder kept its name (unchanged, or the rename was refused).
  QString after = oldPath;
  const QString renamed = QDir(QFileInfo(oldPath).absolutePath()).filePath(typed);
  if (!typed.isEmpty() && !QFileInfo::exists(oldPath) && QFileInfo(renamed).isDir())
    after = renamed;
  editing_ = QPersistentModelIndex();
  emit Edited(QDir::toNativeSeparators(after));
}

void TPTShellTree::closeEditor(QWidget *editor, QAbstractItemDelegate::EndEditHint hint)
{
  // The user ended the edit (Enter, Escape, elsewhere clicked).
  pendingNameEdit_.clear();
  QTreeView::closeEditor(editor, hint);
}

void TPTShellTree::updateGeometries()
{
  QTreeView::updateGeometries();
  if (keepSelectionInView_ && !scrolling_ && currentIndex().isValid()) {
    scrolling_ = true;
    scrollTo(currentIndex());
    scrolling_ = false;
  }
}

void TPTShellTree::mousePressEvent(QMouseEvent *event)
{
  keepSelectionInView_ = false;
  QTreeView::mousePressEvent(event);
}

void TPTShellTree::wheelEvent(QWheelEvent *event)
{
  keepSelectionInView_ = false;
  QTreeView::wheelEvent(event);
}

void TPTShellTree::keyPressEvent(QKeyEvent *event)
{
  keepSelectionInView_ = false;
  QTreeView::keyPressEvent(event);
}

void TPTShellTree::contextMenuEvent(QContextMenuEvent *event)
{
  const QPersistentModelIndex index = indexAt(event->pos());
  if (!index.isValid())
    return;
  SelectIndex(index);
  QMenu menu(this);
  menu.addAction(QStringLiteral("&Open"), this,
                 [this, index] { QDesktopServices::openUrl(QUrl::fromLocalFile(model_->filePath(index))); });
  menu.addAction(QStringLiteral("Re&name"), this,
                 [this, index] { edit(index, QAbstractItemView::AllEditTriggers, nullptr); });
  menu.addAction(QStringLiteral("New &Folder"), this, [this] {
    if (!CreateNewFolder(true) && model_->reportError)
      model_->reportError(QStringLiteral("Cannot create new directory."));
  });
  menu.exec(event->globalPos());
}

QString TPTShellTree::FolderAt(const QPoint &position) const
{
  const QModelIndex index = indexAt(position);
  return index.isValid() ? QDir::toNativeSeparators(model_->filePath(index)) : QString();
}

void TPTShellTree::dragEnterEvent(QDragEnterEvent *event)
{
  dragMoveEvent(event);
}

void TPTShellTree::dragMoveEvent(QDragMoveEvent *event)
{
  const QString folder = FolderAt(event->position().toPoint());
  bool accept = false;
  if (!folder.isEmpty())
    emit DragOverFolder(event, folder, &accept);
  if (accept) {
    event->setDropAction(Qt::CopyAction);
    event->accept();
  } else {
    event->ignore();
  }
}

void TPTShellTree::dropEvent(QDropEvent *event)
{
  const QString folder = FolderAt(event->position().toPoint());
  bool accept = false;
  if (!folder.isEmpty())
    emit DragOverFolder(event, folder, &accept);
  if (!accept) {
    event->ignore();
    return;
  }
  event->setDropAction(Qt::CopyAction);
  event->accept();
  emit DropOnFolder(event, folder);
}

} // namespace zr
