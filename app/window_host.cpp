#include "app/window_host.h"

#include "app/card_list.h"
#include "app/main_window.h"
#include "app/prompter.h"
#include "dialogs/progress_form.h"
#include "shell/shell_list.h"
#include "shell/shell_tree.h"

namespace zr {

namespace {
QString FromUtf8(const std::string& text)
{
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}
} // namespace

WindowHost::WindowHost(TForm1& form, TProgressForm& progress, Prompter& prompter)
    : form_(form), progress_(progress), prompter_(prompter)
{
}

void WindowHost::SetStatusText(const std::string& text)
{
  form_.ShowStatusText(FromUtf8(text));
}

BoxAnswer WindowHost::ShowMessage(const std::string& text, BoxIcon icon, BoxButtons buttons)
{
  return prompter_.ShowMessage(&form_, FromUtf8(text), icon, buttons);
}

std::optional<std::string> WindowHost::AskSaveFileName(const SaveFileRequest& request)
{
  const std::optional<QString> chosen = prompter_.AskSaveFileName(&form_, request);
  if (!chosen)
    return std::nullopt;
  return chosen->toStdString();
}

void WindowHost::StatusChanged(const ScreenText& text)
{
  SetStatusText(Render(text));
}

void WindowHost::ProgressShown(const ProgressView& progress)
{
  ProgressSetTitle(Render(progress.title));
  ProgressSetMaximum(progress.maximum);
  ProgressShow();
  ProgressSetPosition(progress.position);
  ProgressSetLabel(progress.Label());
}
void WindowHost::ProgressSetTitle(const std::string& title)
{
  progress_.SetTitle(FromUtf8(title));
}
void WindowHost::ProgressSetMaximum(int maximum)
{
  progress_.SetMaximum(maximum);
}
void WindowHost::ProgressShow()
{
  progress_.show();
}
void WindowHost::ProgressSetPosition(int position)
{
  progress_.SetPosition(position);
}
void WindowHost::ProgressSetLabel(const std::string& text)
{
  progress_.SetLabel(FromUtf8(text));
}
void WindowHost::ProgressClosed()
{
  progress_.close();
}

void WindowHost::TransferRunning(bool running)
{
  progress_.SetBatchRunning(running);
}

std::string WindowHost::SelectedPcFolder()
{
  return form_.PTShellTree1()->GetSelectedPathName().toStdString();
}

std::optional<std::string> WindowHost::PcListSizeText(const std::string& fileName)
{
  const int item = form_.PCView()->IndexOfCaption(FromUtf8(fileName), Qt::CaseInsensitive);
  if (item < 0)
    return std::nullopt;
  return form_.PCView()->SizeText(item).toStdString();
}

void WindowHost::CardListCleared()
{
  form_.SolanoView()->ClearRows();
}
void WindowHost::CardListAdded(int type, const std::vector<std::string>& names)
{
  form_.SolanoView()->AddEntries(type, names);
}
void WindowHost::CardListSorted()
{
  form_.SolanoView()->SortRows();
}

void WindowHost::Noticed(const Notice& notice)
{
  (void)ShowMessage(Render(notice.text), notice.icon, BoxButtons::Ok);
}

} // namespace zr
