// The file-system model behind the folder tree and the file list: Qt's model
// with the list's own Size column, the console's kind names in the Type
// column, renames that report their failures through the program, and no
// file operations on drop (the main window decides what a drop means).
#pragma once

#include <functional>

#include <QFileSystemModel>

namespace zr::shell {

class ShellFileModel : public QFileSystemModel {
  Q_OBJECT
public:
  enum class Kind { Folders, Files };
  ShellFileModel(Kind kind, QObject *parent = nullptr);

  Kind kind() const { return kind_; }

  // Called with the name the user typed before a rename; may change it.
  std::function<void(const QModelIndex &index, QString &newName)> renameHook;
  // Shows why a rename was refused.
  std::function<void(const QString &message)> reportError;

  QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
  bool setData(const QModelIndex &index, const QVariant &value, int role = Qt::EditRole) override;
  bool canDropMimeData(const QMimeData *, Qt::DropAction, int, int, const QModelIndex &) const override
  {
    return false;
  }
  bool dropMimeData(const QMimeData *, Qt::DropAction, int, int, const QModelIndex &) override
  {
    return false;
  }

  static constexpr int kNameColumn = 0;
  static constexpr int kSizeColumn = 1;
  static constexpr int kTypeColumn = 2;
  static constexpr int kDateColumn = 3;

private:
  void Report(const QString &message) const;
  Kind kind_;
};

} // namespace zr::shell
