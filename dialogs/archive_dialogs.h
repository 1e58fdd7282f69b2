// The two dialogs of an archive folder: what of it to restore, and how it
// compares with the console.
#pragma once

#include <functional>
#include <vector>

#include <QDialog>

#include "files/archive_check.h"
#include "jobs/console_job.h"

class QCheckBox;
class QLabel;
class QPushButton;
class QTreeWidget;

namespace zr {

// "Restore everything...": the archive's card files and internal kinds, each
// with a check box, all ticked but the operating system. The seven library
// kinds stand below "Project (all)", which is what they are together. The
// operating system stands alone, outside every group: no click on a group
// ticks it, and ticking it asks `confirmOs` (given the question, naming the
// file) first; without `confirmOs` it cannot be ticked.
class ArchiveRestoreDialog : public QDialog {
  Q_OBJECT
public:
  ArchiveRestoreDialog(const QString& folder, const ArchiveContents& archive, QWidget* parent = nullptr,
                       std::function<bool(QWidget*, const QString&)> confirmOs = {});

  // What the user chose: everything not ticked is left out; the operating
  // system goes when ticked.
  ArchiveRestore Choice() const;
  // "Replace files that exist on the card" (off at first).
  bool ReplaceExisting() const;

  QTreeWidget* Items() const { return items_; }
  QCheckBox* Replace() const { return replace_; }

private:
  QTreeWidget* items_;
  QCheckBox* replace_;
  QPushButton* ok_;
  bool asking_ = false; // the operating system's question is open
};

// "Compare with archive...": every file of the archive and of the card with
// what the comparison found, in a list that sorts by any column.
class ArchiveCompareDialog : public QDialog {
  Q_OBJECT
public:
  ArchiveCompareDialog(const std::vector<Comparison>& comparisons, QWidget* parent = nullptr);

  // "3 of 21 files differ from the archive", or that all are the same.
  static QString Summary(const std::vector<Comparison>& comparisons);

  QTreeWidget* List() const { return list_; }
  QPushButton* CloseButton() const { return close_; }

private:
  QTreeWidget* list_;
  QPushButton* close_;
};

} // namespace zr
