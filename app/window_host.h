// What the engine shows, on the main window: the status line, boxes and the
// save dialog through the prompter, the progress dialog, the PC pane's folder
// and sizes, and the card list's rows.
#pragma once

#include "engine/host.h"

namespace zr {

class Prompter;
class TForm1;
class TProgressForm;

class WindowHost : public Host {
public:
  WindowHost(TForm1& form, TProgressForm& progress, Prompter& prompter);

  void SetStatusText(const std::string& text) override;
  BoxAnswer ShowMessage(const std::string& text, BoxIcon icon, BoxButtons buttons) override;
  std::optional<std::string> AskSaveFileName(const SaveFileRequest& request) override;
  void ShowProgress(const ProgressView& progress) override;
  void ProgressClose() override;
  // The dialog a field at a time, for the window's own jobs.
  void ProgressSetTitle(const std::string& title);
  void ProgressSetMaximum(int maximum);
  void ProgressShow();
  void ProgressSetPosition(int position);
  void ProgressSetLabel(const std::string& text);
  void SetTransferRunning(bool running) override;
  std::string SelectedPcFolder() override;
  // The Size column text of the PC list entry whose caption equals the
  // name (case ignored), or nothing when the list shows no such entry.
  std::optional<std::string> PcListSizeText(const std::string& fileName);
  void CardListClear() override;
  void CardListAdd(int type, const std::vector<std::string>& names) override;
  void CardListSort() override;

private:
  TForm1& form_;
  TProgressForm& progress_;
  Prompter& prompter_;
};

} // namespace zr
