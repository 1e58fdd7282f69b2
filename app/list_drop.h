// Drag and drop between the main window's lists: each list asks the window
// whether a drag from a given source may land, and tells it of the drop.
// Nothing ever moves inside a list itself.
#pragma once

#include <functional>

#include <QDropEvent>
#include <QMimeData>
#include <QTreeWidget>

namespace zr {

struct DropHandlers {
  // Whether a drag from `source` (another list of the window, or null for a
  // drag from another program) may be dropped here.
  std::function<bool(QObject* source)> accepts;
  std::function<void(QObject* source)> dropped;
  // Files (URLs) dragged from another program: taken here, and the drop
  // decides (it refuses with a status text what it cannot send).
  std::function<void(const QMimeData* data)> droppedFromElsewhere;

  bool Accepts(QObject* source) const { return accepts && accepts(source); }
  bool FromElsewhere(const QDropEvent* event) const
  {
    return !event->source() && droppedFromElsewhere && event->mimeData() && event->mimeData()->hasUrls();
  }

  // For dragEnterEvent and dragMoveEvent.
  void Over(QDropEvent* event) const
  {
    if (FromElsewhere(event) || Accepts(event->source())) {
      // A copy: the source list must never remove the dragged rows.
      event->setDropAction(Qt::CopyAction);
      event->accept();
    } else {
      event->ignore();
    }
  }
  void Drop(QDropEvent* event) const
  {
    QObject* source = event->source();
    if (FromElsewhere(event)) {
      event->setDropAction(Qt::CopyAction);
      event->accept();
      droppedFromElsewhere(event->mimeData());
      return;
    }
    if (!Accepts(source)) {
      event->ignore();
      return;
    }
    event->setDropAction(Qt::CopyAction);
    event->accept();
    if (dropped)
      dropped(source);
  }
};

// A list of the window that takes drops from the others: what may land and
// what a drop starts is the business of `drop`.
class DropTreeWidget : public QTreeWidget {
public:
  using QTreeWidget::QTreeWidget;

  DropHandlers drop;

protected:
  void dragEnterEvent(QDragEnterEvent* event) override { drop.Over(event); }
  void dragMoveEvent(QDragMoveEvent* event) override { drop.Over(event); }
  void dropEvent(QDropEvent* event) override { drop.Drop(event); }
};

} // namespace zr
