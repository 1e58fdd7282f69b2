// A Host that hands every call on to another one, which can be changed while
// the program runs: a job that drives the engine on its own (the whole-console
// archive) stands in front of the window or terminal for as long as it runs.
#pragma once

#include "transfer/host.h"

namespace zr {

class HostSwitch : public Host {
public:
  explicit HostSwitch(Host& base) : base_(base), current_(&base) {}
  // Null goes back to the base.
  void SetTarget(Host* target) { current_ = target ? target : &base_; }
  Host& Base() const { return base_; }

  void SetStatusText(const std::string& text) override { current_->SetStatusText(text); }
  BoxAnswer ShowMessage(const std::string& text, BoxIcon icon, BoxButtons buttons) override
  {
    return current_->ShowMessage(text, icon, buttons);
  }
  std::optional<std::string> AskSaveFileName(const SaveFileRequest& request) override
  {
    return current_->AskSaveFileName(request);
  }
  void ProgressSetTitle(const std::string& title) override { current_->ProgressSetTitle(title); }
  void ProgressSetMaximum(int maximum) override { current_->ProgressSetMaximum(maximum); }
  void ProgressShow() override { current_->ProgressShow(); }
  void ProgressSetPosition(int position) override { current_->ProgressSetPosition(position); }
  void ProgressSetLabel(const std::string& text) override { current_->ProgressSetLabel(text); }
  void ProgressClose() override { current_->ProgressClose(); }
  std::string SelectedPcFolder() override { return current_->SelectedPcFolder(); }
  std::optional<std::string> PcListSizeText(const std::string& fileName) override
  {
    return current_->PcListSizeText(fileName);
  }
  void CardListClear() override { current_->CardListClear(); }
  void CardListAdd(int type, const std::vector<std::string>& names) override
  {
    current_->CardListAdd(type, names);
  }
  void CardListSort() override { current_->CardListSort(); }
  void SetTransferRunning(bool running) override { current_->SetTransferRunning(running); }

private:
  Host& base_;
  Host* current_;
};

} // namespace zr
