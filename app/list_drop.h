// Drag and drop between the main window's lists: each list asks the window
// whether a drag from a given source may land, and tells it of the drop.
// Nothing ever moves inside a list itself.
#pragma once

#include <functional>

#include <QDropEvent>

namespace zr {

struct DropHandlers {
  // Whether a drag from `source` (another list of the window, or null for a
  // drag from another program) may be dropped here.
  std::function<bool(QObject* source)> accepts;
  std::function<void(QObject* source)> dropped;

  bool Accepts(QObject* source) const { return accepts && accepts(source); }

  // For dragEnterEvent and dragMoveEvent.
  void Over(QDropEvent* event) const
  {
    if (Accepts(event->source())) {
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

} // namespace zr
