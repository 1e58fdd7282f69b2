// A panel of the status bar: a text too long for it is cut short with an
// ellipsis and shown whole as its tool tip, and a screen reader hears the
// whole text each time it changes.
#pragma once

#include <QLabel>
#include <QResizeEvent>

#include <algorithm>

namespace zr {

class ElidingStatusPanel : public QLabel {
public:
  explicit ElidingStatusPanel(QWidget* parent = nullptr) : QLabel(parent) {}

  // What the panel is for a screen reader (its description), and what it
  // is called while it shows nothing, so that an empty panel is not silent.
  void SetPurpose(const QString& description, const QString& nameWhenEmpty)
  {
    setAccessibleDescription(description);
    nameWhenEmpty_ = nameWhenEmpty;
    Announce();
  }

  void SetFullText(const QString& text)
  {
    fullText_ = text;
    Elide();
    Announce();
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

  // The accessible name is the whole text, never the shortened one. Setting
  // it sends the name-changed event by which a screen reader speaks the new
  // status as it happens.
  void Announce() { setAccessibleName(fullText_.isEmpty() ? nameWhenEmpty_ : fullText_); }

  QString fullText_;
  QString nameWhenEmpty_;
};

} // namespace zr
