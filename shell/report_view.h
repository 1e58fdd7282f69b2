// What the window's report-style lists have in common: flat rows that are
// selected whole, drags that start from a row, and drops that are always
// copies (no list ever moves its own rows about).
#pragma once

#include <QTreeView>

namespace zr::shell {

inline void SetUpReportView(QTreeView *view, QAbstractItemView::SelectionMode selection)
{
  view->setRootIsDecorated(false);
  view->setItemsExpandable(false);
  view->setUniformRowHeights(true);
  view->setAllColumnsShowFocus(true);
  view->setSelectionMode(selection);
  view->setSelectionBehavior(QAbstractItemView::SelectRows);
  view->setDragEnabled(true);
  view->setAcceptDrops(true);
  view->setDragDropMode(QAbstractItemView::DragDrop);
  view->setDefaultDropAction(Qt::CopyAction);
}

} // namespace zr::shell
