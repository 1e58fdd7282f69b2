#include "app/card_list.h"

#include <algorithm>

#include <QHeaderView>
#include <QScrollBar>
#include <QStyle>

#include "shell/report_view.h"
#include "files/datatypes.h"

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
  h->setSectionResizeMode(0, QHeaderView::Interactive);
  h->setSectionResizeMode(1, QHeaderView::Interactive);
  h->setMinimumSectionSize(1);
  MeasureFont();
  SetWidth(0, nameWidth_);
  SetWidth(1, TypeWidth(false));
  connect(h, &QHeaderView::sectionClicked, this, &CardListView::ViewColumnClick);
  // The user's widths are kept; a column dragged narrower than its text
  // needs springs back.
  connect(h, &QHeaderView::sectionResized, this, [this](int section, int, int size) {
    if (settingWidth_)
      return;
    if (section == 0) {
      userNameWidth_ = size;
      if (size < nameWidth_)
        SetWidth(0, nameWidth_);
    } else if (section == 1) {
      userTypeWidth_ = size;
      if (size < typeWidthScrolled_)
        SetWidth(1, typeWidthScrolled_);
    }
  });
}

void CardListView::MeasureFont()
{
  const QFontMetrics metrics = fontMetrics();
  // The text of a cell is inset by the focus frame's margin and one pixel
  // on either side.
  const int margins = 2 * (style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, this) + 1);
  int widestChar = 0;
  for (char c = ' '; c <= '~'; ++c)
    widestChar = std::max(widestChar, metrics.horizontalAdvance(QLatin1Char(c)));
  nameWidth_ = std::max(kNameWidth, 8 * widestChar + margins);
  int widestType = 0;
  for (const DataTypeRow& row : DataTypeTable)
    widestType = std::max(widestType, metrics.horizontalAdvance(QString::fromLatin1(row.name)));
  typeWidthScrolled_ = std::max(kTypeWidthScrolled, widestType + margins);
}

void CardListView::SetWidth(int column, int width)
{
  if (columnWidth(column) == width)
    return;
  settingWidth_ = true;
  setColumnWidth(column, width);
  settingWidth_ = false;
}

void CardListView::changeEvent(QEvent* event)
{
  QTreeWidget::changeEvent(event);
  if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange) {
    MeasureFont();
    SolanoViewCustomDraw();
  }
}

void CardListView::ClearRows()
{
  clear();
  rowKeys_.clear();
  SolanoViewCustomDraw();
}

bool CardListView::AddRowKey(const QString& name, int type)
{
  // A set, not a walk over the rows: a console that floods the line with
  // names must not make each new one cost the whole list.
  const qsizetype before = rowKeys_.size();
  rowKeys_.insert(QString::number(type) + QLatin1Char(':') + name);
  return rowKeys_.size() != before;
}

int CardListView::AddEntries(int type, const std::vector<std::string>& names)
{
  if (!IsDataType(type))
    return 0;
  const QString typeName = QString::fromLatin1(DataTypeTable[type].name);
  int added = 0;
  for (const std::string& entry : names) {
    const QString name = CardRowName(entry);
    if (!AddRowKey(name, type))
      continue;
    auto* item = new QTreeWidgetItem({name, typeName});
    item->setData(0, kTypeRole, type);
    // A screen reader on the row hears both columns: "SONG1, Project (all)".
    item->setData(0, Qt::AccessibleTextRole, QStringLiteral("%1, %2").arg(name, typeName));
    addTopLevelItem(item);
    ++added;
  }
  if (added)
    SolanoViewCustomDraw();
  return added;
}

int CardListView::CompareFolded(const QString& a, const QString& b)
{
  // The engine's own order, so that the list and zr4812 list alike.
  return CompareIgnoringCase(a.toStdString(), b.toStdString());
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
  {
    // Taking the rows out deselects them one by one; the selection as a
    // whole is the same afterwards, and is announced once.
    const QSignalBlocker block(selectionModel());
    for (int i = n - 1; i >= 0; --i)
      rows.prepend(takeTopLevelItem(i));
    const int column = CardSortColumn;
    std::stable_sort(rows.begin(), rows.end(), [column](const QTreeWidgetItem* a, const QTreeWidgetItem* b) {
      return SolanoViewCompare(a->text(0), a->text(1), b->text(0), b->text(1), column) < 0;
    });
    addTopLevelItems(rows);
    if (current)
      setCurrentItem(current, 0, QItemSelectionModel::NoUpdate);
    for (QTreeWidgetItem* item : selected)
      item->setSelected(true);
  }
  if (!selected.isEmpty())
    emit itemSelectionChanged();
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
  SetWidth(0, std::max(nameWidth_, userNameWidth_));
  SetWidth(1, std::max(TypeWidth(fit < rows), userTypeWidth_));
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
