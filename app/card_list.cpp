#include "app/card_list.h"

#include <algorithm>

#include <QHeaderView>
#include <QScrollBar>

#include "shell/report_view.h"
#include "transfer/datatypes.h"

namespace zr {

namespace {
// The data type of a row lives in its own role: the list has no images.
constexpr int kTypeRole = Qt::UserRole + 1;
} // namespace

QString CardRowName(const std::string& entry)
{
  std::size_t end = entry.size();
  while (end > 0) {
    const auto c = static_cast<unsigned char>(entry[end - 1]);
    if (c > ' ' && c != 0x7F)
      break;
    --end;
  }
  return QString::fromLatin1(entry.data(), static_cast<qsizetype>(end));
}

CardListView::CardListView(QWidget* parent) : DropTreeWidget(parent)
{
  setObjectName(QStringLiteral("SolanoView"));
  setColumnCount(2);
  setHeaderLabels({QStringLiteral("Name"), QStringLiteral("Type")});
  shell::SetUpReportView(this, QAbstractItemView::ExtendedSelection);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setSortingEnabled(false); // the list sorts itself, one direction only
  setMinimumWidth(176);
  setToolTip(QStringLiteral("Files on the ZR4812 Card"));

  QHeaderView* h = header();
  h->setStretchLastSection(false);
  h->setSectionsMovable(false);
  h->setSectionsClickable(true);
  h->setSectionResizeMode(0, QHeaderView::Fixed);
  h->setSectionResizeMode(1, QHeaderView::Interactive);
  h->setMinimumSectionSize(1);
  setColumnWidth(0, kNameWidth);
  setColumnWidth(1, kTypeWidth);
  connect(h, &QHeaderView::sectionClicked, this, &CardListView::ViewColumnClick);
  // The Type column never gets narrower than the scroll bar leaves it.
  connect(h, &QHeaderView::sectionResized, this, [this](int section, int, int size) {
    if (section == 1 && size < kTypeWidthScrolled)
      setColumnWidth(1, kTypeWidthScrolled);
  });
}

void CardListView::ClearRows()
{
  clear();
  SolanoViewCustomDraw();
}

bool CardListView::HasRow(const QString& name, int type) const
{
  for (int i = 0; i < topLevelItemCount(); ++i) {
    const QTreeWidgetItem* item = topLevelItem(i);
    if (item->data(0, kTypeRole).toInt() == type && item->text(0) == name)
      return true;
  }
  return false;
}

int CardListView::AddEntries(int type, const std::vector<std::string>& names)
{
  if (!IsDataType(type))
    return 0;
  const QString typeName = QString::fromLatin1(DataTypeTable[type].name);
  int added = 0;
  for (const std::string& entry : names) {
    const QString name = CardRowName(entry);
    if (HasRow(name, type))
      continue;
    auto* item = new QTreeWidgetItem({name, typeName});
    item->setData(0, kTypeRole, type);
    addTopLevelItem(item);
    ++added;
  }
  if (added)
    SolanoViewCustomDraw();
  return added;
}

int CardListView::CompareFolded(const QString& a, const QString& b)
{
  const auto fold = [](QChar c) -> unsigned {
    const char16_t u = c.unicode();
    return (u >= 'a' && u <= 'z') ? u - ('a' - 'A') : u;
  };
  const qsizetype n = std::min(a.size(), b.size());
  for (qsizetype i = 0; i < n; ++i) {
    const unsigned x = fold(a[i]), y = fold(b[i]);
    if (x != y)
      return x < y ? -1 : 1;
  }
  return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

int CardListView::SolanoViewCompare(const QString& aName, const QString& aType, const QString& bName,
                                    const QString& bType, int column)
{
  if (column == 0)
    return CompareFolded(aName, bName);
  // A row without a type text keeps its place after the other.
  if (aType.isEmpty() || bType.isEmpty())
    return 1;
  return CompareFolded(aType, bType);
}

void CardListView::SortRows()
{
  const int n = topLevelItemCount();
  if (n <= 1)
    return;
  // Take the rows out and put them back in order; each item keeps its
  // selection state, which lives in the selection model by row, so note it.
  QList<QTreeWidgetItem*> rows;
  QList<QTreeWidgetItem*> selected = selectedItems();
  QTreeWidgetItem* current = currentItem();
  for (int i = n - 1; i >= 0; --i)
    rows.prepend(takeTopLevelItem(i));
  const int column = CardSortColumn;
  std::stable_sort(rows.begin(), rows.end(), [column](const QTreeWidgetItem* a, const QTreeWidgetItem* b) {
    return SolanoViewCompare(a->text(0), a->text(1), b->text(0), b->text(1), column) < 0;
  });
  addTopLevelItems(rows);
  const QSignalBlocker block(selectionModel());
  if (current)
    setCurrentItem(current, 0, QItemSelectionModel::NoUpdate);
  for (QTreeWidgetItem* item : selected)
    item->setSelected(true);
}

void CardListView::ViewColumnClick(int column)
{
  CardSortColumn = column;
  SortRows();
}

void CardListView::SelectAll1Click()
{
  selectAll();
  setFocus(Qt::OtherFocusReason);
}

void CardListView::SolanoViewCustomDraw()
{
  const int rows = topLevelItemCount();
  int fit = rows;
  if (rows > 0) {
    int rowHeight = QTreeWidget::rowHeight(model()->index(0, 0));
    if (rowHeight <= 0)
      rowHeight = std::max(1, sizeHintForRow(0));
    fit = viewport()->height() / rowHeight;
  }
  const int width = fit < rows ? kTypeWidthScrolled : kTypeWidth;
  if (columnWidth(1) != width)
    setColumnWidth(1, width);
}

bool CardListView::viewportEvent(QEvent* event)
{
  if (event->type() == QEvent::Paint)
    SolanoViewCustomDraw();
  return QTreeWidget::viewportEvent(event);
}

void CardListView::resizeEvent(QResizeEvent* event)
{
  QTreeWidget::resizeEvent(event);
  SolanoViewCustomDraw();
}

QString CardListView::RowName(int row) const
{
  const QTreeWidgetItem* item = topLevelItem(row);
  return item ? item->text(0) : QString();
}

QString CardListView::RowType(int row) const
{
  const QTreeWidgetItem* item = topLevelItem(row);
  return item ? item->text(1) : QString();
}

int CardListView::Count() const
{
  return topLevelItemCount();
}

bool CardListView::IsSelected(int index) const
{
  const QTreeWidgetItem* item = topLevelItem(index);
  return item && item->isSelected();
}

std::string CardListView::Caption(int index) const
{
  const QTreeWidgetItem* item = topLevelItem(index);
  return item ? item->text(0).toLatin1().toStdString() : std::string();
}

int CardListView::ImageIndex(int index) const
{
  const QTreeWidgetItem* item = topLevelItem(index);
  return item ? item->data(0, kTypeRole).toInt() : -1;
}

} // namespace zr
