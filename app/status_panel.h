// A panel of the status bar that shows a text too long for it cut short with
// an ellipsis, and the whole text as its tool tip.
#pragma once

#include <QLabel>
#include <QResizeEvent>

#include <algorithm>

namespace zr {

class ElidingStatusPanel : public QLabel {
public:
  explicit ElidingStatusPanel(QWidget* parent = nullptr) : QLabel(parent) {}

  void SetFullText(const QString& text)
  {
    fullText_ = text;
    Elide();
  }
  const QString& FullText() const { return fullText_; }

protected:
  void resizeEvent(QResizeEvent* event) override
  {
    QLabel::resizeEvent(event);
    Elide();
  }

private:
  void Elide()
  {
    const int room = contentsRect().width() - 2 * std::max(0, indent()) - 2 * margin();
    const QString shown = fontMetrics().elidedText(fullText_, Qt::ElideRight, std::max(0, room));
    setText(shown);
    setToolTip(shown == fullText_ ? QString() : fullText_);
  }

  QString fullText_;
};

} // namespace zr
