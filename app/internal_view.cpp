#include "app/internal_view.h"

#include <algorithm>

#include <QApplication>
#include <QHeaderView>
#include <QPainter>
#include <QStyledItemDelegate>

#include "shell/report_view.h"

namespace zr {

namespace {

// Where a row's type name starts: 30 pixels in, or, in a font wider than the
// one the list was laid out for, just far enough not to touch the widest label.
int NameX(const QFontMetrics& metrics, const TypeTexts& labels)
{
  int widestLabel = 0;
  for (const QString& label : labels)
    widestLabel = std::max(widestLabel, metrics.horizontalAdvance(label));
  return std::max(InternalListView::kNameX, InternalListView::kLabelX + widestLabel + 3);
}

// InternalViewDrawItem: the type's label and, a little further right, its
// name, both at the row's top, in the list's own font and colours.
class InternalRowDelegate : public QStyledItemDelegate {
public:
  InternalRowDelegate(const TypeTexts& labels, const TypeTexts& names, QObject* parent)
      : QStyledItemDelegate(parent), labels_(labels), names_(names)
  {
  }

  void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override
  {
    const int type = index.row();
    if (type < 0 || type >= DATA_TYPE_COUNT)
      return;
    const bool selected = option.state & QStyle::State_Selected;
    // The selection shows as a highlight: without one only the status bar
    // would tell which kind is about to be backed up.
    if (selected)
      painter->fillRect(option.rect, option.palette.brush(QPalette::Highlight));
    painter->save();
    painter->setFont(option.font);
    painter->setPen(option.palette.color(selected ? QPalette::HighlightedText : QPalette::Text));
    const QRect r = option.rect;
    const int flags = Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine;
    const int nameX = NameX(option.fontMetrics, labels_);
    painter->drawText(QRect(r.left() + InternalListView::kLabelX, r.top(), r.width(), r.height()), flags,
                      labels_[type]);
    painter->drawText(QRect(r.left() + nameX, r.top(), r.width(), r.height()), flags, names_[type]);
    painter->restore();
  }

  // As tall as a row without text, as the rows always were: paint() puts
  // the text in its own places, whatever the style would make room for.
  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override
  {
    QStyleOptionViewItem plain = option;
    initStyleOption(&plain, index);
    plain.features &= ~QStyleOptionViewItem::HasDisplay;
    plain.text.clear();
    const QStyle* style = plain.widget ? plain.widget->style() : QApplication::style();
    return style->sizeFromContents(QStyle::CT_ItemViewItem, &plain, QSize(), plain.widget);
  }

private:
  const TypeTexts& labels_;
  const TypeTexts& names_;
};

// A row of the list: its text, "KPR: Project (all)", comes from the window's
// tables, so that a screen reader reads it and typing "ksn" finds Snapshots.
// The delegate draws it in two places, so the view never paints it itself.
class InternalRow : public QTreeWidgetItem {
public:
  InternalRow(int type, const TypeTexts& labels, const TypeTexts& names)
      : type_(type), labels_(labels), names_(names)
  {
  }

  QVariant data(int column, int role) const override
  {
    if (column == 0 && (role == Qt::DisplayRole || role == Qt::AccessibleTextRole)) {
      if (labels_[type_].isEmpty())
        return QString(); // before the first show
      return QString(labels_[type_] + u' ' + names_[type_]);
    }
    return QTreeWidgetItem::data(column, role);
  }

private:
  int type_;
  const TypeTexts& labels_;
  const TypeTexts& names_;
};

} // namespace

InternalListView::InternalListView(const TypeTexts& labels, const TypeTexts& names, QWidget* parent)
    : DropTreeWidget(parent), names_(names)
{
  setObjectName(QStringLiteral("InternalView"));
  setColumnCount(1);
  setHeaderLabels({QStringLiteral("Type")});
  shell::SetUpReportView(this, QAbstractItemView::SingleSelection);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setItemDelegate(new InternalRowDelegate(labels, names, this));

  QHeaderView* h = header();
  h->setStretchLastSection(false);
  h->setSectionsMovable(false);
  h->setSectionResizeMode(0, QHeaderView::Fixed);
  setColumnWidth(0, kColumnWidth);

  for (int type = 0; type < DATA_TYPE_COUNT; ++type)
    addTopLevelItem(new InternalRow(type, labels, names));
}

int InternalListView::FitToRows()
{
  // The table's texts: the window's copies are empty until its first show.
  TypeTexts labels;
  for (int type = 0; type < DATA_TYPE_COUNT; ++type)
    labels[type] = QString::fromLatin1(DataTypeTable[type].label);
  const QFontMetrics metrics(font());
  const int nameX = NameX(metrics, labels);
  int widest = 0;
  for (const DataTypeRow& row : DataTypeTable)
    widest = std::max(widest, nameX + metrics.horizontalAdvance(QString::fromLatin1(row.name)));
  const int column = std::max(kColumnWidth, widest + kLabelX);
  setColumnWidth(0, column);
  return column + 2 * frameWidth();
}

void InternalListView::SelectAll2Click()
{
  for (int type = 0; type < DATA_TYPE_COUNT; ++type)
    setCurrentItem(topLevelItem(type));
}

bool InternalListView::IsSelected(int index) const
{
  const QTreeWidgetItem* item = index >= 0 && index < DATA_TYPE_COUNT ? topLevelItem(index) : nullptr;
  return item && item->isSelected();
}

std::string InternalListView::Caption(int index) const
{
  if (index < 0 || index >= DATA_TYPE_COUNT)
    return {};
  // Before the first show the window's table is still empty.
  return names_[index].isEmpty() ? DataTypeTable[index].name : names_[index].toStdString();
}

} // namespace zr
