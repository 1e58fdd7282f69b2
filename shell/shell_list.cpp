#include "shell/shell_list.h"

#include <QClipboard>
#include <QDesktopServices>
#include <QDir>
#include <QDragEnterEvent>
#include <QFileInfo>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QHeaderView>
#include <QMessageBox>
#include <QMouseEvent>
#include <QTimer>
#include <QUrl>

#include "shell/file_commands.h"
#include "shell/report_view.h"

namespace zr {

using shell::ShellFileModel;

namespace {

QString CleanFolder(const QString &path)
{
  return path.isEmpty() ? QString() : QDir::cleanPath(QDir::fromNativeSeparators(path));
}

} // namespace

QString ShListData::GetSize() const
{
  return valid ? shell::SizeKbText(size) : QString();
}

ShellPrompter DefaultPrompter(QWidget *parent)
{
  QPointer<QWidget> owner(parent);
  return ShellPrompter{[owner](const QString &question) {
                         return QMessageBox::question(owner, QStringLiteral("ZR4812 File Exchange"), question,
                                                      QMessageBox::Yes | QMessageBox::No,
                                                      QMessageBox::No) == QMessageBox::Yes;
                       },
                       [owner](const QString &message) {
                         QMessageBox::warning(owner, QStringLiteral("ZR4812 File Exchange"), message);
                       }};
}

TPTShellList::TPTShellList(QWidget *parent) : QTreeView(parent), prompter_(DefaultPrompter(this))
{
  setObjectName(QStringLiteral("PCView"));
  shell::SetUpReportView(this, QAbstractItemView::ExtendedSelection);
  setEditTriggers(QAbstractItemView::EditKeyPressed | QAbstractItemView::SelectedClicked);
  setSortingEnabled(true);
  header()->setSortIndicator(sortColumn_, sortOrder_);
  // The last column (the date) takes what the window gives the list.
  header()->setStretchLastSection(true);
  connect(header(), &QHeaderView::sortIndicatorChanged, this, [this](int column, Qt::SortOrder order) {
    sortColumn_ = column;
    sortOrder_ = order;
  });
}

void TPTShellList::ShowFolder(const QString &path)
{
  const QString folder = CleanFolder(path);
  if (folder == folder_ && (model_ || folder.isEmpty()))
    return;
  Rebuild(folder);
}

void TPTShellList::FillItems()
{
  Rebuild(folder_);
}

// A fresh model for every folder: Qt's model lists a folder once and then
// only follows changes, so a fresh one is the way to read a folder again,
// and it always reports when its listing is complete.
void TPTShellList::Rebuild(const QString &folder)
{
  QList<int> widths;
  for (int c = 0; model_ && c < header()->count(); ++c)
    widths.append(header()->sectionSize(c));

  ShellFileModel *oldModel = model_;
  QItemSelectionModel *oldSelection = selectionModel();
  const bool hadSelection = oldSelection && oldSelection->hasSelection();
  folder_ = folder;
  model_ = nullptr;
  fillPending_ = false;

  if (!folder.isEmpty() && QFileInfo(folder).isDir()) {
    ShellFileModel *model = MakeFolderModel();
    model_ = model;
    fillPending_ = true;
    const QModelIndex root = model->setRootPath(folder);
    setModel(model);
    setRootIndex(root);
    sortByColumn(sortColumn_, sortOrder_);
    ForwardSelectionChanges();
    // A hidden view never asks for the rows itself.
    if (model->canFetchMore(root))
      model->fetchMore(root);
    for (int c = 0; c < widths.size() && c < header()->count(); ++c)
      header()->resizeSection(c, widths[c]);
  } else {
    setModel(nullptr);
    QTimer::singleShot(0, this, [this, folder] {
      if (!model_ && folder_ == folder)
        emit FolderChanged(folder_);
    });
  }
  delete oldSelection;
  if (oldModel)
    oldModel->deleteLater();
  // The new listing starts with nothing selected; whoever shows the
  // selection must hear that the old one is gone.
  if (hadSelection)
    emit SelectionChangedOnce();
}

ShellFileModel *TPTShellList::MakeFolderModel()
{
  auto *model = new ShellFileModel(ShellFileModel::Kind::Files, this);
  model->reportError = [this](const QString &message) { Report(message); };
  model->renameHook = [this](const QModelIndex &index, QString &newName) {
    if (editedHook_)
      editedHook_(index.row(), newName);
  };
  connect(model, &QFileSystemModel::fileRenamed, this,
          [this](const QString &path, const QString &oldName, const QString &newName) {
            emit Renamed(QDir(path).filePath(oldName), QDir(path).filePath(newName));
          });
  connect(model, &QFileSystemModel::directoryLoaded, this, [this, model](const QString &loaded) {
    if (model != model_ || !fillPending_ || CleanFolder(loaded) != folder_)
      return;
    fillPending_ = false;
    // Let the model finish its delayed sort before the list counts as full.
    QTimer::singleShot(0, this, [this, model] {
      if (model == model_)
        emit FolderChanged(folder_);
    });
  });
  return model;
}

void TPTShellList::ForwardSelectionChanges()
{
  connect(selectionModel(), &QItemSelectionModel::selectionChanged, this,
          [this](const QItemSelection &selected, const QItemSelection &deselected) {
            for (const QModelIndex &index : selected.indexes())
              if (index.column() == 0)
                emit SelectItem(index.row(), true);
            for (const QModelIndex &index : deselected.indexes())
              if (index.column() == 0)
                emit SelectItem(index.row(), false);
            emit SelectionChangedOnce();
          });
}

QModelIndex TPTShellList::IndexOf(int item) const
{
  if (!model_ || item < 0)
    return {};
  return model_->index(item, 0, rootIndex());
}

int TPTShellList::ItemCount() const
{
  return model_ ? model_->rowCount(rootIndex()) : 0;
}

QString TPTShellList::Caption(int item) const
{
  const QModelIndex index = IndexOf(item);
  return index.isValid() ? model_->fileName(index) : QString();
}

QString TPTShellList::FilePath(int item) const
{
  const QModelIndex index = IndexOf(item);
  return index.isValid() ? QDir::toNativeSeparators(model_->filePath(index)) : QString();
}

bool TPTShellList::IsSelected(int item) const
{
  return model_ && item >= 0 && item < ItemCount() && selectionModel()->isRowSelected(item, rootIndex());
}

void TPTShellList::SetSelected(int item, bool selected)
{
  const QModelIndex index = IndexOf(item);
  if (!index.isValid())
    return;
  selectionModel()->select(index, (selected ? QItemSelectionModel::Select : QItemSelectionModel::Deselect) |
                                      QItemSelectionModel::Rows);
}

int TPTShellList::SelCount() const
{
  int count = 0;
  for (int i = FirstSelected(); i >= 0; i = NextSelected(i))
    ++count;
  return count;
}

int TPTShellList::FirstSelected() const
{
  return NextSelected(-1);
}

int TPTShellList::NextSelected(int after) const
{
  const int count = ItemCount();
  for (int i = after < 0 ? 0 : after + 1; i < count; ++i)
    if (selectionModel()->isRowSelected(i, rootIndex()))
      return i;
  return -1;
}

int TPTShellList::IndexOfCaption(const QString &caption, Qt::CaseSensitivity cs) const
{
  const int count = ItemCount();
  for (int i = 0; i < count; ++i)
    if (Caption(i).compare(caption, cs) == 0)
      return i;
  return -1;
}

ShListData TPTShellList::GetShListData(int item) const
{
  ShListData data;
  const QModelIndex index = IndexOf(item);
  if (!index.isValid())
    return data;
  data.path = QDir::toNativeSeparators(model_->filePath(index));
  data.name = model_->fileName(index);
  data.size = model_->size(index);
  data.valid = true;
  return data;
}

QStringList TPTShellList::SelectedPaths() const
{
  QStringList paths;
  for (int i = FirstSelected(); i >= 0; i = NextSelected(i))
    paths.append(model_->filePath(IndexOf(i)));
  return paths;
}

bool TPTShellList::StartEdit(int item)
{
  const QModelIndex index = IndexOf(item);
  if (!index.isValid())
    return false;
  scrollTo(index);
  return edit(index, QAbstractItemView::AllEditTriggers, nullptr);
}

void TPTShellList::SelectAll()
{
  if (model_)
    selectAll();
}

void TPTShellList::SetColumnWidth(int column, int width)
{
  header()->resizeSection(column, width);
}

int TPTShellList::ColumnWidth(int column) const
{
  return header()->sectionSize(column);
}

int TPTShellList::ClientWidth() const
{
  return viewport()->width();
}

void TPTShellList::Report(const QString &message) const
{
  if (prompter_.report)
    prompter_.report(message);
}

bool TPTShellList::Confirm(const QString &question) const
{
  return prompter_.confirm && prompter_.confirm(question);
}

bool TPTShellList::DoCommandForAllSelected(const QString &verb)
{
  const QStringList paths = SelectedPaths();
  if (paths.isEmpty())
    return false;
  const QString command = verb.toLower();
  if (command == QStringLiteral("copy") || command == QStringLiteral("cut")) {
    QGuiApplication::clipboard()->setMimeData(
        shell::MakeFileClipboardData(paths, command == QStringLiteral("cut")));
    return true;
  }
  if (command == QStringLiteral("delete")) {
    const QString question =
        paths.size() == 1
            ? QStringLiteral("Do you really want to move \"%1\" to the trash?")
                  .arg(QFileInfo(paths.first()).fileName())
            : QStringLiteral("Do you really want to move these %1 files to the trash?").arg(paths.size());
    if (!Confirm(question))
      return false;
    const shell::CommandResult result = shell::MoveToTrash(paths);
    if (!result.ok())
      Report(result.failures.join(u'\n'));
    return result.ok();
  }
  Report(QStringLiteral("Unknown file command \"%1\".").arg(verb));
  return false;
}

bool TPTShellList::DoCommandForFolder(const QString &verb)
{
  if (verb.compare(QStringLiteral("paste"), Qt::CaseInsensitive) != 0) {
    Report(QStringLiteral("Unknown folder command \"%1\".").arg(verb));
    return false;
  }
  if (folder_.isEmpty())
    return false;
  QClipboard *clipboard = QGuiApplication::clipboard();
  const shell::ClipboardFiles files = shell::ReadFileClipboard(clipboard->mimeData());
  if (files.paths.isEmpty() && files.nonLocal == 0)
    return false; // nothing on the clipboard to paste
  shell::CommandResult result = shell::PasteFiles(files.paths, files.cut, folder_);
  if (files.nonLocal > 0)
    result.failures.append(
        QStringLiteral("%1 item(s) on the clipboard are not local files and were not pasted.")
            .arg(files.nonLocal));
  // Moved files are no longer where the clipboard says; file managers
  // empty it after pasting a cut for the same reason.
  if (files.cut && result.ok())
    clipboard->clear();
  if (!result.ok())
    Report(result.failures.join(u'\n'));
  return result.ok();
}

bool TPTShellList::edit(const QModelIndex &index, EditTrigger trigger, QEvent *event)
{
  const bool wasEditing = state() == QAbstractItemView::EditingState;
  const bool editing = QTreeView::edit(index, trigger, event);
  if (editing && !wasEditing && state() == QAbstractItemView::EditingState)
    emit EditingStarted(index.row());
  return editing;
}

void TPTShellList::keyPressEvent(QKeyEvent *event)
{
  // Files are copied and cut through the window's menu commands. Where a
  // command is switched off, the keys do nothing: the view's own reaction,
  // the current file's name as text on the clipboard, would replace what
  // the user put there.
  if (event->matches(QKeySequence::Copy) || event->matches(QKeySequence::Cut)) {
    event->accept();
    return;
  }
  QTreeView::keyPressEvent(event);
}

void TPTShellList::mouseDoubleClickEvent(QMouseEvent *event)
{
  const QModelIndex index = indexAt(event->position().toPoint());
  if (!index.isValid() || event->button() != Qt::LeftButton) {
    QTreeView::mouseDoubleClickEvent(event);
    return;
  }
  bool handled = false;
  emit DblClickOpen(index.row(), &handled);
  if (!handled && model_)
    QDesktopServices::openUrl(QUrl::fromLocalFile(model_->filePath(index.siblingAtColumn(0))));
  event->accept();
}

void TPTShellList::dragEnterEvent(QDragEnterEvent *event)
{
  dragMoveEvent(event);
}

void TPTShellList::dragMoveEvent(QDragMoveEvent *event)
{
  bool accept = false;
  emit DragOverList(event, &accept);
  if (accept)
    event->acceptProposedAction();
  else
    event->ignore();
}

void TPTShellList::dropEvent(QDropEvent *event)
{
  emit DropOnList(event);
  event->acceptProposedAction();
}

} // namespace zr
