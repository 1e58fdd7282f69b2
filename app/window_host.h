// The engine on the main window: what it shows (the status line, the
// progress dialog, the card list's rows), rendered here from its values, and
// what it asks (boxes and the save dialog through the prompter, the PC
// pane's folder). The PC pane's sizes are the window's own.
#pragma once

#include "engine/host.h"

namespace zr {

class Prompter;
class TForm1;
class TProgressForm;

class WindowHost : public Host, public View {
public:
  WindowHost(TForm1& form, TProgressForm& progress, Prompter& prompter);

  // The window's own lines on the status bar.
  void SetStatusText(const std::string& text);
  BoxAnswer ShowMessage(const std::string& text, BoxIcon icon, BoxButtons buttons) override;
  std::optional<std::string> AskSaveFileName(const SaveFileRequest& request) override;
  // View
  void StatusChanged(const ScreenText& text) override;
  void ProgressShown(const ProgressView& progress) override;
  void ProgressClosed() override;
  void TransferRunning(bool running) override;
  void CardListCleared() override;
  void CardListAdded(int type, const std::vector<std::string>& names) override;
  void CardListSorted() override;
  void Noticed(const Notice& notice) override;
  // The dialog a field at a time, for the window's own jobs.
  void ProgressSetTitle(const std::string& title);
  void ProgressSetMaximum(int maximum);
  void ProgressShow();
  void ProgressSetPosition(int position);
  void ProgressSetLabel(const std::string& text);
  std::string SelectedPcFolder() override;
  // The Size column text of the PC list entry whose caption equals the
  // name (case ignored), or nothing when the list shows no such entry.
  std::optional<std::string> PcListSizeText(const std::string& fileName);

private:
  TForm1& form_;
  TProgressForm& progress_;
  Prompter& prompter_;
};

} // namespace zr
