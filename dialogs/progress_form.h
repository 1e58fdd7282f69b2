// The progress dialog (unit UProgressForm): how far the file in transfer has
// come, which file of a batch it is, and Cancel. While it is visible the main
// window's lists and menus take no input; boxes and dialogs shown meanwhile do.
#pragma once

#include <functional>

#include <QDialog>
#include <QPointer>

class QLabel;
class QProgressBar;
class QPushButton;

namespace zr {

class TProgressForm : public QDialog {
  Q_OBJECT
public:
  // Create it without a parent. SetMainWindow names the window whose
  // central widget and menu bar it disables while visible.
  explicit TProgressForm(QWidget *parent = nullptr);

  void SetMainWindow(QWidget *mainWindow) { mainWindow_ = mainWindow; }
  // Called by Cancel before the dialog closes. The main window sets the batch
  // flags, writes the connection status and releases the receive buffer.
  void SetCancelHandler(std::function<void()> handler) { cancelHandler_ = std::move(handler); }

  // What the transfer engine writes on every block.
  void SetTitle(const QString &title) { setWindowTitle(title); }
  void SetMaximum(int maximum);
  void SetPosition(int position);
  void SetLabel(const QString &text);

  void FormShow();
  void FormHide();
  void CancelBtnClick();
  // A batch runs: the main window's lists and menus take no input until it
  // ends, whether or not the dialog is up.
  void SetBatchRunning(bool running);

  QProgressBar *ProgressBar1() const { return progressBar1_; }
  QLabel *Label1() const { return label1_; }
  QPushButton *CancelBtn() const { return cancelBtn_; }

  // The dialog's size limits hold for the whole window; the client area
  // is smaller by the frame of a small dialog at 96 dots per inch.
  static constexpr QSize kFrame{8, 27};
  static constexpr QSize kMinimumWindow{202, 27};
  static constexpr QSize kMaximumWindow{440, 240};

protected:
  void showEvent(QShowEvent *event) override;
  void hideEvent(QHideEvent *event) override;
  void closeEvent(QCloseEvent *event) override;
  void keyPressEvent(QKeyEvent *event) override;

private:
  QProgressBar *progressBar1_;
  QLabel *label1_;
  QPushButton *cancelBtn_;
  // What takes no input while the dialog is visible.
  QList<QWidget *> InputParts() const;
  void UpdateInputBlock();

  QPointer<QWidget> mainWindow_;
  bool inputBlocked_ = false;
  bool shown_ = false;
  bool batchRunning_ = false;
  QPointer<QWidget> focusBefore_; // the main window's focus before it was disabled
  std::function<void()> cancelHandler_;
};

} // namespace zr
