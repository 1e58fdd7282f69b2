// Every question and message box of the program, and the save dialog, goes
// through one Prompter. The program uses the Qt one; tests script the
// answers, so nothing ever waits for a person without a screen.
#pragma once

#include <optional>

#include <QString>
#include <QStringList>

#include "engine/host.h"

class QDialog;
class QWidget;

namespace zr {

class Prompter {
public:
  virtual ~Prompter() = default;
  // A modal box over `parent`. It runs a nested event loop, so timers and
  // input are handled while it is open.
  virtual BoxAnswer ShowMessage(QWidget* parent, const QString& text, BoxIcon icon, BoxButtons buttons) = 0;
  // The save dialog; the chosen path, or nothing when cancelled. It asks
  // before an existing file is overwritten.
  virtual std::optional<QString> AskSaveFileName(QWidget* parent, const SaveFileRequest& request) = 0;
  // Shows one of the program's own dialogs modally; its result code.
  virtual int ExecDialog(QDialog& dialog) = 0;
  // An open dialog that takes several existing files; their full paths,
  // none when cancelled. `filter` as QFileDialog takes it.
  virtual QStringList AskOpenFileNames(QWidget* parent, const QString& title, const QString& folder,
                                       const QString& filter) = 0;
  // A folder chosen by the user, starting at `folder`; nothing when cancelled.
  virtual std::optional<QString> AskFolder(QWidget* parent, const QString& title, const QString& folder)
  {
    (void)parent, (void)title, (void)folder;
    return std::nullopt;
  }
};

// Message boxes, the file dialog and QDialog::exec.
class QtPrompter : public Prompter {
public:
  BoxAnswer ShowMessage(QWidget* parent, const QString& text, BoxIcon icon, BoxButtons buttons) override;
  std::optional<QString> AskSaveFileName(QWidget* parent, const SaveFileRequest& request) override;
  int ExecDialog(QDialog& dialog) override;
  QStringList AskOpenFileNames(QWidget* parent, const QString& title, const QString& folder,
                               const QString& filter) override;
  std::optional<QString> AskFolder(QWidget* parent, const QString& title, const QString& folder) override;
};

// The caption of every box: the application's title.
QString BoxCaption();

} // namespace zr
