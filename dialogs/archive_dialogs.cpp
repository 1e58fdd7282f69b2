#include "dialogs/archive_dialogs.h"

#include <algorithm>

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>
#include <QVBoxLayout>

#include "files/datatypes.h"

namespace zr {

namespace {

constexpr int PLACE_ROLE = Qt::UserRole; // the item's place in the archive

QTreeWidgetItem* AddCheckable(QTreeWidgetItem* parent, const QString& text, const QString& place, bool ticked)
{
  auto* item = new QTreeWidgetItem(parent, {text});
  item->setData(0, PLACE_ROLE, place);
  item->setFlags(item->flags() | Qt::ItemIsUserCheckable | Qt::ItemIsAutoTristate);
  item->setCheckState(0, ticked ? Qt::Checked : Qt::Unchecked);
  return item;
}

QString KindText(int type)
{
  if (!IsDataType(type))
    return {};
  return QString::fromLatin1(DataTypeTable[static_cast<std::size_t>(type)].name);
}

QDialogButtonBox* Buttons(QDialog* dialog, QDialogButtonBox::StandardButtons which)
{
  auto* buttons = new QDialogButtonBox(which, dialog);
  QObject::connect(buttons, &QDialogButtonBox::accepted, dialog, &QDialog::accept);
  QObject::connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
  return buttons;
}

} // namespace

ArchiveRestoreDialog::ArchiveRestoreDialog(const QString& folder, const ArchiveContents& archive,
                                           QWidget* parent,
                                           std::function<bool(QWidget*, const QString&)> confirmOs)
    : QDialog(parent)
{
  setObjectName(QStringLiteral("ArchiveRestoreDialog"));
  setWindowTitle(QStringLiteral("Restore everything"));
  auto* text = new QLabel(
      QStringLiteral("What is ticked goes back into the console from %1. Internal data that is restored "
                     "replaces what the console holds.")
          .arg(QDir::toNativeSeparators(folder)),
      this);
  text->setTextFormat(Qt::PlainText); // a folder name is never markup
  text->setWordWrap(true);

  items_ = new QTreeWidget(this);
  items_->setObjectName(QStringLiteral("RestoreItems"));
  items_->setAccessibleName(QStringLiteral("What to restore"));
  items_->setHeaderHidden(true);
  // The two groups tick and untick all below them; they are no place of the archive.
  const auto group = [this](const QString& caption) {
    return AddCheckable(items_->invisibleRootItem(), caption, QString(), true);
  };
  QTreeWidgetItem* card = group(QStringLiteral("Card files"));
  for (const std::string& name : archive.card)
    AddCheckable(card, QString::fromStdString(name), QStringLiteral("card/") + QString::fromStdString(name),
                 true);
  QTreeWidgetItem* internal = group(QStringLiteral("Internal memory"));
  QTreeWidgetItem* project = nullptr;
  QTreeWidgetItem* os = nullptr;
  for (int type = 0; type < DATA_TYPE_COUNT; ++type) {
    const auto name = std::find_if(archive.internal.begin(), archive.internal.end(),
                                   [type](const std::string& n) { return TypeOfFileName(n) == type; });
    if (name == archive.internal.end())
      continue;
    const bool library = type > 0 && type < OPERATING_SYSTEM_TYPE;
    const DataTypeRow& row = DataTypeTable[static_cast<std::size_t>(type)];
    const QString text = QString::fromLatin1(row.label) + u' ' + QString::fromLatin1(row.name);
    const QString place = QStringLiteral("internal/") + QString::fromStdString(*name);
    if (type == OPERATING_SYSTEM_TYPE) {
      // Never below a group: a group's tick reaches every item below it.
      os = AddCheckable(items_->invisibleRootItem(), text, place, false);
      os->setFlags(os->flags() & ~Qt::ItemIsAutoTristate);
      continue;
    }
    QTreeWidgetItem* item = AddCheckable(library && project ? project : internal, text, place, true);
    if (type == 0)
      project = item;
  }
  for (QTreeWidgetItem* empty : {card, internal})
    if (empty->childCount() == 0)
      delete empty;
  items_->expandAll();

  replace_ = new QCheckBox(QStringLiteral("Re&place files that exist on the card"), this);
  replace_->setObjectName(QStringLiteral("ReplaceExisting"));
  QDialogButtonBox* buttons = Buttons(this, QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
  ok_ = buttons->button(QDialogButtonBox::Ok);
  // Nothing ticked is nothing to do. A new operating system goes only
  // when the user said yes to it by name, as a restore of one always asks.
  const QString osPath =
      os ? QDir::toNativeSeparators(folder + u'/' + os->data(0, PLACE_ROLE).toString()) : QString();
  connect(items_, &QTreeWidget::itemChanged, this,
          [this, os, osPath, confirm = std::move(confirmOs)](QTreeWidgetItem* item) {
            if (item == os && os->checkState(0) == Qt::Checked && !asking_) {
              asking_ = true;
              const bool yes =
                  confirm &&
                  confirm(this,
                          QStringLiteral("Restore the operating system from %1?\n\nThe console's operating "
                                         "system is replaced by the one in this file.")
                              .arg(osPath));
              if (!yes)
                os->setCheckState(0, Qt::Unchecked);
              asking_ = false;
            }
            QTreeWidgetItemIterator it(items_, QTreeWidgetItemIterator::Checked);
            ok_->setEnabled(*it != nullptr);
          });

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(text);
  layout->addWidget(items_, 1);
  layout->addWidget(replace_);
  layout->addWidget(buttons);
  resize(420, 440);
}

ArchiveRestore ArchiveRestoreDialog::Choice() const
{
  ArchiveRestore what;
  // "Project (all)" goes only when all it holds is ticked; a part of it
  // goes as those library kinds.
  for (QTreeWidgetItemIterator it(items_); *it; ++it) {
    const QString place = (*it)->data(0, PLACE_ROLE).toString();
    if (place.isEmpty())
      continue;
    if ((*it)->checkState(0) != Qt::Checked)
      what.leaveOut.push_back(place.toStdString());
    else if (place.startsWith(QStringLiteral("internal/")) &&
             TypeOfFileName(place.toStdString()) == OPERATING_SYSTEM_TYPE)
      what.withOs = true;
  }
  return what;
}

bool ArchiveRestoreDialog::ReplaceExisting() const
{
  return replace_->isChecked();
}

ArchiveCompareDialog::ArchiveCompareDialog(const std::vector<Comparison>& comparisons, QWidget* parent)
    : QDialog(parent)
{
  setObjectName(QStringLiteral("ArchiveCompareDialog"));
  setWindowTitle(QStringLiteral("Compare with archive"));
  const QString summary = Summary(comparisons);
  auto* text = new QLabel(summary, this);
  text->setObjectName(QStringLiteral("Summary"));
  text->setTextFormat(Qt::PlainText);

  list_ = new QTreeWidget(this);
  list_->setObjectName(QStringLiteral("Comparisons"));
  list_->setAccessibleName(QStringLiteral("Files compared with the archive"));
  list_->setAccessibleDescription(summary);
  list_->setRootIsDecorated(false);
  list_->setUniformRowHeights(true);
  list_->setHeaderLabels({QStringLiteral("File"), QStringLiteral("Kind"), QStringLiteral("Result")});
  for (const Comparison& c : comparisons)
    new QTreeWidgetItem(list_, {QString::fromStdString(c.place), KindText(TypeOfFileName(c.place)),
                                QString::fromLatin1(VerdictText(c.verdict))});
  // By result at first: "differs" and the other differences come before "same".
  list_->setSortingEnabled(true);
  list_->sortByColumn(2, Qt::AscendingOrder);
  for (int column = 0; column < list_->columnCount(); ++column)
    list_->resizeColumnToContents(column);

  QDialogButtonBox* buttons = Buttons(this, QDialogButtonBox::Close);
  close_ = buttons->button(QDialogButtonBox::Close);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(text);
  layout->addWidget(list_, 1);
  layout->addWidget(buttons);
  resize(520, 400);
}

QString ArchiveCompareDialog::Summary(const std::vector<Comparison>& comparisons)
{
  const auto differ = std::count_if(comparisons.begin(), comparisons.end(),
                                    [](const Comparison& c) { return c.verdict != Verdict::Same; });
  return QStringLiteral("%1 of %2 files differ from the archive").arg(differ).arg(comparisons.size());
}

} // namespace zr
