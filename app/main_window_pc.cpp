// The main window's PC pane and selection status: the folder buttons, file
// commands on the PC list, and the three panels of the status bar.
#include <cmath>

#include <QAction>
#include <QLocale>
#include <QMenu>

#include "app/card_list.h"
#include "app/main_window.h"
#include "app/prompter.h"
#include "app/status_panel.h"
#include "shell/shell_list.h"
#include "shell/shell_tree.h"

namespace zr {

qint64 TForm1::SumSizeTexts(const QStringList& sizeTexts, const QString& groupSeparator)
{
  double total = 0;
  for (const QString& text : sizeTexts) {
    if (text.isEmpty())
      continue;
    QString number = text.left(std::max<qsizetype>(0, text.size() - 2));
    if (!groupSeparator.isEmpty())
      number.remove(groupSeparator);
    bool ok = false;
    const double value = number.trimmed().toDouble(&ok);
    if (ok && std::isfinite(value))
      total += value;
  }
  return static_cast<qint64>(std::floor(total));
}

void TForm1::ViewSelectItem(ListId list)
{
  const ListAccess& access = list == ListId::Card       ? static_cast<const ListAccess&>(*solanoView_)
                             : list == ListId::Internal ? static_cast<const ListAccess&>(*internalView_)
                                                        : PcList();
  const int selected = access.SelectedCount();
  if (selected == 0) {
    statusPanels_[1]->SetFullText(QString());
    statusPanels_[2]->SetFullText(QString());
    return;
  }
  statusPanels_[1]->SetFullText(QStringLiteral("%1 object(s) selected").arg(selected));
  if (list != ListId::Pc) {
    statusPanels_[2]->SetFullText(QString());
    return;
  }
  QStringList sizes;
  for (int i = pcView_->FirstSelected(); i >= 0; i = pcView_->NextSelected(i))
    sizes.append(pcView_->SizeText(i));
  statusPanels_[2]->SetFullText(QStringLiteral("%1 KB").arg(SumSizeTexts(sizes, QLocale().groupSeparator())));
}

void TForm1::NewFolderBtnClick()
{
  if (shellTree_->CreateNewFolder(true))
    shellTree_->Synchronize(true);
  else
    parts().prompter.ShowMessage(this, QStringLiteral("Cannot create new directory."), BoxIcon::None,
                                 BoxButtons::Ok);
}

// Only the step up: the "Configuration" box that used to follow it told the
// user nothing.
void TForm1::FolderUpBtnClick()
{
  shellTree_->GoUp(1);
}

void TForm1::Rename4Click()
{
  const int item = pcView_->FirstSelected();
  if (item >= 0)
    pcView_->StartEdit(item);
}

QString TForm1::KeepExtension(const QString& oldName, const QString& newName)
{
  const qsizetype oldDot = oldName.lastIndexOf(QLatin1Char('.'));
  const QString extension = oldDot >= 0 ? oldName.mid(oldDot) : QString();
  const qsizetype newDot = newName.lastIndexOf(QLatin1Char('.'));
  // A name that is all extension (".kch") keeps its text as the stem.
  const QString stem = newDot > 0 ? newName.left(newDot) : newName;
  return stem + extension;
}

void TForm1::PCViewEdited(int item, QString& newName)
{
  // The item being edited, not the first selected one: the two differ only
  // while several are selected, and then the edited file is the one meant.
  newName = KeepExtension(pcView_->Caption(item), newName);
}

void TForm1::Delete4Click()
{
  pcView_->DoCommandForAllSelected(QStringLiteral("delete"));
}
void TForm1::SelectAllClick()
{
  pcView_->SelectAll();
}
void TForm1::UpdateList1Click()
{
  pcView_->FillItems();
}
void TForm1::PCViewDblClickOpen(int, bool* handled)
{
  if (handled)
    *handled = true;
}

void TForm1::PCViewFillComplete()
{
  pcView_->SetColumnWidth(0, 116);
  pcView_->SetColumnWidth(1, 45);
  pcView_->SetColumnWidth(2, 52);
  pcView_->SetColumnWidth(3, std::max(1, pcView_->ClientWidth() - 213));
}

void TForm1::PopupMenu4Popup()
{
  const int selected = pcView_->SelCount();
  Action("Rename4")->setEnabled(selected == 1);
  for (const char* name : {"Delete4", "Cut4", "Copy4"})
    Action(name)->setEnabled(selected >= 1);
}

} // namespace zr
