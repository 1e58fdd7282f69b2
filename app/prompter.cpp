#include "app/prompter.h"

#include <QDialog>
#include <QDir>
#include <QFileDialog>
#include <QMessageBox>

namespace zr {

QString BoxCaption()
{
  return QStringLiteral("ZR4812 File Exchange");
}

BoxAnswer QtPrompter::ShowMessage(QWidget* parent, const QString& text, BoxIcon icon, BoxButtons buttons)
{
  QMessageBox box(parent);
  box.setWindowTitle(BoxCaption());
  // Texts carry file names from the PC and the console, which must show as
  // they are, never as markup.
  box.setTextFormat(Qt::PlainText);
  box.setText(text);
  switch (icon) {
  case BoxIcon::None:
    box.setIcon(QMessageBox::NoIcon);
    break;
  case BoxIcon::Information:
    box.setIcon(QMessageBox::Information);
    break;
  case BoxIcon::Warning:
    box.setIcon(QMessageBox::Warning);
    break;
  case BoxIcon::Error:
    box.setIcon(QMessageBox::Critical);
    break;
  }
  switch (buttons) {
  case BoxButtons::Ok:
    box.setStandardButtons(QMessageBox::Ok);
    break;
  case BoxButtons::YesNo:
    box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
    // A replace or restore must never happen by a stray Enter.
    box.setDefaultButton(QMessageBox::No);
    break;
  case BoxButtons::YesNoAll:
    box.setStandardButtons(QMessageBox::Yes | QMessageBox::YesToAll | QMessageBox::No | QMessageBox::NoToAll);
    box.setDefaultButton(QMessageBox::No);
    break;
  case BoxButtons::AbortRetry:
    box.setStandardButtons(QMessageBox::Abort | QMessageBox::Retry);
    box.setDefaultButton(QMessageBox::Retry);
    break;
  }
  switch (box.exec()) {
  case QMessageBox::Ok:
    return BoxAnswer::Ok;
  case QMessageBox::Yes:
    return BoxAnswer::Yes;
  case QMessageBox::No:
    return BoxAnswer::No;
  case QMessageBox::YesToAll:
    return BoxAnswer::YesToAll;
  case QMessageBox::NoToAll:
    return BoxAnswer::NoToAll;
  case QMessageBox::Abort:
    return BoxAnswer::Abort;
  case QMessageBox::Retry:
    return BoxAnswer::Retry;
  default:
    return BoxAnswer::Closed;
  }
}

std::optional<QString> QtPrompter::AskSaveFileName(QWidget* parent, const SaveFileRequest& request)
{
  const QString extension = QString::fromStdString(request.extension);
  QFileDialog dialog(parent, QString::fromStdString(request.title), QString::fromStdString(request.folder));
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setFileMode(QFileDialog::AnyFile);
  dialog.setOption(QFileDialog::DontConfirmOverwrite, false);
  dialog.setOption(QFileDialog::ReadOnly, false);
  // The extension is the data type: the dialog offers and adds only it.
  dialog.setNameFilter(QStringLiteral("*.%1").arg(extension));
  dialog.setDefaultSuffix(extension);
  if (!request.fileName.empty())
    dialog.selectFile(QString::fromStdString(request.fileName) + QLatin1Char('.') + extension);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
    return std::nullopt;
  return QDir::toNativeSeparators(dialog.selectedFiles().first());
}

QStringList QtPrompter::AskOpenFileNames(QWidget* parent, const QString& title, const QString& folder,
                                         const QString& filter)
{
  QFileDialog dialog(parent, title, folder, filter);
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  dialog.setFileMode(QFileDialog::ExistingFiles);
  if (dialog.exec() != QDialog::Accepted)
    return {};
  QStringList paths;
  for (const QString& path : dialog.selectedFiles())
    paths << QDir::toNativeSeparators(path);
  return paths;
}

int QtPrompter::ExecDialog(QDialog& dialog)
{
  return dialog.exec();
}

std::optional<QString> QtPrompter::AskFolder(QWidget* parent, const QString& title, const QString& folder)
{
  const QString chosen = QFileDialog::getExistingDirectory(parent, title, folder);
  if (chosen.isEmpty())
    return std::nullopt;
  return chosen;
}

} // namespace zr
