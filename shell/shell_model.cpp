#include "shell/shell_model.h"

#include <QDir>
#include <QFileInfo>

#include "shell/file_commands.h"
#include "files/datatypes.h"

namespace zr::shell {

ShellFileModel::ShellFileModel(Kind kind, QObject *parent) : QFileSystemModel(parent), kind_(kind)
{
  // Renaming in place needs a writable model.
  setReadOnly(false);
  if (kind == Kind::Folders)
    setFilter(QDir::AllDirs | QDir::Drives | QDir::Hidden | QDir::NoDotAndDotDot);
  else
    setFilter(QDir::Files | QDir::System | QDir::NoDotAndDotDot);
}

QVariant ShellFileModel::data(const QModelIndex &index, int role) const
{
  // Qt's own Size column reads "2.00 KiB"; this list counts whole kilobytes.
  if (index.isValid() && index.column() == kSizeColumn && role == Qt::DisplayRole) {
    if (isDir(index))
      return QString();
    return SizeKbText(size(index));
  }
  // The console's files read as the card list names them, whatever the
  // system's file types call these extensions (if they know them at all).
  if (index.isValid() && index.column() == kTypeColumn && role == Qt::DisplayRole && !isDir(index)) {
    // (fileName() reads the display text of the cell it is given.)
    const int type = TypeOfFileName(fileName(index.siblingAtColumn(kNameColumn)).toStdString());
    if (IsDataType(type))
      return QString::fromLatin1(DataTypeTable[type].name);
  }
  // A screen reader on a file's row hears name, kind and size, not the name
  // alone: "SONG1.kpr, Project (all), 12 KB".
  if (index.isValid() && index.column() == kNameColumn && role == Qt::AccessibleTextRole &&
      kind_ == Kind::Files && !isDir(index)) {
    QStringList parts{fileName(index)};
    for (int column : {kTypeColumn, kSizeColumn}) {
      const QString text = data(index.siblingAtColumn(column), Qt::DisplayRole).toString();
      if (!text.isEmpty())
        parts.append(text);
    }
    return parts.join(QStringLiteral(", "));
  }
  return QFileSystemModel::data(index, role);
}

void ShellFileModel::Report(const QString &message) const
{
  if (reportError)
    reportError(message);
}

bool ShellFileModel::setData(const QModelIndex &index, const QVariant &value, int role)
{
  if (!index.isValid() || index.column() != kNameColumn || role != Qt::EditRole)
    return QFileSystemModel::setData(index, value, role);
  const QString oldName = fileName(index);
  QString newName = value.toString();
  if (renameHook)
    renameHook(index, newName);
  if (newName == oldName)
    return true;
  // Qt's model answers a failed rename with a message box of its own; the
  // usual reasons are caught here first, so they read the same as every
  // other message of the program.
  const QString folder = QFileInfo(filePath(index)).absolutePath();
  if (newName.trimmed().isEmpty() || newName == QStringLiteral(".") || newName == QStringLiteral("..") ||
      newName.contains(u'/') || newName.contains(QDir::separator())) {
    Report(QStringLiteral("The name \"%1\" cannot be used.").arg(newName));
    return false;
  }
  if (QFileInfo::exists(QDir(folder).filePath(newName))) {
    Report(QStringLiteral("Cannot rename %1: a file or folder named \"%2\" already exists.")
               .arg(oldName, newName));
    return false;
  }
  if (!QFileInfo(folder).isWritable()) {
    Report(QStringLiteral("Cannot rename %1: the folder cannot be written.").arg(oldName));
    return false;
  }
  return QFileSystemModel::setData(index, newName, role);
}

} // namespace zr::shell
