#include "dialogs/progress_form.h"

#include <algorithm>

#include <QCloseEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMainWindow>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QWindow>

namespace zr {

namespace {

// The dialog's own small icon: two pages with an arrow between them.
QIcon TransferIcon()
{
  QPixmap pixmap(16, 16);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.setPen(QColor(60, 60, 60));
  p.setBrush(Qt::white);
  p.drawRect(0, 2, 6, 9);
  p.drawRect(9, 5, 6, 9);
  p.setPen(QPen(QColor(0, 120, 0), 2));
  p.drawLine(4, 13, 10, 3);
  p.drawLine(10, 3, 7, 4);
  p.drawLine(10, 3, 10, 6);
  return QIcon(pixmap);
}

// The classic abort picture, for styles that have none of their own: a red
// disc with a white cross.
QIcon AbortIcon(const QStyle *style)
{
  QIcon icon = style->standardIcon(QStyle::SP_DialogAbortButton);
  if (!icon.isNull())
    return icon;
  QPixmap pixmap(16, 16);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(QPen(QColor(120, 0, 0), 1));
  p.setBrush(QColor(210, 30, 30));
  p.drawEllipse(QRectF(1, 1, 14, 14));
  p.setPen(QPen(Qt::white, 2, Qt::SolidLine, Qt::RoundCap));
  p.drawLine(QPointF(5.5, 5.5), QPointF(10.5, 10.5));
  p.drawLine(QPointF(10.5, 5.5), QPointF(5.5, 10.5));
  return QIcon(pixmap);
}

} // namespace

TProgressForm::TProgressForm(QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint)
{
  setObjectName(QStringLiteral("ProgressForm"));
  setWindowTitle(QString());
  setWindowIcon(TransferIcon());
  QFont small = font();
  small.setPointSize(8);
  setFont(small);
  resize(194, 65);
  setMinimumSize((kMinimumWindow - kFrame).expandedTo(QSize(1, 1)));
  setMaximumSize(kMaximumWindow - kFrame);

  progressBar1_ = new QProgressBar(this);
  progressBar1_->setObjectName(QStringLiteral("ProgressBar1"));
  progressBar1_->setGeometry(8, 8, 152, 16);
  progressBar1_->setRange(0, 100);
  progressBar1_->setValue(0);
  progressBar1_->setTextVisible(false);
  progressBar1_->setAccessibleName(QStringLiteral("Transfer progress"));

  label1_ = new QLabel(QStringLiteral("0%"), this);
  label1_->setObjectName(QStringLiteral("Label1"));
  label1_->move(168, 10);
  // Room for "100%", so the label never clips as the number grows; a font
  // wider than the one the dialog was laid out for widens the dialog a little.
  label1_->resize(label1_->fontMetrics().horizontalAdvance(QStringLiteral("100%")) + 4,
                  label1_->sizeHint().height());
  resize(std::max(width(), label1_->geometry().right() + 1 + 4), height());

  cancelBtn_ = new QPushButton(AbortIcon(style()), QStringLiteral("Cancel"), this);
  cancelBtn_->setObjectName(QStringLiteral("CancelBtn"));
  cancelBtn_->setGeometry(48, 32, 73, 25);
  cancelBtn_->setAutoDefault(false);
  cancelBtn_->setAccessibleDescription(QStringLiteral("Stops the transfer at the next block"));
  connect(cancelBtn_, &QPushButton::clicked, this, [this] { CancelBtnClick(); });
  setFocusProxy(cancelBtn_);
}

void TProgressForm::SetMaximum(int maximum)
{
  progressBar1_->setMaximum(maximum);
}

void TProgressForm::SetPosition(int position)
{
  progressBar1_->setValue(position);
}

void TProgressForm::SetLabel(const QString &text)
{
  label1_->setText(text);
}

QList<QWidget *> TProgressForm::InputParts() const
{
  // Not the window itself: a disabled window disables its child windows
  // too, and a box or the port setup dialog shown during the transfer would
  // stand there greyed out, deaf to the keyboard and the mouse.
  if (auto *main = qobject_cast<QMainWindow *>(mainWindow_.data())) {
    QList<QWidget *> parts;
    for (QWidget *part : {main->centralWidget(), main->menuWidget()})
      if (part)
        parts.append(part);
    return parts;
  }
  return {mainWindow_.data()};
}

void TProgressForm::FormShow()
{
  shown_ = true;
  UpdateInputBlock();
}

void TProgressForm::FormHide()
{
  shown_ = false;
  UpdateInputBlock();
}

void TProgressForm::SetBatchRunning(bool running)
{
  batchRunning_ = running;
  UpdateInputBlock();
}

void TProgressForm::UpdateInputBlock()
{
  // The lists and menus stay off from the start of a batch to its end, the
  // wait for the first block and the pause between files included, so that
  // a second drop cannot re-target a running transfer.
  const bool block = shown_ || batchRunning_;
  if (!mainWindow_ || block == inputBlocked_)
    return;
  if (block) {
    // Disabling the lists takes the focus from them; the user carries on
    // with the keyboard where he was when the transfer ends.
    focusBefore_ = mainWindow_->focusWidget();
    for (QWidget *part : InputParts())
      part->setEnabled(false);
    inputBlocked_ = true;
    return;
  }
  for (QWidget *part : InputParts())
    part->setEnabled(true);
  inputBlocked_ = false;
  if (focusBefore_ && focusBefore_->isEnabled() && focusBefore_->isVisible())
    focusBefore_->setFocus(Qt::OtherFocusReason);
  focusBefore_ = nullptr;
}

void TProgressForm::CancelBtnClick()
{
  if (cancelHandler_)
    cancelHandler_();
  close();
}

void TProgressForm::showEvent(QShowEvent *event)
{
  QDialog::showEvent(event);
  if (event->spontaneous())
    return;
  // Kept above the main window without being its child (see the header).
  if (mainWindow_ && mainWindow_->window()->windowHandle() && windowHandle())
    windowHandle()->setTransientParent(mainWindow_->window()->windowHandle());
  if (QScreen *screen = QGuiApplication::primaryScreen()) {
    QRect frame = frameGeometry();
    frame.moveCenter(screen->availableGeometry().center());
    move(frame.topLeft());
  }
  cancelBtn_->setFocus(Qt::OtherFocusReason);
  FormShow();
}

void TProgressForm::hideEvent(QHideEvent *event)
{
  QDialog::hideEvent(event);
  if (!event->spontaneous())
    FormHide();
}

void TProgressForm::closeEvent(QCloseEvent *event)
{
  // The dialog has no close box; a close asked for by the window system
  // (a key combination) would hide it while the transfer goes on unseen.
  if (event->spontaneous())
    event->ignore();
  else
    QDialog::closeEvent(event);
}

void TProgressForm::keyPressEvent(QKeyEvent *event)
{
  // Escape would reject the dialog and hide it without cancelling anything;
  // stopping a transfer takes the Cancel button.
  if (event->key() == Qt::Key_Escape) {
    event->accept();
    return;
  }
  QDialog::keyPressEvent(event);
}

} // namespace zr
